// The few system calls a walk below a directory is made of, each on one name
// in a directory already reached and none of them going through a link. The
// platform halves (tree_walk_posix.cpp, tree_walk_win32.cpp) give them; what
// is done with a link, a missing directory or a file of several names, for
// the unpack and for the burn alike, is decided once, in tree_walk.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tree_walk {

// A directory reached below the base, or an open file. A directory is a
// descriptor where the system opens names relative to an open directory;
// where it cannot (Windows), what the platform half keeps for it.
using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// What stands at a name, as far as the walk's rules need to tell.
enum class Met {
  kOpened,   // a directory entered, a file opened
  kMissing,  // nothing has the name
  kLink,     // a symbolic link, junction or other reparse point, not gone through
  kShared,   // a regular file with further names (hard links); when writing,
             // also one that holds bytes: either is replaced, never emptied
  kNoData,   // no bytes of its own: a directory where a file was wanted, a
             // named pipe, a socket, a device
  kTaken,    // (writing) a file this walk made under another name that the
             // system takes for this one (letter case, a short name)
  kFailed,   // anything else: no access, a file where a directory was wanted
};

// One walk's calls. Each object keeps what its platform needs to remember
// between them (on Windows the files it made and the root's final path).
class Calls {
 public:
  Calls();
  ~Calls();
  Calls(const Calls&) = delete;
  Calls& operator=(const Calls&) = delete;

  // The base of a walk that writes, taken as it is (a link naming it is
  // followed: the caller chose that path), made when missing and `make`;
  // `made` tells whether this call made it.
  Handle open_base(const std::string& base, bool make, bool& made);
  // The root of a walk that overwrites: taken as it is, never made, and
  // remembered as the place every opened file must lie below.
  Handle open_root(const std::string& root);
  // Gives a directory handle back (the base's too).
  static void close_directory(Handle directory);
  // Remembers the directory `guarded`, never entered by this walk, when it
  // lies strictly below `base`.
  void guard(Handle base, const std::string& guarded);
  // Whether `directory` is the guarded one.
  bool is_guarded(Handle directory) const;
  // Whether a directory kept from an earlier call still stands for its path:
  // true where it is held open, false where it is only a path and a later
  // call must look at every component again.
  static bool directories_stay_open();
  // Whether `relative` below `base` keeps within the system's limits on the
  // length of a path and of one component.
  static bool fits_limits(const std::string& base, const std::string& relative);

  Met open_directory(Handle parent, const std::string& name, Handle& out);
  // False when the directory could not be made, or made but not durably;
  // `made` tells whether this call made it (false when something had the
  // name already).
  bool make_directory(Handle parent, const std::string& name, bool& made);
  // Puts on the disk what make_directory did not already: every directory
  // made and file flushed (File::start_flush) below `base` since it was opened.
  bool sync_below(Handle base);
  // Removes the link `name` itself, never what it leads to.
  bool remove_link(Handle parent, const std::string& name);
  // Removes the name `name` of a file that has further names.
  bool remove_name(Handle parent, const std::string& name);

  // Opens `name` for writing, empty, creating it when missing. `made`: the
  // directory was made by this walk, so a new file can be created exclusively.
  // `again`: the caller means to replace a file of this very name it wrote
  // before (never kTaken then).
  Met open_for_writing(Handle directory, const std::string& name, bool made, bool again,
                       Handle& out);
  // Opens an existing regular file of one name for reading and writing,
  // neither created nor truncated; `size` is its size when known, else -1.
  // kFailed too for a file that does not lie below the root.
  Met open_for_overwrite(Handle directory, const std::string& name, Handle& out, long long& size);

 private:
  struct Own;
  std::unique_ptr<Own> own_;
};

}  // namespace tree_walk
