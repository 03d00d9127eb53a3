// The runs' messages, their texts and the lists of names they show.
#include "main/messages.h"

#include <algorithm>

#include "main/state.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "toolkit/toolkit.h"

namespace {

// Why an unpack changed nothing in a home whose file system loses a renamed
// folder's content (some FAT drivers do): the swap would lose the profile.
constexpr char kRenameLosesReason[] =
    "The file system there loses the content of a folder that is renamed, so the profile cannot "
    "be set up there safely. Nothing in the home directory has been changed.";

// Why a pack leaves the archive alone when the profile in the home directory
// is not the one the marker's unpack set up.
constexpr char kForeignProfileReason[] =
    "The profile there now was not set up from this profile file: another profile has been set "
    "up in its place since. The profile file has not been changed.";

// The text of a failed pack, up to the archive's path.
std::string pack_failure_text(const std::string& archive) {
  return "Failed to save profile.\n\nProfile dir = " + display_path(home_dir()) +
         "\nProfile file = " + display_path(archive);
}

// A whole list as a warning shows it: the first names, then a count.
std::string all_named(const std::vector<std::string>& names) {
  const std::size_t count = names.size();
  const std::vector<std::string> first(
      names.begin(),
      names.begin() + static_cast<std::ptrdiff_t>(std::min(count, kMaxNamedInWarning)));
  return named_list(first, count);
}

}  // namespace

std::string named_list(const std::vector<std::string>& first, std::size_t count) {
  std::string text;
  for (const std::string& name : first) text += "\n" + name;
  if (count > first.size()) text += "\nand " + std::to_string(count - first.size()) + " more";
  return text;
}

void show_error(const std::string& text) {
  const std::string reason = last_io_failure_reason();
  tk::messageBox(reason.empty() ? text : text + "\n\n" + reason, "Error", 0);
}

void show_marker_error() {
  show_error("Cannot write to " + display_path(archive_dir()) +
             "\n\nIlvar settings will not be saved.");
}

void show_unpack_failure(const std::string& archive, bool rename_loses) {
  show_error("Failed to set up profile.\n\nProfile dir = " + display_path(home_dir()) +
             "\nProfile file = " + display_path(archive) +
             (rename_loses ? std::string("\n\n") + kRenameLosesReason : std::string()));
}

void show_pack_failure(const std::string& archive, const PackReport& report) {
  std::string text = pack_failure_text(archive);
  // No retry on the same stick can help: the user must make room elsewhere
  // or make the profile smaller.
  if (report.too_large) {
    text += std::string("\n\n") + kTooLargeReason;
    forget_io_failure();  // the system's "too large" would say it twice
  }
  show_error(text);
}

void show_foreign_profile(const std::string& archive) {
  tk::messageBox(pack_failure_text(archive) + "\n\n" + kForeignProfileReason, "Error", 0);
}

void show_unread_warning(const PackReport& report) {
  if (report.unread.empty()) return;
  tk::messageBox("Some files of the profile could not be read and were not saved:\n" +
                     all_named(report.unread) +
                     "\n\nWhere the profile file held an earlier copy of one of these files, "
                     "that copy was kept.",
                 "Warning", 0);
}

// Records whose names this computer cannot hold (another system's rules, a
// path too long under this home) are not lost: the next pack keeps them.
void show_not_held_warning(const std::vector<std::string>& names) {
  if (names.empty()) return;
  tk::messageBox("Some files of the profile cannot be put on this computer:\n" + all_named(names) +
                     "\n\nThey stay in the profile file and are kept when the profile is "
                     "saved again.",
                 "Warning", 0);
}
