// Text from a late-bound caller read as every automation type, and as a GUID.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/automation/guid.h"
#include "platform/automation/variant.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const platform::Variant v(text);
  for (auto to : {platform::VarType::kI2, platform::VarType::kI4, platform::VarType::kR4,
                  platform::VarType::kR8, platform::VarType::kBool, platform::VarType::kString}) {
    platform::Variant out;
    if (platform::Succeeded(v.ChangeType(to, out))) {
      platform::Variant back;
      out.ChangeType(platform::VarType::kString, back);
    }
  }
  if (auto g = platform::Guid::Parse(text)) {
    if (platform::Guid::Parse(g->ToString()) != g) __builtin_trap();
  }
  return 0;
}
