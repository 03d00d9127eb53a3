// How both sides of RootedOpener take a name below the root apart.
#pragma once

#include <string>

namespace rooted_name {

// A component that names an entry of its directory: not empty, and neither
// the directory itself nor its parent, which would lead out of the tree.
inline bool usable_component(const std::string& component) {
  return !component.empty() && component != "." && component != "..";
}

// Splits root-relative `relative` (backslashes) into its directory ("" for
// the root) and its last component; false when that component is unusable.
inline bool split(const std::string& relative, std::string& directory, std::string& name) {
  const std::size_t cut = relative.rfind('\\');
  directory = cut == std::string::npos ? std::string() : relative.substr(0, cut);
  name = cut == std::string::npos ? relative : relative.substr(cut + 1);
  return usable_component(name);
}

}  // namespace rooted_name
