// Windows side of the whole-directory operations: CreateDirectoryW and
// RemoveDirectoryW; Windows has no exchange of two names in one step.
#include <windows.h>

#include "support/dir_tree.h"
#include "support/wide_win32.h"

bool make_private_directory(const std::string& path) {
  // The folder's inherited rights apply, as for every file the program makes.
  const std::wstring wide = system_path(path);
  return CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

bool make_directory_private(const std::string&) { return true; }

Exchange exchange_directories(const std::string&, const std::string&) {
  return Exchange::kUnsupported;
}

bool remove_empty_directory(const std::string& path) {
  const std::wstring wide = system_path(path);
  if (RemoveDirectoryW(wide.c_str()) != 0) return true;
  // A read-only directory is removed all the same: it was the program's.
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryW(wide.c_str()) != 0;
}

bool remove_link(const std::string& path) {
  // A link to a directory (or a junction) goes as a directory, one to a file
  // as a file; neither touches what it leads to.
  const std::wstring wide = system_path(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return RemoveDirectoryW(wide.c_str()) != 0;
  }
  return DeleteFileW(wide.c_str()) != 0;
}
