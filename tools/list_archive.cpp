// list_archive ARCHIVE SCRATCH_DIR: lists a profile archive as the program
// itself reads it. The archive is unpacked below SCRATCH_DIR (SCRATCH_DIR\profile
// standing in for a home's profile) by the program's own reader, so that what
// is listed is what an "ekstrak" would restore: each record's stored name and
// stored data length, in archive order, then the settings file's text as it is
// stored (the reader puts the home's path in place of the placeholder; putting
// the placeholder back gives the stored text).
//
// list_archive --check ARCHIVE: reads the whole archive, writing nothing, and
// names each record whose data do not match their checksum. Exit code 0 when
// the archive was read to its end with no damaged record, 1 when it holds a
// damaged record or is cut short or out of order, 2 for a wrong call, 3 when
// it cannot be opened or is no profile archive.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

int check(const std::string& archive) {
  std::vector<DamagedRecord> damaged;
  const UnpackOutcome outcome = check_archive(archive, damaged);
  if (outcome == UnpackOutcome::kCannotOpen) {
    std::fprintf(stderr, "list_archive: cannot open %s\n", archive.c_str());
    return 3;
  }
  if (outcome == UnpackOutcome::kNotAnArchive) {
    std::fprintf(stderr, "list_archive: %s is no profile archive\n", archive.c_str());
    return 3;
  }
  for (const DamagedRecord& record : damaged) {
    std::printf("damaged: %s (data at byte %s)\n", record.name.c_str(),
                std::to_string(record.data_position).c_str());
  }
  if (outcome == UnpackOutcome::kIncomplete) {
    std::printf("%s is cut short or damaged in its layout: an unpack would be incomplete\n",
                archive.c_str());
  }
  if (!damaged.empty() || outcome != UnpackOutcome::kComplete) return 1;
  std::printf("%s: every record is whole\n", archive.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--check") return check(argv[2]);
  if (argc != 3) {
    std::fputs("usage: list_archive ARCHIVE SCRATCH_DIR\n       list_archive --check ARCHIVE\n",
               stderr);
    return 2;
  }
  const std::string archive = argv[1];
  const std::string home = argv[2];
  const std::string root = join_path(home, "profile");
  std::vector<std::string> names;
  const int opened = dekompres(root, archive, [&](const std::string& name, long long) {
    names.push_back(name);
    return 0;
  });
  if (opened < 0) {
    std::fprintf(stderr, "list_archive: cannot open %s\n", archive.c_str());
    return 1;
  }
  std::string settings;
  bool has_settings = false;
  for (const std::string& name : names) {
    std::string data = read_file(join_path(root, name)).value_or(std::string());
    if (is_settings_file(name)) {
      data = substitute_on_write(data, home);
      settings = data;
      has_settings = true;
    }
    std::printf("  %-28s %6s bytes\n", name.c_str(), std::to_string(data.size()).c_str());
  }
  std::printf("  (%s bytes in all)\n", std::to_string(file_size(archive)).c_str());
  if (has_settings) {
    std::printf("\n== the settings file as stored: the home directory became %s\n",
                kRootPlaceholder);
    while (!settings.empty() && settings.back() == '\n') settings.pop_back();
    std::size_t start = 0;
    while (start <= settings.size()) {
      std::size_t end = settings.find('\n', start);
      if (end == std::string::npos) end = settings.size();
      std::printf("  %s\n", settings.substr(start, end - start).c_str());
      start = end + 1;
    }
  }
  return 0;
}
