// Start-up and the verb dispatch: the root of the program, which calls each
// part in turn.
#pragma once

#include <string>
#include <vector>

#include "toolkit/toolkit.h"

// Exit codes; kExitNoProfile tells a launcher that no profile was set up, so
// no browser is to start.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNoProfile = 77;

inline constexpr char kVerbUnpack[] = "ekstrak";
inline constexpr char kVerbPack[] = "arsip";
inline constexpr char kVerbBurn[] = "bakar";

// How long a start waits for another one to leave the archive directory,
// and how often it looks.
inline constexpr double kLockWaitSeconds = 30.0;
inline constexpr unsigned long kLockPollMs = 250;
// The status window's caption while a start waits for that.
inline constexpr char kActionWaiting[] = "Waiting for another ilhome to finish...";

// State, windows, controls and handlers. args as main receives them (program
// path first).
void program_setup(const std::vector<std::string>& args);
// The whole process: set-up, then WinMain with the status window. Returns the
// exit code for when WinMain comes back.
int program_main(const std::vector<std::string>& args);

// The verb dispatch; returns the exit code instead of ending the process.
int dispatch_verb();

void Window1_onActivate(tk::ControlId self, int event, const tk::Params& params);
