// A long list of paths kept small: the pack's files and the burn's walk can
// reach hundreds of thousands, all of them in one directory if need be.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Paths in the order they were added, each with a mark of its own (the burn
// marks the links and directories its walk met). Each directory's part is written once for
// the run of its files that follows: no string object per file, and
// fixed-size blocks, so the list never copies itself while it grows.
class PathList {
 public:
  // Reads the paths back in order.
  class Cursor {
   public:
    explicit Cursor(const PathList& list) : list_(list) {}
    // The next path into `path`, and its mark; false after the last one.
    bool next(std::string& path, bool& marked);
    bool next(std::string& path) {
      bool marked = false;
      return next(path, marked);
    }

   private:
    const PathList& list_;
    std::size_t block_ = 0;
    std::size_t offset_ = 0;
    std::string directory_;
  };

  void clear();
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Adds a path; its directory is everything up to its last backslash.
  void push_back(std::string_view path, bool marked = false);
  // Rewrites every path in order, marks kept; `change` returns false to drop one.
  template <typename Change>
  void rewrite(Change change) {
    PathList result;
    Cursor cursor(*this);
    std::string path;
    bool marked = false;
    while (cursor.next(path, marked)) {
      if (change(path)) result.push_back(path, marked);
    }
    *this = std::move(result);
  }

 private:
  struct Block {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t capacity = 0;
    std::size_t used = 0;
  };
  void append(std::string_view text, unsigned kind);

  std::vector<Block> blocks_;
  std::size_t count_ = 0;
  bool has_directory_ = false;
  std::string last_directory_;  // of the path added last, with its backslash
};
