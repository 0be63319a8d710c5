#include "ifo_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "ifo_format.h"
#include "platform/byte_order.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace morvix {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put8(Bytes& b, std::size_t at, std::uint32_t v) { b[at] = static_cast<std::uint8_t>(v); }
std::size_t Sectors(std::size_t bytes) { return (bytes + ifo::kSector - 1) / ifo::kSector; }
std::uint32_t Sectors32(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + ifo::kSector - 1) / ifo::kSector);
}

// Tables placed one after the other, each from a sector boundary.
class Layout {
 public:
  // Returns the table's first sector.
  std::uint32_t Add(std::size_t bytes) {
    const auto at = static_cast<std::uint32_t>(sectors_);
    sectors_ += Sectors(bytes);
    return at;
  }
  std::size_t bytes() const { return sectors_ * ifo::kSector; }
  std::uint32_t sectors() const { return static_cast<std::uint32_t>(sectors_); }

 private:
  std::size_t sectors_ = 0;
};

int VobuCount(const MpegFile& file) {
  int n = 0;
  for (const Cell& cell : file.cells()) n += static_cast<int>(cell.vobus.size());
  return n;
}

// Cell address table: one entry per cell; the VOB count is the highest VOB id.
void PutCellAddresses(Bytes& b, std::size_t at, const MpegFile& file) {
  int vobs = 0;
  std::size_t entry = at + ifo::kCAdtHeader;
  for (const Cell& cell : file.cells()) {
    vobs = std::max(vobs, cell.part + 1);
    platform::PutBe16(&b[entry], static_cast<std::uint32_t>(cell.part + 1));
    Put8(b, entry + 2, static_cast<std::uint32_t>(cell.cell_number + 1));
    platform::PutBe32(&b[entry + 4], static_cast<std::uint32_t>(cell.vobus.front().first_pack));
    platform::PutBe32(&b[entry + 8], static_cast<std::uint32_t>(cell.vobus.back().last_pack));
    entry += ifo::kCAdtEntry;
  }
  platform::PutBe16(&b[at], static_cast<std::uint32_t>(vobs));
  platform::PutBe32(&b[at + 4], static_cast<std::uint32_t>(entry - at - 1));
}

// VOBU address map: every navigation pack's sector, cell after cell.
void PutVobuMap(Bytes& b, std::size_t at, const MpegFile& file) {
  std::size_t entry = at + ifo::kVobuAdmapHeader;
  for (const Cell& cell : file.cells()) {
    for (const Vobu& v : cell.vobus) {
      platform::PutBe32(&b[entry], static_cast<std::uint32_t>(v.first_pack));
      entry += 4;
    }
  }
  platform::PutBe32(&b[at], static_cast<std::uint32_t>(entry - at - 1));
}

std::size_t CellAddressBytes(const MpegFile& file) {
  return ifo::kCAdtHeader + ifo::kCAdtEntry * file.cells().size();
}
std::size_t VobuMapBytes(const MpegFile& file) {
  return ifo::kVobuAdmapHeader + 4 * static_cast<std::size_t>(VobuCount(file));
}

// Video, audio and sub-picture attributes of a menu at kMenuVideoAttr.
Status PutMenuAttributes(Bytes& b, const MpegFile* menu, int subpicture_streams) {
  if (menu != nullptr) {
    if (Status s = VideoAttributeBytes(&menu->video(), b.data() + ifo::kMenuVideoAttr); s != kOk) return s;
    const int audio = std::min(menu->audio_stream_count(), 1);
    platform::PutBe16(&b[ifo::kMenuAudioCount], static_cast<std::uint32_t>(audio));
    if (audio > 0) {
      if (Status s = AudioAttributeBytes(&menu->audio()[0], b.data() + ifo::kMenuAudioAttr); s != kOk)
        return s;
    }
  }
  platform::PutBe16(&b[ifo::kMenuSubpCount], static_cast<std::uint32_t>(subpicture_streams));
  return kOk;
}

// A menu table (PGCI_UT) with one language unit holding one entry chain.
void PutMenuTable(Bytes& b, std::size_t at, std::uint32_t category, const Bytes& chain) {
  const std::size_t size = ifo::kPgciUtHeader + chain.size();
  platform::PutBe16(&b[at], 1);
  platform::PutBe32(&b[at + 4], static_cast<std::uint32_t>(size - 1));
  platform::PutBe16(&b[at + 8], ifo::kAnyLanguage);
  Put8(b, at + 11, ifo::kMenuExists);
  platform::PutBe32(&b[at + 12], 16);
  const std::size_t unit = at + 16;
  platform::PutBe16(&b[unit], 1);
  platform::PutBe32(&b[unit + 4], static_cast<std::uint32_t>(size - 17));
  platform::PutBe32(&b[unit + 8], category);
  platform::PutBe32(&b[unit + 12], 16);
  std::copy(chain.begin(), chain.end(), b.begin() + static_cast<std::ptrdiff_t>(unit + 16));
}

void PutText(Bytes& b, std::size_t at, const char* text) {
  std::memcpy(b.data() + at, text, std::strlen(text));
}

// Writes bytes as name.IFO and name.BUP so that neither name appears until
// both files are whole: each is written under a temporary name first, then
// the BUP and last the IFO are renamed into place. On a failure neither name
// is left behind (a reader takes a lone BUP for the IFO).
Status WriteInfoFiles(const std::filesystem::path& folder, const std::string& stem, const Bytes& bytes,
                      ErrorContext& error) {
  enum { kIfo, kBup };
  const std::filesystem::path finals[2] = {folder / (stem + "IFO"), folder / (stem + "BUP")};
  std::filesystem::path temps[2];
  std::vector<int> renamed;
  const auto fail = [&](Status code, const std::filesystem::path& path) {
    for (const std::filesystem::path& temp : temps) {
      if (!temp.empty()) ::unlink(temp.c_str());
    }
    for (int k : renamed) ::unlink(finals[k].c_str());
    return error.Fail(code, platform::PathToWide(path));
  };
  for (int k : {kIfo, kBup}) {
    platform::FileError ferr;
    platform::File out = platform::CreateTemporaryBeside(finals[k], &ferr);
    if (!out.is_open()) return fail(kErrOpenForWrite, finals[k]);
    temps[k] = out.path();
    if (!out.WriteAll(bytes.data(), bytes.size(), &ferr) || !out.Close(&ferr)) {
      return fail(kErrWriteFile, finals[k]);
    }
  }
  for (int k : {kBup, kIfo}) {
    // A folder or anything else in the way of a name refuses the rename.
    if (std::rename(temps[k].c_str(), finals[k].c_str()) != 0) return fail(kErrOpenForWrite, finals[k]);
    temps[k].clear();
    renamed.push_back(k);
  }
  return kOk;
}

// Chain content of a menu domain: the menu's cells, or none; the audio control
// follows the domain's audio streams either way (a menu declares at most one).
ChainContent MenuContent(const MpegFile* menu, const std::array<YCrCb, 16>* palette) {
  ChainContent content;
  content.has_audio_map = true;
  if (menu == nullptr) return content;
  content = ChainContentOf(*menu, palette);
  if (content.audio_stream_numbers.size() > 1) content.audio_stream_numbers.resize(1);
  return content;
}

bool Allocate(Bytes& b, std::size_t size) {
  try {
    b.assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

Status VideoAttributeBytes(const VideoAttributes* video, std::uint8_t* out) {
  if (video == nullptr || out == nullptr) return kErrInternalVideoAttr;
  std::uint8_t b0 = 0x40;
  if (video->tv_system == 2) b0 |= 0x10;
  b0 |= video->aspect == 2 ? 0x0C : 0x03;
  static constexpr std::uint8_t kSize[] = {0x00, 0x08, 0x10, 0x18};
  out[0] = b0;
  out[1] = kSize[std::clamp(video->size_class, 1, 4) - 1];
  return kOk;
}

Status AudioAttributeBytes(const AudioStreamAttributes* audio, std::uint8_t* out) {
  if (audio == nullptr || out == nullptr) return kErrInternalAudioAttr;
  std::memset(out, 0, ifo::kAudioAttrSize);
  std::uint8_t coding = 0;
  std::uint8_t quant = 0;
  switch (audio->coding) {
    case 1:
      coding = 0;
      quant = 3;
      break;  // AC-3
    case 2:
      coding = 2;
      quant = audio->extension != 0 ? 1 : 0;
      break;  // MPEG audio
    case 4:
      coding = 4;
      quant = static_cast<std::uint8_t>(std::clamp(audio->quantisation, 1, 3) - 1);
      break;
    default:
      return kErrInternalAudioAttr;
  }
  out[0] = static_cast<std::uint8_t>(coding << 5);
  out[1] = static_cast<std::uint8_t>(quant << 6 | (audio->sample_rate == 2 ? 1 : 0) << 4 |
                                     (std::clamp(audio->channels, 1, 8) - 1));
  return kOk;
}

Status TitleSetInfoWriter::Write(const TitleSetInfo& info, ErrorContext& error) {
  ProgressThrottle progress(info.progress, 7);
  const auto report = [&](double percent) { return progress.Report(percent) != 0; };
  ifo_.clear();
  if (report(0)) return kStopped;
  const MpegFile* movie = info.movie;
  if (movie == nullptr || movie->path().empty()) return kErrMovieNotSet;
  const MpegFile* menu = info.menu;
  const int title = info.title_index + 1;
  const int chapters = movie->chapter_count();
  chapter_count_ = chapters;

  std::size_t title_chain = 0;
  std::size_t menu_chain = 0;
  if (Status s = ReservedChainSize(kChainTitle, title, info.disc, static_cast<int>(movie->cells().size()),
                                   title_chain);
      s != kOk) {
    return s;
  }
  const int menu_kind = menu != nullptr ? kChainTitleMenu : kChainNoMenu;
  if (Status s = ReservedChainSize(menu_kind, title, info.disc,
                                   menu != nullptr ? static_cast<int>(menu->cells().size()) : 0, menu_chain);
      s != kOk) {
    return s;
  }

  Layout layout;
  layout.Add(ifo::kSector);  // VTSI_MAT
  const std::uint32_t ptt_at =
      layout.Add(ifo::kPttSrptHeader + ifo::kPttEntry * static_cast<std::size_t>(chapters));
  const std::uint32_t pgcit_at = layout.Add(ifo::kPgcitHeader + title_chain);
  const std::uint32_t menu_ut_at = layout.Add(ifo::kPgciUtHeader + menu_chain);
  const std::uint32_t menu_cadt_at = menu != nullptr ? layout.Add(CellAddressBytes(*menu)) : 0;
  const std::uint32_t menu_map_at = menu != nullptr ? layout.Add(VobuMapBytes(*menu)) : 0;
  const std::uint32_t cadt_at = layout.Add(CellAddressBytes(*movie));
  const std::uint32_t map_at = layout.Add(VobuMapBytes(*movie));
  Bytes b;
  if (!Allocate(b, layout.bytes())) return kErrOutOfMemory;
  if (report(10)) return kStopped;

  // VTSI_MAT.
  const std::uint32_t ifo_sectors = layout.sectors();
  const std::uint32_t menu_sectors = menu != nullptr ? Sectors32(info.menu_vob_bytes) : 0;
  const std::uint32_t movie_sectors = Sectors32(info.movie_vob_bytes);
  set_sectors_ = 2 * ifo_sectors + menu_sectors + movie_sectors;
  PutText(b, ifo::kIdentifier, ifo::kVtsIdentifier);
  platform::PutBe32(&b[ifo::kLastSector], set_sectors_ - 1);
  platform::PutBe32(&b[ifo::kIfoLastSector], ifo_sectors - 1);
  platform::PutBe16(&b[ifo::kVersion], ifo::kVersionValue);
  platform::PutBe32(&b[ifo::kMatLastByte], ifo::kSector - 1);
  platform::PutBe32(&b[ifo::kMenuVobs], menu != nullptr ? ifo_sectors : 0);
  platform::PutBe32(&b[ifo::kVtsTitleVobs], ifo_sectors + menu_sectors);
  platform::PutBe32(&b[ifo::kVtsPttSrpt], ptt_at);
  platform::PutBe32(&b[ifo::kVtsPgcit], pgcit_at);
  platform::PutBe32(&b[ifo::kVtsmPgciUt], menu_ut_at);
  platform::PutBe32(&b[ifo::kVtsmCAdt], menu_cadt_at);
  platform::PutBe32(&b[ifo::kVtsmVobuAdmap], menu_map_at);
  platform::PutBe32(&b[ifo::kVtsCAdt], cadt_at);
  platform::PutBe32(&b[ifo::kVtsVobuAdmap], map_at);
  if (Status s = PutMenuAttributes(b, menu, menu != nullptr ? 1 : 0); s != kOk) return s;
  if (Status s = VideoAttributeBytes(&movie->video(), b.data() + ifo::kVtsVideoAttr); s != kOk) return s;
  const int audio = std::min(movie->audio_stream_count(), ifo::kMaxAudioStreams);
  platform::PutBe16(&b[ifo::kVtsAudioCount], static_cast<std::uint32_t>(audio));
  for (int k = 0; k < audio; ++k) {
    if (Status s = AudioAttributeBytes(
            &movie->audio()[static_cast<std::size_t>(k)],
            b.data() + ifo::kVtsAudioAttr + ifo::kAudioAttrSize * static_cast<std::size_t>(k));
        s != kOk) {
      return s;
    }
  }
  platform::PutBe16(&b[ifo::kVtsSubpCount], 0);
  if (report(20)) return kStopped;

  // VTS_PTT_SRPT: one title whose chapter c is program c of chain 1.
  {
    const std::size_t at = ptt_at * ifo::kSector;
    platform::PutBe16(&b[at], 1);
    platform::PutBe32(&b[at + 4],
                      static_cast<std::uint32_t>(ifo::kPttSrptHeader + ifo::kPttEntry * chapters - 1));
    platform::PutBe32(&b[at + 8], static_cast<std::uint32_t>(ifo::kPttSrptHeader));
    for (int c = 0; c < chapters; ++c) {
      platform::PutBe16(&b[at + ifo::kPttSrptHeader + ifo::kPttEntry * static_cast<std::size_t>(c)], 1);
      platform::PutBe16(&b[at + ifo::kPttSrptHeader + ifo::kPttEntry * static_cast<std::size_t>(c) + 2],
                        static_cast<std::uint32_t>(c + 1));
    }
  }
  if (report(30)) return kStopped;

  // VTS_PGCIT: the title's chain.
  {
    Bytes chain;
    if (Status s = BuildProgramChain(kChainTitle, title, info.disc, ChainContentOf(*movie, nullptr), chain);
        s != kOk) {
      return s;
    }
    if (chain.size() > title_chain) return kErrInternalTooManyPrograms;
    const std::size_t at = pgcit_at * ifo::kSector;
    platform::PutBe16(&b[at], 1);
    platform::PutBe32(&b[at + 4], static_cast<std::uint32_t>(ifo::kPgcitHeader + chain.size() - 1));
    platform::PutBe32(&b[at + 8], ifo::kTitleChainCategory);
    platform::PutBe32(&b[at + 12], static_cast<std::uint32_t>(ifo::kPgcitHeader));
    std::copy(chain.begin(), chain.end(), b.begin() + static_cast<std::ptrdiff_t>(at + ifo::kPgcitHeader));
  }
  if (report(40)) return kStopped;

  // VTSM_PGCI_UT: the root menu, or a chain that starts the title at once.
  {
    Bytes chain;
    const ChainContent content = MenuContent(menu, info.menu_palette);
    if (Status s = BuildProgramChain(menu_kind, title, info.disc, content, chain); s != kOk) return s;
    if (chain.size() > menu_chain) return kErrInternalTooManyPrograms;
    PutMenuTable(b, menu_ut_at * ifo::kSector, ifo::kRootMenuCategory, chain);
  }
  if (report(50)) return kStopped;
  if (menu != nullptr) {
    PutCellAddresses(b, menu_cadt_at * ifo::kSector, *menu);
    if (report(60)) return kStopped;
    PutVobuMap(b, menu_map_at * ifo::kSector, *menu);
    if (report(70)) return kStopped;
  }
  PutCellAddresses(b, cadt_at * ifo::kSector, *movie);
  if (report(80)) return kStopped;
  PutVobuMap(b, map_at * ifo::kSector, *movie);
  if (report(90)) return kStopped;

  char stem[32];
  std::snprintf(stem, sizeof stem, "VTS_%02d_0.", title);
  if (Status s = WriteInfoFiles(info.output_folder, stem, b, error); s != kOk) return s;
  ifo_ = std::move(b);
  if (report(100)) return kStopped;
  return kOk;
}

Status ManagerInfoWriter::Write(const ManagerInfo& info, ErrorContext& error) {
  ifo_.clear();
  if (info.title_sets == nullptr || info.title_sets->empty()) return kErrNoSettings;
  ProgressThrottle progress(info.progress, 8);
  const auto report = [&](double percent) { return progress.Report(percent) != 0; };
  if (report(0)) return kStopped;
  const std::vector<TitleSetInfoWriter>& sets = *info.title_sets;
  const MpegFile* menu = info.menu;
  const std::size_t titles = sets.size();

  std::size_t first_play = 0;
  std::size_t menu_chain = 0;
  if (Status s = ReservedChainSize(kChainFirstPlay, 0, info.disc, 0, first_play); s != kOk) return s;
  if (Status s = ReservedChainSize(kChainMainMenu, 0, info.disc,
                                   menu != nullptr ? static_cast<int>(menu->cells().size()) : 0, menu_chain);
      s != kOk) {
    return s;
  }
  Layout layout;
  layout.Add(ifo::kVmgFirstPlayAt + first_play);
  const std::uint32_t tt_at = layout.Add(ifo::kTtSrptHeader + ifo::kTtSrptEntry * titles);
  const std::uint32_t menu_ut_at = layout.Add(ifo::kPgciUtHeader + menu_chain);
  const std::uint32_t atrt_at = layout.Add(ifo::kVtsAtrtHeader + (4 + ifo::kVtsAtrtEntry) * titles);
  const std::uint32_t cadt_at = menu != nullptr ? layout.Add(CellAddressBytes(*menu)) : 0;
  const std::uint32_t map_at = menu != nullptr ? layout.Add(VobuMapBytes(*menu)) : 0;
  Bytes b;
  if (!Allocate(b, layout.bytes())) return kErrOutOfMemory;
  if (report(10)) return kStopped;

  const std::uint32_t ifo_sectors = layout.sectors();
  const std::uint32_t menu_sectors = menu != nullptr ? Sectors32(info.menu_vob_bytes) : 0;
  PutText(b, ifo::kIdentifier, ifo::kVmgIdentifier);
  platform::PutBe32(&b[ifo::kLastSector], 2 * ifo_sectors + menu_sectors - 1);
  platform::PutBe32(&b[ifo::kIfoLastSector], ifo_sectors - 1);
  platform::PutBe16(&b[ifo::kVersion], ifo::kVersionValue);
  platform::PutBe16(&b[ifo::kVmgVolumes], 1);
  platform::PutBe16(&b[ifo::kVmgVolumeNumber], 1);
  Put8(b, ifo::kVmgSide, 1);
  platform::PutBe16(&b[ifo::kVmgTitleSets], static_cast<std::uint32_t>(titles));
  platform::PutBe32(&b[ifo::kMenuVobs], menu != nullptr ? ifo_sectors : 0);
  platform::PutBe32(&b[ifo::kVmgTtSrpt], tt_at);
  platform::PutBe32(&b[ifo::kVmgmPgciUt], menu_ut_at);
  platform::PutBe32(&b[ifo::kVmgVtsAtrt], atrt_at);
  platform::PutBe32(&b[ifo::kVmgmCAdt], cadt_at);
  platform::PutBe32(&b[ifo::kVmgmVobuAdmap], map_at);
  if (Status s = PutMenuAttributes(b, menu, 1); s != kOk) return s;
  {
    Bytes chain;
    ChainContent content = MenuContent(menu, nullptr);
    content.cells.clear();
    content.program_first_cells.clear();
    content.palette = nullptr;
    if (Status s = BuildProgramChain(kChainFirstPlay, 0, info.disc, content, chain); s != kOk) return s;
    if (chain.size() > first_play) return kErrInternalTooManyPrograms;
    std::copy(chain.begin(), chain.end(), b.begin() + static_cast<std::ptrdiff_t>(ifo::kVmgFirstPlayAt));
    platform::PutBe32(&b[ifo::kMatLastByte],
                      static_cast<std::uint32_t>(ifo::kVmgFirstPlayAt + chain.size() - 1));
    platform::PutBe32(&b[ifo::kVmgFirstPlayPgc], static_cast<std::uint32_t>(ifo::kVmgFirstPlayAt));
  }

  // TT_SRPT: title t is title 1 of title set t, which starts after everything before it.
  {
    const std::size_t at = tt_at * ifo::kSector;
    platform::PutBe16(&b[at], static_cast<std::uint32_t>(titles));
    platform::PutBe32(&b[at + 4], static_cast<std::uint32_t>(ifo::kTtSrptEntry * titles + 7));
    std::uint32_t start = 2 * ifo_sectors + menu_sectors;
    for (std::size_t t = 0; t < titles; ++t) {
      const std::size_t e = at + ifo::kTtSrptHeader + ifo::kTtSrptEntry * t;
      Put8(b, e, ifo::kTitleType);
      Put8(b, e + 1, 1);
      platform::PutBe16(&b[e + 2], static_cast<std::uint32_t>(sets[t].chapter_count()));
      platform::PutBe16(&b[e + 4], 0);
      Put8(b, e + 6, static_cast<std::uint32_t>(t + 1));
      Put8(b, e + 7, 1);
      platform::PutBe32(&b[e + 8], start);
      start += sets[t].set_sectors();
    }
  }

  // VMGM_PGCI_UT: the main menu chain (the title menu of the disc).
  {
    Bytes chain;
    const ChainContent content = MenuContent(menu, info.menu_palette);
    if (Status s = BuildProgramChain(kChainMainMenu, 0, info.disc, content, chain); s != kOk) return s;
    if (chain.size() > menu_chain) return kErrInternalTooManyPrograms;
    PutMenuTable(b, menu_ut_at * ifo::kSector, ifo::kTitleMenuCategory, chain);
  }
  if (report(50)) return kStopped;

  // VTS_ATRT: each title set's attribute block.
  {
    const std::size_t at = atrt_at * ifo::kSector;
    platform::PutBe16(&b[at], static_cast<std::uint32_t>(titles));
    platform::PutBe32(
        &b[at + 4], static_cast<std::uint32_t>(ifo::kVtsAtrtHeader + (4 + ifo::kVtsAtrtEntry) * titles - 1));
    for (std::size_t k = 0; k < titles; ++k) {
      const std::size_t offset = ifo::kVtsAtrtHeader + 4 * titles + ifo::kVtsAtrtEntry * k;
      platform::PutBe32(&b[at + 8 + 4 * k], static_cast<std::uint32_t>(offset));
      platform::PutBe32(&b[at + offset], static_cast<std::uint32_t>(ifo::kVtsAtrtEntry - 1));
      const Bytes& vts = sets[k].ifo();
      if (vts.size() < ifo::kVtsAttributesFrom + ifo::kVtsAttributesSize) return kErrInternalNoTitleRecord;
      std::copy_n(vts.begin() + ifo::kVtsAttributesFrom, ifo::kVtsAttributesSize,
                  b.begin() + static_cast<std::ptrdiff_t>(at + offset + 8));
    }
  }
  if (menu != nullptr) {
    PutCellAddresses(b, cadt_at * ifo::kSector, *menu);
    PutVobuMap(b, map_at * ifo::kSector, *menu);
  }
  if (report(90)) return kStopped;

  if (Status s = WriteInfoFiles(info.output_folder, "VIDEO_TS.", b, error); s != kOk) return s;
  ifo_ = std::move(b);
  if (report(100)) return kStopped;
  if (info.progress && info.progress(9, 100.0) != 0) return kStopped;
  return kOk;
}

}  // namespace morvix
