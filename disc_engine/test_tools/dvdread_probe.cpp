// Reads files of a DVD-Video image through libdvdread's UDF reader, for the
// end-to-end tests: for each path argument prints "FILE <path> <sector>
// <size>" (sector 0 when the file is not found). Exit status 2 when the image
// cannot be opened.
#include <dvdread/dvd_reader.h>
#include <dvdread/dvd_udf.h>

#include <cinttypes>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  dvd_reader_t* dvd = DVDOpen(argv[1]);
  if (!dvd) return 2;
  for (int i = 2; i < argc; ++i) {
    std::uint32_t size = 0;
    const std::uint32_t sector = UDFFindFile(dvd, argv[i], &size);
    std::printf("FILE %s %" PRIu32 " %" PRIu32 "\n", argv[i], sector, size);
  }
  DVDClose(dvd);
  return 0;
}
