// The profile chooser: which archive of the archive directory the unpack run
// takes.
#pragma once

#include <string>

#include "support/dir.h"
#include "toolkit/toolkit.h"

inline constexpr char kArchivePattern[] = "*.ilhome";
inline constexpr char kDefaultArchive[] = "default.ilhome";

// Creates the chooser window (Window2) and its controls, and binds their handlers.
void create_chooser();

// 1 with the chosen name set, 0 when no name was given.
int choose_archive();
void fill_profile_list();
std::string archive_caption(const DirEntry& entry);
std::string normalise_chosen_name(const std::string& text);

void Window2_onOpen(tk::ControlId self, int event, const tk::Params& params);
void Window2_onTimer(tk::ControlId self, int event, const tk::Params& params);
void PushButton11_onClick(tk::ControlId self, int event, const tk::Params& params);
