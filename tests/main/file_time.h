// Test helper: sets a file's last-write time, given in local time.
#pragma once

#include <string>

bool set_local_mtime(const std::string& path, int year, int month, int day, int hour, int minute,
                     int second);
