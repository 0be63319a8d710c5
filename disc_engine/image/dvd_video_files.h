// Where the files of a VIDEO_TS folder must start in a DVD-Video image. The
// information files declare where their set's other files start (a title
// set's IFO counted from VIDEO_TS.IFO, each menu and title VOB and each backup
// counted from its own IFO), and a player follows those numbers, so the data
// is padded until every file starts where its set declares.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "image/iso9660_layout.h"
#include "tree/tree_element.h"

namespace zephrel {

// What an information file declares, in sectors from its own first sector.
struct DeclaredDvdSet {
  std::uint32_t menu_vob = 0;   // 0: none declared
  std::uint32_t title_vob = 0;  // title sets only
  std::optional<std::uint32_t> backup;
  std::map<int, std::uint32_t> title_sets;  // manager only: set number -> start
};

// Reads the declared layout from the first sector of an information file
// (head) and, for the manager, the sector of its title search pointers
// (title_table, possibly short or empty). nullopt when head is not an
// information file of that kind. Safe for any bytes.
std::optional<DeclaredDvdSet> ParseDeclaredDvdSet(std::span<const std::uint8_t> head,
                                                  std::span<const std::uint8_t> title_table, bool manager);

// Sort key of a DVD-Video file name: the manager's files first (IFO, VOB,
// BUP), then each title set in number order (IFO, menu VOB, title VOBs in part
// order, BUP); other names after them. Lower keys come first.
int DvdVideoFileRank(const std::string& name);

// Puts the files directly inside the folder video_ts_id into DVD-Video order
// within the list positions they already take (parents still precede their
// children).
void OrderDvdVideoFiles(std::vector<TreeElement>& tree, std::int32_t video_ts_id);

// The first sector each file must start at: files are placed in the order of
// placements, the first no earlier than first_data_sector, and the files of
// video_ts_id at the offsets their information files declare. False with
// error set when a set declares a layout that cannot hold its files, or an
// information file cannot be read.
bool PlanDvdVideoStarts(const std::vector<FilePlacement>& placements, const std::vector<TreeElement>& tree,
                        std::int32_t video_ts_id, std::uint32_t first_data_sector,
                        std::unordered_map<std::int32_t, std::uint32_t>* min_start, std::string* error);

}  // namespace zephrel
