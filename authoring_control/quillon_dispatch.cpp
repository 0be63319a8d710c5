// _DQuillon and _DQuillonEvents by dispatch id.
#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"

namespace quillon {
namespace {

using platform::DispatchCall;
using platform::DispatchKind;
using platform::DispatchMember;
using platform::DispatchTable;
using platform::S_OK;
using platform::Variant;
using platform::VarType;

constexpr VarType kI2 = VarType::kI2;
constexpr VarType kI4 = VarType::kI4;
constexpr VarType kR8 = VarType::kR8;
constexpr VarType kBstr = VarType::kString;
constexpr VarType kBool = VarType::kBool;
constexpr VarType kNone = VarType::kEmpty;
constexpr DispatchKind kMethod = DispatchKind::kMethod;
constexpr DispatchKind kGet = DispatchKind::kPropertyGet;
constexpr DispatchKind kPut = DispatchKind::kPropertyPut;

HResult Boolean(DispatchCall& call, VariantBool b) {
  call.result = Variant::FromVariantBool(b);
  return S_OK;
}

HResult PutResult(DispatchCall& call, HResult hr) {
  if (hr == QUILLON_E_BUILD_RUNNING) {
    call.description = "The property cannot be changed while a build runs.";
  } else if (hr == QUILLON_E_ENGINE_REFUSED) {
    call.description = "The authoring engine refused the value.";
  }
  return hr;
}

const DispatchTable<CQuillonCtrl>& Table() {
  static const DispatchTable<CQuillonCtrl> table{
      {{dispid::kAboutBox, "AboutBox", kMethod, {}, kNone},
       [](CQuillonCtrl& c, DispatchCall&) {
         c.AboutBox();
         return S_OK;
       }},
      {{dispid::kAddMainMenu, "AddMainMenu", kMethod, {kBstr}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) { return Boolean(call, c.AddMainMenu(call.args[0].str())); }},
      {{dispid::kAddTitle, "AddTitle", kMethod, {kBstr}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) { return Boolean(call, c.AddTitle(call.args[0].str())); }},
      {{dispid::kOutputDir, "OutputDir", kGet, {}, kBstr},
       [](CQuillonCtrl& c, DispatchCall& call) {
         call.result = Variant(c.GetOutputDir());
         return S_OK;
       }},
      {{dispid::kOutputDir, "OutputDir", kPut, {kBstr}, kNone},
       [](CQuillonCtrl& c, DispatchCall& call) { return PutResult(call, c.SetOutputDir(call.args[0].str())); }},
      {{dispid::kAddMainMenuButton, "AddMainMenuButton", kMethod, {kI4, kI4, kI4, kI4, kI2}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) {
         const auto& a = call.args;
         return Boolean(call, c.AddMainMenuButton(a[0].i4(), a[1].i4(), a[2].i4(), a[3].i4(), a[4].i2()));
       }},
      {{dispid::kSetMainMenuButtonColor, "SetMainMenuButtonColor", kMethod, {kI2, kI2, kI2, kI2, kI2, kI2}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) {
         const auto& a = call.args;
         return Boolean(call,
                        c.SetMainMenuButtonColor(a[0].i2(), a[1].i2(), a[2].i2(), a[3].i2(), a[4].i2(), a[5].i2()));
       }},
      {{dispid::kEnableAutoNextTitle, "EnableAutoNextTitle", kGet, {}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) { return Boolean(call, c.GetEnableAutoNextTitle()); }},
      {{dispid::kEnableAutoNextTitle, "EnableAutoNextTitle", kPut, {kBool}, kNone},
       [](CQuillonCtrl& c, DispatchCall& call) {
         return PutResult(call, c.SetEnableAutoNextTitle(call.args[0].boolean()));
       }},
      {{dispid::kGetTitleCount, "GetTitleCount", kMethod, {}, kI2},
       [](CQuillonCtrl& c, DispatchCall& call) {
         call.result = Variant(c.GetTitleCount());
         return S_OK;
       }},
      {{dispid::kRemoveTitle, "RemoveTitle", kMethod, {kI2}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) { return Boolean(call, c.RemoveTitle(call.args[0].i2())); }},
      {{dispid::kClearAll, "ClearAll", kMethod, {}, kNone},
       [](CQuillonCtrl& c, DispatchCall&) {
         c.ClearAll();
         return S_OK;
       }},
      {{dispid::kGetMainMenuButtonCount, "GetMainMenuButtonCount", kMethod, {}, kI2},
       [](CQuillonCtrl& c, DispatchCall& call) {
         call.result = Variant(c.GetMainMenuButtonCount());
         return S_OK;
       }},
      {{dispid::kRemoveMainMenuButton, "RemoveMainMenuButton", kMethod, {kI2}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) { return Boolean(call, c.RemoveMainMenuButton(call.args[0].i2())); }},
      {{dispid::kBuildDVDImage, "BuildDVDImage", kMethod, {}, kBool},
       [](CQuillonCtrl& c, DispatchCall& call) { return Boolean(call, c.BuildDVDImage()); }},
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
