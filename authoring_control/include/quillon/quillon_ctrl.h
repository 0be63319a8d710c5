// CQuillonCtrl: the authoring control. It fills the authoring engine it owns
// through the members of _DQuillon (typed here, and by dispatch id through
// Invoke) and runs the build, raising TotalProcessing and OnCompleted to the
// sinks advised on its connection point.
//
// A control is used on one thread at a time. A host may run BuildDVDImage on
// a worker thread: the events are then raised on that worker, and while the
// build runs only building() and ClearAll (a stop request) may be called from
// the host's own thread. Events are raised from inside the member
// that causes them, and a sink may call the control back:
// - From the start of BuildDVDImage until the engine's build returns, the
//   control is building: the mutators and a nested BuildDVDImage return FALSE,
//   the property puts are refused (QUILLON_E_BUILD_RUNNING) and ClearAll
//   becomes a stop request. A stopped build returns FALSE without OnCompleted,
//   and the engine is cleared afterwards.
// - OnCompleted is raised after the build phase, so its handler may clear the
//   control and start over.
// Only one build runs at a time in a process: a BuildDVDImage on any control
// while another builds returns FALSE. A sink must not destroy the control
// from inside one of its events.
//
// Booleans are VARIANT_BOOL (TRUE -1, FALSE 0). No member throws.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/hresult.h"
#include "platform/automation/variant.h"
#include "quillon/authoring_engine.h"
#include "quillon/export.h"
#include "quillon/painter.h"
#include "quillon/property_bag.h"

namespace quillon {

using platform::HResult;
using platform::VariantBool;

// A property put refused because a build is running.
inline constexpr HResult QUILLON_E_BUILD_RUNNING = platform::MakeHResult(0x80040301u);
// The engine refused the value of a property put.
inline constexpr HResult QUILLON_E_ENGINE_REFUSED = platform::MakeHResult(0x80040302u);

// What the About dialog shows.
struct AboutInfo {
  std::string caption;
  std::string title_line;
  std::string second_line;
  std::string button;
};
QUILLON_API AboutInfo GetAboutInfo();

class QUILLON_API CQuillonCtrl : public platform::Dispatchable {
 public:
  // With the authoring engine of libmorvix.
  CQuillonCtrl();
  // With the given engine (must not be null).
  explicit CQuillonCtrl(std::unique_ptr<AuthoringEngine> engine);
  ~CQuillonCtrl() override;
  CQuillonCtrl(const CQuillonCtrl&) = delete;
  CQuillonCtrl& operator=(const CQuillonCtrl&) = delete;

  // --- _DQuillon ---------------------------------------------------------
  // Shows the About dialog through the host's handler (see SetAboutHandler)
  // and returns when it is closed; without a handler nothing is shown.
  void AboutBox();
  // TRUE when the engine accepted the file. An empty or refused path gives
  // FALSE and makes the next BuildDVDImage fail until ClearAll. On success the
  // cached button schemes become the new menu's.
  VariantBool AddMainMenu(const std::string& strMPEGFile);
  // TRUE when the engine accepted the title (one chapter); failures as
  // AddMainMenu.
  VariantBool AddTitle(const std::string& strMPEGFile);
  // The folder text last put ("" before any put), even if the engine refused it.
  std::string GetOutputDir() const;
  // Keeps the text and hands it to the engine. S_OK, QUILLON_E_ENGINE_REFUSED
  // (the engine then has no folder, so a build fails) or
  // QUILLON_E_BUILD_RUNNING (nothing changes).
  HResult SetOutputDir(const std::string& value);
  // A rectangle button on the main menu jumping to title iJumpTitleNo, or
  // back to the main menu for -1. FALSE without a main menu, for a
  // coordinate outside 0..65535 or when the engine refuses the button.
  VariantBool AddMainMenuButton(std::int32_t iLeft, std::int32_t iTop, std::int32_t iRight,
                                std::int32_t iBottom, std::int16_t iJumpTitleNo);
  // Sets colour index and contrast of sub-picture pixel value 1 in the
  // normal, selected and activated schemes (sent to the engine at
  // BuildDVDImage). FALSE, and nothing set, for a value outside 0..15.
  VariantBool SetMainMenuButtonColor(std::int16_t iNormalBtnClrIndex, std::int16_t iNormalBtnTransValue,
                                     std::int16_t iSelectedBtnClrIndex, std::int16_t iSelectedBtnTransValue,
                                     std::int16_t iActiveBtnClrIndex, std::int16_t iActiveBtnTransValue);
  // The stored value: 1 in a new control, as put afterwards.
  VariantBool GetEnableAutoNextTitle() const;
  // S_OK, or QUILLON_E_BUILD_RUNNING (nothing changes).
  HResult SetEnableAutoNextTitle(VariantBool value);
  // The engine's title count (low 16 bits).
  std::int16_t GetTitleCount();
  VariantBool RemoveTitle(std::int16_t iTitleIndex);
  // Empties the engine for the next project; keeps the output folder text,
  // the auto-next value and the cached schemes. During a build: stops it.
  void ClearAll();
  // 0 without a main menu.
  std::int16_t GetMainMenuButtonCount();
  VariantBool RemoveMainMenuButton(std::int16_t iButtonIndex);
  // Runs the build. TRUE, after OnCompleted, when the engine built the
  // folder; FALSE without titles, after a failed add, when the build fails or
  // is stopped, and while a build runs.
  VariantBool BuildDVDImage();

  // --- Late binding ------------------------------------------------------
  platform::InvokeResult Invoke(platform::DispId id, platform::DispatchKind kind,
                                std::span<const platform::Variant> args) override;
  std::span<const platform::DispatchMember> Members() const override;
  // The event interface's members (TotalProcessing, OnCompleted).
  static std::span<const platform::DispatchMember> EventMembers();

  // The connection point of _DQuillonEvents.
  platform::ConnectionPoint& events() { return events_; }
  // The connection point for `iid`, or null.
  platform::ConnectionPoint* FindConnectionPoint(const platform::Guid& iid);

  // --- Host side ---------------------------------------------------------
  void SetDesignMode(bool design) { design_mode_ = design; }
  bool design_mode() const { return design_mode_; }
  bool IsModified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  bool building() const { return building_.load(); }
  // The engine's text for the status of the last BuildDVDImage that reached
  // the engine ("" before any, and after a build that succeeded or was
  // stopped). Read it after BuildDVDImage has returned.
  std::string LastBuildStatusText() const { return last_build_text_; }
  // The container's site; may be null. Must outlive the control or be reset.
  void SetSite(ControlSite* site) { site_ = site; }
  void SetAboutHandler(std::function<void(const AboutInfo&)> handler) { about_handler_ = std::move(handler); }

  // Persistence: saves the version and EnableAutoNextTitle; loading takes
  // EnableAutoNextTitle from the bag (TRUE when it is missing or unreadable).
  void SaveState(PropertyBag& bag) const;
  void LoadState(const PropertyBag& bag);
  // Back to the persisted defaults (EnableAutoNextTitle TRUE), then redraw.
  void ResetState();

  // Draws the control. Run mode: resizes the window to 1 x 1 and draws
  // nothing. Design mode: black bounds with the red centred control name.
  // A null painter draws nothing.
  void OnDraw(Painter* painter, const Rect& bounds);

  // The cached button schemes that BuildDVDImage sends with a main menu.
  const ButtonSchemes& cached_schemes() const { return schemes_; }

 private:
  friend class BuildScope;
  static int BuildProgressProc(double overall_percent, double step_percent, const wchar_t* text);
  void RaiseTotalProcessing(double step_percent, double overall_percent);
  bool HasMainMenu();
  VariantBool AddFile(bool main_menu, const std::string& path);

  std::unique_ptr<AuthoringEngine> engine_;
  platform::ConnectionPoint events_;
  std::string output_dir_;
  VariantBool auto_next_ = 1;
  ButtonSchemes schemes_{};
  bool add_failed_ = false;                  // an add failed since the last ClearAll
  std::atomic<bool> building_{false};        // from BuildDVDImage's start until the engine's Build returns
  std::atomic<bool> stop_requested_{false};  // ClearAll during the build, from any thread
  std::string last_build_text_;
  // Orders ClearAll against the start and end of a build on another thread.
  std::mutex build_mutex_;
  bool design_mode_ = false;
  bool modified_ = false;
  ControlSite* site_ = nullptr;
  std::function<void(const AboutInfo&)> about_handler_;
};

// Receives the control's events as typed calls. Advise a shared_ptr to one
// on CQuillonCtrl::events().
class QUILLON_API QuillonEvents : public platform::EventSink {
 public:
  bool SupportsInterface(const platform::Guid& iid) const override;
  void OnEvent(platform::DispId event, std::span<const platform::Variant> args) override;

  virtual void TotalProcessing(double iCurrentPos, double iOverallPos) = 0;
  virtual void OnCompleted() = 0;
};

}  // namespace quillon
