// Directories compared by identity rather than by name, so that a link, ".."
// or any other spelling of a directory is seen as that directory.
#pragma once

#include <string>

// Whether two paths name the same existing directory.
bool same_directory(const std::string& a, const std::string& b);
// Whether the directory `inner` is `outer` or lies anywhere below it.
bool directory_within(const std::string& inner, const std::string& outer);
