// In-memory file seam for the fuzz target: the File class, the confined
// tree and the path queries, over a hash map of paths to bytes. Directories
// exist only as the paths of the files put below them; nothing is a link, and
// no two names stand for one file. Hashed lookups rather than ordered ones:
// under the fuzzer every failed byte comparison of two paths costs a hook
// call, and an ordered map compares a path with a dozen others per lookup.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "support/confined.h"
#include "support/file_io.h"
#include "tests/fuzz/memory_files.h"

namespace {

struct Handle {
  std::string path;
  std::size_t position = 0;
  bool in_use = false;
};

std::unordered_map<std::string, std::string> g_files;
// Every path that has had a file below it.
std::unordered_set<std::string> g_directories;
std::vector<Handle> g_handles;

// The file at the path, empty when new; its directories come into being.
std::string& file_at(const std::string& path) {
  for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
    g_directories.insert(path.substr(0, at));
  }
  return g_files[path];
}

std::intptr_t open_handle(const std::string& path) {
  std::size_t slot = 0;
  while (slot < g_handles.size() && g_handles[slot].in_use) ++slot;
  if (slot == g_handles.size()) g_handles.emplace_back();
  g_handles[slot] = Handle{path, 0, true};
  return static_cast<std::intptr_t>(slot);
}

Handle& handle_at(std::intptr_t handle) { return g_handles[static_cast<std::size_t>(handle)]; }

bool is_directory(const std::string& path) { return g_directories.count(path) != 0; }

// The longest path and component the fuzz target's system takes, as Linux.
constexpr std::size_t kMaxPath = 4096;
constexpr std::size_t kMaxComponent = 255;

}  // namespace

namespace memory_files {

void reset() {
  g_files.clear();
  g_directories.clear();
  g_handles.clear();
  g_handles.shrink_to_fit();
}

void put(const std::string& path, const std::string& bytes) { file_at(path) = bytes; }

const std::unordered_map<std::string, std::string>& files() { return g_files; }

}  // namespace memory_files

File File::open(const std::string& path, OpenMode mode) {
  File file;
  if (io_fault_now(IoFault::kOpen)) return file;
  const auto found = g_files.find(path);
  switch (mode) {
    case OpenMode::kRead:
    case OpenMode::kReadWriteExisting:
    case OpenMode::kReadFileNoFollow:
      if (found == g_files.end()) return file;
      break;
    case OpenMode::kWrite:
      file_at(path).clear();
      break;
    case OpenMode::kCreateNew:
      if (found != g_files.end() || is_directory(path)) return file;
      file_at(path);
      break;
  }
  file.handle_ = open_handle(path);
  return file;
}

long long File::read(void* buffer, std::size_t size) {
  if (!is_open() || io_fault_now(IoFault::kRead)) return -1;
  Handle& h = handle_at(handle_);
  const std::string& data = g_files[h.path];
  if (h.position >= data.size()) return 0;
  const std::size_t got = std::min(size, data.size() - h.position);
  data.copy(static_cast<char*>(buffer), got, h.position);
  h.position += got;
  return static_cast<long long>(got);
}

bool File::write(const void* data, std::size_t size) {
  if (!is_open()) return false;
  Handle& h = handle_at(handle_);
  std::string& bytes = g_files[h.path];
  const bool fault = io_fault_now(IoFault::kWrite);
  if (fault) size /= 2;  // a short write, as when the disk fills
  if (bytes.size() < h.position + size) bytes.resize(h.position + size);
  bytes.replace(h.position, size, static_cast<const char*>(data), size);
  h.position += size;
  return !fault;
}

bool File::seek(std::uint64_t offset) {
  if (!is_open()) return false;
  handle_at(handle_).position = static_cast<std::size_t>(offset);
  return true;
}

long long File::size() const {
  if (!is_open()) return -1;
  return static_cast<long long>(g_files[handle_at(handle_).path].size());
}

bool File::sync() { return is_open() && !io_fault_now(IoFault::kSync); }

bool File::write_behind(std::uint64_t, std::uint64_t) { return sync(); }

bool File::start_flush() { return sync(); }

bool File::copy_permissions_of(const std::string& /*like*/) { return is_open(); }

bool File::close() {
  if (!is_open()) return true;
  handle_at(handle_).in_use = false;
  handle_ = kNoHandle;
  return !io_fault_now(IoFault::kClose);
}

bool rename_replace(const std::string& from, const std::string& to) {
  const auto found = g_files.find(from);
  if (found == g_files.end() || io_fault_now(IoFault::kRename)) return false;
  std::string bytes = std::move(found->second);
  g_files.erase(found);
  file_at(to) = std::move(bytes);
  return true;
}

bool rename_no_replace(const std::string& from, const std::string& to) {
  if (g_files.count(to) != 0 || is_directory(to)) return false;
  return rename_replace(from, to);
}

bool remove_file(const std::string& path) { return g_files.erase(path) != 0; }

const char* platform_name_separators() { return ""; }

// No system stands behind these files: a failure's code is only a number.
long platform_error_code(IoFailure failure) { return static_cast<long>(failure) + 1; }

std::string system_error_text(long code) { return "in-memory failure " + std::to_string(code); }

EntryKind entry_kind(const std::string& path) {
  if (g_files.count(path) != 0) return EntryKind::kFile;
  return is_directory(path) ? EntryKind::kDirectory : EntryKind::kMissing;
}

bool link_target(const std::string& path, std::string& target) {
  target = path;
  return true;
}

FileLock::~FileLock() { release(); }

FileLock::Result FileLock::acquire(const std::string& /*lock_file_path*/) {
  return FileLock::Result::kUnavailable;
}

void FileLock::release() { handle_ = kNoHandle; }

struct ConfinedTree::State {
  std::string base;
  std::string guarded;
};

ConfinedTree::ConfinedTree(const std::string& base, const std::string& guarded, bool /*make_base*/)
    : state_(std::make_unique<State>(State{base, guarded})) {}

ConfinedTree::~ConfinedTree() = default;

// Memory holds whatever was written as it is.
bool ConfinedTree::sync() { return !io_fault_now(IoFault::kSyncDirectory); }

bool ConfinedTree::split_fitting(const std::string& relative, std::string& dir_part,
                                 std::string& name) const {
  return state_->base.size() + 1 + relative.size() < kMaxPath &&
         split_target(relative, kMaxComponent, dir_part, name);
}

CreateResult ConfinedTree::create_checked(const std::string& relative,
                                          const std::string& /*dir_part*/,
                                          const std::string& /*name*/, File& out, bool /*again*/) {
  const std::string path = state_->base + "\\" + relative;
  const std::string& guarded = state_->guarded;
  if (!guarded.empty() && path.compare(0, guarded.size() + 1, guarded + "\\") == 0) {
    return CreateResult::kRefused;
  }
  // A name taken by a directory cannot be a file, nor can a file stand
  // where a directory is needed (a.txt, then a.txt\b).
  if (is_directory(path)) return CreateResult::kFailed;
  for (std::size_t at = path.find('\\', state_->base.size() + 1); at != std::string::npos;
       at = path.find('\\', at + 1)) {
    if (g_files.count(path.substr(0, at)) != 0) return CreateResult::kFailed;
  }
  file_at(path).clear();
  out = File(open_handle(path));
  return CreateResult::kOpened;
}

long long file_size64(const std::string& path) {
  const auto found = g_files.find(path);
  if (found != g_files.end()) return static_cast<long long>(found->second.size());
  return is_directory(path) ? 0 : -1;
}
