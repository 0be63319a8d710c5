#include "burn/last_session_import.h"

#include <algorithm>
#include <vector>

#include "image/iso9660_import.h"

namespace zephrel {

namespace {

constexpr std::uint16_t kSessionInfoLength = mmc::toc::kHeaderLength + mmc::toc::kDescriptorLength;

}  // namespace

std::optional<LastSessionPlace> LocateLastSession(MmcDrive& drive, std::string* unreadable) {
  const auto reply = drive.Query(
      mmc::ReadTocPmaAtip(mmc::kTocFormatSessionInfo, false, 0, kSessionInfoLength), kSessionInfoLength);
  const auto toc = reply ? mmc::ParseToc(*reply, kSessionInfoLength) : std::nullopt;
  if (!reply) return std::nullopt;  // a blank disc has no table of contents
  if (!toc || (toc->short_reply && toc->descriptors.empty())) {
    // A reply cut short says nothing about the sessions: never "no session".
    if (unreadable)
      *unreadable = "The drive returned the table of contents of the disc incomplete (" +
                    std::to_string(reply->size()) + " bytes): the last session cannot be found.";
    return std::nullopt;
  }
  if (toc->last == 0 || toc->descriptors.empty()) return std::nullopt;  // no complete session
  LastSessionPlace place;
  place.start = toc->descriptors.front().address;
  const int track = toc->descriptors.front().track;
  if (auto recorded = drive.RecordedSectors()) {
    place.recorded_end = *recorded;
  } else {
    place.recorded_end = place.start + drive.MmcGetTrackSize(static_cast<std::uint32_t>(track)).value_or(0);
  }
  if (place.recorded_end <= place.start) return std::nullopt;
  return place;
}

bool ImportLastSession(MmcDrive& drive, ProjectTree& tree,
                       const std::function<void(const std::string&)>& report) {
  if (!drive.MmcTestUnitReady().ok()) {
    report("The disc cannot be imported: the drive is not ready.");
    return false;
  }
  std::string unreadable;
  const std::optional<LastSessionPlace> place = LocateLastSession(drive, &unreadable);
  if (!place) {
    report(unreadable.empty() ? "The disc holds no session to import." : unreadable);
    return false;
  }
  const iso9660::SectorReader read = [&drive](std::uint32_t lba, std::uint32_t count,
                                              std::span<std::uint8_t> buffer) {
    return drive.MmcReadSectors(lba, static_cast<std::uint16_t>(count), buffer).ok();
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
