// Windows' device names and refused name characters, the same on every system.
#include "support/windows_names.h"

#include <array>
#include <cstring>

#include "support/text.h"

namespace {

constexpr char kRefusedInNames[] = "<>:\"/\\|?*";
constexpr unsigned char kFirstPrintable = 0x20;
constexpr std::array<const char*, 6> kDeviceNames = {"con", "prn",    "aux",
                                                     "nul", "conin$", "conout$"};
constexpr std::array<const char*, 2> kNumberedDeviceNames = {"com", "lpt"};
// The digits that number a port: 1-9, and the superscripts 1, 2 and 3 in
// UTF-8, which Windows also reads as port numbers.
constexpr std::array<const char*, 12> kPortNumbers = {
    "1", "2", "3", "4", "5", "6", "7", "8", "9", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

}  // namespace

bool is_windows_device_name(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = lower_ascii(base);
  for (const char* device : kDeviceNames) {
    if (base == device) return true;
  }
  for (const char* device : kNumberedDeviceNames) {
    const std::size_t prefix = std::strlen(device);
    if (base.compare(0, prefix, device) != 0) continue;
    for (const char* number : kPortNumbers) {
      if (base.compare(prefix, std::string::npos, number) == 0) return true;
    }
  }
  return false;
}

bool refused_in_windows_names(unsigned char c) {
  return c < kFirstPrintable || std::strchr(kRefusedInNames, static_cast<char>(c)) != nullptr;
}
