// Information-file headers of DVD-Video sets come from the user's folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/dvd_video_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool manager = data[0] & 1;
  std::vector<std::uint8_t> head(2048, 0);
  const std::size_t head_bytes = std::min<std::size_t>(size - 1, head.size());
  std::copy(data + 1, data + 1 + head_bytes, head.begin());
  // Most inputs get a valid signature, so the fields behind it are reached.
  if (data[0] & 2) std::memcpy(head.data(), manager ? "DVDVIDEO-VMG" : "DVDVIDEO-VTS", 12);
  zephrel::ParseDeclaredDvdSet(head, {data + 1 + head_bytes, size - 1 - head_bytes}, manager);
  zephrel::DvdVideoFileRank(
      std::string(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 16)));
  return 0;
}
