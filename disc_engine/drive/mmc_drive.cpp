#include "drive/mmc_drive.h"

#include <algorithm>
#include <cstring>

#include "drive/drive_list.h"
#include "drive/media.h"
#include "image/iso9660_format.h"
#include "platform/byte_order.h"
#include "platform/cd_sector.h"
#include "platform/scsi_sense.h"

namespace zephrel {

using platform::DataDirection;
using platform::GetBe32;
using platform::GetLe32;
using platform::ScsiResult;

namespace {

constexpr std::uint16_t kDiscInformationLength = mmc::disc_info::kLength;
constexpr std::uint16_t kShortTrackInformationLength = 28;  // through the free blocks
constexpr std::uint16_t kFormatCapacitiesLength = 248;
constexpr std::uint16_t kModeSenseLength = 128;
constexpr std::uint16_t kMediaTypeLength = 114;
constexpr std::uint16_t kProfileListLength = 204;
constexpr std::uint16_t kReadCapacityLength = 8;
constexpr std::uint16_t kDvdStructureLength = 0x7F;
// The mode parameter header and page 05h, with one byte to spare.
constexpr std::size_t kWriteParametersListLength = 60;
// Medium type byte of the mode parameter header sent with page 05h, except
// for DVD-RW.
constexpr std::uint8_t kMediumTypeValue = 0x20;
// Sub-header sub-mode byte of audio tracks.
constexpr std::uint8_t kAudioSubmode = 0x08;
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

bool AllFf(const mmc::Address4& a) { return a[0] == 0xFF && a[1] == 0xFF && a[2] == 0xFF && a[3] == 0xFF; }

// The first formattable descriptor of a READ FORMAT CAPACITIES reply; the
// whole medium in the DVD+RW format when the drive lists only its current
// capacity; nothing when the reply is unreadable or its descriptors were cut
// off.
std::optional<FormattableCapacity> Formattable(std::span<const std::uint8_t> reply) {
  const auto list = mmc::ParseFormatCapacities(reply, kFormatCapacitiesLength);
  if (list && !list->formattable.empty())
    return FormattableCapacity{list->formattable.front().blocks, list->formattable.front().type};
  if (!list || list->short_reply) return std::nullopt;
  return FormattableCapacity{mmc::kFormatWholeMedium, mmc::kFormatDvdPlusRwFull};
}

ScsiResult BufferTooSmall() {
  ScsiResult r;
  r.transport = ScsiResult::Transport::kError;
  r.transport_message = "the buffer is smaller than the sectors asked for";
  return r;
}

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

bool LongWriteInProgress(const ScsiResult& result) {
  return result.transport == ScsiResult::Transport::kOk && result.sense.valid &&
         result.sense.asc == mmc::kLongWriteInProgress.asc &&
         result.sense.ascq == mmc::kLongWriteInProgress.ascq;
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

ScsiResult MmcDrive::Simple(const mmc::Cdb& cdb) { return Send(cdb, DataDirection::kNone); }

// ---- recording and erasing --------------------------------------------------

ScsiResult MmcDrive::MmcBlank(std::uint8_t erase_mode) { return Simple(mmc::Blank(erase_mode)); }

ScsiResult MmcDrive::MmcReserveTrack(std::uint32_t sectors) { return Simple(mmc::ReserveTrack(sectors)); }

std::optional<int> MmcDrive::MmcReadFormatCapacities() {
  auto reply = Query(mmc::ReadFormatCapacities(kFormatCapacitiesLength), kFormatCapacitiesLength);
  if (!reply) return std::nullopt;
  const auto list = mmc::ParseFormatCapacities(*reply, kFormatCapacitiesLength);
  if (!list) return std::nullopt;
  return list->current.type & mmc::format_capacities::kDescriptorTypeMask;
}

std::optional<FormattableCapacity> MmcDrive::MmcGetFormattableCapacity() {
  auto reply = Query(mmc::ReadFormatCapacities(kFormatCapacitiesLength), kFormatCapacitiesLength);
  if (!reply) return std::nullopt;
  return Formattable(*reply);
}

ScsiResult MmcDrive::MmcFormatUnit() {
  ScsiResult read;
  auto reply = Query(mmc::ReadFormatCapacities(kFormatCapacitiesLength), kFormatCapacitiesLength, &read);
  if (!reply) return read;
  const std::optional<FormattableCapacity> capacity = Formattable(*reply);
  if (!capacity) {
    ScsiResult unreadable;
    unreadable.transport = ScsiResult::Transport::kError;
    unreadable.transport_message = "The drive's list of format capacities could not be read.";
    return unreadable;
  }
  // Immediate: the drive formats on while the caller waits for it.
  auto list = mmc::FormatParameterList(capacity->blocks, capacity->format_byte, 0, true);
  return Send(mmc::FormatUnit(), DataDirection::kOut, list);
}

std::array<std::uint8_t, 52> MmcDrive::WriteParametersPage() {
  std::array<std::uint8_t, mmc::write_page::kLength> page{};
  auto reply = Query(mmc::ModeSense10(mmc::kPageWriteParameters, kModeSenseLength), kModeSenseLength);
  if (!reply) return page;  // built from zeros when the drive cannot say
  const auto found = mmc::FindModePage(*reply, mmc::kPageWriteParameters);
  if (!found) return page;
  std::copy_n(found->begin(), std::min(page.size(), found->size()), page.begin());
  return page;
}

ScsiResult MmcDrive::SelectWriteParameters(const std::array<std::uint8_t, 52>& page, bool no_medium_type) {
  std::array<std::uint8_t, kWriteParametersListLength> list{};
  std::copy(page.begin(), page.end(), list.begin() + mmc::mode::kHeaderLength);
  list[kWriteParametersListLength - 1] = 0;
  if (!no_medium_type) list[mmc::mode::kMediumType] = kMediumTypeValue;
  return Send(mmc::ModeSelect10(kWriteParametersListLength), DataDirection::kOut, list);
}

ScsiResult MmcDrive::MmcSetWriteParameters(std::uint8_t data_block_type, std::uint8_t write_type, bool bufe,
                                           bool multisession, bool test_write) {
  namespace wp = mmc::write_page;
  const int code = MmcGetMediaTypeCode();
  // DVD-RW and DVD-R take their own write type whatever type was asked:
  // session at once, and incremental with a valid link size.
  std::uint8_t type_byte = code == kMediaDvdRw  ? mmc::kWriteTypeSessionAtOnce
                           : code == kMediaDvdR ? std::uint8_t(mmc::kWriteTypePacket | wp::kLinkSizeValid)
                                                : std::uint8_t(write_type & wp::kWriteTypeMask);
  if (bufe) type_byte ^= wp::kBufe;
  if (test_write) type_byte ^= wp::kTestWrite;
  std::uint8_t track_byte = IsDvdMinus(code) ? wp::kFixedPacket : 0x00;
  if (multisession) track_byte ^= wp::kMultiSessionMask;
  track_byte ^= IsDvdMinus(code) ? mmc::kTrackModeDataIncremental : mmc::kTrackModeData;
  std::array<std::uint8_t, wp::kLength> page = WriteParametersPage();
  page[mmc::mode::kPageCode] = mmc::kPageWriteParameters;
  page[mmc::mode::kPageLength] = wp::kPageLengthValue;
  page[wp::kWriteType] = type_byte;
  page[wp::kTrackMode] = track_byte;
  page[wp::kDataBlockType] = data_block_type & wp::kDataBlockTypeMask;
  if (IsDvdMinus(code)) {
    page[wp::kLinkSize] = wp::kPacketAndLinkSizeDvdMinus;
    page[wp::kPacketSize + 3] = wp::kPacketAndLinkSizeDvdMinus;
  }
  page[wp::kAudioPauseLength + 1] = std::uint8_t(wp::kDefaultAudioPause);
  return SelectWriteParameters(page, code == kMediaDvdRw);
}

ScsiResult MmcDrive::MmcSetAudioWriteParameters(bool bufe, bool multisession, bool test_write) {
  namespace wp = mmc::write_page;
  std::uint8_t type_byte = mmc::kWriteTypeTrackAtOnce;
  if (bufe) type_byte ^= wp::kBufe;
  if (test_write) type_byte ^= wp::kTestWrite;
  std::array<std::uint8_t, wp::kLength> page = WriteParametersPage();
  page[mmc::mode::kPageCode] = mmc::kPageWriteParameters;
  page[mmc::mode::kPageLength] = wp::kPageLengthValue;
  page[wp::kWriteType] = type_byte;
  page[wp::kTrackMode] = multisession ? wp::kMultiSessionMask : mmc::kTrackModeAudio;
  page[wp::kDataBlockType] = mmc::kDataBlockRaw;
  page[wp::kAudioPauseLength + 1] = std::uint8_t(wp::kDefaultAudioPause);
  page[wp::kSubmode] = kAudioSubmode;
  return SelectWriteParameters(page, false);
}

ScsiResult MmcDrive::MmcWrite10(std::span<const std::uint8_t> data, std::uint32_t lba, std::uint16_t count,
                                bool wait, const DriveWait& waits) {
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
    if (r.ok()) return r;
    const bool checked = r.transport == ScsiResult::Transport::kOk && r.sense.valid;
    if (LongWriteInProgress(r)) {
      if (!wait) return r;
      if (clock->Now() - started >= kLongWriteLimit) return r;
      DriveWait paced = waits;
      paced.clock = clock;
      if (!paced.Sleep(back_off)) return r;
      back_off = std::min<JobClock::Duration>(back_off * 2, kLastBackOff);
      continue;
    }
    // After a reset or a medium change the disc may be another one: never
    // write again without the caller knowing.
    if (checked && (r.sense.key == platform::mmc::kKeyUnitAttention ||
                    r.sense.asc == platform::mmc::kAscMediumNotPresent))
      return r;
    if (++failures >= kWriteAttempts) return r;
    DriveWait paced = waits;
    paced.clock = clock;
    if (!paced.Sleep(kRetryPause)) return r;
  }
}

ScsiResult MmcDrive::MmcSynchronizeCache() { return Simple(mmc::SynchronizeCache(false)); }

ScsiResult MmcDrive::MmcSynchronizeCacheImmed() { return Simple(mmc::SynchronizeCache(true)); }

ScsiResult MmcDrive::MmcCloseTrackSession(bool immed, std::uint8_t function, std::uint16_t track) {
  return Send(mmc::CloseTrackSession(function, track, immed), DataDirection::kNone);
}

// ---- configuration and speeds -----------------------------------------------

int MmcDrive::MmcGetMediaTypeCode() {
  auto reply = Query(mmc::GetConfiguration(mmc::kOneFeature, mmc::kFeatureDvdPlusRw, kMediaTypeLength),
                     kMediaTypeLength);
  if (!reply) return kMediaNone;
  const auto configuration = mmc::ParseConfiguration(*reply, kMediaTypeLength);
  if (!configuration) return kMediaNone;
  return MediaTypeFromProfile(configuration->current_profile);
}

std::optional<std::uint32_t> MmcDrive::CurrentWriteSpeed() {
  auto reply = Query(mmc::ModeSense10(mmc::kPageCapabilities, kModeSenseLength), kModeSenseLength);
  if (!reply) return std::nullopt;
  const auto found = mmc::FindModePage(*reply, mmc::kPageCapabilities);
  if (!found) return std::nullopt;
  const auto page = mmc::ParseCapabilitiesPage(*found);
  if (!page) return std::nullopt;
  // The current write speed selected, else the older current write speed.
  if (page->current_write_speed_selected.value_or(0) != 0) return page->current_write_speed_selected;
  return page->current_write_speed;
}

std::optional<std::uint32_t> MmcDrive::MmcModeSenseCapabilities() {
  const std::optional<std::uint32_t> speed = CurrentWriteSpeed();
  if (speed && speeds_ != nullptr && *speed != 0) speeds_->AddSpeed(number_, static_cast<long>(*speed));
  return speed;
}

ScsiResult MmcDrive::MmcSetCdSpeed(std::uint16_t write_kbps) {
  return Simple(mmc::SetCdSpeed(mmc::kMaximumSpeed, write_kbps));
}

ScsiResult MmcDrive::MmcSetCdSpeedMax() {
  return Simple(mmc::SetCdSpeed(mmc::kMaximumSpeed, mmc::kMaximumSpeed));
}

ScsiResult MmcDrive::SetDvdWriteSpeed(int factor) {
  const long kbps = std::clamp<long>(long(factor) * kDvdSpeedStep, 0, mmc::kMaximumSpeed);
  const ScsiResult r = MmcSetCdSpeed(static_cast<std::uint16_t>(kbps));
  if (r.ok()) MmcModeSenseCapabilities();
  return r;
}

ScsiResult MmcDrive::SetCdWriteSpeed(int factor) {
  const long kbps = std::clamp<long>(long(factor) * kCdSpeedStep, 0, mmc::kMaximumSpeed);
  const ScsiResult r = MmcSetCdSpeed(static_cast<std::uint16_t>(kbps));
  if (r.ok()) MmcModeSenseCapabilities();
  return r;
}

bool MmcDrive::MmcGetCurrentProfile() {
  auto reply = Query(mmc::GetConfiguration(mmc::kOneFeature, mmc::kFeatureProfileList, kProfileListLength),
                     kProfileListLength);
  if (!reply) return true;
  // Walk only what the reply declares and the drive moved.
  const auto configuration = mmc::ParseConfiguration(*reply, kProfileListLength);
  if (!configuration || configuration->features.empty() ||
      configuration->features.front().code != mmc::kFeatureProfileList)
    return false;
  for (const std::uint16_t profile : mmc::ProfileNumbers(configuration->features.front())) {
    const std::uint8_t low = static_cast<std::uint8_t>(profile);
    if (low == 0x09 || low == 0x0A || (low >= 0x13 && low <= 0x16) || low == 0x1A || low == 0x1B ||
        low == 0x2A || low == 0x2B)
      return true;
  }
  return false;
}

// ---- tracks and the disc ----------------------------------------------------

std::optional<mmc::TrackInformation> MmcDrive::ReadTrackInformation(std::uint32_t track,
                                                                    std::uint16_t allocation) {
  auto reply = Query(mmc::ReadTrackInformation(mmc::kTrackByNumber, track, allocation), allocation);
  if (!reply) return std::nullopt;
  return mmc::ParseTrackInformation(*reply, allocation);
}

std::optional<mmc::DiscInformation> MmcDrive::ReadDiscInformation() {
  auto reply = Query(mmc::ReadDiscInformation(kDiscInformationLength), kDiscInformationLength);
  if (!reply) return std::nullopt;
  return mmc::ParseDiscInformation(*reply, kDiscInformationLength);
}

std::optional<std::uint32_t> MmcDrive::MmcGetTrackStartAddress(std::uint32_t track) {
  const auto info = ReadTrackInformation(track, mmc::track_info::kLength);
  if (!info) return std::nullopt;
  return info->start;
}
std::optional<std::uint32_t> MmcDrive::MmcGetTrackSize(std::uint32_t track) {
  const auto info = ReadTrackInformation(track, mmc::track_info::kLength);
  if (!info) return std::nullopt;
  return info->size;
}
std::optional<std::uint32_t> MmcDrive::MmcGetTrackStartLba(std::uint32_t track) {
  return MmcGetTrackStartAddress(track);
}
std::optional<std::uint32_t> MmcDrive::MmcGetTrackSessionNumber(std::uint32_t track) {
  const auto info = ReadTrackInformation(track, mmc::track_info::kLength);
  if (!info) return std::nullopt;
  return static_cast<std::uint32_t>(info->session);
}
std::optional<std::uint32_t> MmcDrive::MmcGetNextWritableAddress(std::uint32_t track) {
  const auto info = ReadTrackInformation(track, kShortTrackInformationLength);
  if (!info) return std::nullopt;
  return info->next_writable;
}
std::optional<std::uint32_t> MmcDrive::MmcGetSessionTrackStart(std::uint32_t track) {
  const auto info = ReadTrackInformation(track, kShortTrackInformationLength);
  if (!info) return std::nullopt;
  return info->start;
}

std::optional<int> MmcDrive::MmcGetLastSessionState() {
  const auto info = ReadDiscInformation();
  if (!info) return std::nullopt;
  return info->last_session_state;
}

std::optional<int> MmcDrive::MmcGetSessionCount() {
  const auto info = ReadDiscInformation();
  if (!info) return std::nullopt;
  return info->last_session_state == mmc::kSessionEmpty ? std::max(0, info->sessions - 1) : info->sessions;
}

std::optional<bool> MmcDrive::MmcDiscIsWritable() {
  const auto info = ReadDiscInformation();
  if (!info) return std::nullopt;
  return info->disc_status != mmc::kDiscComplete;
}

std::optional<int> MmcDrive::MmcGetLastTrackNumber() {
  const auto info = ReadDiscInformation();
  if (!info) return std::nullopt;
  return info->last_track_in_last_session;
}

ScsiResult MmcDrive::MmcGetCdMediaCode() {
  ScsiResult r;
  Query(mmc::ReadDiscInformation(kDiscInformationLength), kDiscInformationLength, &r);
  return r;
}

std::optional<bool> MmcDrive::MmcDiscIsBlank() {
  const auto info = ReadDiscInformation();
  if (!info) return std::nullopt;
  return info->disc_status == mmc::kDiscEmpty;
}

std::optional<bool> MmcDrive::MmcDiscIsErasable() {
  const auto info = ReadDiscInformation();
  if (!info) return std::nullopt;
  return info->erasable;
}

std::optional<float> MmcDrive::MmcGetCdCapacityMB() {
  const auto info = ReadDiscInformation();
  if (!info || !info->last_possible_lead_out) return std::nullopt;
  if (AllFf(*info->last_possible_lead_out)) return SectorsToMB(RecordedSectors().value_or(0));
  return SectorsToMB(AddressToSectors(info->last_possible_lead_out->data()));
}

std::optional<float> MmcDrive::MmcGetUsedSpaceMB() {
  const auto info = ReadDiscInformation();
  if (!info || !info->last_possible_lead_out || !info->last_session_lead_in) return std::nullopt;
  if (AllFf(*info->last_possible_lead_out)) return SectorsToMB(RecordedSectors().value_or(0));
  return SectorsToMB(AddressToSectors(info->last_session_lead_in->data()));
}

std::optional<std::uint32_t> MmcDrive::MmcReadCapacity() {
  auto reply = Query(mmc::ReadCapacity(), kReadCapacityLength);
  if (!reply || reply->size() < 4) return std::nullopt;
  return GetBe32(reply->data());
}

std::optional<std::uint32_t> MmcDrive::RecordedSectors() {
  const std::optional<std::uint32_t> last = MmcReadCapacity();
  if (!last) return std::nullopt;
  return *last + 1;
}

std::optional<float> MmcDrive::MmcReadDvdStructure() {
  auto reply =
      Query(mmc::ReadDvdStructure(mmc::kStructurePhysical, kDvdStructureLength), kDvdStructureLength);
  if (!reply) return std::nullopt;
  const auto format = mmc::ParsePhysicalFormat(*reply, kDvdStructureLength);
  if (!format) return std::nullopt;
  if (format->data_end == 0 || format->data_end < format->data_start) return 0.0f;
  return SectorsToMB(std::uint64_t(format->data_end) - format->data_start + 1);
}

std::optional<float> MmcDrive::MmcRead10() {
  const std::optional<std::uint32_t> sectors = VolumeSpaceSize(true);
  if (!sectors) return std::nullopt;
  return SectorsToMB(*sectors);
}

std::optional<std::uint32_t> MmcDrive::ReadIsoVolumeSize() { return VolumeSpaceSize(false); }

std::optional<std::uint32_t> MmcDrive::VolumeSpaceSize(bool little_endian) {
  std::vector<std::uint8_t> sector(platform::mmc::kSectorSize);
  if (!MmcReadSectors(iso9660::kPrimaryDescriptorSector, 1, sector).ok()) return std::nullopt;
  if (!HoldsVolumeDescriptor(sector)) return 0;
  return little_endian ? GetLe32(sector.data() + iso9660::vd::kVolumeSpaceSize)
                       : GetBe32(sector.data() + iso9660::vd::kVolumeSpaceSize + 4);
}

std::optional<bool> MmcDrive::SessionDataMode() {
  std::vector<std::uint8_t> sector(platform::mmc::kSectorSize);
  if (!MmcReadSectors(iso9660::kJolietDescriptorSector, 1, sector).ok()) return std::nullopt;
  return HoldsVolumeDescriptor(sector);
}

// ---- reading ----------------------------------------------------------------

ScsiResult MmcDrive::MmcReadSectors(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer) {
  if (buffer.size() < std::size_t(count) * platform::mmc::kSectorSize) return BufferTooSmall();
  return Send(mmc::Read10(lba, count), DataDirection::kIn,
              buffer.first(std::size_t(count) * platform::mmc::kSectorSize));
}

ScsiResult MmcDrive::MmcReadCd(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer) {
  if (buffer.size() < std::size_t(count) * platform::kCdRawSectorSize) return BufferTooSmall();
  return Send(mmc::ReadCd(lba, count), DataDirection::kIn,
              buffer.first(std::size_t(count) * platform::kCdRawSectorSize));
}

std::optional<std::vector<std::uint8_t>> MmcDrive::ReadTocReply() {
  return Query(mmc::ReadTocPmaAtip(mmc::kTocFormatToc, true, 0, kTocReplyLength), kTocReplyLength);
}

std::optional<std::vector<std::uint8_t>> MmcDrive::MmcReadAtip() {
  return Query(mmc::ReadTocPmaAtip(mmc::kTocFormatAtip, false, 0, 255), 255);
}

std::optional<std::vector<std::uint8_t>> MmcDrive::ReadDvdMediaId(mmc::DvdStructure format) {
  return Query(mmc::ReadDvdStructure(format, 0x7F), 0x7F);
}

// ---- tray -------------------------------------------------------------------

ScsiResult MmcDrive::MmcEject() { return Simple(mmc::Eject()); }
ScsiResult MmcDrive::MmcEjectMedium() { return Simple(mmc::Eject()); }
ScsiResult MmcDrive::MmcLoadMedium() { return Simple(mmc::LoadMedium()); }
ScsiResult MmcDrive::MmcPreventAllowRemoval(bool prevent) {
  return Simple(mmc::PreventAllowMediumRemoval(prevent));
}
ScsiResult MmcDrive::MmcAllowRemoval() { return Simple(mmc::PreventAllowMediumRemoval(false)); }
ScsiResult MmcDrive::MmcTestUnitReady() { return Simple(mmc::TestUnitReady()); }

}  // namespace zephrel
