// The files a pack leaves out of every archive: browser caches and backups,
// which the browser rebuilds and which would only make the archive bigger.
// Each pattern is matched against a file's path below the profile directory
// (backslashes between components), both sides lower-cased; "*" stands for
// any run of characters, backslashes included, and "?" for any one.
//
// scripts/bench-archive reads the quoted patterns out of this list to give
// tar the same exclusions: keep them as plain string literals.
#pragma once

#include <array>

inline constexpr std::array<const char*, 5> kExclusionPatterns = {
    "cache4\\*", "cacheIl\\*", "images\\*", "Uninst\\*", "*.bak",
};
