#include "subpicture_encoder.h"

#include <gtest/gtest.h>

#include "mpeg_scanner.h"
#include "mpeg_testutil.h"
#include "platform/bitmap.h"
#include "platform/byte_order.h"
#include "vob_testutil.h"

namespace morvix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::GetBe16;

Bytes Line(std::initializer_list<std::pair<int, std::uint8_t>> runs) {
  Bytes line;
  for (const auto& [n, v] : runs) line.insert(line.end(), static_cast<std::size_t>(n), v);
  return line;
}

Bytes Encode(const Bytes& line) {
  Bytes out;
  EXPECT_EQ(EncodeLine(line.data(), static_cast<int>(line.size()), out), kOk);
  return out;
}

MenuButton Rect(int left, int top, int right, int bottom) {
  MenuButton b;
  b.left = left;
  b.top = top;
  b.right = right;
  b.bottom = bottom;
  return b;
}

ButtonMap MapOf(int width, int height, std::uint8_t (*value)(int x, int y)) {
  ButtonMap map;
  map.left = 40;
  map.top = 40;
  map.right = 40 + width - 1;
  map.bottom = 40 + height - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) map.pixels.push_back(value(x, y));
  }
  return map;
}

TEST(SubpictureRunLength, RunsUseTheShortestCodeAndTheLineEndsWithAnEndOfLineCode) {
  // A single value: one 16-bit end-of-line code.
  EXPECT_EQ(Encode(Line({{720, 1}})), (Bytes{0x00, 0x01}));
  EXPECT_EQ(Encode(Line({{10, 3}})), (Bytes{0x00, 0x03}));
  // 300 x 0 then 420 x 1: 255 of 0 (16 bits), 45 of 0 (12 bits), end of line
  // with 1 (16 bits), 4 zero bits to the byte.
  EXPECT_EQ(Encode(Line({{300, 0}, {420, 1}})), (Bytes{0x03, 0xFC, 0x0B, 0x40, 0x00, 0x10}));
  // 2 of 1 (4 bits), 4 of 2 (8 bits), end of line with 3 (16 bits), padding.
  EXPECT_EQ(Encode(Line({{2, 1}, {4, 2}, {1, 3}})), (Bytes{0x91, 0x20, 0x00, 0x30}));
  // 64 of 2 takes 16 bits, 63 of 2 takes 12.
  EXPECT_EQ(Encode(Line({{64, 2}, {1, 0}})), (Bytes{0x01, 0x02, 0x00, 0x00}));
  EXPECT_EQ(Encode(Line({{63, 2}, {1, 0}})), (Bytes{0x0F, 0xE0, 0x00, 0x00}));
}

TEST(SubpictureRunLength, NoisyFullLinesAreCodedNotRefused) {
  // Every pixel differs from the next: 4 bits each, far beyond 1440 bits.
  ButtonMap map = MapOf(718, 4, [](int x, int) { return static_cast<std::uint8_t>(x % 2); });
  Bytes data;
  std::size_t top = 0;
  ASSERT_EQ(EncodeFields(map, data, top), kOk);
  // 717 codes of 4 bits and the end-of-line code: 2884 bits, 361 bytes a line.
  EXPECT_EQ(top, 2u * 361);
  EXPECT_EQ(data.size(), 2 * top);
  EXPECT_EQ(data[0], 0x45);  // 1 of 0, 1 of 1
}

TEST(SubpictureRunLength, FieldsHoldTheEvenLinesThenTheOddLines) {
  ButtonMap map = MapOf(8, 4, [](int, int y) { return static_cast<std::uint8_t>(y); });
  Bytes data;
  std::size_t top = 0;
  ASSERT_EQ(EncodeFields(map, data, top), kOk);
  EXPECT_EQ(top, 4u);
  EXPECT_EQ(data, (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03}));
  ButtonMap empty;
  EXPECT_EQ(EncodeFields(empty, data, top), kSpuErrNoFieldMap);
}

TEST(SubpictureButtonMap, BoxStartsOnAnEvenLineAndHoldsWholeLinePairs) {
  ButtonMap map;
  ASSERT_EQ(MakeButtonMap({Rect(100, 41, 140, 60), Rect(50, 45, 60, 50)}, {}, map), kOk);
  EXPECT_EQ(map.left, 50);
  EXPECT_EQ(map.right, 140);
  EXPECT_EQ(map.top, 40);
  EXPECT_EQ(map.bottom, 61);
  ASSERT_EQ(map.pixels.size(), static_cast<std::size_t>(91 * 22));
  auto at = [&map](int x, int y) { return map.pixels[static_cast<std::size_t>((y - 40) * 91 + (x - 50))]; };
  EXPECT_EQ(at(100, 41), 1);
  EXPECT_EQ(at(140, 60), 1);
  EXPECT_EQ(at(100, 40), 0);
  EXPECT_EQ(at(55, 50), 1);
  EXPECT_EQ(at(61, 50), 0);  // the second rectangle ends at 60
  EXPECT_EQ(at(99, 50), 0);
  EXPECT_EQ(MakeButtonMap({}, {}, map), kSpuErrNoButtons);
}

TEST(SubpictureButtonMap, MaskColoursMapToPixelValuesAndOthersWarnOncePerBitmap) {
  platform::Bitmap bmp;
  bmp.width = 6;
  bmp.height = 2;
  const std::uint8_t rgb[12][3] = {{0, 0, 0},   {255, 255, 255}, {255, 0, 0}, {0, 0, 255},
                                   {0, 254, 0}, {1, 2, 3},       {0, 0, 0},   {0, 0, 0},
                                   {0, 0, 0},   {0, 0, 0},       {0, 0, 0},   {0, 254, 0}};
  for (const auto& p : rgb) bmp.rgb.insert(bmp.rgb.end(), p, p + 3);
  const auto path = testing::ScratchDir() / "colours.bmp";
  ASSERT_TRUE(platform::WriteBmp(path, bmp, nullptr));
  MenuButton mask;
  mask.kind = MenuButtonKind::kMask;
  mask.left = 41;
  mask.top = 40;
  mask.right = 47;
  mask.bottom = 42;
  mask.mask_file = path;
  std::vector<std::wstring> warnings;
  ButtonMap map;
  ASSERT_EQ(MakeButtonMap(
                {mask, mask}, [&](const std::wstring& w) { warnings.push_back(w); }, map),
            kOk);
  EXPECT_EQ(map.left, 41);
  EXPECT_EQ(map.width(), 7);
  EXPECT_EQ((Bytes(map.pixels.begin(), map.pixels.begin() + 7)), (Bytes{0, 1, 2, 3, 0, 0, 0}));
  // One warning for each placed bitmap, at its first odd colour.
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0], L"Invalid color: [0000FE00] at [4,0], in file\n" + path.wstring() + L"\n");

  mask.mask_file = testing::ScratchDir() / "absent.bmp";
  std::filesystem::path failing;
  EXPECT_EQ(MakeButtonMap({Rect(40, 40, 50, 50), mask}, {}, map, &failing), kSpuErrMaskLoad);
  EXPECT_EQ(failing, mask.mask_file);
}

TEST(SubpictureButtonMap, ButtonsPastThePictureEdgeAreCut) {
  ButtonMap map;
  ASSERT_EQ(MakeButtonMap({Rect(600, 500, 900, 700)}, {}, map), kOk);
  EXPECT_EQ(map.right, 719);
  EXPECT_EQ(map.bottom, 575);
  EXPECT_EQ(map.height() % 2, 0);
}

TEST(SubpictureUnit, ControlSequenceShowsTheBoxWithTheNormalColours) {
  ButtonMap map;
  ASSERT_EQ(MakeButtonMap({Rect(100, 200, 139, 229)}, {}, map), kOk);
  ButtonColorSchemes schemes;
  Bytes spu;
  ASSERT_EQ(BuildSpu(map, schemes.normal, spu), kOk);
  const std::size_t r = spu.size() - 28;
  EXPECT_EQ(GetBe16(spu.data()), spu.size());
  EXPECT_EQ(GetBe16(spu.data() + 2), r + 4);
  EXPECT_EQ(r % 2, 0u);
  const std::uint8_t* c = spu.data() + r + 4;
  EXPECT_EQ(Bytes(c, c + 24), (Bytes{0x00,
                                     0x00,
                                     static_cast<std::uint8_t>((r + 4) >> 8),
                                     static_cast<std::uint8_t>(r + 4),
                                     0x00,
                                     0x03,
                                     0x25,
                                     0x70,
                                     0x04,
                                     0xF0,
                                     0xF0,
                                     0x05,
                                     0x06,
                                     0x40,
                                     0x8B,
                                     0x0C,
                                     0x80,
                                     0xE5,
                                     0x06,
                                     0x00,
                                     0x04,
                                     static_cast<std::uint8_t>((4 + r / 2) >> 8),
                                     static_cast<std::uint8_t>(4 + r / 2),
                                     0xFF}));
}

TEST(SubpictureUnit, UnitsAboveThePlayerLimitAreRefused) {
  // Alternating pixels over 720 x 160 need more than 53,220 bytes.
  ButtonMap noisy = MapOf(700, 160, [](int x, int y) { return static_cast<std::uint8_t>((x + y) % 2); });
  Bytes spu;
  EXPECT_EQ(BuildSpu(noisy, ButtonColorSchemes{}.normal, spu), kErrSubpictureTooLarge);
  ButtonMap fits = MapOf(700, 148, [](int x, int y) { return static_cast<std::uint8_t>((x + y) % 2); });
  ASSERT_EQ(BuildSpu(fits, ButtonColorSchemes{}.normal, spu), kOk);
  EXPECT_LE(spu.size(), kMaxSpuBytes);
  Bytes packs;
  EXPECT_EQ(EncodeHighlight(noisy, 0, {}, packs), kErrSubpictureTooLarge);
  EXPECT_EQ(EncodeHighlight(ButtonMap{}, 0, {}, packs), kSpuErrNoMap);
}

struct PackShape {
  std::size_t payload = 0;
  std::size_t pes_stuffing = 0;
  std::size_t padding = 0;  // bytes of the padding packet, 0 = none
};

PackShape Shape(const std::uint8_t* p, bool first) {
  PackShape s;
  EXPECT_EQ(GetBe16(p), 0);
  EXPECT_EQ(p[3], 0xBA);
  EXPECT_EQ(p[13], 0xF8) << "no stuffing in the pack header";
  EXPECT_EQ(p[17], 0xBD);
  const std::size_t length = GetBe16(p + 18);
  const std::size_t header = p[22];
  if (first) {
    EXPECT_EQ(p[21], 0x81);
    EXPECT_EQ(p[28], 0x1E);
    EXPECT_EQ(p[29], 0x60);
    EXPECT_EQ(p[30], 0x3A);
  } else {
    EXPECT_EQ(p[21], 0x00);
  }
  s.pes_stuffing = header - (first ? 8 : 0);
  for (std::size_t i = 0; i < s.pes_stuffing; ++i) EXPECT_EQ(p[23 + header - s.pes_stuffing + i], 0xFF);
  EXPECT_EQ(p[23 + header], 0x20);
  s.payload = length - header - 4;
  const std::size_t end = 20 + length;
  if (end < 2048) {
    EXPECT_EQ(p[end + 3], 0xBE);
    s.padding = 6 + GetBe16(p + end + 4);
  }
  EXPECT_EQ(end + s.padding, 2048u);
  return s;
}

Bytes Packetise(std::size_t size) {
  Bytes spu(size);
  for (std::size_t i = 0; i < size; ++i) spu[i] = static_cast<std::uint8_t>(i * 7);
  Bytes packs;
  EXPECT_EQ(PacketiseSpu(spu, 48600, packs), kOk);
  EXPECT_EQ(packs.size() % 2048, 0u);
  // The payloads joined give the unit back.
  Bytes joined;
  for (std::size_t at = 0; at < packs.size(); at += 2048) {
    const std::uint8_t* p = packs.data() + at;
    const std::size_t header = p[22];
    const std::size_t payload = GetBe16(p + 18) - header - 4;
    joined.insert(joined.end(), p + 24 + header, p + 24 + header + payload);
  }
  EXPECT_EQ(joined, spu);
  return packs;
}

TEST(SubpicturePackets, UnitSizesFillWholePacksWithStuffingOnlyInThePacketHeader) {
  Bytes full = Packetise(2016);
  ASSERT_EQ(full.size(), 2048u);
  PackShape s = Shape(full.data(), true);
  EXPECT_EQ(s.payload, 2016u);
  EXPECT_EQ(s.pes_stuffing, 0u);
  EXPECT_EQ(s.padding, 0u);

  Bytes stuffed = Packetise(2012);
  ASSERT_EQ(stuffed.size(), 2048u);
  s = Shape(stuffed.data(), true);
  EXPECT_EQ(s.payload, 2012u);
  EXPECT_EQ(s.pes_stuffing, 4u);
  EXPECT_EQ(s.padding, 0u);

  Bytes padded = Packetise(2000);
  ASSERT_EQ(padded.size(), 2048u);
  s = Shape(padded.data(), true);
  EXPECT_EQ(s.payload, 2000u);
  EXPECT_EQ(s.pes_stuffing, 0u);
  EXPECT_EQ(s.padding, 16u);  // 10 data bytes

  // The PTS of the first packet.
  EXPECT_EQ(Bytes(full.begin() + 23, full.begin() + 28), (Bytes{0x21, 0x00, 0x03, 0x7B, 0xB1}));
}

TEST(SubpicturePackets, LongUnitsContinueInLaterPacksThatTheAnalyserAccepts) {
  for (std::size_t size : {2017u, 4040u, 4041u, 4035u, 6000u}) {
    SCOPED_TRACE(size);
    Bytes packs = Packetise(size);
    ASSERT_EQ(packs.size() / 2048, SpuPackCount(size));
    EXPECT_EQ(SpuPackCount(size), size <= 4040 ? 2u : 3u + (size > 6064));
    for (std::size_t k = 0; k < packs.size() / 2048; ++k) Shape(packs.data() + k * 2048, k == 0);
    mpeg::StreamScanner scanner;
    const Bytes nav = testing::NavPack();
    ASSERT_EQ(scanner.AddPack(nav.data(), 0), kOk);
    for (std::size_t k = 0; k < packs.size() / 2048; ++k) {
      EXPECT_EQ(scanner.AddPack(packs.data() + k * 2048, static_cast<std::int64_t>(k + 1)), kOk);
    }
  }
  Bytes packs;
  EXPECT_EQ(PacketiseSpu({}, 0, packs), kSpuErrEmptyUnit);
}

}  // namespace
}  // namespace morvix
