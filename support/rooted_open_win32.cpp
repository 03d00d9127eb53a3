// Windows side of RootedOpener: each opened file's final path must lie below
// the root's final path, and no directory on the way may be a reparse point.
#include <windows.h>

#include <vector>

#include "support/rooted_name.h"
#include "support/rooted_open.h"
#include "support/text.h"
#include "support/wide_win32.h"

namespace {

// Where the handle's file really is, every link and junction followed: its
// volume's serial number and its path on that volume; empty when the system
// cannot tell. GetFinalPathNameByHandle would say the same, but fails under
// Wine for paths past MAX_PATH, which the burn must reach.
std::string final_path(HANDLE handle) {
  constexpr std::size_t kNameBytes = 65536;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::string();
  std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + kNameBytes);
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(),
                                    static_cast<DWORD>(buffer.size()))) {
    return std::string();
  }
  const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         from_wide(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

// Whether `path` lies strictly below `root`, letters A-Z folded as the file
// system folds them.
bool lies_below(const std::string& path, const std::string& root) {
  if (root.empty() || path.size() <= root.size()) return false;
  if (lower_ascii(path.substr(0, root.size())) != lower_ascii(root)) return false;
  return root.back() == '\\' || path[root.size()] == '\\';
}

}  // namespace

struct RootedOpener::State {
  std::string root;        // as given
  std::string root_final;  // resolved by the system; empty when the root did not open
  // The directory of the last file opened, relative to the root, and whether
  // every component of it is a plain directory.
  bool cached = false;
  std::string directory;
  bool directory_ok = false;

  bool plain_directories(const std::string& relative) const {
    if (relative.empty()) return true;
    std::string path = root;
    for (const std::string& component : split_text(relative, "\\")) {
      if (!rooted_name::usable_component(component)) return false;
      path = join_path(path, component);
      std::wstring wide;
      if (!system_path(path, wide)) return false;
      const DWORD attributes = GetFileAttributesW(wide.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
      }
    }
    return true;
  }

  File open_file(const std::string& relative, OverwriteRefusal& why);
};

File RootedOpener::State::open_file(const std::string& relative, OverwriteRefusal& why) {
  if (io_fault_now(IoFault::kOpen) || root_final.empty()) return File();
  std::string dir_part;
  std::string name;
  if (!rooted_name::split(relative, dir_part, name)) return File();
  if (!cached || dir_part != directory) {
    directory = dir_part;
    directory_ok = plain_directories(dir_part);
    cached = true;
  }
  if (!directory_ok) return File();
  // The name itself is opened, never what a link or junction points at.
  std::wstring wide;
  if (!system_path(join_path(root, relative), wide)) return File();
  HANDLE h =
      CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      why = OverwriteRefusal::kNoData;
    }
    return File();
  }
  // The checks of the directories above are only a snapshot: the handle's
  // final path says where the bytes really are, whatever changed since.
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  const bool no_data =
      known &&
      ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
       GetFileType(h) != FILE_TYPE_DISK);
  const bool plain_file = known && !no_data && info.nNumberOfLinks == 1;
  if (!plain_file || !lies_below(final_path(h), root_final)) {
    if (no_data) why = OverwriteRefusal::kNoData;
    if (known && !no_data && info.nNumberOfLinks > 1) why = OverwriteRefusal::kOtherNames;
    CloseHandle(h);
    return File();
  }
  return File(reinterpret_cast<std::intptr_t>(h));
}

RootedOpener::RootedOpener(const std::string& root) : state_(std::make_unique<State>()) {
  state_->root = root;
  std::wstring wide;
  if (!system_path(root, wide)) return;
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  state_->root_final = final_path(handle);
  CloseHandle(handle);
}

RootedOpener::~RootedOpener() = default;

File RootedOpener::open_for_overwrite(const std::string& relative, OverwriteRefusal* refusal) {
  OverwriteRefusal why = OverwriteRefusal::kFailed;
  File file = state_->open_file(relative, why);
  if (refusal != nullptr) *refusal = file.is_open() ? OverwriteRefusal::kNone : why;
  return file;
}
