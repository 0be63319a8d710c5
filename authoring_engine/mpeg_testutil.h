// Test helpers: small MPEG-2 program streams made with ffmpeg in a scratch
// folder, and synthetic DVD packs built byte by byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace morvix::testing {

// A scratch folder removed when the test process ends.
const std::filesystem::path& ScratchDir();

// Runs a program (no shell) with its output discarded; true when it exits with 0.
bool RunQuiet(std::vector<std::string> argv);

// Runs ffmpeg with args (already split; no shell) writing out; returns the
// path, or an empty path when ffmpeg failed. Results are cached by name.
std::filesystem::path MakeClip(const std::string& name, const std::vector<std::string>& args);

// Shared clip from the generated test media, or empty when absent.
std::filesystem::path SharedClip(const std::string& name);

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& data);

// Number of packs that start with a system header (navigation packs).
int CountNavPacks(const std::vector<std::uint8_t>& data);

// Synthetic packs.
std::vector<std::uint8_t> NavPack();
// A video pack whose packet carries payload (padded with a padding packet);
// pts < 0 writes no PTS.
std::vector<std::uint8_t> VideoPack(const std::vector<std::uint8_t>& payload, std::int64_t pts);
// An audio pack: stream id (0xBD for private stream 1, 0xC0.. for MPEG) with payload.
std::vector<std::uint8_t> AudioPack(std::uint8_t stream_id, const std::vector<std::uint8_t>& payload);
// Elementary-stream pieces.
std::vector<std::uint8_t> SequenceHeader(int width, int height, int aspect_code, int frame_rate_code);
std::vector<std::uint8_t> PictureHeader(int temporal_reference, int type);
// Picture coding extension: picture_structure (3 = frame) and repeat_first_field.
std::vector<std::uint8_t> PictureCodingExtension(int structure, bool repeat_first_field);

// pal_43.mpg looped into a DVD program stream of more than 1 GiB, made once in
// the scratch folder; empty when the clips are missing or ffmpeg fails.
std::filesystem::path ClipOverOneGib(const std::string& name);
// Peak resident memory of this process so far, in KiB.
long PeakRssKib();

}  // namespace morvix::testing
