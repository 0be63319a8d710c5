// Vantora: the DVD-Video wizard. SIGTERM and SIGINT end it as a normal quit
// (the settings are saved, the engines stopped).
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "quillon/quillon_ctrl.h"
#include "vantora/cindral_form.h"
#include "vantora/ffmpeg_encoder.h"
#include "vantora/media_probe.h"
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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Vantora");

  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0) return 1;
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  const std::filesystem::path program_folder = vantora::ProgramFolder();
  std::error_code ec;
  std::filesystem::create_directories(program_folder, ec);

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

  vantora::FormServices services;
  services.program_folder = program_folder;
  services.version = VANTORA_VERSION;
  services.make_burner = [] { return vantora::CreateZephrelDiscBurner(); };
  services.authoring = &authoring;
  services.encoder = &encoder;
  for (const auto& e : lane_encoders) services.extra_encoders.push_back(e.get());
  services.clip_maker = &clip_maker;
  services.clock = &clock;
  services.prober = &prober;

  vantora::CindralForm form(std::move(services));
  QSocketNotifier notifier(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &form, [&] {
    char byte;
    [[maybe_unused]] ssize_t n = ::read(g_signal_pipe[0], &byte, 1);
    form.controller().Terminate();
  });
  form.show();
  return app.exec();
}
