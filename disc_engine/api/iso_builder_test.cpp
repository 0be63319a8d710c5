#include "zephrel/iso_builder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <set>

#include "api/engine_testutil.h"

namespace zephrel {
namespace {

using platform::Cookie;
using platform::DispatchKind;
using platform::Variant;
using platform::VarType;
using testing::FakeDevice;
using testing::ISOBuilderTest;
using testing::RecordingSink;
using testing::ScopedDriveSource;
using testing::ThreeDrives;

// ---------------------------------------------------------------------------
// Connection point

TEST_F(ISOBuilderTest, AdviseAndUnadviseGiveTheConnectionPointResults) {
  Cookie cookie = 123;
  EXPECT_EQ(builder_->Advise(nullptr, &cookie), platform::E_POINTER);
  EXPECT_EQ(builder_->Advise(std::make_shared<RecordingSink>(), nullptr), platform::E_POINTER);
  auto foreign =
      std::make_shared<RecordingSink>(true, platform::GuidOf("{11111111-2222-3333-4444-555555555555}"));
  EXPECT_EQ(builder_->Advise(foreign, &cookie), platform::CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(builder_->Unadvise(0), platform::CONNECT_E_NOCONNECTION);
  EXPECT_EQ(builder_->Unadvise(4242), platform::CONNECT_E_NOCONNECTION);

  std::vector<Cookie> cookies;
  for (;;) {
    Cookie c = 0;
    const platform::HResult hr = builder_->Advise(std::make_shared<RecordingSink>(), &c);
    if (hr != platform::S_OK) {
      EXPECT_EQ(hr, platform::CONNECT_E_ADVISELIMIT);
      break;
    }
    cookies.push_back(c);
    ASSERT_LT(cookies.size(), 10000u);
  }
  EXPECT_EQ(std::set<Cookie>(cookies.begin(), cookies.end()).size(), cookies.size());
  EXPECT_EQ(builder_->Unadvise(cookies[3]), platform::S_OK);
  EXPECT_EQ(builder_->Unadvise(cookies[3]), platform::CONNECT_E_NOCONNECTION);
  Cookie again = 0;
  EXPECT_EQ(builder_->Advise(std::make_shared<RecordingSink>(), &again), platform::S_OK);
}

TEST_F(ISOBuilderTest, ASinkWithoutADispatchInterfaceIsSkippedWhileOthersReceive) {
  auto first = Advised();
  auto mute = Advised(/*has_dispatch=*/false);
  auto last = Advised();
  builder_->events()->BurnerOnError(1015);
  ASSERT_EQ(first->events().size(), 1u);
  EXPECT_EQ(first->events()[0].id, kBurnerOnError);
  EXPECT_EQ(first->events()[0].args[0], Variant(std::int32_t{1015}));
  EXPECT_TRUE(mute->events().empty());
  EXPECT_EQ(last->events().size(), 1u);
}

TEST_F(ISOBuilderTest, EventArgumentsTravelAsI4ExceptStringsAndTheListedFileSize) {
  auto sink = Advised();
  builder_->events()->RetrieveElementsAtLevel("a.txt", "/x/a.txt", 3, 1.5f, 1, 0);
  builder_->events()->OnBuildingProcess(11, 2, "f", 10, 5, 100, 50);
  builder_->events()->BurnerOnEndBurn(1, 0, 1);
  const auto events = sink->events();
  ASSERT_EQ(events.size(), 3u);
  for (const auto& e : events) {
    const auto& table = IISOBuilderEventsTable()[static_cast<std::size_t>(e.id - 1)];
    ASSERT_EQ(e.args.size(), table.params.size()) << table.name;
    for (std::size_t i = 0; i < e.args.size(); ++i) EXPECT_EQ(e.args[i].type(), table.params[i].type);
  }
  EXPECT_EQ(events[0].args[3].type(), VarType::kR4);
  EXPECT_FLOAT_EQ(events[0].args[3].r4(), 1.5f);
}

TEST(IISOBuilderEventsTable, HoldsTheTwentySixEventsInDispatchIdOrder) {
  const auto table = IISOBuilderEventsTable();
  ASSERT_EQ(table.size(), 26u);
  for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].id, static_cast<int>(i) + 1);
  EXPECT_EQ(table[0].name, "OnBuildingProcess");
  EXPECT_EQ(table[11].name, "AudioFileEndDecode");
  EXPECT_EQ(table[11].params.size(), 3u);
  EXPECT_EQ(table[14].name, "BurnerOnEndBurn");
  EXPECT_EQ(table[22].name, "BurningErrorViewDescription");
  EXPECT_EQ(table[25].name, "RipperOnRipTrack");
}

// ---------------------------------------------------------------------------
// Dispatch table

// A value of the declared type for an in-parameter; out-parameters refer to
// variables kept alive by `storage`.
struct ArgumentStorage {
  std::vector<std::unique_ptr<std::int32_t>> ints;
  std::vector<std::unique_ptr<std::int16_t>> shorts;
  std::vector<std::unique_ptr<float>> floats;
  std::vector<std::unique_ptr<std::string>> strings;

  Variant Make(const platform::ParamType& p) {
    if (p.by_ref) {
      switch (p.type) {
        case VarType::kI4:
          return Variant::Ref(ints.emplace_back(std::make_unique<std::int32_t>(7)).get());
        case VarType::kI2:
          return Variant::Ref(shorts.emplace_back(std::make_unique<std::int16_t>(7)).get());
        case VarType::kR4:
          return Variant::Ref(floats.emplace_back(std::make_unique<float>(7)).get());
        default:
          return Variant::Ref(strings.emplace_back(std::make_unique<std::string>("x")).get());
      }
    }
    switch (p.type) {
      case VarType::kI4:
        return Variant(std::int32_t{99});  // a drive number no list holds
      case VarType::kI2:
        return Variant(std::int16_t{99});
      case VarType::kR4:
        return Variant(1.0f);
      default:
        return Variant("/nonexistent/zephrel-test");
    }
  }
};

TEST_F(ISOBuilderTest, MembersAreInSlotOrderWithTheirPublishedNames) {
  const auto members = builder_->Members();
  ASSERT_EQ(members.size(), 96u);
  std::set<platform::DispId> ids;
  for (const auto& m : members) ids.insert(m.id);
  EXPECT_EQ(ids.size(), 94u);
  EXPECT_EQ(*ids.begin(), 1);
  EXPECT_EQ(*ids.rbegin(), 94);
  EXPECT_EQ(members[0].name, "AddDirectory");
  EXPECT_EQ(members[13].name, "Burner_Init");
  EXPECT_EQ(members[57].name, "AudioRip_TrackSelected");
  EXPECT_EQ(members[57].kind, DispatchKind::kPropertyPut);
  EXPECT_EQ(members[62].name, "CencelRipCurrentTrack");
  EXPECT_EQ(members[51].name, "CDDb_GetGenre");
  EXPECT_EQ(members[33].name, "Burner_NewSessionAdressStart");
  EXPECT_EQ(members[92].name, "burner_EjectAfterErase");
  EXPECT_EQ(members[93].kind, DispatchKind::kPropertyPut);
  EXPECT_EQ(members[95].name, "Burner_GetMediaUID");
  EXPECT_EQ(builder_->IdOfName("burner_ejectaftererase"), 92);
}

TEST_F(ISOBuilderTest, EveryDispatchIdIsCallableThroughInvokeWithTheDeclaredArityAndTypes) {
  ScopedDriveSource none([] { return platform::ScanResult{}; });
  auto sink = Advised();
  for (const auto& member : builder_->Members()) {
    ArgumentStorage storage;
    std::vector<Variant> args;
    for (const auto& p : member.params) args.push_back(storage.Make(p));
    const platform::InvokeResult r = builder_->Invoke(member.id, member.kind, args);
    EXPECT_EQ(r.hr, platform::S_OK) << member.name << " " << r.description;
    EXPECT_EQ(r.value.type(), member.result) << member.name;

    // One argument too many is refused before the member runs.
    args.push_back(Variant(std::int32_t{0}));
    EXPECT_EQ(builder_->Invoke(member.id, member.kind, args).hr, platform::DISP_E_BADPARAMCOUNT)
        << member.name;
  }
  EXPECT_EQ(builder_->Invoke(95, DispatchKind::kMethod, {}).hr, platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(builder_->Invoke(13, DispatchKind::kMethod, {}).hr, platform::DISP_E_MEMBERNOTFOUND);
  const std::vector<Variant> text = {Variant("not a number")};
  EXPECT_EQ(builder_->Invoke(15, DispatchKind::kPropertyGet, text).hr, platform::DISP_E_TYPEMISMATCH);
}

TEST_F(ISOBuilderTest, PropertyPairsShareTheirDispatchIdAndReadBackWhatWasPut) {
  const std::vector<Variant> put = {Variant(std::int32_t{1})};
  EXPECT_EQ(builder_->Invoke(92, DispatchKind::kPropertyPut, put).hr, platform::S_OK);
  auto got = builder_->Invoke(92, DispatchKind::kPropertyGet, {});
  EXPECT_EQ(got.value, Variant(std::int32_t{1}));
  builder_->burner_EjectAfterErase(0);
  std::int32_t value = 5;
  builder_->burner_EjectAfterErase(value);
  EXPECT_EQ(value, 0);
}

TEST(ISOBuilderRegistration, TheClassIsCreatableByProgIdAndThroughTheCEntryPoint) {
  std::unique_ptr<platform::Dispatchable> object;
  ASSERT_EQ(platform::ClassRegistry::Process().CreateInstance(kProgIdISOBuilder, &object), platform::S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->Members().size(), 96u);
  auto registration = platform::ClassRegistry::Process().Find(kClsIdISOBuilder);
  ASSERT_TRUE(registration.has_value());
  EXPECT_EQ(registration->type_name, "ISOBuilder Class");
  EXPECT_EQ(registration->threading_model, "Apartment");
  ASSERT_EQ(platform::ClassRegistry::Process().CreateInstance(kVersionIndependentProgIdISOBuilder, &object),
            platform::S_OK);
  EXPECT_NE(object, nullptr);
  std::unique_ptr<IISOBuilder> created(zephrel_create());
  EXPECT_NE(created, nullptr);
}

TEST(ISOBuilderRegistration, RegisteringAgainSucceedsAndUnregisteringRemovesBothEntries) {
  platform::ClassRegistry registry;
  EXPECT_EQ(DllRegisterServer(registry), platform::S_OK);
  EXPECT_EQ(DllRegisterServer(registry), platform::S_OK);
  EXPECT_TRUE(registry.HasTypeLibrary(kLibIdISOLib, 1, 0));
  platform::Guid clsid;
  EXPECT_EQ(registry.ClassIdFromProgId("iso.isobuilder", &clsid), platform::S_OK);
  EXPECT_EQ(clsid, kClsIdISOBuilder);
  EXPECT_EQ(DllUnregisterServer(registry), platform::S_OK);
  EXPECT_EQ(registry.ClassIdFromProgId("ISO.ISOBuilder.1", &clsid), platform::CO_E_CLASSSTRING);
  EXPECT_FALSE(registry.HasTypeLibrary(kLibIdISOLib, 1, 0));
  EXPECT_EQ(DllUnregisterServer(registry), platform::SELFREG_E_CLASS);
}

// ---------------------------------------------------------------------------
// Drive list

TEST_F(ISOBuilderTest, IdentityMembersGiveTheDriveRecordWithTrailingBlanksKept) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  std::int16_t count = 0;
  builder_->Burner_DriveCount(count);
  EXPECT_EQ(count, 3);
  std::string text;
  builder_->Burner_DriveDescription(0, text);
  EXPECT_EQ(text, "VENDOR   - DVD WRITER       (1.0 )");
  builder_->Burner_GetDriveVendor(1, text);
  EXPECT_EQ(text, "OTHER   ");
  builder_->Burner_DriveModel(1, text);
  EXPECT_EQ(text, "CD-RW           ");
  builder_->Burner_DriveRevision(2, text);
  EXPECT_EQ(text, "3.00");
  std::int16_t value = -1;
  builder_->Burner_DriveHA(2, value);
  EXPECT_EQ(value, 2);
  builder_->Burner_DriveID(2, value);
  EXPECT_EQ(value, 5);
  builder_->Burner_DriveLUN(1, value);
  EXPECT_EQ(value, 1);
  builder_->Burner_GetDriveLetter(2, value);
  EXPECT_EQ(value, 2);
  builder_->Burner_GetDriveLetterEx(1, value);
  EXPECT_EQ(value, 1);
  // Through Invoke: the retval comes back as the result.
  const std::vector<Variant> drive0 = {Variant(std::int32_t{0})};
  EXPECT_EQ(builder_->Invoke(15, DispatchKind::kPropertyGet, drive0).value,
            Variant("VENDOR   - DVD WRITER       (1.0 )"));
  EXPECT_EQ(builder_->Invoke(13, DispatchKind::kPropertyGet, {}).value, Variant(std::int16_t{3}));
}

TEST_F(ISOBuilderTest, OutOfRangeDriveNumbersGiveTheNeutralValueAndSendNothing) {
  std::vector<std::shared_ptr<FakeDevice::Log>> logs;
  ScopedDriveSource drives([&] { return ThreeDrives(&logs); });
  builder_->Burner_Init();
  for (std::int32_t bad : {-1, 3, 1000, std::numeric_limits<std::int32_t>::min()}) {
    std::string text = "stale";
    builder_->Burner_DriveDescription(bad, text);
    EXPECT_EQ(text, "");
    text = "stale";
    builder_->Burner_GetDriveVendor(bad, text);
    EXPECT_EQ(text, "");
    std::int16_t value = 9;
    builder_->Burner_DriveHA(bad, value);
    EXPECT_EQ(value, 0);
    value = 9;
    builder_->Burner_GetDriveLetter(bad, value);
    EXPECT_EQ(value, 0);
    builder_->SetSpeedMax(bad);
  }
  for (const auto& log : logs) EXPECT_TRUE(log->Commands().empty());
}

TEST_F(ISOBuilderTest, EachDriveGivesItsDevicePathWithoutACommandAndNothingOutsideTheList) {
  std::vector<std::shared_ptr<FakeDevice::Log>> logs;
  ScopedDriveSource drives([&] {
    platform::ScanResult scan = ThreeDrives(&logs);
    static_cast<FakeDevice&>(*scan.devices[0]).SetNode("/dev/sr0");
    static_cast<FakeDevice&>(*scan.devices[1]).SetNode("/dev/sr1");
    static_cast<FakeDevice&>(*scan.devices[2]).SetNode("/tmp/drives/écrivain 日本");
    return scan;
  });
  builder_->Burner_Init();
  EXPECT_EQ(builder_->DriveDevicePath(0), "/dev/sr0");
  EXPECT_EQ(builder_->DriveDevicePath(1), "/dev/sr1");
  EXPECT_EQ(builder_->DriveDevicePath(2), "/tmp/drives/écrivain 日本");
  for (std::int32_t bad : {-1, 3, std::numeric_limits<std::int32_t>::min()}) {
    EXPECT_EQ(builder_->DriveDevicePath(bad), "");
  }
  for (const auto& log : logs) EXPECT_TRUE(log->Commands().empty());
  // It is not a member of the dispatch interface.
  EXPECT_FALSE(builder_->IdOfName("DriveDevicePath").has_value());
}

TEST_F(ISOBuilderTest, SetSpeedMaxSendsAStandardLengthSetCdSpeedForTheMaximum) {
  std::vector<std::shared_ptr<FakeDevice::Log>> logs;
  ScopedDriveSource drives([&] { return ThreeDrives(&logs); });
  builder_->Burner_Init();
  builder_->SetSpeedMax(1);
  ASSERT_EQ(logs[1]->Commands().size(), 1u);
  const std::vector<std::uint8_t> expected = {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(logs[1]->Commands()[0], expected);
  EXPECT_TRUE(logs[0]->Commands().empty());
}

TEST_F(ISOBuilderTest, ABackendThatCannotStartRaisesItsLoadCodeAndLeavesTheListEmpty) {
  {
    ScopedDriveSource drives([] { return ThreeDrives(); });
    builder_->Burner_Init();
  }
  auto sink = Advised();
  ::setenv("ZEPHREL_DRIVES", "emu:/missing", 1);
  builder_->Burner_Init();
  ::unsetenv("ZEPHREL_DRIVES");
  ASSERT_EQ(sink->Count(kBurnerOnError), 1u);
  EXPECT_EQ(sink->events()[0].args[0], Variant(std::int32_t{501}));
  std::int16_t count = -1;
  builder_->Burner_DriveCount(count);
  EXPECT_EQ(count, 0);
}

TEST_F(ISOBuilderTest, UnloadComTwiceOrBeforeInitIsHarmless) {
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);
  std::vector<std::shared_ptr<FakeDevice::Log>> logs;
  ScopedDriveSource drives([&] { return ThreeDrives(&logs); });
  builder_->Burner_Init();
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);
  // The records stay until the next scan; the devices are gone.
  std::int16_t count = 0;
  builder_->Burner_DriveCount(count);
  EXPECT_EQ(count, 3);
  builder_->SetSpeedMax(0);
  EXPECT_TRUE(logs[0]->Commands().empty());
  builder_->Burner_Init();
  builder_->SetSpeedMax(0);
  EXPECT_EQ(logs[3]->Commands().size(), 1u);  // the new scan's first drive
}

}  // namespace
}  // namespace zephrel
