// Windows file seam: CreateFileA/ReadFile/WriteFile/FlushFileBuffers/MoveFileExA.
#include <windows.h>

#include <utility>

#include "support/file_io.h"

namespace {

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile and WriteFile take 32-bit sizes; larger blocks go in pieces.
constexpr std::size_t kMaxChunk = 1u << 30;

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
  }
  // An in-place overwrite opens the name itself, not what a link or junction
  // points at, and refuses it when it is such a reparse point.
  const DWORD flags = mode == OpenMode::kReadWriteExisting
                          ? FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT
                          : FILE_ATTRIBUTE_NORMAL;
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h != INVALID_HANDLE_VALUE && mode == OpenMode::kReadWriteExisting) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      CloseHandle(h);
      h = INVALID_HANDLE_VALUE;
    }
  }
  if (h != INVALID_HANDLE_VALUE) file.handle_ = reinterpret_cast<std::intptr_t>(h);
  return file;
}

long long File::read(void* buffer, std::size_t size) {
  if (!is_open() || io_fault_now(IoFault::kRead)) return -1;
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
  if (!ReadFile(handle_of(handle_), buffer, want, &got, nullptr)) return -1;
  return static_cast<long long>(got);
}

bool File::write(const void* data, std::size_t size) {
  if (!is_open()) return false;
  const char* bytes = static_cast<const char*>(data);
  if (io_fault_now(IoFault::kWrite)) {
    // A short write: part of the block reaches the file, as when the disk fills.
    DWORD done = 0;
    const std::size_t part = size / 2 < kMaxChunk ? size / 2 : kMaxChunk;
    if (part > 0) WriteFile(handle_of(handle_), bytes, static_cast<DWORD>(part), &done, nullptr);
    return false;
  }
  while (size > 0) {
    DWORD done = 0;
    const DWORD want = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
    if (!WriteFile(handle_of(handle_), bytes, want, &done, nullptr) || done == 0) return false;
    bytes += done;
    size -= done;
  }
  return true;
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
  return FlushFileBuffers(handle_of(handle_)) != 0;
}

bool File::close() {
  if (!is_open()) return true;
  HANDLE h = handle_of(std::exchange(handle_, kNoHandle));
  const bool fault = io_fault_now(IoFault::kClose);
  const bool closed = CloseHandle(h) != 0;
  return closed && !fault;
}

bool rename_replace(const std::string& from, const std::string& to) {
  if (io_fault_now(IoFault::kRename)) return false;
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
