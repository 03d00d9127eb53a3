// The platform-free part of the file seam: ownership of the handle, and fault
// injection (tests name the n-th call of a kind that must fail, and the
// platform layer asks before each call).
#include "support/file_io.h"

#include <array>
#include <utility>

namespace {

constexpr std::size_t kFaultKinds = 6;
// Calls of each kind still to go before the failing one; 0 when none is armed.
std::array<long, kFaultKinds> g_countdown{};

}  // namespace

void io_fail_nth(IoFault kind, long n) { g_countdown[static_cast<std::size_t>(kind)] = n; }

void io_clear_faults() { g_countdown.fill(0); }

bool io_fault_now(IoFault kind) {
  long& left = g_countdown[static_cast<std::size_t>(kind)];
  if (left <= 0) return false;
  --left;
  return left == 0;
}

bool is_bare_file_name(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find('\0') != std::string::npos) return false;
  if (name.find_first_of("/\\") != std::string::npos) return false;
  return name.find_first_of(platform_name_separators()) == std::string::npos;
}

File::~File() { close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      size_(std::exchange(other.size_, kUnknownSize)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, kNoHandle);
    size_ = std::exchange(other.size_, kUnknownSize);
  }
  return *this;
}
