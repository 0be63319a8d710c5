// Plans a whole image before any of it is written: the ISO 9660 layout, in the
// DVD-Video mode the two-pass placement of the DVD-Video sets and the UDF
// bridge, and the padding after the files. PlanImage is a pure function of its
// arguments, like LayOutIso9660: the volume descriptors it returns already
// record the final volume size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/iso9660_layout.h"
#include "tree/tree_element.h"

namespace zephrel {

struct ImagePlanOptions {
  // Layout options: min_start_sector and volume_end are the plan's own and
  // are set by it.
  LayoutOptions layout;
  // The volume is padded with zeros to a whole number of these sectors
  // (counted from the session start); a DVD-Video volume keeps its closing
  // anchor in the last sector.
  std::uint32_t pad_to_sectors = 1;
};

struct ImagePlan {
  // The file-system area with every structure written in (in the DVD-Video
  // mode the UDF bridge too), and where every file's data goes.
  IsoLayout layout;
  // The sectors after the last file's data: zeros, and in the DVD-Video mode
  // the closing anchor last.
  std::vector<std::uint8_t> end_sectors;
  // Sectors of the whole volume from the session start.
  std::uint32_t total_sectors = 0;
};

struct ImagePlanResult {
  LayoutResult::Status status = LayoutResult::Status::kOk;
  std::string error;  // kError: a message for the user
  ImagePlan plan;
  bool ok() const { return status == LayoutResult::Status::kOk; }
};

// Plans the image of the visible elements of tree. Phases are reported (and
// may cancel) through options.layout.phase, for the final layout only.
ImagePlanResult PlanImage(const std::vector<TreeElement>& tree, const ImagePlanOptions& options);

}  // namespace zephrel
