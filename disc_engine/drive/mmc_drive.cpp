#include "drive/mmc_drive.h"

#include <algorithm>
#include <cstring>

#include "drive/drive_list.h"
#include "drive/media.h"
#include "platform/byte_order.h"
#include "platform/cd_sector.h"
#include "platform/scsi_sense.h"

namespace zephrel {

using platform::DataDirection;
using platform::GetBe16;
using platform::GetBe32;
using platform::GetLe32;
using platform::ScsiResult;

namespace {

constexpr std::uint16_t kDiscInformationLength = 34;
constexpr std::uint16_t kModeSenseLength = 128;
constexpr std::size_t kWriteParametersListLength = 60;
constexpr std::size_t kWriteParametersPageLength = 52;
constexpr int kWriteAttempts = 51;
constexpr auto kLongWriteLimit = std::chrono::seconds(120);
constexpr auto kFirstBackOff = std::chrono::milliseconds(5);
constexpr auto kLastBackOff = std::chrono::milliseconds(20);
constexpr auto kRetryPause = std::chrono::milliseconds(1);

// Frames of an H, M, S, F address less the 150 sectors before LBA 0; never
// below 0.
std::uint32_t AddressToSectors(const std::uint8_t* hmsf) {
  const std::int64_t frames =
      std::int64_t(hmsf[0]) * 270000 + std::int64_t(hmsf[1]) * 4500 + std::int64_t(hmsf[2]) * 75 + hmsf[3];
  return static_cast<std::uint32_t>(std::max<std::int64_t>(0, frames - 150));
}

bool AllFf(const std::uint8_t* p) { return p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF; }

bool IsDvdMinus(int code) { return code == kMediaDvdR || code == kMediaDvdRw; }

}  // namespace

float SectorsToMB(std::uint64_t sectors) {
  constexpr double kBytesPerMB = 1024.0 * 1024.0;
  return static_cast<float>(static_cast<double>(sectors) * platform::mmc::kSectorSize / kBytesPerMB);
}

bool HoldsVolumeDescriptor(std::span<const std::uint8_t> sector) {
  return sector.size() >= 6 &&
         (std::memcmp(&sector[1], "CD001", 5) == 0 || std::memcmp(&sector[1], "cd001", 5) == 0);
}

std::string FailureText(const ScsiResult& result) {
  if (result.transport != ScsiResult::Transport::kOk) return result.transport_message;
  return platform::SenseText(result.sense);
}

bool DriveWait::Cancelled() const { return stop.stop_requested() || (cancel != nullptr && cancel->load()); }

bool DriveWait::Sleep(JobClock::Duration duration) const {
  if (Cancelled()) return false;
  std::shared_ptr<JobClock> system;
  JobClock* used = clock;
  if (used == nullptr) {
    system = SystemJobClock();
    used = system.get();
  }
  return used->SleepFor(duration, stop) && !Cancelled();
}

MmcDrive::MmcDrive(std::shared_ptr<platform::ScsiDevice> device, DriveList* speeds, int number)
    : device_(std::move(device)), speeds_(speeds), number_(number) {}

ScsiResult MmcDrive::Send(const mmc::Cdb& cdb, DataDirection direction, std::span<std::uint8_t> buffer) {
  if (direction == DataDirection::kIn) std::fill(buffer.begin(), buffer.end(), 0);
  if (!device_) {
    ScsiResult none;
    none.transport = ScsiResult::Transport::kError;
    none.transport_message = "no such drive";
    return none;
  }
  return device_->exec(cdb.span(), direction, buffer, std::chrono::milliseconds(0));
}

std::optional<std::vector<std::uint8_t>> MmcDrive::Query(const mmc::Cdb& cdb, std::size_t allocation,
                                                         ScsiResult* result) {
  std::vector<std::uint8_t> reply(allocation, 0);
  ScsiResult r = Send(cdb, DataDirection::kIn, reply);
  if (result) *result = r;
  if (!r.ok()) return std::nullopt;
  reply.resize(std::min(r.transferred, reply.size()));
  return reply;
}

int MmcDrive::Simple(const mmc::Cdb& cdb) { return Send(cdb, DataDirection::kNone).ok() ? 1 : 0; }

// ---- recording and erasing --------------------------------------------------

int MmcDrive::MmcBlank(std::uint8_t erase_mode) { return Simple(mmc::Blank(erase_mode)); }

int MmcDrive::MmcReserveTrack(std::uint32_t sectors) { return Simple(mmc::ReserveTrack(sectors)); }

int MmcDrive::MmcReadFormatCapacities() {
  auto reply = Query(mmc::ReadFormatCapacities(248), 248);
  if (!reply || reply->size() < 9) return -1;
  return (*reply)[8] & 0x03;
}

bool MmcDrive::MmcGetFormattableCapacity(std::uint32_t* blocks, std::uint8_t* format_byte) {
  auto reply = Query(mmc::ReadFormatCapacities(248), 248);
  if (!reply || reply->size() < 4) return false;
  const std::size_t list_length = (*reply)[3];
  if (list_length < 9 || reply->size() < 17) {
    *blocks = 0x00FFFFFF;
    *format_byte = 0x98;  // format type 26h
    return true;
  }
  *blocks = GetBe32(reply->data() + 12);
  *format_byte = (*reply)[16];
  return true;
}

int MmcDrive::MmcFormatUnit() {
  std::uint32_t blocks = 0;
  std::uint8_t format_byte = 0;
  if (!MmcGetFormattableCapacity(&blocks, &format_byte)) return 0;
  // Immediate: the drive formats on while the caller waits for it.
  auto list = mmc::FormatParameterList(blocks, format_byte, 0, true);
  return Send(mmc::FormatUnit(), DataDirection::kOut, list).ok() ? 1 : 0;
}

std::array<std::uint8_t, 52> MmcDrive::WriteParametersPage() {
  std::array<std::uint8_t, kWriteParametersPageLength> page{};
  auto reply = Query(mmc::ModeSense10(mmc::kPageWriteParameters, kModeSenseLength), kModeSenseLength);
  if (!reply || reply->size() < 8) return page;  // built from zeros when the drive cannot say
  const std::size_t at = 8 + GetBe16(reply->data() + 6);
  if (at >= reply->size() || ((*reply)[at] & 0x3F) != mmc::kPageWriteParameters) return page;
  const std::size_t n = std::min(kWriteParametersPageLength, reply->size() - at);
  std::copy_n(reply->begin() + static_cast<std::ptrdiff_t>(at), n, page.begin());
  return page;
}

int MmcDrive::SelectWriteParameters(const std::array<std::uint8_t, 52>& page, bool no_medium_type) {
  std::array<std::uint8_t, kWriteParametersListLength> list{};
  std::copy(page.begin(), page.end(), list.begin() + 8);
  list[59] = 0;
  if (!no_medium_type) list[2] = 0x20;
  return Send(mmc::ModeSelect10(kWriteParametersListLength), DataDirection::kOut, list).ok() ? 0 : -1;
}

int MmcDrive::MmcSetWriteParameters(std::uint8_t data_block_type, std::uint8_t write_type, bool bufe,
                                    bool multisession, bool test_write) {
  const int code = MmcGetMediaTypeCode();
  std::uint8_t type_byte = code == kMediaDvdRw ? 0x02 : code == kMediaDvdR ? 0x20 : (write_type & 0x0F);
  if (bufe) type_byte ^= 0x40;
  if (test_write) type_byte ^= 0x10;
  std::uint8_t track_byte = IsDvdMinus(code) ? 0x20 : 0x00;
  if (multisession) track_byte ^= 0xC0;
  track_byte ^= IsDvdMinus(code) ? 0x05 : 0x04;
  std::array<std::uint8_t, 52> page = WriteParametersPage();
  page[0] = mmc::kPageWriteParameters;
  page[1] = 0x32;
  page[2] = type_byte;
  page[3] = track_byte;
  page[4] = data_block_type & 0x0F;
  if (IsDvdMinus(code)) {
    page[5] = 0x10;   // link size
    page[13] = 0x10;  // packet size, last byte
  }
  page[15] = 0x96;  // audio pause length, last byte: 150
  return SelectWriteParameters(page, code == kMediaDvdRw);
}

int MmcDrive::MmcSetAudioWriteParameters(bool bufe, bool multisession, bool test_write) {
  std::uint8_t type_byte = 0x01;  // track at once
  if (bufe) type_byte ^= 0x40;
  if (test_write) type_byte ^= 0x10;
  std::array<std::uint8_t, 52> page = WriteParametersPage();
  page[0] = mmc::kPageWriteParameters;
  page[1] = 0x32;
  page[2] = type_byte;
  page[3] = multisession ? 0xC0 : 0x00;  // audio track mode
  page[4] = 0;                           // raw 2352-byte audio
  page[15] = 0x96;
  page[50] = 0x08;
  return SelectWriteParameters(page, false);
}

int MmcDrive::MmcWrite10(std::span<const std::uint8_t> data, std::uint32_t lba, std::uint16_t count,
                         std::string* sense_text, bool wait, const DriveWait& waits) {
  const mmc::Cdb cdb = mmc::Write10(lba, count);
  std::span<std::uint8_t> out(const_cast<std::uint8_t*>(data.data()), data.size());
  std::shared_ptr<JobClock> system;
  JobClock* clock = waits.clock;
  if (clock == nullptr) {
    system = SystemJobClock();
    clock = system.get();
  }
  const JobClock::TimePoint started = clock->Now();
  JobClock::Duration back_off = kFirstBackOff;
  int failures = 0;
  for (;;) {
    const ScsiResult r = Send(cdb, DataDirection::kOut, out);
    if (r.ok()) return 1;
    auto fail = [&] {
      if (sense_text) *sense_text = FailureText(r);
      return 0;
    };
    const bool checked = r.transport == ScsiResult::Transport::kOk && r.sense.valid;
    if (checked && r.sense.asc == 0x04 && r.sense.ascq == 0x08) {
      if (!wait) return kWriteInProgress;
      if (clock->Now() - started >= kLongWriteLimit) return fail();
      DriveWait paced = waits;
      paced.clock = clock;
      if (!paced.Sleep(back_off)) return fail();
      back_off = std::min<JobClock::Duration>(back_off * 2, kLastBackOff);
      continue;
    }
    // After a reset or a medium change the disc may be another one: never
    // write again without the caller knowing.
    if (checked && (r.sense.key == platform::mmc::kKeyUnitAttention ||
                    r.sense.asc == platform::mmc::kAscMediumNotPresent))
      return fail();
    if (++failures >= kWriteAttempts) return fail();
    DriveWait paced = waits;
    paced.clock = clock;
    if (!paced.Sleep(kRetryPause)) return fail();
  }
}

int MmcDrive::MmcSynchronizeCache() { return Simple(mmc::SynchronizeCache(false)); }

int MmcDrive::MmcSynchronizeCacheImmed() { return Simple(mmc::SynchronizeCache(true)); }

int MmcDrive::MmcCloseTrackSession(bool immed, std::uint8_t function, std::uint16_t track,
                                   std::string* sense_text) {
  const ScsiResult r = Send(mmc::CloseTrackSession(function, track, immed), DataDirection::kNone);
  if (r.ok()) return 1;
  if (sense_text) *sense_text = FailureText(r);
  return 0;
}

// ---- configuration and speeds -----------------------------------------------

int MmcDrive::MmcGetMediaTypeCode() {
  auto reply = Query(mmc::GetConfiguration(mmc::kOneFeature, mmc::kFeatureDvdPlusRw, 114), 114);
  if (!reply || reply->size() < 8) return kMediaNone;
  return MediaTypeFromProfile(static_cast<std::uint16_t>(GetBe16(reply->data() + 6)));
}

std::optional<std::uint32_t> MmcDrive::CurrentWriteSpeed() {
  auto reply = Query(mmc::ModeSense10(mmc::kPageCapabilities, kModeSenseLength), kModeSenseLength);
  if (!reply || reply->size() < 8) return std::nullopt;
  const std::size_t at = 8 + GetBe16(reply->data() + 6);
  if (at + 2 > reply->size() || ((*reply)[at] & 0x3F) != mmc::kPageCapabilities) return std::nullopt;
  const std::size_t page_end = std::min(reply->size(), at + 2 + (*reply)[at + 1]);
  // The current write speed selected (page bytes 28-29), else the older
  // current write speed field (bytes 20-21).
  if (at + 30 <= page_end) {
    const std::uint32_t selected = GetBe16(reply->data() + at + 28);
    if (selected != 0) return selected;
  }
  if (at + 22 <= page_end) return GetBe16(reply->data() + at + 20);
  return std::nullopt;
}

int MmcDrive::MmcModeSenseCapabilities() {
  const std::optional<std::uint32_t> speed = CurrentWriteSpeed();
  if (!speed) return 0;
  if (speeds_ != nullptr && *speed != 0) speeds_->AddSpeed(number_, static_cast<long>(*speed));
  return 1;
}

int MmcDrive::MmcSetCdSpeed(std::uint16_t write_kbps) {
  return Simple(mmc::SetCdSpeed(mmc::kMaximumSpeed, write_kbps)) ? 1 : -1;
}

int MmcDrive::MmcSetCdSpeedMax() {
  return Simple(mmc::SetCdSpeed(mmc::kMaximumSpeed, mmc::kMaximumSpeed)) ? 1 : -1;
}

int MmcDrive::SetDvdWriteSpeed(int factor) {
  const long kbps = std::clamp<long>(long(factor) * kDvdSpeedStep, 0, mmc::kMaximumSpeed);
  if (MmcSetCdSpeed(static_cast<std::uint16_t>(kbps)) == 1) MmcModeSenseCapabilities();
  return 1;
}

int MmcDrive::SetCdWriteSpeed(int factor) {
  const long kbps = std::clamp<long>(long(factor) * kCdSpeedStep, 0, mmc::kMaximumSpeed);
  if (MmcSetCdSpeed(static_cast<std::uint16_t>(kbps)) == 1) MmcModeSenseCapabilities();
  return 1;
}

int MmcDrive::MmcGetCurrentProfile() {
  auto reply = Query(mmc::GetConfiguration(mmc::kOneFeature, mmc::kFeatureProfileList, 204), 204);
  if (!reply) return 1;
  // Walk only what the reply declares: its data length, the profile list's
  // additional length, and the bytes moved.
  if (reply->size() < 12) return 0;
  const std::size_t data_end = std::min<std::size_t>(reply->size(), std::size_t(GetBe32(reply->data())) + 4);
  if (GetBe16(reply->data() + 8) != mmc::kFeatureProfileList) return 0;
  const std::size_t list_end = std::min<std::size_t>(data_end, 12 + (*reply)[11]);
  for (std::size_t at = 12; at + 4 <= list_end; at += 4) {
    const std::uint8_t low = (*reply)[at + 1];
    if (low == 0x09 || low == 0x0A || (low >= 0x13 && low <= 0x16) || low == 0x1A || low == 0x1B ||
        low == 0x2A || low == 0x2B)
      return 1;
  }
  return 0;
}

// ---- tracks and the disc ----------------------------------------------------

std::optional<std::vector<std::uint8_t>> MmcDrive::TrackInformation(std::uint32_t track,
                                                                    std::uint16_t allocation) {
  return Query(mmc::ReadTrackInformation(mmc::kTrackByNumber, track, allocation), allocation);
}

std::optional<std::vector<std::uint8_t>> MmcDrive::DiscInformation() {
  auto reply = Query(mmc::ReadDiscInformation(kDiscInformationLength), kDiscInformationLength);
  if (reply) reply->resize(kDiscInformationLength, 0);  // fields a short reply leaves out read as 0
  return reply;
}

namespace {
std::uint32_t Field32(const std::optional<std::vector<std::uint8_t>>& reply, std::size_t at) {
  return reply && reply->size() >= at + 4 ? GetBe32(reply->data() + at) : 0;
}
}  // namespace

std::uint32_t MmcDrive::MmcGetTrackStartAddress(std::uint32_t track) {
  return Field32(TrackInformation(track, 48), 8);
}
std::uint32_t MmcDrive::MmcGetTrackSize(std::uint32_t track) {
  return Field32(TrackInformation(track, 48), 24);
}
std::uint32_t MmcDrive::MmcGetTrackStartLba(std::uint32_t track) {
  return Field32(TrackInformation(track, 48), 8);
}
std::uint32_t MmcDrive::MmcGetTrackSessionNumber(std::uint32_t track) {
  auto reply = TrackInformation(track, 48);
  return reply && reply->size() > 3 ? (*reply)[3] : 0;
}
std::uint32_t MmcDrive::MmcGetNextWritableAddress(std::uint32_t track) {
  return Field32(TrackInformation(track, 28), 12);
}
std::uint32_t MmcDrive::MmcGetSessionTrackStart(std::uint32_t track) {
  return Field32(TrackInformation(track, 28), 8);
}

int MmcDrive::MmcGetLastSessionState() {
  auto info = DiscInformation();
  return info ? ((*info)[2] & 0x0C) : -1;
}

int MmcDrive::MmcGetSessionCount() {
  auto info = DiscInformation();
  if (!info) return 0;
  const int sessions = (*info)[4];
  return ((*info)[2] & 0x0C) == 0 ? std::max(0, sessions - 1) : sessions;
}

int MmcDrive::MmcDiscIsWritable() {
  auto info = DiscInformation();
  return info && ((*info)[2] & 0x03) != 2 ? 1 : 0;
}

int MmcDrive::MmcGetLastTrackNumber() {
  auto info = DiscInformation();
  return info ? (*info)[6] : -1;
}

int MmcDrive::MmcGetCdMediaCode() { return DiscInformation() ? 1 : -1; }

int MmcDrive::MmcDiscIsBlank() {
  auto info = DiscInformation();
  if (!info) return -1;
  return ((*info)[2] & 0x03) == 0 ? 1 : 0;
}

int MmcDrive::MmcDiscIsErasable() {
  auto info = DiscInformation();
  return info && ((*info)[2] & 0x10) ? 1 : 0;
}

float MmcDrive::MmcGetCdCapacityMB() {
  auto info = DiscInformation();
  if (!info) return 0;
  if (AllFf(info->data() + 20)) return SectorsToMB(RecordedSectors().value_or(0));
  return SectorsToMB(AddressToSectors(info->data() + 20));
}

float MmcDrive::MmcGetUsedSpaceMB() {
  auto info = DiscInformation();
  if (!info) return 0;
  if (AllFf(info->data() + 20)) return SectorsToMB(RecordedSectors().value_or(0));
  return SectorsToMB(AddressToSectors(info->data() + 16));
}

std::uint32_t MmcDrive::MmcReadCapacity() {
  auto reply = Query(mmc::ReadCapacity(), 8);
  return reply && reply->size() >= 4 ? GetBe32(reply->data()) : 0;
}

std::optional<std::uint32_t> MmcDrive::RecordedSectors() {
  auto reply = Query(mmc::ReadCapacity(), 8);
  if (!reply || reply->size() < 4) return std::nullopt;
  return GetBe32(reply->data()) + 1;
}

float MmcDrive::MmcReadDvdStructure() {
  auto reply = Query(mmc::ReadDvdStructure(mmc::kStructurePhysical, 0x7F), 0x7F);
  if (!reply || reply->size() < 16) return 0;
  const std::uint32_t start = platform::GetBe24(reply->data() + 9);
  const std::uint32_t end = platform::GetBe24(reply->data() + 13);
  if (end == 0 || end < start) return 0;
  return SectorsToMB(std::uint64_t(end) - start + 1);
}

float MmcDrive::MmcRead10() {
  std::vector<std::uint8_t> sector(platform::mmc::kSectorSize);
  if (!MmcReadSectors(16, 1, sector)) return 0;
  if (!HoldsVolumeDescriptor(sector)) return 0;
  return SectorsToMB(GetLe32(sector.data() + 80));  // the volume space size, little-endian copy
}

std::uint32_t MmcDrive::ReadIsoVolumeSize() {
  std::vector<std::uint8_t> sector(platform::mmc::kSectorSize);
  if (!MmcReadSectors(16, 1, sector) || !HoldsVolumeDescriptor(sector)) return 0;
  return GetBe32(sector.data() + 84);
}

int MmcDrive::SessionDataMode() {
  std::vector<std::uint8_t> sector(platform::mmc::kSectorSize);
  if (!MmcReadSectors(17, 1, sector)) return 0;
  return HoldsVolumeDescriptor(sector) ? 1 : 2;
}

// ---- reading ----------------------------------------------------------------

int MmcDrive::MmcReadSectors(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer) {
  if (buffer.size() < std::size_t(count) * platform::mmc::kSectorSize) return 0;
  const ScsiResult r = Send(mmc::Read10(lba, count), DataDirection::kIn,
                            buffer.first(std::size_t(count) * platform::mmc::kSectorSize));
  return r.ok() ? 1 : 0;
}

int MmcDrive::MmcReadCd(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer) {
  if (buffer.size() < std::size_t(count) * platform::kCdRawSectorSize) return 0;
  const ScsiResult r = Send(mmc::ReadCd(lba, count), DataDirection::kIn,
                            buffer.first(std::size_t(count) * platform::kCdRawSectorSize));
  return r.ok() ? 1 : 0;
}

std::optional<std::vector<std::uint8_t>> MmcDrive::ReadTocReply() {
  return Query(mmc::ReadTocPmaAtip(mmc::kTocFormatToc, true, 0, 804), 804);
}

std::optional<std::vector<std::uint8_t>> MmcDrive::MmcReadAtip() {
  return Query(mmc::ReadTocPmaAtip(mmc::kTocFormatAtip, false, 0, 255), 255);
}

std::optional<std::vector<std::uint8_t>> MmcDrive::ReadDvdMediaId(mmc::DvdStructure format) {
  return Query(mmc::ReadDvdStructure(format, 0x7F), 0x7F);
}

// ---- tray -------------------------------------------------------------------

void MmcDrive::MmcEject() { Simple(mmc::Eject()); }
int MmcDrive::MmcEjectMedium() { return Simple(mmc::Eject()); }
int MmcDrive::MmcLoadMedium() { return Simple(mmc::LoadMedium()); }
int MmcDrive::MmcPreventAllowRemoval(bool prevent) { return Simple(mmc::PreventAllowMediumRemoval(prevent)); }
int MmcDrive::MmcAllowRemoval() { return Simple(mmc::PreventAllowMediumRemoval(false)); }
int MmcDrive::MmcTestUnitReady() { return Simple(mmc::TestUnitReady()); }

}  // namespace zephrel
