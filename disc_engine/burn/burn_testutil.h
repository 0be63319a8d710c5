// What the burn tests share: an engine over one emulated drive on a clock
// that never waits, a temporary folder, the medium exported as the user data
// of its tracks, the commands the drive received, and the job's words.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "api/emulated_engine_testutil.h"
#include "drive/mmc_commands.h"
#include "image/iso9660_format.h"
#include "image/iso9660_testutil.h"
#include "jobs/job_clock_testutil.h"
#include "platform/byte_order.h"

namespace zephrel::testing {

inline constexpr std::int32_t kTrue = -1;  // automation's TRUE
// A blank, é and 日本 (names that Joliet holds).
inline const std::string kOdd = " caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC";

inline std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class BurnTest : public EmulatedEngineTest {
 protected:
  void TearDown() override {
    builder_->Burner_SetSizeBuffer(32);
    EmulatedEngineTest::TearDown();
  }

  static std::vector<platform::Variant> End(int mode, int cancel, int error) {
    return {platform::Variant(std::int32_t(mode)), platform::Variant(std::int32_t(cancel)),
            platform::Variant(std::int32_t(error))};
  }
  // Waits for the job's end after `ends` earlier ones; the engine's threads
  // are joined, so nothing more can arrive. The end event's arguments.
  std::vector<platform::Variant> WaitForEnd(RecordingSink& sink, std::size_t ends) {
    EXPECT_TRUE(sink.WaitFor(kBurnerOnEndBurn, ends + 1));
    builder_->UnloadCom();
    EXPECT_EQ(sink.Count(kBurnerOnEndBurn), ends + 1);
    return sink.events().back().args;
  }
  // Everything the job said, for a failure's message.
  static std::string Said(const RecordingSink& sink) {
    std::string out;
    for (const auto& e : sink.events()) {
      if (e.id == kBurnerOnError) out += "error " + std::to_string(e.args[0].i4()) + "\n";
      if (e.id == kBurningErrorViewDescription) out += e.args[0].str() + "\n";
    }
    return out;
  }
  static std::vector<std::int32_t> Errors(const RecordingSink& sink) {
    std::vector<std::int32_t> errors;
    for (const auto& e : sink.events())
      if (e.id == kBurnerOnError) errors.push_back(e.args[0].i4());
    return errors;
  }
  std::string Export(const std::string& name = "medium.iso") {
    const std::string out = dir_.path() + "/" + name;
    std::string error;
    EXPECT_TRUE(drive_->ExportUserData(out, &error)) << error;
    return out;
  }
  // The commands of one opcode the drive received, in order.
  std::vector<std::vector<std::uint8_t>> Commands(std::uint8_t opcode) {
    std::vector<std::vector<std::uint8_t>> found;
    for (const auto& c : drive_->CommandLog())
      if (c.cdb[0] == opcode) found.push_back(c.cdb);
    return found;
  }
  // Sectors sent with WRITE(10).
  std::uint32_t SectorsWritten() {
    std::uint32_t n = 0;
    for (const auto& w : Commands(mmc::kWrite10)) n += platform::GetBe16(w.data() + 7);
    return n;
  }
  // The close commands as (function, track).
  std::vector<std::pair<int, int>> Closes() {
    std::vector<std::pair<int, int>> out;
    for (const auto& c : Commands(mmc::kCloseTrackSession)) out.emplace_back(c[2] & 7, c[4] << 8 | c[5]);
    return out;
  }
  static std::uint32_t VolumeSpaceSize(const std::vector<std::uint8_t>& image,
                                       std::uint32_t session_start = 0) {
    const std::size_t at = (session_start + iso9660::kPrimaryDescriptorSector) * 2048ul;
    if (image.size() < at + 2048) return 0;
    return platform::GetBe32(image.data() + at + iso9660::vd::kVolumeSpaceSize + 4);
  }
  // The disc information, with the tray closed again after the burn's eject.
  std::vector<std::uint8_t> DiscInfo() {
    drive_->CloseTray();
    std::vector<std::uint8_t> reply(34, 0);
    const mmc::Cdb cdb = mmc::ReadDiscInformation(34);
    EXPECT_TRUE(Raw().exec(cdb.span(), platform::DataDirection::kIn, reply, {}).ok());
    return reply;
  }
  // A fresh drive holding spec's medium, and a fresh engine object over it.
  void ReplaceMedium(const platform::MediumSpec& spec) {
    ForgetDrive();
    UseDrive(&spec);
  }
  // A second job on the same drive: the tray closed, a fresh engine object.
  void NextJob() {
    drive_->CloseTray();
    drive_->ClearCommandLog();
    builder_ = CreateISOBuilder();
    builder_->Burner_Init();
  }

  std::shared_ptr<ManualJobClock> clock_ = std::make_shared<ManualJobClock>();
  ScopedJobClock scoped_clock_{clock_};
  TempDir dir_;
};

}  // namespace zephrel::testing
