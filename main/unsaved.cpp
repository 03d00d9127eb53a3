// The record of files the last pack could not save.
#include "main/unsaved.h"

#include "main/state.h"
#include "support/confined.h"
#include "support/file_io.h"
#include "support/text.h"

namespace {

constexpr char kRecordHeading[] =
    "The last pack could not save these files of the profile, and no archive holds them:\n";

std::string record_path() { return join_path(home_dir(), kUnsavedRecordName); }

}  // namespace

bool note_unsaved_files(const PackReport& report) {
  if (report.unread.size() <= report.kept) {
    remove_file(record_path());
    return true;
  }
  std::string text = kRecordHeading;
  for (const std::string& name : report.unread) text += name + "\n";
  // Created in the home itself, never through a link of that name.
  ConfinedTree home(home_dir(), std::string(), false);
  File record;
  if (home.create_file(kUnsavedRecordName, record) != CreateResult::kOpened) return false;
  bool ok = record.write(text.data(), text.size()) && record.sync();
  ok = record.close() && ok;
  return ok;
}

bool unsaved_files_noted() { return entry_kind(record_path()) != EntryKind::kMissing; }

void forget_unsaved_files() { remove_file(record_path()); }
