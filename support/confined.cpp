// The platform-free part of ConfinedTree: taking a target name apart and
// refusing it before the disk is touched.
#include "support/confined.h"

CreateResult ConfinedTree::create_file(const std::string& relative, File& out, bool again) {
  out = File();
  std::string dir_part;
  std::string name;
  if (!split_fitting(relative, dir_part, name)) return CreateResult::kTooLong;
  if (io_fault_now(IoFault::kOpen)) return CreateResult::kFailed;
  return create_checked(relative, dir_part, name, out, again);
}

bool ConfinedTree::fits(const std::string& relative) const {
  std::string dir_part;
  std::string name;
  return split_fitting(relative, dir_part, name);
}

bool split_target(const std::string& relative, std::size_t max_component, std::string& directory,
                  std::string& name) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    if (end - start > max_component) return false;
    if (end == relative.size()) break;
    start = end + 1;
  }
  const std::size_t cut = relative.rfind('\\');
  directory = cut == std::string::npos ? std::string() : relative.substr(0, cut);
  name = cut == std::string::npos ? relative : relative.substr(cut + 1);
  return true;
}
