// Path cleaning and wildcard matching for the directory listing.
#include "support/dir_match.h"

#include <cstddef>

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Iterative star matching: on a mismatch, the last star takes one byte more.
bool wildcard_matches(const std::string& pattern, const std::string& name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string listing_path(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && (path[end - 1] == ' ' || path[end - 1] == '\t' || path[end - 1] == '\\')) {
    --end;
  }
  return path.substr(0, end);
}

bool has_wildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool listing_name_matches(const std::string& pattern, const std::string& name) {
  if (wildcard_matches(pattern, name)) return true;
  const std::size_t size = pattern.size();
  if (size >= 2 && pattern[size - 2] == '.' && pattern[size - 1] == '*' &&
      name.find('.') == std::string::npos) {
    return wildcard_matches(pattern.substr(0, size - 2), name);
  }
  return false;
}

bool matches_every_name(const std::string& pattern) {
  // "*.*" matches a name with a dot through its stars and one without
  // through the ".*" rule above.
  return pattern == "*" || pattern == "*.*";
}
