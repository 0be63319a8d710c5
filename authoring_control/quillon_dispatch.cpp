// _DQuillon and _DQuillonEvents by dispatch id.
#include "platform/automation/dispatch_entries.h"
#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"

namespace quillon {
namespace {

using platform::DispatchKind;
using platform::DispatchMember;
using platform::DispatchTable;
using platform::Method;
using platform::PropertyGet;
using platform::PropertyPut;
using platform::VarType;

constexpr VarType kI2 = VarType::kI2;
constexpr VarType kI4 = VarType::kI4;
constexpr VarType kR8 = VarType::kR8;
constexpr VarType kBstr = VarType::kString;
constexpr VarType kBool = VarType::kBool;
constexpr VarType kNone = VarType::kEmpty;
constexpr DispatchKind kMethod = DispatchKind::kMethod;

// Why a property put was refused, for the caller's exception information.
const char* PutFailureText(HResult hr) {
  if (hr == QUILLON_E_BUILD_RUNNING) return "The property cannot be changed while a build runs.";
  if (hr == QUILLON_E_ENGINE_REFUSED) return "The authoring engine refused the value.";
  return nullptr;
}

const DispatchTable<CQuillonCtrl>& Table() {
  using C = CQuillonCtrl;
  static const DispatchTable<C> table{
      Method<&C::AboutBox>(dispid::kAboutBox, "AboutBox"),
      Method<&C::AddMainMenu>(dispid::kAddMainMenu, "AddMainMenu", {kBstr}, kBool),
      Method<&C::AddTitle>(dispid::kAddTitle, "AddTitle", {kBstr}, kBool),
      PropertyGet<&C::GetOutputDir>(dispid::kOutputDir, "OutputDir", {}, kBstr),
      PropertyPut<&C::SetOutputDir, PutFailureText>(dispid::kOutputDir, "OutputDir", {kBstr}),
      Method<&C::AddMainMenuButton>(dispid::kAddMainMenuButton, "AddMainMenuButton",
                                    {kI4, kI4, kI4, kI4, kI2}, kBool),
      Method<&C::SetMainMenuButtonColor>(dispid::kSetMainMenuButtonColor, "SetMainMenuButtonColor",
                                         {kI2, kI2, kI2, kI2, kI2, kI2}, kBool),
      PropertyGet<&C::GetEnableAutoNextTitle>(dispid::kEnableAutoNextTitle, "EnableAutoNextTitle", {}, kBool),
      PropertyPut<&C::SetEnableAutoNextTitle, PutFailureText>(dispid::kEnableAutoNextTitle,
                                                              "EnableAutoNextTitle", {kBool}),
      Method<&C::GetTitleCount>(dispid::kGetTitleCount, "GetTitleCount", {}, kI2),
      Method<&C::RemoveTitle>(dispid::kRemoveTitle, "RemoveTitle", {kI2}, kBool),
      Method<&C::ClearAll>(dispid::kClearAll, "ClearAll"),
      Method<&C::GetMainMenuButtonCount>(dispid::kGetMainMenuButtonCount, "GetMainMenuButtonCount", {}, kI2),
      Method<&C::RemoveMainMenuButton>(dispid::kRemoveMainMenuButton, "RemoveMainMenuButton", {kI2}, kBool),
      Method<&C::BuildDVDImage>(dispid::kBuildDVDImage, "BuildDVDImage", {}, kBool),
  };
  return table;
}

}  // namespace

platform::InvokeResult CQuillonCtrl::Invoke(platform::DispId id, platform::DispatchKind kind,
                                            std::span<const platform::Variant> args) {
  return Table().Invoke(*this, id, kind, args);
}

std::span<const DispatchMember> CQuillonCtrl::Members() const { return Table().Members(); }

std::span<const DispatchMember> CQuillonCtrl::EventMembers() {
  static const std::vector<DispatchMember> members{
      {dispid::kTotalProcessing, "TotalProcessing", kMethod, {kR8, kR8}, kNone},
      {dispid::kOnCompleted, "OnCompleted", kMethod, {}, kNone},
  };
  return members;
}

}  // namespace quillon
