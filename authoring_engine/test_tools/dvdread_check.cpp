// Independent check of a VIDEO_TS folder with libdvdread, run by the tests as
// a child process (an abort inside the library then fails one test only).
//
//   dvdread_check <folder>
//
// Opens every information file and walks every cell of every menu and title
// along the navigation packs' next-VOBU links: each block reached must be a
// navigation pack whose own sector number (nv_pck_lbn) is the sector it was
// read from, the walk must end on the cell's last sector, and the VOBU
// address map must be strictly ascending and list exactly those sectors.
// Every program chain's playback time must equal the sum of its cells'.
// Library messages from the logger are printed as "logger: libdvdread: ...";
// problems found here as "mismatch: ...". The last line is a summary; the
// exit status is 0 when nothing mismatched (the caller judges the messages).
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>
#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>
}

namespace {

int g_mismatches = 0;
int g_logged = 0;
int g_vobus = 0;

void Log(void*, dvd_logger_level_t level, const char* format, va_list args) {
  if (level == DVD_LOGGER_LEVEL_DEBUG || level == DVD_LOGGER_LEVEL_INFO) return;
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  std::printf("logger: libdvdread: %s\n", text);
  ++g_logged;
}

void Mismatch(const std::string& what) {
  std::printf("mismatch: %s\n", what.c_str());
  ++g_mismatches;
}

bool IsNavPack(const unsigned char* b) {
  static const unsigned char kPack[] = {0, 0, 1, 0xBA};
  static const unsigned char kPrivate2[] = {0, 0, 1, 0xBF};
  return std::memcmp(b, kPack, 4) == 0 && std::memcmp(b + 38, kPrivate2, 4) == 0 &&
         std::memcmp(b + 1024, kPrivate2, 4) == 0 && b[44] == 0 && b[1030] == 1;
}

// Walks the cells of one VOB domain and compares them with its VOBU map.
void CheckDomain(dvd_reader_t* dvd, int title_set, dvd_read_domain_t domain, const c_adt_t* cells,
                 const vobu_admap_t* map, const std::string& name) {
  if (cells == nullptr || map == nullptr) {
    Mismatch(name + ": no cell address table or VOBU map");
    return;
  }
  dvd_file_t* file = DVDOpenFile(dvd, title_set, domain);
  if (file == nullptr) {
    Mismatch(name + ": VOB files cannot be opened");
    return;
  }
  std::vector<std::uint32_t> walked;
  const int entries = static_cast<int>((cells->last_byte + 1 - C_ADT_SIZE) / sizeof(cell_adr_t));
  for (int c = 0; c < entries; ++c) {
    const cell_adr_t& cell = cells->cell_adr_table[c];
    const std::string where = name + " cell " + std::to_string(c + 1);
    std::uint32_t sector = cell.start_sector;
    for (int guard = 0; guard < 1000000; ++guard) {
      unsigned char block[DVD_VIDEO_LB_LEN];
      if (DVDReadBlocks(file, static_cast<int>(sector), 1, block) != 1) {
        Mismatch(where + ": sector " + std::to_string(sector) + " cannot be read");
        break;
      }
      if (!IsNavPack(block)) {
        Mismatch(where + ": sector " + std::to_string(sector) + " is not a navigation pack");
        break;
      }
      pci_t pci;
      dsi_t dsi;
      navRead_PCI(&pci, block + 0x2D);
      navRead_DSI(&dsi, block + DSI_START_BYTE);
      if (dsi.dsi_gi.nv_pck_lbn != sector || pci.pci_gi.nv_pck_lbn != sector) {
        Mismatch(where + ": navigation pack at " + std::to_string(sector) + " says " +
                 std::to_string(dsi.dsi_gi.nv_pck_lbn));
      }
      walked.push_back(sector);
      ++g_vobus;
      const std::uint32_t next = dsi.vobu_sri.next_vobu;
      if (next == SRI_END_OF_CELL || (next & 0x3FFFFFFF) == 0x3FFFFFFF) {
        if (sector + dsi.dsi_gi.vobu_ea != cell.last_sector) {
          Mismatch(where + ": walk ends at " + std::to_string(sector + dsi.dsi_gi.vobu_ea) +
                   ", cell ends at " + std::to_string(cell.last_sector));
        }
        break;
      }
      sector += next & 0x3FFFFFFF;
      if (sector > cell.last_sector) {
        Mismatch(where + ": next VOBU " + std::to_string(sector) + " lies past the cell");
        break;
      }
    }
  }
  DVDCloseFile(file);
  const std::size_t count = (map->last_byte + 1 - VOBU_ADMAP_SIZE) / 4;
  for (std::size_t i = 1; i < count; ++i) {
    if (map->vobu_start_sectors[i] <= map->vobu_start_sectors[i - 1]) {
      Mismatch(name + ": VOBU map not ascending at entry " + std::to_string(i));
    }
  }
  if (count != walked.size()) {
    Mismatch(name + ": VOBU map has " + std::to_string(count) + " entries, the cells " +
             std::to_string(walked.size()) + " VOBUs");
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      if (map->vobu_start_sectors[i] != walked[i]) {
        Mismatch(name + ": VOBU map entry " + std::to_string(i) + " is " +
                 std::to_string(map->vobu_start_sectors[i]) + ", navigation pack at " +
                 std::to_string(walked[i]));
      }
    }
  }
}

// A time code in frames (its rate from the flag in the frames byte).
long FramesOf(const dvd_time_t& t) {
  auto bcd = [](std::uint8_t v) { return static_cast<long>((v >> 4) * 10 + (v & 15)); };
  const long fps = (t.frame_u & 0xC0) == 0x40 ? 25 : 30;
  return ((bcd(t.hour) * 60 + bcd(t.minute)) * 60 + bcd(t.second)) * fps + bcd(t.frame_u & 0x3F);
}

void CheckChainTime(const pgc_t* pgc, const std::string& name) {
  if (pgc == nullptr || pgc->nr_of_cells == 0 || pgc->cell_playback == nullptr) return;
  long cells = 0;
  for (int c = 0; c < pgc->nr_of_cells; ++c) cells += FramesOf(pgc->cell_playback[c].playback_time);
  const long chain = FramesOf(pgc->playback_time);
  if (chain != cells) {
    Mismatch(name + ": playback time is " + std::to_string(chain) + " frames, its cells add up to " +
             std::to_string(cells));
  }
}

void CheckChainTimes(const pgcit_t* pgcit, const std::string& name) {
  if (pgcit == nullptr) return;
  for (int i = 0; i < pgcit->nr_of_pgci_srp; ++i) {
    CheckChainTime(pgcit->pgci_srp[i].pgc, name + " chain " + std::to_string(i + 1));
  }
}

void CheckMenuChainTimes(const pgci_ut_t* menus, const std::string& name) {
  if (menus == nullptr) return;
  for (int i = 0; i < menus->nr_of_lus; ++i) CheckChainTimes(menus->lu[i].pgcit, name + " menu");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dvdread_check <folder>\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const dvd_logger_cb logger = {Log};
  dvd_reader_t* dvd = DVDOpen2(nullptr, &logger, argv[1]);
  if (dvd == nullptr) {
    std::printf("mismatch: the folder cannot be opened\n");
    return 1;
  }
  ifo_handle_t* vmg = ifoOpen(dvd, 0);
  if (vmg == nullptr || vmg->vmgi_mat == nullptr) {
    Mismatch("VIDEO_TS.IFO cannot be read");
  } else {
    if (vmg->vmgi_mat->vmgm_vobs != 0) {
      CheckDomain(dvd, 0, DVD_READ_MENU_VOBS, vmg->menu_c_adt, vmg->menu_vobu_admap, "main menu");
    }
    CheckChainTime(vmg->first_play_pgc, "first play");
    CheckMenuChainTimes(vmg->pgci_ut, "video manager");
    const int sets = vmg->vmgi_mat->vmg_nr_of_title_sets;
    for (int k = 1; k <= sets; ++k) {
      ifo_handle_t* vts = ifoOpen(dvd, k);
      const std::string name = "title set " + std::to_string(k);
      if (vts == nullptr || vts->vtsi_mat == nullptr) {
        Mismatch(name + ": information file cannot be read");
        continue;
      }
      if (vts->vtsi_mat->vtsm_vobs != 0) {
        CheckDomain(dvd, k, DVD_READ_MENU_VOBS, vts->menu_c_adt, vts->menu_vobu_admap, name + " menu");
      }
      CheckDomain(dvd, k, DVD_READ_TITLE_VOBS, vts->vts_c_adt, vts->vts_vobu_admap, name);
      CheckChainTimes(vts->vts_pgcit, name);
      CheckMenuChainTimes(vts->pgci_ut, name);
      ifoClose(vts);
    }
    ifoClose(vmg);
  }
  DVDClose(dvd);
  std::printf("summary: vobus=%d mismatches=%d logged=%d\n", g_vobus, g_mismatches, g_logged);
  return g_mismatches == 0 ? 0 : 1;
}
