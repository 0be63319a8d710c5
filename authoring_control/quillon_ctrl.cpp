#include "quillon/quillon_ctrl.h"

#include <atomic>
#include <new>

#include "quillon/identity.h"

namespace quillon {
namespace {

using platform::Variant;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;

constexpr VariantBool ToVariantBool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

// The control whose build is running in this process; the engine's progress
// callback is a plain function and finds its control here.
std::atomic<CQuillonCtrl*> g_current_build{nullptr};

// Byte offsets of pixel value 1's colour index and contrast in each of the
// three schemes (normal, selected, activated).
constexpr int kSchemeSize = 8;
constexpr int kPattern = 1;
constexpr int kContrastOffset = 4;

bool IsCoordinate(std::int32_t v) { return v >= 0 && v <= 0xFFFF; }
bool IsNibble(std::int16_t v) { return v >= 0 && v <= 15; }

}  // namespace

// Marks a control as building, and as the process's current build, for one
// scope: from the start of BuildDVDImage until the engine's Build returns.
class BuildScope {
 public:
  explicit BuildScope(CQuillonCtrl* ctrl) : ctrl_(ctrl) {
    std::lock_guard lock(ctrl_->build_mutex_);
    CQuillonCtrl* expected = nullptr;
    acquired_ = g_current_build.compare_exchange_strong(expected, ctrl);
    if (acquired_) {
      ctrl_->building_ = true;
      ctrl_->stop_requested_ = false;
    }
  }
  ~BuildScope() {
    if (!acquired_) return;
    std::lock_guard lock(ctrl_->build_mutex_);
    ctrl_->building_ = false;
    g_current_build.store(nullptr);
  }
  BuildScope(const BuildScope&) = delete;
  BuildScope& operator=(const BuildScope&) = delete;
  bool acquired() const { return acquired_; }

 private:
  CQuillonCtrl* ctrl_;
  bool acquired_ = false;
};

AboutInfo GetAboutInfo() {
  return {"About Quillon Control", "Quillon Control, Version 4.0", "DVD-Video authoring for automation hosts",
          "OK"};
}

CQuillonCtrl::CQuillonCtrl() : CQuillonCtrl(MakeMorvixEngine()) {}

CQuillonCtrl::CQuillonCtrl(std::unique_ptr<AuthoringEngine> engine)
    : engine_(std::move(engine)), events_(IID_DQuillonEvents) {
  if (engine_) schemes_ = engine_->DefaultButtonSchemes();
}

CQuillonCtrl::~CQuillonCtrl() = default;

void CQuillonCtrl::AboutBox() {
  if (!about_handler_) return;
  try {
    about_handler_(GetAboutInfo());
  } catch (...) {
    // The host's dialog failed; there is nothing to report it through.
  }
}

bool CQuillonCtrl::HasMainMenu() { return engine_ && engine_->GetMainMenuId() >= kMainMenuId; }

VariantBool CQuillonCtrl::AddFile(bool main_menu, const std::string& path) {
  bool ok = !building_ && !path.empty() && engine_;
  if (ok && main_menu) {
    ok = engine_->AddMainMenu(path) >= 0;
    ButtonSchemes schemes{};
    if (ok && engine_->GetButtonSchemes(kMainMenuId, &schemes) >= 0) schemes_ = schemes;
  } else if (ok) {
    ok = engine_->AddTitle(path) >= 0;
  }
  // A refused add leaves the project without a menu or title the host counts
  // on (every later title would move under another button), so builds are
  // refused until ClearAll.
  if (!ok) add_failed_ = true;
  return ToVariantBool(ok);
}

VariantBool CQuillonCtrl::AddMainMenu(const std::string& strMPEGFile) { return AddFile(true, strMPEGFile); }

VariantBool CQuillonCtrl::AddTitle(const std::string& strMPEGFile) { return AddFile(false, strMPEGFile); }

std::string CQuillonCtrl::GetOutputDir() const { return output_dir_; }

HResult CQuillonCtrl::SetOutputDir(const std::string& value) {
  if (building_) return QUILLON_E_BUILD_RUNNING;
  try {
    modified_ = true;
    output_dir_ = value;
    if (!engine_ || engine_->SetOutputDir(value) < 0) return QUILLON_E_ENGINE_REFUSED;
    return platform::S_OK;
  } catch (const std::bad_alloc&) {
    return platform::E_OUTOFMEMORY;
  }
}

VariantBool CQuillonCtrl::AddMainMenuButton(std::int32_t iLeft, std::int32_t iTop, std::int32_t iRight,
                                            std::int32_t iBottom, std::int16_t iJumpTitleNo) {
  if (building_ || !HasMainMenu()) return VARIANT_FALSE;
  if (!IsCoordinate(iLeft) || !IsCoordinate(iTop) || !IsCoordinate(iRight) || !IsCoordinate(iBottom)) {
    return VARIANT_FALSE;
  }
  std::uint32_t type = 1;  // jump to the title numbered by value
  std::uint32_t value = static_cast<std::uint32_t>(static_cast<std::int32_t>(iJumpTitleNo));
  if (iJumpTitleNo == -1) {
    type = 3;  // back to the main menu
    value = 0xFFFFFFFFu;
  }
  const EngineStatus status = engine_->AddMenuBtn(
      kMainMenuId, static_cast<std::uint16_t>(iLeft), static_cast<std::uint16_t>(iTop),
      static_cast<std::uint16_t>(iRight), static_cast<std::uint16_t>(iBottom), type, value);
  return ToVariantBool(status >= 0);
}

VariantBool CQuillonCtrl::SetMainMenuButtonColor(
    std::int16_t iNormalBtnClrIndex, std::int16_t iNormalBtnTransValue, std::int16_t iSelectedBtnClrIndex,
    std::int16_t iSelectedBtnTransValue, std::int16_t iActiveBtnClrIndex, std::int16_t iActiveBtnTransValue) {
  if (building_) return VARIANT_FALSE;
  const std::int16_t colours[3] = {iNormalBtnClrIndex, iSelectedBtnClrIndex, iActiveBtnClrIndex};
  const std::int16_t contrasts[3] = {iNormalBtnTransValue, iSelectedBtnTransValue, iActiveBtnTransValue};
  for (int i = 0; i < 3; ++i) {
    if (!IsNibble(colours[i]) || !IsNibble(contrasts[i])) return VARIANT_FALSE;
  }
  for (int i = 0; i < 3; ++i) {
    schemes_[i * kSchemeSize + kPattern] = static_cast<std::uint8_t>(colours[i]);
    schemes_[i * kSchemeSize + kContrastOffset + kPattern] = static_cast<std::uint8_t>(contrasts[i]);
  }
  return VARIANT_TRUE;
}

VariantBool CQuillonCtrl::GetEnableAutoNextTitle() const { return auto_next_; }

HResult CQuillonCtrl::SetEnableAutoNextTitle(VariantBool value) {
  if (building_) return QUILLON_E_BUILD_RUNNING;
  modified_ = true;
  auto_next_ = value;
  if (design_mode_ && site_) site_->OnPropertyChanged(dispid::kEnableAutoNextTitle);
  return platform::S_OK;
}

std::int16_t CQuillonCtrl::GetTitleCount() {
  return engine_ ? static_cast<std::int16_t>(engine_->GetTitleCount() & 0xFFFF) : 0;
}

VariantBool CQuillonCtrl::RemoveTitle(std::int16_t iTitleIndex) {
  if (building_ || !engine_) return VARIANT_FALSE;
  return ToVariantBool(engine_->DeleteTitle(iTitleIndex) >= 0);
}

void CQuillonCtrl::ClearAll() {
  std::lock_guard lock(build_mutex_);
  if (building_) {
    stop_requested_ = true;  // the progress callback asks the engine to stop; cleared when it has
    return;
  }
  if (engine_) engine_->Init();
  add_failed_ = false;
}

std::int16_t CQuillonCtrl::GetMainMenuButtonCount() {
  if (!HasMainMenu()) return 0;
  return static_cast<std::int16_t>(engine_->GetButtonCount(kMainMenuId) & 0xFFFF);
}

VariantBool CQuillonCtrl::RemoveMainMenuButton(std::int16_t iButtonIndex) {
  if (building_ || !HasMainMenu()) return VARIANT_FALSE;
  return ToVariantBool(engine_->DeleteButton(kMainMenuId, iButtonIndex) >= 0);
}

int CQuillonCtrl::BuildProgressProc(double overall_percent, double step_percent, const wchar_t*) {
  CQuillonCtrl* ctrl = g_current_build.load();
  if (!ctrl) return 0;
  ctrl->RaiseTotalProcessing(step_percent, overall_percent);
  return ctrl->stop_requested_ ? 1 : 0;
}

void CQuillonCtrl::RaiseTotalProcessing(double step_percent, double overall_percent) {
  try {
    events_.Raise(dispid::kTotalProcessing, {Variant(step_percent), Variant(overall_percent)});
  } catch (...) {
    // Progress that cannot be delivered is dropped; the build goes on.
  }
}

VariantBool CQuillonCtrl::BuildDVDImage() {
  if (building_ || !engine_) return VARIANT_FALSE;
  EngineStatus status = 0;
  bool ran = false;
  {
    BuildScope scope(this);
    if (!scope.acquired()) return VARIANT_FALSE;  // another build runs in this process
    last_build_text_.clear();
    // Without a main menu there are no button colours to send; the palette
    // stays the engine's own.
    ran = !add_failed_ && engine_->GetTitleCount() > 0 &&
          (!HasMainMenu() || engine_->SetButtonSchemes(kMainMenuId, schemes_) >= 0) &&
          engine_->SetAutoNextTitle(auto_next_ != 0 ? 1 : 0) >= 0;
    if (ran) status = engine_->Build(&CQuillonCtrl::BuildProgressProc);
  }
  // Read once the build is no longer marked: a ClearAll from another thread
  // either got in before (a stop request, carried out here) or comes after
  // (and clears by itself).
  if (stop_requested_.exchange(false) || (ran && status == kEngineStopped)) {
    ClearAll();
    return VARIANT_FALSE;
  }
  if (!ran) return VARIANT_FALSE;
  if (status < 0) {
    try {
      last_build_text_ = engine_->StatusText(status);
    } catch (...) {
      // Without its text the failure still reads as FALSE.
    }
    return VARIANT_FALSE;
  }
  try {
    events_.Raise(dispid::kOnCompleted, {});
  } catch (...) {
    // The folder is built; a completion event that cannot be delivered does not undo it.
  }
  return VARIANT_TRUE;
}

platform::ConnectionPoint* CQuillonCtrl::FindConnectionPoint(const platform::Guid& iid) {
  return iid == IID_DQuillonEvents ? &events_ : nullptr;
}

bool QuillonEvents::SupportsInterface(const platform::Guid& iid) const { return iid == IID_DQuillonEvents; }

void QuillonEvents::OnEvent(platform::DispId event, std::span<const platform::Variant> args) {
  if (event == dispid::kTotalProcessing && args.size() == 2) {
    Variant step, overall;
    if (platform::Failed(args[0].ChangeType(platform::VarType::kR8, step)) ||
        platform::Failed(args[1].ChangeType(platform::VarType::kR8, overall))) {
      return;
    }
    TotalProcessing(step.r8(), overall.r8());
  } else if (event == dispid::kOnCompleted && args.empty()) {
    OnCompleted();
  }
}

}  // namespace quillon
