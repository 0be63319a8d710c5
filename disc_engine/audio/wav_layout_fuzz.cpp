// WAV files come from the user: their chunks are walked before a burn or an
// image, and the CD-audio check reads the format chunk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/audio_files.h"
#include "audio/audio_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int fd = ::memfd_create("wav", 0);
  if (fd < 0) return 0;
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  std::string error;
  zephrel::ReadWavLayout(path, &error);
  int failed = 0;
  if (auto sources = zephrel::SizeAudioSources({path}, &failed, &error)) {
    zephrel::AudioSourceReader reader;
    std::uint8_t block[zephrel::kAudioBlockSectors * 2352];
    if (reader.Open((*sources)[0], &error)) {
      const std::uint64_t n = std::min<std::uint64_t>((*sources)[0].sectors, zephrel::kAudioBlockSectors);
      reader.Read(0, n, block, &error);
    }
  }
  return 0;
}
