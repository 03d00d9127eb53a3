// Start-up and the verb dispatch. One start carries out one verb inside the
// status window's activation handler and then ends the process from there;
// the toolkit's main loop never runs for its own sake.
#include "main/program.h"

#include "main/burn.h"
#include "main/chooser.h"
#include "main/keep.h"
#include "main/runs.h"
#include "main/state.h"
#include "main/status.h"
#include "main/swap.h"
#include "support/dir_identity.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/text.h"

namespace {

// Takes a directory's lock, waiting for another start to finish for a
// while; false when it is still held after that. A directory where no lock
// can be made (read-only, missing) is used without one.
bool lock_directory(FileLock& lock, const std::string& directory) {
  const std::string path = join_path(directory, kLockName);
  if (lock.acquire(path) != FileLock::Result::kBusy) return true;
  // Up to half a minute with nothing on the screen would look like a hang.
  show_status(kActionWaiting);
  const ProgramHooks& hooks = program_hooks();
  const double began = hooks.tick();
  bool held = false;
  for (;;) {
    hooks.sleep(kLockPollMs);
    if (lock.acquire(path) != FileLock::Result::kBusy) {
      held = true;
      break;
    }
    if (hooks.tick() - began >= kLockWaitSeconds) break;
  }
  tk::setVisibility(program().ids.status, 0);
  return held;
}

// Whether the archive directory is the profile directory itself (or one of
// the directories an unpack builds and clears beside it), by identity, so
// also through a link: an unpack would then refuse every record, and a pack
// store the archives, the marker and the lock in the next archive.
bool archive_dir_overlaps_profile() {
  const std::string archives = archive_dir();
  if (same_directory(archives, profile_dir())) return true;
  for (const char* name : {kStagingName, kReplacedName}) {
    if (directory_within(archives, beside_profile(name))) return true;
  }
  return false;
}

}  // namespace

void program_setup(const std::vector<std::string>& args) {
  ProgramState& p = program();
  p = ProgramState{};
  const std::string self = args.empty() ? std::string() : args[0];
  p.command_line = {self, self};
  for (std::size_t i = 1; i < args.size(); ++i) p.command_line.push_back(args[i]);
  p.archive_size = 1;
  p.chosen_name.clear();

  create_status_window();
  create_chooser();

  p.burn_list.clear();

  tk::bindHandler(p.ids.status, tk::Activate, Window1_onActivate);
}

int program_main(const std::vector<std::string>& args) {
  program_setup(args);
  tk::WinMain(program().ids.status, tk::Normal);
  return kExitDone;
}

int dispatch_verb() {
  ProgramState& p = program();
  tk::setVisibility(p.ids.status, 0);
  const std::string verb = argument(1);

  // Three separate tests, in this order: a verb holding both "arsip" and
  // "bakar" packs first and burns afterwards. Without all three arguments
  // nothing is done: an empty home or archive directory would make every path
  // relative to wherever the program happens to run.
  const bool complete = !home_dir().empty() && !archive_dir().empty();
  const bool unpack = complete && verb == kVerbUnpack;
  const bool pack = complete && match_nocase(1, verb, kVerbPack) != 0;
  const bool burn = complete && match_nocase(1, verb, kVerbBurn) != 0;

  if ((unpack || pack || burn) && archive_dir_overlaps_profile()) {
    tk::messageBox("Cannot keep the profile files in " + display_path(archive_dir()) +
                       ": it is the profile directory " + display_path(profile_dir()) +
                       ".\n\nChoose a directory outside it for the profile files.",
                   "Error", 0);
    return unpack ? kExitNoProfile : kExitDone;
  }

  // One start at a time per archive directory: two at once would write one
  // archive together, or unpack while the other packs. And one at a time per
  // home directory, whichever stick it came from: a pack from one stick while
  // an unpack from another swaps the profile would store a mix of both
  // profiles in the first stick's archive. The archive directory's lock is
  // always taken first, so two starts never hold one each and wait for the
  // other's. The locks go with this function's end, or with the process
  // however it ends.
  FileLock archive_lock;
  FileLock home_lock;
  const auto locked = [](FileLock& lock, const std::string& directory) {
    if (lock_directory(lock, directory)) return true;
    tk::messageBox("Another ilhome is still working on " + display_path(directory) +
                       ".\n\nTry again when it has finished.",
                   "Error", 0);
    return false;
  };
  if ((unpack || pack || burn) &&
      (!locked(archive_lock, archive_dir()) ||
       (!same_directory(home_dir(), archive_dir()) && !locked(home_lock, home_dir())))) {
    // No browser is to start on a profile that was not set up.
    return unpack ? kExitNoProfile : kExitDone;
  }
  p.start_time = program_hooks().tick();

  if (unpack) {
    // Before the choice: nothing may touch the profile of a session that was
    // never saved, and no browser may start over it, until it is kept.
    if (!keep_unsaved_session()) return kExitNoProfile;
    if (choose_archive() == 0) return kExitNoProfile;
    if (!unpack_run()) return kExitNoProfile;
  }
  const bool pack_failed = pack && pack_run() == PackOutcome::kNotSaved;
  // A profile that was not saved is the only copy of its session: it is
  // burned only when the user says so.
  if (burn && burn_confirmed(pack_failed)) burn_run();

  for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
  return kExitDone;
}

void Window1_onActivate(tk::ControlId, int, const tk::Params&) {
  program_hooks().exit(dispatch_verb());
}
