#include <dvdread/nav_read.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "mpeg_format.h"
#include "mpeg_testutil.h"
#include "nav_commands.h"
#include "vob_testutil.h"
#include "vob_writer.h"

namespace morvix {
namespace {

using testing::Analysed;
using testing::FourButtons;
using testing::NewOutputDir;
using testing::ReadAll;
using testing::RunTool;
using testing::SharedClip;
using Bytes = std::vector<std::uint8_t>;
using dvdcheck::Lines;

// What ffmpeg reports while decoding path completely, with the addresses in
// its log prefixes removed so that two runs compare equal.
std::string DecodeComplaints(const std::filesystem::path& path) {
  std::string log;
  const int rc = RunTool({"ffmpeg", "-nostdin", "-v", "error", "-i", path.string(), "-f", "null", "-"}, &log);
  if (rc != 0) log += "exit status " + std::to_string(rc) + "\n";
  std::string out;
  for (std::size_t i = 0; i < log.size();) {
    if (log.compare(i, 5, " @ 0x") == 0) {
      i += 5;
      while (i < log.size() && std::isxdigit(static_cast<unsigned char>(log[i]))) ++i;
      continue;
    }
    out += log[i++];
  }
  return out;
}

TEST(VobWriterMovieE2e, WrittenMovieDecodesAsCleanlyAsItsInput) {
  const auto clip = SharedClip("pal_43.mpg");
  auto movie = Analysed(clip, false);
  ASSERT_TRUE(movie);
  const auto dir = NewOutputDir("e2e_movie");
  VobWriteRequest request;
  request.output_folder = dir;
  request.title_index = 0;
  ErrorContext error;
  ASSERT_EQ(VobWriter().WriteVob(*movie, request, error), kOk);

  const std::string input_log = DecodeComplaints(clip);
  const std::string output_log = DecodeComplaints(dir / "VTS_01_1.VOB");
  // The muxer-side note about the input's last audio timestamps is the only
  // message the input itself produces; no decoder may complain.
  for (const std::string& line : Lines(output_log)) {
    EXPECT_NE(line.find("non monotonically increasing dts"), std::string::npos) << line;
  }
  EXPECT_EQ(output_log, input_log);
}

TEST(VobWriterMovieE2e, MovieCutIntoPartsPlaysOnAcrossTheBoundaries) {
  const auto clip = SharedClip("pal_43.mpg");
  auto movie = Analysed(clip, false, 3u << 20);
  ASSERT_TRUE(movie);
  ASSERT_GE(movie->part_count(), 2);
  const auto dir = NewOutputDir("e2e_parts");
  VobWriteRequest request;
  request.output_folder = dir;
  request.title_index = 0;
  VobWriteResult result;
  ErrorContext error;
  ASSERT_EQ(VobWriter().WriteVob(*movie, request, error, &result), kOk);
  Bytes joined;
  for (const auto& f : result.files) {
    Bytes b = ReadAll(f);
    joined.insert(joined.end(), b.begin(), b.end());
  }
  testing::WriteAll(dir / "joined.vob", joined);
  EXPECT_EQ(DecodeComplaints(dir / "joined.vob"), DecodeComplaints(clip));
}

struct MenuOutput {
  std::filesystem::path dir;
  std::filesystem::path vob;
  std::vector<MenuButton> buttons;
  ButtonColorSchemes schemes;
};

MenuOutput WriteFourButtonMenu(const std::string& name) {
  MenuOutput m;
  auto menu = Analysed(SharedClip("pal_menu.mpg"), true);
  if (!menu) return m;
  m.dir = NewOutputDir(name);
  m.buttons = FourButtons();
  VobWriteRequest request;
  request.output_folder = m.dir;
  request.menu = true;
  request.buttons = m.buttons;
  request.schemes = m.schemes;
  ErrorContext error;
  if (VobWriter().WriteVob(*menu, request, error) == kOk) m.vob = m.dir / "VIDEO_TS.VOB";
  return m;
}

// Decodes an image file to RGBA (or RGB) bytes with its size.
Bytes DecodeImage(const std::filesystem::path& image, const char* pix_fmt, int* width, int* height) {
  std::string size;
  RunTool(
      {"ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "csv=p=0", image.string()},
      &size);
  if (std::sscanf(size.c_str(), "%d,%d", width, height) != 2) return {};
  const auto raw = image.string() + ".raw";
  if (RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", image.string(), "-f", "rawvideo", "-pix_fmt",
               pix_fmt, raw}) != 0) {
    return {};
  }
  return ReadAll(raw);
}

TEST(VobWriterMenuE2e, MenuVobShowsADvdSubtitleStreamAndDecodesCleanly) {
  MenuOutput m = WriteFourButtonMenu("e2e_probe");
  ASSERT_FALSE(m.vob.empty());
  std::string streams;
  ASSERT_EQ(RunTool({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0",
                     m.vob.string()},
                    &streams),
            0);
  EXPECT_NE(streams.find("dvd_subtitle"), std::string::npos) << streams;
  EXPECT_NE(streams.find("mpeg2video"), std::string::npos) << streams;
  EXPECT_EQ(DecodeComplaints(m.vob), "");
}

TEST(VobWriterMenuE2e, ExtractedSubpictureIsOpaqueExactlyWhereTheNormalContrastIsNonZero) {
  MenuOutput m = WriteFourButtonMenu("e2e_spuunmux");
  ASSERT_FALSE(m.vob.empty());
  const auto base = m.dir / "sub";
  std::string log;
  ASSERT_EQ(RunTool({"spuunmux", "-F", "PAL", "-o", base.string(), m.vob.string()}, &log), 0) << log;
  std::vector<std::filesystem::path> images;
  for (const auto& entry : std::filesystem::directory_iterator(m.dir)) {
    if (entry.path().extension() == ".png") images.push_back(entry.path());
  }
  ASSERT_EQ(images.size(), 1u);
  const Bytes xml = ReadAll(m.dir / "sub.xml");
  const std::string script(xml.begin(), xml.end());

  ButtonMap map;
  ASSERT_EQ(MakeButtonMap(m.buttons, {}, map), kOk);
  EXPECT_NE(script.find("xoffset=\"" + std::to_string(map.left) + "\""), std::string::npos) << script;
  EXPECT_NE(script.find("yoffset=\"" + std::to_string(map.top) + "\""), std::string::npos) << script;

  int width = 0, height = 0;
  const Bytes rgba = DecodeImage(images[0], "rgba", &width, &height);
  ASSERT_EQ(width, map.width());
  ASSERT_EQ(height, map.height());
  ASSERT_EQ(rgba.size(), static_cast<std::size_t>(width * height * 4));
  int mismatches = 0, opaque = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * width + x);
      const bool expect_opaque = m.schemes.normal.contrast[map.pixels[i]] != 0;
      const bool is_opaque = rgba[i * 4 + 3] > 127;
      opaque += is_opaque;
      if (expect_opaque != is_opaque && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel (" << x + map.left << "," << y + map.top << ") value " << int{map.pixels[i]};
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Three 41x31 rectangles and the white and blue quarters of the mask.
  EXPECT_EQ(opaque, 3 * 41 * 31 + 2 * 40 * 30);
}

TEST(VobWriterMenuE2e, FirstFrameRenderedWithTheOverlayShowsTheHighlightOnTheButtons) {
  MenuOutput m = WriteFourButtonMenu("e2e_overlay");
  ASSERT_FALSE(m.vob.empty());
  const auto plain = m.dir / "plain.ppm";
  const auto overlaid = m.dir / "overlaid.ppm";
  ASSERT_EQ(RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", m.vob.string(), "-frames:v", "1",
                     plain.string()}),
            0);
  ASSERT_EQ(RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", m.vob.string(), "-filter_complex",
                     "[0:v][0:s]overlay", "-frames:v", "1", overlaid.string()}),
            0);
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  const Bytes a = DecodeImage(plain, "rgb24", &w1, &h1);
  const Bytes b = DecodeImage(overlaid, "rgb24", &w2, &h2);
  ASSERT_EQ(w1, 720);
  ASSERT_EQ(h1, 576);
  ASSERT_EQ(a.size(), b.size());
  ButtonMap map;
  ASSERT_EQ(MakeButtonMap(m.buttons, {}, map), kOk);
  int changed_inside = 0, shown = 0, changed_outside = 0;
  for (int y = 0; y < 576; ++y) {
    for (int x = 0; x < 720; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * 720 + x) * 3;
      const bool differs =
          std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]) > 48;
      bool visible = false;
      if (x >= map.left && x <= map.right && y >= map.top && y <= map.bottom) {
        const std::uint8_t v =
            map.pixels[static_cast<std::size_t>((y - map.top) * map.width() + (x - map.left))];
        visible = m.schemes.normal.contrast[v] != 0;
      }
      if (visible) {
        ++shown;
        changed_inside += differs;
      } else {
        changed_outside += differs;
      }
    }
  }
  ASSERT_GT(shown, 0);
  // Scaling and chroma subsampling blur the edges by a pixel or two.
  EXPECT_GT(changed_inside, shown * 9 / 10);
  EXPECT_LT(changed_outside, shown / 10);
}

// Runs read with the process's standard error captured; returns what was
// written to it.
template <typename Read>
std::string CapturingStderr(Read read) {
  const auto path = testing::ScratchDir() / "stderr.txt";
  std::fflush(stderr);
  const int saved = ::dup(2);
  std::FILE* sink = std::fopen(path.c_str(), "w");
  ::dup2(::fileno(sink), 2);
  read();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(sink);
  const Bytes text = ReadAll(path);
  return std::string(text.begin(), text.end());
}

TEST(VobWriterMenuE2e, NavigationPacksReadBackWithLibdvdread) {
  MenuOutput m = WriteFourButtonMenu("e2e_dvdread");
  ASSERT_FALSE(m.vob.empty());
  Bytes vob = ReadAll(m.vob);
  std::vector<std::pair<pci_t, dsi_t>> packs;
  std::vector<std::uint32_t> sectors;
  const std::string complaints = CapturingStderr([&] {
    for (std::size_t s = 0; s < vob.size() / 2048; ++s) {
      std::uint8_t* p = vob.data() + s * 2048;
      if (p[17] != mpeg::kSystemHeader) continue;
      pci_t pci{};
      dsi_t dsi{};
      navRead_PCI(&pci, p + 45);
      navRead_DSI(&dsi, p + 1031);
      packs.emplace_back(pci, dsi);
      sectors.push_back(static_cast<std::uint32_t>(s));
    }
  });
  EXPECT_EQ(complaints, "");
  ASSERT_GE(packs.size(), 2u);
  for (std::size_t i = 0; i < packs.size(); ++i) {
    const pci_t& pci = packs[i].first;
    const dsi_t& dsi = packs[i].second;
    EXPECT_EQ(pci.pci_gi.nv_pck_lbn, sectors[i]);
    EXPECT_EQ(dsi.dsi_gi.nv_pck_lbn, sectors[i]);
    EXPECT_EQ(dsi.dsi_gi.vobu_vob_idn, 1);
    EXPECT_EQ(dsi.dsi_gi.vobu_c_idn, 1);
    const std::uint32_t last =
        i + 1 < packs.size() ? sectors[i + 1] - 1 : static_cast<std::uint32_t>(vob.size() / 2048 - 1);
    EXPECT_EQ(dsi.dsi_gi.vobu_ea, last - sectors[i]);
    if (i + 1 < packs.size()) {
      EXPECT_EQ(dsi.vobu_sri.next_vobu, 0x80000000u | (sectors[i + 1] - sectors[i]));
      EXPECT_EQ(pci.pci_gi.vobu_e_ptm, packs[i + 1].first.pci_gi.vobu_s_ptm);
    }
    const hli_t& hli = pci.hli;
    EXPECT_EQ(hli.hl_gi.hli_ss, i == 0 ? 1 : 2);
    EXPECT_EQ(hli.hl_gi.hli_s_ptm, pci.pci_gi.vobu_s_ptm);
    ASSERT_EQ(hli.hl_gi.btn_ns, 4);
    EXPECT_EQ(hli.btn_colit.btn_coli[0][0], 0x4580FFF0u);
    EXPECT_EQ(hli.btn_colit.btn_coli[0][1], 0x4590FFF0u);
    for (int k = 0; k < 4; ++k) {
      const btni_t& b = hli.btnit[k];
      const MenuButton& want = m.buttons[static_cast<std::size_t>(k)];
      EXPECT_EQ(b.btn_coln, 1u);
      EXPECT_EQ(b.x_start, static_cast<unsigned>(want.left));
      EXPECT_EQ(b.x_end, static_cast<unsigned>(want.right));
      EXPECT_EQ(b.y_start, static_cast<unsigned>(want.top));
      EXPECT_EQ(b.y_end, static_cast<unsigned>(want.bottom));
      EXPECT_EQ(b.up, k == 0 ? 4u : static_cast<unsigned>(k));
      EXPECT_EQ(b.down, k == 3 ? 1u : static_cast<unsigned>(k + 2));
    }
    const NavCommand main_menu = MakeCommand(kCmdJumpVmgmPgc, 1);
    EXPECT_TRUE(std::equal(main_menu.begin(), main_menu.end(), hli.btnit[3].cmd.bytes));
  }
}

}  // namespace
}  // namespace morvix
