// Keeping a session that was never saved: the profile of an earlier session
// is still in place when the marker names its archive, as no pack ran since.
#include "main/keep.h"

#include <cstdio>

#include "archive/dirwalk.h"
#include "main/messages.h"
#include "main/runs.h"
#include "main/session.h"
#include "main/state.h"
#include "main/status.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"
#include "support/windows_names.h"

namespace {

constexpr char kReplacement = '_';
constexpr std::size_t kMaxNameBytes = 255;
constexpr unsigned char kDelete = 0x7F;

// Bytes that Windows refuses in a file name, and DEL: a name made on one
// system must open on the other.
bool refused_in_names(unsigned char c) { return c == kDelete || refused_in_windows_names(c); }

// Whether Windows would take a name beginning with `stem` and a blank for a
// device. Without a dot in the stem, the part before the first dot holds the
// added blank and what follows it, and no device name does.
bool names_a_device(const std::string& stem) {
  return stem.find('.') != std::string::npos && is_windows_device_name(stem);
}

// Drops the bytes after `length`, and with them the start of a character
// of several bytes that would be cut in two.
std::string cut_to(std::string text, std::size_t length) {
  if (text.size() <= length) return text;
  std::size_t at = length;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
  text.resize(at);
  return text;
}

// Bounds the search for a free name; a directory holding that many kept
// sessions of one minute is not one this program made.
constexpr int kMaxRecoveryCounter = 1000;

// The name of an archive kept aside: its own name, why and when it was kept
// ("unsaved", "damaged"), then, from 2 on, the counter.
std::string kept_archive_name(const std::string& marker_name, const char* why,
                              const LocalTime& when, int counter) {
  const std::size_t extension = sizeof kArchiveExtension - 1;
  std::string stem = marker_name;
  if (match_nocase(1, last_chars(stem, static_cast<long>(extension)), kArchiveExtension) != 0) {
    stem.resize(stem.size() - extension);
  }
  for (char& c : stem) {
    if (refused_in_names(static_cast<unsigned char>(c))) c = kReplacement;
  }
  if (names_a_device(stem)) stem.insert(stem.begin(), kReplacement);

  // Minutes with a dot: Windows refuses the colon.
  char kept[64];
  std::snprintf(kept, sizeof kept, " (%s %04d-%02d-%02d %02d.%02d)", why, when.year, when.month,
                when.day, when.hour, when.minute);
  std::string ending = kept;
  if (counter > 1) {
    ending += ' ';
    ending += std::to_string(counter);
  }
  ending += kArchiveExtension;
  return cut_to(stem, kMaxNameBytes - ending.size()) + ending;
}

std::string damaged_warning(const std::vector<DamagedRecord>& damaged, const std::string& kept) {
  std::string text =
      "Some files of the profile were damaged in the profile file and have been set up as "
      "they were found:\n";
  std::vector<std::string> first;
  for (std::size_t i = 0; i < damaged.size() && i < kMaxNamedInWarning; ++i) {
    first.push_back(damaged[i].name);
  }
  text += named_list(first, damaged.size());
  if (kept.empty()) {
    return text +
           "\n\nThe damaged profile file could not be kept aside: the next save replaces it.";
  }
  return text + "\n\nThe damaged profile file has been kept as " + kept + " in " +
         display_path(archive_dir()) + ".";
}

}  // namespace

std::string recovery_archive_name(const std::string& marker_name, const LocalTime& when,
                                  int counter) {
  return kept_archive_name(marker_name, "unsaved", when, counter);
}

std::string damaged_archive_name(const std::string& archive_name, const LocalTime& when,
                                 int counter) {
  return kept_archive_name(archive_name, "damaged", when, counter);
}

void set_damaged_archive_aside(const std::string& archive_name,
                               const std::vector<DamagedRecord>& damaged) {
  const LocalTime when = program_hooks().now();
  const std::string archive = join_path(archive_dir(), archive_name);
  std::string kept;
  for (int counter = 1; kept.empty() && counter <= kMaxRecoveryCounter; ++counter) {
    const std::string candidate = damaged_archive_name(archive_name, when, counter);
    // The rename never replaces a file: a taken name moves on to the next.
    if (rename_no_replace(archive, join_path(archive_dir(), candidate))) {
      kept = candidate;
    } else if (entry_kind(join_path(archive_dir(), candidate)) == EntryKind::kMissing) {
      break;  // the rename itself fails; another name would not help
    }
  }
  tk::messageBox(damaged_warning(damaged, kept), "Warning", 0);
}

bool holds_a_file(const std::string& directory) {
  // The walk stops at the first entry that is not a directory.
  return walk_tree(
             directory,
             [](const std::string&, const DirEntry& entry) { return entry.is_directory() ? 0 : 1; },
             true) == 1;
}

bool keep_unsaved_session() {
  const std::string profile = profile_dir();
  if (entry_kind(profile) != EntryKind::kDirectory || !holds_a_file(profile)) return true;
  std::string name;
  if (!unsaved_session_here(name)) return true;

  const LocalTime when = program_hooks().now();
  std::string kept;
  for (int counter = 1; kept.empty() && counter <= kMaxRecoveryCounter; ++counter) {
    const std::string candidate = recovery_archive_name(name, when, counter);
    if (entry_kind(join_path(archive_dir(), candidate)) == EntryKind::kMissing) kept = candidate;
  }
  const std::string archive = join_path(archive_dir(), kept.empty() ? name : kept);
  show_status(kActionPack);
  PackOptions options = profile_pack_options();
  options.replace_existing = false;
  PackReport report;
  forget_io_failure();
  const bool packed = !kept.empty() && kompres(profile, archive, options, report) >= 0;
  flush_progress();
  if (!packed) {
    // The unpack would overwrite the only copy of that session.
    show_pack_failure(archive, report);
    return false;
  }
  note_kept(report);
  // The chooser comes next, on its own.
  tk::setVisibility(program().ids.status, 0);
  tk::messageBox("The last session with " + name + " was never saved.\n\nIt has been kept as " +
                     kept + " in " + display_path(archive_dir()) + ".",
                 "Warning", 0);
  show_unread_warning(report);
  return true;
}
