// Vantora: the DVD-Video wizard. SIGTERM and SIGINT end it as a normal quit
// (the settings are saved, the engines stopped).
//
// For tests, VANTORA_SCREENSHOT=FILE saves the window once it shows and then
// quits normally (it is left out of --help).
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/text.h"
#include "quillon/quillon_ctrl.h"
#include "vantora/cindral_form.h"
#include "vantora/ffmpeg_encoder.h"
#include "vantora/media_probe.h"
#include "vantora/qt_services.h"
#include "vantora/quillon_authoring.h"
#include "vantora/video_list.h"
#include "vantora/zephrel_disc_burner.h"

// Under the leak checker: font and desktop-bus libraries keep caches for the
// life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

// --help and --version answer, and an unknown option is refused, without a
// window (and without a display); the exit status when the program ends here.
std::optional<int> AnswerWithoutWindow(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("vantora");
  QCoreApplication::setApplicationVersion(VANTORA_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Turns video files into a DVD-Video disc, an ISO image or a VIDEO_TS folder.");
  parser.addHelpOption();
  parser.addVersionOption();
  // The toolkit's own options (-platform offscreen, -style ...) are taken by
  // the application object later: known here, left out of the help.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                           "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "display", "name",
                           "session", "style", "stylesheet", "qmljsdebugger"}) {
    QCommandLineOption option(name, "", "value");
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption option(name);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  if (!parser.parse(QCoreApplication::arguments())) {
    std::fprintf(stderr, "vantora: %s\n", qPrintable(parser.errorText()));
    return 1;
  }
  if (parser.isSet("help")) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }
  if (parser.isSet("version")) {
    std::printf("Vantora %s\n", VANTORA_VERSION);
    return 0;
  }
  return std::nullopt;
}

// The icon from the pictures installed beside the program (share/icons),
// else the theme's.
QIcon ProgramIcon(const std::filesystem::path& program_dir) {
  QIcon icon;
  const std::filesystem::path hicolor = program_dir.parent_path() / "share" / "icons" / "hicolor";
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path png = hicolor / name / "apps" / "vantora.png";
    if (std::filesystem::is_regular_file(png)) icon.addFile(QString::fromStdString(png.native()));
  }
  return icon.isNull() ? QIcon::fromTheme("vantora") : icon;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> status = AnswerWithoutWindow(argc, argv)) return *status;

  QApplication app(argc, argv);
  QApplication::setApplicationName("Vantora");
  QApplication::setApplicationVersion(VANTORA_VERSION);
  QGuiApplication::setDesktopFileName("vantora");

  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0) return 1;
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  const std::filesystem::path program_dir = QCoreApplication::applicationDirPath().toStdString();
  QApplication::setWindowIcon(ProgramIcon(program_dir));
  const vantora::UserFolders folders = vantora::StandardUserFolders(program_dir);
  // A settings file of an older version moves to the configuration folder
  // once (not when one folder holds everything).
  const char* one_folder = std::getenv("VANTORA_HOME");
  std::string move_error;
  if ((one_folder == nullptr || *one_folder == '\0') &&
      !vantora::MoveOldConfig(vantora::OldConfigFile(), vantora::ConfigFile(folders.config), folders,
                              &move_error))
    std::fprintf(stderr, "vantora: %s\n", move_error.c_str());
  std::error_code ec;
  std::filesystem::create_directories(folders.config, ec);
  std::filesystem::create_directories(folders.cache, ec);

  const vantora::EncoderTools tools = vantora::FindEncoderTools();
  vantora::FfmpegEncoder encoder(tools);
  // The rows are converted several at once, each lane by an encoder of its own.
  std::vector<std::unique_ptr<vantora::FfmpegEncoder>> lane_encoders;
  for (int lane = 1; lane < vantora::ConversionLanesHere(); ++lane)
    lane_encoders.push_back(std::make_unique<vantora::FfmpegEncoder>(tools));
  vantora::FfmpegPictureClipMaker clip_maker(tools);
  vantora::FfprobeProber prober(tools);
  quillon::CQuillonCtrl quillon;
  vantora::QuillonAuthoring authoring(quillon);
  vantora::SystemLogClock clock;
  vantora::LogindInhibitor inhibitor;

  vantora::FormServices services;
  services.folders = folders;
  services.version = VANTORA_VERSION;
  services.make_burner = [] { return vantora::CreateZephrelDiscBurner(); };
  services.authoring = &authoring;
  services.encoder = &encoder;
  for (const auto& e : lane_encoders) services.extra_encoders.push_back(e.get());
  services.clip_maker = &clip_maker;
  services.clock = &clock;
  services.inhibitor = &inhibitor;
  services.prober = &prober;

  vantora::CindralForm form(std::move(services));
  QSocketNotifier notifier(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &form, [&] {
    char byte;
    [[maybe_unused]] ssize_t n = ::read(g_signal_pipe[0], &byte, 1);
    form.controller().Terminate();
  });
  form.show();
  if (const char* shot = std::getenv("VANTORA_SCREENSHOT"); shot != nullptr && *shot != '\0') {
    QTimer::singleShot(500, &form, [&form, shot] {
      if (!form.grab().save(QString::fromUtf8(shot))) std::fprintf(stderr, "vantora: cannot save %s\n", shot);
      form.controller().Terminate();
    });
  }
  return app.exec();
}
