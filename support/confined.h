// Files below one directory reached without ever leaving it: the unpack
// creates them (ConfinedTree), the burn overwrites them in place
// (RootedOpener). No link below the directory is ever followed, even when the
// tree changes while its files are handled. Both are one walk with two rules
// (tree_walk.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "support/file_io.h"

enum class CreateResult {
  kOpened,   // the file is open for writing, empty
  kRefused,  // the name may not be written here (in the guarded directory)
  kTooLong,  // the path or a component is longer than the system allows here
  kTaken,    // names a file this tree already made under another name: the
             // system takes the two names for one (letter case, a short name)
  kFailed,   // a directory or the file could not be made
};

class ConfinedTree {
 public:
  // `base`: the directory everything goes below; it is taken as it is (a
  // link naming it is followed, as the user chose it) and made when it is
  // missing, unless `make_base` is false. `guarded`: a directory under which
  // nothing is ever created, even when it lies below `base` (compared by
  // identity); empty for none.
  ConfinedTree(const std::string& base, const std::string& guarded, bool make_base = true);
  ~ConfinedTree();
  ConfinedTree(const ConfinedTree&) = delete;
  ConfinedTree& operator=(const ConfinedTree&) = delete;

  // Creates the file at `relative` below the base (components separated by
  // backslashes, none of them empty, "." or ".."), empty, making the
  // directories on the way. A file already there is replaced by a new one,
  // never cut back in place. A link met at any component, and a file with
  // further hard links, is removed (never what it points at) and replaced
  // by a real directory or file. Counts as one open for the fault hooks.
  // `again`: the caller wrote this very name before and means to replace
  // that file; otherwise a file this tree made is never emptied (kTaken).
  CreateResult create_file(const std::string& relative, File& out, bool again = false);
  // Makes every directory this tree made, and every file it wrote that was
  // handed File::start_flush before its close, durable: on the disk before
  // true comes back, so that a power cut after it loses none of them. True
  // when nothing was made. Counts as a kSyncDirectory flush where it flushes.
  bool sync();
  // Whether `relative` fits the system's limits on a path and a component
  // below the base: what create_file answers kTooLong for, without the disk.
  bool fits(const std::string& relative) const;

 private:
  struct State;
  // The platform's parts of create_file. Whether `relative` fits the
  // system's limits on a path and a component, split into its directory part
  // ("" at the base) and last component:
  bool split_fitting(const std::string& relative, std::string& dir_part, std::string& name) const;
  // Making the file once the name has passed every check that touches no disk.
  CreateResult create_checked(const std::string& relative, const std::string& dir_part,
                              const std::string& name, File& out, bool again);

  std::unique_ptr<State> state_;
};

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
  File open_checked(const std::string& relative, OverwriteRefusal& why);

  std::unique_ptr<State> state_;
};

// For the platform layer: splits `relative` into its directory part ("" at
// the base) and its last component; false when a component is longer than
// `max_component` bytes.
bool split_target(const std::string& relative, std::size_t max_component, std::string& directory,
                  std::string& name);
