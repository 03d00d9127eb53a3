// Unpacks an archive into a profile directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/confined.h"
#include "support/file_io.h"

// (stored name, archive bytes read so far) -> 0
using UnpackProgress = std::function<int(const std::string& name, long long position)>;

// How an unpack ended.
enum class UnpackOutcome {
  kComplete,      // every record was written whole (names refused as unsafe aside)
  kIncomplete,    // read error, archive cut short or damaged, or a file not written whole
  kNotAnArchive,  // the file does not begin with the magic; nothing was created
  kCannotOpen,    // the archive could not be opened for reading
};

// A record whose data do not match the checksum it carries: damaged on the
// way (a stick losing bits, a write cut off). Its file is written all the
// same, with the bytes as they were found.
struct DamagedRecord {
  std::string name;             // as stored, with slashes
  std::uint64_t data_position;  // offset of its first data byte in the archive
};

struct UnpackReport {
  UnpackOutcome outcome = UnpackOutcome::kCannotOpen;
  // In archive order; an unpack can be complete and still hold some.
  std::vector<DamagedRecord> damaged;
  // The stored names of the records this computer cannot hold below root,
  // as for `not_held` below.
  std::vector<std::string> not_held;
};

// 1 when the unpack is complete; -1 for every other outcome, so that a caller
// looking only for a negative result never takes a partial profile for the
// archive's. `outcome`, when given, tells which.
// `not_held`, when given, receives the stored names of the records that
// this computer cannot hold below root (see RecordPlacement), in the
// archive's order; they leave the unpack complete.
int dekompres(const std::string& root, const std::string& archive_path,
              const UnpackProgress& progress, UnpackOutcome* outcome = nullptr,
              std::vector<std::string>* not_held = nullptr);
int dekompres(const std::string& root, const std::string& archive_path,
              const UnpackProgress& progress, UnpackReport& report);
// The record loop over an open archive.
UnpackOutcome read_archive(File& archive, const std::string& root, const UnpackProgress& progress);
// Reads the whole archive and checks every record's data against its
// checksum, writing nothing. kComplete when the archive was read to its
// trailer with nothing out of place (damaged records aside).
UnpackOutcome check_archive(const std::string& archive_path, std::vector<DamagedRecord>& damaged);
// 0 nothing there, 1 a file, 2 a directory.
int path_kind(const std::string& path);
// True when a stored name may be written below the profile directory.
bool stored_name_is_safe(const std::string& stored_name);

// What a stored name is on this computer, below one profile directory.
enum class NameFit {
  kFits,
  // Leads outside the profile, or is no relative name at all: never written,
  // never kept.
  kUnsafe,
  // A sound name that this system cannot hold here: a name its rules refuse,
  // or a path or component longer than it allows below this profile
  // directory. The record stays in the archive.
  kNotHere,
};

// The test the unpack applies to each record, and the pack to the records
// of the archive it replaces, so that the pack keeps exactly the records
// the unpack could not put on this computer.
class RecordPlacement {
 public:
  explicit RecordPlacement(const std::string& root);
  NameFit fit(const std::string& stored_name) const;

 private:
  std::string prefix_;
  ConfinedTree tree_;
};
