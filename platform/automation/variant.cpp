#include "platform/automation/variant.h"
#include "ascii.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

namespace platform {
namespace {

const std::string kNoString;

using automation_detail::AsciiIEqual;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A decimal number as automation reads it from text (sign, digits, point,
// exponent, surrounding blanks); nothing for anything else.
std::optional<double> ParseNumber(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
      return std::nullopt;
  }
  std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return v;  // an out-of-range exponent gives +-HUGE_VAL, refused as overflow by the caller
}

// A Variant's value as a double, for numeric targets. Strings are parsed.
HResult NumericValue(const Variant& v, double* out) {
  switch (v.type()) {
    case VarType::kEmpty:
      *out = 0;
      return S_OK;
    case VarType::kI2:
      *out = v.i2();
      return S_OK;
    case VarType::kI4:
      *out = v.i4();
      return S_OK;
    case VarType::kR4:
      *out = v.r4();
      return S_OK;
    case VarType::kR8:
      *out = v.r8();
      return S_OK;
    case VarType::kBool:
      *out = v.boolean();
      return S_OK;
    case VarType::kString: {
      if (auto n = ParseNumber(v.str())) {
        *out = *n;
        return S_OK;
      }
      const std::string_view t = Trim(v.str());
      if (AsciiIEqual(t, "true")) {
        *out = VARIANT_TRUE;
        return S_OK;
      }
      if (AsciiIEqual(t, "false")) {
        *out = VARIANT_FALSE;
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HResult ToInteger(double v, double lo, double hi, std::int32_t* out) {
  if (std::isnan(v)) return DISP_E_OVERFLOW;
  const double r = std::nearbyint(v);  // default rounding: half to even
  if (r < lo || r > hi) return DISP_E_OVERFLOW;
  *out = static_cast<std::int32_t>(r);
  return S_OK;
}

std::string FormatFloat(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, v);
  return buf;
}

}  // namespace

std::string_view VarTypeName(VarType type) {
  switch (type) {
    case VarType::kEmpty:
      return "EMPTY";
    case VarType::kI2:
      return "I2";
    case VarType::kI4:
      return "I4";
    case VarType::kR4:
      return "R4";
    case VarType::kR8:
      return "R8";
    case VarType::kString:
      return "BSTR";
    case VarType::kBool:
      return "BOOL";
  }
  return "?";
}

Variant Variant::Bool(bool b) { return FromVariantBool(b ? VARIANT_TRUE : VARIANT_FALSE); }

Variant Variant::FromVariantBool(VariantBool v) {
  Variant r;
  r.type_ = VarType::kBool;
  r.u_.i2 = v;
  return r;
}

#define VANTORA_VARIANT_REF(Ctype, Tag) \
  Variant Variant::Ref(Ctype* target) { \
    Variant r;                          \
    r.type_ = Tag;                      \
    r.by_ref_ = true;                   \
    r.u_.ref = target;                  \
    return r;                           \
  }
VANTORA_VARIANT_REF(std::int16_t, VarType::kI2)
VANTORA_VARIANT_REF(std::int32_t, VarType::kI4)
VANTORA_VARIANT_REF(float, VarType::kR4)
VANTORA_VARIANT_REF(double, VarType::kR8)
VANTORA_VARIANT_REF(std::string, VarType::kString)
#undef VANTORA_VARIANT_REF

Variant Variant::RefBool(VariantBool* target) {
  Variant r;
  r.type_ = VarType::kBool;
  r.by_ref_ = true;
  r.u_.ref = target;
  return r;
}

std::int16_t Variant::i2() const {
  if (type_ != VarType::kI2) return 0;
  return by_ref_ ? *static_cast<std::int16_t*>(u_.ref) : u_.i2;
}
std::int32_t Variant::i4() const {
  if (type_ != VarType::kI4) return 0;
  return by_ref_ ? *static_cast<std::int32_t*>(u_.ref) : u_.i4;
}
float Variant::r4() const {
  if (type_ != VarType::kR4) return 0;
  return by_ref_ ? *static_cast<float*>(u_.ref) : u_.r4;
}
double Variant::r8() const {
  if (type_ != VarType::kR8) return 0;
  return by_ref_ ? *static_cast<double*>(u_.ref) : u_.r8;
}
VariantBool Variant::boolean() const {
  if (type_ != VarType::kBool) return 0;
  return by_ref_ ? *static_cast<VariantBool*>(u_.ref) : u_.i2;
}
const std::string& Variant::str() const {
  if (type_ != VarType::kString) return kNoString;
  return by_ref_ ? *static_cast<std::string*>(u_.ref) : str_;
}

Variant Variant::Dereferenced() const {
  if (!by_ref_) return *this;
  switch (type_) {
    case VarType::kI2:
      return Variant(i2());
    case VarType::kI4:
      return Variant(i4());
    case VarType::kR4:
      return Variant(r4());
    case VarType::kR8:
      return Variant(r8());
    case VarType::kBool:
      return FromVariantBool(boolean());
    case VarType::kString:
      return Variant(str());
    case VarType::kEmpty:
      break;
  }
  return Variant();
}

HResult Variant::ChangeType(VarType to, Variant& out) const {
  if (to == type_) {
    out = Dereferenced();
    return S_OK;
  }
  switch (to) {
    case VarType::kEmpty:
      out = Variant();
      return S_OK;
    case VarType::kString: {
      switch (type_) {
        case VarType::kEmpty:
          out = Variant(std::string());
          return S_OK;
        case VarType::kI2:
          out = Variant(std::to_string(i2()));
          return S_OK;
        case VarType::kI4:
          out = Variant(std::to_string(i4()));
          return S_OK;
        case VarType::kBool:
          out = Variant(std::to_string(boolean()));
          return S_OK;
        case VarType::kR4:
          out = Variant(FormatFloat(r4(), 7));
          return S_OK;
        case VarType::kR8:
          out = Variant(FormatFloat(r8(), 15));
          return S_OK;
        case VarType::kString:
          break;
      }
      return DISP_E_TYPEMISMATCH;
    }
    case VarType::kBool: {
      double v = 0;
      const HResult hr = NumericValue(*this, &v);
      if (Failed(hr)) return hr;
      if (std::isnan(v)) return DISP_E_OVERFLOW;
      out = Bool(v != 0);
      return S_OK;
    }
    case VarType::kI2:
    case VarType::kI4: {
      double v = 0;
      HResult hr = NumericValue(*this, &v);
      if (Failed(hr)) return hr;
      std::int32_t n = 0;
      if (to == VarType::kI2) {
        hr = ToInteger(v, -32768.0, 32767.0, &n);
        if (Succeeded(hr)) out = Variant(static_cast<std::int16_t>(n));
      } else {
        hr = ToInteger(v, -2147483648.0, 2147483647.0, &n);
        if (Succeeded(hr)) out = Variant(n);
      }
      return hr;
    }
    case VarType::kR4: {
      double v = 0;
      const HResult hr = NumericValue(*this, &v);
      if (Failed(hr)) return hr;
      if (std::isinf(v) || (std::isfinite(v) && std::fabs(v) > FLT_MAX)) return DISP_E_OVERFLOW;
      out = Variant(static_cast<float>(v));
      return S_OK;
    }
    case VarType::kR8: {
      double v = 0;
      const HResult hr = NumericValue(*this, &v);
      if (Failed(hr)) return hr;
      if (std::isinf(v)) return DISP_E_OVERFLOW;
      out = Variant(v);
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HResult Variant::Store(const Variant& value) const {
  if (!by_ref_) return E_INVALIDARG;
  Variant converted;
  const HResult hr = value.ChangeType(type_, converted);
  if (Failed(hr)) return hr;
  switch (type_) {
    case VarType::kI2:
      *static_cast<std::int16_t*>(u_.ref) = converted.i2();
      break;
    case VarType::kI4:
      *static_cast<std::int32_t*>(u_.ref) = converted.i4();
      break;
    case VarType::kR4:
      *static_cast<float*>(u_.ref) = converted.r4();
      break;
    case VarType::kR8:
      *static_cast<double*>(u_.ref) = converted.r8();
      break;
    case VarType::kBool:
      *static_cast<VariantBool*>(u_.ref) = converted.boolean();
      break;
    case VarType::kString:
      *static_cast<std::string*>(u_.ref) = converted.str();
      break;
    case VarType::kEmpty:
      return E_INVALIDARG;
  }
  return S_OK;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_ || a.by_ref_ != b.by_ref_) return false;
  if (a.by_ref_) return a.u_.ref == b.u_.ref;
  switch (a.type_) {
    case VarType::kEmpty:
      return true;
    case VarType::kI2:
    case VarType::kBool:
      return a.u_.i2 == b.u_.i2;
    case VarType::kI4:
      return a.u_.i4 == b.u_.i4;
    case VarType::kR4:
      return a.u_.r4 == b.u_.r4;
    case VarType::kR8:
      return a.u_.r8 == b.u_.r8;
    case VarType::kString:
      return a.str_ == b.str_;
  }
  return false;
}

std::string Variant::Describe() const {
  std::string s(VarTypeName(type_));
  if (by_ref_) s += '&';
  if (type_ == VarType::kEmpty) return s;
  s += ' ';
  if (type_ == VarType::kString) return s + '"' + str() + '"';
  Variant text;
  Dereferenced().ChangeType(VarType::kString, text);
  return s + text.str();
}

}  // namespace platform
