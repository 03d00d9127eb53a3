// Packs a profile directory into one archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/dir.h"
#include "support/file_io.h"

// (stored name, position from 1, number of files) -> 0
using PackProgress = std::function<int(const std::string& name, long index, long count)>;

struct PackOptions {
  PackProgress progress;
  // Asked for each directory the walk meets (its full path); true keeps that
  // directory and everything below it out of the archive.
  std::function<bool(const std::string& path)> skip_directory;
  // False: the archive is a new file, and the pack fails rather than put it
  // in place of anything that has its name, even when the name is taken
  // while the pack runs.
  bool replace_existing = true;
  // The size of the archive being replaced when every record it holds is
  // known to be a file of the profile (the unpack that set the profile up
  // held none back, or the pack that wrote it carried none over); -1 when
  // that is not known. While the archive still has that size, the pack reads
  // it only for the earlier copy of a file or directory it cannot read;
  // otherwise it looks at every record for one this computer cannot hold.
  long long placed_archive_size = -1;
};

// What a pack could not do for single files.
struct PackReport {
  // Stored names of the files that could not be read, in the list's order.
  std::vector<std::string> unread;
  // How many of them kept the record that the replaced archive held for them.
  std::size_t kept = 0;
  // How many records were copied from the replaced archive without the pack
  // meeting their files: records this computer cannot hold, and those under
  // directories it could not list.
  std::size_t carried = 0;
  // The pack failed because the archive's file system cannot hold a file of
  // the archive's size (FAT32: 4 GiB).
  bool too_large = false;
};

// 1 when the archive was written, -1 when it could not be (the old archive,
// if any, is then left as it was). Refused with -1: a root that is not a
// directory of its own (missing, a file, a link or junction), and a pack
// that would store no file at all in place of an archive that holds some.
// An archive path that is a link is replaced through the link; one whose
// target is missing is refused. Links, pipes, sockets and devices in the
// profile are neither followed nor stored. Besides the files it reads, the
// pack copies from the archive it replaces, unchanged, the records under
// directories it cannot list and the records this computer cannot hold
// (RecordPlacement, or a name the system takes for another file's).
int kompres(const std::string& root, const std::string& archive_path, const PackProgress& progress);
int kompres(const std::string& root, const std::string& archive_path, const PackOptions& options,
            PackReport& report);

// The writer's steps, exposed for tests.
// The walk's visitor: adds each file (not a directory) to the file list.
int wdcb1(const std::string& directory, const DirEntry& entry);
void make_relative(const std::string& root);
void drop_excluded();
// A copy of the file list as it stands.
std::vector<std::string> writer_file_list();
void writer_clear_file_list();

// The new archive is written to a file of its own, created new next to the
// file it will replace: the prefix, eight hexadecimal digits, the suffix. A
// short name, so that an archive name of the longest length still packs.
inline constexpr char kTemporaryPrefix[] = "~ilhome-";
inline constexpr char kTemporarySuffix[] = ".tmp";
inline constexpr std::size_t kTemporaryDigits = 8;
// Whether a directory entry's name has the shape of such a temporary.
bool is_temporary_name(const std::string& name);

// Largest data length a record can hold.
inline constexpr std::uint64_t kMaxRecordData = 0xFFFFFFFFull;
// Copy block for file data; never less than 64 KiB.
inline constexpr std::size_t kCopyBlockSize = 256 * 1024;
// The new archive goes to the disk in steps of this size while it is
// written: a single flush at the end of a large profile on a slow stick
// would leave the status window unpainted for many seconds.
inline constexpr std::uint64_t kSyncStep = 16ull * 1024 * 1024;

// Buffered archive output that knows its position, so that a record's data
// length can be corrected after its data are written and a record can be
// taken back when its input fails.
class ArchiveOutput {
 public:
  explicit ArchiveOutput(File& file);
  bool write(const void* data, std::size_t size);
  bool write_u32(std::uint32_t value);
  // Overwrites four bytes already written at `offset` (before position()).
  bool patch_u32(std::uint64_t offset, std::uint32_t value);
  // Moves the end back to `offset`; what lies beyond is overwritten later
  // (bytes after the trailer are never read).
  bool rewind_to(std::uint64_t offset);
  bool flush();
  // Flushes and makes what was written durable.
  bool sync();
  std::uint64_t position() const { return flushed_ + buffer_.size(); }
  bool failed() const { return failed_; }

 private:
  File& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t flushed_ = 0;  // bytes of the file before buffer_
  bool failed_ = false;
};

// One record for one open input positioned at its start; `size` is the
// listed size; `base_path` is what a settings file's placeholders stand
// for. Returns false only when the archive itself failed; an input
// that cannot be read whole, or holds 4 GiB or more, leaves no record.
bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  const std::string& base_path, long long size);
