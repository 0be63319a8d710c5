// The write speeds a drive offers for the medium it holds, as the engine's
// speed list gives them.
#pragma once

#include <cstdint>
#include <vector>

namespace zephrel {

class DriveList;
class MmcDrive;

// Fills drive `number`'s speed list from drive and returns its length. The
// drive is asked for each speed from the fastest a medium of media-type code
// `code` could take down to the slowest (DVD steps of 20x to 2x for codes 1
// to 15, else CD steps of 52x to 1x), and every distinct speed it then
// reports as its current one is listed, fastest first; it is left at the last
// speed it accepted. When the drive's own write speed descriptors name more
// speeds than that, the list is theirs. drive must have been made with
// speeds and number (MmcDrive(device, &speeds, number)): the speeds it
// reports go into that list.
int ProbeWriteSpeeds(MmcDrive& drive, DriveList& speeds, int number, int code);

// The distinct write speeds in kB/s of the drive's write speed descriptors
// for its medium (GET PERFORMANCE type 03h), fastest first; none when the
// drive gives none.
std::vector<long> WriteSpeedDescriptors(MmcDrive& drive);

}  // namespace zephrel
