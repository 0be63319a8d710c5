// emudrive: makes and inspects emulated drive folders for ZEPHREL_DRIVES.
//   emudrive create DIR [MEDIUM [SECTORS]]   a writer with a blank medium (or none)
//   emudrive insert DIR MEDIUM [SECTORS]     a new blank medium in the drive
//   emudrive eject DIR | load DIR            open or close the tray
//   emudrive info DIR                        disc status, sessions and tracks
//   emudrive export DIR FILE                 the recorded user data as an image file
// MEDIUM: cd-r cd-rw dvd-r dvd-rw dvd+r dvd+rw dvd+r-dl dvd-ram bd-r bd-re.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/emulated_drive.h"

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
  std::fprintf(stderr,
               "usage: emudrive create DIR [MEDIUM [SECTORS]] | insert DIR MEDIUM [SECTORS] | eject DIR |\n"
               "       load DIR | info DIR | export DIR FILE\n"
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

int Info(platform::EmulatedDrive& drive) {
  auto run = [&](std::vector<std::uint8_t> cdb, std::size_t size, std::vector<std::uint8_t>* out) {
    out->assign(size, 0);
    return drive.exec(cdb, platform::DataDirection::kIn, *out, std::chrono::milliseconds(1000));
  };
  std::vector<std::uint8_t> config, disc, track;
  run({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8, &config);
  std::printf("current profile %02Xh\n", config[6] << 8 | config[7]);
  platform::ScsiResult r = run({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34, &disc);
  if (r.sense.key == 6) r = run({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34, &disc);
  if (!r.ok()) {
    std::printf("no readable medium (sense %02X/%02X/%02X)\n", r.sense.key, r.sense.asc, r.sense.ascq);
    return 0;
  }
  static const char* kStatus[] = {"empty", "appendable", "complete", "random access"};
  static const char* kSession[] = {"empty", "incomplete", "damaged", "complete"};
  std::printf("disc %s, last session %s, %d session(s)%s\n", kStatus[disc[2] & 3],
              kSession[(disc[2] >> 2) & 3], disc[4], disc[2] & 0x10 ? ", erasable" : "");
  for (int n = 1; n <= disc[6]; ++n) {
    if (!run({0x52, 1, 0, 0, 0, std::uint8_t(n), 0, 0, 48, 0}, 48, &track).ok()) continue;
    std::printf("track %d session %d: start %u size %u%s%s\n", n, track[3],
                platform::GetBe32(track.data() + 8), platform::GetBe32(track.data() + 24),
                track[7] & 1
                    ? (" next writable " + std::to_string(platform::GetBe32(track.data() + 12))).c_str()
                    : "",
                track[6] & 0x40 ? " blank" : "");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
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
  } else if (command == "eject") {
    ok = drive->OpenTray();
    if (!ok) error = "removal is prevented";
  } else if (command == "load") {
    drive->CloseTray();
  } else if (command == "info") {
    return Info(*drive);
  } else if (command == "export" && argc == 4) {
    ok = drive->ExportUserData(argv[3], &error);
  } else {
    return Usage();
  }
  if (!ok) std::fprintf(stderr, "emudrive: %s\n", error.c_str());
  return ok ? 0 : 1;
}
