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
