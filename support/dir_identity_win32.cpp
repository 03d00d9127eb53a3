// Windows side of same_directory: compares volume serial and file index.
#include <windows.h>

#include "support/dir_identity.h"
#include "support/wide_win32.h"

namespace {

bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  std::wstring wide;
  if (!system_path(path, wide)) return false;
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  return ok != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool same_directory(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{};
  BY_HANDLE_FILE_INFORMATION ib{};
  if (!identify(a, ia) || !identify(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}
