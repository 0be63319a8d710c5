#include "subpicture_encoder.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "mpeg_format.h"
#include "platform/bitmap.h"
#include "platform/byte_order.h"
#include "platform/text.h"
#include "spu_format.h"

namespace morvix {
namespace {

// Bits written most significant first into whole bytes.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ == 0) out_.push_back(0);
      if ((value >> i) & 1u) out_.back() |= static_cast<std::uint8_t>(0x80u >> used_);
      used_ = (used_ + 1) & 7;
    }
  }
  bool aligned() const { return used_ == 0; }
  // Completes a half-filled byte with zero bits.
  void Align() { used_ = 0; }

 private:
  std::vector<std::uint8_t>& out_;
  int used_ = 0;
};

// Code of a run of n pixels (0 = to the end of the line) with value v.
Status PutRun(BitWriter& bits, int n, std::uint8_t v) {
  const std::uint32_t code = static_cast<std::uint32_t>(n) << 2 | (v & 3u);
  if (n >= 1 && n <= 3) {
    bits.Put(code, 4);
  } else if (n >= 4 && n <= 15) {
    bits.Put(code, 8);
  } else if (n >= 16 && n <= 63) {
    bits.Put(code, 12);
  } else if (n == 0 || (n >= 64 && n <= 255)) {
    bits.Put(code, 16);
  } else {
    return kSpuErrCodeTooLong;
  }
  return kOk;
}

std::uint8_t MaskValue(std::uint32_t colorref, bool& valid) {
  valid = true;
  switch (colorref) {
    case 0x000000:
      return 0;
    case 0xFFFFFF:
      return 1;
    case 0x0000FF:
      return 2;  // pure red
    case 0xFF0000:
      return 3;  // pure blue
    default:
      valid = false;
      return 0;
  }
}

}  // namespace

Status MakeButtonMap(const std::vector<MenuButton>& buttons, const WarningSink& warning, ButtonMap& map,
                     std::filesystem::path* failing_mask) {
  if (buttons.empty()) return kSpuErrNoButtons;
  ButtonMap box;
  box.left = kSpuPictureWidth;
  box.top = kSpuPictureHeight;
  box.right = -1;
  box.bottom = -1;
  for (const MenuButton& b : buttons) {
    box.left = std::min(box.left, std::max(b.left, 0));
    box.top = std::min(box.top, std::max(b.top, 0));
    box.right = std::max(box.right, std::min(b.right, kSpuPictureWidth - 1));
    box.bottom = std::max(box.bottom, std::min(b.bottom, kSpuPictureHeight - 1));
  }
  if (box.right < box.left || box.bottom < box.top) return kSpuErrMapSize;
  if (box.top % 2 != 0) --box.top;
  // The picture has an even number of lines, so an even top never needs a
  // line past the last one here.
  if (box.height() % 2 != 0) ++box.bottom;
  try {
    box.pixels.assign(static_cast<std::size_t>(box.width()) * static_cast<std::size_t>(box.height()), 0);
  } catch (const std::bad_alloc&) {
    return kSpuErrNoMemory;
  }
  auto set = [&box](int x, int y, std::uint8_t v) {
    if (x < box.left || x > box.right || y < box.top || y > box.bottom) return;
    box.pixels[static_cast<std::size_t>(y - box.top) * static_cast<std::size_t>(box.width()) +
               static_cast<std::size_t>(x - box.left)] = v;
  };
  for (const MenuButton& b : buttons) {
    if (b.kind != MenuButtonKind::kMask) {
      for (int y = std::max(b.top, box.top); y <= std::min(b.bottom, box.bottom); ++y) {
        for (int x = std::max(b.left, box.left); x <= std::min(b.right, box.right); ++x) set(x, y, 1);
      }
      continue;
    }
    platform::BitmapResult bmp = platform::ReadBmp(b.mask_file);
    if (bmp.status != platform::BitmapStatus::kOk) {
      if (failing_mask != nullptr) *failing_mask = b.mask_file;
      return kSpuErrMaskLoad;
    }
    bool warned = false;
    for (int y = 0; y < bmp.bitmap.height; ++y) {
      for (int x = 0; x < bmp.bitmap.width; ++x) {
        const std::uint8_t* rgb = bmp.bitmap.Pixel(x, y);
        const std::uint32_t colorref =
            rgb[0] | static_cast<std::uint32_t>(rgb[1]) << 8 | static_cast<std::uint32_t>(rgb[2]) << 16;
        bool valid = true;
        const std::uint8_t v = MaskValue(colorref, valid);
        if (!valid && !warned) {
          warned = true;
          if (warning) {
            char text[96];
            std::snprintf(text, sizeof text, "Invalid color: [%08X] at [%d,%d], in file\n", colorref, x, y);
            warning(platform::Utf8ToWide(text) + platform::PathToWide(b.mask_file) + L"\n");
          }
        }
        set(b.left + x, b.top + y, v);
      }
    }
  }
  map = std::move(box);
  return kOk;
}

Status EncodeLine(const std::uint8_t* pixels, int width, std::vector<std::uint8_t>& out) {
  BitWriter bits(out);
  int x = 0;
  while (x < width) {
    const std::uint8_t v = pixels[x] & 3u;
    int n = 1;
    while (x + n < width && (pixels[x + n] & 3u) == v) ++n;
    if (x + n == width) {
      if (const Status s = PutRun(bits, 0, v); s != kOk) return s;
      break;
    }
    int left = n;
    while (left >= 256) {
      if (const Status s = PutRun(bits, 255, v); s != kOk) return s;
      left -= 255;
    }
    if (const Status s = PutRun(bits, left, v); s != kOk) return s;
    x += n;
  }
  if (!bits.aligned()) bits.Align();
  return kOk;
}

Status EncodeFields(const ButtonMap& map, std::vector<std::uint8_t>& data, std::size_t& top_size) {
  if (map.pixels.empty()) return kSpuErrNoFieldMap;
  const int width = map.width();
  const int height = map.height();
  if (width < 1 || width > kSpuPictureWidth - 1 || height < 1 || height > kSpuPictureHeight - 1 ||
      map.pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return kSpuErrFieldSize;
  }
  data.clear();
  try {
    // Worst case: a code of 4 bits for every pixel plus the end-of-line code.
    data.reserve(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) / 2 + 4));
    for (int field = 0; field < 2; ++field) {
      for (int y = field; y < height; y += 2) {
        const Status s = EncodeLine(
            &map.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)], width, data);
        if (s != kOk) return s;
      }
      if (field == 0) top_size = data.size();
    }
    if (data.size() % 2 != 0) data.push_back(0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Status BuildSpu(const ButtonMap& map, const ButtonColorScheme& normal, std::vector<std::uint8_t>& spu) {
  if (map.pixels.empty()) return kSpuErrNoUnitData;
  if (map.width() < 1 || map.width() > kSpuPictureWidth || map.height() < 1 ||
      map.height() > kSpuPictureHeight) {
    return kSpuErrUnitSize;
  }
  std::vector<std::uint8_t> data;
  std::size_t top_size = 0;
  if (const Status s = EncodeFields(map, data, top_size); s != kOk) return s;
  const std::size_t r = data.size();
  const std::size_t total = r + spu::kUnitOverhead;
  if (total > kMaxSpuBytes) return kErrSubpictureTooLarge;
  try {
    spu.assign(total, 0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  std::uint8_t* p = spu.data();
  platform::PutBe16(p, total);
  platform::PutBe16(p + 2, r + 4);
  std::copy(data.begin(), data.end(), p + 4);
  std::uint8_t* c = p + 4 + r;
  platform::PutBe16(c, 0);          // delay
  platform::PutBe16(c + 2, r + 4);  // the last control sequence points at itself
  c[4] = spu::kCmdForceStart;
  c[5] = spu::kCmdSetColor;
  c[6] = static_cast<std::uint8_t>((normal.color[3] & 15) << 4 | (normal.color[2] & 15));
  c[7] = static_cast<std::uint8_t>((normal.color[1] & 15) << 4 | (normal.color[0] & 15));
  c[8] = spu::kCmdSetContrast;
  c[9] = static_cast<std::uint8_t>((normal.contrast[3] & 15) << 4 | (normal.contrast[2] & 15));
  c[10] = static_cast<std::uint8_t>((normal.contrast[1] & 15) << 4 | (normal.contrast[0] & 15));
  c[11] = spu::kCmdSetArea;
  const auto l = static_cast<std::uint32_t>(map.left), rt = static_cast<std::uint32_t>(map.right);
  const auto t = static_cast<std::uint32_t>(map.top), b = static_cast<std::uint32_t>(map.bottom);
  c[12] = static_cast<std::uint8_t>(l >> 4);
  c[13] = static_cast<std::uint8_t>((l & 15) << 4 | rt >> 8);
  c[14] = static_cast<std::uint8_t>(rt);
  c[15] = static_cast<std::uint8_t>(t >> 4);
  c[16] = static_cast<std::uint8_t>((t & 15) << 4 | b >> 8);
  c[17] = static_cast<std::uint8_t>(b);
  c[18] = spu::kCmdSetFieldOffsets;
  platform::PutBe16(c + 19, 4);
  platform::PutBe16(c + 21, 4 + top_size);
  c[23] = spu::kCmdEnd;
  return kOk;
}

std::size_t SpuPackCount(std::size_t size) {
  if (size <= spu::kFirstPayload) return 1;
  return (size + 7) / spu::kLaterPayload + 1;
}

Status PacketiseSpu(const std::vector<std::uint8_t>& spu, std::uint64_t pts,
                    std::vector<std::uint8_t>& packs) {
  if (spu.empty()) return kSpuErrEmptyUnit;
  const std::size_t count = SpuPackCount(spu.size());
  const std::size_t base = packs.size();
  try {
    packs.resize(base + count * mpeg::kPackSize, 0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  std::size_t sent = 0;
  for (std::size_t k = 0; k < count; ++k) {
    std::uint8_t* p = packs.data() + base + k * mpeg::kPackSize;
    const bool first = k == 0;
    const std::size_t room = first ? spu::kFirstPayload : spu::kLaterPayload;
    const std::size_t payload = std::min(room, spu.size() - sent);
    if (payload == 0) return kSpuErrNoPacketData;
    const std::size_t gap = room - payload;
    const std::size_t stuffing = gap <= 7 ? gap : 0;
    std::copy(spu::kPackHeader, spu::kPackHeader + mpeg::kPackHeaderSize, p);
    std::size_t at = mpeg::kPackHeaderSize;
    const std::size_t header_data = (first ? 8 : 0) + stuffing;
    p[at] = 0;
    p[at + 1] = 0;
    p[at + 2] = 1;
    p[at + 3] = mpeg::kPrivateStream1;
    platform::PutBe16(p + at + 4, payload + header_data + 4);
    p[at + 6] = 0x81;
    p[at + 7] = first ? 0x81 : 0x00;  // PTS and PES extension in the first packet
    p[at + 8] = static_cast<std::uint8_t>(header_data);
    at += 9;
    if (first) {
      p[at] = static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0E));
      p[at + 1] = static_cast<std::uint8_t>(pts >> 22);
      p[at + 2] = static_cast<std::uint8_t>(((pts >> 14) & 0xFE) | 1);
      p[at + 3] = static_cast<std::uint8_t>(pts >> 7);
      p[at + 4] = static_cast<std::uint8_t>(((pts << 1) & 0xFE) | 1);
      p[at + 5] = 0x1E;  // P-STD buffer field follows
      p[at + 6] = 0x60;  // 58 KiB
      p[at + 7] = 0x3A;
      at += 8;
    }
    std::fill(p + at, p + at + stuffing, 0xFF);
    at += stuffing;
    p[at++] = spu::kSubpictureStream0;
    std::copy(spu.begin() + static_cast<std::ptrdiff_t>(sent),
              spu.begin() + static_cast<std::ptrdiff_t>(sent + payload), p + at);
    at += payload;
    sent += payload;
    if (at < mpeg::kPackSize) {
      const std::size_t padding = mpeg::kPackSize - at;
      p[at] = 0;
      p[at + 1] = 0;
      p[at + 2] = 1;
      p[at + 3] = mpeg::kPaddingStream;
      platform::PutBe16(p + at + 4, padding - 6);
      std::fill(p + at + 6, p + mpeg::kPackSize, 0xFF);
    }
  }
  return sent == spu.size() ? kOk : kSpuErrNoPacketData;
}

Status EncodeHighlight(const ButtonMap& map, std::uint64_t pts, const ButtonColorSchemes& schemes,
                       std::vector<std::uint8_t>& packs) {
  if (map.pixels.empty()) return kSpuErrNoMap;
  if (map.width() < 1 || map.width() > kSpuPictureWidth - 1 || map.height() < 1 ||
      map.height() > kSpuPictureHeight - 1) {
    return kSpuErrMapSize;
  }
  std::vector<std::uint8_t> spu;
  if (const Status s = BuildSpu(map, schemes.normal, spu); s != kOk) return s;
  return PacketiseSpu(spu, pts, packs);
}

}  // namespace morvix
