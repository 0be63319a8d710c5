// Members of the project tree (the files and folders an image is built from).
// Not available in this version: each gives its neutral value. The project
// tree replaces these bodies by forwarding to it.
#include <string>

#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::AddDirectory(std::int32_t /*Dad_Index*/, const std::string& /*Path*/) { return S_OK; }

HResult ISOBuilder::Clear() { return S_OK; }

HResult ISOBuilder::GetDirectoryCount(std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::GetFileCount(std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::GetProjectedImageSize(float& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AddVirtualDirectory(std::int32_t /*Dad_Index*/, const std::string& /*Name*/) {
  return S_OK;
}

HResult ISOBuilder::AddFile(std::int32_t /*Dad_Index*/, const std::string& /*mPath*/) { return S_OK; }

HResult ISOBuilder::SetCDName(const std::string& /*Name*/) { return S_OK; }

HResult ISOBuilder::SetSoftwareName(const std::string& /*SoftwareName*/) { return S_OK; }

HResult ISOBuilder::GetFilesDirsAtLevel(std::int32_t /*level*/) { return S_OK; }

HResult ISOBuilder::RemoveAt(std::int32_t /*index*/) { return S_OK; }

HResult ISOBuilder::RenameElementAt(std::int32_t /*index*/, const std::string& /*NewName*/) { return S_OK; }

HResult ISOBuilder::DirectoryCountAtLevel(std::int32_t /*index*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Cancel_AddDirectory() { return S_OK; }

}  // namespace zephrel
