// Packs or unpacks one profile directory, for timing the archive code alone:
//   archive_bench pack ROOT ARCHIVE
//   archive_bench unpack ROOT ARCHIVE
//   archive_bench checksum    (the checksum's speed, in GB/s, by piece size)
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/reader.h"
#include "archive/record_writer.h"
#include "archive/writer.h"
#include "tests/test_util/program_path.h"

namespace {

// Each piece size over the same 256 MiB of data, the way the pack hands the
// checksum its copy blocks and its small files.
int measure_checksum() {
  constexpr std::size_t kTotal = 256u << 20;
  std::vector<unsigned char> data(kCopyBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
  std::uint32_t sink = 0;
  for (std::size_t piece :
       {std::size_t{512}, std::size_t{4096}, std::size_t{65536}, kCopyBlockSize}) {
    for (int tables = 0; tables < 2; ++tables) {
      // Processor time, not wall time: the machine may be shared.
      const std::clock_t start = std::clock();
      for (std::size_t done = 0; done < kTotal; done += piece) {
        sink ^= tables != 0 ? checksum_update_tables(kChecksumStart, data.data(), piece)
                            : checksum_update(kChecksumStart, data.data(), piece);
      }
      const double took = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      std::printf("%-8s pieces of %7zu bytes: %6.2f GB/s\n", tables != 0 ? "tables" : "checksum",
                  piece, static_cast<double>(kTotal) / took / 1e9);
    }
  }
  return sink == 0x12345678u ? 1 : 0;  // keeps the loops from being left out
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "checksum") == 0) return measure_checksum();
  if (argc != 4) {
    std::fprintf(stderr, "usage: archive_bench pack|unpack ROOT ARCHIVE\n");
    return 2;
  }
  const std::string root = test_util::program_path(argv[2]);
  const std::string archive = test_util::program_path(argv[3]);
  int result = 0;
  if (std::strcmp(argv[1], "pack") == 0) {
    result = kompres(root, archive, nullptr);
  } else if (std::strcmp(argv[1], "unpack") == 0) {
    result = dekompres(root, archive, nullptr);
  } else {
    std::fprintf(stderr, "unknown action %s\n", argv[1]);
    return 2;
  }
  return result == 1 ? 0 : 1;
}
