// Windows side of the whole-directory operations: CreateDirectoryW and
// RemoveDirectoryW; Windows has no exchange of two names in one step.
#include <windows.h>

#include "support/dir_tree.h"
#include "support/wide_win32.h"

bool make_private_directory(const std::string& path) {
  // The folder's inherited rights apply, as for every file the program makes.
  return CreateDirectoryW(system_path(path).c_str(), nullptr) != 0;
}

bool make_directory_private(const std::string&) { return true; }

Exchange exchange_directories(const std::string&, const std::string&) {
  return Exchange::kUnsupported;
}

bool remove_empty_directory(const std::string& path) {
  if (RemoveDirectoryW(system_path(path).c_str()) != 0) return true;
  // A read-only directory is removed all the same: it was the program's.
  SetFileAttributesW(system_path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryW(system_path(path).c_str()) != 0;
}

bool remove_link(const std::string& path) {
  // A link to a directory (or a junction) goes as a directory, one to a file
  // as a file; neither touches what it leads to.
  const DWORD attributes = GetFileAttributesW(system_path(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return RemoveDirectoryW(system_path(path).c_str()) != 0;
  }
  return DeleteFileW(system_path(path).c_str()) != 0;
}
