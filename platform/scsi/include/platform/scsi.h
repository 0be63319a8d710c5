// SCSI pass-through to CD/DVD drives. A ScsiDevice sends one command
// descriptor block (CDB) and returns the status and the parsed sense data.
// Backends: Linux SG_IO on /dev/sr* (or /dev/sg*), and an emulated MMC drive
// whose medium is a sparse file (see emulated_drive.h). ZEPHREL_DRIVES selects
// them: "sg" (the default) or "emu:DIR[,emu:DIR...]".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

enum class DataDirection { kNone, kIn, kOut };

struct Sense {
  std::uint8_t key = 0;   // sense key (0 = no sense)
  std::uint8_t asc = 0;   // additional sense code
  std::uint8_t ascq = 0;  // additional sense code qualifier
  bool valid = false;     // sense data was returned and parsed
};

struct ScsiResult {
  enum class Transport { kOk, kTimeout, kError } transport = Transport::kOk;
  std::uint8_t status = 0;        // SCSI status byte (0 GOOD, 2 CHECK CONDITION)
  Sense sense;                    // parsed from fixed (70h/71h) or descriptor (72h/73h) data
  std::size_t transferred = 0;    // bytes actually moved
  std::string transport_message;  // when transport != kOk
  // The drive first answered with a unit attention (a reset, a new medium)
  // and the command was sent again: this is the second answer.
  bool after_unit_attention = false;

  bool ok() const { return transport == Transport::kOk && status == 0; }
};

// Parses sense data in fixed or descriptor format.
Sense ParseSense(std::span<const std::uint8_t> sense_bytes);

struct ScsiAddress {
  int host = 0, channel = 0, target = 0, lun = 0;
};

struct DeviceIdentity {
  std::string vendor;    // INQUIRY bytes 8..15 as given (trailing blanks kept)
  std::string product;   // bytes 16..31
  std::string revision;  // bytes 32..35
  ScsiAddress address;
  std::string node;  // /dev/sr0, or the emulated drive's folder
};

// What holding a drive for one process came to.
enum class HoldResult {
  kHeld,
  kInUse,   // another program holds the drive, or its disc is mounted
  kFailed,  // the drive cannot be opened at all
};

class ScsiDevice {
 public:
  virtual ~ScsiDevice() = default;
  // Sends cdb (6, 10, 12 or 16 bytes); buffer is read (kIn) or written (kOut)
  // by the device. Thread-safe: commands to one device are serialised.
  virtual ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection direction,
                          std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) = 0;
  virtual const DeviceIdentity& identity() const = 0;
  // Holds the drive for this process alone, for as long as a job writes to
  // it: meanwhile no other program can hold it or mount its disc, and holding
  // is refused (kInUse) while another program holds it or its disc is
  // mounted. Holding what is held already succeeds. *why tells a failure.
  virtual HoldResult HoldExclusive(std::string* /*why*/) { return HoldResult::kHeld; }
  virtual void ReleaseExclusive() {}
};

struct ScanResult {
  std::vector<std::unique_ptr<ScsiDevice>> devices;  // in host:channel:target:lun order
  int load_error = 0;                                // 0, or 501 when the configured backend cannot start
  std::string message;
};

// Opens the drives that a ZEPHREL_DRIVES value names: "sg" (also for an empty
// spec) or a comma-separated list of "emu:DIR" entries. Every device is
// handed out behind the transport policy (scsi_policy.h).
ScanResult OpenDrives(const std::string& spec);

// SG_IO backend: the CD/DVD devices (SCSI type 5) listed under sysfs_root, in
// host:channel:target:lun order, opened through their /dev/sr* (else /dev/sg*)
// node under dev_root, without the transport policy. Tests point both roots at
// fake trees.
ScanResult ScanSgDrives(const std::filesystem::path& sysfs_root = "/sys/class/scsi_device",
                        const std::filesystem::path& dev_root = "/dev");

}  // namespace platform
