// The M4A members. This version reads no M4A file: the duration is 0 and
// decoding writes nothing.
#include <string>

#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::AudioFile_M4A_GetDuration(const std::string& /*myM4AFile*/, float& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioFile_M4A_Decode(const std::string& /*Source*/, const std::string& /*Dest*/) {
  return S_OK;
}

}  // namespace zephrel
