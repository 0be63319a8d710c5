// SG_IO backend: CD/DVD drives found through sysfs and driven by the Linux
// SCSI generic ioctl on their /dev/sr* (or /dev/sg*) node. The transport
// policy (scsi_policy.h) that OpenDrives puts in front of it checks lengths,
// retries and traces.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <tuple>

#include "platform/scsi.h"
#include "platform/scsi_policy.h"

namespace platform {
namespace {

constexpr int kCdRomDeviceType = 5;
constexpr unsigned kSenseBufferSize = 32;
constexpr unsigned kHostTimeout = 0x03;    // DID_TIME_OUT
constexpr unsigned kDriverTimeout = 0x06;  // DRIVER_TIMEOUT (low nibble)

class SgDevice final : public ScsiDevice {
 public:
  explicit SgDevice(DeviceIdentity identity) : identity_(std::move(identity)) {}
  ~SgDevice() override {
    if (fd_ >= 0) ::close(fd_);
  }
  SgDevice(const SgDevice&) = delete;
  SgDevice& operator=(const SgDevice&) = delete;

  ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection direction, std::span<std::uint8_t> buffer,
                  std::chrono::milliseconds timeout) override {
    std::lock_guard lock(mutex_);
    // The transport policy sends only blocks of 6 to 16 bytes.
    if (cdb.empty() || cdb.size() > 16) {
      return Failure("command block of " + std::to_string(cdb.size()) + " bytes refused");
    }
    if (timeout.count() <= 0) timeout = CommandTimeout(cdb[0]);
    return SendOnce(cdb, direction, buffer, timeout);
  }

  const DeviceIdentity& identity() const override { return identity_; }

  // An exclusive open, which the kernel refuses while the disc is mounted or
  // another program holds the drive the same way, and which keeps both away
  // until it is closed. The commands of the job go through it.
  HoldResult HoldExclusive(std::string* why) override {
    std::lock_guard lock(mutex_);
    if (held_) return HoldResult::kHeld;
    // A generic node refuses an exclusive open while any open of it exists,
    // ours included.
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(identity_.node.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
    if (fd_ < 0) {
      const int error = errno;
      *why = identity_.node + ": " + std::strerror(error);
      return error == EBUSY ? HoldResult::kInUse : HoldResult::kFailed;
    }
    held_ = true;
    return HoldResult::kHeld;
  }

  void ReleaseExclusive() override {
    std::lock_guard lock(mutex_);
    if (!held_) return;
    ::close(fd_);
    fd_ = -1;  // opened again, shared, by the next command
    held_ = false;
  }

 private:
  static ScsiResult Failure(std::string message) {
    ScsiResult result;
    result.transport = ScsiResult::Transport::kError;
    result.transport_message = std::move(message);
    return result;
  }

  ScsiResult SendOnce(std::span<const std::uint8_t> cdb, DataDirection direction,
                      std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    if (fd_ < 0) {
      fd_ = ::open(identity_.node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (fd_ < 0) return Failure("cannot open " + identity_.node + ": " + std::strerror(errno));
    }
    std::uint8_t command[16] = {};
    std::copy(cdb.begin(), cdb.end(), command);
    std::uint8_t sense[kSenseBufferSize] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.cmdp = command;
    header.mx_sb_len = sizeof sense;
    header.sbp = sense;
    header.dxfer_direction = SG_DXFER_NONE;
    if (direction != DataDirection::kNone && !buffer.empty()) {
      header.dxfer_direction = direction == DataDirection::kIn ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
      header.dxfer_len = static_cast<unsigned>(buffer.size());
      header.dxferp = buffer.data();
    }
    const auto limit = std::min<std::chrono::milliseconds::rep>(timeout.count(), 0x7FFFFFFF);
    header.timeout = static_cast<unsigned>(limit);
    if (::ioctl(fd_, SG_IO, &header) < 0) {
      return Failure("SG_IO on " + identity_.node + " failed: " + std::strerror(errno));
    }
    ScsiResult result;
    if (header.host_status == kHostTimeout || (header.driver_status & 0x0F) == kDriverTimeout) {
      result.transport = ScsiResult::Transport::kTimeout;
      result.transport_message = "command timed out after " + std::to_string(limit) + " ms";
      return result;
    }
    if (header.host_status != 0) {
      return Failure("host adapter status " + std::to_string(header.host_status) + " on " + identity_.node);
    }
    result.status = header.status;
    if (header.sb_len_wr > 0) {
      result.sense = ParseSense(
          std::span<const std::uint8_t>(sense, std::min<std::size_t>(header.sb_len_wr, sizeof sense)));
      // Sense data with a driver-reported check condition but a zero status
      // byte still means the command failed.
      if (result.status == 0 && result.sense.valid && result.sense.key != 0) result.status = 2;
    }
    if (header.dxfer_len > 0 && header.resid >= 0 &&
        static_cast<unsigned>(header.resid) <= header.dxfer_len) {
      result.transferred = header.dxfer_len - static_cast<unsigned>(header.resid);
    }
    return result;
  }

  DeviceIdentity identity_;
  std::mutex mutex_;  // one command at a time per drive
  int fd_ = -1;
  bool held_ = false;  // fd_ is an exclusive open
};

// Reads a sysfs attribute: the text up to its final newline, cut at the first
// zero byte. INQUIRY fields keep their trailing blanks.
std::string ReadAttribute(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The device node's name: block/sr* first, then scsi_generic/sg*, in either the
// directory layout (block/sr0) or the older link layout (block:sr0).
std::string FindNodeName(const std::filesystem::path& device_dir) {
  std::error_code ec;
  for (const char* kind : {"block", "scsi_generic"}) {
    const std::string prefix = std::string(kind) == "block" ? "sr" : "sg";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(device_dir / kind, ec)) {
      names.push_back(entry.path().filename().string());
    }
    ec.clear();
    for (const auto& entry : std::filesystem::directory_iterator(device_dir, ec)) {
      const std::string name = entry.path().filename().string();
      const std::string link_prefix = std::string(kind) + ":";
      if (name.rfind(link_prefix, 0) == 0) names.push_back(name.substr(link_prefix.size()));
    }
    ec.clear();
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (name.rfind(prefix, 0) == 0) return name;
    }
  }
  return {};
}

bool ParseAddress(const std::string& name, ScsiAddress& address) {
  char tail = 0;
  return std::sscanf(name.c_str(), "%d:%d:%d:%d%c", &address.host, &address.channel, &address.target,
                     &address.lun, &tail) == 4 &&
         address.host >= 0 && address.channel >= 0 && address.target >= 0 && address.lun >= 0;
}

}  // namespace

ScanResult ScanSgDrives(const std::filesystem::path& sysfs_root, const std::filesystem::path& dev_root) {
  ScanResult scan;
  std::vector<DeviceIdentity> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(sysfs_root, ec)) {
    DeviceIdentity identity;
    if (!ParseAddress(entry.path().filename().string(), identity.address)) continue;
    const std::filesystem::path device_dir = entry.path() / "device";
    const std::string type = ReadAttribute(device_dir / "type");
    if (type.empty() || std::atoi(type.c_str()) != kCdRomDeviceType) continue;
    const std::string node = FindNodeName(device_dir);
    if (node.empty()) continue;
    identity.node = (dev_root / node).string();
    identity.vendor = ReadAttribute(device_dir / "vendor");
    identity.product = ReadAttribute(device_dir / "model");
    identity.revision = ReadAttribute(device_dir / "rev");
    found.push_back(std::move(identity));
  }
  auto key = [](const DeviceIdentity& d) {
    return std::tie(d.address.host, d.address.channel, d.address.target, d.address.lun);
  };
  std::sort(found.begin(), found.end(),
            [&](const DeviceIdentity& a, const DeviceIdentity& b) { return key(a) < key(b); });
  for (DeviceIdentity& identity : found)
    scan.devices.push_back(std::make_unique<SgDevice>(std::move(identity)));
  return scan;
}

}  // namespace platform
