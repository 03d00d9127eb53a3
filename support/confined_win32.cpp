// Windows side of ConfinedTree and file_size64: each component below the base
// is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), so a symbolic link or
// junction in the way is seen, removed and replaced, never gone through.
#include <windows.h>

#include <set>
#include <tuple>

#include "support/confined.h"
#include "support/fs.h"
#include "support/text.h"
#include "support/utf8.h"
#include "support/wide_win32.h"

namespace {

// Paths go to the system's wide calls, long ones with the "\\?\" prefix, so
// a target may be as long as a path can be; where the system still refuses
// one, the file cannot be made, which the unpack reports rather than leave
// the file out unseen.
constexpr std::size_t kMaxPath = 32767 - 1;
constexpr std::size_t kMaxComponent = 255;
constexpr int kAttempts = 4;

struct Identity {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

// What stands at `path` itself, a link not followed; false when nothing does
// or it cannot be looked at.
bool identify(const std::string& path, Identity& id) {
  HANDLE h = CreateFileW(
      system_path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return false;
  id = Identity{info.dwFileAttributes, info.dwVolumeSerialNumber, info.nFileIndexHigh,
                info.nFileIndexLow};
  return true;
}

bool same_file(const Identity& a, const Identity& b) {
  return a.volume == b.volume && a.index_high == b.index_high && a.index_low == b.index_low;
}

bool is_link(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Removes the link itself: a directory link or junction with
// RemoveDirectoryW, a file link with DeleteFileW; neither touches the target.
bool remove_link(const std::string& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return RemoveDirectoryW(system_path(path).c_str()) != 0;
  return DeleteFileW(system_path(path).c_str()) != 0;
}

}  // namespace

struct ConfinedTree::State {
  std::string base;
  std::string guarded;
  bool base_ready = false;
  bool base_failed = false;
  bool make_base = true;
  bool has_guard = false;
  Identity guard;
  std::string dir_relative;
  bool dir_ready = false;
  // Volume and index of each file this tree has opened.
  using FileId = std::tuple<DWORD, DWORD, DWORD>;
  std::set<FileId> made_files;

  bool open_base() {
    if (base_ready) return true;
    if (base_failed) return false;
    DWORD attributes = GetFileAttributesW(system_path(base).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && make_base) {
      make_dirs(base);
      attributes = GetFileAttributesW(system_path(base).c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      base_failed = true;
      return false;
    }
    has_guard = !guarded.empty() && identify(guarded, guard);
    base_ready = true;
    return true;
  }

  // Makes `path` a real directory: a link in its place is removed first.
  // 1 ready, 0 failed, -1 refused (the guarded directory).
  int enter(const std::string& path) {
    const std::wstring wide = system_path(path);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      Identity id;
      if (!identify(path, id)) {
        if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
          return 0;
        }
        continue;
      }
      if (is_link(id.attributes)) {
        if (!remove_link(path, id.attributes)) return 0;
        continue;
      }
      if (!(id.attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
      if (has_guard && same_file(id, guard)) return -1;
      return 1;
    }
    return 0;
  }

  int directory(const std::string& relative) {
    if (dir_ready && relative == dir_relative) return 1;
    dir_ready = false;
    std::size_t start = 0;
    while (start < relative.size()) {
      std::size_t end = relative.find('\\', start);
      if (end == std::string::npos) end = relative.size();
      const int entered = enter(base + "\\" + relative.substr(0, end));
      if (entered != 1) return entered;
      start = end + 1;
    }
    dir_relative = relative;
    dir_ready = true;
    return 1;
  }

  // Opens `path` for writing, empty. A file this tree made, met again under
  // another name (letter case, a short name), is left as it is: `taken`.
  HANDLE open_file(const std::string& path, bool again, bool& taken) {
    taken = false;
    const std::wstring wide = system_path(path);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const DWORD attributes = GetFileAttributesW(wide.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && is_link(attributes)) {
        if (!remove_link(path, attributes)) return INVALID_HANDLE_VALUE;
        continue;
      }
      // Not CREATE_ALWAYS: a file with other hard links (one may be the
      // archive being read) must be replaced, not emptied.
      HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (h == INVALID_HANDLE_VALUE) return h;
      const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
      BY_HANDLE_FILE_INFORMATION info{};
      if (!GetFileInformationByHandle(h, &info)) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
      }
      if (is_link(info.dwFileAttributes) || info.nNumberOfLinks > 1) {
        CloseHandle(h);
        if (!DeleteFileW(wide.c_str())) return INVALID_HANDLE_VALUE;
        continue;
      }
      const FileId id{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
      if (existed && !again && made_files.count(id) != 0) {
        CloseHandle(h);
        taken = true;
        return INVALID_HANDLE_VALUE;
      }
      if ((info.nFileSizeHigh != 0 || info.nFileSizeLow != 0) && !SetEndOfFile(h)) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
      }
      made_files.insert(id);
      return h;
    }
    return INVALID_HANDLE_VALUE;
  }
};

ConfinedTree::ConfinedTree(const std::string& base, const std::string& guarded, bool make_base)
    : state_(std::make_unique<State>()) {
  state_->make_base = make_base;
  state_->base = base;
  state_->guarded = guarded;
}

ConfinedTree::~ConfinedTree() = default;

bool ConfinedTree::split_fitting(const std::string& relative, std::string& dir_part,
                                 std::string& name) const {
  // The system's limits count UTF-16 units, not the bytes of UTF-8.
  if (utf16_length(state_->base) + 1 + utf16_length(relative) > kMaxPath) return false;
  if (!split_target(relative, std::string::npos, dir_part, name)) return false;
  for (const std::string& component : split_text(relative, "\\")) {
    if (utf16_length(component) > kMaxComponent) return false;
  }
  return true;
}

CreateResult ConfinedTree::create_checked(const std::string& relative, const std::string& dir_part,
                                          const std::string& /*name*/, File& out, bool again) {
  State& s = *state_;
  if (!s.open_base()) return CreateResult::kFailed;
  const int entered = s.directory(dir_part);
  if (entered < 0) return CreateResult::kRefused;
  if (entered == 0) return CreateResult::kFailed;
  bool taken = false;
  HANDLE h = s.open_file(s.base + "\\" + relative, again, taken);
  if (taken) return CreateResult::kTaken;
  if (h == INVALID_HANDLE_VALUE) return CreateResult::kFailed;
  out = File(reinterpret_cast<std::intptr_t>(h));
  return CreateResult::kOpened;
}

long long file_size64(const std::string& path) {
  // Through a link to what it names, as reading the file does.
  HANDLE h = CreateFileW(system_path(path).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return -1;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) |
                                info.nFileSizeLow);
}
