// The rules for stored names that depend on the system the files are written
// on. The rules every build applies (no empty, ".", ".." or absolute
// component, no NUL byte) are the reader's own.
#pragma once

#include <string>

// True when the system stores a file or directory under exactly this name:
// not a device, a stream or a drive, and not a name the system changes.
bool system_keeps_component(const std::string& component);
