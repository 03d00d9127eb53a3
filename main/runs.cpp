// The unpack and pack runs and their progress routines. The in-use marker in
// the archive directory ties them together: the unpack run writes the chosen
// archive's name into it, and the pack run learns from it alone where the
// profile goes back to.
#include "archive/reader.h"
#include "archive/writer.h"
#include "main/program.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr char kActionUnpack[] = "Preparing your dinner...";
constexpr char kActionPack[] = "Keeping your memories...";

std::string marker_path() { return join_path(archive_dir(), kMarkerName); }

void show_error(const std::string& text) { tk::messageBox(text, "Error", 0); }

void show_pack_failure(const std::string& archive) {
  show_error("Failed to save profile.\n\nProfile dir = " + display_path(home_dir()) +
             "\nProfile file = " + display_path(archive));
}

enum class Marker { kAbsent, kNamed, kRefused };

// Reads the marker: only a plain file (never a link) whose whole content is a
// bare file name names an archive. A stick pulled while it was written leaves
// NUL bytes or nothing; a crafted one could name a path anywhere.
Marker read_marker(std::string& name) {
  name.clear();
  const std::string path = marker_path();
  if (entry_kind(path) == EntryKind::kMissing) return Marker::kAbsent;
  File file = File::open(path, OpenMode::kReadFileNoFollow);
  if (!file.is_open()) return Marker::kRefused;
  // One byte more than a marker may hold tells a longer one apart.
  std::optional<std::string> content = read_up_to(file, kMaxMarkerBytes + 1);
  if (!content) return Marker::kRefused;
  name = *content;
  if (name.size() > kMaxMarkerBytes || !is_bare_file_name(name)) return Marker::kRefused;
  // The program's own files in the archive directory are never an archive:
  // the marker would be deleted right after the archive was written over it,
  // and a temporary's name is cleared away by the next pack.
  const std::string lowered = lower_ascii(name);
  if (lowered == kMarkerName || lowered == kLockName || is_temporary_name(lowered)) {
    return Marker::kRefused;
  }
  return Marker::kNamed;
}

std::string unread_warning(const PackReport& report) {
  std::string text = "Some files of the profile could not be read and were not saved:\n";
  const std::size_t count = report.unread.size();
  for (std::size_t i = 0; i < count && i < kMaxNamedUnread; ++i) text += "\n" + report.unread[i];
  if (count > kMaxNamedUnread) text += "\nand " + std::to_string(count - kMaxNamedUnread) + " more";
  return text +
         "\n\nWhere the profile file held an earlier copy of one of these files, that copy "
         "was kept.";
}

// Creates the marker holding the chosen name; false when it could not be
// written whole.
bool write_marker(const std::string& name) {
  File marker = File::open(marker_path(), OpenMode::kWrite);
  if (marker.is_open()) {
    bool written = marker.write(name.data(), name.size());
    bool closed = marker.close();
    if (written && closed) return true;
  }
  // A marker cut short, or an older one left from an earlier unpack, would
  // name another archive, and the next pack run would write this profile
  // there; better no marker at all.
  delete_file(marker_path());
  return false;
}

}  // namespace

int cb_dekompres(const std::string& name, long long position) {
  show_progress(name, position, program().archive_size);
  return 0;
}

int cb_kompres(const std::string& name, long index, long count) {
  show_progress(name, index, count);
  return 0;
}

void unpack_run() {
  ProgramState& p = program();
  show_status(kActionUnpack);
  if (!write_marker(p.chosen_name)) {
    show_error("Cannot write to " + display_path(archive_dir()) +
               "\n\nIlvar settings will not be saved.");
  }
  const std::string archive = join_path(archive_dir(), p.chosen_name);
  long long size = file_size(archive);
  if (size <= 0) return;  // a new profile: nothing to unpack
  p.archive_size = size;
  if (dekompres(profile_dir(), archive, cb_dekompres) < 0) {
    show_error("Failed to set up profile.\n\nProfile dir = " + display_path(home_dir()) +
               "\nProfile file = " + display_path(archive));
    // The profile directory does not hold this archive's profile: a marker
    // left behind would let the next pack run overwrite the archive with it.
    delete_file(marker_path());
  }
}

bool directory_within(const std::string& inner, const std::string& outer) {
  // Upwards from inner through "..", which the system resolves, until the
  // root, whose ".." is itself. The depth limit only guards against a path
  // that never reaches a root.
  constexpr int kMaxDepth = 256;
  std::string at = inner;
  for (int depth = 0; depth < kMaxDepth && same_directory(at, at); ++depth) {
    if (same_directory(at, outer)) return true;
    const std::string up = at + "\\..";
    if (same_directory(up, at)) return false;
    at = up;
  }
  return false;
}

PackOutcome pack_run() {
  std::string name;
  const Marker marker = read_marker(name);
  if (marker == Marker::kAbsent) return PackOutcome::kNothingInUse;  // no profile in use
  const std::string archive = join_path(archive_dir(), name);
  // Every failure leaves the marker where it is: the profile directory then
  // holds the only copy of this session, and the next pack tries again.
  if (marker == Marker::kRefused) {
    show_pack_failure(archive);
    return PackOutcome::kNotSaved;
  }
  show_status(kActionPack);
  PackOptions options{cb_kompres, nullptr};
  // An archive directory kept inside the profile would be packed into itself.
  if (directory_within(archive_dir(), profile_dir())) {
    options.skip_directory = [](const std::string& path) {
      return same_directory(path, archive_dir());
    };
  }
  PackReport report;
  if (kompres(profile_dir(), archive, options, report) < 0) {
    show_pack_failure(archive);
    return PackOutcome::kNotSaved;
  }
  delete_file(marker_path());
  if (!report.unread.empty()) tk::messageBox(unread_warning(report), "Warning", 0);
  return PackOutcome::kSaved;
}
