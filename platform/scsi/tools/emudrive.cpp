// emudrive: makes and inspects emulated drive folders for ZEPHREL_DRIVES.
//   emudrive create DIR [MEDIUM [SECTORS]]   a writer with a blank medium (or none)
//   emudrive insert DIR MEDIUM [SECTORS]     a new blank medium in the drive
//   emudrive eject [--force] DIR | load DIR  open (even while locked) or close the tray
//   emudrive info DIR                        disc status, sessions and tracks
//   emudrive export DIR FILE                 the recorded user data as an image file
//   emudrive fault DIR OPCODE KEY ASC ASCQ [COUNT [FIRST LAST]]
//                                            the next COUNT commands OPCODE (hex) hitting
//                                            LBAs FIRST..LAST answer with that sense (hex)
//   emudrive short DIR OPCODE BYTES [COUNT]  the next COUNT commands OPCODE (hex) succeed
//                                            with their reply cut by BYTES (decimal)
//   emudrive pace DIR KBPS [BUFFER]          writes in real time (0: at once)
//   emudrive hold DIR SECONDS                holds the drive as another program would
// Any program that has the drive open sees the change at its next command.
// MEDIUM: cd-r cd-rw dvd-r dvd-rw dvd+r dvd+rw dvd+r-dl dvd-ram bd-r bd-re.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/byte_order.h"
#include "platform/emulated_drive.h"
#include "platform/mmc_replies.h"

namespace {

struct Named {
  const char* name;
  std::uint16_t profile;
};
constexpr Named kMedia[] = {{"cd-r", platform::kProfileCdR},
                            {"cd-rw", platform::kProfileCdRw},
                            {"dvd-r", platform::kProfileDvdR},
                            {"dvd-rw", platform::kProfileDvdRwSequential},
                            {"dvd+r", platform::kProfileDvdPlusR},
                            {"dvd+rw", platform::kProfileDvdPlusRw},
                            {"dvd+r-dl", platform::kProfileDvdPlusRDl},
                            {"dvd-ram", platform::kProfileDvdRam},
                            {"bd-r", platform::kProfileBdRSrm},
                            {"bd-re", platform::kProfileBdRe}};

int Usage() {
  std::fprintf(
      stderr,
      "usage: emudrive create DIR [MEDIUM [SECTORS]] | insert DIR MEDIUM [SECTORS] |\n"
      "       eject [--force] DIR | load DIR | info DIR | export DIR FILE |\n"
      "       fault DIR OPCODE KEY ASC ASCQ [COUNT [FIRST LAST]] | short DIR OPCODE BYTES [COUNT] |\n"
      "       pace DIR KBPS [BUFFER] |\n"
      "       hold DIR SECONDS\n"
      "MEDIUM: cd-r cd-rw dvd-r dvd-rw dvd+r dvd+rw dvd+r-dl dvd-ram bd-r bd-re\n");
  return 2;
}

bool ParseMedium(int argc, char** argv, int at, platform::MediumSpec* spec) {
  if (at >= argc) return false;
  bool known = false;
  for (const Named& n : kMedia)
    if (std::strcmp(argv[at], n.name) == 0) spec->profile = n.profile, known = true;
  if (!known) return false;
  if (at + 1 < argc) {
    char* end = nullptr;
    unsigned long sectors = std::strtoul(argv[at + 1], &end, 10);
    if (*end || sectors == 0 || sectors >= 0x7FFFFFFF) return false;
    spec->capacity = std::uint32_t(sectors);
  }
  return true;
}

// A whole number in base from text, at most max.
bool Number(const char* text, int base, unsigned long max, unsigned long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtoul(text, &end, base);
  return *text && !*end && errno == 0 && *value <= max && text[0] != '-';
}

bool ParseFault(int argc, char** argv, platform::InjectedFault* fault) {
  if (argc != 7 && argc != 8 && argc != 10) return false;
  unsigned long v[7] = {0, 0, 0, 0, 1, 0, 0xFFFFFFFFul};
  const int bases[] = {16, 16, 16, 16, 10, 10, 10};
  const unsigned long max[] = {0xFF, 0x0F, 0xFF, 0xFF, 0x7FFFFFFF, 0xFFFFFFFFul, 0xFFFFFFFFul};
  for (int i = 3; i < argc; ++i)
    if (!Number(argv[i], bases[i - 3], max[i - 3], &v[i - 3])) return false;
  if (v[4] == 0 || v[5] > v[6]) return false;
  *fault = {std::uint8_t(v[0]), std::uint32_t(v[5]), std::uint32_t(v[6]), int(v[4]),
            std::uint8_t(v[1]), std::uint8_t(v[2]),  std::uint8_t(v[3])};
  return true;
}

int Info(platform::EmulatedDrive& drive) {
  auto run = [&](std::vector<std::uint8_t> cdb, std::size_t size, std::vector<std::uint8_t>* out) {
    out->assign(size, 0);
    return drive.exec(cdb, platform::DataDirection::kIn, *out, std::chrono::milliseconds(1000));
  };
  std::vector<std::uint8_t> config, disc, track;
  run({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8, &config);
  const auto configuration = platform::mmc::ParseConfiguration(config, 8);
  std::printf("current profile %02Xh\n", configuration ? configuration->current_profile : 0);
  platform::ScsiResult r = run({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34, &disc);
  if (r.sense.key == 6) r = run({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34, &disc);
  disc.resize(r.transferred);
  const auto info = r.ok() ? platform::mmc::ParseDiscInformation(disc, 34) : std::nullopt;
  if (!info) {
    std::printf("no readable medium (sense %02X/%02X/%02X)\n", r.sense.key, r.sense.asc, r.sense.ascq);
    return 0;
  }
  static const char* kStatus[] = {"empty", "appendable", "complete", "random access"};
  static const char* kSession[] = {"empty", "incomplete", "damaged", "complete"};
  std::printf("disc %s, last session %s, %d session(s)%s\n", kStatus[info->disc_status],
              kSession[info->last_session_state >> 2], info->sessions, info->erasable ? ", erasable" : "");
  for (int n = 1; n <= info->last_track_in_last_session; ++n) {
    const platform::ScsiResult t = run({0x52, 1, 0, 0, 0, std::uint8_t(n), 0, 0, 48, 0}, 48, &track);
    track.resize(t.transferred);
    const auto ti = t.ok() ? platform::mmc::ParseTrackInformation(track, 48) : std::nullopt;
    if (!ti) continue;
    std::printf("track %d session %d: start %u size %u%s%s\n", n, ti->session, ti->start,
                ti->size.value_or(0),
                ti->next_writable ? (" next writable " + std::to_string(*ti->next_writable)).c_str() : "",
                ti->blank ? " blank" : "");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const bool force = command == "eject" && std::strcmp(argv[2], "--force") == 0;
  if (force) {
    if (argc != 4) return Usage();
    argv[2] = argv[3];
    argc = 3;
  }
  const std::filesystem::path folder = argv[2];
  std::string error;
  platform::MediumSpec spec;
  if (command == "create") {
    const bool with_medium = argc > 3;
    if (with_medium && !ParseMedium(argc, argv, 3, &spec)) return Usage();
    if (!platform::EmulatedDrive::Create(folder, {}, with_medium ? &spec : nullptr, &error)) {
      std::fprintf(stderr, "emudrive: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  auto drive = platform::EmulatedDrive::Open(folder, &error);
  if (!drive) {
    std::fprintf(stderr, "emudrive: %s\n", error.c_str());
    return 1;
  }
  bool ok = true;
  if (command == "insert") {
    if (!ParseMedium(argc, argv, 3, &spec)) return Usage();
    ok = drive->InsertMedium(spec, &error);
  } else if (command == "eject" && argc == 3) {
    ok = drive->OpenTray(force);
    if (!ok) error = "removal is prevented (the drive is locked by the program using it)";
  } else if (command == "load") {
    drive->CloseTray();
  } else if (command == "info") {
    return Info(*drive);
  } else if (command == "export" && argc == 4) {
    ok = drive->ExportUserData(argv[3], &error);
  } else if (command == "fault") {
    platform::InjectedFault fault;
    if (!ParseFault(argc, argv, &fault)) return Usage();
    drive->InjectFault(fault);
  } else if (command == "short" && (argc == 5 || argc == 6)) {
    unsigned long opcode = 0, bytes = 0, count = 1;
    if (!Number(argv[3], 16, 0xFF, &opcode) || !Number(argv[4], 10, 0xFFFF, &bytes) || bytes == 0 ||
        (argc == 6 && (!Number(argv[5], 10, 0x7FFFFFFF, &count) || count == 0)))
      return Usage();
    platform::InjectedFault fault;
    fault.opcode = std::uint8_t(opcode);
    fault.count = int(count);
    fault.shorten = std::uint32_t(bytes);
    drive->InjectFault(fault);
  } else if (command == "pace" && (argc == 4 || argc == 5)) {
    unsigned long kbps = 0, buffer = 2 << 20;
    if (!Number(argv[3], 10, 0xFFFFFFFFul, &kbps) ||
        (argc == 5 && !Number(argv[4], 10, 0xFFFFFFFFul, &buffer)))
      return Usage();
    drive->SetWritePacing(std::uint32_t(kbps), buffer);
  } else if (command == "hold" && argc == 4) {
    unsigned long seconds = 0;
    if (!Number(argv[3], 10, 86400, &seconds)) return Usage();
    if (drive->HoldExclusive(&error) != platform::HoldResult::kHeld) {
      std::fprintf(stderr, "emudrive: %s\n", error.c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
  } else {
    return Usage();
  }
  if (!ok) std::fprintf(stderr, "emudrive: %s\n", error.c_str());
  return ok ? 0 : 1;
}
