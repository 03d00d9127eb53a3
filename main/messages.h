// What the runs tell the user: the "Error" boxes of a failed unpack or pack
// and the "Warning" boxes that name the files concerned.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive/writer.h"

// A warning names this many files at most; the rest are counted.
inline constexpr std::size_t kMaxNamedInWarning = 10;
// The first names, each on a line of its own after a line feed, then how
// many more of `count` there are.
std::string named_list(const std::vector<std::string>& first, std::size_t count);

// The text first, then, as a last paragraph, the system's own words for the
// failure behind it (a full disk, no permission), where there was one.
void show_error(const std::string& text);
// The marker cannot be written: no pack will save this session.
void show_marker_error();
// `rename_loses`: nothing was done because the home's file system loses a
// renamed folder's content.
void show_unpack_failure(const std::string& archive, bool rename_loses);
// The last paragraph of a failed pack's message when the archive's file
// system cannot hold a file of the archive's size.
inline constexpr char kTooLargeReason[] = "The stick's file system cannot hold a file that large.";
void show_pack_failure(const std::string& archive, const PackReport& report);
// The profile there now is not the one the marker's unpack set up.
void show_foreign_profile(const std::string& archive);
// Warns about the files the pack could not read, if any.
void show_unread_warning(const PackReport& report);
// Warns about the records an unpack could not put on this computer, if any.
void show_not_held_warning(const std::vector<std::string>& names);
