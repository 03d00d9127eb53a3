// The program: start-up, the verb dispatch, the profile chooser, the unpack,
// pack and burn runs and the progress display they share.
#pragma once

#include <string>
#include <vector>

#include "main/burn_list.h"
#include "support/clock.h"
#include "support/dir.h"
#include "toolkit/toolkit.h"

// Exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNoProfile = 77;

inline constexpr char kVerbUnpack[] = "ekstrak";
inline constexpr char kVerbPack[] = "arsip";
inline constexpr char kVerbBurn[] = "bakar";
inline constexpr char kArchivePattern[] = "*.ilhome";
inline constexpr char kArchiveExtension[] = ".ilhome";
inline constexpr char kDefaultArchive[] = "default.ilhome";
inline constexpr char kMarkerName[] = "ilhome.inuse";
// The lock file in the archive directory; not "*.ilhome", so never listed.
inline constexpr char kLockName[] = "ilhome.lock";
inline constexpr double kLockWaitSeconds = 30.0;
inline constexpr unsigned long kLockPollMs = 250;
// The longest marker content read; longer is no file name.
inline constexpr std::size_t kMaxMarkerBytes = 4096;
// Files named in the warning about unreadable files; the rest are counted.
inline constexpr std::size_t kMaxNamedUnread = 10;
inline constexpr char kNewProfile[] = "New Profile";
inline constexpr char kProfileSubdir[] = "profile";
inline constexpr int kChooserTimer = 2000;
inline constexpr int kChooserTimerMs = 56;
inline constexpr std::size_t kZeroBlockSize = 4096;
inline constexpr int kStatusRepaints = 7;
inline constexpr double kMinimumDisplaySeconds = 1.0;
inline constexpr unsigned long kDisplaySleepMs = 1000;

// Ids of the two windows and their controls.
struct ProgramControls {
  tk::ControlId status = 0;  // Window1
  tk::ControlId action = 0;  // lAksi
  tk::ControlId percent = 0;
  tk::ControlId file = 0;
  tk::ControlId thanks = 0;
  tk::ControlId chooser = 0;  // Window2
  tk::ControlId prompt = 0;
  tk::ControlId list = 0;  // lsProfile
  tk::ControlId remember = 0;
  tk::ControlId start = 0;  // PushButton11
};

// What the process keeps from start-up to exit.
struct ProgramState {
  // The program's path twice, then the arguments.
  std::vector<std::string> command_line;
  long long archive_size = 1;
  std::string chosen_name;
  ProgramControls ids;
  BurnList burn_list;
  std::vector<char> zero_block;
  double start_time = 0;
};

ProgramState& program();

// Argument n from 1 (1 verb, 2 home directory, 3 archive directory); a
// missing one is the empty text.
std::string argument(int n);
std::string home_dir();
std::string archive_dir();
// The home directory and "\profile", joined as plain text.
std::string profile_dir();

// Where the process ends and the clock comes from; tests replace them.
struct ProgramHooks {
  void (*exit)(int code);
  double (*tick)();
  void (*sleep)(unsigned long milliseconds);
  // The wall clock; the local time of the system unless a test sets another.
  LocalTime (*now)() = local_time_now;
};
void set_program_hooks(const ProgramHooks& hooks);
const ProgramHooks& program_hooks();

// Start-up steps 1 to 5: state, windows, controls and handlers. args as main
// receives them (program path first).
void program_setup(const std::vector<std::string>& args);
// The whole process: set-up, then WinMain with the status window. Returns the
// exit code for when WinMain comes back.
int program_main(const std::vector<std::string>& args);

// The verb dispatch; returns the exit code instead of ending the process.
int dispatch_verb();

// Handlers.
void Window1_onActivate(tk::ControlId self, int event, const tk::Params& params);
void Window2_onOpen(tk::ControlId self, int event, const tk::Params& params);
void Window2_onTimer(tk::ControlId self, int event, const tk::Params& params);
void PushButton11_onClick(tk::ControlId self, int event, const tk::Params& params);

// Progress display.
// Shows the status window with the run's caption in the action label: the
// caption is set first, so the window is never seen with another one.
void show_status(const std::string& action);
void show_progress(const std::string& name, long long numerator, long long denominator);
std::string percent_text(long long numerator, long long denominator);

// Profile chooser: 1 with the chosen name set, 0 when no name was given.
int choose_archive();
void fill_profile_list();
std::string archive_caption(const DirEntry& entry);
std::string normalise_chosen_name(const std::string& text);

// Unpack and pack runs. The pack tells whether the profile went into its
// archive, or whether no profile was in use (no marker).
enum class PackOutcome { kNothingInUse, kSaved, kNotSaved };
void unpack_run();
PackOutcome pack_run();
int cb_dekompres(const std::string& name, long long position);
int cb_kompres(const std::string& name, long index, long count);

// Keeping a session that was never saved.
// The name of the archive that keeps the unsaved profile of the archive the
// marker names: its name with when it was kept, then, from 2 on, the counter.
// A name of one file, at most 255 bytes, that both systems accept.
std::string recovery_archive_name(const std::string& marker_name, const LocalTime& when,
                                  int counter);
// At the start of an unpack: packs a profile left by a session that was
// never saved into an archive of its own and says so. False when that
// profile is there but could not be kept (the pack failure message shown).
bool keep_unsaved_session();
// Whether the directory, or any below it, holds an entry that is not a directory.
bool holds_a_file(const std::string& directory);

// Burn run.
void burn_run();
int cb_ma(const std::string& directory, const DirEntry& entry);
void burn_files();
std::string burn_display_name(const std::string& path);
// Bytes the burn writes over a file of `size` bytes: whole zero blocks, one
// more than the size fills.
unsigned long long burn_length(long long size);
// Tests: called between the walk and the overwriting, to change the tree the
// walk saw; nullptr for none.
void set_burn_walk_hook(void (*hook)());
