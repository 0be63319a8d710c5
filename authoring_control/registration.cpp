#include "quillon/registration.h"

#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"

namespace quillon {

using platform::ClassRegistration;
using platform::Failed;
using platform::HResult;

platform::InvokeResult CQuillonPropPage::Invoke(platform::DispId, platform::DispatchKind,
                                                std::span<const platform::Variant>) {
  platform::InvokeResult r;
  r.hr = platform::DISP_E_MEMBERNOTFOUND;
  return r;
}

HResult DllRegisterServer(platform::ClassRegistry& registry) {
  if (Failed(registry.RegisterTypeLibrary({LIBID_QuillonLib, kTypeLibMajor, kTypeLibMinor, kTypeLibHelp}))) {
    return platform::SELFREG_E_TYPELIB;
  }
  ClassRegistration control;
  control.clsid = CLSID_Quillon;
  control.prog_id = kControlProgId;
  control.type_name = kControlTypeName;
  control.misc_status = kMiscStatus;
  control.type_library = LIBID_QuillonLib;
  control.type_library_major = kTypeLibMajor;
  control.type_library_minor = kTypeLibMinor;
  control.factory = []() -> std::unique_ptr<platform::Dispatchable> {
    auto engine = MakeMorvixEngine();
    if (!engine) return nullptr;
    return std::make_unique<CQuillonCtrl>(std::move(engine));
  };

  ClassRegistration page;
  page.clsid = CLSID_QuillonPropPage;
  page.prog_id = kPropPageProgId;
  page.type_name = kPropPageTypeName;
  page.factory = [] { return std::make_unique<CQuillonPropPage>(); };

  if (Failed(registry.RegisterClass(std::move(control))) || Failed(registry.RegisterClass(std::move(page)))) {
    return platform::SELFREG_E_CLASS;
  }
  return platform::S_OK;
}

HResult DllUnregisterServer(platform::ClassRegistry& registry) {
  if (Failed(registry.UnregisterTypeLibrary(LIBID_QuillonLib, kTypeLibMajor, kTypeLibMinor))) {
    return platform::SELFREG_E_TYPELIB;
  }
  const HResult control = registry.UnregisterClass(CLSID_Quillon);
  const HResult page = registry.UnregisterClass(CLSID_QuillonPropPage);
  if (control != platform::S_OK || page != platform::S_OK) return platform::SELFREG_E_CLASS;
  return platform::S_OK;
}

}  // namespace quillon
