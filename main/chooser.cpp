// The profile chooser: which archive of the archive directory the unpack run
// takes. "default.ilhome" is taken without asking; otherwise a modal window
// lists the archives with their dates, the newest selected, and the user picks
// one or types a new name.
#include "main/chooser.h"

#include <array>
#include <cstdio>
#include <optional>

#include "archive/dirwalk.h"
#include "main/state.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr char kNewProfile[] = "New Profile";
constexpr int kChooserTimer = 2000;
constexpr int kChooserTimerMs = 56;
constexpr char kCaptionSeparator[] = "   :(";
constexpr char kCaptionDateSplit[] = ":(";
constexpr long kExtensionLength = sizeof kArchiveExtension - 1;
// Bytes below this one are control bytes, never kept in a typed name.
constexpr unsigned char kFirstNameByte = 0x20;

using Stamp = std::array<int, 6>;

Stamp stamp_of(const DirEntry& e) { return {e.year, e.month, e.day, e.hour, e.minute, e.second}; }

// The names the list was filled from, so that a picked caption finds its own
// file again (see normalise_chosen_name), and the captions shown for them.
std::vector<std::string>& listed_names() {
  static std::vector<std::string> names;
  return names;
}
std::vector<std::string>& listed_captions() {
  static std::vector<std::string> captions;
  return captions;
}

// The listed file whose caption the chooser's text is, exactly as listed; a
// caption cannot be turned back into its name (blanks at either end and ":("
// in a name are lost on the way). The selected item first, as two names may
// share a caption.
std::optional<std::string> picked_name(const std::string& text) {
  const std::vector<std::string>& captions = listed_captions();
  const int index = tk::getIndex(program().ids.list);
  if (index >= 1 && static_cast<std::size_t>(index) <= captions.size() &&
      captions[static_cast<std::size_t>(index) - 1] == text) {
    return listed_names()[static_cast<std::size_t>(index) - 1];
  }
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (captions[i] == text) return listed_names()[i];
  }
  return std::nullopt;
}

// A typed name is made a name of one file in the archive directory: each
// byte that would make it a path (separators, a drive's or stream's colon
// on Windows) becomes '_', and so does a control byte (NUL, a tab), which
// no marker the pack takes may hold.
std::string bare_name(std::string name) {
  const std::string separators = std::string("/\\") + platform_name_separators();
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < kFirstNameByte || separators.find(c) != std::string::npos) {
      c = '_';
    }
  }
  return name;
}

std::string warning_text() {
  return "Your selected profile file will be named 'default'. If you want to use another "
         "profile next time, please rename or delete the file 'default.ilhome' on " +
         display_path(archive_dir()) + ".";
}

}  // namespace

void create_chooser() {
  using namespace tk;
  ProgramControls& c = program().ids;
  c.chooser = createEx(Window, "Welcome to Ilvar Portable", 0, "center", "center", 324, 117,
                       Style{WS_DLGFRAME_}, Style{WS_EX_DLGMODALFRAME_});
  c.prompt =
      createEx(Label, "Please select an Ilvar Portable profile or type a new one:", c.chooser, 8, 8,
               300, 20, 0, 0);
  c.list = createEx(ComboBox, "lsProfile", c.chooser, 40, 32, 272, 120, 0, 0);
  c.remember = createEx(CheckBox, "Don't ask me again", c.chooser, 40, 60, 148, 20, 0, 0);
  c.start = createEx(DefaultButton, "Start!", c.chooser, 224, 56, 88, 28, 0, 0);
  bindHandler(c.chooser, Open, Window2_onOpen);
  bindHandler(c.chooser, Timer, Window2_onTimer);
  bindHandler(c.start, Click, PushButton11_onClick);
}

std::string archive_caption(const DirEntry& e) {
  char date[64];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d at %02d:%02d:%02d", e.year, e.month, e.day,
                e.hour, e.minute, e.second);
  return strip_extension(e.name) + kCaptionSeparator + date + ")";
}

void fill_profile_list() {
  const tk::ControlId list = program().ids.list;
  listed_names().clear();
  listed_captions().clear();
  Listing listing = list_dir_sorted(join_path(archive_dir(), kArchivePattern));
  if (!listing.ok) {
    tk::appendItems(list, kNewProfile);
    tk::setIndex(list, 1);
    return;
  }
  Stamp newest{};
  int newest_position = 0;
  int position = 0;
  for (const DirEntry& e : listing.entries) {
    ++position;
    listed_names().push_back(e.name);
    listed_captions().push_back(archive_caption(e));
    tk::appendItems(list, listed_captions().back());
    // Strictly greater: among equal times the first name keeps the selection.
    if (stamp_of(e) > newest) {
      newest = stamp_of(e);
      newest_position = position;
    }
  }
  if (newest_position != 0) tk::setIndex(list, newest_position);
}

std::string normalise_chosen_name(const std::string& text) {
  std::vector<std::string> pieces = split_text(text, kCaptionDateSplit);
  std::string name = pieces.size() > 1 ? pieces.front() : text;
  name = bare_name(trim(name));
  if (match_nocase(1, last_chars(name, kExtensionLength), kArchiveExtension) != 0) return name;
  // On a file system that tells letter cases apart, an archive listed as
  // Work.ILHOME is shown with the stem Work; the name with ".ilhome" appended
  // would miss it, so the listed file's own extension is kept.
  const std::string appended = name + kArchiveExtension;
  for (const std::string& listed : listed_names()) {
    if (listed == appended) return appended;
  }
  for (const std::string& listed : listed_names()) {
    if (listed.size() == appended.size() && strip_extension(listed) == name &&
        lower_ascii(last_chars(listed, kExtensionLength)) == kArchiveExtension) {
      return listed;
    }
  }
  return appended;
}

int choose_archive() {
  ProgramState& p = program();
  fill_profile_list();
  if (file_exists(join_path(archive_dir(), kDefaultArchive)) != 0) {
    p.chosen_name = kDefaultArchive;
  } else {
    tk::runModal(p.ids.chooser);
    if (skosong(p.chosen_name) != 0) return 0;
    const std::optional<std::string> picked = picked_name(p.chosen_name);
    p.chosen_name = picked ? *picked : normalise_chosen_name(p.chosen_name);
  }
  if (tk::isChecked(p.ids.remember) != 0 &&
      file_exists(join_path(archive_dir(), p.chosen_name)) != 0) {
    if (move_file(join_path(archive_dir(), p.chosen_name),
                  join_path(archive_dir(), kDefaultArchive)) != 0) {
      p.chosen_name = kDefaultArchive;
    }
  }
  return 1;
}

void Window2_onOpen(tk::ControlId, int, const tk::Params&) {
  const tk::ControlId chooser = program().ids.chooser;
  tk::setClientSize(chooser, 320, 92);
  tk::startTimer(chooser, kChooserTimer, kChooserTimerMs);
}

void Window2_onTimer(tk::ControlId, int, const tk::Params& params) {
  if (params.empty() || params.front() != kChooserTimer) return;
  tk::setFocus(program().ids.list);
  tk::stopTimer(program().ids.chooser, kChooserTimer);
}

void PushButton11_onClick(tk::ControlId, int, const tk::Params&) {
  ProgramState& p = program();
  if (tk::isChecked(p.ids.remember) != 0) tk::messageBox(warning_text(), "Warning", 0);
  p.chosen_name = tk::getText(p.ids.list);
  tk::requestClose(p.ids.chooser);
}
