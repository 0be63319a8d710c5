#include "audio/disc_testutil.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "audio/audio_files.h"
#include "platform/emulated_drive.h"

namespace zephrel::testing {

std::vector<TrackRecord> RecordsOf(const CdToc& toc) {
  std::vector<TrackRecord> records;
  for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
    const CdTocTrack& t = toc.tracks[i];
    TrackRecord r;
    r.start = r.toc_start = t.start;
    r.start_minute = t.start / 4500;
    r.start_second = t.start % 4500 / 75;
    r.start_frame = t.start % 75;
    r.length = toc.TocLength(i);
    r.duration = DurationText(r.length);
    char title[32];
    std::snprintf(title, sizeof title, "Track %.2d", static_cast<int>(i + 1));
    r.title = title;
    r.number = t.number ? t.number : static_cast<int>(i + 1);
    r.adr_control = static_cast<std::uint8_t>(0x10 | t.control);
    r.info_start = t.start >= 150 ? static_cast<std::uint32_t>(t.start - 150) : 0;
    r.info_size = static_cast<std::uint32_t>(t.own_length);
    records.push_back(r);
  }
  return records;
}

void SetTrackList(const CdToc& toc) { TrackList::Process().Replace(-1, RecordsOf(toc)); }

CdToc TwoTrackToc() {
  CdToc toc;
  toc.tracks = {{1, 150, 0, 0}, {2, 14250, 0, 0}};
  toc.lead_out = 27000;
  return toc;
}

namespace {

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A CD-audio WAV file of whole sectors, with the engine's own header.
std::vector<std::uint8_t> Wav(const std::vector<std::uint8_t>& pcm) {
  const auto header = WavHeader(pcm.size() / 2352);
  std::vector<std::uint8_t> wav(header.begin(), header.end());
  wav.insert(wav.end(), pcm.begin(), pcm.end());
  return wav;
}

}  // namespace

PressedDisc::PressedDisc(const std::vector<std::uint32_t>& audio_sectors, std::uint32_t data_sectors) {
  platform::FileError error;
  temp_ = platform::TemporaryFolder::Create("pressed disc", &error);
  if (!temp_) return;
  const std::filesystem::path sources = temp_->path() / "sources \xC3\xA9";
  std::filesystem::create_directory(sources);
  platform::MediumSpec medium;
  medium.profile = platform::kProfileCdRom;
  std::mt19937 random(static_cast<std::uint32_t>(audio_sectors.size() * 977 + data_sectors));
  for (std::size_t i = 0; i < audio_sectors.size(); ++i) {
    std::vector<std::uint8_t> pcm(audio_sectors[i] * std::size_t{2352});
    for (auto& b : pcm) b = static_cast<std::uint8_t>(random());
    const std::filesystem::path wav = sources / ("track " + std::to_string(i + 1) + ".wav");
    WriteBytes(wav, Wav(pcm));
    medium.pressed.push_back({wav, 44, 0, true, false, false});
    pcm_.push_back(std::move(pcm));
  }
  if (data_sectors > 0) {
    std::vector<std::uint8_t> data(data_sectors * std::size_t{2048});
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    WriteBytes(sources / "data.iso", data);
    medium.pressed.push_back({sources / "data.iso", 0, 0, false, false, true});
  }
  const std::filesystem::path drive = drive_folder();
  std::string text;
  if (!platform::EmulatedDrive::Create(drive, {}, &medium, &text)) return;
  setenv("ZEPHREL_DRIVES", ("emu:" + drive.native()).c_str(), 1);
  ok_ = true;
}

PressedDisc::~PressedDisc() { unsetenv("ZEPHREL_DRIVES"); }

std::vector<std::uint8_t> PressedDisc::AllPcm() const {
  std::vector<std::uint8_t> all;
  for (const auto& pcm : pcm_) all.insert(all.end(), pcm.begin(), pcm.end());
  return all;
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace zephrel::testing
