// Fuzz target: arbitrary bytes as an input program stream. The whole packs
// form the file; a tail of 8 or more bytes past the last whole pack chooses
// the analysis options (menu flag, chapters, a small part size).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "mpeg_analysis.h"

namespace {

int MemoryFile() {
  static const int fd = ::memfd_create("mpeg_analysis_fuzz", 0);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = MemoryFile();
  if (fd < 0) return 0;
  std::size_t file_size = size;
  morvix::AnalysisRequest request;
  std::uint64_t part_bytes = 0;
  const std::size_t tail = size % 2048;
  if (tail >= 8) {
    const std::uint8_t* t = data + size - tail;
    file_size = size - tail;
    request.menu = (t[0] & 1) != 0;
    request.main_menu = (t[0] & 2) != 0;
    request.chapter_count = t[1] % 6;
    for (int c = 0; c < request.chapter_count; ++c) {
      request.chapter_starts.push_back(c == 0 ? 0.0 : static_cast<double>(t[2 + c % 6]) / 16.0 * c);
    }
    part_bytes = (t[7] % 8) * 2048ULL;
  }
  if (::ftruncate(fd, 0) != 0) return 0;
  if (file_size > 0 && ::pwrite(fd, data, file_size, 0) != static_cast<ssize_t>(file_size)) return 0;
  morvix::MpegFile file("/proc/self/fd/" + std::to_string(fd));
  if (part_bytes > 0) file.set_part_bytes_for_testing(part_bytes);
  morvix::ErrorContext error;
  const morvix::Status status = file.Analyse(request, error);
  if (status == morvix::kOk) {
    // Results must be consistent: every pack belongs to exactly one VOBU.
    std::int64_t next = 0;
    for (const morvix::Cell& cell : file.cells()) {
      for (const morvix::Vobu& v : cell.vobus) {
        if (v.first_pack != next || v.last_pack < v.first_pack) __builtin_trap();
        next = v.last_pack + 1;
      }
    }
    if (static_cast<std::uint64_t>(next) * 2048 != file.length()) __builtin_trap();
    if (file.part_count() > morvix::MpegFile::kMaxParts) __builtin_trap();
  } else if (status != morvix::kStopped && file.cell_count() != -1) {
    __builtin_trap();
  }
  return 0;
}
