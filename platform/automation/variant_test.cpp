#include "platform/automation/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform {
namespace {

Variant Convert(const Variant& v, VarType to, HResult* hr = nullptr) {
  Variant out;
  const HResult r = v.ChangeType(to, out);
  if (hr) *hr = r;
  return out;
}

TEST(VariantTest, BooleansAreVariantBoolMinusOneAndZero) {
  EXPECT_EQ(Variant::Bool(true).boolean(), -1);
  EXPECT_EQ(Variant::Bool(false).boolean(), 0);
  EXPECT_EQ(Convert(Variant::Bool(true), VarType::kI4).i4(), -1);
  EXPECT_EQ(Convert(Variant(std::int16_t{7}), VarType::kBool).boolean(), VARIANT_TRUE);
  EXPECT_EQ(Convert(Variant(0.0), VarType::kBool).boolean(), VARIANT_FALSE);
  EXPECT_EQ(Convert(Variant("True"), VarType::kBool).boolean(), VARIANT_TRUE);
  EXPECT_EQ(Convert(Variant(" false "), VarType::kBool).boolean(), VARIANT_FALSE);
  EXPECT_EQ(Convert(Variant("0"), VarType::kBool).boolean(), VARIANT_FALSE);
  EXPECT_EQ(Convert(Variant::Bool(true), VarType::kString).str(), "-1");
}

TEST(VariantTest, FloatsBecomeIntegersByRoundingHalfToEven) {
  EXPECT_EQ(Convert(Variant(2.5), VarType::kI4).i4(), 2);
  EXPECT_EQ(Convert(Variant(3.5), VarType::kI4).i4(), 4);
  EXPECT_EQ(Convert(Variant(-2.5f), VarType::kI2).i2(), -2);
  EXPECT_EQ(Convert(Variant(2.4999), VarType::kI2).i2(), 2);
}

TEST(VariantTest, ValuesOutsideTheTargetRangeOverflowInsteadOfWrapping) {
  HResult hr = S_OK;
  Convert(Variant(65576), VarType::kI2, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Convert(Variant(32767.6), VarType::kI2, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Convert(Variant(3e9), VarType::kI4, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Convert(Variant(std::nan("")), VarType::kI4, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Convert(Variant(1e300), VarType::kR4, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Convert(Variant("1e999"), VarType::kR8, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Variant(-32768), VarType::kI2, &hr).i2(), -32768);
  EXPECT_EQ(hr, S_OK);
}

TEST(VariantTest, StringsConvertOnlyWhenTheyReadAsNumbers) {
  HResult hr = S_OK;
  EXPECT_EQ(Convert(Variant(" 42 "), VarType::kI4, &hr).i4(), 42);
  EXPECT_EQ(hr, S_OK);
  EXPECT_DOUBLE_EQ(Convert(Variant("-1.25e1"), VarType::kR8).r8(), -12.5);
  for (const char* bad : {"", "abc", "12abc", "0x10", "inf", "nan", "1 2"}) {
    Convert(Variant(bad), VarType::kI4, &hr);
    EXPECT_EQ(hr, DISP_E_TYPEMISMATCH) << bad;
  }
  EXPECT_EQ(Convert(Variant(std::int16_t{-5}), VarType::kString).str(), "-5");
  EXPECT_EQ(Convert(Variant(1.5), VarType::kString).str(), "1.5");
  EXPECT_EQ(Convert(Variant(0.1f), VarType::kString).str(), "0.1");
}

TEST(VariantTest, EmptyConvertsToZeroEmptyTextAndFalse) {
  EXPECT_EQ(Convert(Variant(), VarType::kI2).i2(), 0);
  EXPECT_EQ(Convert(Variant(), VarType::kString).str(), "");
  EXPECT_EQ(Convert(Variant(), VarType::kBool), Variant::Bool(false));
}

TEST(VariantTest, ByReferenceVariantsReadAndWriteTheCallersVariable) {
  std::int16_t left = 40;
  Variant ref = Variant::Ref(&left);
  EXPECT_TRUE(ref.by_ref());
  EXPECT_EQ(ref.type(), VarType::kI2);
  EXPECT_EQ(ref.i2(), 40);
  left = 41;
  EXPECT_EQ(ref.i2(), 41);
  Variant as_i4 = Convert(ref, VarType::kI4);
  EXPECT_FALSE(as_i4.by_ref());
  EXPECT_EQ(as_i4.i4(), 41);

  EXPECT_EQ(ref.Store(Variant(123)), S_OK);
  EXPECT_EQ(left, 123);
  EXPECT_EQ(ref.Store(Variant(70000)), DISP_E_OVERFLOW);
  EXPECT_EQ(left, 123) << "a failed store leaves the variable alone";
  EXPECT_EQ(Variant(5).Store(Variant(1)), E_INVALIDARG);

  std::string text;
  EXPECT_EQ(Variant::Ref(&text).Store(Variant(7)), S_OK);
  EXPECT_EQ(text, "7");
  VariantBool flag = 0;
  EXPECT_EQ(Variant::RefBool(&flag).Store(Variant(2)), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
}

TEST(VariantTest, AccessorsOfAnotherTypeYieldZeroOrEmpty) {
  Variant s("x");
  EXPECT_EQ(s.i4(), 0);
  EXPECT_EQ(Variant(3).str(), "");
  EXPECT_FALSE(Variant(1).IsTrue());
  EXPECT_TRUE(Variant::Bool(true).IsTrue());
}

}  // namespace
}  // namespace platform
