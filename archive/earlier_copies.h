// The archive a pack replaces, as the source of the earlier copies the new
// archive keeps: of files the pack cannot read, of directories it cannot
// list, of records this computer cannot hold.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_output.h"
#include "archive/format.h"
#include "support/file_io.h"

// The archive that a pack replaces, as a source of earlier copies: a file
// the pack cannot read keeps the record this archive holds for it. The
// record index is read once, at the first need; every length is checked
// against the bytes left, so a damaged archive simply offers fewer records.
// The index holds no names, only their hashes and where each record lies
// (about 30 bytes a record): a name is read back from the archive in the
// rare case that it is needed.
class OldArchive {
 public:
  explicit OldArchive(std::string path);

  bool holds_records();

  // Notes that the pack has handled the file of this name itself. Called
  // for every file, so the hash alone decides: another name of the same
  // 64-bit hash is a chance not worth a read of the archive per file.
  void handled(const std::string& stored_name);

  // Copies the record stored under the name unchanged; false when there is
  // none or it could not be copied whole (the output then holds no part of it).
  bool copy_record(const std::string& stored_name, ArchiveOutput& archive);

  // Copies, in the archive's order, each record whose file the pack did not
  // handle and that `keep` asks for. False when the archive failed.
  bool copy_unhandled(const std::function<bool(const std::string&)>& keep, ArchiveOutput& archive,
                      long& copied);

  // Whether a record of another name, whose file the pack handled, names
  // the same file as `stored_name` by `same`. Only names that end alike,
  // letter case aside, are tried, or every one when the name may hold a
  // short name ("~"): this runs for the rare record the pack did not meet.
  bool shares_file(const std::string& stored_name,
                   const std::function<bool(const std::string& other)>& same);

  // Lets the pack replace the file (Windows refuses while it is open).
  void close();

 private:
  struct Record {
    std::uint64_t hash;
    std::uint64_t start;
    std::uint64_t length;
    // Handled by the pack, or hidden by a later record of the same name.
    bool handled = false;
  };

  static std::uint64_t hash_of(const std::string& name);
  std::vector<std::uint32_t>::iterator first_of(std::uint64_t hash);

  Record* find(const std::string& name);

  bool header_of(const Record& record, RecordHeader& header);

  // Reads a record's name back from the archive, as an unpack reads it: a
  // name an older Windows build stored in its ANSI code page is the name
  // its file was given, and the name the pack meets it under.
  bool name_of(const Record& record, std::string& name);

  // The record as it was stored, but for a name in the ANSI code page,
  // which is written in UTF-8 like every other name of the new archive, so
  // that it means the same on every system; its data and checksum field
  // stay as they were. The output holds no part of a record not copied whole.
  bool copy_span(const Record& span, ArchiveOutput& archive);

  void load();

  void read_index();

  std::string path_;
  bool loaded_ = false;
  File file_;
  // In the archive's order.
  std::vector<Record> records_;
  // Places in records_, by hash.
  std::vector<std::uint32_t> by_hash_;
};
