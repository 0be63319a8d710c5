#include "mpeg_testutil.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "dvd_checks.h"
#include "testing/temp_folder.h"

namespace morvix::testing {
namespace {

void PutPackHeader(std::vector<std::uint8_t>& p) {
  const std::uint8_t header[14] = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8};
  std::copy(header, header + 14, p.begin());
}

void PutPacket(std::vector<std::uint8_t>& p, std::size_t at, std::uint8_t id, std::size_t length) {
  p[at] = 0;
  p[at + 1] = 0;
  p[at + 2] = 1;
  p[at + 3] = id;
  p[at + 4] = static_cast<std::uint8_t>(length >> 8);
  p[at + 5] = static_cast<std::uint8_t>(length);
}

// A PES packet with payload at 14, then a padding packet filling the pack.
std::vector<std::uint8_t> PesPack(std::uint8_t id, const std::vector<std::uint8_t>& payload,
                                  std::int64_t pts) {
  std::vector<std::uint8_t> p(2048, 0xFF);
  PutPackHeader(p);
  const std::size_t header = pts >= 0 ? 5 : 0;
  const std::size_t length = 3 + header + payload.size();
  PutPacket(p, 14, id, length);
  p[20] = 0x81;
  p[21] = pts >= 0 ? 0x80 : 0x00;
  p[22] = static_cast<std::uint8_t>(header);
  if (pts >= 0) {
    p[23] = static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0E));
    p[24] = static_cast<std::uint8_t>(pts >> 22);
    p[25] = static_cast<std::uint8_t>(((pts >> 14) & 0xFE) | 1);
    p[26] = static_cast<std::uint8_t>(pts >> 7);
    p[27] = static_cast<std::uint8_t>(((pts << 1) & 0xFE) | 1);
  }
  std::copy(payload.begin(), payload.end(), p.begin() + 23 + static_cast<std::ptrdiff_t>(header));
  const std::size_t end = 20 + length;
  if (end + 6 <= 2048) PutPacket(p, end, 0xBE, 2048 - end - 6);
  return p;
}

}  // namespace

const std::filesystem::path& ScratchDir() {
  static const vantora::testing::TempFolder scratch("morvix-mpeg");
  return scratch.path();
}

bool RunQuiet(std::vector<std::string> argv) { return dvdcheck::RunTool(argv) == 0; }

std::filesystem::path MakeClip(const std::string& name, const std::vector<std::string>& args) {
  static std::map<std::string, std::filesystem::path> made;
  if (auto it = made.find(name); it != made.end()) return it->second;
  const std::filesystem::path out = ScratchDir() / name;
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "quiet", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(out.string());
  const std::filesystem::path result = RunQuiet(std::move(argv)) ? out : std::filesystem::path{};
  made[name] = result;
  return result;
}

std::filesystem::path SharedClip(const std::string& name) {
  const char* dir = std::getenv("VANTORA_TEST_MEDIA");
  if (dir == nullptr || *dir == 0) return {};
  std::filesystem::path p = std::filesystem::path(dir) / name;
  return std::filesystem::exists(p) ? p : std::filesystem::path{};
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

int CountNavPacks(const std::vector<std::uint8_t>& data) {
  int n = 0;
  for (std::size_t at = 0; at + 2048 <= data.size(); at += 2048) {
    if (data[at + 14] == 0 && data[at + 15] == 0 && data[at + 16] == 1 && data[at + 17] == 0xBB) ++n;
  }
  return n;
}

std::vector<std::uint8_t> NavPack() {
  std::vector<std::uint8_t> p(2048, 0);
  PutPackHeader(p);
  PutPacket(p, 14, 0xBB, 18);
  // Buffer bounds of all video streams, audio, private stream 1 and 2.
  const std::uint8_t entries[] = {0xB9, 0xE0, 0xE6, 0xB8, 0xC0, 0x20, 0xBD, 0xC0, 0x00, 0xBF, 0xE0, 0x02};
  std::copy(std::begin(entries), std::end(entries), p.begin() + 26);
  PutPacket(p, 38, 0xBF, 0x3D4);
  PutPacket(p, 1024, 0xBF, 0x3FA);
  p[1030] = 1;
  return p;
}

std::vector<std::uint8_t> VideoPack(const std::vector<std::uint8_t>& payload, std::int64_t pts) {
  return PesPack(0xE0, payload, pts);
}

std::vector<std::uint8_t> AudioPack(std::uint8_t stream_id, const std::vector<std::uint8_t>& payload) {
  return PesPack(stream_id, payload, -1);
}

std::vector<std::uint8_t> SequenceHeader(int width, int height, int aspect_code, int frame_rate_code) {
  return {0,
          0,
          1,
          0xB3,
          static_cast<std::uint8_t>(width >> 4),
          static_cast<std::uint8_t>((width & 0xF) << 4 | height >> 8),
          static_cast<std::uint8_t>(height),
          static_cast<std::uint8_t>(aspect_code << 4 | frame_rate_code),
          0xFF,
          0xFF,
          0xE0,
          0x18};
}

std::vector<std::uint8_t> PictureHeader(int temporal_reference, int type) {
  return {0,
          0,
          1,
          0,
          static_cast<std::uint8_t>(temporal_reference >> 2),
          static_cast<std::uint8_t>((temporal_reference & 3) << 6 | type << 3),
          0xFF,
          0xF8};
}

std::vector<std::uint8_t> PictureCodingExtension(int structure, bool repeat_first_field) {
  return {0,
          0,
          1,
          0xB5,
          0x8F,
          0xFF,
          static_cast<std::uint8_t>(0xF0 | structure),
          static_cast<std::uint8_t>(0x80 | (repeat_first_field ? 0x02 : 0)),
          0x80};
}

std::filesystem::path ClipOverOneGib(const std::string& name) {
  const auto clip = SharedClip("pal_43.mpg");
  if (clip.empty()) return {};
  const std::uint64_t clip_bytes = std::filesystem::file_size(clip);
  const auto loops = static_cast<int>(0x40000000ULL / clip_bytes + 8);
  return MakeClip(name,
                  {"-stream_loop", std::to_string(loops), "-i", clip.string(), "-c", "copy", "-f", "dvd"});
}

long PeakRssKib() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace morvix::testing
