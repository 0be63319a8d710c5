#include "platform/automation/dispatch_entries.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

constexpr HResult kRefused = static_cast<HResult>(0x80040201);

const char* RefusalText(HResult hr) { return hr == kRefused ? "The value was refused." : ""; }

// Members in both calling styles: results through out parameters with an
// HResult status, and results returned directly.
class Sample {
 public:
  HResult Sum(std::int32_t a, std::int16_t b, float c, double d, std::int32_t& total) {
    total = a + b + static_cast<std::int32_t>(c) + static_cast<std::int32_t>(d);
    return S_OK;
  }
  HResult Name(std::int32_t index, std::string& name) {
    name = "item " + std::to_string(index);
    return index < 0 ? E_INVALIDARG : S_OK;
  }
  HResult Split(const std::string& text, std::string& head, std::string& tail) {
    head = text.substr(0, 1);
    tail = text.substr(1);
    return S_OK;
  }
  HResult Limit(std::int32_t& value) {
    value = limit;
    return S_OK;
  }
  HResult Limit(const std::int32_t& value) {
    if (value < 0) return kRefused;
    limit = value;
    return S_OK;
  }
  VariantBool Enabled() const { return enabled; }
  HResult SetEnabled(VariantBool value) {
    enabled = value;
    return S_OK;
  }
  std::int16_t Count() { return 7; }
  std::string Label() const { return "label"; }
  void Reset() { limit = 0; }

  std::int32_t limit = 3;
  VariantBool enabled = VARIANT_FALSE;
};

const DispatchTable<Sample>& Table() {
  using K = VarType;
  static const DispatchTable<Sample> table{
      Method<&Sample::Sum>(1, "Sum", {K::kI4, K::kI2, K::kR4, K::kR8, Out(K::kI4)}),
      PropertyGet<&Sample::Name>(2, "Name", {K::kI4}, K::kString),
      Method<&Sample::Split>(3, "Split", {K::kString, Out(K::kString), Out(K::kString)}),
      PropertyGet<static_cast<HResult (Sample::*)(std::int32_t&)>(&Sample::Limit)>(4, "Limit", {}, K::kI4),
      PropertyPut<static_cast<HResult (Sample::*)(const std::int32_t&)>(&Sample::Limit), RefusalText>(
          4, "Limit", {K::kI4}),
      PropertyGet<&Sample::Enabled>(5, "Enabled", {}, K::kBool),
      PropertyPut<&Sample::SetEnabled>(5, "Enabled", {K::kBool}),
      Method<&Sample::Count>(6, "Count", {}, K::kI2),
      PropertyGet<&Sample::Label>(7, "Label", {}, K::kString),
      Method<&Sample::Reset>(8, "Reset"),
  };
  return table;
}

InvokeResult Call(Sample& s, DispId id, DispatchKind kind, std::vector<Variant> args = {}) {
  return Table().Invoke(s, id, kind, args);
}

TEST(DispatchEntries, InArgumentsArriveAsTheParametersTypesAndOutParametersAreStored) {
  Sample s;
  std::int32_t total = 0;
  const InvokeResult r = Call(s, 1, DispatchKind::kMethod,
                              {Variant(std::int32_t{1}), Variant(std::int16_t{2}), Variant(3.5f),
                               Variant(4.0), Variant::Ref(&total)});
  ASSERT_TRUE(r.ok()) << r.hr;
  EXPECT_EQ(total, 10);
  EXPECT_TRUE(r.value.empty());

  std::string head, tail;
  ASSERT_TRUE(
      Call(s, 3, DispatchKind::kMethod, {Variant("héllo"), Variant::Ref(&head), Variant::Ref(&tail)}).ok());
  EXPECT_EQ(head, "h");
  EXPECT_EQ(tail, "\xc3\xa9llo");
}

TEST(DispatchEntries, TheOutParameterPastTheDeclaredOnesIsThePropertysValueEvenOnFailure) {
  Sample s;
  const InvokeResult named = Call(s, 2, DispatchKind::kPropertyGet, {Variant(std::int32_t{4})});
  ASSERT_TRUE(named.ok());
  EXPECT_EQ(named.value.str(), "item 4");
  const InvokeResult failed = Call(s, 2, DispatchKind::kPropertyGet, {Variant(std::int32_t{-1})});
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(failed.scode, E_INVALIDARG);
}

TEST(DispatchEntries, OverloadedGetAndPutShareTheirIdAndAFailedPutIsDescribed) {
  Sample s;
  EXPECT_EQ(Call(s, 4, DispatchKind::kPropertyGet).value.i4(), 3);
  ASSERT_TRUE(Call(s, 4, DispatchKind::kPropertyPut, {Variant(std::int32_t{9})}).ok());
  EXPECT_EQ(s.limit, 9);
  const InvokeResult refused = Call(s, 4, DispatchKind::kPropertyPut, {Variant(std::int32_t{-2})});
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(refused.scode, kRefused);
  EXPECT_EQ(refused.description, "The value was refused.");
  EXPECT_EQ(s.limit, 9);
}

TEST(DispatchEntries, ReturnedValuesAreTheResultAndBooleansTravelAsBooleans) {
  Sample s;
  const InvokeResult off = Call(s, 5, DispatchKind::kPropertyGet);
  EXPECT_EQ(off.value.type(), VarType::kBool);
  EXPECT_EQ(off.value.boolean(), VARIANT_FALSE);
  ASSERT_TRUE(Call(s, 5, DispatchKind::kPropertyPut, {Variant::Bool(true)}).ok());
  EXPECT_EQ(s.enabled, VARIANT_TRUE);
  const InvokeResult count = Call(s, 6, DispatchKind::kMethod);
  EXPECT_EQ(count.value.type(), VarType::kI2);
  EXPECT_EQ(count.value.i2(), 7);
  EXPECT_EQ(Call(s, 7, DispatchKind::kPropertyGet).value.str(), "label");
  EXPECT_TRUE(Call(s, 8, DispatchKind::kMethod).ok());
  EXPECT_EQ(s.limit, 0);
}

TEST(DispatchEntries, TheTableListsEveryEntryWithItsPublishedDescription) {
  const auto members = Table().Members();
  ASSERT_EQ(members.size(), 10u);
  EXPECT_EQ(members[0].name, "Sum");
  EXPECT_EQ(members[0].params.size(), 5u);
  EXPECT_TRUE(members[0].params[4].by_ref);
  EXPECT_EQ(members[4].kind, DispatchKind::kPropertyPut);
  EXPECT_EQ(members[5].result, VarType::kBool);
  EXPECT_EQ(members[9].kind, DispatchKind::kMethod);
  EXPECT_TRUE(members[9].params.empty());
}

}  // namespace
}  // namespace platform
