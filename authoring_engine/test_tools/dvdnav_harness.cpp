// Plays a VIDEO_TS folder with libdvdnav, as a player would, and prints what
// it sees; run by the tests as a child process.
//
//   dvdnav_harness <folder> [action ...]
//
// Actions are used in order: "select:K" is taken at the next menu that shows
// buttons (dvdnav_button_select_and_activate(K)); "titlekey" is taken once a
// title plays (dvdnav_menu_call with the title menu). Output lines:
//   menu <vmgm|vtsm> buttons=N   a menu with N buttons is shown
//   button K X0 Y0 X1 Y1         after it, button K's highlight rectangle
//   title T chapter C            title T starts playing at chapter C
//   stop                         the disc stopped
//   end actions                  a menu was reached with no action left
//   end limit                    the event bound was reached
//   error <text>                 a call failed
// Stills and waits are skipped at once; the loop is bounded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

extern "C" {
#include <dvdnav/dvdnav.h>
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dvdnav_harness <folder> [action ...]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::deque<std::string> actions(argv + 2, argv + argc);
  dvdnav_t* nav = nullptr;
  if (dvdnav_open(&nav, argv[1]) != DVDNAV_STATUS_OK) {
    std::printf("error open\n");
    return 1;
  }
  dvdnav_set_readahead_flag(nav, 0);
  dvdnav_set_PGC_positioning_flag(nav, 1);

  static std::uint8_t buffer[DVD_VIDEO_LB_LEN];
  int last_title = -1;  // title reported last (-1: none since the last menu)
  bool menu_reported = false;
  bool title_key_sent = false;
  int title_blocks = 0;
  for (long events = 0; events < 3000000; ++events) {
    int event = 0;
    int len = 0;
    if (dvdnav_get_next_block(nav, buffer, &event, &len) != DVDNAV_STATUS_OK) {
      std::printf("error %s\n", dvdnav_err_to_string(nav));
      dvdnav_close(nav);
      return 1;
    }
    switch (event) {
      case DVDNAV_STILL_FRAME:
        dvdnav_still_skip(nav);
        break;
      case DVDNAV_WAIT:
        dvdnav_wait_skip(nav);
        break;
      case DVDNAV_STOP:
        std::printf("stop\n");
        dvdnav_close(nav);
        return 0;
      case DVDNAV_VTS_CHANGE:
      case DVDNAV_CELL_CHANGE: {
        if (dvdnav_is_domain_vts(nav)) {
          int32_t title = 0;
          int32_t part = 0;
          dvdnav_current_title_info(nav, &title, &part);
          if (title != last_title) {
            std::printf("title %d chapter %d\n", title, part);
            last_title = title;
            menu_reported = false;
            title_key_sent = false;
            title_blocks = 0;
          }
        } else if (dvdnav_is_domain_vmgm(nav) || dvdnav_is_domain_vtsm(nav)) {
          last_title = -1;
          menu_reported = false;  // every entry into a menu cell shows it anew
        }
        break;
      }
      case DVDNAV_BLOCK_OK:
        if (dvdnav_is_domain_vts(nav) && !title_key_sent && ++title_blocks > 50 && !actions.empty() &&
            actions.front() == "titlekey") {
          actions.pop_front();
          title_key_sent = true;
          if (dvdnav_menu_call(nav, DVD_MENU_Title) != DVDNAV_STATUS_OK) {
            std::printf("error menu call: %s\n", dvdnav_err_to_string(nav));
          }
        }
        break;
      case DVDNAV_NAV_PACKET: {
        if (!(dvdnav_is_domain_vmgm(nav) || dvdnav_is_domain_vtsm(nav)) || menu_reported) break;
        pci_t* pci = dvdnav_get_current_nav_pci(nav);
        if (pci == nullptr || pci->hli.hl_gi.hli_ss == 0) break;
        menu_reported = true;
        std::printf("menu %s buttons=%d\n", dvdnav_is_domain_vmgm(nav) ? "vmgm" : "vtsm",
                    pci->hli.hl_gi.btn_ns);
        for (int k = 0; k < pci->hli.hl_gi.btn_ns && k < 36; ++k) {
          const btni_t& b = pci->hli.btnit[k];
          std::printf("button %d %u %u %u %u\n", k + 1, static_cast<unsigned>(b.x_start),
                      static_cast<unsigned>(b.y_start), static_cast<unsigned>(b.x_end),
                      static_cast<unsigned>(b.y_end));
        }
        if (actions.empty() || actions.front().rfind("select:", 0) != 0) {
          std::printf("end actions\n");
          dvdnav_close(nav);
          return 0;
        }
        const int button = std::atoi(actions.front().c_str() + 7);
        actions.pop_front();
        if (dvdnav_button_select_and_activate(nav, pci, button) != DVDNAV_STATUS_OK) {
          std::printf("error button %d: %s\n", button, dvdnav_err_to_string(nav));
        }
        break;
      }
      default:
        break;
    }
  }
  std::printf("end limit\n");
  dvdnav_close(nav);
  return 0;
}
