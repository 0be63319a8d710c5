#include "image/image_plan.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <unordered_map>

#include "image/dvd_video_files.h"
#include "image/iso9660_format.h"
#include "image/udf_writer.h"
#include "platform/mmc.h"
#include "platform/text.h"

namespace zephrel {
namespace {

constexpr std::size_t kSector = platform::mmc::kSectorSize;
// A DVD-Video image ends on a whole ECC block of 16 sectors.
constexpr std::uint32_t kDvdBlockSectors = 16;

// The visible folder of that name directly under the root.
std::int32_t TopFolder(const std::vector<TreeElement>& tree, const char* name) {
  for (const TreeElement& e : tree) {
    if (e.parent_id == kRootId && e.is_folder() && !e.removed && platform::AsciiUpper(e.name) == name)
      return e.id;
  }
  return -1;
}

std::vector<std::string> Names(const std::vector<UdfFile>& files) {
  std::vector<std::string> names;
  for (const UdfFile& f : files) names.push_back(f.name);
  return names;
}

ImagePlanResult Failed(std::string error) {
  ImagePlanResult r;
  r.status = LayoutResult::Status::kError;
  r.error = std::move(error);
  return r;
}

ImagePlanResult LayoutFailed(const LayoutResult& result) {
  if (result.status == LayoutResult::Status::kCanceled) return {result.status, {}, {}};
  return Failed(result.error.empty() ? "The image could not be laid out." : result.error);
}

// A data volume: the files' end padded to whole pad sectors.
std::uint64_t DataVolumeEnd(std::uint32_t end_sector, std::uint32_t session_start, std::uint32_t pad) {
  const std::uint64_t total = end_sector - session_start;
  return session_start + (total + pad - 1) / pad * pad;
}

// A DVD-Video volume: the partition ends with the files; the volume then runs
// to a whole ECC block whose last sector is the closing anchor, and on by
// whole blocks to whole pad sectors, the anchor staying last.
std::uint64_t DvdVolumeEnd(std::uint32_t end_sector, std::uint32_t session_start, std::uint32_t pad) {
  std::uint64_t volume_end =
      (std::uint64_t(end_sector) + 1 + kDvdBlockSectors - 1) / kDvdBlockSectors * kDvdBlockSectors;
  while ((volume_end - session_start) % pad != 0) volume_end += kDvdBlockSectors;
  return volume_end;
}

}  // namespace

ImagePlanResult PlanImage(const std::vector<TreeElement>& tree, const ImagePlanOptions& plan_options) {
  LayoutOptions options = plan_options.layout;
  options.min_start_sector.clear();
  // One build time for every pass and for the bridge.
  const auto now = options.clock ? options.clock() : std::chrono::system_clock::now();
  options.clock = [now] { return now; };
  const std::uint32_t pad = std::max<std::uint32_t>(plan_options.pad_to_sectors, 1);
  const std::uint32_t session_start = options.session_start;

  if (!options.dvd_video) {
    options.volume_end = [=](std::uint32_t end_sector) {
      return DataVolumeEnd(end_sector, session_start, pad);
    };
    LayoutResult result = LayOutIso9660(tree, options);
    if (!result.ok()) return LayoutFailed(result);
    ImagePlanResult r;
    r.plan.layout = std::move(result.layout);
    const IsoLayout& layout = r.plan.layout;
    r.plan.end_sectors.assign(std::size_t(layout.volume_end - layout.end_sector) * kSector, 0);
    r.plan.total_sectors = layout.volume_end - layout.session_start;
    return r;
  }

  for (const TreeElement& e : tree) {
    if (e.from_last_session && !e.removed) {
      return Failed(
          "A DVD-Video image cannot continue the last session of a disc: build it without importing the "
          "session.");
    }
  }
  std::vector<TreeElement> ordered = tree;
  std::unordered_map<std::int32_t, std::int32_t> parent_of;  // by id
  for (const TreeElement& e : ordered) parent_of[e.id] = e.parent_id;
  const std::int32_t audio_id = TopFolder(ordered, "AUDIO_TS");
  const std::int32_t video_id = TopFolder(ordered, "VIDEO_TS");
  if (video_id >= 0) OrderDvdVideoFiles(ordered, video_id);

  // A first pass finds where the UDF area starts and the order of the files;
  // the second places the files where the UDF area and the DVD-Video sets
  // need them.
  {
    LayoutOptions first_options = options;
    first_options.phase = nullptr;
    const LayoutResult first = LayOutIso9660(ordered, first_options);
    if (!first.ok()) return LayoutFailed(first);
    std::vector<std::string> audio_names, video_names;
    for (const FilePlacement& p : first.layout.placements) {
      if (parent_of[p.id] == audio_id) audio_names.push_back(p.name);
      if (parent_of[p.id] == video_id) video_names.push_back(p.name);
    }
    const std::uint32_t udf_blocks =
        std::max(UdfAreaBlocks(audio_names, video_names), first.layout.udf_area_sectors);
    std::string error;
    if (!PlanDvdVideoStarts(first.layout.placements, ordered, video_id,
                            first.layout.udf_area_start + udf_blocks, &options.min_start_sector, &error)) {
      return Failed(error);
    }
  }
  options.volume_end = [=](std::uint32_t end_sector) { return DvdVolumeEnd(end_sector, session_start, pad); };
  LayoutResult result = LayOutIso9660(ordered, options);
  if (!result.ok()) return LayoutFailed(result);

  ImagePlanResult r;
  IsoLayout& layout = r.plan.layout;
  layout = std::move(result.layout);
  // The UDF bridge: the partition holds the UDF area and the file data.
  UdfBridgeInput udf;
  udf.session_start = layout.session_start;
  udf.partition_start = layout.udf_area_start;
  udf.partition_end = layout.end_sector;
  udf.volume_end = layout.volume_end;
  udf.volume_name = options.volume_name.empty() ? "DVD_VIDEO" : options.volume_name;
  udf.build_time = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  for (const FilePlacement& p : layout.placements) {
    const UdfFile f{p.name, p.size, p.extent};
    if (parent_of[p.id] == audio_id) udf.audio_ts.push_back(f);
    if (parent_of[p.id] == video_id) udf.video_ts.push_back(f);
  }
  // The UDF area may need more than the layout reserved (large folders); the
  // files were placed after it.
  const std::size_t udf_end_bytes = std::size_t(layout.udf_area_start - layout.session_start +
                                                UdfAreaBlocks(Names(udf.audio_ts), Names(udf.video_ts))) *
                                    kSector;
  if (layout.header.size() < udf_end_bytes) layout.header.resize(udf_end_bytes, 0);
  std::array<std::uint8_t, udf::kBlockSize> anchor{};
  std::string error;
  if (!WriteUdfBridge(udf, layout.header, anchor, &error)) return Failed(error);
  r.plan.end_sectors.assign(std::size_t(layout.volume_end - layout.end_sector) * kSector, 0);
  std::memcpy(r.plan.end_sectors.data() + r.plan.end_sectors.size() - kSector, anchor.data(), kSector);
  r.plan.total_sectors = layout.volume_end - layout.session_start;
  return r;
}

}  // namespace zephrel
