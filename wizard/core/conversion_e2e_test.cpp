// The conversion step against the real ffmpeg and ffprobe: videos generated
// for the test go through the wizard's video list, menu clip and conversion
// chain, and the results are read back with the authoring engine's analysis
// and with ffmpeg decoding the menu's picture.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <variant>

#include "authoring_testutil.h"
#include "core_testutil.h"
#include "platform/bitmap.h"
#include "platform/process.h"
#include "vantora/ffmpeg_encoder.h"
#include "vantora/wizard_controller.h"
#include "wizard_fakes.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;
using platform::ChildResult;
using platform::RunChild;

// Hands the events of every lane's encoder to the test's thread, as the
// window does.
class QueuedEvents {
 public:
  EncoderEvents* Lane(int lane) {
    lanes_.push_back(std::make_unique<LaneEvents>(*this, lane));
    return lanes_.back().get();
  }
  // Runs queued events on the calling thread until done() holds.
  bool RunUntil(WizardController& c, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!done()) {
      std::unique_lock lock(mu_);
      if (!cv_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) return false;
      auto [lane, event] = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      if (auto* p = std::get_if<std::uint8_t>(&event))
        c.EncoderProgress(lane, *p);
      else
        c.EncoderCompleted(lane, std::get<EncodeResult>(event));
    }
    return true;
  }

 private:
  using Event = std::variant<std::uint8_t, EncodeResult>;
  class LaneEvents final : public EncoderEvents {
   public:
    LaneEvents(QueuedEvents& q, int lane) : q_(q), lane_(lane) {}
    void OnProgress(std::uint8_t percent) override { q_.Push(lane_, percent); }
    void OnCompleted(const EncodeResult& result) override { q_.Push(lane_, result); }

   private:
    QueuedEvents& q_;
    int lane_;
  };
  void Push(int lane, Event event) {
    std::lock_guard lock(mu_);
    queue_.emplace_back(lane, std::move(event));
    cv_.notify_all();
  }
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::pair<int, Event>> queue_;
  std::vector<std::unique_ptr<LaneEvents>> lanes_;
};

// Saves the menu page as a dark picture with a white square on every button,
// so the encoded menu shows whether the squares stayed in place.
class BitmapView final : public WizardView {
 public:
  void Refresh() override {}
  void EndProgram() override {}
  void ShowMenuPage(const MenuDesign&, const MenuLayout& layout, bool) override { buttons = layout.buttons; }
  bool SaveMenuPicture(const fs::path& file) override {
    platform::Bitmap page;
    page.width = kMenuPageWidth;
    page.height = height;
    page.rgb.assign(static_cast<std::size_t>(page.width) * page.height * 3, 16);
    for (const MenuButtonRect& b : buttons)
      for (int y = b.Top; y < b.Top + b.Size; ++y)
        for (int x = b.Left; x < b.Left + b.Size; ++x) std::fill_n(page.Pixel(x, y), 3, 255);
    std::string error;
    return platform::WriteBmp(file, page, &error);
  }
  std::vector<MenuButtonRect> buttons;
  int height = kMenuPageHeightPal;
};

class ConversionEndToEnd : public ::testing::Test, protected testing::WizardFakes {
 protected:
  void SetUp() override {
    tools = FindEncoderTools();
    ASSERT_EQ(EncoderToolsProblem(tools), "");
    auto make = [&](std::vector<std::string> args) {
      std::vector<std::string> argv = {tools.ffmpeg.native(), "-nostdin", "-hide_banner",
                                       "-loglevel",           "error",    "-y"};
      argv.insert(argv.end(), args.begin(), args.end());
      const ChildResult r = RunChild(argv, std::chrono::minutes(2));
      ASSERT_EQ(r.exit_code, 0) << r.err;
    };
    mp4 = media.path() / "été clip.mp4";
    mkv = media.path() / "日本 clip.mkv";
    avi = media.path() / "silent 🎬.avi";
    make({"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=44100", "-t", "2", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
          "aac", mp4.native()});
    make({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-f", "lavfi", "-i",
          "sine=frequency=220:sample_rate=48000", "-t", "2", "-c:v", "mpeg4", "-c:a", "mp2", mkv.native()});
    make({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-t", "2", "-c:v", "mpeg4", avi.native()});
    std::ofstream(ConfigFile(home.path())) << "[LAUNCH]\nVALUE=True\n";
  }

  EncoderTools tools;
  testing::TempFolder media, home;
  fs::path mp4, mkv, avi;
};

TEST_F(ConversionEndToEnd, ThreeVideosAndTheMenuBecomeDvdStreamsTheAuthoringAccepts) {
  // Three lanes: the menu clip and two videos at once, then the third.
  FfmpegEncoder ffmpeg(tools), ffmpeg2(tools), ffmpeg3(tools);
  FfprobeProber ffprobe(tools);
  FfmpegPictureClipMaker ffmpeg_clips(tools);
  QueuedEvents events;
  ffmpeg.SetEvents(events.Lane(0));
  ffmpeg2.SetEvents(events.Lane(1));
  ffmpeg3.SetEvents(events.Lane(2));
  BitmapView view;
  WizardParts parts = Parts(home.path(), {});
  parts.encoder = &ffmpeg;
  parts.extra_encoders = {&ffmpeg2, &ffmpeg3};
  parts.clip_maker = &ffmpeg_clips;
  parts.prober = &ffprobe;
  WizardController c(std::move(parts), view);
  c.Start();
  c.OptionNTSC_Click(false);      // PAL
  c.screen().aspect_4x3 = false;  // 16:9
  c.screen().bitrate_text = "15000";
  c.NextButton_Click();
  c.AddVideoFiles({mp4, mkv, avi});
  ASSERT_EQ(c.screen().rows.size(), 3u) << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
  EXPECT_EQ(c.screen().rows[0].seconds, 2);
  EXPECT_FALSE(c.screen().rows[2].has_audio);  // added after the question
  c.NextButton_Click();
  ASSERT_TRUE(c.screen().classical_menu);
  c.NextButton_Click();
  ASSERT_EQ(c.CurrentStep, 3) << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
  ASSERT_TRUE(fs::exists(home.path() / "menutemp.avi"));
  c.screen().bitrate_text = "15000";
  c.NextButton_Click();
  ASSERT_EQ(c.CurrentStep, 4);
  // The conversion ends by handing the three files over to the authoring.
  ASSERT_TRUE(events.RunUntil(c, [&] { return authoring.builds > 0 || !dialogs.messages.empty(); }))
      << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
  ASSERT_EQ(authoring.builds, 1) << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
  // In list order, whichever ended first.
  ASSERT_EQ(authoring.titles.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(authoring.titles[i], c.screen().rows[i].converted.native());

  // The DVD limit, not what was asked, and the window shows what was used.
  EXPECT_EQ(c.VideoBitrate, 9000);
  EXPECT_EQ(c.screen().bitrate_text, "9000");
  const fs::path menu = c.TempFolder / "menu.mpg";
  testing::ExpectAuthoringAccepts(menu, 2, 2, 0);
  const int audio_streams[] = {1, 1, 0};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(c.screen().rows[i].text);
    ASSERT_FALSE(c.screen().rows[i].converted.empty());
    EXPECT_EQ(c.screen().rows[i].converted.parent_path(), c.TempFolder);
    testing::ExpectAuthoringAccepts(c.screen().rows[i].converted, 2, 2, audio_streams[i]);
  }

  // The menu's first picture, decoded by ffmpeg: the squares are where the
  // buttons are (the page was neither scaled nor padded).
  const fs::path frame = home.path() / "frame.rgb";
  const ChildResult r =
      RunChild({tools.ffmpeg.native(), "-nostdin", "-loglevel", "error", "-y", "-i", menu.native(),
                "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray", frame.native()},
               std::chrono::minutes(1));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string gray = testing::ReadBytes(frame);
  ASSERT_EQ(gray.size(), 720u * 576u);
  auto at = [&](int x, int y) {
    return static_cast<unsigned char>(gray[static_cast<std::size_t>(y) * 720 + x]);
  };
  ASSERT_EQ(view.buttons.size(), 3u);
  for (const MenuButtonRect& b : view.buttons) {
    EXPECT_GT(at(b.Left + b.Size / 2, b.Top + b.Size / 2), 200) << b.Left << "," << b.Top;
    EXPECT_GT(at(b.Left + 2, b.Top + 2), 200);
    EXPECT_LT(at(b.Left - 6, b.Top + b.Size / 2), 60);
  }
  const MenuButtonRect& last = view.buttons.back();
  EXPECT_LT(at(last.Left + last.Size / 2, last.Top + last.Size + 6), 60);
  for (FfmpegEncoder* e : {&ffmpeg, &ffmpeg2, &ffmpeg3}) e->Shutdown();
}

}  // namespace
}  // namespace vantora
