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
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "support/command_line.h"
#include "support/console.h"
#include "support/fs.h"
#include "support/text.h"
#include "support/utf8.h"

namespace {

// Through the program's console calls: names are UTF-8, and a Windows console
// shows them only through its wide call.
void say(const std::string& text) { console_write_out(text + "\n"); }
void complain(const std::string& text) { console_write_err("list_archive: " + text + "\n"); }

// The name padded to a column of `width` characters.
std::string padded(const std::string& name, std::size_t width) {
  const std::size_t length = utf16_length(name);
  return length >= width ? name : name + std::string(width - length, ' ');
}

int check(const std::string& archive) {
  std::vector<DamagedRecord> damaged;
  const UnpackOutcome outcome = check_archive(archive, damaged);
  if (outcome == UnpackOutcome::kCannotOpen) {
    complain("cannot open " + archive);
    return 3;
  }
  if (outcome == UnpackOutcome::kNotAnArchive) {
    complain(archive + " is no profile archive");
    return 3;
  }
  for (const DamagedRecord& record : damaged) {
    say("damaged: " + record.name + " (data at byte " + std::to_string(record.data_position) + ")");
  }
  if (outcome == UnpackOutcome::kIncomplete) {
    say(archive + " is cut short or damaged in its layout: an unpack would be incomplete");
  }
  if (!damaged.empty() || outcome != UnpackOutcome::kComplete) return 1;
  say(archive + ": every record is whole");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // In UTF-8 on every system, like the program's own arguments.
  const std::vector<std::string> args = program_arguments(argc, argv);
  if (args.size() == 3 && args[1] == "--check") return check(args[2]);
  if (args.size() != 3) {
    console_write_err(
        "usage: list_archive ARCHIVE SCRATCH_DIR\n       list_archive --check ARCHIVE\n");
    return 2;
  }
  const std::string archive = args[1];
  const std::string home = args[2];
  const std::string root = join_path(home, "profile");
  std::vector<std::string> names;
  const int opened = dekompres(root, archive, [&](const std::string& name, long long) {
    names.push_back(name);
    return 0;
  });
  if (opened < 0) {
    complain("cannot open " + archive);
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
    const std::string size = std::to_string(data.size());
    say("  " + padded(name, 28) + " " + std::string(size.size() < 6 ? 6 - size.size() : 0, ' ') +
        size + " bytes");
  }
  say("  (" + std::to_string(file_size(archive)) + " bytes in all)");
  if (has_settings) {
    say(std::string("\n== the settings file as stored: the home directory became ") +
        kRootPlaceholder);
    while (!settings.empty() && settings.back() == '\n') settings.pop_back();
    std::size_t start = 0;
    while (start <= settings.size()) {
      std::size_t end = settings.find('\n', start);
      if (end == std::string::npos) end = settings.size();
      say("  " + settings.substr(start, end - start));
      start = end + 1;
    }
  }
  return 0;
}
