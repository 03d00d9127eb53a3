// The program's own small files, written whole or not at all.
#include "main/small_file.h"

#include "support/confined.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

bool write_small_file(const std::string& directory, const char* name, const std::string& bytes,
                      bool make_directory) {
  ConfinedTree tree(directory, std::string(), make_directory);
  File file;
  if (tree.create_file(name, file) != CreateResult::kOpened) return false;
  bool ok = file.write(bytes.data(), bytes.size()) && file.sync();
  ok = file.close() && ok;
  if (!ok) remove_file(join_path(directory, name));
  return ok;
}

std::optional<std::string> read_small_file(const std::string& path, std::size_t limit) {
  File file = File::open(path, OpenMode::kReadFileNoFollow);
  if (!file.is_open()) return std::nullopt;
  return read_up_to(file, limit);
}
