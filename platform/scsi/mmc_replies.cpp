#include "platform/mmc_replies.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace platform::mmc {
namespace {

// The bytes of a reply that can be read: those moved, no further than the
// reply declares. The reply is short when the drive moved fewer than it
// declares and than were asked for.
struct Usable {
  std::span<const std::uint8_t> bytes;
  bool short_reply = false;
};

Usable Bound(std::span<const std::uint8_t> moved, std::size_t allocation, std::size_t length_field_size) {
  if (moved.size() < length_field_size) return {moved, moved.size() < allocation};
  const std::size_t declared = (length_field_size == 4 ? GetBe32(moved.data()) : GetBe16(moved.data())) +
                               std::size_t(length_field_size);
  const std::size_t expected = std::min(declared, allocation);
  return {moved.first(std::min(moved.size(), declared)), moved.size() < expected};
}

std::optional<std::uint32_t> Be32At(std::span<const std::uint8_t> r, std::size_t at) {
  if (r.size() < at + 4) return std::nullopt;
  return GetBe32(r.data() + at);
}

void Put32(std::vector<std::uint8_t>& r, std::size_t at, std::uint32_t v) { PutBe32(&r[at], v); }
void Put16(std::vector<std::uint8_t>& r, std::size_t at, std::uint32_t v) {
  PutBe16(&r[at], static_cast<std::uint16_t>(v));
}
void Put24(std::vector<std::uint8_t>& r, std::size_t at, std::uint32_t v) {
  r[at] = std::uint8_t(v >> 16);
  Put16(r, at + 1, v);
}

// Stores the data length of a reply whose length field has `size` bytes.
std::vector<std::uint8_t> Finish(std::vector<std::uint8_t> r, std::size_t size) {
  if (size == 4)
    Put32(r, 0, std::uint32_t(r.size() - 4));
  else
    Put16(r, 0, std::uint32_t(r.size() - 2));
  return r;
}

Msf MsfAt(std::span<const std::uint8_t> r, std::size_t at) { return {r[at], r[at + 1], r[at + 2]}; }
void PutMsf(std::vector<std::uint8_t>& r, std::size_t at, Msf m) {
  r[at] = m.minute, r[at + 1] = m.second, r[at + 2] = m.frame;
}

std::string Text(std::span<const std::uint8_t> r, std::size_t at, std::size_t n) {
  if (r.size() < at + n) return {};
  return std::string(reinterpret_cast<const char*>(r.data() + at), n);
}
void PutText(std::vector<std::uint8_t>& r, std::size_t at, const std::string& s, std::size_t n) {
  std::copy_n(s.begin(), std::min(n, s.size()), r.begin() + std::ptrdiff_t(at));
}

}  // namespace

// ---- mode pages ---------------------------------------------------------------

std::optional<std::span<const std::uint8_t>> FindModePage(std::span<const std::uint8_t> moved,
                                                          std::uint8_t page) {
  const Usable u = Bound(moved, moved.size(), 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < mode::kHeaderLength) return std::nullopt;
  const std::size_t at = mode::kHeaderLength + GetBe16(r.data() + mode::kBlockDescriptorLength);
  if (at + 2 > r.size() || (r[at + mode::kPageCode] & mode::kPageCodeMask) != page) return std::nullopt;
  const std::size_t end = std::min(r.size(), at + 2 + r[at + mode::kPageLength]);
  return r.subspan(at, end - at);
}

std::optional<CapabilitiesPage> ParseCapabilitiesPage(std::span<const std::uint8_t> page) {
  using namespace caps_page;
  if (page.size() < 2 || (page[mode::kPageCode] & mode::kPageCodeMask) != 0x2A) return std::nullopt;
  CapabilitiesPage p;
  if (page.size() >= kCurrentWriteSpeed + 2) p.current_write_speed = GetBe16(&page[kCurrentWriteSpeed]);
  if (page.size() >= kCurrentWriteSpeedSelected + 2)
    p.current_write_speed_selected = GetBe16(&page[kCurrentWriteSpeedSelected]);
  if (page.size() >= kWriteSpeedDescriptors) {
    const std::size_t count = GetBe16(&page[kWriteSpeedDescriptorCount]);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = kWriteSpeedDescriptors + kWriteSpeedDescriptorLength * i;
      if (at + kWriteSpeedDescriptorLength > page.size()) break;
      p.write_speeds.push_back(GetBe16(&page[at + kDescriptorWriteSpeed]));
    }
  }
  return p;
}

// ---- disc and track information -------------------------------------------------

std::optional<DiscInformation> ParseDiscInformation(std::span<const std::uint8_t> moved,
                                                    std::size_t allocation) {
  using namespace disc_info;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kFixedLength) return std::nullopt;
  DiscInformation d;
  d.short_reply = u.short_reply;
  d.erasable = (r[kStatus] & kErasable) != 0;
  d.last_session_state = r[kStatus] & kLastSessionStateMask;
  d.disc_status = r[kStatus] & kDiscStatusMask;
  d.first_track = r[kFirstTrack];
  d.sessions = r[kSessionsLsb];
  d.first_track_in_last_session = r[kFirstTrackInLastSessionLsb];
  d.last_track_in_last_session = r[kLastTrackInLastSessionLsb];
  if (r.size() > kFlags) d.background_format = r[kFlags] & kBackgroundFormatMask;
  if (r.size() > kDiscType) d.disc_type = r[kDiscType];
  if (r.size() > kLastTrackInLastSessionMsb) {
    d.sessions |= r[kSessionsMsb] << 8;
    d.first_track_in_last_session |= r[kFirstTrackInLastSessionMsb] << 8;
    d.last_track_in_last_session |= r[kLastTrackInLastSessionMsb] << 8;
  }
  auto address = [&](std::size_t at) -> std::optional<Address4> {
    if (r.size() < at + 4) return std::nullopt;
    return Address4{r[at], r[at + 1], r[at + 2], r[at + 3]};
  };
  d.last_session_lead_in = address(kLastSessionLeadIn);
  d.last_possible_lead_out = address(kLastPossibleLeadOut);
  return d;
}

std::vector<std::uint8_t> BuildDiscInformation(const DiscInformation& d) {
  using namespace disc_info;
  std::vector<std::uint8_t> r(kLength, 0);
  r[kStatus] = std::uint8_t((d.erasable ? kErasable : 0) | (d.last_session_state & kLastSessionStateMask) |
                            (d.disc_status & kDiscStatusMask));
  r[kFirstTrack] = std::uint8_t(d.first_track);
  r[kSessionsLsb] = std::uint8_t(d.sessions);
  r[kFirstTrackInLastSessionLsb] = std::uint8_t(d.first_track_in_last_session);
  r[kLastTrackInLastSessionLsb] = std::uint8_t(d.last_track_in_last_session);
  r[kFlags] = std::uint8_t(d.background_format & kBackgroundFormatMask);
  r[kDiscType] = std::uint8_t(d.disc_type);
  r[kSessionsMsb] = std::uint8_t(d.sessions >> 8);
  r[kFirstTrackInLastSessionMsb] = std::uint8_t(d.first_track_in_last_session >> 8);
  r[kLastTrackInLastSessionMsb] = std::uint8_t(d.last_track_in_last_session >> 8);
  const Address4 none{0xFF, 0xFF, 0xFF, 0xFF};
  const Address4 lead_in = d.last_session_lead_in.value_or(none);
  const Address4 lead_out = d.last_possible_lead_out.value_or(none);
  std::copy(lead_in.begin(), lead_in.end(), r.begin() + kLastSessionLeadIn);
  std::copy(lead_out.begin(), lead_out.end(), r.begin() + kLastPossibleLeadOut);
  return Finish(std::move(r), 2);
}

std::optional<TrackInformation> ParseTrackInformation(std::span<const std::uint8_t> moved,
                                                      std::size_t allocation) {
  using namespace track_info;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kFixedLength) return std::nullopt;
  TrackInformation t;
  t.short_reply = u.short_reply;
  t.track = r[kTrackNumberLsb];
  t.session = r[kSessionNumberLsb];
  t.damage = (r[kTrackMode] & kDamage) != 0;
  t.track_mode = r[kTrackMode] & kTrackModeMask;
  t.reserved = (r[kDataMode] & kReserved) != 0;
  t.blank = (r[kDataMode] & kBlankTrack) != 0;
  t.packet = (r[kDataMode] & kPacket) != 0;
  t.fixed_packet = (r[kDataMode] & kFixedPacket) != 0;
  t.data_mode = r[kDataMode] & kDataModeMask;
  t.start = GetBe32(&r[kTrackStart]);
  if (r[kValid] & kNextWritableValid) t.next_writable = Be32At(r, kNextWritableAddress);
  t.free_blocks = Be32At(r, kFreeBlocks);
  t.fixed_packet_size = Be32At(r, kFixedPacketSize);
  t.size = Be32At(r, kTrackSize);
  if (r[kValid] & kLastRecordedValid) t.last_recorded = Be32At(r, kLastRecordedAddress);
  if (r.size() > kSessionNumberMsb) {
    t.track |= r[kTrackNumberMsb] << 8;
    t.session |= r[kSessionNumberMsb] << 8;
  }
  return t;
}

std::vector<std::uint8_t> BuildTrackInformation(const TrackInformation& t) {
  using namespace track_info;
  std::vector<std::uint8_t> r(kLength, 0);
  r[kTrackNumberLsb] = std::uint8_t(t.track);
  r[kSessionNumberLsb] = std::uint8_t(t.session);
  r[kTrackMode] = std::uint8_t((t.damage ? kDamage : 0) | (t.track_mode & kTrackModeMask));
  r[kDataMode] =
      std::uint8_t((t.reserved ? kReserved : 0) | (t.blank ? kBlankTrack : 0) | (t.packet ? kPacket : 0) |
                   (t.fixed_packet ? kFixedPacket : 0) | (t.data_mode & kDataModeMask));
  r[kValid] =
      std::uint8_t((t.last_recorded ? kLastRecordedValid : 0) | (t.next_writable ? kNextWritableValid : 0));
  Put32(r, kTrackStart, t.start);
  Put32(r, kNextWritableAddress, t.next_writable.value_or(0));
  Put32(r, kFreeBlocks, t.free_blocks.value_or(0));
  Put32(r, kFixedPacketSize, t.fixed_packet_size.value_or(0));
  Put32(r, kTrackSize, t.size.value_or(0));
  Put32(r, kLastRecordedAddress, t.last_recorded.value_or(0));
  r[kTrackNumberMsb] = std::uint8_t(t.track >> 8);
  r[kSessionNumberMsb] = std::uint8_t(t.session >> 8);
  return Finish(std::move(r), 2);
}

// ---- READ TOC/PMA/ATIP ------------------------------------------------------------

std::optional<TocReply> ParseToc(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace toc;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kHeaderLength) return std::nullopt;
  TocReply t;
  t.short_reply = u.short_reply;
  t.first = r[kFirst];
  t.last = r[kLast];
  for (std::size_t at = kHeaderLength; at + kDescriptorLength <= r.size(); at += kDescriptorLength)
    t.descriptors.push_back({r[at + kAdrControl], r[at + kTrackNumber], GetBe32(&r[at + kAddress])});
  return t;
}

std::vector<std::uint8_t> BuildToc(const TocReply& t) {
  using namespace toc;
  std::vector<std::uint8_t> r(kHeaderLength + kDescriptorLength * t.descriptors.size(), 0);
  r[kFirst] = std::uint8_t(t.first);
  r[kLast] = std::uint8_t(t.last);
  std::size_t at = kHeaderLength;
  for (const TocDescriptor& d : t.descriptors) {
    r[at + kAdrControl] = d.adr_control;
    r[at + kTrackNumber] = d.track;
    Put32(r, at + kAddress, d.address);
    at += kDescriptorLength;
  }
  return Finish(std::move(r), 2);
}

std::optional<FullToc> ParseFullToc(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace toc;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kHeaderLength) return std::nullopt;
  FullToc t;
  t.short_reply = u.short_reply;
  t.first_session = r[kFirst];
  t.last_session = r[kLast];
  for (std::size_t at = kHeaderLength; at + kFullDescriptorLength <= r.size(); at += kFullDescriptorLength)
    t.descriptors.push_back({r[at + kFullSession], r[at + kFullAdrControl], r[at + kFullTno],
                             r[at + kFullPoint], MsfAt(r, at + kFullTime), MsfAt(r, at + kFullPTime)});
  return t;
}

std::vector<std::uint8_t> BuildFullToc(const FullToc& t) {
  using namespace toc;
  std::vector<std::uint8_t> r(kHeaderLength + kFullDescriptorLength * t.descriptors.size(), 0);
  r[kFirst] = std::uint8_t(t.first_session);
  r[kLast] = std::uint8_t(t.last_session);
  std::size_t at = kHeaderLength;
  for (const FullTocDescriptor& d : t.descriptors) {
    r[at + kFullSession] = d.session;
    r[at + kFullAdrControl] = d.adr_control;
    r[at + kFullTno] = d.tno;
    r[at + kFullPoint] = d.point;
    PutMsf(r, at + kFullTime, d.time);
    PutMsf(r, at + kFullPTime, d.p);
    at += kFullDescriptorLength;
  }
  return Finish(std::move(r), 2);
}

std::optional<Atip> ParseAtip(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace toc;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kAtipLeadOut + 3) return std::nullopt;
  Atip a;
  a.short_reply = u.short_reply;
  a.rewritable = (r[kAtipDiscType] & kAtipRewritable) != 0;
  a.lead_in = MsfAt(r, kAtipLeadIn);
  a.lead_out = MsfAt(r, kAtipLeadOut);
  return a;
}

std::vector<std::uint8_t> BuildAtip(const Atip& a) {
  using namespace toc;
  std::vector<std::uint8_t> r(kAtipLength, 0);
  r[kAtipWritingPower] = 0x50;  // indicative writing power 5, reference speed 0
  r[kAtipDiscType] = std::uint8_t(0x80 | (a.rewritable ? kAtipRewritable : 0));
  PutMsf(r, kAtipLeadIn, a.lead_in);
  PutMsf(r, kAtipLeadOut, a.lead_out);
  return Finish(std::move(r), 2);
}

// ---- GET CONFIGURATION --------------------------------------------------------------

std::optional<Configuration> ParseConfiguration(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace feature;
  const Usable u = Bound(moved, allocation, 4);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kHeaderLength) return std::nullopt;
  Configuration c;
  c.short_reply = u.short_reply;
  c.current_profile = static_cast<std::uint16_t>(GetBe16(&r[kCurrentProfile]));
  for (std::size_t at = kHeaderLength; at + kDescriptorHeaderLength <= r.size();) {
    FeatureDescriptor f;
    f.code = static_cast<std::uint16_t>(GetBe16(&r[at + kCode]));
    f.version = (r[at + kFlags] >> kVersionShift) & 0x0F;
    f.persistent = (r[at + kFlags] & kPersistent) != 0;
    f.current = (r[at + kFlags] & kCurrent) != 0;
    const std::size_t begin = at + kDescriptorHeaderLength;
    const std::size_t end = std::min(r.size(), begin + r[at + kAdditionalLength]);
    f.data.assign(r.begin() + std::ptrdiff_t(begin), r.begin() + std::ptrdiff_t(end));
    c.features.push_back(std::move(f));
    at = begin + r[at + kAdditionalLength];
  }
  return c;
}

std::vector<std::uint8_t> BuildConfiguration(const Configuration& c) {
  using namespace feature;
  std::vector<std::uint8_t> r(kHeaderLength, 0);
  Put16(r, kCurrentProfile, c.current_profile);
  for (const FeatureDescriptor& f : c.features) {
    const std::size_t at = r.size();
    r.resize(at + kDescriptorHeaderLength);
    Put16(r, at + kCode, f.code);
    r[at + kFlags] = std::uint8_t(f.version << kVersionShift | (f.persistent ? kPersistent : 0) |
                                  (f.current ? kCurrent : 0));
    r[at + kAdditionalLength] = std::uint8_t(f.data.size());
    r.insert(r.end(), f.data.begin(), f.data.end());
  }
  return Finish(std::move(r), 4);
}

std::vector<std::uint16_t> ProfileNumbers(const FeatureDescriptor& profile_list) {
  using namespace feature;
  std::vector<std::uint16_t> numbers;
  const std::vector<std::uint8_t>& d = profile_list.data;
  for (std::size_t at = 0; at + kProfileDescriptorLength <= d.size(); at += kProfileDescriptorLength)
    numbers.push_back(static_cast<std::uint16_t>(GetBe16(&d[at + kProfileNumber])));
  return numbers;
}

// ---- READ FORMAT CAPACITIES ------------------------------------------------------------

std::optional<FormatCapacities> ParseFormatCapacities(std::span<const std::uint8_t> moved,
                                                      std::size_t allocation) {
  using namespace format_capacities;
  if (moved.size() < kHeaderLength) return std::nullopt;
  // The list length is one byte and counts only the descriptors.
  const std::size_t declared = kHeaderLength + moved[kListLength];
  const std::span<const std::uint8_t> r = moved.first(std::min(moved.size(), declared));
  if (r.size() < kHeaderLength + kDescriptorLength) return std::nullopt;
  FormatCapacities c;
  c.short_reply = moved.size() < std::min(declared, allocation);
  auto descriptor = [&](std::size_t at) {
    return CapacityDescriptor{GetBe32(&r[at + kBlocks]), r[at + kType], GetBe24(&r[at + kParameter])};
  };
  c.current = descriptor(kHeaderLength);
  for (std::size_t at = kHeaderLength + kDescriptorLength; at + kDescriptorLength <= r.size();
       at += kDescriptorLength)
    c.formattable.push_back(descriptor(at));
  return c;
}

std::vector<std::uint8_t> BuildFormatCapacities(const FormatCapacities& c) {
  using namespace format_capacities;
  std::vector<std::uint8_t> r(kHeaderLength, 0);
  auto add = [&r](const CapacityDescriptor& d) {
    const std::size_t at = r.size();
    r.resize(at + kDescriptorLength, 0);
    Put32(r, at + kBlocks, d.blocks);
    r[at + kType] = d.type;
    Put24(r, at + kParameter, d.parameter);
  };
  add(c.current);
  for (const CapacityDescriptor& d : c.formattable) add(d);
  r[kListLength] = std::uint8_t(r.size() - kHeaderLength);
  return r;
}

// ---- READ DVD STRUCTURE ---------------------------------------------------------------

std::optional<PhysicalFormat> ParsePhysicalFormat(std::span<const std::uint8_t> moved,
                                                  std::size_t allocation) {
  using namespace dvd_structure;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kDataEnd + 4) return std::nullopt;
  PhysicalFormat f;
  f.short_reply = u.short_reply;
  f.book_type = r[kBookType] >> 4;
  f.part_version = r[kBookType] & 0x0F;
  f.layers = ((r[kLayers] >> 5) & 0x03) + 1;
  f.data_start = GetBe24(&r[kDataStart + 1]);
  f.data_end = GetBe24(&r[kDataEnd + 1]);
  if (r.size() >= kLayerZeroEnd + 4) f.layer_zero_end = GetBe24(&r[kLayerZeroEnd + 1]);
  return f;
}

std::vector<std::uint8_t> BuildPhysicalFormat(const PhysicalFormat& f, int layer_type) {
  using namespace dvd_structure;
  std::vector<std::uint8_t> r(kPhysicalLength, 0);
  r[kBookType] = std::uint8_t(f.book_type << 4 | (f.part_version & 0x0F));
  r[kDiscSize] = 0x0F;  // 120 mm, no maximum rate
  r[kLayers] = std::uint8_t(((f.layers - 1) & 0x03) << 5 | (layer_type & 0x0F));
  Put32(r, kDataStart, f.data_start);
  Put32(r, kDataEnd, f.data_end);
  Put32(r, kLayerZeroEnd, f.layer_zero_end);
  return Finish(std::move(r), 2);
}

std::optional<MediaIdentifier> ParsePreRecorded(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace dvd_structure;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kManufacturerIdPart2 + kManufacturerPartLength) return std::nullopt;
  MediaIdentifier id;
  id.short_reply = u.short_reply;
  id.manufacturer = Text(r, kManufacturerIdPart1, kManufacturerPartLength) +
                    Text(r, kManufacturerIdPart2, kManufacturerPartLength);
  return id;
}

std::optional<MediaIdentifier> ParseAdip(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace dvd_structure;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() <= kAdipRevision) return std::nullopt;
  MediaIdentifier id;
  id.short_reply = u.short_reply;
  id.manufacturer = Text(r, kAdipManufacturerId, kAdipManufacturerIdLength);
  id.media_type = Text(r, kAdipMediaTypeId, kAdipMediaTypeIdLength);
  id.revision = r[kAdipRevision];
  return id;
}

std::vector<std::uint8_t> BuildPreRecorded(const MediaIdentifier& id) {
  using namespace dvd_structure;
  std::vector<std::uint8_t> r(kPreRecordedLength, 0);
  for (std::size_t field = 0; field < 5; ++field)
    r[kPreRecordedField + kPreRecordedFieldLength * field] = std::uint8_t(field + 1);
  PutText(r, kManufacturerIdPart1, id.manufacturer, kManufacturerPartLength);
  if (id.manufacturer.size() > kManufacturerPartLength)
    PutText(r, kManufacturerIdPart2, id.manufacturer.substr(kManufacturerPartLength),
            kManufacturerPartLength);
  return Finish(std::move(r), 2);
}

std::vector<std::uint8_t> BuildAdip(const MediaIdentifier& id, std::uint8_t category) {
  using namespace dvd_structure;
  std::vector<std::uint8_t> r(kAdipLength, 0);
  r[kAdipCategory] = category;
  PutText(r, kAdipManufacturerId, id.manufacturer, kAdipManufacturerIdLength);
  PutText(r, kAdipMediaTypeId, id.media_type, kAdipMediaTypeIdLength);
  r[kAdipRevision] = id.revision;
  return Finish(std::move(r), 2);
}

// ---- READ BUFFER CAPACITY and the media event --------------------------------------------

std::optional<BufferCapacity> ParseBufferCapacity(std::span<const std::uint8_t> moved,
                                                  std::size_t allocation) {
  using namespace buffer_capacity;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kLength) return std::nullopt;
  return BufferCapacity{GetBe32(&r[kBufferLength]), GetBe32(&r[kAvailable]), u.short_reply};
}

std::vector<std::uint8_t> BuildBufferCapacity(const BufferCapacity& c) {
  using namespace buffer_capacity;
  std::vector<std::uint8_t> r(kLength, 0);
  Put32(r, kBufferLength, c.length);
  Put32(r, kAvailable, c.available);
  return Finish(std::move(r), 2);
}

std::optional<MediaEvent> ParseMediaEvent(std::span<const std::uint8_t> moved, std::size_t allocation) {
  using namespace event_status;
  const Usable u = Bound(moved, allocation, 2);
  const std::span<const std::uint8_t> r = u.bytes;
  if (r.size() < kHeaderLength) return std::nullopt;
  MediaEvent e;
  e.short_reply = u.short_reply;
  e.notification_class = r[kClass] & kClassMask;
  e.supported_classes = r[kSupportedClasses];
  e.event_available = (r[kClass] & kNoEventAvailable) == 0;
  if (e.event_available) {
    if (e.notification_class != kNotificationMedia || r.size() < kMediaLength) return std::nullopt;
    e.event_code = r[kEventCode] & 0x0F;
    e.media_present = (r[kMediaStatus] & kMediaPresent) != 0;
    e.tray_open = (r[kMediaStatus] & kTrayOpen) != 0;
  }
  return e;
}

std::vector<std::uint8_t> BuildMediaEvent(const MediaEvent& e) {
  using namespace event_status;
  std::vector<std::uint8_t> r(e.event_available ? kMediaLength : kHeaderLength, 0);
  r[kClass] = std::uint8_t(e.event_available ? (e.notification_class & kClassMask) : kNoEventAvailable);
  r[kSupportedClasses] = e.supported_classes;
  if (e.event_available) {
    r[kEventCode] = std::uint8_t(e.event_code & 0x0F);
    r[kMediaStatus] = std::uint8_t((e.media_present ? kMediaPresent : 0) | (e.tray_open ? kTrayOpen : 0));
  }
  return Finish(std::move(r), 2);
}

}  // namespace platform::mmc
