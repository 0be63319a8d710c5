#include "platform/scsi.h"

#include <algorithm>

namespace platform {

// Fixed format (response codes 70h current, 71h deferred): sense key in the
// low nibble of byte 2, additional length in byte 7, ASC and ASCQ in bytes 12
// and 13 when the additional length reaches them. Descriptor format (72h, 73h):
// key, ASC and ASCQ in the low nibble of byte 1, bytes 2 and 3.
Sense ParseSense(std::span<const std::uint8_t> sense_bytes) {
  Sense sense;
  if (sense_bytes.empty()) return sense;
  const std::uint8_t response_code = sense_bytes[0] & 0x7F;
  if (response_code == 0x70 || response_code == 0x71) {
    if (sense_bytes.size() < 3) return sense;
    sense.key = sense_bytes[2] & 0x0F;
    // Byte 7 counts the bytes after byte 7; ASC and ASCQ need at least 6.
    const std::size_t available = sense_bytes.size() >= 8 ? 8u + sense_bytes[7] : 0;
    const std::size_t usable = std::min(available, sense_bytes.size());
    if (usable > 12) sense.asc = sense_bytes[12];
    if (usable > 13) sense.ascq = sense_bytes[13];
    sense.valid = true;
  } else if (response_code == 0x72 || response_code == 0x73) {
    if (sense_bytes.size() < 2) return sense;
    sense.key = sense_bytes[1] & 0x0F;
    if (sense_bytes.size() > 2) sense.asc = sense_bytes[2];
    if (sense_bytes.size() > 3) sense.ascq = sense_bytes[3];
    sense.valid = true;
  }
  return sense;
}

}  // namespace platform
