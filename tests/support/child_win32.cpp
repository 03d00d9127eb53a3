// Windows side of the test seam: CreateProcessA of the console helper with
// inheritable file handles as its standard streams, and symbolic links.
#include <windows.h>

#include <fstream>
#include <sstream>

#include "tests/support/child.h"

namespace {

std::string self_directory() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, length);
  return path.substr(0, path.find_last_of("\\/"));
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

HANDLE inheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.bInheritHandle = TRUE;
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildRun run_console_child(const std::vector<std::string>& arguments, const std::string& input,
                           const std::string& scratch) {
  ChildRun run;
  const std::string in_path = scratch + "\\child.in";
  const std::string out_path = scratch + "\\child.out";
  const std::string err_path = scratch + "\\child.err";
  std::ofstream(in_path, std::ios::binary) << input;

  const std::string program = self_directory() + "\\support_console_child.exe";
  std::string command = "\"" + program + "\"";
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";

  HANDLE in = inheritable(in_path, GENERIC_READ, OPEN_EXISTING);
  HANDLE out = inheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = inheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!created) return run;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.started = true;
  run.exit_code = static_cast<int>(code);
  run.out = slurp(out_path);
  run.err = slurp(err_path);
  return run;
}

bool dot_names_hidden() { return false; }

bool make_symlink(const std::string& target, const std::string& link, bool directory) {
  const DWORD flags = (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 0x2;  // unprivileged create
  // Some systems report success without making the link; believe only a link
  // that is there afterwards.
  return CreateSymbolicLinkA(link.c_str(), target.c_str(), flags) != 0 &&
         GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool make_fifo(const std::string&) { return false; }
