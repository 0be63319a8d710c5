// A small automation Variant: empty, 16-bit and 32-bit integers, single and
// double floats, Booleans (VARIANT_BOOL: TRUE is -1, FALSE is 0) and UTF-8
// strings, each either held by value or referring to the caller's variable
// (by reference), as late-bound callers pass out and in/out arguments.
//
// A by-reference Variant holds a plain pointer: the variable it refers to must
// outlive every use of the Variant. Copies of a by-reference Variant refer to
// the same variable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/hresult.h"

namespace platform {

// Type tags with the numbers automation uses for them.
enum class VarType : std::uint16_t {
  kEmpty = 0,
  kI2 = 2,
  kI4 = 3,
  kR4 = 4,
  kR8 = 5,
  kString = 8,  // BSTR, held as UTF-8
  kBool = 11,
};

using VariantBool = std::int16_t;
inline constexpr VariantBool VARIANT_TRUE = -1;
inline constexpr VariantBool VARIANT_FALSE = 0;

// Name of a type tag ("I2", "BSTR", ...), for messages.
std::string_view VarTypeName(VarType type);

class Variant {
 public:
  Variant() = default;  // empty
  Variant(std::int16_t v) : type_(VarType::kI2) { u_.i2 = v; }
  Variant(std::int32_t v) : type_(VarType::kI4) { u_.i4 = v; }
  Variant(float v) : type_(VarType::kR4) { u_.r4 = v; }
  Variant(double v) : type_(VarType::kR8) { u_.r8 = v; }
  Variant(std::string v) : type_(VarType::kString), str_(std::move(v)) {}
  Variant(std::string_view v) : Variant(std::string(v)) {}
  Variant(const char* v) : Variant(std::string(v ? v : "")) {}
  Variant(bool) = delete;  // say which Boolean is meant: Variant::Bool(b)

  // A Boolean: VARIANT_TRUE (-1) when b, else VARIANT_FALSE (0).
  static Variant Bool(bool b);
  // A Boolean holding the raw VARIANT_BOOL value as given.
  static Variant FromVariantBool(VariantBool v);

  // By-reference Variants. `target` must not be null and must outlive the
  // Variant and its copies.
  static Variant Ref(std::int16_t* target);
  static Variant Ref(std::int32_t* target);
  static Variant Ref(float* target);
  static Variant Ref(double* target);
  static Variant Ref(std::string* target);
  static Variant RefBool(VariantBool* target);

  VarType type() const { return type_; }
  bool by_ref() const { return by_ref_; }
  bool empty() const { return type_ == VarType::kEmpty; }

  // The held value (read through the reference for a by-reference Variant).
  // Each accessor requires the matching type(); a mismatch yields 0 or "".
  std::int16_t i2() const;
  std::int32_t i4() const;
  float r4() const;
  double r8() const;
  VariantBool boolean() const;
  bool IsTrue() const { return type_ == VarType::kBool && boolean() != 0; }
  const std::string& str() const;

  // The value converted to `to` as automation converts it, as a by-value
  // Variant in `out`. Results: S_OK; DISP_E_OVERFLOW when the value does not
  // fit (integers, R4, NaN to an integer); DISP_E_TYPEMISMATCH when it cannot
  // be read as the type (a string that is not a number or Boolean word).
  // Floating values become integers by rounding half to even. Empty converts
  // to 0, "" or FALSE.
  HResult ChangeType(VarType to, Variant& out) const;

  // A by-value copy (follows the reference of a by-reference Variant).
  Variant Dereferenced() const;

  // Writes `value`, converted to this Variant's type, into the variable a
  // by-reference Variant refers to. E_INVALIDARG for a by-value Variant;
  // otherwise the result of the conversion (nothing is written on failure).
  HResult Store(const Variant& value) const;

  // Same type, same by-reference flag and same value (by-reference Variants:
  // same target).
  friend bool operator==(const Variant& a, const Variant& b);

  // A readable form for test output: "I4 42", "BSTR \"x\"", "I2& 7".
  std::string Describe() const;

 private:
  VarType type_ = VarType::kEmpty;
  bool by_ref_ = false;
  union {
    std::int16_t i2;
    std::int32_t i4;
    float r4;
    double r8;
    void* ref;
  } u_{};
  std::string str_;
};

}  // namespace platform
