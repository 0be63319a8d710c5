// Number and time texts shown by the wizard.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantora {

// Nearest 32-bit integer, halves to even; out-of-range values are held to the
// 32-bit range and NaN gives 0.
std::int32_t RoundHalfEven(double value);

// The number a text begins with, as a BASIC Val() reads it: leading blanks,
// an optional sign, digits with an optional fraction and exponent. 0 when the
// text does not begin with a number.
double LeadingNumber(std::string_view text);

// A single-precision number as the wizard shows it: at most 7 significant
// digits, no trailing zeros or point, an exponent only for very large or
// small values (4482.623f gives "4482.623", 4000 gives "4000", 0.5 gives
// "0.5", 1e8 gives "1E+08"); "0" for NaN and infinities.
std::string FormatSingle(float value);

// "hh:mm:ss", each part at least two digits (3725 gives "01:02:05").
// Negative values count as 0.
std::string FormatSeconds(std::int64_t seconds);

// "mm:ss" of the seconds rounded (halves to even) plus one, minutes not capped
// at 59 (4500 gives "75:01", 59 gives "01:00", 0 gives "00:01").
std::string FormatDuration(double seconds);

}  // namespace vantora
