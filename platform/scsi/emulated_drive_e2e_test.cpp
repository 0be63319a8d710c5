// An ISO image made by genisoimage, burned by raw CDBs and exported again,
// must satisfy isoinfo and xorriso and match the image byte for byte.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "emulated_drive_testutil.h"
#include "platform/emulated_drive.h"

namespace platform {
namespace {

using testing::EmulatedDriveHarness;
using testing::SenseText;
using testing::TempFolder;

// Runs a command line made of fixed tool names and our own temporary paths.
int RunTool(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output->append(chunk, n);
  return ::pclose(pipe);
}

std::vector<std::uint8_t> Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class BurnedIso : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto tree = folder_.path() / "tree";
    std::filesystem::create_directories(tree / "docs");
    std::ofstream(tree / "readme.txt") << "burned on an emulated drive\n";
    std::ofstream big(tree / "docs" / "numbers.bin", std::ios::binary);
    for (int i = 0; i < 100000; ++i) big << i << '\n';
    big.close();
    iso_ = folder_.path() / "source.iso";
    std::string out;
    ASSERT_EQ(RunTool("genisoimage -quiet -R -J -V EMUBURN -o " + iso_.string() + " " + tree.string(), &out),
              0)
        << out;
    image_ = Slurp(iso_);
    ASSERT_EQ(image_.size() % 2048, 0u);
  }

  // Writes the image at the next writable address of the open track, 32
  // sectors a command, as a burner does.
  void Burn(EmulatedDriveHarness& h, std::uint32_t track) {
    const std::uint32_t sectors = std::uint32_t(image_.size() / 2048);
    const std::uint32_t start = h.NextWritable(track);
    for (std::uint32_t done = 0; done < sectors; done += 32) {
      const std::uint32_t n = std::min<std::uint32_t>(32, sectors - done);
      ASSERT_EQ(SenseText(h.Write(start + done, n, image_, 2048, std::size_t(done) * 2048)), "ok");
    }
  }

  void CheckExport(EmulatedDriveHarness& h) {
    const auto exported = folder_.path() / "exported.iso";
    std::string error, out;
    ASSERT_TRUE(h.drive().ExportUserData(exported, &error)) << error;
    EXPECT_EQ(Slurp(exported), image_);
    ASSERT_EQ(RunTool("isoinfo -d -i " + exported.string(), &out), 0) << out;
    EXPECT_NE(out.find("Volume id: EMUBURN"), std::string::npos) << out;
    ASSERT_EQ(RunTool("xorriso -indev " + exported.string() + " -find / -type f", &out), 0) << out;
    EXPECT_NE(out.find("/docs/numbers.bin"), std::string::npos) << out;
    EXPECT_NE(out.find("/readme.txt"), std::string::npos) << out;
  }

  TempFolder folder_;
  std::filesystem::path iso_;
  std::vector<std::uint8_t> image_;
};

TEST_F(BurnedIso, ADvdPlusRBurnExportsAnIsoThatStandardReadersAccept) {
  EmulatedDriveHarness h(testing::Medium(kProfileDvdPlusR, 20000));
  Burn(h, 1);
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(6, 0)), "ok");
  CheckExport(h);
}

TEST_F(BurnedIso, ACdRBurnInMode1ExportsAnIsoThatStandardReadersAccept) {
  EmulatedDriveHarness h(testing::Medium(kProfileCdR, 20000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  Burn(h, 1);
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 2);
  CheckExport(h);
}

// Programs written for real drives, run unmodified against the emulated drive
// through the preload shim (tools/emudrive_shim.cpp), which shows the drive
// folder as /dev/sr7. Each row prepares a medium in a state, runs one program
// and checks what it reports, its exit status and, after a burn, the recorded
// data. A missing program fails its row unless VANTORA_SKIP_DRIVE_PROGRAMS is
// set.
namespace programs {

// How the medium is prepared before the program runs.
enum class Prep {
  kBlank,
  kFormatted,    // DVD+RW, BD-RE formatted; DVD-RW in restricted overwrite
  kOneSession,   // the image recorded as one closed session, the disc appendable
  kTwoSessions,  // twice, each a closed session, the disc appendable
  kComplete,     // the image recorded and the disc closed
  kPressed,      // a ROM holding the image
  kNoMedium,
};

// What to compare after the run.
enum class After {
  kNothing,
  kImage,          // the exported user data starts with the image
  kTwoImages,      // a second session holds the image again
  kBlankDisc,      // the disc reads as blank
  kFormattedDisc,  // the disc reads as formatted
  kAudioTrack,     // track 1 holds the five seconds of {wav} as audio
};

struct ProgramRun {
  const char* name;
  std::uint16_t profile;
  Prep prep;
  std::string command;              // {dev}: the device, {iso}: the image, {dir}: a scratch folder
  std::vector<std::string> expect;  // each must appear in the output
  int status = 0;                   // the program's exit status
  After after = After::kNothing;
  std::vector<std::string> refuse = {};  // none may appear in the output
};

constexpr std::uint32_t kSectors = 20000;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class ProgramsOnEmulatedDrive : public BurnedIso, public ::testing::WithParamInterface<ProgramRun> {
 protected:
  // Records the image at the next writable address and closes the track and
  // the session: the disc stays appendable unless finalise.
  void RecordSession(std::uint16_t profile, bool finalise) {
    EmulatedDriveHarness& h = *harness_;
    const bool cd = profile == kProfileCdR || profile == kProfileCdRw;
    const bool plus = profile == kProfileDvdPlusR || profile == kProfileDvdPlusRDl;
    if (!plus && profile != kProfileBdRSrm) {
      ASSERT_EQ(SenseText(h.SetWriteParameters(cd ? 1 : 0, !finalise)), "ok");
    }
    const std::uint32_t track = h.DiscInformation()[6];
    Burn(h, track);
    ASSERT_EQ(SenseText(h.Sync()), "ok");
    ASSERT_EQ(SenseText(h.Close(1, std::uint16_t(track))), "ok");
    ASSERT_EQ(SenseText(h.Close(finalise && (plus || profile == kProfileBdRSrm) ? 6 : 2)), "ok");
  }

  void Prepare(const ProgramRun& run) {
    if (run.prep == Prep::kNoMedium) {
      harness_ = std::make_unique<EmulatedDriveHarness>(nullptr);
      return;
    }
    MediumSpec spec = testing::Medium(run.profile, kSectors);
    spec.formatted = run.prep == Prep::kFormatted;
    if (run.prep == Prep::kPressed) {
      spec.capacity = 0;
      spec.content = iso_;
    }
    harness_ = std::make_unique<EmulatedDriveHarness>(spec);
    const int sessions = run.prep == Prep::kTwoSessions                                 ? 2
                         : run.prep == Prep::kOneSession || run.prep == Prep::kComplete ? 1
                                                                                        : 0;
    for (int i = 0; i < sessions; ++i) RecordSession(run.profile, run.prep == Prep::kComplete);
  }

  // Runs the command with the shim in front of the drive folder.
  int RunProgram(const std::string& command, std::string* output) {
    const std::string shim = std::string(VANTORA_BINARY_DIR) + "/platform/scsi/libemudrive_shim.so";
    const std::filesystem::path scratch = folder_.path() / "scratch";
    std::filesystem::create_directories(scratch);
    if (command.find("{wav}") != std::string::npos) {
      std::string out;
      EXPECT_EQ(RunTool("sox -n -r 44100 -c 2 -b 16 " + (scratch / "tone.wav").string() + " synth 5 sine 440",
                        &out),
                0)
          << out;
    }
    std::string line = Replace(Replace(Replace(Replace(command, "{dev}", "/dev/sr7"), "{iso}", iso_.string()),
                                       "{dir}", scratch.string()),
                               "{wav}", (scratch / "tone.wav").string());
    line = "cd " + scratch.string() + " && EMUDRIVE_SHIM_DEVICE=/dev/sr7 EMUDRIVE_SHIM_FOLDER=" +
           (harness_->folder() / "drive").string() +
           " EMUDRIVE_SHIM_LOG=" + (folder_.path() / "trace").string() + " LD_PRELOAD=" + shim +
           " timeout 120 " + line;
    const int status = RunTool(line, output);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Trace() {
    std::ifstream in(folder_.path() / "trace");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 6000 ? text.substr(text.size() - 6000) : text;
  }

  // The recorded user data of the drive, as an image.
  std::vector<std::uint8_t> Exported() {
    harness_->Reopen();
    const auto exported = folder_.path() / "exported.iso";
    std::filesystem::remove(exported);
    std::string error;
    EXPECT_TRUE(harness_->drive().ExportUserData(exported, &error)) << error;
    return Slurp(exported);
  }

  std::unique_ptr<EmulatedDriveHarness> harness_;
};

bool ProgramMissing(const std::string& command) {
  const std::string program = command.substr(0, command.find(' '));
  std::string out;
  return RunTool("command -v '" + program + "'", &out) != 0;
}

TEST_P(ProgramsOnEmulatedDrive, AgreesWithTheEmulatedDrive) {
  const ProgramRun& run = GetParam();
  if (ProgramMissing(run.command)) {
    if (std::getenv("VANTORA_SKIP_DRIVE_PROGRAMS")) GTEST_SKIP() << run.command << ": program not installed";
    FAIL() << run.command << ": program not installed (scripts/setup installs it)";
  }
  Prepare(run);
  if (HasFatalFailure()) return;
  std::string out;
  const int status = RunProgram(run.command, &out);
  EXPECT_EQ(status, run.status) << out << "\n--- commands:\n" << Trace();
  for (const std::string& e : run.expect)
    EXPECT_NE(out.find(e), std::string::npos) << "missing: " << e << "\n" << out;
  for (const std::string& r : run.refuse)
    EXPECT_EQ(out.find(r), std::string::npos) << "unexpected: " << r << "\n" << out;
  if (run.after == After::kImage || run.after == After::kTwoImages) {
    const std::vector<std::uint8_t> data = Exported();
    ASSERT_GE(data.size(), image_.size());
    EXPECT_TRUE(std::equal(image_.begin(), image_.end(), data.begin())) << "the first session differs";
    if (run.after == After::kTwoImages) {
      std::string toc;
      ASSERT_EQ(RunProgram("xorriso -indev {dev} -toc", &toc), 0) << toc;
      EXPECT_NE(toc.find("session"), std::string::npos) << toc;
    }
  } else if (run.after == After::kAudioTrack) {
    harness_->Reopen();
    const std::vector<std::uint8_t> track = harness_->TrackInformation(1);
    EXPECT_EQ(track[5] & 0x0D, 0);              // audio
    EXPECT_EQ(testing::Be32(track, 24), 375u);  // five seconds of frames
  } else if (run.after == After::kBlankDisc || run.after == After::kFormattedDisc) {
    harness_->Reopen();
    const std::vector<std::uint8_t> disc = harness_->DiscInformation();
    if (run.after == After::kBlankDisc) {
      EXPECT_EQ(disc[2] & 0x03, 0);
    } else {
      EXPECT_NE(disc[2] & 0x03, 0);
    }
  }
}

void PrintTo(const ProgramRun& run, std::ostream* os) { *os << run.name; }

std::string RunName(const ::testing::TestParamInfo<ProgramRun>& info) { return info.param.name; }

const std::vector<ProgramRun> kRuns = {
    // The medium as a program that knows DVD and BD media decodes it.
    {"MediainfoDvdPlusRBlank",
     kProfileDvdPlusR,
     Prep::kBlank,
     "dvd+rw-mediainfo {dev}",
     {"1Bh, DVD+R", "Disc status:           blank", "Free Blocks:           20000*2KB",
      "Media ID:              VANTORA1/R01"}},
    {"MediainfoDvdPlusROneSession",
     kProfileDvdPlusR,
     Prep::kOneSession,
     "dvd+rw-mediainfo {dev}",
     {"Disc status:           appendable", "Number of Sessions:    2", "Track State:           blank",
      "Next Writable Address: 480*2KB", "Track Start Address:   480*2KB"}},
    {"MediainfoDvdPlusRTwoSessions",
     kProfileDvdPlusR,
     Prep::kTwoSessions,
     "dvd+rw-mediainfo {dev}",
     {"Disc status:           appendable", "Number of Sessions:    3", "Number of Tracks:      3",
      "Multi-session Info:    #2@480"}},
    {"MediainfoDvdPlusRComplete",
     kProfileDvdPlusR,
     Prep::kComplete,
     "dvd+rw-mediainfo {dev}",
     {"Disc status:           complete", "Number of Sessions:    1", "Track Size:            480*2KB",
      "Multi-session Info:    #1@0"}},
    {"MediainfoDvdPlusRDlBlank",
     kProfileDvdPlusRDl,
     Prep::kBlank,
     "dvd+rw-mediainfo {dev}",
     {"2Bh, DVD+R Double Layer", "L0 Data Zone Capacity: 10000*2KB"}},
    {"MediainfoDvdMinusRBlank",
     kProfileDvdR,
     Prep::kBlank,
     "dvd+rw-mediainfo {dev}",
     {"11h, DVD-R Sequential", "Track State:           invisible incremental",
      "Free Blocks:           20000*2KB"},
     0,
     After::kNothing,
     {"Fixed Packet"}},
    {"MediainfoDvdMinusRComplete",
     kProfileDvdR,
     Prep::kComplete,
     "dvd+rw-mediainfo {dev}",
     {"Disc status:           complete", "Track State:           complete"}},
    {"MediainfoDvdMinusRwSequentialOneSession",
     kProfileDvdRwSequential,
     Prep::kOneSession,
     "dvd+rw-mediainfo {dev}",
     {"14h, DVD-RW Sequential", "Disc status:           appendable", "Number of Sessions:    2"},
     0,
     After::kNothing,
     {"Fixed Packet"}},
    {"MediainfoDvdMinusRwRestricted",
     kProfileDvdRwRestricted,
     Prep::kFormatted,
     "dvd+rw-mediainfo {dev}",
     {"13h, DVD-RW Restricted Overwrite", "Disc status:           complete"}},
    {"MediainfoDvdPlusRwUnformatted",
     kProfileDvdPlusRw,
     Prep::kBlank,
     "dvd+rw-mediainfo {dev}",
     {"1Ah, DVD+RW", "Disc status:           blank", "Track State:           blank",
      "unformatted:\t\t20000*2048", "26h(0):\t\t20000*2048"}},
    {"MediainfoDvdPlusRwFormatted",
     kProfileDvdPlusRw,
     Prep::kFormatted,
     "dvd+rw-mediainfo {dev}",
     {"Disc status:           complete", "formatted:\t\t20000*2048", "READ CAPACITY:          20000*2048"}},
    {"MediainfoBdReUnformatted",
     kProfileBdRe,
     Prep::kBlank,
     "dvd+rw-mediainfo {dev}",
     {"43h, BD-RE", "Disc status:           blank", "Track State:           blank",
      "unformatted:\t\t20000*2048"}},
    {"MediainfoBdReFormatted",
     kProfileBdRe,
     Prep::kFormatted,
     "dvd+rw-mediainfo {dev}",
     {"Disc status:           other", "formatted:\t\t20000*2048", "READ CAPACITY:          20000*2048"}},
    {"MediainfoBdRBlank",
     kProfileBdRSrm,
     Prep::kBlank,
     "dvd+rw-mediainfo {dev}",
     {"41h, BD-R SRM", "Disc status:           blank", "Free Blocks:           20000*2KB"}},
    {"MediainfoDvdRom", kProfileDvdRom, Prep::kPressed, "dvd+rw-mediainfo {dev}", {"10h, DVD-ROM"}},
    {"MediainfoNoMedium",
     kProfileDvdPlusR,
     Prep::kNoMedium,
     "dvd+rw-mediainfo {dev}",
     {"no media mounted"},
     251},

    // Media information, tables of contents and speeds as a burning library reads them.
    {"CdrskinMinfoCdRBlank",
     kProfileCdR,
     Prep::kBlank,
     "cdrskin dev={dev} -minfo",
     {"Mounted media type:       CD-R", "disk status:              empty",
      "Remaining writable size:            20000"}},
    {"CdrskinTocCdROneSession",
     kProfileCdR,
     Prep::kOneSession,
     "cdrskin dev={dev} -toc",
     {"track:   1 lba:         0"},
     0,
     After::kNothing,
     {"not suitable"}},
    {"CdrskinMinfoCdRom",
     kProfileCdRom,
     Prep::kPressed,
     "cdrskin dev={dev} -minfo",
     {"CD-ROM", "disk status:              complete"},
     0,
     After::kNothing,
     {"not suitable"}},
    {"XorrisoTocCdRom",
     kProfileCdRom,
     Prep::kPressed,
     "xorriso -outdev {dev} -toc",
     {"Media current: CD-ROM", "ISO session  :   1 ,         0 ,       472s , EMUBURN"},
     0,
     After::kNothing,
     {"Cannot obtain"}},
    {"XorrisoTocCdRwTwoSessions",
     kProfileCdRw,
     Prep::kTwoSessions,
     "xorriso -outdev {dev} -toc",
     {"Media status : is written , is appendable", "ISO session  :   2"},
     0,
     After::kNothing,
     {"Cannot obtain"}},
    {"XorrisoSpeedsDvdPlusR",
     kProfileDvdPlusR,
     Prep::kBlank,
     "xorriso -outdev {dev} -list_speeds",
     {"11080k", "2770k"}},
    {"CdrskinSpeedsCdR", kProfileCdR, Prep::kBlank, "cdrskin dev={dev} --list_speeds", {"7056k", "1764k"}},

    // Burns: what the program wrote is what the disc holds.
    {"CdrskinBurnsDvdPlusR",
     kProfileDvdPlusR,
     Prep::kBlank,
     "cdrskin -v dev={dev} -data {iso}",
     {},
     0,
     After::kImage},
    {"CdrskinBurnsDvdMinusR",
     kProfileDvdR,
     Prep::kBlank,
     "cdrskin -v dev={dev} -data {iso}",
     {},
     0,
     After::kImage},
    {"CdrskinBurnsDvdPlusRw",
     kProfileDvdPlusRw,
     Prep::kBlank,
     "cdrskin -v dev={dev} -data {iso}",
     {},
     0,
     After::kImage},
    {"CdrskinBurnsDvdMinusRw",
     kProfileDvdRwSequential,
     Prep::kBlank,
     "cdrskin -v dev={dev} -data {iso}",
     {},
     0,
     After::kImage},
    {"CdrskinBurnsBdR",
     kProfileBdRSrm,
     Prep::kBlank,
     "cdrskin -v dev={dev} -data {iso}",
     {},
     0,
     After::kImage},
    {"CdrskinBurnsCdRAtOnce",
     kProfileCdR,
     Prep::kBlank,
     "cdrskin -v dev={dev} -data {iso}",
     {"SAO"},
     0,
     After::kImage},
    {"CdrskinBurnsCdRTrackAtOnce",
     kProfileCdR,
     Prep::kBlank,
     "cdrskin -v dev={dev} -tao -data {iso}",
     {},
     0,
     After::kImage},
    {"CdrskinBurnsCdRwTrackAtOnce",
     kProfileCdRw,
     Prep::kBlank,
     "cdrskin -v dev={dev} -tao -data {iso}",
     {},
     0,
     After::kImage},
    {"XorrisoAddsASessionToDvdPlusR",
     kProfileDvdPlusR,
     Prep::kOneSession,
     "xorriso -dev {dev} -map {dir} /second -commit",
     {},
     0,
     After::kTwoImages},
    {"CdrskinBlanksCdRw",
     kProfileCdRw,
     Prep::kComplete,
     "cdrskin dev={dev} blank=fast",
     {},
     0,
     After::kBlankDisc},
    {"CdrskinBlanksDvdMinusRw",
     kProfileDvdRwSequential,
     Prep::kComplete,
     "cdrskin dev={dev} blank=all",
     {},
     0,
     After::kBlankDisc},
    {"XorrisoFormatsDvdPlusRw",
     kProfileDvdPlusRw,
     Prep::kBlank,
     "xorriso -outdev {dev} -format full",
     {},
     0,
     After::kFormattedDisc},
    {"XorrisoFormatsBdRe",
     kProfileBdRe,
     Prep::kBlank,
     "xorriso -outdev {dev} -format full",
     {},
     0,
     After::kFormattedDisc},
    {"GrowisofsBurnsDvdPlusR",
     kProfileDvdPlusR,
     Prep::kBlank,
     "growisofs -Z {dev}={iso}",
     {},
     0,
     After::kImage},
    {"GrowisofsBurnsDvdPlusRDl",
     kProfileDvdPlusRDl,
     Prep::kBlank,
     "growisofs -Z {dev}={iso}",
     {},
     0,
     After::kImage},
    {"GrowisofsBurnsDvdMinusR", kProfileDvdR, Prep::kBlank, "growisofs -Z {dev}={iso}", {}, 0, After::kImage},
    {"GrowisofsBurnsDvdMinusRw",
     kProfileDvdRwSequential,
     Prep::kBlank,
     "growisofs -Z {dev}={iso}",
     {},
     0,
     After::kImage},
    {"GrowisofsBurnsDvdPlusRw",
     kProfileDvdPlusRw,
     Prep::kBlank,
     "growisofs -Z {dev}={iso}",
     {},
     0,
     After::kImage},
    {"GrowisofsAddsASessionToDvdPlusR",
     kProfileDvdPlusR,
     Prep::kOneSession,
     "growisofs -M {dev} -R {dir}",
     {},
     0,
     After::kTwoImages},
    {"WodimAtipCdRw",
     kProfileCdRw,
     Prep::kBlank,
     "wodim dev={dev} -atip",
     {"ATIP start of lead in:  -11634"}},
    {"WodimCapabilities", kProfileCdR, Prep::kBlank, "wodim dev={dev} -prcap", {"Does write CD-R media"}},
    {"WodimTocCdROneSession",
     kProfileCdR,
     Prep::kOneSession,
     "wodim dev={dev} -toc",
     {"track:   1 lba:         0"}},
    {"WodimBurnsCdRwAtOnce",
     kProfileCdRw,
     Prep::kBlank,
     "wodim dev={dev} gracetime=2 -sao {iso}",
     {},
     0,
     After::kImage},
    {"WodimBurnsAudioTrackAtOnce",
     kProfileCdR,
     Prep::kBlank,
     "wodim dev={dev} gracetime=2 -tao -audio {wav}",
     {},
     0,
     After::kAudioTrack},
    {"WodimBurnsCdRTrackAtOnce",
     kProfileCdR,
     Prep::kBlank,
     "wodim dev={dev} gracetime=2 -tao {iso}",
     {},
     0,
     After::kImage},
    {"CdInfoCdRom",
     kProfileCdRom,
     Prep::kPressed,
     "cd-info --no-device-info {dev}",
     {"Volume     : EMUBURN"}},
    {"CdInfoBurnedCdR",
     kProfileCdR,
     Prep::kComplete,
     "cd-info --no-device-info {dev}",
     {"Volume     : EMUBURN"}},
};

INSTANTIATE_TEST_SUITE_P(Runs, ProgramsOnEmulatedDrive, ::testing::ValuesIn(kRuns), RunName);

}  // namespace programs

TEST_F(BurnedIso, TheToolActsOnADriveThatAnotherProgramHoldsAsOnARealDrive) {
  EmulatedDriveHarness h(testing::Medium(kProfileDvdPlusR, 20000));
  const std::string tool = std::string(EMUDRIVE_TOOL) + " ";
  const std::string dir = (h.folder() / "drive").string();
  std::string why, out;
  ASSERT_EQ(h.drive().HoldExclusive(&why), HoldResult::kHeld) << why;
  ASSERT_EQ(SenseText(h.None({0x1E, 0, 0, 0, 1, 0})), "ok");  // the tray locked, as a burn locks it
  EXPECT_NE(RunTool(tool + "hold " + dir + " 0", &out), 0) << out;
  EXPECT_NE(out.find("busy"), std::string::npos) << out;

  ASSERT_EQ(RunTool(tool + "fault " + dir + " 2A 3 0C 00", &out), 0) << out;
  const std::uint32_t start = h.NextWritable(1);
  EXPECT_EQ(SenseText(h.Write(start, 32, image_)), "03/0C/00");
  Burn(h, 1);

  EXPECT_NE(RunTool(tool + "eject " + dir, &out), 0) << out;
  EXPECT_NE(out.find("removal is prevented"), std::string::npos) << out;
  EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "ok");
  ASSERT_EQ(RunTool(tool + "eject --force " + dir, &out), 0) << out;
  EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "02/3A/02");
  ASSERT_EQ(RunTool(tool + "load " + dir, &out), 0) << out;
  EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "06/28/00");
  ASSERT_EQ(RunTool(tool + "info " + dir, &out), 0) << out;
  EXPECT_NE(out.find("disc appendable"), std::string::npos) << out;
  // A reply cut short: the next READ DISC INFORMATION moves 30 bytes fewer
  // than its 34, and the one after it is whole again.
  ASSERT_EQ(RunTool(tool + "short " + dir + " 51 30", &out), 0) << out;
  std::vector<std::uint8_t> info;
  const std::vector<std::uint8_t> read_disc_information = {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0};
  EXPECT_EQ(h.In(read_disc_information, &info, 34).transferred, 4u);
  EXPECT_EQ(h.In(read_disc_information, &info, 34).transferred, 34u);
  EXPECT_NE(RunTool(tool + "short " + dir + " 51 0", &out), 0) << out;
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(6, 0)), "ok");
  CheckExport(h);
}

}  // namespace
}  // namespace platform
