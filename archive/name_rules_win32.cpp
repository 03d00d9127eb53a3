// Windows side of the system's name rules: device names, streams and drive
// prefixes, the characters the system refuses, and the trailing dots and
// blanks that the system drops.
#include "archive/name_rules.h"
#include "support/windows_names.h"

bool system_keeps_component(const std::string& component) {
  // Covers drive prefixes ("C:x") and alternate data streams alike; "<>|?*"
  // and quotes are wildcards or refused, controls are refused.
  for (char c : component) {
    if (refused_in_windows_names(static_cast<unsigned char>(c))) return false;
  }
  // "x." or ".. " would name another file than the one stored.
  if (!component.empty() && (component.back() == '.' || component.back() == ' ')) return false;
  return !is_windows_device_name(component);
}
