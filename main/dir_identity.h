// Directories told apart by what they are on the file system, not by their
// paths' text.
#pragma once

#include <string>

// Whether two paths name the same existing directory on the file system.
bool same_directory(const std::string& a, const std::string& b);
// Whether the directory `inner` is `outer` or lies anywhere below it, by identity.
bool directory_within(const std::string& inner, const std::string& outer);
