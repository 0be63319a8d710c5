// Burning an image file: an ISO image of 2048-byte sectors, or a raw image of
// 2352-byte (Mode 1, Mode 2 Form 1) or 2336-byte sectors, recognised by its
// volume descriptor; its user data is fed through the sector FIFO to the
// drive writer from the disc's next writable address, padded with zeros to a
// whole block, and closed as the medium needs. The job ends with
// BurnerOnEndBurn(1, cancel, error).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "jobs/job_runner.h"
#include "platform/fileio.h"

namespace zephrel {

// BurnerOnError number: the file is not an image of a known format.
inline constexpr std::int32_t kErrorImageFormat = 1055;
// OnBuildingProcess status at the start of the image burn.
inline constexpr std::int32_t kStatusImageBurnStart = 201;

struct ImageFormat {
  std::size_t sector_bytes = 2048;
  std::size_t user_data_at = 0;
  std::uint64_t descriptor_offset = 0;  // of the primary volume descriptor's user data
};

// Reads the volume descriptor at each known offset of file in turn;
// the first that reads "CD001" or "cd001" fixes the format. The descriptor's
// 2048 bytes are left in descriptor.
std::optional<ImageFormat> DetectImageFormat(platform::File& file, std::span<std::uint8_t, 2048> descriptor);

struct ImageBurnSettings {
  bool burn_proof = false;
  bool simulate = false;
};

void BurnImage(Job& job, const std::filesystem::path& image, const ImageBurnSettings& settings);

}  // namespace zephrel
