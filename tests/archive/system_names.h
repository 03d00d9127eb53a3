// Stored names whose fate depends on the system the profile is unpacked on:
// each platform's table says which of them that system keeps.
#pragma once

#include <string>
#include <vector>

struct SystemNameCase {
  std::string name;
  bool kept;
};

const std::vector<SystemNameCase>& system_name_cases();
