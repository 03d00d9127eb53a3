// Windows side of the system's name rules: device names, streams and drive
// prefixes, and the trailing dots and blanks that the system drops.
#include <array>

#include "archive/name_rules.h"
#include "support/text.h"

namespace {

bool is_device_name(const std::string& component) {
  static constexpr std::array<const char*, 4> kPlain = {"con", "prn", "aux", "nul"};
  std::string stem = lower_ascii(component.substr(0, component.find('.')));
  for (const char* device : kPlain) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool system_keeps_component(const std::string& component) {
  // Covers drive prefixes ("C:x") and alternate data streams alike.
  if (component.find(':') != std::string::npos) return false;
  // "x." or ".. " would name another file than the one stored.
  if (!component.empty() && (component.back() == '.' || component.back() == ' ')) return false;
  return !is_device_name(component);
}
