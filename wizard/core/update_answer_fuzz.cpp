// The update server's answer is untrusted bytes: reading its first line and
// the version in it must hold against anything.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vantora/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const auto latest = vantora::LatestVersionOfAnswer(answer);
  if (!latest) return 0;
  if (latest->size() > size || latest->find_first_of("\r\n_") != std::string::npos) __builtin_trap();
  if (const auto numbers = vantora::ParseVersion(*latest)) {
    if (numbers->empty() || vantora::CompareVersions(*numbers, *numbers) != 0) __builtin_trap();
    for (long n : *numbers)
      if (n < 0) __builtin_trap();
  }
  return 0;
}
