// Pieces of the directory listing that do not depend on the platform: how a
// listing path is cleaned, and how a wildcard matches a name.
#pragma once

#include <string>

// The path without its trailing spaces, tabs and backslashes.
std::string listing_path(const std::string& path);
bool has_wildcard(const std::string& text);
// The listing's wildcard rules: "*" any run of bytes, "?" one byte, the letters
// A-Z equal to a-z, and a pattern ending in ".*" also matching names without an
// extension, so that "*.*" matches every name.
bool listing_name_matches(const std::string& pattern, const std::string& name);
// True for the patterns that every name matches ("*", "*.*"), so that a
// listing need not test each name.
bool matches_every_name(const std::string& pattern);
