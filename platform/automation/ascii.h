// ASCII helpers private to the automation layer.
#pragma once

#include <algorithm>
#include <string_view>

namespace platform::automation_detail {

// Equal when the texts differ at most in the case of ASCII letters.
inline bool AsciiIEqual(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    return x == y;
  });
}

}  // namespace platform::automation_detail
