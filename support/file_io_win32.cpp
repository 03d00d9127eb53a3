// Windows file seam: CreateFileW/ReadFile/WriteFile/FlushFileBuffers/MoveFileExW,
// reparse-point inspection and the lock file held open without sharing.
#include <windows.h>

#include <utility>

#include "support/file_io.h"
#include "support/wide_win32.h"

namespace {

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile and WriteFile take 32-bit sizes; larger blocks go in pieces.
constexpr std::size_t kMaxChunk = 1u << 30;

// ERROR_FILE_SYSTEM_LIMITATION, which the MinGW headers do not name.
constexpr DWORD kErrorFileSystemLimitation = 665;
// The largest file FAT32 holds: one byte below 4 GiB.
constexpr ULONGLONG kFat32LargestFile = 0xFFFFFFFFull;

// Whether a write of `want` bytes failed with `error` because the file system
// cannot make the file that large. FAT32 says so as a full disk, so a full
// disk counts only when the write would have taken the file past its limit.
bool refused_as_too_large(HANDLE h, DWORD error, DWORD want) {
  if (error == ERROR_FILE_TOO_LARGE || error == kErrorFileSystemLimitation) return true;
  if (error != ERROR_DISK_FULL) return false;
  LARGE_INTEGER at{};
  if (!SetFilePointerEx(h, LARGE_INTEGER{}, &at, FILE_CURRENT)) return false;
  return static_cast<ULONGLONG>(at.QuadPart) + want > kFat32LargestFile;
}

}  // namespace

File File::open(const std::string& path, OpenMode mode) {
  File file;
  if (io_fault_now(IoFault::kOpen)) return file;
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::kRead:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case OpenMode::kWrite:
      access = GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::kReadWriteExisting:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    case OpenMode::kReadFileNoFollow:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case OpenMode::kCreateNew:
      // Fails when anything, a link included, has the name already.
      access = GENERIC_WRITE;
      share = 0;
      disposition = CREATE_NEW;
      break;
  }
  // These modes open the name itself, not what a link or junction points at,
  // and refuse it when it is such a reparse point.
  const bool no_follow = mode == OpenMode::kReadWriteExisting ||
                         mode == OpenMode::kReadFileNoFollow || mode == OpenMode::kCreateNew;
  const DWORD flags =
      no_follow ? FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL;
  // A path that is not UTF-8 opens nothing, and the caller reports it.
  std::wstring wide;
  if (!system_path(path, wide)) return file;
  HANDLE h = CreateFileW(wide.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h != INVALID_HANDLE_VALUE && no_follow) {
    // Only the attributes are asked for: GetFileInformationByHandle also
    // asks for the volume's serial number, which Wine answers through
    // another process, and the pack opens every file of the profile so.
    FILE_ATTRIBUTE_TAG_INFO info{};
    const DWORD refused = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info) ||
        (info.FileAttributes & refused) != 0) {
      CloseHandle(h);
      h = INVALID_HANDLE_VALUE;
    }
  }
  if (h != INVALID_HANDLE_VALUE) {
    file.handle_ = reinterpret_cast<std::intptr_t>(h);
  } else {
    io_note_failure(static_cast<long>(GetLastError()));
  }
  return file;
}

long long File::read(void* buffer, std::size_t size) {
  if (!is_open() || io_fault_now(IoFault::kRead)) return -1;
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
  if (!ReadFile(handle_of(handle_), buffer, want, &got, nullptr)) {
    io_note_failure(static_cast<long>(GetLastError()));
    return -1;
  }
  return static_cast<long long>(got);
}

bool File::write(const void* data, std::size_t size) {
  if (!is_open()) return false;
  too_large_ = false;
  const char* bytes = static_cast<const char*>(data);
  if (io_fault_now(IoFault::kWrite)) {
    // A short write: part of the block reaches the file, as when the disk fills.
    DWORD done = 0;
    const std::size_t part = size / 2 < kMaxChunk ? size / 2 : kMaxChunk;
    if (part > 0) WriteFile(handle_of(handle_), bytes, static_cast<DWORD>(part), &done, nullptr);
    return false;
  }
  std::size_t fits = size;
  if (io_file_size_limited()) {
    LARGE_INTEGER at{};
    if (SetFilePointerEx(handle_of(handle_), LARGE_INTEGER{}, &at, FILE_CURRENT)) {
      fits = io_bytes_within_limit(static_cast<std::uint64_t>(at.QuadPart), size);
    }
  }
  while (fits > 0) {
    DWORD done = 0;
    const DWORD want = static_cast<DWORD>(fits < kMaxChunk ? fits : kMaxChunk);
    if (!WriteFile(handle_of(handle_), bytes, want, &done, nullptr) || done == 0) {
      const DWORD error =
          done == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError();
      io_note_failure(static_cast<long>(error));
      too_large_ = refused_as_too_large(handle_of(handle_), error, want);
      return false;
    }
    bytes += done;
    fits -= done;
    size -= done;
  }
  // What the test limit kept back is refused as the file system would.
  too_large_ = size > 0;
  if (too_large_) io_note_failure(ERROR_FILE_TOO_LARGE);
  return size == 0;
}

bool File::seek(std::uint64_t offset) {
  if (!is_open()) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(handle_of(handle_), to, nullptr, FILE_BEGIN) != 0;
}

long long File::size() const {
  LARGE_INTEGER size;
  if (!is_open() || !GetFileSizeEx(handle_of(handle_), &size)) return -1;
  return static_cast<long long>(size.QuadPart);
}

bool File::sync() {
  if (!is_open() || io_fault_now(IoFault::kSync)) return false;
  if (FlushFileBuffers(handle_of(handle_)) != 0) return true;
  io_note_failure(static_cast<long>(GetLastError()));
  return false;
}

// Windows starts no write of a range without waiting for it: the file is
// flushed whole.
bool File::write_behind(std::uint64_t, std::uint64_t) { return sync(); }

// No user may flush a whole volume: each file is flushed before its close.
bool File::start_flush() { return sync(); }

bool File::copy_permissions_of(const std::string&) {
  // A new file takes the rights its folder passes on, as the old one did.
  if (io_fault_now(IoFault::kPermissions)) return false;
  return is_open();
}

bool File::close() {
  if (!is_open()) return true;
  HANDLE h = handle_of(std::exchange(handle_, kNoHandle));
  const bool fault = io_fault_now(IoFault::kClose);
  const bool closed = CloseHandle(h) != 0;
  if (!closed) io_note_failure(static_cast<long>(GetLastError()));
  return closed && !fault;
}

namespace {

bool move_file(const std::string& from, const std::string& to, DWORD flags) {
  std::wstring wide_from;
  std::wstring wide_to;
  if (!system_path(from, wide_from) || !system_path(to, wide_to)) return false;
  if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), flags) != 0) return true;
  io_note_failure(static_cast<long>(GetLastError()));
  return false;
}

}  // namespace

bool rename_replace(const std::string& from, const std::string& to) {
  if (io_fault_now(IoFault::kRename)) return false;
  return move_file(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool rename_no_replace(const std::string& from, const std::string& to) {
  if (io_fault_now(IoFault::kRename)) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
  return move_file(from, to, MOVEFILE_WRITE_THROUGH);
}

long long file_size64(const std::string& path) {
  // Through a link to what it names, as reading the file does.
  HANDLE h = open_to_inspect(path, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == nullptr) return -1;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return -1;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) |
                                info.nFileSizeLow);
}

bool remove_file(const std::string& path) {
  std::wstring wide;
  return system_path(path, wide) && DeleteFileW(wide.c_str()) != 0;
}

const char* platform_name_separators() { return ":"; }

EntryKind entry_kind(const std::string& path) {
  std::wstring wide;
  if (!system_path(path, wide)) return EntryKind::kOther;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::kMissing
                                                                          : EntryKind::kOther;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::kDirectory;
  return EntryKind::kFile;
}

bool link_target(const std::string& path, std::string& target) {
  if (entry_kind(path) != EntryKind::kLink) {
    target = path;
    return true;
  }
  // Opening the name without FILE_FLAG_OPEN_REPARSE_POINT follows the whole
  // chain; the handle then tells where it ended.
  HANDLE h = open_to_inspect(path, FILE_ATTRIBUTE_NORMAL);
  if (h == nullptr) return false;
  std::string final_path = final_path_of(h, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(h);
  if (final_path.empty()) return false;
  // The answer comes as \\?\C:\... or \\?\UNC\server\...; the short forms
  // are what the rest of the program uses.
  const std::string unc = "\\\\?\\UNC\\";
  const std::string local = "\\\\?\\";
  if (final_path.compare(0, unc.size(), unc) == 0) {
    final_path = "\\\\" + final_path.substr(unc.size());
  } else if (final_path.compare(0, local.size(), local) == 0) {
    final_path = final_path.substr(local.size());
  }
  target = final_path;
  return true;
}

FileLock::~FileLock() { release(); }

FileLock::Result FileLock::acquire(const std::string& lock_file_path) {
  release();
  // Held open without sharing: every other opening fails with a sharing
  // violation until this handle is closed, which the system does when the
  // process ends however it ends.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  std::wstring wide;
  if (!system_path(lock_file_path, wide)) return Result::kUnavailable;
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, flags,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) {
    // A lock file left in a folder that has become read-only.
    h = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? Result::kBusy : Result::kUnavailable;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(h);
    return Result::kUnavailable;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return Result::kHeld;
}

void FileLock::release() {
  if (handle_ == kNoHandle) return;
  CloseHandle(handle_of(std::exchange(handle_, kNoHandle)));
}

long platform_error_code(IoFailure failure) {
  if (failure == IoFailure::kDiskFull) return ERROR_DISK_FULL;
  return failure == IoFailure::kDeviceError ? ERROR_READ_FAULT : ERROR_ACCESS_DENIED;
}

std::string system_error_text(long code) {
  // The system's message in the user's language, without the line break it ends with.
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return std::string();
  std::string message = from_wide(text, length);
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}
