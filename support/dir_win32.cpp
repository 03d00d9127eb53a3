// Windows directory listing: FindFirstFileA/FindNextFileA with the entry's
// last-write time in local DOS date and time.
#include <windows.h>

#include "support/dir.h"
#include "support/dir_match.h"

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

DirEntry entry_from(const WIN32_FIND_DATAA& data) {
  DirEntry entry;
  entry.name = data.cFileName;
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
  set_time(entry, data.ftLastWriteTime);
  return entry;
}

}  // namespace

Listing list_dir(const std::string& path, std::size_t max_entries) {
  if (max_entries == 0) max_entries = 1;
  std::string cleaned = listing_path(path);
  const bool root = cleaned.empty() && !path.empty() && path[0] == '\\';
  if (cleaned.empty() && !root) return Listing{};

  std::string search = cleaned;
  if (root) {
    search = "\\*.*";
  } else if (cleaned.back() == ':') {
    search = cleaned + "\\*.*";
  } else if (!has_wildcard(cleaned)) {
    const DWORD attributes = GetFileAttributesA(cleaned.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      search = cleaned + "\\*.*";
    }
  }

  // Paths too long for the system, missing paths and no matches all fail here.
  Listing listing;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(search.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return listing;
  do {
    listing.entries.push_back(entry_from(data));
  } while (listing.entries.size() < max_entries && FindNextFileA(find, &data));
  FindClose(find);
  listing.ok = true;
  return listing;
}
