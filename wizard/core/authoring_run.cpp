#include "vantora/authoring_run.h"

#include <system_error>

namespace vantora {

AuthoringRun::AuthoringRun(AuthoringControl& control, std::shared_ptr<platform::EventDispatcher> dispatcher)
    : control_(control), dispatcher_(std::move(dispatcher)) {}

AuthoringRun::~AuthoringRun() {
  Join();
  control_.SetEvents(nullptr);
}

void AuthoringRun::Join() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

bool AuthoringRun::Start(Handlers handlers) {
  if (running_.load()) return false;
  Join();
  handlers_ = std::move(handlers);
  control_.SetEvents(this);
  running_ = true;
  if (!dispatcher_) {
    Run();
    return true;
  }
  try {
    worker_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    running_ = false;
    return false;
  }
  return true;
}

void AuthoringRun::Deliver(platform::DispId id, std::function<void()> call) {
  if (!dispatcher_) {
    call();
    return;
  }
  dispatcher_->Dispatch(id, platform::Delivery::kBlocking, std::move(call));
}

void AuthoringRun::TotalProcessing(double iCurrentPos, double iOverallPos) {
  Deliver(kAuthoringTotalProcessing, [this, iCurrentPos, iOverallPos] {
    if (handlers_.total_processing) handlers_.total_processing(iCurrentPos, iOverallPos);
  });
}

void AuthoringRun::OnCompleted() {
  Deliver(kAuthoringOnCompleted, [this] {
    if (handlers_.on_completed) handlers_.on_completed();
  });
}

void AuthoringRun::Run() {
  bool built = false;
  std::string text;
  try {
    built = control_.BuildDVDImage();
    if (!built) text = control_.LastBuildStatusText();
  } catch (...) {
    built = false;
    text = "The DVD compilation stopped on an unexpected error.";
  }
  try {
    Deliver(kAuthoringReturned, [this, built, text] {
      running_ = false;
      if (handlers_.returned) handlers_.returned(built, text);
    });
  } catch (...) {
    // Nothing can be reported any more; the run still ends.
  }
  running_ = false;
}

}  // namespace vantora
