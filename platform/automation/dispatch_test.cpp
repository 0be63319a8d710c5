#include "platform/automation/dispatch.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace platform {
namespace {

// A little interface with a method, an indexed property pair on one id and a
// method with an out parameter, as late-bound callers see them.
class Counter : public Dispatchable {
 public:
  InvokeResult Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }
  std::span<const DispatchMember> Members() const override { return Table().Members(); }

  std::int32_t values[4] = {};
  std::string last_name;

 private:
  static const DispatchTable<Counter>& Table() {
    static const DispatchTable<Counter> table{
        {{1, "Add", DispatchKind::kMethod, {VarType::kI2, VarType::kString}, VarType::kBool},
         [](Counter& self, DispatchCall& call) {
           self.values[0] += call.args[0].i2();
           self.last_name = call.args[1].str();
           call.result = Variant::Bool(true);
           return S_OK;
         }},
        {{2, "Value", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
         [](Counter& self, DispatchCall& call) {
           const int i = call.args[0].i4();
           if (i < 0 || i > 3) return E_INVALIDARG;
           call.result = Variant(self.values[i]);
           return S_OK;
         }},
        {{2, "Value", DispatchKind::kPropertyPut, {VarType::kI4, VarType::kI4}, VarType::kEmpty},
         [](Counter& self, DispatchCall& call) {
           const int i = call.args[0].i4();
           if (i < 0 || i > 3) {
             call.description = "index out of range";
             return E_INVALIDARG;
           }
           self.values[i] = call.args[1].i4();
           return S_OK;
         }},
        {{3, "Split", DispatchKind::kMethod, {VarType::kR8, Out(VarType::kI4), Out(VarType::kString)}},
         [](Counter&, DispatchCall& call) {
           call.args[1].Store(call.args[0]);
           return call.args[2].Store(Variant("done"));
         }},
        {{4, "Throw", DispatchKind::kMethod, {}},
         [](Counter&, DispatchCall&) -> HResult { throw std::runtime_error("boom"); }},
        {{5, "Ratio", DispatchKind::kPropertyGet, {}, VarType::kR4},
         [](Counter&, DispatchCall& call) {
           call.result = Variant(0.5);  // an R8 result is converted to the declared R4
           return S_OK;
         }},
    };
    return table;
  }
};

TEST(DispatchTest, MembersAreReachedByIdAndKindWithConvertedArguments) {
  Counter c;
  InvokeResult r = c.Invoke(1, DispatchKind::kMethod, std::vector<Variant>{Variant(3), Variant(9.6)});
  ASSERT_TRUE(r.ok()) << std::hex << r.hr;
  EXPECT_EQ(r.value, Variant::Bool(true));
  EXPECT_EQ(c.values[0], 3);
  EXPECT_EQ(c.last_name, "9.6");

  ASSERT_TRUE(c.Invoke(2, DispatchKind::kPropertyPut, std::vector<Variant>{Variant("2"), Variant(-8)}).ok());
  r = c.Invoke(2, DispatchKind::kPropertyGet, std::vector<Variant>{Variant(std::int16_t{2})});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value, Variant(-8));

  r = c.Invoke(5, DispatchKind::kPropertyGet, {});
  EXPECT_EQ(r.value, Variant(0.5f));
}

TEST(DispatchTest, ByReferenceArgumentsAreConvertedInAndWrittenOut) {
  Counter c;
  std::int16_t amount = 4;
  ASSERT_TRUE(
      c.Invoke(1, DispatchKind::kMethod, std::vector<Variant>{Variant::Ref(&amount), Variant("a")}).ok());
  EXPECT_EQ(c.values[0], 4);

  std::int32_t whole = 0;
  std::string text;
  InvokeResult r = c.Invoke(3, DispatchKind::kMethod,
                            std::vector<Variant>{Variant(6.5), Variant::Ref(&whole), Variant::Ref(&text)});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(whole, 6);
  EXPECT_EQ(text, "done");

  // An out parameter needs the caller's variable of the declared type.
  std::int16_t narrow = 0;
  r = c.Invoke(3, DispatchKind::kMethod,
               std::vector<Variant>{Variant(1.0), Variant::Ref(&narrow), Variant::Ref(&text)});
  EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(r.bad_arg, 1);
  r = c.Invoke(3, DispatchKind::kMethod, std::vector<Variant>{Variant(1.0), Variant(0), Variant::Ref(&text)});
  EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
}

TEST(DispatchTest, BadCallsGiveClearErrorsAndDoNotRunTheMember) {
  Counter c;
  EXPECT_EQ(c.Invoke(99, DispatchKind::kMethod, {}).hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(c.Invoke(1, DispatchKind::kPropertyGet, {}).hr, DISP_E_MEMBERNOTFOUND)
      << "id exists, kind does not";
  EXPECT_EQ(c.Invoke(5, DispatchKind::kPropertyPut, std::vector<Variant>{Variant(1)}).hr,
            DISP_E_MEMBERNOTFOUND);

  EXPECT_EQ(c.Invoke(1, DispatchKind::kMethod, std::vector<Variant>{Variant(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(c.Invoke(1, DispatchKind::kMethod, std::vector<Variant>{Variant(1), Variant("a"), Variant(2)}).hr,
            DISP_E_BADPARAMCOUNT);

  InvokeResult r = c.Invoke(1, DispatchKind::kMethod, std::vector<Variant>{Variant("seven"), Variant("a")});
  EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(r.bad_arg, 0);
  r = c.Invoke(1, DispatchKind::kMethod, std::vector<Variant>{Variant(40000), Variant("a")});
  EXPECT_EQ(r.hr, DISP_E_OVERFLOW);
  EXPECT_EQ(r.bad_arg, 0);
  EXPECT_EQ(c.values[0], 0);
  EXPECT_EQ(c.last_name, "");
}

TEST(DispatchTest, MemberFailuresAndExceptionsBecomeDispatchExceptions) {
  Counter c;
  InvokeResult r = c.Invoke(2, DispatchKind::kPropertyPut, std::vector<Variant>{Variant(9), Variant(1)});
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.scode, E_INVALIDARG);
  EXPECT_EQ(r.description, "index out of range");

  r = c.Invoke(4, DispatchKind::kMethod, {});
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.scode, E_UNEXPECTED);
  EXPECT_EQ(r.description, "boom");
}

TEST(DispatchTest, NamesMapToIdsWithoutRegardToCase) {
  Counter c;
  EXPECT_EQ(c.IdOfName("value"), 2);
  EXPECT_EQ(c.IdOfName("SPLIT"), 3);
  EXPECT_FALSE(c.IdOfName("Nope").has_value());
}

}  // namespace
}  // namespace platform
