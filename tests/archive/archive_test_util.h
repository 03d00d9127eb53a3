// Helpers for the archive tests: the shared scratch directory and archive
// bytes, and files written and read through the program's own file seam, so
// names with bytes above 127 mean the same on both platforms.
#pragma once

#include <string>
#include <vector>

#include "archive/dirwalk.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"
#include "tests/test_util/archive_bytes.h"
#include "tests/test_util/scratch_test.h"

// Each archive test takes its helpers from here with one using-directive.
namespace archive_test {

using test_util::bytes_of;
using test_util::kMagicBytes;
using test_util::kTrailerBytes;
using test_util::le32;
using test_util::record;
using test_util::ScratchTest;

inline bool write_bytes(const std::string& path, const std::string& data) {
  make_dirs(path.substr(0, path.rfind('\\')));
  File file = File::open(path, OpenMode::kWrite);
  if (!file.is_open()) return false;
  const bool written = file.write(data.data(), data.size());
  return file.close() && written;
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string read_bytes(const std::string& path) {
  File file = File::open(path, OpenMode::kRead);
  if (!file.is_open()) return "<missing>";
  std::string data;
  char block[65536];
  for (;;) {
    const long long got = file.read(block, sizeof block);
    if (got <= 0) break;
    data.append(block, static_cast<std::size_t>(got));
  }
  return data;
}

// Every file below `root` as a path relative to it (backslashes), in walk order.
inline std::vector<std::string> files_below(const std::string& root) {
  std::vector<std::string> files;
  walk_tree(
      root,
      [&](const std::string& directory, const DirEntry& entry) {
        if (entry.attributes.find('d') == std::string::npos) {
          std::string full = join_path(directory, entry.name);
          files.push_back(full.substr(root.size() + 1));
        }
        return 0;
      },
      true);
  return files;
}

}  // namespace archive_test
