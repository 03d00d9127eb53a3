// The pack: collects the profile directory's files, drops the excluded
// ones and writes the archive, with the earlier copies it keeps, through a
// temporary that replaces the old archive only once it is complete and on
// the disk.
#include "archive/writer.h"

#include <functional>
#include <utility>

#include "archive/archive_output.h"
#include "archive/dirwalk.h"
#include "archive/earlier_copies.h"
#include "archive/format.h"
#include "archive/pack_list.h"
#include "archive/reader.h"
#include "archive/record_writer.h"
#include "archive/safe_replace.h"
#include "support/confined.h"
#include "support/dir_identity.h"
#include "support/fs.h"
#include "support/path_list.h"
#include "support/text.h"

namespace {

struct WriteCounts {
  long records = 0;
};

// Which records of the replaced archive the pack keeps although it did not
// meet their files: records under directories it could not list, and
// records this computer cannot hold.
struct Keeping {
  // What the walk could not list or left out.
  PackScope scope;
  std::function<bool(const std::string& stored_name)> keep;
  // Every record of the replaced archive is known to be a file of the profile.
  bool all_placed = false;
};

// Magic, one record per listed file (or its earlier copy), trailer. False
// when the archive could not be written.
bool write_archive(const std::string& root, ArchiveOutput& archive, const PackProgress& progress,
                   OldArchive& old, const Keeping& keeping, PackReport& report,
                   WriteCounts& counts) {
  archive.write(kMagic, kTagSize);
  const std::string base_path = parent_path(root);
  // The end of the bytes whose write to the disk has been started.
  std::uint64_t started = 0;
  const long count = static_cast<long>(pack_list().size());
  PathList::Cursor cursor(pack_list());
  std::string entry;
  for (long i = 0; i < count && cursor.next(entry); ++i) {
    const std::string full_path = join_path(root, entry);
    const std::string stored_name = replace_all(entry, "\\", "/");
    // Never through a link: a link to a file outside the profile would put
    // that file into the archive.
    File input = File::open(full_path, OpenMode::kReadFileNoFollow);
    bool unreadable = false;
    if (input.is_open()) {
      const RecordResult result = write_record_listed(input, archive, stored_name, base_path,
                                                      [&input] { return input.size(); });
      input.close();
      if (result == RecordResult::kArchiveFailed) return false;
      if (result == RecordResult::kStored) ++counts.records;
      unreadable = result == RecordResult::kInputFailed;
    } else {
      // A file removed since the walk is gone by the user's or the browser's
      // will, and a link, pipe, socket or device holds no data of the
      // profile; any other file that does not open is kept as it was stored.
      const EntryKind kind = entry_kind(full_path);
      unreadable =
          kind != EntryKind::kMissing && kind != EntryKind::kLink && kind != EntryKind::kSpecial;
    }
    // A profile file that would not open or read is dealt with here; should
    // the pack fail later, its reason is the archive's, not this file's.
    if (unreadable || !input.is_open()) forget_io_failure();
    if (unreadable) {
      report.unread.push_back(stored_name);
      if (old.copy_record(stored_name, archive)) {
        ++report.kept;
        ++counts.records;
      }
      if (archive.failed()) return false;
    }
    if (archive.position() - started >= kSyncStep) {
      if (!archive.write_behind(started)) return false;
      started = archive.position();
    }
    if (progress) progress(stored_name, i + 1, count);
  }
  for (const std::string& directory : keeping.scope.unlisted) {
    report.unread.push_back(replace_all(directory, "\\", "/"));
  }
  // The old archive is read only now that every file has been opened (and
  // only when it is there): the pack's look at the profile comes first. An
  // archive whose every record is known to be a file of the profile holds
  // nothing more to keep unless a directory could not be listed, and is not
  // read at all: on a profile of many small files that read is a large part
  // of the pack's time.
  if ((!keeping.all_placed || !keeping.scope.unlisted.empty()) && old.holds_records()) {
    PathList::Cursor handled(pack_list());
    while (handled.next(entry)) old.handled(replace_all(entry, "\\", "/"));
    long carried = 0;
    if (!old.copy_unhandled(keeping.keep, archive, carried)) return false;
    counts.records += carried;
    report.carried = static_cast<std::size_t>(carried);
  }
  archive.write(kTrailer, kTagSize);
  return !archive.failed();
}

bool is_real_directory(std::string root) {
  // A trailing separator would make the system look through a link.
  while (root.size() > 1 && root.back() == '\\') root.pop_back();
  return entry_kind(root) == EntryKind::kDirectory;
}

}  // namespace

int kompres(const std::string& root, const std::string& archive_path,
            const PackProgress& progress) {
  PackReport report;
  return kompres(root, archive_path, PackOptions{progress, nullptr}, report);
}

int kompres(const std::string& root, const std::string& archive_path, const PackOptions& options,
            PackReport& report) {
  pack_list().clear();
  report = PackReport{};
  // An unmounted drive or a pulled stick leaves a dangling link, a loop or
  // a plain file where the profile was: packing that would put an empty
  // archive in place of the stored profile.
  if (!is_real_directory(root)) return -1;

  Keeping keeping;
  if (!collect_pack_list(root, options.skip_directory, keeping.scope)) return -1;

  // An archive that is a link (to a file on another drive, say) is replaced
  // where the link points: the link stays, its target gets the new profile.
  std::string target = archive_path;
  if (!options.replace_existing) {
    if (entry_kind(archive_path) != EntryKind::kMissing) return -1;
  } else if (!link_target(archive_path, target)) {
    return -1;
  } else if (entry_kind(archive_path) == EntryKind::kLink &&
             entry_kind(target) == EntryKind::kMissing) {
    // A link whose target is missing (a stick that is not mounted) never
    // gets a new file made through it, wherever it points.
    return -1;
  }
  // The old archive is replaced only by a complete new one that is on the
  // disk; until the rename it stays as it was.
  std::string temporary;
  File file = begin_replacement(target, temporary);
  if (!file.is_open()) return -1;
  OldArchive old(target);
  keeping.all_placed =
      options.placed_archive_size >= 0 && file_size64(target) == options.placed_archive_size;
  const RecordPlacement placement(root);
  keeping.keep = [&](const std::string& stored_name) {
    const std::string path = replace_all(stored_name, "/", "\\");
    for (const std::string& prefix : keeping.scope.unlisted) {
      if (path.compare(0, prefix.size(), prefix) == 0) return true;
    }
    if (keeping.scope.leaves_out(path)) return false;
    switch (placement.fit(stored_name)) {
      case NameFit::kUnsafe:
        return false;
      case NameFit::kNotHere:
        // The unpack could not put it here; it stays for a computer that can.
        return true;
      case NameFit::kFits:
        break;
    }
    // A name this system takes for another record's file (letter case, a
    // short name): the unpack put only one of them here. A file simply gone
    // is gone by the user's will; one that the walk met under another
    // spelling of this very name, with no record of its own, was unpacked
    // through that spelling and has been stored anew.
    const std::string full_path = join_path(root, path);
    if (entry_kind(full_path) != EntryKind::kFile) return false;
    return old.shares_file(stored_name, [&](const std::string& other) {
      return same_file(full_path, join_path(root, replace_all(other, "/", "\\")));
    });
  };
  WriteCounts counts;
  bool ok = false;
  {
    ArchiveOutput archive(file);
    ok = write_archive(root, archive, options.progress, old, keeping, report, counts) &&
         archive.flush();
  }
  // Nothing stored at all never replaces an archive that holds files.
  if (ok && counts.records == 0 && old.holds_records()) ok = false;
  old.close();
  return finish_replacement(file, temporary, target, ok, options.replace_existing, report.too_large)
             ? 1
             : -1;
}
