// The open directories from a base directory down to the last one used, each
// kept under its name. Paths below a base come directory by directory, and
// the next one mostly shares all but its last components with the one before:
// those are not looked up again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class DirChain {
 public:
  // `close` gives one level's handle back to the system.
  explicit DirChain(void (*close)(std::intptr_t handle)) : close_(close) {}
  ~DirChain() { leave_below(0); }
  DirChain(const DirChain&) = delete;
  DirChain& operator=(const DirChain&) = delete;

  // The handle of `relative` (components separated by backslashes, "" for
  // the base), or -1. The components it does not share with the chain are
  // entered one by one with enter(parent handle, whether the parent was
  // made by its caller, name, made) -> handle or -1, where `made` tells
  // whether the entered directory was made then. `made` out: that of the
  // directory returned. After a failure the chain holds the levels above
  // the component that failed.
  template <typename Enter>
  std::intptr_t open(const std::string& relative, std::intptr_t base, bool base_made, Enter&& enter,
                     bool& made) {
    std::size_t depth = 0;
    for (std::size_t start = 0; !relative.empty();) {
      std::size_t end = relative.find('\\', start);
      if (end == std::string::npos) end = relative.size();
      const std::size_t length = end - start;
      if (depth < levels_.size() && levels_[depth].name.size() == length &&
          relative.compare(start, length, levels_[depth].name) == 0) {
        ++depth;
      } else {
        leave_below(depth);
        std::string name = relative.substr(start, length);
        bool entered_made = false;
        const std::intptr_t handle =
            depth == 0 ? enter(base, base_made, name, entered_made)
                       : enter(levels_.back().handle, levels_.back().made, name, entered_made);
        if (handle < 0) return -1;
        levels_.push_back({std::move(name), handle, entered_made});
        ++depth;
      }
      if (end == relative.size()) break;
      start = end + 1;
    }
    leave_below(depth);
    made = levels_.empty() ? base_made : levels_.back().made;
    return levels_.empty() ? base : levels_.back().handle;
  }

  // Gives back every level deeper than `depth` components.
  void leave_below(std::size_t depth) {
    while (levels_.size() > depth) {
      close_(levels_.back().handle);
      levels_.pop_back();
    }
  }

 private:
  struct Level {
    std::string name;
    std::intptr_t handle;
    bool made;
  };
  void (*close_)(std::intptr_t handle);
  std::vector<Level> levels_;
};
