// Packs or unpacks one profile directory, for timing the archive code alone:
//   archive_bench pack ROOT ARCHIVE
//   archive_bench unpack ROOT ARCHIVE
#include <cstdio>
#include <cstring>
#include <string>

#include "archive/reader.h"
#include "archive/writer.h"
#include "tests/test_util/program_path.h"

int main(int argc, char** argv) {
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
