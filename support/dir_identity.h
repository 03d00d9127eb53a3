// Directories compared by identity rather than by name, so that a link, ".."
// or any other spelling of a directory is seen as that directory.
#pragma once

#include <string>

// Whether two paths name the same existing directory.
bool same_directory(const std::string& a, const std::string& b);
// Whether two paths name the same existing file (a link at the last
// component is not followed), whatever their spelling: letter case, a
// short name, a hard link.
bool same_file(const std::string& a, const std::string& b);
// Whether the directory `inner` is `outer` or lies anywhere below it.
bool directory_within(const std::string& inner, const std::string& outer);
