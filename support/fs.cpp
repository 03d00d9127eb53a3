// File-system operations: sizes and existence from the directory listing,
// moves, deletions and directory chains through the routine table.
#include "support/fs.h"

#include "support/dir.h"
#include "support/dll.h"
#include "support/file_io.h"
#include "support/text.h"

namespace {

std::string backslashed(const std::string& path) { return replace_all(path, "/", "\\"); }

}  // namespace

long long file_size(const std::string& path) {
  // Only the first entry counts: a directory's own "." entry, or the file.
  // Its time is not needed, and nothing is collected.
  long long size = -1;
  list_dir_each(
      path,
      [&size](const DirEntry& entry) {
        size = entry.size;
        return false;
      },
      EntryDetail::kNoTime);
  return size;
}

std::optional<std::string> read_file(const std::string& path) {
  const long long size = file_size(path);
  if (size == 0) return std::string();
  if (size < 0) return std::nullopt;
  File file = File::open(path, OpenMode::kRead);
  if (!file.is_open()) return std::nullopt;
  // A file that shrank since it was listed gives what it now holds, never
  // bytes that were not read.
  return read_up_to(file, static_cast<std::size_t>(size));
}

std::optional<std::string> read_up_to(File& file, std::size_t limit) {
  std::string bytes(limit, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const long long got = file.read(bytes.data() + filled, bytes.size() - filled);
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

int file_exists(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return 0;
  const Listing listing = list_dir(path, 1);
  if (!listing.ok || listing.entries.empty()) return 0;
  return listing.entries.front().is_directory() ? 0 : 1;
}

int move_file(const std::string& source, const std::string& destination) {
  return dllFunc("MoveFile",
                 {Value::text(backslashed(source)), Value::text(backslashed(destination))});
}

int delete_file(const std::string& path) {
  return dllFunc("DeleteFile", {Value::text(backslashed(path))});
}

int make_dirs(const std::string& path) {
  const std::string target = backslashed(path);
  if (file_size(target) == 0) return 1;
  std::vector<long> cuts = find_all('\\', target);
  const long end = static_cast<long>(target.size()) + 1;
  if (cuts.empty() || cuts.back() != end - 1) cuts.push_back(end);
  int result = 0;
  // Prefixes that exist already (or a bare drive, or the empty prefix before
  // a leading backslash) fail and the walk goes on; only the last call counts.
  for (const long cut : cuts) {
    result = dllFunc("CreateDirectory", {Value::text(head(target, cut - 1)), Value::num(0)});
  }
  return result;
}
