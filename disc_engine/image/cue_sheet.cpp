#include "image/cue_sheet.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "image/raw_sector.h"
#include "platform/byte_order.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace zephrel {

using platform::GetLe16;
using platform::GetLe32;

namespace {

constexpr const char* kEol = "\r\n";

std::string FileLine(const std::string& image_name) { return "FILE \"" + image_name + "\" BINARY" + kEol; }

bool WriteSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                const std::string& text, std::string* error) {
  if (!CueImageNameIsValid(image_path)) {
    *error =
        "The image name " + platform::PathToUtf8(image_path.filename()) + " cannot stand in a CUE sheet.";
    return false;
  }
  platform::FileError fe;
  platform::File file = platform::File::Open(sheet_path, platform::File::Mode::kCreateExclusive, &fe);
  if (!file.is_open()) {
    *error = fe.message;
    return false;
  }
  if (!file.WriteAll(text.data(), text.size(), &fe) || !file.Close(&fe)) {
    *error = fe.message;
    std::error_code ec;
    std::filesystem::remove(sheet_path, ec);
    return false;
  }
  return true;
}

}  // namespace

std::string FormatMsf(std::int64_t a, std::int64_t b) {
  std::int64_t d = a - b;
  if (d < 0) d = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(d / 4500),
                static_cast<long long>((d / 75) % 60), static_cast<long long>(d % 75));
  return text;
}

std::filesystem::path WithExtension(const std::filesystem::path& path, const std::string& extension) {
  std::filesystem::path result = path;
  std::string name = platform::PathToUtf8(path.filename());
  const std::size_t dot = name.rfind('.');
  // A leading dot starts a hidden name, not an extension.
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  result.replace_filename(name + "." + extension);
  return result;
}

std::uint64_t CdSectorsForBytes(std::uint64_t bytes) {
  return (bytes + kCdRawSectorSize - 1) / kCdRawSectorSize;
}

std::uint64_t AudioTrackSectors(std::uint64_t pcm_bytes) { return CdSectorsForBytes(pcm_bytes); }

std::uint64_t WavPcmBytes(const std::filesystem::path& wav, std::string* error) {
  const std::optional<WavLayout> layout = ReadWavLayout(wav, error);
  return layout ? layout->data_bytes : 0;
}

std::optional<WavLayout> ReadWavLayout(const std::filesystem::path& wav, std::string* error) {
  platform::FileError fe;
  platform::File file = platform::File::Open(wav, platform::File::Mode::kRead, &fe);
  if (!file.is_open()) {
    *error = fe.message;
    return std::nullopt;
  }
  const std::optional<std::uint64_t> size = file.Size(&fe);
  unsigned char riff[12];
  if (!size || file.ReadFullyAt(riff, 12, 0, &fe) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    *error = "Not a WAV file: " + platform::PathToUtf8(wav);
    return std::nullopt;
  }
  WavLayout layout;
  std::uint64_t at = 12;
  while (at + 8 <= *size) {
    unsigned char chunk[8];
    if (file.ReadFullyAt(chunk, 8, at, &fe) != 8) break;
    const std::uint64_t length = GetLe32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !layout.has_format && length >= 16) {
      unsigned char fmt[26] = {};
      const std::size_t got = file.ReadFullyAt(fmt, std::min<std::uint64_t>(length, sizeof fmt), at + 8, &fe);
      if (got >= 16) {
        layout.has_format = true;
        layout.format_tag = GetLe16(fmt);
        layout.channels = GetLe16(fmt + 2);
        layout.sample_rate = GetLe32(fmt + 4);
        layout.bits_per_sample = GetLe16(fmt + 14);
        if (got >= 26) layout.sub_format = GetLe16(fmt + 24);
      }
    }
    if (std::memcmp(chunk, "data", 4) == 0) {
      layout.data_offset = at + 8;
      layout.data_bytes = std::min<std::uint64_t>(length, *size - (at + 8));
      return layout;
    }
    at += 8 + length + (length & 1);
  }
  *error = "The WAV file holds no sample data: " + platform::PathToUtf8(wav);
  return std::nullopt;
}

bool CueImageNameIsValid(const std::filesystem::path& image_path) {
  const std::string name = platform::PathToUtf8(image_path.filename());
  return !name.empty() && name.find_first_of("\"\r\n") == std::string::npos;
}

std::string DataCueSheetText(const std::string& image_name) {
  return FileLine(image_name) + "  TRACK 01 MODE1/2352" + kEol + "    INDEX 01 00:00:00" + kEol;
}

std::string AudioCueSheetText(const std::string& image_name, const std::vector<AudioCueTrack>& tracks) {
  std::string text = FileLine(image_name);
  std::uint64_t position = 0;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    text += "  TRACK " + std::to_string(i + 1) + " AUDIO" + kEol;
    if (tracks[i].pre_emphasis) text += std::string("    FLAGS PRE") + kEol;
    if (i == 0) {
      text += std::string("    INDEX 01 00:00:00") + kEol;
    } else {
      const auto p = static_cast<std::int64_t>(position);
      text += "    INDEX 00 " + FormatMsf(p, 150) + kEol;
      text += "    INDEX 01 " + FormatMsf(p, 0) + kEol;
    }
    position += AudioTrackSectors(tracks[i].pcm_bytes) + 150;
  }
  return text;
}

std::string DiscCopyCueSheetText(const std::string& image_name, const std::string& media_name,
                                 const std::vector<DiscCueTrack>& tracks, bool data_as_2048) {
  std::string text = FileLine(image_name) + "REM ORIGINAL MEDIA-TYPE: " + media_name + kEol;
  int session = 0;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const DiscCueTrack& t = tracks[i];
    if (t.session > session) {
      session = t.session;
      text += "  REM SESSION " + std::to_string(session) + kEol;
    }
    text += "    TRACK " + std::to_string(t.number) +
            (t.data ? std::string(" MODE1/") + (data_as_2048 ? "2048" : "2352") : std::string(" AUDIO")) +
            kEol;
    if (!t.data && t.pre_emphasis) text += std::string("      FLAGS PRE") + kEol;
    if (i == 0) {
      text += std::string("      INDEX 01 00:00:00") + kEol;
    } else {
      const auto p = static_cast<std::int64_t>(t.start);
      text += "      INDEX 00 " + FormatMsf(p, 150) + kEol;
      text += "      INDEX 01 " + FormatMsf(p, 0) + kEol;
    }
  }
  return text;
}

bool WriteDataCueSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                       std::string* error) {
  return WriteSheet(image_path, sheet_path, DataCueSheetText(platform::PathToUtf8(image_path.filename())),
                    error);
}

bool WriteAudioCueSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                        const std::vector<AudioCueTrack>& tracks, std::string* error) {
  return WriteSheet(image_path, sheet_path,
                    AudioCueSheetText(platform::PathToUtf8(image_path.filename()), tracks), error);
}

bool WriteDiscCopyCueSheet(const std::filesystem::path& image_path, const std::filesystem::path& sheet_path,
                           const std::string& media_name, const std::vector<DiscCueTrack>& tracks,
                           bool data_as_2048, std::string* error) {
  return WriteSheet(
      image_path, sheet_path,
      DiscCopyCueSheetText(platform::PathToUtf8(image_path.filename()), media_name, tracks, data_as_2048),
      error);
}

}  // namespace zephrel
