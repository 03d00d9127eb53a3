// The platform-free part of the file seam: ownership of the handle, and fault
// injection (tests name the n-th call of a kind that must fail, and the
// platform layer asks before each call).
#include "support/file_io.h"

#include <array>
#include <utility>

namespace {

constexpr std::size_t kFaultKinds = 8;
// Calls of each kind still to go before the failing one; 0 when none is armed.
std::array<long, kFaultKinds> g_countdown{};
// Calls of each kind made since the faults were last cleared.
std::array<long, kFaultKinds> g_calls{};
constexpr long long kNoSizeLimit = -1;
long long g_size_limit = kNoSizeLimit;
constexpr long kNoFailure = 0;
long g_last_failure = kNoFailure;

}  // namespace

void io_fail_nth(IoFault kind, long n) { g_countdown[static_cast<std::size_t>(kind)] = n; }

void io_limit_file_size(long long bytes) { g_size_limit = bytes < 0 ? kNoSizeLimit : bytes; }

long io_calls(IoFault kind) { return g_calls[static_cast<std::size_t>(kind)]; }

void io_clear_faults() {
  g_countdown.fill(0);
  g_calls.fill(0);
  g_size_limit = kNoSizeLimit;
}

bool io_file_size_limited() { return g_size_limit != kNoSizeLimit; }

std::size_t io_bytes_within_limit(std::uint64_t position, std::size_t size) {
  if (!io_file_size_limited()) return size;
  const auto limit = static_cast<std::uint64_t>(g_size_limit);
  if (position >= limit) return 0;
  return limit - position < size ? static_cast<std::size_t>(limit - position) : size;
}

bool io_fault_now(IoFault kind) {
  ++g_calls[static_cast<std::size_t>(kind)];
  long& left = g_countdown[static_cast<std::size_t>(kind)];
  if (left <= 0) return false;
  --left;
  if (left != 0) return false;
  io_note_failure(io_fault_code(kind));
  return true;
}

long io_fault_code(IoFault kind) {
  switch (kind) {
    case IoFault::kWrite:
    case IoFault::kSync:
    case IoFault::kClose:
      return platform_error_code(IoFailure::kDiskFull);
    case IoFault::kRead:
    case IoFault::kSyncDirectory:
      return platform_error_code(IoFailure::kDeviceError);
    case IoFault::kOpen:
    case IoFault::kRename:
    case IoFault::kPermissions:
      break;
  }
  return platform_error_code(IoFailure::kAccessDenied);
}

void io_note_failure(long code) {
  if (code != kNoFailure) g_last_failure = code;
}

void forget_io_failure() { g_last_failure = kNoFailure; }

std::string last_io_failure_reason() {
  return g_last_failure == kNoFailure ? std::string() : system_error_text(g_last_failure);
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
      size_(std::exchange(other.size_, kUnknownSize)),
      too_large_(std::exchange(other.too_large_, false)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, kNoHandle);
    size_ = std::exchange(other.size_, kUnknownSize);
    too_large_ = std::exchange(other.too_large_, false);
  }
  return *this;
}
