// The menu page drawn headless with a font loaded from its file, so that the
// metrics do not depend on the machine's font configuration.
#include "vantora/menu_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImageReader>

#include <fstream>

#include "platform/fileio.h"
#include "vantora/my_progress_bar.h"
#include "widgets_testutil.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

constexpr char kFontFile[] = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

class MenuPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::App();
    ASSERT_GE(QFontDatabase::addApplicationFont(kFontFile), 0) << kFontFile;
  }
  void SetUp() override {
    platform::FileError error;
    folder = platform::TemporaryFolder::Create("vantora_menu_page", &error);
    ASSERT_TRUE(folder.has_value()) << error.message;
  }
  static MenuDesign Design() {
    MenuDesign d;
    d.title = "Summer 2026";
    d.title_font = {"Liberation Sans", 32, false, false, false};
    d.lines = {"01 - beach.avi", "02 - mountains.mkv", "03 - été 日本.mp4"};
    d.lines_font = {"Liberation Sans", 14, false, false, false};
    d.marker_color = MakeRgb(255, 0, 255);
    return d;
  }
  MenuLayout LayOut(const MenuPage& page, const MenuDesign& d) {
    return LayOutMenu(d, kMenuPageWidth,
                      [&](const MenuFont& f, const std::string& t) { return page.Measure(f, t); });
  }
  fs::path Path(const std::string& name) const { return folder->path() / name; }
  std::optional<platform::TemporaryFolder> folder;
};

// The page's font metrics as an independent 96-dpi device gives them.
QFontMetricsF Metrics96(int points, const char* family = "Liberation Sans") {
  static QImage device = [] {
    QImage image(10, 10, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
  }();
  QFont font(family);
  font.setPointSizeF(points);
  return QFontMetricsF(font, &device);
}

TEST_F(MenuPageTest, TextIsMeasuredAt96DotsPerInchNotAt72) {
  MenuPage page;
  const TextExtent e = page.Measure({"Liberation Sans", 14, false, false, false}, "01 - beach.avi");
  EXPECT_DOUBLE_EQ(e.height, Metrics96(14).height());
  // 14 points at 96 dpi are 18.7 pixels of em; the line is about 1.15 em.
  EXPECT_GT(e.height, 20.0);
  EXPECT_LT(e.height, 22.5);
}

TEST_F(MenuPageTest, CjkAndEmojiComeFromTheFallbacksAndWhatNoFontDrawsIsNamed) {
  MenuPage page;
  struct Row {
    std::string text;
    std::u32string missing;
  };
  const Row rows[] = {
      {"été 2023", U""},
      {"日本 한국 中文", U""},
      {"🎬 👍🏽 ❤️ 👨‍👩‍👧", U""},
      {"a\U0010FFFDb \U0010FFFD\U000FFFFD", U"\U0010FFFD\U000FFFFD"},
  };
  for (const MenuFont& font : {MenuFont{"Liberation Sans", 14, false, false, false},
                               MenuFont{"Liberation Sans", 32, true, true, false}}) {
    for (const Row& row : rows) EXPECT_EQ(page.MissingGlyphs(font, row.text), row.missing) << row.text;
  }
  // A font name the system stands in for keeps its stand-in for the letters.
  EXPECT_DOUBLE_EQ(page.Measure({"Arial", 14, false, false, false}, "Summer 2026").width,
                   Metrics96(14, "Arial").horizontalAdvance("Summer 2026"));
}

TEST_F(MenuPageTest, TitleAndLinesArePlacedAtTheSlidersWithTheLineHeight) {
  MenuPage page;
  const MenuDesign d = Design();
  const MenuLayout layout = LayOut(page, d);
  const double h = Metrics96(14).height();
  const int size = static_cast<int>(std::nearbyint(h));
  ASSERT_EQ(layout.buttons.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(layout.line_tops[i], 150 + i * (h + 4)) << i;
    EXPECT_EQ(layout.buttons[i].Size, size);
    EXPECT_EQ(layout.buttons[i].Left, static_cast<int>(std::nearbyint(132 - h - 4)));
    EXPECT_EQ(layout.buttons[i].Top, static_cast<int>(std::nearbyint(150 + i * (h + 4))));
  }
  // The title's ink starts right of 114 and below 24, and no ink is above it.
  const QImage drawn = page.Draw(d, layout, true, kMenuPageHeightPal);
  int top = -1, left = 10000;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < kMenuPageWidth; ++x)
      if (qGray(drawn.pixel(x, y)) > 200) {
        if (top < 0) top = y;
        left = std::min(left, x);
      }
  EXPECT_GE(top, 24);
  EXPECT_LT(top, 24 + Metrics96(32).ascent());
  EXPECT_GE(left, 114);
  EXPECT_LT(left, 114 + 8);
}

TEST_F(MenuPageTest, ThePageIsTheFramesSizeAt96Dpi) {
  MenuPage page;
  const MenuDesign d = Design();
  const QImage pal = page.Draw(d, LayOut(page, d), false, kMenuPageHeightPal);
  const QImage ntsc = page.Draw(d, LayOut(page, d), false, kMenuPageHeightNtsc);
  EXPECT_EQ(pal.size(), QSize(720, 576));
  EXPECT_EQ(ntsc.size(), QSize(720, 480));
  EXPECT_EQ(pal.dotsPerMeterX(), 3780);
}

TEST_F(MenuPageTest, MarkersAreDrawnOnTheButtonSquaresOnlyWhenShown) {
  MenuPage page;
  const MenuDesign d = Design();
  const MenuLayout layout = LayOut(page, d);
  const QImage shown = page.Draw(d, layout, false, kMenuPageHeightPal);
  const QImage hidden = page.Draw(d, layout, true, kMenuPageHeightPal);
  // Every differing pixel lies on a button square, and every square's pixels
  // are the marker colour.
  QRect union_of_buttons;
  for (const MenuButtonRect& b : layout.buttons) {
    const QRect r(b.Left, b.Top, b.Size, b.Size);
    union_of_buttons = union_of_buttons.united(r);
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, 0xFF00FFu);
  }
  int differing = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (shown.pixel(x, y) != hidden.pixel(x, y)) {
        ++differing;
        bool on_button = false;
        for (const MenuButtonRect& b : layout.buttons)
          on_button = on_button || QRect(b.Left, b.Top, b.Size, b.Size).contains(x, y);
        ASSERT_TRUE(on_button) << x << "," << y;
      }
  EXPECT_GT(differing, 0);
}

TEST_F(MenuPageTest, TheSavedBitmapIs24BitAtTheFramesSizeWithTheMarkersWhereTheButtonsAre) {
  MenuPage page;
  const MenuDesign d = Design();
  const MenuLayout layout = LayOut(page, d);
  const QImage shown = page.Draw(d, layout, false, kMenuPageHeightNtsc);
  ASSERT_EQ(SaveBitmap24(shown, Path("menutemp.bmp")), "");
  std::ifstream in(Path("menutemp.bmp"), std::ios::binary);
  std::string header(54, '\0');
  in.read(header.data(), 54);
  EXPECT_EQ(header.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(header[28]), 24);  // bits per pixel
  QImageReader reader(QString::fromStdString(Path("menutemp.bmp").native()));
  const QImage back = reader.read();
  ASSERT_FALSE(back.isNull()) << reader.errorString().toStdString();
  EXPECT_EQ(back.size(), QSize(720, 480));
  for (const MenuButtonRect& b : layout.buttons) {
    EXPECT_EQ(back.pixel(b.Left, b.Top) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_EQ(back.pixel(b.Left + b.Size - 1, b.Top + b.Size - 1) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_NE(back.pixel(b.Left + b.Size, b.Top) & 0xFFFFFF, 0xFF00FFu);  // the gap of 4 before the text
    EXPECT_NE(back.pixel(b.Left - 1, b.Top) & 0xFFFFFF, 0xFF00FFu);
  }
}

// A PNG whose header claims width x height; its pixels are missing.
void WritePngHeader(const fs::path& file, std::uint32_t width, std::uint32_t height) {
  auto crc32 = [](const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
      crc ^= c;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  const std::string ihdr = "IHDR" + be32(width) + be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
  const std::string idat = "IDAT" + std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + ihdr + be32(crc32(ihdr)) +
                          be32(8) + idat + be32(crc32(idat)) + be32(0) + "IEND" + be32(crc32("IEND"));
  std::ofstream(file, std::ios::binary) << png;
}

TEST_F(MenuPageTest, AHugePictureIsRefusedFromItsHeaderAndTheOldBackgroundStays) {
  MenuPage page;
  QImage small(64, 48, QImage::Format_RGB32);
  small.fill(Qt::red);
  ASSERT_TRUE(small.save(QString::fromStdString(Path("red é.png").native())));
  ASSERT_EQ(page.LoadBackground(Path("red é.png"), folder->path()), "");
  WritePngHeader(Path("huge.png"), 20000, 20000);
  const std::string problem = page.LoadBackground(Path("huge.png"), folder->path());
  EXPECT_EQ(problem, "The picture " + Path("huge.png").native() +
                         " is too large (20000 x 20000): pictures up to 8192 x 8192 can be used.");
  EXPECT_EQ(page.background().size(), QSize(64, 48));
}

TEST_F(MenuPageTest, AFifoAFolderAndGarbageAreRefusedWithoutBlocking) {
  MenuPage page;
  ASSERT_EQ(mkfifo(Path("pipe.png").c_str(), 0600), 0);
  fs::create_directory(Path("folder.png"));
  std::ofstream(Path("garbage.png")) << "not a picture at all";
  for (const char* name : {"pipe.png", "folder.png", "garbage.png", "missing.png"})
    EXPECT_EQ(page.LoadBackground(Path(name), folder->path()).rfind("Can't load the picture ", 0), 0u)
        << name;
}

TEST_F(MenuPageTest, TheDefaultBackgroundIsTheShippedPictureOfTheTvSystemOrAGradient) {
  MenuPage page;
  ASSERT_EQ(page.LoadBackground("Default", folder->path()), "");
  EXPECT_EQ(page.background().size(), QSize(720, 576));
  fs::create_directories(folder->path() / "Background");
  QImage own(100, 80, QImage::Format_RGB32);
  own.fill(Qt::green);
  ASSERT_TRUE(own.save(
      QString::fromStdString((folder->path() / "Background" / "background_default_PAL.png").native())));
  ASSERT_EQ(page.LoadBackground("Default", folder->path()), "");
  EXPECT_EQ(page.background().size(), QSize(100, 80));
  // The pictures the build ships, beside the program in the build tree.
  const fs::path shipped = fs::path(VANTORA_BINARY_DIR) / "share" / "vantora";
  ASSERT_EQ(page.LoadBackground("Default", shipped, false), "");
  EXPECT_EQ(page.background().size(), QSize(720, 576));
  ASSERT_EQ(page.LoadBackground("Default", shipped, true), "");
  EXPECT_EQ(page.background().size(), QSize(720, 480));
}

TEST_F(MenuPageTest, ProgressBarsDrawTheirValueHeldTo0To100AndKeepWhatWasSet) {
  MyProgressBar bar, full, empty;
  for (MyProgressBar* b : {&bar, &full, &empty}) b->resize(270, 20);
  full.SetValue(100);
  empty.SetValue(0);
  bar.SetValue(150);
  EXPECT_EQ(bar.GetValue(), 150);
  EXPECT_EQ(bar.grab().toImage(), full.grab().toImage());
  bar.SetValue(-38);
  EXPECT_EQ(bar.GetValue(), -38);
  EXPECT_EQ(bar.grab().toImage(), empty.grab().toImage());
}

}  // namespace
}  // namespace vantora
