// Windows' rules for file names, needed on every system: an unpack on Windows
// must refuse the names the system would take for something else, and names
// the program makes itself must open on Windows wherever they were made.
#pragma once

#include <string>

// True when Windows takes the name for a device whatever the folder: the part
// before the first dot, without the blanks that end it, is one of CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9 or COM and LPT with a
// superscript 1, 2 or 3, in any letter case ("COM1 .txt" opens the serial port).
bool is_windows_device_name(const std::string& name);
// True for the bytes Windows refuses in a name: the controls and <>:"/\|?*.
bool refused_in_windows_names(unsigned char c);
