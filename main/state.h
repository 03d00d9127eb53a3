// What every part of the program shares: the state kept from start-up to
// exit, the arguments and the directories they name, the ids of the two
// windows, and the hooks through which tests stand in for the process's end
// and the clock.
#pragma once

#include <string>
#include <vector>

#include "support/clock.h"
#include "support/path_list.h"
#include "toolkit/toolkit.h"

// The program's own names in the archive directory. The lock is not
// "*.ilhome", so it is never listed as an archive.
inline constexpr char kArchiveExtension[] = ".ilhome";
inline constexpr char kLockName[] = "ilhome.lock";
// Whether a file name ends in the archive extension, in any letter case.
bool has_archive_extension(const std::string& name);

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
  PathList burn_list;  // links marked
  double start_time = 0;
};

ProgramState& program();

// Argument n from 1 (1 verb, 2 home directory, 3 archive directory); a
// missing one is the empty text.
std::string argument(int n);
// The directories of arguments 2 and 3, without trailing blanks, tabs and
// backslashes (a root keeps its one).
std::string home_dir();
std::string archive_dir();
// The home directory and "\profile", joined as plain text.
std::string profile_dir();
// A directory beside the profile directory, in the home directory: where an
// unpack builds the new profile and where an old one is moved aside.
std::string beside_profile(const std::string& name);

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
