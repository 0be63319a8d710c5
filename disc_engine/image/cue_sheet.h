// CUE sheets that describe raw (.bin) images, and the path and time texts
// they are made of. Lines end with CR LF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zephrel {

// mm:ss:ff of a - b (75 frames a second, at least two digits each); a negative
// difference counts as 0.
std::string FormatMsf(std::int64_t a, std::int64_t b);

// path with the extension of its last component replaced by extension (given
// without the dot), or the extension appended when the name has none. Folder
// names are never touched.
std::filesystem::path WithExtension(const std::filesystem::path& path, const std::string& extension);

// The sectors that bytes of track data fill in an image: the one count that
// both the image and its sheet use.
std::uint64_t CdSectorsForBytes(std::uint64_t bytes);

// Sector count of an audio track in the image: its PCM data only (a WAV
// file's header is not part of the track).
std::uint64_t AudioTrackSectors(std::uint64_t pcm_bytes);

// Bytes of sample data in a WAV file: the size of its "data" chunk, cut to
// what the file holds. 0 with error set for a file that cannot be read or is
// not RIFF WAVE.
std::uint64_t WavPcmBytes(const std::filesystem::path& wav, std::string* error);

// What the chunks of a WAV file say: its "fmt " fields (zero when the chunk is
// missing or short) and where its "data" chunk lies.
struct WavLayout {
  std::uint16_t format_tag = 0;  // 1 PCM, 3 float, 0xFFFE extensible ...
  std::uint16_t channels = 0;
  std::uint32_t sample_rate = 0;
  std::uint16_t bits_per_sample = 0;
  std::uint16_t sub_format = 0;  // extensible only: the first two bytes of the sub-format GUID
  bool has_format = false;
  std::uint64_t data_offset = 0;  // first byte of the samples
  std::uint64_t data_bytes = 0;   // cut to what the file holds
};

// Walks the chunks of a RIFF WAVE file. nullopt with error set for a file that
// cannot be read, is not RIFF WAVE or holds no "data" chunk.
std::optional<WavLayout> ReadWavLayout(const std::filesystem::path& wav, std::string* error);

// Whether the last component of image_path may stand in a FILE line (it must
// be non-empty and hold no '"', CR or LF).
bool CueImageNameIsValid(const std::filesystem::path& image_path);

// The sheet of a data image: one Mode 1 track of raw sectors. Written to
// sheet_path, which must not exist. False with error set when the sheet cannot
// be written; nothing is left behind then.
bool WriteDataCueSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                       std::string* error);

// One audio track of an audio image: its PCM bytes in the image and whether
// its source asks for pre-emphasis (WAV files never do).
struct AudioCueTrack {
  std::uint64_t pcm_bytes = 0;
  bool pre_emphasis = false;
};

// The sheet of an audio image whose tracks follow one another, each after the
// first preceded by a 150-sector pregap. Same contract as WriteDataCueSheet.
bool WriteAudioCueSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                        const std::vector<AudioCueTrack>& tracks, std::string* error);

// One track of a whole-disc image (a disc copy or a disc ripped as an image),
// as the source disc's table of contents gives it.
struct DiscCueTrack {
  int number = 1;
  int session = 1;
  std::uint32_t start = 0;  // its first sector in the image (the disc's LBA)
  bool data = false;        // a Mode 1 track; else audio
  bool pre_emphasis = false;
};

// The sheet of a whole-disc image of raw sectors: the medium's name in a REM
// line, a REM SESSION line before the first track of each session, data
// tracks as MODE1/2048 when data_as_2048 (else MODE1/2352), and every track
// after the first with its INDEX 00 150 sectors before its start. Same
// contract as WriteDataCueSheet.
bool WriteDiscCopyCueSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                           const std::string& media_name, const std::vector<DiscCueTrack>& tracks,
                           bool data_as_2048, std::string* error);

// The texts of the sheets (CR LF line ends), for writers and tests.
std::string DataCueSheetText(const std::string& image_name);
std::string AudioCueSheetText(const std::string& image_name, const std::vector<AudioCueTrack>& tracks);
std::string DiscCopyCueSheetText(const std::string& image_name, const std::string& media_name,
                                 const std::vector<DiscCueTrack>& tracks, bool data_as_2048);

}  // namespace zephrel
