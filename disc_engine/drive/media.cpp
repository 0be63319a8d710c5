#include "drive/media.h"

#include <array>
#include <vector>

#include "drive/mmc_drive.h"
#include "platform/text.h"

namespace zephrel {
namespace {

struct ProfileCode {
  std::uint16_t profile;
  int code;
};

constexpr ProfileCode kProfileCodes[] = {
    {platform::mmc::kProfileCdRom, kMediaCdRom},
    {platform::mmc::kProfileCdR, kMediaCdR},
    {platform::mmc::kProfileCdRw, kMediaCdRw},
    {platform::mmc::kProfileDvdRom, kMediaDvdRom},
    {platform::mmc::kProfileDvdR, kMediaDvdR},
    {platform::mmc::kProfileDvdRam, kMediaDvdRam},
    {platform::mmc::kProfileDvdRwRestricted, kMediaDvdRw},
    {platform::mmc::kProfileDvdRwSequential, kMediaDvdRw},
    {platform::mmc::kProfileDvdPlusRw, kMediaDvdPlusRw},
    {platform::mmc::kProfileDvdPlusR, kMediaDvdPlusR},
    {platform::mmc::kProfileDvdPlusRwDl, kMediaDvdPlusRwDl},
    {platform::mmc::kProfileDvdPlusRDl, kMediaDvdPlusRDl},
    {platform::mmc::kProfileBdRSrm, kMediaBdR},
    {platform::mmc::kProfileBdRRrm, kMediaBdR},
    {platform::mmc::kProfileBdRe, kMediaBdRe},
    {platform::mmc::kProfileHdDvdRom, kMediaHdDvdRom},
    {platform::mmc::kProfileHdDvdR, kMediaHdDvdR},
    {platform::mmc::kProfileHdDvdRam, kMediaHdDvdRam},
};

// Names by code, from -1 to 21.
constexpr const char* kNames[] = {"No Media",   "DVD-ROM",  "DVD-RAM",   "DVD-R",    "DVD-RW",   "HD DVD-ROM",
                                  "HD DVD-RAM", "HD DVD-R", "Reserved",  "Reserved", "DVD+RW",   "DVD+R",
                                  "Reserved",   "Reserved", "DVD+RW DL", "DVD+R DL", "Reserved", "CD-R",
                                  "CD-RW",      "CD-ROM",   "",          "BD-RE",    "BD-R"};

struct AtipRange {
  int second, first_frame, last_frame;
  const char* name;
};

// By the second and frame of the ATIP start of lead-in. The names are
// UTF-8.
constexpr AtipRange kAtipManufacturers[] = {
    {15, 0, 9, "TDK Corporation"},
    {15, 20, 29, "Mitsubishi Chemical Corporation"},
    {16, 20, 29, "Shenzhen SG&Sast Digital Optical Co.,Ltd."},
    {17, 0, 9, "Moser Baer India Limited"},
    {21, 40, 49, "Optical Disc Manufacturing Equipment"},
    {22, 0, 9, "Woongjin Media corp."},
    {22, 10, 19, "Seantram Technology Inc."},
    {22, 40, 49, "CIS Technology Inc."},
    {23, 0, 9, "Matsushita Electric Industrial Co., Ltd."},
    {23, 10, 19, "Doremi Media Co.,Ltd."},
    {23, 20, 39, "Custommer Pressing Oosterhout"},
    {23, 40, 49, "Victor Company of Japan Limited"},
    {23, 50, 69, "Custommer Pressing Oosterhout"},
    {24, 0, 9, "Taiyo Yuden Company Limited"},
    {24, 10, 19, "SONY Corporation"},
    {24, 20, 29, "Computer Support Italy s.r.l."},
    {24, 30, 39, "Unitech Japan Inc."},
    {25, 20, 29, "Hitachi Maxell, Ltd."},
    {25, 30, 39, "Infodisc Technology Co., Ltd."},
    {25, 50, 59, "AMS Technology Inc."},
    {25, 60, 69, "Xcitek Inc."},
    {26, 0, 9, "Fornet International Pte Ltd."},
    {26, 10, 19, "Postech Corporation"},
    {26, 20, 29, "SKC Co., Ltd."},
    {26, 30, 39, "Optical Disc Corporation"},
    {26, 40, 49, "FUJI Photo Film Co., Ltd."},
    {26, 50, 59, "Lead Data Inc."},
    {26, 60, 69, "CMC Magnetics Corporation"},
    {27, 1, 9, "Digital Storage Technology Co.,Ltd."},
    {27, 10, 19, "Plasmon Data systems Ltd."},
    {27, 20, 29, "Princo Corporation"},
    {27, 30, 39, "Pioneer Video Corporation"},
    {27, 40, 49, "Eastman Kodak Company (Kodak Japan Limited)"},
    {27, 50, 59, "Mitsui Chemicals, Inc."},
    {27, 60, 69, "Ricoh Company Limited"},
    {28, 0, 9, "Optl.Me.S. S.p.A"},
    {28, 10, 19, "Gigastorage Corporation"},
    {28, 20, 29, "Multi Media Masters & Machinary SA"},
    {28, 30, 39, "Auvistar Industry Co.,Ltd."},
    {28, 40, 49, "King Pro Mediatek Inc."},
    {29, 0, 9, "Taeil Media Co.,Ltd."},
    {29, 10, 19, "Vanguard Disc Inc."},
    {30, 10, 19, "CDA Datenträger Albrechts GmbH"},
    {31, 0, 9, "Ritek Co."},
    {31, 30, 39, "Grand Advance Technology Ltd."},
    {32, 0, 9, "TDK Corporation"},
    {32, 10, 19, "Prodisc Technology Inc."},
    {34, 20, 29, "Mitsubishi Chemical Corporation"},
    {45, 0, 9, "Fornet International Pte Ltd."},
    {45, 10, 19, "Unitech Japan Inc."},
    {45, 40, 49, "CIS Technology Inc."},
    {45, 60, 69, "Xcitek Inc."},
    {46, 0, 9, "Taiyo Yuden Company Limited"},
    {46, 10, 19, "SONY Corporation"},
    {46, 20, 29, "Multi Media Masters & Machinary SA"},
    {46, 30, 39, "Computer Support Italy s.r.l."},
    {46, 40, 49, "FUJI Photo Film Co., Ltd."},
    {46, 50, 59, "Auvistar Industry Co.,Ltd."},
    {46, 60, 69, "CMC Magnetics Corporation"},
    {47, 10, 19, "Hitachi Maxell, Ltd."},
    {47, 20, 29, "Princo Corporation"},
    {47, 40, 49, "Postech Corporation"},
    {47, 50, 59, "Ritek Co."},
    {47, 60, 69, "Prodisc Technology Inc."},
    {48, 0, 9, "Ricoh Company Limited"},
    {48, 10, 13, "Eastman Kodak Company (Kodak Japan Limited)"},
    {48, 15, 19, "Eastman Kodak Company (Kodak Japan Limited)"},
    {48, 20, 29, "Plasmon Data systems Ltd."},
    {48, 30, 32, "Pioneer Video Corporation"},
    {48, 34, 39, "Pioneer Video Corporation"},
    {48, 40, 49, "Digital Storage Technology Co.,Ltd."},
    {48, 50, 59, "Mitsui Chemicals, Inc."},
    {48, 60, 69, "Lead Data Inc."},
    {49, 1, 9, "TDK Corporation"},
    {49, 10, 19, "Gigastorage Corporation"},
    {49, 20, 29, "King Pro Mediatek Inc."},
    {49, 30, 39, "Optl.Me.S. S.p.A"},
    {49, 40, 49, "Victor Company of Japan Limited"},
    {49, 60, 69, "Matsushita Electric Industrial Co., Ltd."},
    {50, 10, 19, "Vanguard Disc Inc."},
    {50, 20, 29, "Mitsubishi Chemical Corporation"},
    {50, 30, 39, "CDA Datenträger Albrechts GmbH"},
    {51, 10, 19, "Grand Advance Technology Ltd."},
    {51, 20, 29, "Infodisc Technology Co., Ltd."},
};

struct DvdMaker {
  const char* key;
  const char* name;
};

// Exact keys, in order: the first match wins. Keys longer than the 7 or 8
// characters an identifier gives never match and stay as the table has them.
constexpr DvdMaker kDvdManufacturers[] = {
    {"MKM", "Mitsubishi Kagaku Media"},
    {"MCM", "Mitsubishi Chemical Corp."},
    {"INFOME", "Infomedia Inc."},
    {"RITEK", "Ritek Co."},
    {"BeAll000", "BeAll Developers Inc."},
    {"CMC MAG", "CMC Magnetics Corp."},
    {"DATATRAK", "Euro Digital Disc Manufacturing GmbH"},
    {"DAXON", "Daxon Technologies Inc."},
    {"DDDessau", "Digital Disc Dessau GmbH"},
    {"DT", "Euro Digital Disc Manufacturing GmbH"},
    {"LONGTEN", "Longten Technology Co. Ltd."},
    {"MAXELL", "Hitachi Maxell Ltd."},
    {"MBIPG101", "Moser Baer India Ltd."},
    {"MCC", "Mitsubishi Chemical Corp."},
    {"MPOMEDIA", "Hi-Space MPO"},
    {"NAN YA ", "NanYa Plastics Corp."},
    {"NAN YA", "NanYa Plastics Corp."},
    {"NANYA", "NanYa Plastics Corp."},
    {"OPTODISC", "Optodisc Technology Corp."},
    {"Philips", "Philips"},
    {"PHILIPS", "Philips"},
    {"PLASMON", "Plasmon"},
    {"Plasmon1", "Plasmon"},
    {"POMSC001", "Plasmon"},
    {"POMSI002", "Plasmon"},
    {"PRODISC", "Prodisc Technology Inc."},
    {"RICOHJPN", "Ricoh Company Ltd."},
    {"RITEK", "Ritek Co."},
    {"SAST", "SAST Digital Optical Discs Co. Ltd."},
    {"SKC", "SKC Co. Ltd."},
    {"SKYMEDIA", "Sky Media Manufacturing SA"},
    {"SONY", "Sony Corp."},
    {"TDK", "TDK Corp."},
    {"ULTRAN", "UL TRAN Technology & Service Corp."},
    {"UME", "UmeDisc Manufacturing Ltd."},
    {"VDSPMSAB", "Interaxia AG"},
    {"VIVA", "Vivastar AG"},
    {"WINGSHIN", "Wing Shing Optical Disc Co."},
    {"YUDEN000", "Taiyo Yuden Co. Ltd."},
    {"CMC", "CMC Magnetics Corp."},
    {"DAXON", "Daxon Technologies Inc."},
    {"MCC", "Mitsubishi Chemical Corp."},
    {"SENTINEL", "Sentinel"},
    {"3AM0201", "3A Media"},
    {"AB 01", "Interaxia AG"},
    {"ACER MEDIA", "Acer Media Technology, Inc."},
    {"AN30", "Anwell Precision Technology"},
    {"AN31", "Anwell Precision Technology"},
    {"AN32", "Anwell Precision Technology"},
    {"AN35", "Anwell Precision Technology"},
    {"BeAll", "BeAll Developers Inc."},
    {"CMC MAG. AF1", "CMC Magnetics Corp."},
    {"CMC MAG.", "CMC Magnetics Corp."},
    {"CMC00RG200", "CMC Magnetics Corp."},
    {"DATA TRACK", "Euro Digital Disc Manufacturing GmbH"},
    {"DAXON004", "Daxon Technologies Inc."},
    {"DDD DVDR", "Digital Disc Dessau GmbH"},
    {"ENGAGE 01", "Monarch Photonics Corp."},
    {"FNX102", "Fornex Technology Co. Ltd."},
    {"FNX103", "Fornex Technology Co. Ltd."},
    {"FORNEX101", "Fornex Technology Co. Ltd."},
    {"FUJIFILM03", "Fuji Film"},
    {"GRUPOCONDOR", "Condor CD S.L."},
    {"GSC001      ", "GigaStorage Corp."},
    {"GSC001", "GigaStorage Corp."},
    {"GSC002", "GigaStorage Corp."},
    {"GSC003", "GigaStorage Corp."},
    {"INFODISC-R01", "Infodisc Technology Co. Ltd."},
    {"INFOMEDIAR20", "Infomedia Inc."},
    {"INFOSMART01", "Info Smart Technology"},
    {"KIC 00RG200 ", "AMC Co. Ltd."},
    {"KIC01RG20   ", "AMC Co. Ltd."},
    {"LD01", "Lead Data Inc."},
    {"LD", "Lead Data Inc."},
    {"LEADDATA01", "Lead Data Inc."},
    {"LGE04", "LG Electronics Inc."},
    {"LONGTEN 001", "Longten Technology Co. Ltd."},
    {"MBI 01R", "Moser Baer India Ltd."},
    {"MBI 03R", "Moser Baer India Ltd."},
    {"SONY16", "Sony Corp."},
    {"TDK601", "TDK Corp."},
    {"TDK501", "TDK Corp."},
    {"MBI", "Moser Baer India Ltd."},
    {"MCC 00R", "Mitsubishi Chemical Corp."},
    {"SONY04", "Sony Corp."},
    {"SONY08", "Sony Corp."},
};

// The non-zero bytes of reply[first..last], as UTF-8 from the Windows code
// page the identifiers are written in.
std::string NonZeroText(const std::vector<std::uint8_t>& reply, std::size_t first, std::size_t last) {
  std::string bytes;
  for (std::size_t i = first; i <= last && i < reply.size(); ++i)
    if (reply[i] != 0) bytes.push_back(static_cast<char>(reply[i]));
  return platform::Cp1252ToUtf8(bytes);
}

// reply[first..last] as a text that ends at its first zero byte.
std::string KeyText(const std::vector<std::uint8_t>& reply, std::size_t first, std::size_t last) {
  std::string key;
  for (std::size_t i = first; i <= last && i < reply.size() && reply[i] != 0; ++i)
    key.push_back(static_cast<char>(reply[i]));
  return key;
}

}  // namespace

int MediaTypeFromProfile(std::uint16_t profile) {
  for (const ProfileCode& entry : kProfileCodes)
    if (entry.profile == profile) return entry.code;
  return kMediaNone;
}

std::string MediaTypeName(int code) {
  if (code < -1 || code > 21) return {};
  return kNames[code + 1];
}

bool IsCdMedia(int code) { return code >= 16 && code <= 19; }

std::optional<std::uint64_t> ReportedCapacitySectors(MmcDrive& drive, int code) {
  if (code < 0 || code == kMediaDvdRom || code == kMediaCdRom) return std::nullopt;
  const int last = drive.MmcGetLastTrackNumber().value_or(0);
  if (last > 0) {
    constexpr std::uint16_t kThroughFreeBlocks = mmc::track_info::kFreeBlocks + 4;
    const auto track = drive.ReadTrackInformation(std::uint32_t(last), kThroughFreeBlocks);
    if (track && track->next_writable && track->free_blocks)
      return std::uint64_t(*track->next_writable) + *track->free_blocks;
  }
  switch (code) {
    case kMediaDvdRam:
    case kMediaDvdRw:
    case kMediaDvdPlusRw:
    case kMediaDvdPlusRwDl:
    case kMediaBdRe:
      break;
    default:
      return std::nullopt;
  }
  // The current capacity descriptor: formatted, or the most an unformatted
  // medium can be formatted to.
  constexpr std::uint16_t kCurrentOnly =
      mmc::format_capacities::kHeaderLength + mmc::format_capacities::kDescriptorLength;
  if (const auto reply = drive.Query(mmc::ReadFormatCapacities(kCurrentOnly), kCurrentOnly)) {
    if (const auto list = mmc::ParseFormatCapacities(*reply, kCurrentOnly)) {
      const int type = list->current.type & mmc::format_capacities::kDescriptorTypeMask;
      if ((type == mmc::kDescriptorUnformatted || type == mmc::kDescriptorFormatted) &&
          list->current.blocks > 0)
        return list->current.blocks;
    }
  }
  const std::optional<std::uint32_t> recorded = drive.RecordedSectors();
  if (recorded && *recorded > 1) return *recorded;
  return std::nullopt;
}

float GetMediaCapacityMB(MmcDrive& drive, int code) {
  if (const std::optional<std::uint64_t> reported = ReportedCapacitySectors(drive, code))
    return SectorsToMB(*reported);
  switch (code) {
    case kMediaBdRe:
      return SectorsToMB(drive.RecordedSectors().value_or(0));
    case kMediaBdR:
      return 23866.0f;
    case kMediaDvdR:
    case kMediaDvdRw:
      return 4488.0625f;
    case kMediaDvdPlusRw:
    case kMediaDvdPlusR:
      return 4482.623046875f;
    case kMediaDvdPlusRwDl:
    case kMediaDvdPlusRDl:
      return 8152.0f;
    default:
      return code > 15 ? drive.MmcGetCdCapacityMB().value_or(0.0f) : 0.0f;
  }
}

float GetMediaUsedSpaceMB(MmcDrive& drive, int code) {
  if (drive.MmcDiscIsWritable().value_or(false)) {
    const std::optional<int> last = drive.MmcGetLastTrackNumber();
    if (!last) return 0;
    return SectorsToMB(drive.MmcGetNextWritableAddress(static_cast<std::uint32_t>(*last)).value_or(0));
  }
  switch (code) {
    case kMediaDvdRom:
    case kMediaDvdPlusR:
      return SectorsToMB(drive.RecordedSectors().value_or(0));
    case kMediaDvdR:
    case kMediaDvdRw:
      return drive.MmcReadDvdStructure().value_or(0.0f);
    case kMediaDvdPlusRw:
    case kMediaBdRe:
    case kMediaBdR:
      return drive.MmcRead10().value_or(0.0f);
    default:
      if (drive.MmcDiscIsBlank().value_or(true)) return 0;
      return drive.MmcGetUsedSpaceMB().value_or(0.0f);
  }
}

namespace ds = mmc::dvd_structure;

MediaId ReadMediaId(MmcDrive& drive, int code) {
  MediaId result;
  if (code == kMediaCdR || code == kMediaCdRw || code == kMediaCdRom) {
    // An ATIP that cannot be read counts as all zeros.
    std::vector<std::uint8_t> atip = drive.MmcReadAtip().value_or(std::vector<std::uint8_t>{});
    atip.resize(std::max<std::size_t>(atip.size(), 11), 0);
    result.manufacturer =
        AtipManufacturer(atip[mmc::toc::kAtipLeadIn + 1], atip[mmc::toc::kAtipLeadIn + 2]);  // second, frame
    return result;
  }
  const bool pre_recorded =
      code == kMediaDvdR || code == kMediaDvdRw || code == kMediaHdDvdR || code == kMediaNone;
  const auto reply = drive.ReadDvdMediaId(pre_recorded ? mmc::kStructurePreRecorded : mmc::kStructureAdip);
  result.has_id = true;
  if (!reply) return result;
  std::string key;
  if (pre_recorded) {
    // The first part of the manufacturer id and the byte after it, then four
    // bytes of the second part.
    constexpr std::size_t kFirst = ds::kManufacturerIdPart1, kSecond = ds::kManufacturerIdPart2;
    result.id =
        NonZeroText(*reply, kFirst, kFirst + 6) + " (" + NonZeroText(*reply, kSecond, kSecond + 3) + ")";
    key = KeyText(*reply, kFirst, kFirst + 6);
  } else {
    // The manufacturer id, then the media type id and the revision.
    constexpr std::size_t kId = ds::kAdipManufacturerId, kLast = kId + ds::kAdipManufacturerIdLength - 1;
    result.id = NonZeroText(*reply, kId, kLast) + " (" +
                NonZeroText(*reply, ds::kAdipMediaTypeId, ds::kAdipRevision) + ")";
    key = KeyText(*reply, kId, kLast);
  }
  result.manufacturer = DvdManufacturer(key);
  return result;
}

std::string AtipManufacturer(int second, int frame) {
  for (const AtipRange& range : kAtipManufacturers)
    if (range.second == second && frame >= range.first_frame && frame <= range.last_frame) return range.name;
  return "Unknown";
}

std::string DvdManufacturer(std::string_view key) {
  for (const DvdMaker& maker : kDvdManufacturers)
    if (key == maker.key) return maker.name;
  return {};
}

}  // namespace zephrel
