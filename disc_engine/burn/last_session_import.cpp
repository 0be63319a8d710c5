#include "burn/last_session_import.h"

#include <algorithm>
#include <vector>

#include "image/iso9660_import.h"
#include "platform/byte_order.h"

namespace zephrel {

namespace {

constexpr std::uint16_t kSessionInfoLength = 12;

}  // namespace

std::optional<LastSessionPlace> LocateLastSession(MmcDrive& drive) {
  auto reply = drive.Query(mmc::ReadTocPmaAtip(mmc::kTocFormatSessionInfo, false, 0, kSessionInfoLength),
                           kSessionInfoLength);
  if (!reply || reply->size() < kSessionInfoLength) return std::nullopt;
  const std::vector<std::uint8_t>& r = *reply;
  const std::uint32_t declared = platform::GetBe16(r.data()) + 2u;
  if (declared < kSessionInfoLength || r[3] == 0) return std::nullopt;  // no complete session
  LastSessionPlace place;
  place.start = platform::GetBe32(r.data() + 8);
  const int track = r[6];
  if (auto recorded = drive.RecordedSectors()) {
    place.recorded_end = *recorded;
  } else {
    const std::uint32_t size = drive.MmcGetTrackSize(static_cast<std::uint32_t>(track));
    place.recorded_end = place.start + size;
  }
  if (place.recorded_end <= place.start) return std::nullopt;
  return place;
}

bool ImportLastSession(MmcDrive& drive, ProjectTree& tree,
                       const std::function<void(const std::string&)>& report) {
  if (drive.MmcTestUnitReady() != 1) {
    report("The disc cannot be imported: the drive is not ready.");
    return false;
  }
  const std::optional<LastSessionPlace> place = LocateLastSession(drive);
  if (!place) {
    report("The disc holds no session to import.");
    return false;
  }
  const iso9660::SectorReader read = [&drive](std::uint32_t lba, std::uint32_t count,
                                              std::span<std::uint8_t> buffer) {
    return drive.MmcReadSectors(lba, static_cast<std::uint16_t>(count), buffer) == 1;
  };
  const std::int32_t first_id = tree.IdCounter();
  iso9660::SessionTree session = iso9660::ReadSessionTree(read, place->start, place->recorded_end, first_id);
  for (const std::string& problem : session.problems) report(problem);
  if (!session.found_volume) {
    report("The last session of the disc holds no ISO 9660 volume to import.");
    return false;
  }
  const std::int32_t last_id = first_id + static_cast<std::int32_t>(session.elements.size());
  if (!tree.AddImportedElements(std::move(session.elements), last_id)) {
    report("The files of the last session could not be added to the project.");
    return false;
  }
  return true;
}

}  // namespace zephrel
