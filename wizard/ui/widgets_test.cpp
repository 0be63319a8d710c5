// The wizard's own controls, drawn headless. Screenshots of a few states are
// saved under the build tree (screenshots/) for a person to look at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "../core/core_testutil.h"
#include "platform/text.h"
#include "vantora/capacity_view.h"
#include "vantora/my_progress_bar.h"
#include "vantora/qt_services.h"
#include "vantora/ui_encoder_events.h"
#include "widgets_testutil.h"

// Font configuration and the desktop bus keep caches for the life of the
// process; the leak checker must not count them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

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

TEST_F(WidgetTest, AFreshHomeGetsTheDesktopsFoldersAndVantoraHomeTakesThemAll) {
  using testing::ScopedEnv;
  testing::TempFolder home;
  ScopedEnv h("HOME", home.path().c_str());
  ScopedEnv v("VANTORA_HOME", nullptr);
  ScopedEnv a("XDG_CONFIG_HOME", nullptr);
  ScopedEnv b("XDG_CACHE_HOME", nullptr);
  ScopedEnv c("XDG_STATE_HOME", nullptr);
  ScopedEnv d("XDG_DATA_HOME", nullptr);
  const std::filesystem::path program = "/opt/x/bin";
  UserFolders f = StandardUserFolders(program);
  EXPECT_EQ(f.config, home / ".config" / "vantora");
  EXPECT_EQ(f.cache, home / ".cache" / "vantora");
  EXPECT_EQ(f.logs, home / ".local" / "state" / "vantora" / "logs");
  EXPECT_EQ(f.videos, home.path());  // no Videos folder yet
  EXPECT_EQ(f.resources, "/opt/x/share/vantora");
  // The Videos folder the desktop names, once it exists.
  std::filesystem::create_directories(home / "Vidéos 日本");
  std::filesystem::create_directories(home / ".config");
  testing::WriteBytes(home / ".config" / "user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Vidéos 日本\"\n");
  EXPECT_EQ(StandardUserFolders(program).videos, home / "Vidéos 日本");
  {
    ScopedEnv x("XDG_CONFIG_HOME", (home / "cfg").c_str());
    ScopedEnv y("XDG_CACHE_HOME", (home / "cch").c_str());
    f = StandardUserFolders(program);
    EXPECT_EQ(f.config, home / "cfg" / "vantora");
    EXPECT_EQ(f.cache, home / "cch" / "vantora");
  }
  ScopedEnv one("VANTORA_HOME", (home / "one").c_str());
  f = StandardUserFolders(program);
  EXPECT_EQ(f.config, home / "one");
  EXPECT_EQ(f.cache, home / "one");
  EXPECT_EQ(f.logs, home / "one" / "logs");
  EXPECT_EQ(f.videos, home / "one");
  EXPECT_EQ(f.resources, "/opt/x/share/vantora");
}

// The login manager's Inhibit as a fake on a private bus: it hands out one
// end of a pipe and keeps the other, so the test sees when the lock ends.
class FakeLoginManager final : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != "Inhibit") return false;
    for (const QVariant& a : message.arguments()) arguments << a.toString();
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
    ::close(ends[1]);
    if (kept >= 0) ::close(kept);
    kept = ends[0];
    return true;
  }
  // Whether every holder of the lock's descriptor has closed it.
  bool Released() const {
    pollfd p{kept, POLLIN, 0};
    return kept >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
  }
  ~FakeLoginManager() override {
    if (kept >= 0) ::close(kept);
  }
  QStringList arguments;
  int kept = -1;
};

TEST_F(WidgetTest, TheSleepLockIsAskedOfTheLoginManagerAndEndsWithRelease) {
  {
    // No bus (as on a build machine): nothing is held and nothing fails.
    LogindInhibitor none(QDBusConnection("never connected"));
    none.Inhibit("Making a DVD");
    EXPECT_FALSE(none.held());
    none.Release();
  }
  QProcess daemon;
  daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
  if (!daemon.waitForStarted(5000)) GTEST_SKIP() << "dbus-daemon is not installed";
  ASSERT_TRUE(daemon.waitForReadyRead(10000));
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  {
    QDBusConnection service = QDBusConnection::connectToBus(address, "login-manager");
    ASSERT_TRUE(service.isConnected());
    FakeLoginManager manager;
    ASSERT_TRUE(service.registerService("org.freedesktop.login1"));
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/login1", &manager));
    {
      LogindInhibitor inhibitor(QDBusConnection::connectToBus(address, "wizard"));
      inhibitor.Inhibit("Making a DVD");
      inhibitor.Inhibit("twice");  // held already: no second lock
      EXPECT_TRUE(QTest::qWaitFor([&] { return inhibitor.held(); }, 10000));
      EXPECT_EQ(manager.arguments, (QStringList{"sleep:idle", "Vantora", "Making a DVD", "block"}));
      EXPECT_FALSE(manager.Released());
      inhibitor.Release();
      EXPECT_FALSE(inhibitor.held());
      EXPECT_TRUE(manager.Released());
      // Let go before the answer came: the lock is dropped on arrival.
      inhibitor.Inhibit("Converting videos for a DVD");
      inhibitor.Release();
      QTest::qWait(300);
      EXPECT_FALSE(inhibitor.held());
      EXPECT_TRUE(QTest::qWaitFor([&] { return manager.Released(); }, 10000));
    }
    QDBusConnection::disconnectFromBus("wizard");
    service.unregisterObject("/org/freedesktop/login1");
  }
  QDBusConnection::disconnectFromBus("login-manager");
  daemon.kill();
  daemon.waitForFinished();
}

}  // namespace
}  // namespace vantora
