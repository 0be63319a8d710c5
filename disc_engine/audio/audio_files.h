// The audio files of the disc engine: the CD-audio check of a WAV file that is
// to be burned or imaged, the 44-byte header of a ripped WAV file, and the
// ID3v1 tag of a ripped MP3 file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "audio/audio_file_format.h"
#include "image/cue_sheet.h"

namespace zephrel {

// The WAV file at path if it holds CD audio: PCM (plain or extensible),
// 44100 Hz, 2 channels, 16 bits. nullopt with error set otherwise, the text
// naming the file and, for a readable WAV of another kind, its format. Only
// regular files are opened (a FIFO or a device never blocks the check).
std::optional<WavLayout> ReadCdAudioWav(const std::filesystem::path& path, std::string* error);

// The header of a WAV file whose data is sectors raw CD sectors.
std::array<std::uint8_t, audio_format::kWavHeaderSize> WavHeader(std::uint64_t sectors);

// Creates path (an existing file is replaced) holding the header of a track of
// sectors sectors. False with error set when it cannot be created or written.
bool WriteWavHeader(const std::filesystem::path& path, std::uint64_t sectors, std::string* error);

// The texts of an ID3v1 tag, UTF-8; each is cut to its field's width on a
// character boundary.
struct Id3v1Tag {
  std::string title, artist, album, year, comment;
  std::uint8_t genre = 0;
};

std::array<std::uint8_t, audio_format::kId3v1Size> Id3v1Bytes(const Id3v1Tag& tag);

// Writes the tag at the end of the existing file at path, over the tag the
// file already ends with, if any (the file does not grow then). False with
// error set for an empty path, a file that cannot be opened, or a failed write.
bool WriteId3v1Tag(const std::filesystem::path& path, const Id3v1Tag& tag, std::string* error);

}  // namespace zephrel
