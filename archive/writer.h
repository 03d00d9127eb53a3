// Packs a profile directory into one archive.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/dir.h"

// (stored name, position from 1, number of files) -> 0
using PackProgress = std::function<int(const std::string& name, long index, long count)>;

// 1 when the archive was written, -1 when it could not be (the old archive,
// if any, is then left as it was).
int kompres(const std::string& root, const std::string& archive_path,
            const PackProgress& progress);

// The writer's steps, exposed for tests.
int wdcb1(const std::string& directory, const DirEntry& entry);
void make_relative(const std::string& root);
void drop_excluded();
const std::vector<std::string>& writer_file_list();
