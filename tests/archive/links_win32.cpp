// Windows side of make_link: CreateSymbolicLinkA, CreateHardLinkA, and a
// junction set on an empty directory with FSCTL_SET_REPARSE_POINT.
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "tests/archive/links.h"

namespace {

constexpr DWORD kUnprivilegedCreate = 0x2;

std::wstring wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
  out.resize(out.size() - 1);
  return out;
}

bool make_junction(const std::string& target, const std::string& link) {
  char full[MAX_PATH];
  if (GetFullPathNameA(target.c_str(), MAX_PATH, full, nullptr) == 0) return false;
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + wide(full);
  const auto substitute_bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  // The mount-point layout: tag, data length, reserved, then four offsets
  // and lengths, then the substitute name and an empty print name.
  std::vector<unsigned char> buffer(8 + 8 + substitute_bytes + 2 * sizeof(wchar_t), 0);
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  const auto data_length = static_cast<WORD>(buffer.size() - 8);
  const WORD offsets[4] = {0, substitute_bytes, static_cast<WORD>(substitute_bytes + 2), 0};
  std::memcpy(buffer.data(), &tag, 4);
  std::memcpy(buffer.data() + 4, &data_length, 2);
  std::memcpy(buffer.data() + 8, offsets, sizeof offsets);
  std::memcpy(buffer.data() + 16, substitute.data(), substitute_bytes);
  HANDLE h = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                  static_cast<DWORD>(buffer.size()), nullptr, 0, &done, nullptr);
  CloseHandle(h);
  if (!ok) RemoveDirectoryA(link.c_str());
  return ok;
}

}  // namespace

bool make_link(const std::string& target, const std::string& link, LinkKind kind) {
  bool made = false;
  switch (kind) {
    case LinkKind::kFile:
      made = CreateSymbolicLinkA(link.c_str(), target.c_str(), kUnprivilegedCreate) != 0;
      break;
    case LinkKind::kDirectory:
      made = CreateSymbolicLinkA(link.c_str(), target.c_str(),
                                 SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivilegedCreate) != 0;
      break;
    case LinkKind::kJunction:
      made = make_junction(target, link);
      break;
    case LinkKind::kHard:
      made = CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != 0;
      break;
  }
  // Believe only a link that is there afterwards.
  return made && GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}
