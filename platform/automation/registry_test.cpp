#include "platform/automation/registry.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

constexpr Guid kClsid = GuidOf("{71D6D9EB-8020-47FB-B29B-6851378A41D6}");
constexpr Guid kLibid = GuidOf("{E0F0E502-1D1D-4E8B-BE09-5F0CBC31D630}");

class Nothing : public Dispatchable {
 public:
  InvokeResult Invoke(DispId, DispatchKind, std::span<const Variant>) override {
    InvokeResult r;
    r.hr = DISP_E_MEMBERNOTFOUND;
    return r;
  }
  std::span<const DispatchMember> Members() const override { return {}; }
};

ClassRegistration Sample() {
  ClassRegistration r;
  r.clsid = kClsid;
  r.prog_id = "SAMPLE.Thing.1";
  r.type_name = "Sample";
  r.factory = [] { return std::make_unique<Nothing>(); };
  return r;
}

TEST(GuidTest, ParsesAndPrintsTheBracedForm) {
  constexpr auto g = Guid::Parse("{71d6d9eb-8020-47fb-b29b-6851378a41d6}");
  static_assert(g.has_value());
  EXPECT_EQ(*g, kClsid);
  EXPECT_EQ(kClsid.data1, 0x71D6D9EBu);
  EXPECT_EQ(kClsid.data4[7], 0xD6);
  EXPECT_EQ(kClsid.ToString(), "{71D6D9EB-8020-47FB-B29B-6851378A41D6}");
  EXPECT_EQ(Guid::Parse("71D6D9EB-8020-47FB-B29B-6851378A41D6"), kClsid);
  for (const char* bad :
       {"", "{71D6D9EB-8020-47FB-B29B-6851378A41D6", "{71D6D9EB+8020-47FB-B29B-6851378A41D6}",
        "{71D6D9EB-8020-47FB-B29B-6851378A41DG}"}) {
    EXPECT_FALSE(Guid::Parse(bad).has_value()) << bad;
  }
}

TEST(ClassRegistryTest, CreatesRegisteredClassesByProgIdOrClsid) {
  ClassRegistry reg;
  ASSERT_EQ(reg.RegisterClass(Sample()), S_OK);
  ASSERT_EQ(reg.RegisterClass(Sample()), S_OK) << "registering twice succeeds";
  std::unique_ptr<Dispatchable> obj;
  EXPECT_EQ(reg.CreateInstance("sample.thing.1", &obj), S_OK);
  EXPECT_NE(obj, nullptr);
  EXPECT_EQ(reg.CreateInstance(kClsid, &obj), S_OK);
  Guid found;
  EXPECT_EQ(reg.ClassIdFromProgId("SAMPLE.Thing.1", &found), S_OK);
  EXPECT_EQ(found, kClsid);
  EXPECT_EQ(reg.Find(kClsid)->type_name, "Sample");
}

TEST(ClassRegistryTest, UnknownOrRemovedClassesGiveTheirResults) {
  ClassRegistry reg;
  std::unique_ptr<Dispatchable> obj = std::make_unique<Nothing>();
  EXPECT_EQ(reg.CreateInstance("SAMPLE.Thing.1", &obj), CO_E_CLASSSTRING);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(reg.CreateInstance(kClsid, &obj), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(reg.CreateInstance(kClsid, nullptr), E_POINTER);

  ASSERT_EQ(reg.RegisterClass(Sample()), S_OK);
  EXPECT_EQ(reg.UnregisterClass(kClsid), S_OK);
  EXPECT_EQ(reg.UnregisterClass(kClsid), S_FALSE);
  EXPECT_EQ(reg.CreateInstance("SAMPLE.Thing.1", &obj), CO_E_CLASSSTRING);

  ClassRegistration no_factory = Sample();
  no_factory.factory = nullptr;
  EXPECT_EQ(reg.RegisterClass(no_factory), E_INVALIDARG);
  ClassRegistration failing = Sample();
  failing.factory = [] { return std::unique_ptr<Dispatchable>(); };
  ASSERT_EQ(reg.RegisterClass(failing), S_OK);
  EXPECT_EQ(reg.CreateInstance(kClsid, &obj), E_OUTOFMEMORY);
}

TEST(ClassRegistryTest, TypeLibrariesAreRegisteredByLibidAndVersion) {
  ClassRegistry reg;
  EXPECT_EQ(reg.UnregisterTypeLibrary(kLibid, 1, 0), TYPE_E_REGISTRYACCESS);
  ASSERT_EQ(reg.RegisterTypeLibrary({kLibid, 1, 0, "lib"}), S_OK);
  EXPECT_TRUE(reg.HasTypeLibrary(kLibid, 1, 0));
  EXPECT_FALSE(reg.HasTypeLibrary(kLibid, 2, 0));
  EXPECT_EQ(reg.UnregisterTypeLibrary(kLibid, 1, 0), S_OK);
  EXPECT_FALSE(reg.HasTypeLibrary(kLibid, 1, 0));
}

}  // namespace
}  // namespace platform
