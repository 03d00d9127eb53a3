// The unpack and pack runs and their progress routines. The in-use marker in
// the archive directory ties them together: the unpack run writes the chosen
// archive's name into it, and the pack run learns from it alone where the
// profile goes back to.
#include "archive/reader.h"
#include "archive/writer.h"
#include "main/program.h"
#include "support/confined.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr char kActionUnpack[] = "Preparing your dinner...";
constexpr char kActionPack[] = "Keeping your memories...";

std::string marker_path() { return join_path(archive_dir(), kMarkerName); }

void show_error(const std::string& text) { tk::messageBox(text, "Error", 0); }

// Creates the marker empty, at the start of the unpack. It gets the chosen
// name only once the unpack is complete: a run that is killed, or fails, half
// way leaves no marker naming an archive whose profile is not all here, so
// no pack run overwrites that archive with a part of it. The marker is never
// written through a link (one to the archive would empty it).
File create_marker() {
  ConfinedTree directory(archive_dir(), std::string(), false);
  File marker;
  if (directory.create_file(kMarkerName, marker) != CreateResult::kOpened) {
    // An older marker left from an earlier unpack would name another archive,
    // and the next pack run would write this profile there; better none.
    delete_file(marker_path());
  }
  return marker;
}

// Writes the chosen name into the empty marker and makes it durable; false,
// with no marker left, when that cannot be done whole.
bool name_marker(File& marker, const std::string& name) {
  bool ok = marker.write(name.data(), name.size()) && marker.sync();
  ok = marker.close() && ok;
  if (ok) return true;
  // Never a name cut short: gone, or at least empty.
  if (delete_file(marker_path()) == 0) {
    create_marker().close();
  }
  return false;
}

void show_marker_error() {
  show_error("Cannot write to " + display_path(archive_dir()) +
             "\n\nIlvar settings will not be saved.");
}

}  // namespace

int cb_dekompres(const std::string& name, long long position) {
  const long long size = program().archive_size;
  // The reader never passes the archive's length, but the length it took
  // may differ from the one taken here if the file changed in between.
  show_progress(name, position < size ? position : size, size);
  return 0;
}

int cb_kompres(const std::string& name, long index, long count) {
  show_progress(name, index, count);
  return 0;
}

void unpack_run() {
  ProgramState& p = program();
  show_status(kActionUnpack);
  File marker = create_marker();
  if (!marker.is_open()) show_marker_error();
  const std::string archive = join_path(archive_dir(), p.chosen_name);
  // All 64 bits: an archive of a multiple of 4 GiB is not empty.
  const long long size = file_size64(archive);
  bool complete = true;  // a new profile: nothing to unpack
  if (size > 0) {
    p.archive_size = size;
    if (dekompres(profile_dir(), archive, cb_dekompres) < 0) {
      complete = false;
      show_error("Failed to set up profile.\n\nProfile dir = " + display_path(home_dir()) +
                 "\nProfile file = " + display_path(archive));
    }
  }
  if (!marker.is_open()) return;
  if (!complete) {
    // The profile directory does not hold this archive's profile: a marker
    // naming it would let the next pack run overwrite the archive with it.
    marker.close();
    delete_file(marker_path());
  } else if (!name_marker(marker, p.chosen_name)) {
    show_marker_error();
  }
}

void pack_run() {
  std::optional<std::string> name = read_file(marker_path());
  if (!name) return;  // no profile in use
  const std::string archive = join_path(archive_dir(), *name);
  show_status(kActionPack);
  if (kompres(profile_dir(), archive, cb_kompres) < 0) {
    show_error("Failed to save profile.\n\nProfile dir = " + display_path(home_dir()) +
               "\nProfile file = " + display_path(archive));
  }
  delete_file(marker_path());
}
