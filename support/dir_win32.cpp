// Windows directory listing: FindFirstFileW/FindNextFileW with the names in
// UTF-8 and the entry's last-write time in local DOS date and time.
#include <windows.h>

#include "support/dir.h"
#include "support/dir_match.h"
#include "support/utf8.h"
#include "support/wide_win32.h"

namespace {

void set_time(DirEntry& entry, const FILETIME& written) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&written, &local)) return;
  WORD date = 0;
  WORD time = 0;
  if (FileTimeToDosDateTime(&local, &date, &time)) {
    entry.year = (date >> 9) + 1980;
    entry.month = (date >> 5) & 15;
    entry.day = date & 31;
    entry.hour = time >> 11;
    entry.minute = (time >> 5) & 63;
    entry.second = (time & 31) * 2;
    return;
  }
  // Times the DOS format cannot hold (before 1980, after 2107) still get a date.
  SYSTEMTIME system;
  if (!FileTimeToSystemTime(&local, &system)) return;
  entry.year = system.wYear;
  entry.month = system.wMonth;
  entry.day = system.wDay;
  entry.hour = system.wHour;
  entry.minute = system.wMinute;
  entry.second = system.wSecond & ~1;
}

// Fills `entry` anew (its strings keep their storage, so a listing does not
// allocate for every entry). The system gives every field at once; only the
// time conversion is left out when it is not wanted.
void fill_entry(DirEntry& entry, const WIN32_FIND_DATAW& data, EntryDetail detail) {
  const auto* name = reinterpret_cast<const char16_t*>(data.cFileName);
  utf16_to_utf8(std::u16string_view(name), entry.name);
  entry.attributes.clear();
  const DWORD a = data.dwFileAttributes;
  if (a & FILE_ATTRIBUTE_READONLY) entry.attributes += 'r';
  if (a & FILE_ATTRIBUTE_HIDDEN) entry.attributes += 'h';
  if (a & FILE_ATTRIBUTE_SYSTEM) entry.attributes += 's';
  if (a & FILE_ATTRIBUTE_DIRECTORY) entry.attributes += 'd';
  if (a & FILE_ATTRIBUTE_ARCHIVE) entry.attributes += 'a';
  if (a & 0x8) entry.attributes += 'v';  // the volume-label bit of the old DOS listing
  // Junctions and symbolic links are reported so that a walk need not follow them.
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) entry.attributes += 'l';
  entry.size = data.nFileSizeLow;
  entry.year = entry.month = entry.day = entry.hour = entry.minute = entry.second = 0;
  if (detail == EntryDetail::kFull) set_time(entry, data.ftLastWriteTime);
}

}  // namespace

bool list_dir_each(const std::string& path, const EntrySink& each, EntryDetail detail) {
  std::string cleaned = listing_path(path);
  const bool root = cleaned.empty() && !path.empty() && path[0] == '\\';
  if (cleaned.empty() && !root) return false;

  std::string search = cleaned;
  if (root) {
    search = "\\*.*";
  } else if (cleaned.back() == ':') {
    search = cleaned + "\\*.*";
  } else if (!has_wildcard(cleaned)) {
    std::wstring wide;
    const DWORD attributes =
        system_path(cleaned, wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      search = cleaned + "\\*.*";
    }
  }

  // Paths that are not UTF-8, missing paths and no matches all fail here.
  std::wstring wide_search;
  if (!system_path(search, wide_search)) return false;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(wide_search.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  DirEntry entry;
  do {
    fill_entry(entry, data, detail);
  } while (each(entry) && FindNextFileW(find, &data));
  FindClose(find);
  return true;
}
