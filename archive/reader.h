// Unpacks an archive into a profile directory.
#pragma once

#include <functional>
#include <string>

#include "support/file_io.h"

// (stored name, archive bytes read so far) -> 0
using UnpackProgress = std::function<int(const std::string& name, long long position)>;

// -1 when the archive cannot be opened for reading, otherwise 1.
int dekompres(const std::string& root, const std::string& archive_path,
              const UnpackProgress& progress);
// The record loop over an open archive.
void read_archive(File& archive, const std::string& root, const UnpackProgress& progress);
// 0 nothing there, 1 a file, 2 a directory.
int path_kind(const std::string& path);
// True when a stored name may be written below the profile directory.
bool stored_name_is_safe(const std::string& stored_name);
