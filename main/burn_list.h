// The burn's list of paths, packed: the walk of a home directory can meet
// hundreds of thousands of files, and the list lives until the burn ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Paths in the order they were added, each with whether the walk met it as a
// link. Each directory is kept once per run of names from it, each name as a
// few bytes in large blocks, so growing the list never copies what it holds:
// a vector of path strings cost about 100 bytes a file and a copy of
// everything at each growth.
class BurnList {
 public:
  // Adds join_path(directory, name).
  void add(const std::string& directory, const std::string& name, bool link);
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void clear();

  // Reads the list from its first path on.
  class Reader {
   public:
    explicit Reader(const BurnList& list) : list_(list) {}
    // The next path, or false after the last one.
    bool next(std::string& path, bool& link);

   private:
    const BurnList& list_;
    std::size_t block_ = 0;
    std::size_t offset_ = 0;
    std::string directory_;
  };

 private:
  void put_record(unsigned char kind, const std::string& text);

  std::size_t count_ = 0;
  bool has_directory_ = false;
  std::string last_directory_;
  // Records (a kind, a length, the bytes) never cross a block's end; a
  // record longer than a block has a block of its own.
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  std::vector<std::size_t> used_;
  std::size_t last_capacity_ = 0;
};
