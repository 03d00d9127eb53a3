// Helpers for the archive tests: a scratch directory per test, and files
// written and read through the program's own file seam, so names with bytes
// above 127 mean the same on both platforms.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/dirwalk.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace archive_test {

// The program's form of a path: backslashes on both platforms.
inline std::string program_path(const std::filesystem::path& path) {
  return replace_all(path.string(), "/", "\\");
}

inline std::string bytes_of(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

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

// Archive pieces for crafted archives.
inline std::string le32(std::uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i)
    out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

inline const std::string kMagicBytes = "IL10";
inline const std::string kTrailerBytes = "abis";

// One record; the data length field is the data's length unless given.
inline std::string record(const std::string& name, const std::string& data,
                          std::int64_t data_length = -1) {
  const auto d = data_length < 0 ? static_cast<std::uint32_t>(data.size())
                                 : static_cast<std::uint32_t>(data_length);
  return "file" + le32(static_cast<std::uint32_t>(name.size())) + name + le32(d) + le32(0) +
         "asli" + data;
}

// A whole archive: the magic, the records in their order, the trailer.
inline std::string archive_of(const std::vector<std::string>& records) {
  std::string out = kMagicBytes;
  for (const std::string& r : records) out += r;
  return out + kTrailerBytes;
}

// A fresh directory below the system's temporary directory, removed with
// everything in it when the test ends.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string name =
        "ilhome-archive-" + std::to_string(random()) + "-" + std::to_string(counter.fetch_add(1));
    dir_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(dir_);
    root_ = program_path(dir_);
  }
  void TearDown() override {
    io_clear_faults();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  // A path below the scratch directory; `relative` uses backslashes.
  std::string at(const std::string& relative) const { return join_path(root_, relative); }

  std::filesystem::path dir_;
  std::string root_;
};

}  // namespace archive_test
