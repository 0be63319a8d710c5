#include "vantora/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vantora {

std::int32_t RoundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  const double r = std::nearbyint(value);  // the default mode rounds halves to even
  if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(r);
}

double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  auto digits = [&] {
    std::size_t n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      number += text[i++];
      ++n;
    }
    return n;
  };
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    mantissa += digits();
  }
  if (mantissa == 0) return 0;
  if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::string exponent = "e";
    std::size_t j = i + 1;
    if (text[j] == '+' || text[j] == '-') exponent += text[j++];
    std::size_t n = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && n < 6) exponent += text[j++], ++n;
    if (n > 0) number += exponent;
  }
  const double v = std::strtod(number.c_str(), nullptr);
  return std::isfinite(v) ? v : 0;
}

std::string FormatSingle(float value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";  // also for -0
  char text[64];
  // %G drops trailing zeros and the point, as the wizard's texts want.
  std::snprintf(text, sizeof text, "%.7G", static_cast<double>(value));
  return text;
}

std::string FormatSeconds(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const std::int64_t h = seconds / 3600;
  const std::int64_t m = (seconds - 3600 * h) / 60;
  const std::int64_t s = seconds - 3600 * h - 60 * m;
  char text[64];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(h),
                static_cast<long long>(m), static_cast<long long>(s));
  return text;
}

std::string FormatDuration(double seconds) {
  const std::int64_t t = static_cast<std::int64_t>(RoundHalfEven(seconds)) + 1;
  std::int64_t minutes = t / 60;
  std::int64_t rest = t - 60 * minutes;
  if (rest < 0) {  // negative durations read as 00:00 and below, never as "-0:-5"
    minutes = 0;
    rest = 0;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(minutes),
                static_cast<long long>(rest));
  return text;
}

}  // namespace vantora
