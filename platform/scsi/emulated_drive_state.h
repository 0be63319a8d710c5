// The persistent state of an emulated drive: its identity, the tray and the
// medium with its sessions and tracks, kept as a small text file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated_drive.h"

namespace platform::emu {

enum class TrackState : std::uint8_t {
  kOpen,      // the invisible track of an appendable disc (incomplete once written)
  kReserved,  // fixed size, being filled
  kComplete,
};

struct Track {
  std::uint32_t number = 1;
  std::uint32_t session = 1;
  std::uint32_t start = 0;
  std::uint32_t size = 0;     // fixed size; for kOpen derived from the free space
  std::uint32_t written = 0;  // sectors recorded from start
  TrackState state = TrackState::kOpen;
  bool audio = false;
  std::uint8_t control = 4;  // Q sub-channel control nibble: 4 data, 0 audio, 1 pre-emphasis, 2 copy
  bool damaged = false;
  bool dao = false;  // reserved for disc-at-once: the disc closes when it is full
  std::uint32_t next_writable() const { return start + written; }
};

enum class MediumClass { kRom, kSequential, kRandom };

struct Medium {
  std::uint16_t profile = kProfileDvdPlusR;
  std::uint32_t capacity = 0;
  bool write_protected = false;
  bool formatted = false;
  bool finalized = false;  // sequential media: no further session can be added
  int bg_format = 0;       // 0 none, 1 started but stopped, 2 running, 3 complete
  Msf atip_lead_in;
  std::string manufacturer_id, media_type_id;
  std::vector<Track> tracks;  // disc order; an appendable disc ends with its kOpen track
};

// Everything every program that opens the drive sees alike, as on a real
// drive: the tray, the medium, the tray lock, and the test controls.
struct DriveState {
  EmulatedIdentity identity;
  bool tray_open = false;
  std::optional<Medium> medium;
  bool prevent = false;       // medium removal prevented
  std::uint32_t changes = 0;  // counts the medium changes (tray, insert, removal)
  int not_ready = 0;          // medium commands still to answer 02/04/01
  int operation_length = 3;   // commands an immediate operation takes when writes are not paced (0: none)
  std::vector<InjectedFault> faults;
  bool underrun = false;  // the next WRITE underruns
  std::uint32_t pacing_kbps = 0;
  std::uint32_t pacing_buffer = 0;  // bytes
};

bool IsCd(std::uint16_t profile);
bool IsDvdMinus(std::uint16_t profile);  // DVD-R, DVD-RW, DVD-R DL
bool IsBd(std::uint16_t profile);
bool IsErasable(std::uint16_t profile);
bool SupportsTestWrite(std::uint16_t profile);
MediumClass ClassOf(const Medium& medium);
std::uint32_t SectorSize(std::uint16_t profile);  // bytes a sector in media.img
std::uint32_t DefaultCapacity(std::uint16_t profile);

// A fresh medium; its recorded content (if any) is written by the caller.
Medium MakeMedium(const MediumSpec& spec, std::uint32_t content_sectors);
// Clears the recording: a blank sequential disc, or an unformatted one.
void MakeBlank(Medium& medium);
// The open (invisible or incomplete) track, or null.
Track* OpenTrack(Medium& medium);
const Track* OpenTrack(const Medium& medium);
// Appends a new open track after the last one, in the given session.
void AppendOpenTrack(Medium& medium, std::uint32_t session, std::uint32_t start);

std::string Serialise(const DriveState& state);
std::optional<DriveState> Parse(const std::string& text, std::string* error);

}  // namespace platform::emu
