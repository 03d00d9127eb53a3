// The one walk below a directory that never leaves it, with its two rules:
// the unpack's (ConfinedTree: make what is missing, and a link in the way is
// removed and replaced by a real directory or file) and the burn's
// (RootedOpener: open only what is there, and a link is never gone through).
// Every decision about links, missing directories and files of several names
// is taken here; the platform halves only make the calls (tree_walk.h).
#include "support/tree_walk.h"

#include "support/confined.h"
#include "support/dir_chain.h"

namespace {

using tree_walk::Calls;
using tree_walk::Handle;
using tree_walk::kNoHandle;
using tree_walk::Met;

// A link or a stray file that comes back after its removal is fought only
// this often.
constexpr int kAttempts = 4;

// A component that names an entry of its directory: not empty, and neither
// the directory itself nor its parent, which would lead out of the tree.
bool usable_component(const std::string& component) {
  return !component.empty() && component != "." && component != "..";
}

enum class Rule {
  kCreate,     // the unpack: missing directories are made, links replaced
  kOverwrite,  // the burn: nothing is made, removed or gone through
};

// The directories from the base down to the last one used.
class Walk {
 public:
  Walk(Calls& calls, Rule rule) : calls_(calls), rule_(rule) {}

  void start(Handle base, bool base_made) {
    base_ = base;
    base_made_ = base_made;
  }

  // The directory `relative` ("" for the base), entered under the walk's
  // rule; kNoHandle when it cannot be, with `refused` set when it is the
  // guarded directory or below it. `made`: whether this walk made it.
  Handle directory(const std::string& relative, bool& made, bool& refused) {
    // Files come directory by directory. The burn does not try a directory
    // again that failed for the file before; the unpack does, as it may
    // make what was missing.
    if (have_last_ && relative == last_ &&
        (last_handle_ != kNoHandle || rule_ == Rule::kOverwrite)) {
      made = last_made_;
      return last_handle_;
    }
    if (!Calls::directories_stay_open()) chain_.leave_below(0);
    const Handle handle = chain_.open(
        relative, base_, base_made_,
        [&](Handle parent, bool parent_made, const std::string& name, bool& entered_made) {
          return enter(parent, parent_made, name, entered_made, refused);
        },
        made);
    have_last_ = true;
    last_ = relative;
    last_handle_ = handle;
    last_made_ = made;
    return handle;
  }

 private:
  // Enters the directory `name` in `parent`. In a directory this walk made,
  // the name is made first, since it cannot be there yet: one call fewer per
  // new directory, and a name that is there after all only sends it the
  // usual way.
  Handle enter(Handle parent, bool parent_made, const std::string& name, bool& made,
               bool& refused) {
    made = false;
    if (!usable_component(name)) return kNoHandle;
    const bool create = rule_ == Rule::kCreate;
    bool make = create && parent_made;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (make && !calls_.make_directory(parent, name, made)) return kNoHandle;
      Handle entered = kNoHandle;
      switch (calls_.open_directory(parent, name, entered)) {
        case Met::kOpened:
          // A directory already there in one this walk made is one it made
          // for an earlier name (perhaps spelt otherwise, where the system
          // ignores letter case): all it holds is this walk's own.
          if (parent_made) made = true;
          if (calls_.is_guarded(entered)) {
            Calls::close_directory(entered);
            refused = true;
            return kNoHandle;
          }
          return entered;
        case Met::kMissing:
          // The burn has nothing to reach there.
          if (!create) return kNoHandle;
          break;
        case Met::kLink:
          // The unpack removes the link itself, never what it leads to, and
          // makes a real directory in its place; the burn never goes through.
          if (!create || !calls_.remove_link(parent, name)) return kNoHandle;
          break;
        default:
          // A file of the user's where a directory is wanted stays as it is.
          return kNoHandle;
      }
      made = false;
      make = true;
    }
    return kNoHandle;
  }

  Calls& calls_;
  const Rule rule_;
  Handle base_ = kNoHandle;
  bool base_made_ = false;
  DirChain chain_{Calls::close_directory};
  bool have_last_ = false;
  std::string last_;
  Handle last_handle_ = kNoHandle;
  bool last_made_ = false;
};

}  // namespace

struct ConfinedTree::State {
  std::string base;
  std::string guarded;
  bool make_base = true;
  Calls calls;
  Handle base_handle = kNoHandle;
  bool base_failed = false;
  Walk walk{calls, Rule::kCreate};

  ~State() {
    if (base_handle != kNoHandle) Calls::close_directory(base_handle);
  }

  bool open_base() {
    if (base_handle != kNoHandle) return true;
    if (base_failed) return false;
    bool made = false;
    base_handle = calls.open_base(base, make_base, made);
    if (base_handle == kNoHandle) {
      base_failed = true;
      return false;
    }
    if (!guarded.empty()) calls.guard(base_handle, guarded);
    walk.start(base_handle, made);
    return true;
  }
};

ConfinedTree::ConfinedTree(const std::string& base, const std::string& guarded, bool make_base)
    : state_(std::make_unique<State>()) {
  state_->base = base;
  state_->guarded = guarded;
  state_->make_base = make_base;
}

ConfinedTree::~ConfinedTree() = default;

bool ConfinedTree::sync() {
  State& s = *state_;
  // A tree that never reached its base made nothing.
  return s.base_handle == kNoHandle || s.calls.sync_below(s.base_handle);
}

bool ConfinedTree::split_fitting(const std::string& relative, std::string& dir_part,
                                 std::string& name) const {
  return Calls::fits_limits(state_->base, relative) &&
         split_target(relative, std::string::npos, dir_part, name);
}

CreateResult ConfinedTree::create_checked(const std::string& /*relative*/,
                                          const std::string& dir_part, const std::string& name,
                                          File& out, bool again) {
  State& s = *state_;
  if (!s.open_base()) return CreateResult::kFailed;
  bool refused = false;
  bool made = false;
  const Handle directory = s.walk.directory(dir_part, made, refused);
  if (refused) return CreateResult::kRefused;
  if (directory == kNoHandle || !usable_component(name)) return CreateResult::kFailed;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Handle file = kNoHandle;
    switch (s.calls.open_for_writing(directory, name, made, again, file)) {
      case Met::kOpened:
        out = File(file);
        return CreateResult::kOpened;
      case Met::kTaken:
        return CreateResult::kTaken;
      case Met::kLink:
        // The link goes, never what it points at; a file of the tree's own
        // takes its place.
        if (!s.calls.remove_link(directory, name)) return CreateResult::kFailed;
        break;
      case Met::kShared:
        // A file with other names (one may be the archive being read), or
        // with old bytes, is replaced, not emptied.
        if (!s.calls.remove_name(directory, name)) return CreateResult::kFailed;
        break;
      default:
        return CreateResult::kFailed;
    }
  }
  return CreateResult::kFailed;
}

struct RootedOpener::State {
  Calls calls;
  Handle root = kNoHandle;
  Walk walk{calls, Rule::kOverwrite};

  ~State() {
    if (root != kNoHandle) Calls::close_directory(root);
  }
};

RootedOpener::RootedOpener(const std::string& root) : state_(std::make_unique<State>()) {
  state_->root = state_->calls.open_root(root);
  state_->walk.start(state_->root, false);
}

RootedOpener::~RootedOpener() = default;

File RootedOpener::open_for_overwrite(const std::string& relative, OverwriteRefusal* refusal) {
  OverwriteRefusal why = OverwriteRefusal::kFailed;
  File file = open_checked(relative, why);
  if (refusal != nullptr) *refusal = file.is_open() ? OverwriteRefusal::kNone : why;
  return file;
}

File RootedOpener::open_checked(const std::string& relative, OverwriteRefusal& why) {
  State& s = *state_;
  if (io_fault_now(IoFault::kOpen) || s.root == kNoHandle) return File();
  std::string dir_part;
  std::string name;
  split_target(relative, std::string::npos, dir_part, name);
  if (!usable_component(name)) return File();
  bool refused = false;
  bool made = false;
  const Handle directory = s.walk.directory(dir_part, made, refused);
  if (directory == kNoHandle) return File();
  Handle file = kNoHandle;
  long long size = -1;
  switch (s.calls.open_for_overwrite(directory, name, file, size)) {
    case Met::kOpened:
      return File(file, size);
    case Met::kMissing:
    case Met::kLink:
    case Met::kNoData:
      // Gone since it was listed, or nothing of the tree's own to overwrite:
      // a link is never written through.
      why = OverwriteRefusal::kNoData;
      return File();
    case Met::kShared:
      why = OverwriteRefusal::kOtherNames;
      return File();
    default:
      return File();
  }
}
