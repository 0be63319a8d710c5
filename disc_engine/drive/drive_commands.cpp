#include "drive/drive_commands.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/byte_order.h"
#include "platform/scsi_sense.h"

namespace zephrel {

using platform::DataDirection;
using platform::GetBe16;
using platform::GetBe32;
using platform::ScsiResult;

platform::ScsiResult Send(platform::ScsiDevice& device, const mmc::Cdb& cdb, DataDirection direction,
                          std::span<std::uint8_t> buffer) {
  if (direction == DataDirection::kIn) std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  return device.exec(cdb.span(), direction, buffer, {});
}

std::string FailureText(const ScsiResult& result) {
  if (result.transport != ScsiResult::Transport::kOk) return result.transport_message;
  if (result.sense.valid) return platform::SenseText(result.sense);
  return "The drive answered with status " + std::to_string(result.status);
}

bool MediumAbsent(const ScsiResult& result) { return result.sense.valid && result.sense.asc == 0x3A; }

std::optional<DiscInformation> ReadDiscInformation(platform::ScsiDevice& device, ScsiResult* result) {
  std::array<std::uint8_t, 34> reply{};
  const ScsiResult r = Send(device, mmc::ReadDiscInformation(reply.size()), DataDirection::kIn, reply);
  if (result) *result = r;
  if (!r.ok() || r.transferred < 7) return std::nullopt;
  const bool wide = r.transferred >= 12;  // the high bytes of the counts
  DiscInformation info;
  info.disc_status = reply[2] & 0x03;
  info.last_session_state = reply[2] & 0x0C;
  info.erasable = (reply[2] & 0x10) != 0;
  info.sessions = reply[4] | (wide ? reply[9] << 8 : 0);
  info.first_track_last_session = reply[5] | (wide ? reply[10] << 8 : 0);
  info.last_track_last_session = reply[6] | (wide ? reply[11] << 8 : 0);
  return info;
}

std::optional<TrackInformation> ReadTrackInformation(platform::ScsiDevice& device, int track) {
  std::array<std::uint8_t, 48> reply{};
  const ScsiResult r = Send(
      device, mmc::ReadTrackInformation(mmc::kTrackByNumber, static_cast<std::uint32_t>(track), reply.size()),
      DataDirection::kIn, reply);
  if (!r.ok() || r.transferred < 28) return std::nullopt;
  TrackInformation info;
  info.number = reply[2] | (r.transferred >= 33 ? reply[32] << 8 : 0);
  info.session = reply[3] | (r.transferred >= 34 ? reply[33] << 8 : 0);
  info.reserved = (reply[6] & 0x80) != 0;
  info.blank = (reply[6] & 0x40) != 0;
  info.next_writable_valid = (reply[7] & 0x01) != 0;
  info.start = GetBe32(&reply[8]);
  if (info.next_writable_valid) info.next_writable = GetBe32(&reply[12]);
  info.size = GetBe32(&reply[24]);
  return info;
}

std::optional<std::uint16_t> CurrentProfile(platform::ScsiDevice& device) {
  std::array<std::uint8_t, 8> reply{};
  const ScsiResult r =
      Send(device, mmc::GetConfiguration(mmc::kOneFeature, mmc::kFeatureProfileList, reply.size()),
           DataDirection::kIn, reply);
  if (!r.ok() || r.transferred < 8) return std::nullopt;
  return static_cast<std::uint16_t>(GetBe16(&reply[6]));
}

bool SetWriteParameters(platform::ScsiDevice& device, const WriteParameters& parameters) {
  const std::optional<std::uint16_t> profile = CurrentProfile(device);
  const bool dvd_rw = profile == mmc::kProfileDvdRwRestricted || profile == mmc::kProfileDvdRwSequential;
  const bool dvd_r = profile == mmc::kProfileDvdR;
  constexpr std::size_t kHeader = 8;
  constexpr std::size_t kPage = 52;  // page code, length 50, and the 50 bytes

  std::array<std::uint8_t, kHeader + kPage + 8> sensed{};
  const ScsiResult r =
      Send(device, mmc::ModeSense10(mmc::kPageWriteParameters, sensed.size()), DataDirection::kIn, sensed);
  std::array<std::uint8_t, kHeader + kPage> list{};
  if (r.ok() && r.transferred >= kHeader) {
    // The page follows the header and any block descriptors.
    const std::size_t at = kHeader + GetBe16(&sensed[6]);
    if (at < r.transferred) {
      const std::size_t n = std::min({kPage, r.transferred - at, sensed.size() - at});
      std::memcpy(&list[kHeader], &sensed[at], n);
    }
  }
  std::uint8_t* page = &list[kHeader];
  page[0] = mmc::kPageWriteParameters;
  page[1] = kPage - 2;
  std::uint8_t write_type = dvd_rw  ? 0x02
                            : dvd_r ? 0x20
                                    : static_cast<std::uint8_t>(parameters.write_type & 0x0F);
  if (parameters.buffer_underrun_protection) write_type |= 0x40;
  if (parameters.test_write) write_type |= 0x10;
  page[2] = write_type;
  std::uint8_t track = (dvd_rw || dvd_r) ? 0x25 : 0x04;  // fixed packets of data (DVD-R/-RW), or data
  if (parameters.multisession) track |= 0xC0;
  page[3] = track;
  page[4] = static_cast<std::uint8_t>(parameters.data_block_type & 0x0F);
  if (dvd_rw || dvd_r) {
    page[5] = 0x10;   // link size
    page[13] = 0x10;  // packet size (low byte)
  }
  page[15] = 0x96;  // audio pause length: 150 sectors
  const ScsiResult selected = Send(device, mmc::ModeSelect10(list.size()), DataDirection::kOut, list);
  return selected.ok();
}

std::optional<FormattableCapacity> ReadFormattableCapacity(platform::ScsiDevice& device) {
  std::array<std::uint8_t, 252> reply{};
  const ScsiResult r = Send(device, mmc::ReadFormatCapacities(reply.size()), DataDirection::kIn, reply);
  if (!r.ok() || r.transferred < 12) return std::nullopt;
  FormattableCapacity capacity;
  const std::size_t list_length = reply[3];
  if (list_length >= 16 && r.transferred >= 20) {
    capacity.blocks = GetBe32(&reply[12]);
    capacity.format_byte = reply[16];
  }
  return capacity;
}

std::optional<long> CurrentWriteSpeed(platform::ScsiDevice& device) {
  std::array<std::uint8_t, 128> reply{};
  const ScsiResult r =
      Send(device, mmc::ModeSense10(mmc::kPageCapabilities, reply.size()), DataDirection::kIn, reply);
  if (!r.ok() || r.transferred < 8) return std::nullopt;
  const std::size_t page = 8 + GetBe16(&reply[6]);
  auto field = [&](std::size_t at) -> long {
    return page + at + 2 <= r.transferred ? static_cast<long>(GetBe16(&reply[page + at])) : 0;
  };
  const long selected = field(28);
  const long speed = selected != 0 ? selected : field(20);
  if (speed == 0) return std::nullopt;
  return speed;
}

bool DriveIsWriter(platform::ScsiDevice& device) {
  std::array<std::uint8_t, 204> reply{};
  const ScsiResult r =
      Send(device, mmc::GetConfiguration(mmc::kOneFeature, mmc::kFeatureProfileList, reply.size()),
           DataDirection::kIn, reply);
  if (!r.ok()) return true;
  if (r.transferred < 12) return false;
  const std::size_t end = std::min<std::size_t>(r.transferred, 12 + reply[11]);
  for (std::size_t at = 12; at + 4 <= end; at += 4) {
    switch (GetBe16(&reply[at])) {
      case mmc::kProfileCdR:
      case mmc::kProfileCdRw:
      case mmc::kProfileDvdRwRestricted:
      case mmc::kProfileDvdRwSequential:
      case mmc::kProfileDvdRDlSequential:
      case mmc::kProfileDvdRDlJump:
      case mmc::kProfileDvdPlusRw:
      case mmc::kProfileDvdPlusR:
      case mmc::kProfileDvdPlusRwDl:
      case mmc::kProfileDvdPlusRDl:
        return true;
      default:
        break;
    }
  }
  return false;
}

std::uint32_t ReadIsoVolumeSize(platform::ScsiDevice& device) {
  std::vector<std::uint8_t> sector(2048);
  const ScsiResult r = Send(device, mmc::Read10(16, 1), DataDirection::kIn, sector);
  if (!r.ok() || r.transferred < 88) return 0;
  if (std::memcmp(&sector[1], "CD001", 5) != 0 && std::memcmp(&sector[1], "cd001", 5) != 0) return 0;
  return GetBe32(&sector[84]);
}

}  // namespace zephrel
