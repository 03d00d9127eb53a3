// The pack's list of files to store, kept small for profiles of a hundred
// thousand files, all of them in one directory if need be.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Paths in the order they were added, each directory's part written once
// for the run of its files that follows: no string object per file, and
// fixed-size blocks, so the list never copies itself while it grows.
class FileList {
 public:
  // Reads the paths back in order.
  class Cursor {
   public:
    explicit Cursor(const FileList& list) : list_(list) {}
    // The next path into `path`; false after the last one.
    bool next(std::string& path);

   private:
    const FileList& list_;
    std::size_t block_ = 0;
    std::size_t offset_ = 0;
    std::string directory_;
  };

  void clear();
  std::size_t size() const { return count_; }
  // Adds a path; its directory is everything up to its last backslash.
  void push_back(std::string_view path);
  // Rewrites every path in order; `change` returns false to drop one.
  template <typename Change>
  void rewrite(Change change) {
    FileList result;
    Cursor cursor(*this);
    std::string path;
    while (cursor.next(path)) {
      if (change(path)) result.push_back(path);
    }
    *this = std::move(result);
  }

 private:
  struct Block {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t capacity = 0;
    std::size_t used = 0;
  };
  void append(std::string_view text, bool directory);

  std::vector<Block> blocks_;
  std::size_t count_ = 0;
  bool has_directory_ = false;
  std::string last_directory_;  // of the path added last, with its backslash
};
