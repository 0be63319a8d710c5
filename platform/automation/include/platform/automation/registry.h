// The in-process class registry: what a system registry and class factories
// provide elsewhere. A module registers its classes (CLSID, ProgID, type
// name, factory) and its type library; hosts create objects by ProgID or
// CLSID. One process-wide instance; every member is thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"

namespace platform {

// Creates one new object; may return null when it cannot (out of memory).
using ClassFactory = std::function<std::unique_ptr<Dispatchable>()>;

struct ClassRegistration {
  Guid clsid;
  std::string prog_id;    // e.g. "QUILLON.QuillonCtrl.1"; may be empty
  std::string type_name;  // the user type name
  std::string threading_model = "Apartment";
  std::uint32_t misc_status = 0;
  Guid type_library;  // LIBID, null when none
  std::uint16_t type_library_major = 0;
  std::uint16_t type_library_minor = 0;
  ClassFactory factory;
  // The version-independent ProgID (e.g. "QUILLON.QuillonCtrl"), whose CurVer
  // is prog_id; may be empty. Either ProgID finds the class.
  std::string version_independent_prog_id;
};

struct TypeLibraryRegistration {
  Guid libid;
  std::uint16_t major = 1;
  std::uint16_t minor = 0;
  std::string help_string;
};

class ClassRegistry {
 public:
  ClassRegistry() = default;
  ClassRegistry(const ClassRegistry&) = delete;
  ClassRegistry& operator=(const ClassRegistry&) = delete;

  static ClassRegistry& Process();

  // Adds the class, or replaces the entry of the same CLSID (registering
  // twice succeeds). E_INVALIDARG for a null CLSID or a missing factory.
  HResult RegisterClass(ClassRegistration registration);

  // Removes the class's entries. S_OK when it was registered, S_FALSE when
  // it was not.
  HResult UnregisterClass(const Guid& clsid);

  // Adds or replaces a type library entry (by LIBID and version).
  HResult RegisterTypeLibrary(TypeLibraryRegistration registration);
  // TYPE_E_REGISTRYACCESS when no such LIBID and version is registered.
  HResult UnregisterTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor);
  bool HasTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor) const;

  // The CLSID registered under a ProgID (compared without regard to ASCII
  // case). CO_E_CLASSSTRING for an unknown ProgID.
  HResult ClassIdFromProgId(std::string_view prog_id, Guid* clsid) const;

  std::optional<ClassRegistration> Find(const Guid& clsid) const;

  // Creates an object. REGDB_E_CLASSNOTREG for an unknown class,
  // CO_E_CLASSSTRING for an unknown ProgID, E_OUTOFMEMORY when the factory
  // yields nothing; E_POINTER for a null `object`.
  HResult CreateInstance(const Guid& clsid, std::unique_ptr<Dispatchable>* object) const;
  HResult CreateInstance(std::string_view prog_id, std::unique_ptr<Dispatchable>* object) const;

 private:
  mutable std::mutex mutex_;
  std::vector<ClassRegistration> classes_;
  std::vector<TypeLibraryRegistration> libraries_;
};

}  // namespace platform
