// One authoring build on a worker thread, so that the user-interface thread
// stays free while the control builds. The control's events and the build's
// result reach the handlers on the user-interface thread through the
// dispatcher, in this order: every TotalProcessing, OnCompleted (after a
// successful build), then returned. The worker waits while a handler runs, so
// the control is never used from two threads at once, except for a stop
// request (ClearAll) from the user-interface thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/automation/event_dispatcher.h"
#include "vantora/disc_burner.h"

namespace vantora {

class AuthoringRun final : private AuthoringEvents {
 public:
  struct Handlers {
    std::function<void(double iCurrentPos, double iOverallPos)> total_processing;
    std::function<void()> on_completed;
    // The build has returned: whether it built the folder, and the engine's
    // text when it failed.
    std::function<void(bool built, const std::string& error_text)> returned;
  };

  // control must outlive the run. A null dispatcher runs the build inside
  // Start, on the calling thread, with direct calls.
  AuthoringRun(AuthoringControl& control, std::shared_ptr<platform::EventDispatcher> dispatcher);
  // Joins the worker. The caller stops the build (ClearAll) and aborts the
  // dispatcher first when the worker may be waiting for a handler.
  ~AuthoringRun();
  AuthoringRun(const AuthoringRun&) = delete;
  AuthoringRun& operator=(const AuthoringRun&) = delete;

  // Starts a build; false when one still runs or no thread can be started.
  bool Start(Handlers handlers);
  // From Start until the returned handler has been called (or the dispatcher
  // dropped it).
  bool running() const { return running_.load(); }
  // Waits for a worker whose returned handler has run (never call it from a
  // handler: the worker waits for that handler).
  void Join();

 private:
  void TotalProcessing(double iCurrentPos, double iOverallPos) override;
  void OnCompleted() override;
  void Run();
  void Deliver(platform::DispId id, std::function<void()> call);

  AuthoringControl& control_;
  std::shared_ptr<platform::EventDispatcher> dispatcher_;
  Handlers handlers_;
  std::atomic<bool> running_{false};
  std::thread worker_;
};

// The dispatch ids the run's deliveries go under (not those of any disc
// engine event).
inline constexpr platform::DispId kAuthoringTotalProcessing = 0x7A01;
inline constexpr platform::DispId kAuthoringOnCompleted = 0x7A02;
inline constexpr platform::DispId kAuthoringReturned = 0x7A03;

}  // namespace vantora
