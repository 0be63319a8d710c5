#include "platform/bitmap.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fileio.h"
#include "testing/tools.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Runs a program with its arguments (no shell); true when it exits with 0.
bool RunProgram(const std::vector<std::string>& args) {
  const vantora::testing::ToolResult run = vantora::testing::RunTool(args);
  return run.started && run.exit_code == 0;
}

class BitmapFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    FileError err;
    folder_ = TemporaryFolder::Create("bitmap_test", &err);
    ASSERT_TRUE(folder_) << err.message;
    dir_ = folder_->path();
  }

  std::string Bytes(const fs::path& p) {
    FileError err;
    return ReadFile(p, &err).value_or("");
  }
  void Put(const fs::path& p, const std::string& bytes) {
    FileError err;
    ASSERT_TRUE(WriteFileAtomic(p, bytes, &err)) << err.message;
  }
  BitmapResult ParseString(const std::string& bytes) {
    return ParseBmp(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }

  std::optional<TemporaryFolder> folder_;
  fs::path dir_;
};

Bitmap Gradient(int w, int h) {
  Bitmap bm;
  bm.width = w;
  bm.height = h;
  bm.rgb.resize(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = bm.Pixel(x, y);
      p[0] = static_cast<std::uint8_t>(x * 40 + 1);
      p[1] = static_cast<std::uint8_t>(y * 50 + 2);
      p[2] = static_cast<std::uint8_t>(x * 7 + y * 13 + 3);
    }
  }
  return bm;
}

void Set32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Set16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

TEST_F(BitmapFiles, WrittenBitmapsReadBackAndDecodeWithAnIndependentReader) {
  const Bitmap bm = Gradient(5, 3);  // 15 bytes per row: 1 byte of padding
  const fs::path p = dir_ / "g.bmp";
  std::string error;
  ASSERT_TRUE(WriteBmp(p, bm, &error)) << error;
  const std::string bytes = Bytes(p);
  ASSERT_EQ(bytes.size(), 54u + 16 * 3);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  // Bottom-up: the top-left pixel is the first pixel of the last stored row, in B, G, R order.
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[54 + 32]), bm.Pixel(0, 0)[2]);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[54 + 34]), bm.Pixel(0, 0)[0]);

  BitmapResult r = ReadBmp(p);
  ASSERT_EQ(r.status, BitmapStatus::kOk) << r.message;
  EXPECT_EQ(r.bits_per_pixel, 24);
  EXPECT_EQ(r.bitmap.width, 5);
  EXPECT_EQ(r.bitmap.height, 3);
  EXPECT_EQ(r.bitmap.rgb, bm.rgb);

  // ffmpeg decodes the same pixels.
  const fs::path raw = dir_ / "g.rgb";
  ASSERT_TRUE(RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", p.string(), "-f",
                          "rawvideo", "-pix_fmt", "rgb24", raw.string()}));
  const std::string decoded = Bytes(raw);
  EXPECT_EQ(decoded, std::string(bm.rgb.begin(), bm.rgb.end()));
}

TEST_F(BitmapFiles, TopDownAndLaterHeaderVersionsAreRead) {
  const Bitmap bm = Gradient(3, 2);
  const fs::path p = dir_ / "g.bmp";
  std::string error;
  ASSERT_TRUE(WriteBmp(p, bm, &error)) << error;
  const std::string bottom_up = Bytes(p);
  const std::string rows = bottom_up.substr(54);  // two rows of 12 bytes

  // The same picture top-down (negative height) with a 124-byte header.
  std::string v5 =
      bottom_up.substr(0, 54) + std::string(124 - 40, '\0') + rows.substr(12, 12) + rows.substr(0, 12);
  Set32(v5, 10, 14 + 124);
  Set32(v5, 14, 124);
  Set32(v5, 22, static_cast<std::uint32_t>(-2));
  BitmapResult r = ParseString(v5);
  ASSERT_EQ(r.status, BitmapStatus::kOk) << r.message;
  EXPECT_EQ(r.bitmap.rgb, bm.rgb);

  // A colour table between the header and the pixels is skipped via the pixel offset.
  std::string with_table = bottom_up.substr(0, 54) + std::string(16, '\x7f') + rows;
  Set32(with_table, 10, 54 + 16);
  r = ParseString(with_table);
  ASSERT_EQ(r.status, BitmapStatus::kOk) << r.message;
  EXPECT_EQ(r.bitmap.rgb, bm.rgb);

  // The 12-byte core header (16-bit sizes): 2x1 pixels, blue then white.
  const std::string core(
      "BM\x22\0\0\0\0\0\0\0\x1A\0\0\0"
      "\x0C\0\0\0\x02\0\x01\0\x01\0\x18\0"
      "\xFF\0\0\xFF\xFF\xFF\0\0",
      34);
  r = ParseString(core);
  ASSERT_EQ(r.status, BitmapStatus::kOk) << r.message;
  EXPECT_EQ(r.bitmap.rgb, (std::vector<std::uint8_t>{0, 0, 255, 255, 255, 255}));
}

TEST_F(BitmapFiles, ABitmapFromFfmpegKeepsRedAndBlueApart) {
  const fs::path p = dir_ / "red.bmp";
  ASSERT_TRUE(RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                          "color=c=red:s=64x32", "-frames:v", "1", "-pix_fmt", "bgr24", p.string()}));
  BitmapResult r = ReadBmp(p);
  ASSERT_EQ(r.status, BitmapStatus::kOk) << r.message;
  EXPECT_EQ(r.bitmap.width, 64);
  EXPECT_EQ(r.bitmap.height, 32);
  for (int y : {0, 31}) {
    for (int x : {0, 63}) {
      const std::uint8_t* px = r.bitmap.Pixel(x, y);
      EXPECT_GT(px[0], 200) << x << "," << y;
      EXPECT_LT(px[1], 40);
      EXPECT_LT(px[2], 40);
    }
  }
}

TEST_F(BitmapFiles, EachKindOfBadFileGetsItsOwnRefusal) {
  // Unreadable: missing, a folder, a FIFO, truncated header, truncated pixels.
  EXPECT_EQ(ReadBmp(dir_ / "missing.bmp").status, BitmapStatus::kUnreadable);
  EXPECT_NE(ReadBmp(dir_ / "missing.bmp").message.find("missing.bmp"), std::string::npos);
  EXPECT_EQ(ReadBmp(dir_).status, BitmapStatus::kUnreadable);
  ASSERT_EQ(::mkfifo((dir_ / "fifo.bmp").c_str(), 0600), 0);
  EXPECT_EQ(ReadBmp(dir_ / "fifo.bmp").status, BitmapStatus::kUnreadable);
  const fs::path good = dir_ / "good.bmp";
  std::string error;
  ASSERT_TRUE(WriteBmp(good, Gradient(4, 4), &error)) << error;
  const std::string bytes = Bytes(good);
  for (std::size_t cut :
       {std::size_t{0}, std::size_t{1}, std::size_t{10}, std::size_t{40}, bytes.size() - 1}) {
    Put(dir_ / "cut.bmp", bytes.substr(0, cut));
    EXPECT_EQ(ReadBmp(dir_ / "cut.bmp").status, BitmapStatus::kUnreadable) << cut;
    EXPECT_EQ(ParseString(bytes.substr(0, cut)).status, BitmapStatus::kUnreadable) << cut;
  }

  // Not a BMP: wrong signature, unknown header size, planes != 1, pixel offset inside the header.
  Put(dir_ / "gif.bmp", "GIF89a" + std::string(100, '\0'));
  EXPECT_EQ(ReadBmp(dir_ / "gif.bmp").status, BitmapStatus::kNotBmp);
  std::string bad = bytes;
  Set32(bad, 14, 20);
  EXPECT_EQ(ParseString(bad).status, BitmapStatus::kNotBmp);
  bad = bytes;
  Set16(bad, 26, 3);
  EXPECT_EQ(ParseString(bad).status, BitmapStatus::kNotBmp);
  bad = bytes;
  Set32(bad, 10, 20);
  EXPECT_EQ(ParseString(bad).status, BitmapStatus::kNotBmp);

  // Compressed 24-bit data, and an embedded PNG.
  bad = bytes;
  Set32(bad, 30, 1);
  EXPECT_EQ(ParseString(bad).status, BitmapStatus::kCompressed);
  Set32(bad, 30, 5);
  Set16(bad, 28, 0);
  EXPECT_EQ(ParseString(bad).status, BitmapStatus::kCompressed);

  // Sizes outside 1..16384 on either axis, refused before any allocation.
  for (std::int32_t w : {0, -4, 16385}) {
    bad = bytes;
    Set32(bad, 18, static_cast<std::uint32_t>(w));
    EXPECT_EQ(ParseString(bad).status, BitmapStatus::kBadSize) << w;
  }
  for (std::int32_t h : {0, 16385, -16385, INT32_MIN}) {
    bad = bytes;
    Set32(bad, 22, static_cast<std::uint32_t>(h));
    EXPECT_EQ(ParseString(bad).status, BitmapStatus::kBadSize) << h;
  }
  // The largest allowed size with a tiny file is truncated, not allocated.
  bad = bytes;
  Set32(bad, 18, 16384);
  Set32(bad, 22, 16384);
  Put(dir_ / "huge.bmp", bad);
  EXPECT_EQ(ReadBmp(dir_ / "huge.bmp").status, BitmapStatus::kUnreadable);
  EXPECT_EQ(ParseString(bad).status, BitmapStatus::kUnreadable);
}

TEST_F(BitmapFiles, PalettedBitmapsAreRefusedWithTheirDepth) {
  const fs::path p = dir_ / "pal.bmp";
  ASSERT_TRUE(RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                          "color=c=red:s=64x32", "-frames:v", "1", "-pix_fmt", "pal8", p.string()}));
  BitmapResult r = ReadBmp(p);
  EXPECT_EQ(r.status, BitmapStatus::kNotTrueColor);
  EXPECT_EQ(r.bits_per_pixel, 8);
  EXPECT_NE(r.message.find("8 bits per pixel"), std::string::npos) << r.message;

  std::string bytes;
  std::string error;
  ASSERT_TRUE(WriteBmp(dir_ / "g.bmp", Gradient(2, 2), &error));
  bytes = Bytes(dir_ / "g.bmp");
  Set16(bytes, 28, 32);
  r = ParseString(bytes);
  EXPECT_EQ(r.status, BitmapStatus::kNotTrueColor);
  EXPECT_EQ(r.bits_per_pixel, 32);
}

TEST_F(BitmapFiles, WritingRefusesInconsistentBitmapsAndReportsFileErrors) {
  std::string error;
  Bitmap empty;
  EXPECT_FALSE(WriteBmp(dir_ / "e.bmp", empty, &error));
  EXPECT_FALSE(error.empty());
  Bitmap short_buffer = Gradient(4, 4);
  short_buffer.rgb.resize(10);
  EXPECT_FALSE(WriteBmp(dir_ / "s.bmp", short_buffer, &error));
  EXPECT_FALSE(fs::exists(dir_ / "s.bmp"));
  fs::create_directory(dir_ / "folder.bmp");
  error.clear();
  EXPECT_FALSE(WriteBmp(dir_ / "folder.bmp", Gradient(2, 2), &error));
  EXPECT_NE(error.find("folder.bmp"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.bmp"));
}

}  // namespace
}  // namespace platform
