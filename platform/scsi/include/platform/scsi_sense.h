// Texts for SCSI additional sense codes (ASC/ASCQ), as the disc engine shows
// them to the user after a failed command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/scsi.h"

namespace platform {

// The standard description of an ASC/ASCQ pair in Title Case, or nothing when
// the pair is not in the table. The returned view points at static storage.
std::optional<std::string_view> LookupSenseText(std::uint8_t asc, std::uint8_t ascq);

// The text for a failed command's sense data: the table's row when the pair is
// known, else "Sense Key %X, ASC %02Xh, ASCQ %02Xh". Always derived from this
// sense alone, never from an earlier failure.
std::string SenseText(const Sense& sense);

// Number of rows in the table (for tests).
std::size_t SenseTextRowCount();

}  // namespace platform
