// The wizard's own controls, drawn headless. Screenshots of a few states are
// saved under the build tree (screenshots/) for a person to look at.
#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "vantora/capacity_view.h"
#include "vantora/my_progress_bar.h"
#include "vantora/qt_services.h"
#include "vantora/ui_encoder_events.h"
#include "widgets_testutil.h"

// Font configuration keeps a cache for the life of the process; the leak
// checker must not count it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace vantora {
namespace {

class WidgetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::App(); }

  static std::filesystem::path ScreenshotFolder() {
    std::filesystem::path dir = std::filesystem::path(VANTORA_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    return dir;
  }

  static void Save(QWidget& w, const std::string& name) {
    w.grab().save(QString::fromStdString(platform::PathToUtf8(ScreenshotFolder() / (name + ".png"))));
  }

  // Whether any pixel in the column x of the picture has a green fill colour.
  static bool FilledAt(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return c.green() > c.red() + 40 && c.green() > c.blue() + 40;
  }
};

TEST_F(WidgetTest, ProgressBarKeepsItsValueAndDrawsTheFillToIt) {
  MyProgressBar bar;
  bar.resize(270, 20);
  EXPECT_EQ(bar.GetValue(), 0);
  bar.SetValue(57);
  EXPECT_EQ(bar.GetValue(), 57);
  QImage image = bar.grab().toImage();
  EXPECT_TRUE(FilledAt(image, 30, 10));
  EXPECT_FALSE(FilledAt(image, 250, 10));
  bar.resize(400, 20);  // a resize redraws with the stored value
  image = bar.grab().toImage();
  EXPECT_EQ(bar.GetValue(), 57);
  EXPECT_TRUE(FilledAt(image, 200, 10));
  EXPECT_FALSE(FilledAt(image, 300, 10));
  for (int v : {0, 3, 57, 100}) {
    bar.resize(270, 20);
    bar.SetValue(v);
    Save(bar, "progress_bar_" + std::to_string(v));
  }
  bar.SetValue(0);
  EXPECT_FALSE(FilledAt(bar.grab().toImage(), 30, 10));
}

TEST_F(WidgetTest, CapacityViewShowsTheStateOfItsLastDrawing) {
  CapacityView gauge;
  gauge.resize(450, 45);
  gauge.SetMode(true);
  gauge.SetValueMax(9000);
  gauge.SetValue(4482);
  EXPECT_FALSE(gauge.CurrentLayout().fill.shown);  // not drawn yet
  gauge.DessineBar();
  const GaugeLayout layout = gauge.CurrentLayout();
  ASSERT_TRUE(layout.fill.shown);
  EXPECT_EQ(layout.fill.right_cap, 221);
  ASSERT_TRUE(layout.limit.has_value());
  EXPECT_NEAR(*layout.limit, 224.1, 1e-9);
  const QImage image = gauge.grab().toImage();
  EXPECT_TRUE(FilledAt(image, 100, 10));
  EXPECT_FALSE(FilledAt(image, 400, 10));
  Save(gauge, "capacity_view_gb_4482");
  for (int v : {0, 7, 2000, 8000, 12000}) {
    gauge.SetValue(v);
    gauge.DessineBar();
    Save(gauge, "capacity_view_gb_" + std::to_string(v));
  }
  // Past the single-layer mark the fill takes another colour.
  gauge.SetValue(8000);
  gauge.DessineBar();
  const QImage over = gauge.grab().toImage();
  EXPECT_TRUE(FilledAt(over, 100, 10));
  EXPECT_FALSE(FilledAt(over, 300, 10));
  const QColor past = over.pixelColor(300, 10);
  EXPECT_GT(past.red(), past.green() + 40) << "the overflow is drawn red";
  gauge.SetMode(false);
  gauge.SetValueMax(90);
  gauge.SetValue(60);
  gauge.DessineBar();
  Save(gauge, "capacity_view_minutes_60");
  EXPECT_EQ(gauge.CurrentLayout().marks[9].caption, "90 Min");
}

TEST_F(WidgetTest, CapacityViewWithMaximumZeroDrawsNoFill) {
  CapacityView gauge;
  gauge.resize(450, 45);
  gauge.SetMode(true);
  gauge.SetValue(5000);
  gauge.DessineBar();  // the maximum was never set
  EXPECT_FALSE(gauge.CurrentLayout().fill.shown);
  const QImage image = gauge.grab().toImage();
  for (int x = 0; x < 450; x += 10) EXPECT_FALSE(FilledAt(image, x, 10)) << x;
  Save(gauge, "capacity_view_maximum_0");
}

TEST_F(WidgetTest, MainWindowKeepsItsFixedSize) {
  QWidget window;
  HookMainWindow(&window, 9225, 7950);
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  window.resize(2000, 2000);
  EXPECT_EQ(window.size(), window.minimumSize());
  const double dpi = window.screen() != nullptr ? window.screen()->logicalDotsPerInchX() : 96;
  if (dpi == 96) {
    EXPECT_EQ(window.size(), QSize(615, 530));
  }
}

TEST_F(WidgetTest, EncoderEventsRunOnTheInterfaceThreadInOrder) {
  const std::thread::id ui = std::this_thread::get_id();
  std::vector<std::string> seen;
  bool all_on_ui = true;
  QImage last;
  {
    UiEncoderEvents events({
        [&](std::uint8_t p) {
          all_on_ui &= std::this_thread::get_id() == ui;
          seen.push_back("progress " + std::to_string(p));
        },
        [&](const EncodeResult& r) {
          all_on_ui &= std::this_thread::get_id() == ui;
          seen.push_back("completed " + r.message);
        },
        [&](const QImage& picture) {
          all_on_ui &= std::this_thread::get_id() == ui;
          last = picture;
          seen.push_back("preview");
        },
    });
    std::thread worker([&] {
      events.OnProgress(40);
      PreviewFrame frame{2, 1, {255, 0, 0, 0, 0, 255}};
      events.OnPreviewFrame(frame);
      frame.rgb.assign(6, 0);  // the frame lives only for the call
      events.OnProgress(100);
      events.OnCompleted({EncodeStatus::kOk, "done"});
    });
    worker.join();  // the worker never waited for the handlers
    EXPECT_TRUE(seen.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::string>{"progress 40", "preview", "progress 100", "completed done"}));
    EXPECT_TRUE(all_on_ui);
    ASSERT_EQ(last.size(), QSize(2, 1));
    EXPECT_EQ(last.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(last.pixelColor(1, 0), QColor(0, 0, 255));
    events.OnProgress(7);  // queued, then dropped with the object
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(seen.size(), 4u);
}

}  // namespace
}  // namespace vantora
