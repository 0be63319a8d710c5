#include "platform/automation/registry.h"
#include "ascii.h"

#include <algorithm>
#include <exception>

namespace platform {
namespace {

using automation_detail::AsciiIEqual;

}  // namespace

ClassRegistry& ClassRegistry::Process() {
  static ClassRegistry registry;
  return registry;
}

HResult ClassRegistry::RegisterClass(ClassRegistration registration) {
  if (registration.clsid.IsNull() || !registration.factory) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  for (ClassRegistration& c : classes_) {
    if (c.clsid == registration.clsid) {
      c = std::move(registration);
      return S_OK;
    }
  }
  classes_.push_back(std::move(registration));
  return S_OK;
}

HResult ClassRegistry::UnregisterClass(const Guid& clsid) {
  std::lock_guard lock(mutex_);
  const auto n = std::erase_if(classes_, [&](const ClassRegistration& c) { return c.clsid == clsid; });
  return n ? S_OK : S_FALSE;
}

HResult ClassRegistry::RegisterTypeLibrary(TypeLibraryRegistration registration) {
  if (registration.libid.IsNull()) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  for (TypeLibraryRegistration& l : libraries_) {
    if (l.libid == registration.libid && l.major == registration.major && l.minor == registration.minor) {
      l = std::move(registration);
      return S_OK;
    }
  }
  libraries_.push_back(std::move(registration));
  return S_OK;
}

HResult ClassRegistry::UnregisterTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor) {
  std::lock_guard lock(mutex_);
  const auto n = std::erase_if(libraries_, [&](const TypeLibraryRegistration& l) {
    return l.libid == libid && l.major == major && l.minor == minor;
  });
  return n ? S_OK : TYPE_E_REGISTRYACCESS;
}

bool ClassRegistry::HasTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor) const {
  std::lock_guard lock(mutex_);
  return std::any_of(libraries_.begin(), libraries_.end(), [&](const TypeLibraryRegistration& l) {
    return l.libid == libid && l.major == major && l.minor == minor;
  });
}

HResult ClassRegistry::ClassIdFromProgId(std::string_view prog_id, Guid* clsid) const {
  if (!clsid) return E_POINTER;
  std::lock_guard lock(mutex_);
  for (const ClassRegistration& c : classes_) {
    if ((!c.prog_id.empty() && AsciiIEqual(c.prog_id, prog_id)) ||
        (!c.version_independent_prog_id.empty() && AsciiIEqual(c.version_independent_prog_id, prog_id))) {
      *clsid = c.clsid;
      return S_OK;
    }
  }
  return CO_E_CLASSSTRING;
}

std::optional<ClassRegistration> ClassRegistry::Find(const Guid& clsid) const {
  std::lock_guard lock(mutex_);
  for (const ClassRegistration& c : classes_) {
    if (c.clsid == clsid) return c;
  }
  return std::nullopt;
}

HResult ClassRegistry::CreateInstance(const Guid& clsid, std::unique_ptr<Dispatchable>* object) const {
  if (!object) return E_POINTER;
  object->reset();
  ClassFactory factory;
  {
    std::lock_guard lock(mutex_);
    for (const ClassRegistration& c : classes_) {
      if (c.clsid == clsid) factory = c.factory;
    }
  }
  if (!factory) return REGDB_E_CLASSNOTREG;
  try {
    *object = factory();  // outside the lock: a constructor may use the registry
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  return *object ? S_OK : E_OUTOFMEMORY;
}

HResult ClassRegistry::CreateInstance(std::string_view prog_id, std::unique_ptr<Dispatchable>* object) const {
  if (!object) return E_POINTER;
  object->reset();
  Guid clsid;
  const HResult hr = ClassIdFromProgId(prog_id, &clsid);
  if (Failed(hr)) return hr;
  return CreateInstance(clsid, object);
}

}  // namespace platform
