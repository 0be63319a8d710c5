// Checks that a file is an MPEG-2 program stream laid out for DVD-Video:
// whole 2048-byte packs, each starting with a pack header, a navigation pack
// (PCI and DSI) first and at the start of every video object unit, and an
// MPEG-2 video sequence header. Reads the file once, front to back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/sector.h"

namespace vantora {

inline constexpr std::uint32_t kDvdPackSize = platform::kSectorSize;

struct SequenceHeader {
  int width = 0;
  int height = 0;
  int aspect_code = 0;      // 2 = 4:3, 3 = 16:9
  int frame_rate_code = 0;  // 3 = 25, 4 = 30000/1001
  bool operator==(const SequenceHeader&) const = default;
};

struct DvdStreamReport {
  bool ok = false;
  std::string problem;  // why the file is not a DVD program stream
  std::uint64_t packs = 0;
  std::uint64_t nav_packs = 0;
  std::uint64_t video_packs = 0;
  std::uint64_t audio_packs = 0;  // AC-3 (private stream 1) and MPEG audio
  std::uint64_t sequence_headers = 0;
  SequenceHeader first_sequence;  // of the first sequence header
};

DvdStreamReport CheckDvdProgramStream(const std::filesystem::path& file);

}  // namespace vantora
