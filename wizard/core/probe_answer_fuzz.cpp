// ffprobe's answer is built from the file's own metadata: the reader of that
// answer must hold against any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vantora/media_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto info = vantora::ParseProbeAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  if (info && (info->video_stream < -1 || info->audio_stream < -1 || info->duration < 0)) {
    __builtin_trap();
  }
  return 0;
}
