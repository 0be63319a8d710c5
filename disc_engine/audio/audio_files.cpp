#include "audio/audio_files.h"

#include <cstring>

#include "image/raw_sector.h"
#include "platform/byte_order.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace zephrel {
namespace {

namespace fmt = audio_format;

using platform::PutLe16;
using platform::PutLe32;

std::string FormatText(const WavLayout& w) {
  std::string kind;
  if (w.format_tag == fmt::kWavFormatPcm) {
    kind = "PCM";
  } else if (w.format_tag == fmt::kWavFormatExtensible) {
    kind = w.sub_format == fmt::kWavFormatPcm ? "PCM" : "extensible format " + std::to_string(w.sub_format);
  } else if (w.format_tag == 3) {
    kind = "floating point";
  } else {
    kind = "format " + std::to_string(w.format_tag);
  }
  return std::to_string(w.sample_rate) + " Hz, " + std::to_string(w.channels) + " channel" +
         (w.channels == 1 ? "" : "s") + ", " + std::to_string(w.bits_per_sample) + "-bit " + kind;
}

void PutText(std::uint8_t* field, const std::string& text, std::size_t width) {
  const std::string cut = platform::CutUtf8(text, width);
  std::memcpy(field, cut.data(), cut.size());
}

}  // namespace

std::optional<WavLayout> ReadCdAudioWav(const std::filesystem::path& path, std::string* error) {
  if (!platform::IsRegularFile(path)) {
    *error = "The WAV file " + platform::PathToUtf8(path) + " cannot be opened: it is not a regular file.";
    return std::nullopt;
  }
  std::string why;
  std::optional<WavLayout> layout = ReadWavLayout(path, &why);
  if (!layout) {
    *error = "The WAV file " + platform::PathToUtf8(path) + " cannot be read: " + why;
    return std::nullopt;
  }
  const bool pcm =
      layout->format_tag == fmt::kWavFormatPcm ||
      (layout->format_tag == fmt::kWavFormatExtensible && layout->sub_format == fmt::kWavFormatPcm);
  if (!layout->has_format || !pcm || layout->sample_rate != fmt::kCdSampleRate ||
      layout->channels != fmt::kCdChannels || layout->bits_per_sample != fmt::kCdBitsPerSample) {
    *error = "The WAV file " + platform::PathToUtf8(path) +
             " is not CD audio (44100 Hz, 2 channels, 16-bit PCM): " +
             (layout->has_format ? "it holds " + FormatText(*layout) : "it has no format chunk");
    return std::nullopt;
  }
  if (layout->data_bytes == 0) {
    *error = "The WAV file " + platform::PathToUtf8(path) + " holds no sound: its data chunk is empty.";
    return std::nullopt;
  }
  return layout;
}

std::array<std::uint8_t, fmt::kWavHeaderSize> WavHeader(std::uint64_t sectors) {
  std::array<std::uint8_t, fmt::kWavHeaderSize> h{};
  const auto data = static_cast<std::uint32_t>(sectors * kCdRawSectorSize);
  std::memcpy(&h[fmt::kWavRiffId], "RIFF", 4);
  PutLe32(&h[fmt::kWavRiffSize], 36 + data);
  std::memcpy(&h[fmt::kWavWaveId], "WAVE", 4);
  std::memcpy(&h[fmt::kWavFmtId], "fmt ", 4);
  PutLe32(&h[fmt::kWavFmtSize], 16);
  PutLe16(&h[fmt::kWavFormatTag], fmt::kWavFormatPcm);
  PutLe16(&h[fmt::kWavChannels], fmt::kCdChannels);
  PutLe32(&h[fmt::kWavSampleRate], fmt::kCdSampleRate);
  PutLe32(&h[fmt::kWavByteRate], fmt::kCdBytesPerSecond);
  PutLe16(&h[fmt::kWavBlockAlign], fmt::kCdBlockAlign);
  PutLe16(&h[fmt::kWavBitsPerSample], fmt::kCdBitsPerSample);
  std::memcpy(&h[fmt::kWavDataId], "data", 4);
  PutLe32(&h[fmt::kWavDataSize], data);
  return h;
}

bool WriteWavHeader(const std::filesystem::path& path, std::uint64_t sectors, std::string* error) {
  platform::FileError fe;
  platform::File file = platform::File::Open(path, platform::File::Mode::kCreateTruncate, &fe);
  const auto header = WavHeader(sectors);
  if (!file.is_open() || !file.WriteAll(header.data(), header.size(), &fe) || !file.Close(&fe)) {
    *error = fe.message;
    return false;
  }
  return true;
}

std::array<std::uint8_t, fmt::kId3v1Size> Id3v1Bytes(const Id3v1Tag& tag) {
  std::array<std::uint8_t, fmt::kId3v1Size> t{};
  std::memcpy(t.data(), "TAG", 3);
  PutText(&t[fmt::kId3v1Title], tag.title, fmt::kId3v1TextWidth);
  PutText(&t[fmt::kId3v1Artist], tag.artist, fmt::kId3v1TextWidth);
  PutText(&t[fmt::kId3v1Album], tag.album, fmt::kId3v1TextWidth);
  PutText(&t[fmt::kId3v1Year], tag.year, fmt::kId3v1YearWidth);
  PutText(&t[fmt::kId3v1Comment], tag.comment, fmt::kId3v1TextWidth);
  t[fmt::kId3v1Genre] = tag.genre;
  return t;
}

bool WriteId3v1Tag(const std::filesystem::path& path, const Id3v1Tag& tag, std::string* error) {
  if (path.empty()) {
    *error = "No MP3 file was given for the tag.";
    return false;
  }
  if (!platform::IsRegularFile(path)) {
    *error = "The MP3 file " + platform::PathToUtf8(path) + " cannot be tagged: it is not a regular file.";
    return false;
  }
  platform::FileError fe;
  platform::File file = platform::File::Open(path, platform::File::Mode::kReadWrite, &fe);
  std::optional<std::uint64_t> size;
  if (file.is_open()) size = file.Size(&fe);
  if (!size) {
    *error = fe.message;
    return false;
  }
  std::uint64_t at = *size;
  if (*size >= fmt::kId3v1Size) {
    char mark[3] = {};
    if (file.ReadFullyAt(mark, 3, *size - fmt::kId3v1Size, &fe) == 3 && std::memcmp(mark, "TAG", 3) == 0) {
      at = *size - fmt::kId3v1Size;
    } else if (fe) {
      *error = fe.message;
      return false;
    }
  }
  const auto bytes = Id3v1Bytes(tag);
  if (!file.WriteAllAt(bytes.data(), bytes.size(), at, &fe) || !file.Close(&fe)) {
    *error = fe.message;
    return false;
  }
  return true;
}

}  // namespace zephrel
