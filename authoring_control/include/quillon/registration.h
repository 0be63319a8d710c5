// Registration of the control's module in the in-process class registry: the
// type library, the control class and its (empty) property page.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/automation/dispatch.h"
#include "platform/automation/registry.h"
#include "quillon/export.h"

namespace quillon {

// Registers the type library (failure: SELFREG_E_TYPELIB), then the control
// and the property page classes (failure: SELFREG_E_CLASS); S_OK otherwise.
// Registering again replaces the entries and succeeds.
QUILLON_API platform::HResult DllRegisterServer(
    platform::ClassRegistry& registry = platform::ClassRegistry::Process());

// Removes the type library (SELFREG_E_TYPELIB when it is not registered),
// then both classes (SELFREG_E_CLASS when either is missing); S_OK otherwise.
QUILLON_API platform::HResult DllUnregisterServer(
    platform::ClassRegistry& registry = platform::ClassRegistry::Process());

// The control's property page: the caption "General", 250 x 62 dialog units,
// no controls; applying it changes nothing.
class QUILLON_API CQuillonPropPage : public platform::Dispatchable {
 public:
  static constexpr char kCaption[] = "General";
  static constexpr std::int32_t kWidthDialogUnits = 250;
  static constexpr std::int32_t kHeightDialogUnits = 62;

  std::string caption() const { return kCaption; }
  void Apply() {}

  platform::InvokeResult Invoke(platform::DispId id, platform::DispatchKind kind,
                                std::span<const platform::Variant> args) override;
  std::span<const platform::DispatchMember> Members() const override { return {}; }
};

}  // namespace quillon
