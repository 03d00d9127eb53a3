// Files created below one directory without ever leaving it: no link below
// that directory is followed, and one guarded directory is never written into.
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

  // Creates, or empties, the file at `relative` below the base (components
  // separated by backslashes, none of them empty, "." or ".."), making the
  // directories on the way. A link met at any component, and a file with
  // further hard links, is removed (never what it points at) and replaced
  // by a real directory or file. Counts as one open for the fault hooks.
  // `again`: the caller wrote this very name before and means to replace
  // that file; otherwise a file this tree made is never emptied (kTaken).
  CreateResult create_file(const std::string& relative, File& out, bool again = false);
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

// The size of a file as the system holds it, all 64 bits; 0 for a directory,
// -1 when there is no such path.
long long file_size64(const std::string& path);

// For the platform layer: splits `relative` into its directory part ("" at
// the base) and its last component; false when a component is longer than
// `max_component` bytes.
bool split_target(const std::string& relative, std::size_t max_component, std::string& directory,
                  std::string& name);
