#include "audio/cd_audio_reader.h"

#include "drive/mmc_commands.h"
#include "platform/cd_sector.h"
#include "platform/scsi_policy.h"
#include "platform/scsi_sense.h"

namespace zephrel {

platform::ScsiResult CdAudioReader::ReadCd(std::uint32_t lba, std::uint32_t count,
                                           std::span<std::uint8_t> out) {
  const mmc::Cdb cdb = mmc::ReadCd(lba, count);
  return device_.exec(cdb.span(), platform::DataDirection::kIn, out.first(count * platform::kCdRawSectorSize),
                      platform::CommandTimeout(cdb.bytes[0]));
}

namespace {

bool Complete(const platform::ScsiResult& result, std::uint32_t count) {
  return result.ok() && result.transferred >= count * platform::kCdRawSectorSize;
}

std::string FailureText(std::uint32_t lba, const platform::ScsiResult& result) {
  std::string text = "Read error at LBA " + std::to_string(lba) + ": ";
  if (result.transport != platform::ScsiResult::Transport::kOk) return text + result.transport_message;
  if (result.status == 0) return text + "the drive returned fewer bytes than asked for";
  return text + platform::SenseText(result.sense);
}

}  // namespace

std::uint32_t CdAudioReader::Read(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out,
                                  CdReadFailure* failure) {
  if (Complete(ReadCd(lba, count, out), count)) return count;
  for (std::uint32_t i = 0; i < count; ++i) {
    const platform::ScsiResult single = ReadCd(lba + i, 1, out.subspan(i * platform::kCdRawSectorSize));
    if (!Complete(single, 1)) {
      failure->lba = lba + i;
      failure->text = FailureText(lba + i, single);
      return i;
    }
  }
  return count;
}

}  // namespace zephrel
