// The road from converted videos to an ISO image, a VIDEO_TS folder or a
// burned disc, through the real main window, the real authoring control and
// the real disc engine, with message boxes answered by a script. The converted
// videos are the generated DVD-compliant test clips; the burns go to an
// emulated DVD writer that the test holds too (to inject faults, open its
// tray and read its command log); the results are read by libdvdread,
// libdvdnav, lsdvd, isoinfo and udfinfo.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <span>

#include "dvd_checks.h"
#include "form_testutil.h"
#include "platform/byte_order.h"
#include "platform/emulated_drive.h"
#include "platform/scsi_policy.h"
#include "quillon/quillon_ctrl.h"
#include "vantora/cindral_form.h"
#include "vantora/ffmpeg_encoder.h"
#include "vantora/quillon_authoring.h"
#include "vantora/video_list.h"
#include "vantora/zephrel_disc_burner.h"
#include "zephrel/test_hooks.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

namespace vantora {
namespace {

namespace fs = std::filesystem;

// Set in a child run of this program: every file the process writes is held
// to that many bytes, as on a disk that is full.
constexpr char kFileSizeLimit[] = "VANTORA_TEST_FILE_SIZE_LIMIT";
const bool g_file_size_limited = [] {
  const char* limit = std::getenv(kFileSizeLimit);
  if (limit == nullptr) return false;
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
  rlimit r{};
  r.rlim_cur = r.rlim_max = std::strtoull(limit, nullptr, 10);
  return ::setrlimit(RLIMIT_FSIZE, &r) == 0;
}();

using testing::Choose;

using testing::Media;

std::map<std::string, std::string> FolderBytes(const fs::path& folder) {
  std::map<std::string, std::string> bytes;
  for (const auto& entry : fs::directory_iterator(folder))
    bytes[entry.path().filename().native()] = testing::ReadBytes(entry.path());
  return bytes;
}

// A player finds the three buttons where the menu page put them, and each
// plays its own title and comes back to the menu.
void ExpectButtonsPlayTheirTitles(const fs::path& iso, const std::vector<MenuButtonRect>& menu_buttons) {
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({dvdcheck::TestTool("dvdnav_harness").native(), iso.native(), "select:1",
                               "select:2", "select:3"},
                              &out),
            0)
      << out;
  std::string trace, buttons;
  for (const std::string& line : dvdcheck::Lines(out)) {
    if (line.rfind("button ", 0) == 0) {
      if (trace.find("menu") == trace.rfind("menu")) buttons += line + "\n";  // the first menu's
    } else if (line.rfind("menu ", 0) == 0 || line.rfind("title ", 0) == 0 || line.rfind("end ", 0) == 0 ||
               line.rfind("stop", 0) == 0 || line.rfind("error ", 0) == 0) {
      trace += line + "\n";
    }
  }
  EXPECT_EQ(trace,
            "menu vmgm buttons=3\ntitle 1 chapter 1\nmenu vmgm buttons=3\ntitle 2 chapter 1\n"
            "menu vmgm buttons=3\ntitle 3 chapter 1\nmenu vmgm buttons=3\nend actions\n");
  std::string expected_buttons;
  int k = 0;
  for (const MenuButtonRect& r : menu_buttons)
    expected_buttons += "button " + std::to_string(++k) + " " + std::to_string(r.Left) + " " +
                        std::to_string(r.Top) + " " + std::to_string(r.Left + r.Size) + " " +
                        std::to_string(r.Top + r.Size) + "\n";
  EXPECT_EQ(buttons, expected_buttons);
}

// A look at each command before the emulated drive gets it, on the engine's
// thread; set from the test's.
class CommandTap {
 public:
  using Look = std::function<void(std::span<const std::uint8_t> cdb)>;
  void Set(Look look) {
    std::lock_guard lock(mutex_);
    look_ = std::move(look);
  }
  void operator()(std::span<const std::uint8_t> cdb) {
    Look look;
    {
      std::lock_guard lock(mutex_);
      look = look_;
    }
    if (look) look(cdb);
  }

 private:
  std::mutex mutex_;
  Look look_;
};

// The engine's way to the test's emulated drive: behind the transport
// policy, as every drive the engine opens, and past the tap.
class TappedDrive : public platform::ScsiDevice {
 public:
  TappedDrive(std::shared_ptr<platform::EmulatedDrive> drive, std::shared_ptr<CommandTap> tap)
      : drive_(std::move(drive)), tap_(std::move(tap)) {}
  platform::ScsiResult exec(std::span<const std::uint8_t> cdb, platform::DataDirection direction,
                            std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
    (*tap_)(cdb);
    return drive_->exec(cdb, direction, buffer, timeout);
  }
  const platform::DeviceIdentity& identity() const override { return drive_->identity(); }
  platform::HoldResult HoldExclusive(std::string* why) override { return drive_->HoldExclusive(why); }
  void ReleaseExclusive() override { drive_->ReleaseExclusive(); }

 private:
  std::shared_ptr<platform::EmulatedDrive> drive_;
  std::shared_ptr<CommandTap> tap_;
};

struct WholeRoadVideo {
  fs::path file;
  double seconds;
};

class RoadE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::App();
    ASSERT_TRUE(fs::exists(Media("pal_43.mpg"))) << "test clips missing";
    temp_dir = temp / "temp folder";
    out_dir = temp / "out folder";
    fs::create_directories(temp_dir);
    fs::create_directories(out_dir);
    fs::create_directories(temp / "home");
    std::ofstream(ConfigFile(temp / "home")) << "[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=True\n";
  }
  // The form over the real engines, whose images and burns all carry one
  // build time; with_drive gives it one emulated DVD writer with a blank
  // medium (of the given profile and capacity), that the test holds too.
  void StartForm(bool with_drive, bool real_encoder = false,
                 std::uint16_t profile = platform::kProfileDvdPlusR,
                 const platform::MediumSpec* spec = nullptr) {
    zephrel::SetBuildClockForTesting([] { return std::chrono::system_clock::from_time_t(1700000000); });
    if (with_drive) {
      platform::MediumSpec medium;
      medium.profile = profile;
      std::string error;
      ASSERT_TRUE(platform::EmulatedDrive::Create(temp / "drive", testing::AcmeWriter(),
                                                  spec ? spec : &medium, &error))
          << error;
      drive = platform::EmulatedDrive::Open(temp / "drive", &error);
      ASSERT_TRUE(drive) << error;
      zephrel::SetDriveSourceForTesting([drive = drive, tap = tap] {
        platform::ScanResult scan;
        scan.devices.push_back(platform::WithTransportPolicy(std::make_unique<TappedDrive>(drive, tap)));
        return scan;
      });
    } else {
      ::setenv("ZEPHREL_DRIVES", ("emu:" + (temp / "no drive").native()).c_str(), 1);
    }

    FormServices services;
    services.folders = FoldersIn(temp / "home");
    services.folders.logs.clear();
    services.make_burner = [] { return CreateZephrelDiscBurner(); };
    services.authoring = &authoring;
    services.encoder = real_encoder ? static_cast<VideoEncoder*>(&ffmpeg) : &encoder;
    if (real_encoder) services.extra_encoders = {&ffmpeg2, &ffmpeg3};  // three files at once
    services.clip_maker = real_encoder ? static_cast<PictureClipMaker*>(&ffmpeg_clips) : &clip_maker;
    services.shell = &shell;
    services.clock = &clock;
    services.prober = &prober;
    services.end_program = [] {};
    form = std::make_unique<CindralForm>(std::move(services));
    form->show();

    // Answers every message box, keeping its text; the first one of each
    // test run is saved as a picture.
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box != nullptr) {
        if (!box_shot.empty()) {
          testing::SaveScreenshot(*box, box_shot);
          box_shot.clear();
          // The window behind it, as the job left it.
          if (!end_shot.empty()) testing::SaveScreenshot(*form, end_shot);
          end_shot.clear();
        }
        messages.push_back(box->text().toStdString());
        // A question is answered "Yes".
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
          yes->click();
        } else {
          box->accept();
        }
        return;
      }
      if (!step4_shot.empty() && c().CurrentStep == 4 && c().screen().progress2 > 0) {
        testing::SaveScreenshot(*form, step4_shot);
        step4_shot.clear();
      }
      if (!step5_shot.empty() && c().CurrentStep == 5 && c().screen().progress3 >= 50) {
        testing::SaveScreenshot(*form, step5_shot);
        step5_shot.clear();
      }
      if (!burn_shot.empty() && c().CurrentStep == 5 && c().screen().label22.rfind("Sectors : ", 0) == 0 &&
          c().screen().progress3 >= 25) {
        testing::SaveScreenshot(*form, burn_shot);
        burn_shot.clear();
      }
    });
    answer.start();
  }
  void TearDown() override {
    answer.stop();
    form.reset();
    zephrel::SetDriveSourceForTesting(nullptr);
    zephrel::SetBuildClockForTesting(nullptr);
    ::unsetenv("ZEPHREL_DRIVES");
  }
  WizardController& c() { return form->controller(); }

  // Steps 0 to 3 of a three-video PAL 4:3 project whose videos are converted
  // already, with the classical menu.
  void PrepareProject(const std::string& label, int output, bool with_drive = false,
                      std::uint16_t profile = platform::kProfileDvdPlusR,
                      const platform::MediumSpec* spec = nullptr) {
    StartForm(with_drive, false, profile, spec);
    WizardScreen& s = c().screen();
    s.label = label;
    c().OptionNTSC_Click(false);
    s.aspect_4x3 = true;
    s.temp_path = temp_dir.native();
    s.output_dir = out_dir.native();
    c().NextButton_Click();  // step 1
    const char* clips[] = {"pal_43.mpg", "pal_noaudio.mpg", "pal_43.mpg"};
    fs::create_directories(temp / "sources");
    for (int i = 0; i < 3; ++i) {
      // Each source is a file of its own (a file is in the list once).
      const fs::path source = temp / "sources" / ("video " + std::to_string(i + 1) + ".mpg");
      fs::copy_file(Media(clips[i]), source, fs::copy_options::overwrite_existing);
      c().AddVideo(source);
      ASSERT_EQ(c().screen().rows.size(), static_cast<std::size_t>(i + 1)) << "probed and listed";
      const fs::path converted =
          temp_dir / (std::to_string(i + 1) + " - video " + std::to_string(i + 1) + ".mpg");
      fs::copy_file(Media(clips[i]), converted, fs::copy_options::overwrite_existing);
      c().screen().rows[static_cast<std::size_t>(i)].converted = converted;
      c().RecordCreatedFile(converted);
    }
    fs::copy_file(Media("pal_menu.mpg"), temp_dir / "menu.mpg", fs::copy_options::overwrite_existing);
    c().RecordCreatedFile(temp_dir / "menu.mpg");
    c().NextButton_Click();  // step 2
    c().NextButton_Click();  // step 3
    c().UpdateOutputFrames(output);
    ASSERT_EQ(c().CurrentStep, 3);
    // The first question: the video without sound is added anyway. The
    // output step's own questions follow it.
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("No audio stream found in this file!", 0), 0u) << messages[0];
    messages.erase(messages.begin());
  }
  // The failure box of a burn, once, with its reason; the log's last row
  // says so once; the authored folder and the converted files stay, and the
  // output step is shown again for another try.
  void ExpectAFailedBurnKeepingTheFiles(const std::string& label) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("DVD Video creation Eror, please insert a valid disc in your device.", 0), 0u)
        << messages[0];
    const std::vector<std::string> log = LogTexts();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Burning failure !");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Burning failure !"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Burning complete!"), 0);
    EXPECT_TRUE(fs::exists(temp_dir / label / "VIDEO_TS.IFO")) << "the authored folder stays";
    for (const VideoRow& row : c().screen().rows) EXPECT_TRUE(fs::exists(row.converted)) << row.converted;
    EXPECT_EQ(c().CurrentStep, 3);
    EXPECT_FALSE(c().Busy);
    EXPECT_FALSE(c().Burning);
  }
  // Starts the burn; it completes and the medium holds the three titles.
  void BurnAndExpectThreeTitles() {
    c().StartDvdBuild();
    WaitForTheEnd();
    EXPECT_EQ(messages, std::vector<std::string>{"Burning complete!"});
    std::string out;
    EXPECT_EQ(dvdcheck::RunTool({"lsdvd", "-v", RecordedMedium().native()}, &out), 0) << out;
    EXPECT_EQ(dvdcheck::CountOf(out, ", Length: "), 3) << out;
  }
  // Runs the emulated drive's tool on the test's drive, as another program
  // (or a person at a terminal) would; its exit code.
  int Tool(std::vector<std::string> argv) {
    argv.insert(argv.begin(), EMUDRIVE_TOOL);
    for (std::string& a : argv)
      if (a == "DIR") a = (temp / "drive").native();
    std::string out;
    return dvdcheck::RunTool(argv, &out);
  }
  bool LogHas(const std::string& part) {
    const std::vector<std::string> log = LogTexts();
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& text) { return text.find(part) != std::string::npos; });
  }
  // Back on the output step with an existing VIDEO_TS folder chosen, under
  // label, for this output.
  void UseExistingFolder(const fs::path& folder, int output, const std::string& label) {
    messages.clear();
    c().screen().label = label;
    c().UseExistingVideoTs = true;
    c().ExistingVideoTsFolder = folder;
    c().ShowStep(3);
    c().UpdateOutputFrames(output);
  }
  // Makes the user's three videos (H.264 with AAC in mp4, a Matroska file,
  // and an AVI without sound) with ffmpeg and walks the real form with them
  // to the output step, with folders and a disc label holding blanks and
  // characters outside ASCII; with_drive adds an emulated writer with a blank
  // DVD+R.
  void WalkTheWholeRoadToTheOutputStep(bool with_drive) {
    const fs::path sources = temp / "my vidéos";
    fs::create_directories(sources);
    struct Source {
      std::string name;
      std::vector<std::string> args;
      double seconds;
    };
    const std::vector<Source> videos = {
        {"holiday.mp4",
         {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=44100", "-t", "3", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
          "aac"},
         3.0},
        {"party night.mkv",
         {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-f", "lavfi", "-i",
          "sine=frequency=660:sample_rate=48000", "-t", "3", "-c:v", "mpeg4", "-c:a", "mp2"},
         3.0},
        {"silent.avi",
         {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "2", "-c:v", "mpeg4"},
         2.0}};
    std::vector<fs::path> files;
    for (const Source& v : videos) {
      std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
      argv.insert(argv.end(), v.args.begin(), v.args.end());
      argv.push_back((sources / v.name).native());
      std::string out;
      ASSERT_EQ(dvdcheck::RunTool(argv, &out), 0) << out;
      whole_road_videos.push_back({sources / v.name, v.seconds});
      files.push_back(sources / v.name);
    }

    temp_dir = temp / "tëmp 日本";
    out_dir = temp / "out 🎬";
    fs::create_directories(temp_dir);
    fs::create_directories(out_dir);
    StartForm(with_drive, /*real_encoder=*/true);
    WizardScreen& s = c().screen();
    s.label = "MY RÖAD";
    c().OptionNTSC_Click(false);
    s.temp_path = temp_dir.native();
    s.output_dir = out_dir.native();
    form->Refresh();
    QTest::mouseClick(NextButton(), Qt::LeftButton);  // step 1
    ASSERT_EQ(c().CurrentStep, 1);
    c().AddVideoFiles(files);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !c().ProbesRunning() && c().screen().rows.size() == 3; }, 60000));
    ASSERT_EQ(messages.size(), 1u) << "the question for the video without sound";
    messages.clear();
    QTest::mouseClick(NextButton(), Qt::LeftButton);  // step 2, the classical menu
    ASSERT_EQ(c().CurrentStep, 2);
    QTest::mouseClick(NextButton(), Qt::LeftButton);  // step 3
    ASSERT_EQ(c().CurrentStep, 3);
  }
  QPushButton* NextButton() {
    auto* next = form->findChild<QPushButton*>("NextButton");
    EXPECT_NE(next, nullptr);
    return next;
  }
  // Clicks "Start >" on the output step and waits for the one final box; the
  // wizard is back at the video list with none of its files left.
  void StartAndExpectTheEnd(const std::string& box) {
    QTest::mouseClick(NextButton(), Qt::LeftButton);
    EXPECT_EQ(c().CurrentStep, 4);
    WaitForTheEnd();
    ASSERT_EQ(messages, std::vector<std::string>{box});
    EXPECT_EQ(c().CurrentStep, 1);
    EXPECT_FALSE(c().Busy);
    EXPECT_TRUE(fs::is_empty(temp_dir)) << "no converted file, menu clip or project folder is left";
    for (const WholeRoadVideo& v : whole_road_videos)
      EXPECT_TRUE(fs::exists(v.file)) << "the user's videos stay";
  }
  // lsdvd finds the three videos as PAL 4:3 titles of their own lengths.
  void ExpectTheWholeRoadsTitles(const fs::path& disc) {
    std::string out;
    EXPECT_EQ(dvdcheck::RunTool({"lsdvd", "-v", disc.native()}, &out), 0) << out;
    EXPECT_EQ(dvdcheck::CountOf(out, ", Length: "), 3) << out;
    EXPECT_EQ(dvdcheck::CountOf(out, "Format: PAL, Aspect ratio: 4/3"), 3) << out;
    std::size_t t = 0;
    for (const std::string& line : dvdcheck::Lines(out)) {
      int title = 0, h = 0, m = 0, sec = 0, ms = 0;
      if (std::sscanf(line.c_str(), "Title: %d, Length: %d:%d:%d.%d", &title, &h, &m, &sec, &ms) != 5)
        continue;
      ASSERT_LT(t, whole_road_videos.size());
      EXPECT_NEAR(h * 3600 + m * 60 + sec + ms / 1000.0, whole_road_videos[t++].seconds, 1.0) << line;
    }
  }
  // Runs until the final message box has been answered.
  void WaitForTheEnd(std::size_t boxes = 1) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return messages.size() >= boxes && !c().Busy; }, 300000));
  }
  // The user data recorded on the drive's medium, as a file: empty for a
  // blank one.
  fs::path RecordedMedium() {
    std::string error;
    const fs::path medium = temp / "medium.iso";
    fs::remove(medium);
    EXPECT_TRUE(drive->ExportUserData(medium, &error)) << error;
    return medium;
  }
  std::string RecordedData() { return testing::ReadBytes(RecordedMedium()); }
  // The commands with this operation code that the drive was sent.
  std::vector<platform::LoggedCommand> Commands(std::uint8_t opcode) {
    std::vector<platform::LoggedCommand> found;
    for (const platform::LoggedCommand& command : drive->CommandLog())
      if (!command.cdb.empty() && command.cdb[0] == opcode) found.push_back(command);
    return found;
  }
  std::vector<std::string> LogTexts() {
    std::vector<std::string> texts;
    for (const LogRow& row : c().job_log().rows()) texts.push_back(row.text.substr(row.text.find(" - ") + 3));
    return texts;
  }

  testing::TempFolder temp;
  fs::path temp_dir, out_dir;
  quillon::CQuillonCtrl quillon;
  QuillonAuthoring authoring{quillon};
  const EncoderTools tools = FindEncoderTools();
  FfprobeProber prober{tools};
  FfmpegEncoder ffmpeg{tools}, ffmpeg2{tools}, ffmpeg3{tools};
  FfmpegPictureClipMaker ffmpeg_clips{tools};
  testing::FakeEncoder encoder;
  testing::FakeClipMaker clip_maker;
  testing::RecordingShell shell;
  testing::FakeClock clock;
  std::unique_ptr<CindralForm> form;
  QTimer answer;
  std::vector<std::string> messages;
  std::string box_shot, step4_shot, step5_shot, end_shot;
  std::string burn_shot;  // taken once the writes have passed a quarter
  std::vector<WholeRoadVideo> whole_road_videos;
  std::shared_ptr<platform::EmulatedDrive> drive;
  std::shared_ptr<CommandTap> tap = std::make_shared<CommandTap>();
};

TEST_F(RoadE2e, ThreeConvertedVideosBecomeAnIsoImageThatEveryReaderAccepts) {
  PrepareProject("ROAD DVD", kOutputIso);
  const std::vector<MenuButtonRect> menu_buttons = c().MenuButtons;  // as the menu page drew them
  ASSERT_EQ(menu_buttons.size(), 3u);
  step5_shot = "road_step5_image";
  box_shot = "road_final_message";
  c().StartDvdBuild();
  EXPECT_EQ(c().CurrentStep, 5);
  EXPECT_TRUE(c().Busy);
  WaitForTheEnd();

  ASSERT_EQ(messages, std::vector<std::string>{"Image Writing complete!\nThe image is " +
                                               (out_dir / "ROAD DVD.iso").native()});
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(c().Burning);
  const std::vector<std::string> log = LogTexts();
  // A DVD-Video layout has no Joliet step 10: its row ends when the first
  // sectors are written.
  const std::vector<std::string> expected = {"DVD Filesystem creation...",
                                             "FileSystem analysing (Step 10 / 10)", "Writing started !",
                                             "Image writing complete!"};
  EXPECT_EQ(log, expected);
  // The temporary folder keeps none of the wizard's files.
  EXPECT_TRUE(fs::is_empty(temp_dir)) << "the project folder, the converted files and the menu clip are gone";
  for (const VideoRow& row : c().screen().rows) EXPECT_TRUE(row.converted.empty());

  const fs::path iso = out_dir / "ROAD DVD.iso";
  ASSERT_TRUE(fs::exists(iso));
  EXPECT_EQ(std::distance(fs::directory_iterator(out_dir), fs::directory_iterator()), 1)
      << "no partial image left";
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({"isoinfo", "-d", "-i", iso.native()}, &out), 0) << out;
  EXPECT_NE(out.find("Volume id: ROAD DVD"), std::string::npos) << out;
  EXPECT_EQ(dvdcheck::RunTool({"udfinfo", iso.native()}, &out), 0) << out;
  EXPECT_EQ(out.find("warning"), std::string::npos) << out;
  EXPECT_EQ(dvdcheck::RunTool({"lsdvd", "-v", iso.native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::CountOf(out, ", Length: "), 3) << out;
  EXPECT_EQ(dvdcheck::CountOf(out, "Format: PAL, Aspect ratio: 4/3"), 3) << out;
  for (const std::string& line : dvdcheck::Lines(out)) {
    int title = 0, h = 0, m = 0, sec = 0, ms = 0;
    if (std::sscanf(line.c_str(), "Title: %d, Length: %d:%d:%d.%d", &title, &h, &m, &sec, &ms) != 5) continue;
    EXPECT_NEAR(h * 3600 + m * 60 + sec + ms / 1000.0, 12.0, 1.0) << line;
  }

  ExpectButtonsPlayTheirTitles(iso, menu_buttons);
}

TEST_F(RoadE2e, OnlyIfoVobFilesGiveAFolderThatThenBecomesAnImageUntouched) {
  PrepareProject("FOLDER DVD", kOutputFolder);
  box_shot = "road_folder_message";
  c().StartDvdBuild();
  WaitForTheEnd();
  ASSERT_EQ(messages, std::vector<std::string>{"DVD creation Completed\nThe DVD folder is " +
                                               (out_dir / "FOLDER DVD").native() + "/"});
  const fs::path folder = out_dir / "FOLDER DVD";
  EXPECT_EQ(shell.opened, std::vector<std::string>{folder.native() + "/"});
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  dvdcheck::ExpectDvdreadAcceptsEverything(folder);
  EXPECT_EQ(c().screen().output_dir, out_dir.native() + "/");

  // That folder, chosen as an existing VIDEO_TS folder, becomes an image and
  // is left byte for byte as it was.
  const auto before = FolderBytes(folder);
  // An image of that name is there already: it is replaced after "Yes".
  std::ofstream(out_dir / "FROM FOLDER.iso") << "another project's image";
  UseExistingFolder(folder, kOutputIso, "FROM FOLDER");
  box_shot = "road_replace_question";
  c().NextButton_Click();
  WaitForTheEnd(2);
  ASSERT_EQ(messages, (std::vector<std::string>{"The file " + (out_dir / "FROM FOLDER.iso").native() +
                                                    " already exists.\nDo you want to replace it?",
                                                "Image Writing complete!\nThe image is " +
                                                    (out_dir / "FROM FOLDER.iso").native()}));
  EXPECT_EQ(FolderBytes(folder), before);
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({"lsdvd", (out_dir / "FROM FOLDER.iso").native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::CountOf(out, ", Length: "), 3) << out;
}

TEST_F(RoadE2e, AnImageThatCannotBeCreatedFailsOnceAndKeepsTheAuthoredFolder) {
  PrepareProject("FAIL DVD", kOutputIso);
  // The output "folder" is a plain file: no image can be made in it.
  fs::remove(out_dir);
  testing::WriteBytes(out_dir, "not a folder");
  c().screen().output_dir = out_dir.native();
  c().StartDvdBuild();
  WaitForTheEnd();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("DVD Video creation Eror", 0), 0u) << messages[0];
  EXPECT_EQ(messages[0].find("complete"), std::string::npos);
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Image writing failure !");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Image writing failure !"), 1);
  EXPECT_TRUE(fs::exists(temp_dir / "FAIL DVD" / "VIDEO_TS.IFO")) << "the authored folder stays";
  EXPECT_TRUE(fs::exists(c().screen().rows[0].converted)) << "the converted files stay";
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(testing::ReadBytes(out_dir), "not a folder");
}

TEST_F(RoadE2e, ACancelDuringTheImageLogsItShowsAbortedAndEndsOnce) {
  PrepareProject("CANCEL DVD", kOutputIso);
  // The form's log view is replaced by one that presses Cancel once the
  // image's layout has begun (the press is queued, as a click would be).
  bool pressed = false;
  JobLog::Listener listener;
  listener.row_added = [&](std::size_t index) {
    if (pressed || c().job_log().rows()[index].key != "FILESYSTEM") return;
    pressed = true;
    QTimer::singleShot(0, form.get(), [this] { c().QuitButton_Click(); });
  };
  c().job_log().SetListener(listener);
  c().StartDvdBuild();
  WaitForTheEnd();
  EXPECT_TRUE(pressed);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("Stop making the DVD?", 0), 0u) << "the cancel is confirmed first";
  EXPECT_EQ(messages[1], "DVD Video creation Aborted");
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Image writing cancelled...");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Image writing cancelled..."), 1);
  EXPECT_TRUE(fs::is_empty(out_dir)) << "no image and no partial image";
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(c().Burning);
}

TEST_F(RoadE2e, AFullDiskEndsInTheFailureMessageAndKeepsTheAuthoredFolder) {
  if (!g_file_size_limited) {
    // Run again in a child whose files may not grow past 12 MB: the authored
    // files fit, the image (about 20 MB) does not.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    ASSERT_FALSE(ec);
    std::string out;
    EXPECT_EQ(dvdcheck::RunTool(
                  {"env", std::string(kFileSizeLimit) + "=12000000", self.native(),
                   "--gtest_filter=RoadE2e.AFullDiskEndsInTheFailureMessageAndKeepsTheAuthoredFolder"},
                  &out),
              0)
        << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
    return;
  }
  PrepareProject("FULL DVD", kOutputIso);
  c().StartDvdBuild();
  WaitForTheEnd();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("DVD Video creation Eror", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("File too large"), std::string::npos) << messages[0];
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Image writing failure !");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Image writing failure !"), 1);
  EXPECT_TRUE(fs::exists(temp_dir / "FULL DVD" / "VIDEO_TS.IFO"));
  EXPECT_TRUE(fs::exists(c().screen().rows[0].converted));
  EXPECT_TRUE(fs::is_empty(out_dir)) << "the partial image is removed";
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().Busy);
}

TEST_F(RoadE2e, TheBurnOptionBurnsTheAuthoredDiscOntoTheDrivesMediumAsTheImageOfTheSameFolder) {
  PrepareProject("BURN DVD", kOutputBurn, /*with_drive=*/true);
  ASSERT_EQ(c().screen().drive_entries.size(), 1u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000));
  EXPECT_EQ(c().screen().disc_status_text, "DVD+R - Empty Disc (4482.625 MB)");
  const std::vector<MenuButtonRect> menu_buttons = c().MenuButtons;
  // The authored folder is kept aside, with its files' times, as the first
  // write reaches the drive (the wizard removes it after the burn).
  const fs::path authored = temp / "authored";
  tap->Set([&](std::span<const std::uint8_t> cdb) {
    if (cdb[0] != platform::mmc::kWrite10 || fs::exists(authored)) return;
    std::string out;
    EXPECT_EQ(dvdcheck::RunTool({"cp", "-a", (temp_dir / "BURN DVD").native(), authored.native()}, &out), 0)
        << out;
  });
  drive->ClearCommandLog();
  // The drive writes at a real 8,000 kB/s (about three seconds for this
  // disc), so the burn is seen with its progress. A loaded machine may feed
  // it too slowly now and then; the burn-proof write keeps the disc right,
  // which the read-back below checks, so underruns are not counted here.
  burn_shot = "road_step5_burning";
  drive->SetWritePacing(8000, 2 * 1024 * 1024);
  c().StartDvdBuild();
  WaitForTheEnd();
  tap->Set(nullptr);
  EXPECT_EQ(messages, std::vector<std::string>{"Burning complete!"});
  EXPECT_TRUE(burn_shot.empty()) << "the burn was seen with its progress";
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Burning complete!");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Burning failure !"), 0);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(c().Burning);
  EXPECT_TRUE(fs::is_empty(temp_dir)) << "the wizard's files are gone after the burn";

  // What the drive was told: the write parameters, the writes from the first
  // sector on without a gap, and the close of the track, of the session and
  // of the disc.
  const auto mode_selects = Commands(platform::mmc::kModeSelect10);
  ASSERT_EQ(mode_selects.size(), 1u);
  EXPECT_EQ(mode_selects[0].status, 0);
  const auto writes = Commands(platform::mmc::kWrite10);
  ASSERT_FALSE(writes.empty());
  std::uint32_t next = 0;
  for (const platform::LoggedCommand& write : writes) {
    EXPECT_EQ(write.status, 0);
    EXPECT_EQ(platform::GetBe32(&write.cdb[2]), next);
    next = platform::GetBe32(&write.cdb[2]) + platform::GetBe16(&write.cdb[7]);
  }
  std::vector<int> closes;
  for (const platform::LoggedCommand& close : Commands(platform::mmc::kCloseTrackSession)) {
    EXPECT_EQ(close.status, 0);
    closes.push_back(close.cdb[2] & 7);
  }
  EXPECT_EQ(closes, (std::vector<int>{1, 2, 6})) << "track, session, then the disc finalised";

  // The medium, read back from the drive, is the image of the same folder
  // (but for the zeros that fill the disc's last block) and plays.
  const fs::path medium = RecordedMedium();
  ASSERT_TRUE(fs::exists(authored / "VIDEO_TS.IFO"));
  UseExistingFolder(authored, kOutputIso, "BURN DVD");
  c().NextButton_Click();
  WaitForTheEnd();
  ASSERT_EQ(messages, std::vector<std::string>{"Image Writing complete!\nThe image is " +
                                               (out_dir / "BURN DVD.iso").native()});
  const std::string image = testing::ReadBytes(out_dir / "BURN DVD.iso");
  std::string burned = testing::ReadBytes(medium);
  ASSERT_GE(burned.size(), image.size());
  EXPECT_EQ(next * 2048ull, burned.size()) << "every recorded sector was written once";
  EXPECT_EQ(burned.find_first_not_of('\0', image.size()), std::string::npos) << "only zeros after the image";
  burned.resize(image.size());
  EXPECT_TRUE(burned == image) << "the burned medium differs from the image of the same folder";
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({"isoinfo", "-d", "-i", medium.native()}, &out), 0) << out;
  EXPECT_NE(out.find("Volume id: BURN DVD"), std::string::npos) << out;
  EXPECT_EQ(dvdcheck::RunTool({"udfinfo", medium.native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::RunTool({"lsdvd", "-v", medium.native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::CountOf(out, ", Length: "), 3) << out;
  ExpectButtonsPlayTheirTitles(medium, menu_buttons);
}

TEST_F(RoadE2e, AnExistingVideoTsFolderIsBurnedOntoADvdMinusRAndLeftUntouched) {
  PrepareProject("SOURCE DVD", kOutputFolder, /*with_drive=*/true, platform::kProfileDvdR);
  c().StartDvdBuild();
  WaitForTheEnd();
  ASSERT_EQ(messages, std::vector<std::string>{"DVD creation Completed\nThe DVD folder is " +
                                               (out_dir / "SOURCE DVD").native() + "/"});
  const fs::path folder = out_dir / "SOURCE DVD";
  dvdcheck::ExpectDvdreadAcceptsEverything(folder);
  const auto before = FolderBytes(folder);

  UseExistingFolder(folder, kOutputBurn, "FROM FOLDER");
  ASSERT_EQ(c().screen().drive_entries.size(), 1u);
  c().NextButton_Click();
  WaitForTheEnd();
  ASSERT_EQ(messages, std::vector<std::string>{"Burning complete!"});
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Burning complete!");
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(FolderBytes(folder), before) << "the user's folder is left byte for byte";

  const fs::path medium = RecordedMedium();
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({"isoinfo", "-d", "-i", medium.native()}, &out), 0) << out;
  EXPECT_NE(out.find("Volume id: FROM FOLDER"), std::string::npos) << out;
  EXPECT_EQ(dvdcheck::RunTool({"lsdvd", "-v", medium.native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::CountOf(out, ", Length: "), 3) << out;
}

TEST_F(RoadE2e, ASimulatedBurnOnADvdMinusRWritesNothingAndEndsComplete) {
  PrepareProject("SIM DVD", kOutputBurn, /*with_drive=*/true, platform::kProfileDvdR);
  c().screen().simulation = true;
  c().StartDvdBuild();
  WaitForTheEnd();
  EXPECT_EQ(messages, std::vector<std::string>{"Burning complete!"});
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Burning complete!");
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(RecordedData(), "") << "the medium stays blank";
}

TEST_F(RoadE2e, ASimulatedBurnOnADvdPlusRIsRefusedWithTheEnginesTextAndAFailureBox) {
  PrepareProject("SIM PLUS", kOutputBurn, /*with_drive=*/true);
  c().screen().simulation = true;
  c().StartDvdBuild();
  WaitForTheEnd();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("DVD Video creation Eror", 0), 0u) << messages[0];
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "This medium cannot be burned in simulation (test write): nothing was written."),
            log.end());
  EXPECT_EQ(log.back(), "Burning failure !");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Burning failure !"), 1);
  EXPECT_EQ(RecordedData(), "") << "the medium stays blank";
  EXPECT_TRUE(fs::exists(temp_dir / "SIM PLUS" / "VIDEO_TS.IFO")) << "the authored folder stays";
  EXPECT_FALSE(c().Busy);
}

TEST_F(RoadE2e, AWriteErrorGivesTheSenseRowAndBurningFailureAndKeepsTheAuthoredFolder) {
  PrepareProject("WRITE ERROR", kOutputBurn, /*with_drive=*/true);
  // Set by another program: every write from sector 2000 fails.
  ASSERT_EQ(Tool({"fault", "DIR", "2A", "3", "0C", "00", "1000", "2000", "4294967295"}), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000));
  c().StartDvdBuild();
  WaitForTheEnd();
  ExpectAFailedBurnKeepingTheFiles("WRITE ERROR");
  EXPECT_TRUE(LogHas("Write Error")) << "the drive's sense, as a row of its own";
  const auto writes = Commands(platform::mmc::kWrite10);
  ASSERT_FALSE(writes.empty());
  EXPECT_NE(writes.back().status, 0) << "no write after the failed one";
}

TEST_F(RoadE2e, ATrayOpenedInTheMiddleOfTheBurnEndsTheJobWithTheFailureMessage) {
  PrepareProject("TRAY OPEN", kOutputBurn, /*with_drive=*/true);
  // Another program at sector 2000: its eject is refused while the burn
  // keeps the tray locked, its forced eject (the emergency hole) is not.
  std::atomic<bool> opened{false};
  std::atomic<int> refused{-1}, forced{-1};
  tap->Set([&](std::span<const std::uint8_t> cdb) {
    if (cdb[0] == platform::mmc::kWrite10 && platform::GetBe32(&cdb[2]) >= 2000 && !opened.exchange(true)) {
      refused = Tool({"eject", "DIR"});
      forced = Tool({"eject", "--force", "DIR"});
    }
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000));
  c().StartDvdBuild();
  WaitForTheEnd();
  tap->Set(nullptr);
  EXPECT_TRUE(opened.load());
  EXPECT_EQ(refused.load(), 1) << "the tray stays locked for other programs";
  EXPECT_EQ(forced.load(), 0);
  ExpectAFailedBurnKeepingTheFiles("TRAY OPEN");
  EXPECT_TRUE(LogHas("Medium Not Present")) << "the drive's sense, as a row of its own";
}

TEST_F(RoadE2e, AMediumLoadedWhileTheOutputStepListensIsShownAndTakesTheBurn) {
  PrepareProject("LOADED LATER", kOutputBurn, /*with_drive=*/true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000))
      << c().screen().disc_status_text;
  // Another program takes the disc out and puts a blank DVD-R in.
  ASSERT_EQ(Tool({"eject", "DIR"}), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().disc_status_text.rfind("No Media", 0) == 0; }, 20000))
      << c().screen().disc_status_text;
  EXPECT_FALSE(c().screen().next_enabled);
  ASSERT_EQ(Tool({"insert", "DIR", "dvd-r"}), 0);
  ASSERT_EQ(Tool({"load", "DIR"}), 0);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return c().screen().disc_status_text.rfind("DVD-R - Empty Disc (", 0) == 0; }, 20000))
      << c().screen().disc_status_text;
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000));
  BurnAndExpectThreeTitles();
}

TEST_F(RoadE2e, ACancelInTheMiddleOfTheBurnEndsItOnceAsAborted) {
  PrepareProject("CANCEL BURN", kOutputBurn, /*with_drive=*/true);
  // Cancel is pressed (queued to the window's thread, as a click would be)
  // when the write of sector 2000 reaches the drive.
  std::atomic<bool> pressed{false};
  tap->Set([&](std::span<const std::uint8_t> cdb) {
    if (cdb[0] == platform::mmc::kWrite10 && platform::GetBe32(&cdb[2]) >= 2000 && !pressed.exchange(true))
      QMetaObject::invokeMethod(
          form.get(), [this] { c().QuitButton_Click(); }, Qt::QueuedConnection);
  });
  drive->SetWritePacing(8000, 2 * 1024 * 1024);  // the burn lasts long enough to be cancelled
  box_shot = "road_cancel_burn_question";
  c().StartDvdBuild();
  WaitForTheEnd();
  tap->Set(nullptr);
  EXPECT_TRUE(pressed.load());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("Stop burning?", 0), 0u) << "the cancel is confirmed first";
  EXPECT_EQ(messages[1], "DVD Video creation Aborted");
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Burning cancelled...") << ::testing::PrintToString(log);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Burning cancelled..."), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Burning complete!"), 0);
  EXPECT_LT(Commands(platform::mmc::kWrite10).size(), 200u) << "the writes stopped soon after the cancel";
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(c().Burning);
}

TEST_F(RoadE2e, AProjectLargerThanTheDiscIsAskedAboutAndWhenBurnedAnywayGetsTheEnginesSpaceError) {
  PrepareProject("BIG PROJECT", kOutputFolder, /*with_drive=*/true, platform::kProfileDvdR);
  c().StartDvdBuild();
  WaitForTheEnd();
  ASSERT_EQ(messages, std::vector<std::string>{"DVD creation Completed\nThe DVD folder is " +
                                               (out_dir / "BIG PROJECT").native() + "/"});
  const fs::path folder = out_dir / "BIG PROJECT";
  const auto before = FolderBytes(folder);
  // Two more title sets' videos (sparse files) make the set larger than a DVD-R;
  // a file that does not go on the disc does not count.
  const std::uint64_t part = 2450ull * 1000 * 1000;
  for (const char* name : {"VTS_98_1.VOB", "VTS_99_1.VOB", "notes.bin"}) {
    std::ofstream(folder / name).close();
    fs::resize_file(folder / name, part);
  }

  UseExistingFolder(folder, kOutputBurn, "BIG PROJECT");
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000));
  EXPECT_EQ(c().screen().disc_status_text, "DVD-R - Empty Disc (4489.25 MB)");
  box_shot = "road_start_question_larger_than_disc";
  c().NextButton_Click();  // "Start >"; the question is answered "Yes"
  WaitForTheEnd(2);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("The project (46", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find(" MB) is larger than the free space on the disc (4489.25 MB) by "),
            std::string::npos)
      << messages[0];
  EXPECT_EQ(messages[1].rfind("DVD Video creation Eror, please insert a valid disc in your device.", 0), 0u)
      << messages[1];
  const std::vector<std::string> log = LogTexts();
  EXPECT_NE(std::find(log.begin(), log.end(), "Error : Not Enough space on the disc..."), log.end());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Burning failure !");
  EXPECT_EQ(RecordedData(), "") << "nothing was written";
  EXPECT_TRUE(Commands(platform::mmc::kWrite10).empty());
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().Busy);
  for (const char* name : {"VTS_98_1.VOB", "VTS_99_1.VOB", "notes.bin"}) {
    EXPECT_EQ(fs::file_size(folder / name), part);
    fs::remove(folder / name);
  }
  EXPECT_EQ(FolderBytes(folder), before) << "the user's folder is left byte for byte";
}

TEST_F(RoadE2e, AFullDvdMinusRwIsErasedWhenTheUserSaysSoAndThenTakesTheBurn) {
  // A closed DVD-RW holding one session of somebody's data.
  const fs::path content = temp / "old data.bin";
  testing::WriteBytes(content, std::string(2048 * 64, 'x'));
  platform::MediumSpec full;
  full.profile = platform::kProfileDvdRwSequential;
  full.content = content;
  PrepareProject("ERASED DVD", kOutputBurn, /*with_drive=*/true, platform::kProfileDvdRwSequential, &full);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 30000))
      << c().screen().disc_status_text;
  EXPECT_EQ(messages,
            std::vector<std::string>{"This disk is no more writable. Do you want to erase this disk?"});
  EXPECT_EQ(c().screen().disc_status_text.rfind("DVD-RW - Empty Disc (", 0), 0u)
      << c().screen().disc_status_text;
  EXPECT_FALSE(Commands(platform::mmc::kBlank).empty());
  EXPECT_EQ(RecordedData(), "") << "the old data is gone";

  messages.clear();
  BurnAndExpectThreeTitles();
}

TEST_F(RoadE2e, TheWholeRoadFromThreeVideosThroughConversionToAnIsoImage) {
  WalkTheWholeRoadToTheOutputStep(/*with_drive=*/false);
  Choose(form->findChild<QRadioButton*>("Option2"));
  const std::vector<MenuButtonRect> menu_buttons = c().MenuButtons;
  ASSERT_EQ(menu_buttons.size(), 3u);

  step4_shot = "road_step4_conversion";
  step5_shot = "road_step5_compilation";
  end_shot = "road_step5_at_the_end";
  box_shot = "road_whole_final_message";
  StartAndExpectTheEnd("Image Writing complete!\nThe image is " + (out_dir / "MY RÖAD.iso").native());
  EXPECT_TRUE(step4_shot.empty()) << "the conversion step was seen with progress";
  EXPECT_TRUE(step5_shot.empty()) << "the compilation step was seen with progress";
  const std::vector<std::string> expected = {"DVD Filesystem creation...",
                                             "FileSystem analysing (Step 10 / 10)", "Writing started !",
                                             "Image writing complete!"};
  EXPECT_EQ(LogTexts(), expected);

  const fs::path iso = out_dir / "MY RÖAD.iso";
  ASSERT_TRUE(fs::exists(iso));
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({"isoinfo", "-d", "-i", iso.native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::RunTool({"udfinfo", iso.native()}, &out), 0) << out;
  EXPECT_EQ(out.find("warning"), std::string::npos) << out;
  ExpectTheWholeRoadsTitles(iso);
  ExpectButtonsPlayTheirTitles(iso, menu_buttons);
}

TEST_F(RoadE2e, TheWholeRoadFromThreeVideosThroughConversionOntoABurnedDvdPlusR) {
  WalkTheWholeRoadToTheOutputStep(/*with_drive=*/true);
  Choose(form->findChild<QRadioButton*>("Option1"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return c().screen().next_enabled; }, 20000))
      << c().screen().disc_status_text;
  EXPECT_EQ(c().screen().disc_status_text, "DVD+R - Empty Disc (4482.625 MB)");
  const std::vector<MenuButtonRect> menu_buttons = c().MenuButtons;
  ASSERT_EQ(menu_buttons.size(), 3u);

  StartAndExpectTheEnd("Burning complete!");
  const std::vector<std::string> log = LogTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Burning complete!");
  EXPECT_TRUE(fs::is_empty(out_dir)) << "a burn leaves no image behind";

  const fs::path medium = RecordedMedium();
  std::string out;
  EXPECT_EQ(dvdcheck::RunTool({"isoinfo", "-d", "-i", medium.native()}, &out), 0) << out;
  EXPECT_EQ(dvdcheck::RunTool({"udfinfo", medium.native()}, &out), 0) << out;
  ExpectTheWholeRoadsTitles(medium);
  ExpectButtonsPlayTheirTitles(medium, menu_buttons);
}

}  // namespace
}  // namespace vantora
