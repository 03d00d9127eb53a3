// Opening the files of one directory tree to overwrite them in place, such
// that no write lands outside the tree, even when the tree changes while its
// files are handled.
#pragma once

#include <memory>
#include <string>

#include "support/file_io.h"

// Why open_for_overwrite gave no file.
enum class OverwriteRefusal {
  kNone,
  // Nothing of its own to overwrite: gone since it was listed, a directory,
  // a link, a pipe, a socket or a device.
  kNoData,
  // A regular file with more than one name.
  kOtherNames,
  // A file that could not be opened (no permission, locked, in use), or a
  // path that no longer leads to a plain file below the root.
  kFailed,
};

class RootedOpener {
 public:
  // `root` is opened once, here; a link naming the root itself is followed,
  // since the caller chose that path.
  explicit RootedOpener(const std::string& root);
  ~RootedOpener();
  RootedOpener(const RootedOpener&) = delete;
  RootedOpener& operator=(const RootedOpener&) = delete;

  // Opens root\relative (components separated by backslashes) for reading
  // and writing, neither created nor truncated. Not opened: a directory,
  // anything but a regular file, a path that meets a link or other reparse
  // point at any level below the root, a file with more than one name (hard
  // links: its bytes are reachable from outside the tree too), an empty, "."
  // or ".." component, and any file that does not lie below the root.
  // A file reuses the lookups of the directories its path shares with the
  // file before it.
  // `refusal`, when given, says why no file was opened.
  File open_for_overwrite(const std::string& relative, OverwriteRefusal* refusal = nullptr);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
