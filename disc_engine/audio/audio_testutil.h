// Helpers for the audio tests: WAV files of any format, and reading files back.
#pragma once

#include <cstdint>
#include <string>

#include "image/iso9660_testutil.h"

namespace zephrel::testing {

// A WAV file below dir: a "fmt " chunk with the given fields (format 0xFFFE
// gets the extensible fields with sub_format), an optional LIST chunk before
// the data, and pcm as its data.
std::string MakeWav(const TempDir& dir, const std::string& name, const std::string& pcm,
                    std::uint16_t format = 1, std::uint16_t channels = 2, std::uint32_t rate = 44100,
                    std::uint16_t bits = 16, bool list_chunk = false, std::uint16_t sub_format = 1);

// Deterministic PCM bytes (not silence).
std::string PatternPcm(std::size_t bytes, unsigned seed = 1);

std::string ReadWholeFile(const std::string& path);

}  // namespace zephrel::testing
