// Packs a profile directory into one archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
