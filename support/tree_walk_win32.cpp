// Windows side of the walk's calls (tree_walk.h): each name is opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT), so a symbolic link or junction in the
// way is seen, never gone through. Windows opens nothing relative to an open
// directory: a directory is held as its path and looked at again for each
// new one, and a file opened to be overwritten must lie below the root's
// final path.
#include <windows.h>

#include <set>
#include <tuple>
#include <vector>

#include "support/dir_tree.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"
#include "support/tree_walk.h"
#include "support/utf8.h"
#include "support/wide_win32.h"

namespace tree_walk {

namespace {

// Paths go to the system's wide calls, long ones with the "\\?\" prefix, so
// a target may be as long as a path can be; where the system still refuses
// one, the file cannot be made, which the unpack reports rather than leave
// the file out unseen.
constexpr std::size_t kMaxPath = 32767 - 1;
constexpr std::size_t kMaxComponent = 255;

struct Identity {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

// What stands at `path` itself, a link not followed; false when nothing does
// or it cannot be looked at.
bool identify(const std::string& path, Identity& id) {
  HANDLE h = open_to_inspect(path, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (h == nullptr) return false;
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

// Where the handle's file really is, every link and junction followed: its
// volume's serial number and its path on that volume; empty when the system
// cannot tell. GetFinalPathNameByHandle would say the same, but fails under
// Wine for paths past MAX_PATH, which the burn must reach.
std::string final_path(HANDLE handle) {
  constexpr std::size_t kNameBytes = 65536;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::string();
  std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + kNameBytes);
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(),
                                    static_cast<DWORD>(buffer.size()))) {
    return std::string();
  }
  const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         from_wide(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

// Whether `path` lies strictly below `root`, letters A-Z folded as the file
// system folds them.
bool lies_below(const std::string& path, const std::string& root) {
  if (root.empty() || path.size() <= root.size()) return false;
  if (lower_ascii(path.substr(0, root.size())) != lower_ascii(root)) return false;
  return root.back() == '\\' || path[root.size()] == '\\';
}

// A directory of the walk: its path, and what stood there when it was entered.
struct Held {
  std::string path;
  Identity id;
};

// Flushes the directory's entries to the disk. A file system that keeps no
// directory of its own to flush, or a directory this user may only read,
// leaves the names to the system's own writing out: nothing more can be done.
bool flush_directory(const std::string& path) {
  if (io_fault_now(IoFault::kSyncDirectory)) return false;
  HANDLE h = CreateFileW(system_path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  const bool flushed = FlushFileBuffers(h) != 0;
  const DWORD error = flushed ? ERROR_SUCCESS : GetLastError();
  CloseHandle(h);
  if (flushed || error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER ||
      error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED) {
    return true;
  }
  io_note_failure(static_cast<long>(error));
  return false;
}

Handle hold(const std::string& path, const Identity& id) {
  return reinterpret_cast<Handle>(new Held{path, id});
}

const Held& held(Handle handle) { return *reinterpret_cast<const Held*>(handle); }

std::string path_in(Handle directory, const std::string& name) {
  return join_path(held(directory).path, name);
}

}  // namespace

struct Calls::Own {
  bool has_guard = false;
  Identity guard;
  // Volume and index of each file this walk has opened for writing.
  using FileId = std::tuple<DWORD, DWORD, DWORD>;
  std::set<FileId> made_files;
  // The root's final path, for a walk that overwrites.
  std::string root_final;
};

Calls::Calls() : own_(std::make_unique<Own>()) {}
Calls::~Calls() = default;

Handle Calls::open_base(const std::string& base, bool make, bool& made) {
  made = false;
  DWORD attributes = GetFileAttributesW(system_path(base).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES && make) {
    make_dirs(base);
    attributes = GetFileAttributesW(system_path(base).c_str());
    made = attributes != INVALID_FILE_ATTRIBUTES;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    made = false;
    return kNoHandle;
  }
  return hold(base, Identity{});
}

Handle Calls::open_root(const std::string& root) {
  HANDLE handle = open_to_inspect(root, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == nullptr) return kNoHandle;
  own_->root_final = final_path(handle);
  CloseHandle(handle);
  if (own_->root_final.empty()) return kNoHandle;
  return hold(root, Identity{});
}

void Calls::close_directory(Handle directory) { delete reinterpret_cast<Held*>(directory); }

// The guarded directory is compared with every directory entered below the
// base, never with the base itself.
void Calls::guard(Handle /*base*/, const std::string& guarded) {
  own_->has_guard = identify(guarded, own_->guard);
}

bool Calls::is_guarded(Handle directory) const {
  return own_->has_guard && same_file(held(directory).id, own_->guard);
}

bool Calls::directories_stay_open() { return false; }

bool Calls::fits_limits(const std::string& base, const std::string& relative) {
  // The system's limits count UTF-16 units, not the bytes of UTF-8.
  if (utf16_length(base) + 1 + utf16_length(relative) > kMaxPath) return false;
  for (const std::string& component : split_text(relative, "\\")) {
    if (utf16_length(component) > kMaxComponent) return false;
  }
  return true;
}

Met Calls::open_directory(Handle parent, const std::string& name, Handle& out) {
  const std::string path = path_in(parent, name);
  Identity id;
  if (!identify(path, id)) return Met::kMissing;
  if (is_link(id.attributes)) return Met::kLink;
  if (!(id.attributes & FILE_ATTRIBUTE_DIRECTORY)) return Met::kFailed;
  out = hold(path, id);
  return Met::kOpened;
}

bool Calls::make_directory(Handle parent, const std::string& name, bool& made) {
  made = CreateDirectoryW(system_path(path_in(parent, name)).c_str(), nullptr) != 0;
  if (!made) return GetLastError() == ERROR_ALREADY_EXISTS;
  // NTFS journals the new name, but FAT, the usual stick, keeps it only in
  // the parent directory's own clusters: the parent is flushed at once, as
  // the files below are flushed one by one (no user may flush a volume).
  return flush_directory(held(parent).path);
}

// Each directory was flushed as it was made, each file before its close.
bool Calls::sync_below(Handle /*base*/) { return true; }

bool Calls::remove_link(Handle parent, const std::string& name) {
  // A directory link or junction goes with RemoveDirectoryW, a file link
  // with DeleteFileW; neither touches the target.
  return ::remove_link(path_in(parent, name));
}

bool Calls::remove_name(Handle parent, const std::string& name) {
  return DeleteFileW(system_path(path_in(parent, name)).c_str()) != 0;
}

Met Calls::open_for_writing(Handle directory, const std::string& name, bool /*made*/, bool again,
                            Handle& out) {
  const std::wstring wide = system_path(path_in(directory, name));
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && is_link(attributes)) return Met::kLink;
  // Not CREATE_ALWAYS: a file with other hard links (one may be the archive
  // being read) must be replaced, not emptied.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Met::kFailed;
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) {
    CloseHandle(h);
    return Met::kFailed;
  }
  // A link that came in since it was looked at is removed by its name, as a
  // file of several names is.
  if (is_link(info.dwFileAttributes) || info.nNumberOfLinks > 1) {
    CloseHandle(h);
    return Met::kShared;
  }
  // A file this walk made, met again under another name (letter case, a
  // short name), is left as it is.
  const Own::FileId id{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  if (existed && !again && own_->made_files.count(id) != 0) {
    CloseHandle(h);
    return Met::kTaken;
  }
  // One with any bytes in it is replaced, not emptied: a FAT driver that
  // cuts a file back only in part would leave the end of the old content
  // behind a shorter new one.
  if (info.nFileSizeHigh != 0 || info.nFileSizeLow != 0) {
    CloseHandle(h);
    return Met::kShared;
  }
  own_->made_files.insert(id);
  out = reinterpret_cast<Handle>(h);
  return Met::kOpened;
}

Met Calls::open_for_overwrite(Handle directory, const std::string& name, Handle& out,
                              long long& size) {
  size = -1;
  // The name itself is opened, never what a link or junction points at.
  std::wstring wide;
  if (!system_path(path_in(directory, name), wide)) return Met::kFailed;
  HANDLE h =
      CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Met::kMissing
                                                                          : Met::kFailed;
  }
  // The looks at the directories above are only a snapshot: the handle's
  // final path says where the bytes really are, whatever changed since.
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  const bool no_data =
      known &&
      ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
       GetFileType(h) != FILE_TYPE_DISK);
  const bool plain_file = known && !no_data && info.nNumberOfLinks == 1;
  if (!plain_file || !lies_below(final_path(h), own_->root_final)) {
    CloseHandle(h);
    if (no_data) return Met::kNoData;
    if (known && info.nNumberOfLinks > 1) return Met::kShared;
    return Met::kFailed;
  }
  out = reinterpret_cast<Handle>(h);
  return Met::kOpened;
}

}  // namespace tree_walk
