#include "audio/audio_testutil.h"

#include <fstream>
#include <sstream>

namespace zephrel::testing {
namespace {

std::string Le16(std::uint32_t v) { return {char(v), char(v >> 8)}; }
std::string Le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

}  // namespace

std::string MakeWav(const TempDir& dir, const std::string& name, const std::string& pcm, std::uint16_t format,
                    std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, bool list_chunk,
                    std::uint16_t sub_format) {
  const std::uint32_t align = channels * bits / 8;
  std::string fmt =
      Le16(format) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) + Le16(bits);
  if (format == 0xFFFE) {
    fmt += Le16(22) + Le16(bits) + Le32(3) + Le16(sub_format) +
           std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  }
  std::string body = "WAVEfmt " + Le32(static_cast<std::uint32_t>(fmt.size())) + fmt;
  if (list_chunk) body += "LIST" + Le32(13) + std::string("INFOISFT\x01\x00\x00\x00x\0", 14);
  body += "data" + Le32(static_cast<std::uint32_t>(pcm.size())) + pcm;
  if (pcm.size() & 1) body += '\0';
  return dir.WriteFile(name, "RIFF" + Le32(static_cast<std::uint32_t>(body.size())) + body);
}

std::string PatternPcm(std::size_t bytes, unsigned seed) {
  std::string pcm(bytes, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : pcm) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return pcm;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace zephrel::testing
