// The platform-free part of ConfinedTree: taking a target name apart.
#include "support/confined.h"

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
