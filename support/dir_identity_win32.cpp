// Windows side of same_directory and same_file: compares volume serial and
// file index.
#include <windows.h>

#include "support/dir_identity.h"
#include "support/wide_win32.h"

namespace {

bool identify_any(const std::string& path, DWORD flags, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE handle = open_to_inspect(path, flags);
  if (handle == nullptr) return false;
  BOOL ok = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  return ok != 0;
}

bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  return identify_any(path, FILE_FLAG_BACKUP_SEMANTICS, info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool same_index(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

bool same_directory(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{};
  BY_HANDLE_FILE_INFORMATION ib{};
  if (!identify(a, ia) || !identify(b, ib)) return false;
  return same_index(ia, ib);
}

bool same_file(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{};
  BY_HANDLE_FILE_INFORMATION ib{};
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT;
  if (!identify_any(a, flags, ia) || !identify_any(b, flags, ib)) return false;
  const DWORD not_file = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (ia.dwFileAttributes & not_file) == 0 && same_index(ia, ib);
}
