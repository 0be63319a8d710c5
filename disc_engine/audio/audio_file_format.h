// On-disc layouts of the audio files the ripper writes and the burner reads:
// the 44-byte header of a CD-audio WAV file and the 128-byte ID3v1 tag at the
// end of an MP3 file. All WAV fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zephrel::audio_format {

// CD audio: 44100 Hz, 2 channels of 16-bit samples.
inline constexpr std::uint32_t kCdSampleRate = 44100;
inline constexpr std::uint16_t kCdChannels = 2;
inline constexpr std::uint16_t kCdBitsPerSample = 16;
inline constexpr std::uint32_t kCdBytesPerSecond = 176400;
inline constexpr std::uint16_t kCdBlockAlign = 4;

// WAV header of a ripped track.
inline constexpr std::size_t kWavHeaderSize = 44;
inline constexpr std::size_t kWavRiffId = 0;          // "RIFF"
inline constexpr std::size_t kWavRiffSize = 4;        // 36 + data size
inline constexpr std::size_t kWavWaveId = 8;          // "WAVE"
inline constexpr std::size_t kWavFmtId = 12;          // "fmt "
inline constexpr std::size_t kWavFmtSize = 16;        // 16
inline constexpr std::size_t kWavFormatTag = 20;      // 1 (PCM)
inline constexpr std::size_t kWavChannels = 22;       // 2
inline constexpr std::size_t kWavSampleRate = 24;     // 44100
inline constexpr std::size_t kWavByteRate = 28;       // 176400
inline constexpr std::size_t kWavBlockAlign = 32;     // 4
inline constexpr std::size_t kWavBitsPerSample = 34;  // 16
inline constexpr std::size_t kWavDataId = 36;         // "data"
inline constexpr std::size_t kWavDataSize = 40;       // sectors x 2352

// Format tags of the "fmt " chunk.
inline constexpr std::uint16_t kWavFormatPcm = 1;
inline constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;

// ID3v1 tag: text fields are zero-padded and cut to their width.
inline constexpr std::size_t kId3v1Size = 128;
inline constexpr std::size_t kId3v1Title = 3;  // after "TAG"
inline constexpr std::size_t kId3v1Artist = 33;
inline constexpr std::size_t kId3v1Album = 63;
inline constexpr std::size_t kId3v1Year = 93;
inline constexpr std::size_t kId3v1Comment = 97;
inline constexpr std::size_t kId3v1Genre = 127;
inline constexpr std::size_t kId3v1TextWidth = 30;
inline constexpr std::size_t kId3v1YearWidth = 4;

}  // namespace zephrel::audio_format
