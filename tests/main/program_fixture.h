// Runs the whole program in-process: the headless toolkit's test face plays
// the user, the exit and the clock are recorded instead of taking effect.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "main/burn.h"
#include "main/chooser.h"
#include "main/keep.h"
#include "main/messages.h"
#include "main/program.h"
#include "main/runs.h"
#include "main/session.h"
#include "main/state.h"
#include "main/status.h"
#include "support/file_io.h"
#include "tests/test_util/archive_bytes.h"
#include "tests/test_util/scratch_dir.h"
#include "toolkit/headless/test_face.h"

namespace fs = std::filesystem;

// A stored name as the status window shows it: with the system's separator,
// so that a long path is shortened in its middle, never in its file name.
inline std::string shown(std::string name) {
  std::replace(name.begin(), name.end(), '/', static_cast<char>(fs::path::preferred_separator));
  return name;
}

// The last paragraph of an "Error" box after a fault a test injected: the
// system's own words for what that fault stands for (a full disk for a write).
inline std::string reason_of(IoFault kind) {
  return "\n\n" + system_error_text(io_fault_code(kind));
}

// What the program's process hooks saw, and what they answer. The hooks are
// plain function pointers without a context, so this one record is static;
// each test starts with a fresh one.
struct ProcessRecord {
  int exit_code = -1;
  // Whether the status window was on the screen when the process would have
  // ended (the test face closes it afterwards to end the main loop).
  bool status_shown_at_exit = false;
  std::vector<unsigned long> sleeps;
  // The scripted clock: each reading takes the next value, the last one repeats.
  std::vector<double> ticks = {100.0};
  std::size_t tick_index = 0;
  // The wall clock stands still at this moment.
  LocalTime now{2026, 12, 10, 14, 5, 9};
  // Called after each pause is recorded, for a test that acts during one.
  std::function<void()> on_sleep;
};
inline ProcessRecord g_process;

inline void record_exit(int code) {
  g_process.exit_code = code;
  g_process.status_shown_at_exit = tk::headless::control(program().ids.status)->visible;
}
inline void record_sleep(unsigned long ms) {
  g_process.sleeps.push_back(ms);
  if (g_process.on_sleep) g_process.on_sleep();
}
inline LocalTime fixed_now() { return g_process.now; }
inline double scripted_tick() {
  const std::vector<double>& ticks = g_process.ticks;
  if (ticks.empty()) return 0;
  double t = ticks[std::min(g_process.tick_index, ticks.size() - 1)];
  ++g_process.tick_index;
  return t;
}

inline std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_bytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

using test_util::make_archive;

// Files below a directory, each with its bytes, by relative name.
inline std::vector<std::pair<std::string, std::string>> files_below(const fs::path& root) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    files.emplace_back(fs::relative(item.path(), root).generic_string(), read_bytes(item.path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline bool all_zero(const std::string& bytes) {
  return bytes.find_first_not_of('\0') == std::string::npos;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    face_ = &tk::test::install();
    g_process = ProcessRecord{};
    set_program_hooks({record_exit, scripted_tick, record_sleep, fixed_now});
    scratch_.emplace("ilhome-main");
    root_ = scratch_->native();
    fs::create_directories(root_ / "home");
    fs::create_directories(root_ / "arch");
    home_ = (root_ / "home").string();
    arch_ = (root_ / "arch").string();
  }
  void TearDown() override {
    io_clear_faults();
    scratch_.reset();
  }
  // Starts the case again as a new process on a new scratch directory, for
  // the rows of a table that each need a clean start.
  void fresh() {
    TearDown();
    SetUp();
  }

  // The whole process with these arguments; the exit code it asked for.
  int runArgs(std::vector<std::string> args) {
    args.insert(args.begin(), "ilhome");
    g_process.exit_code = -1;
    g_process.status_shown_at_exit = false;
    tk::headless::reset(face_);  // a fresh process, as far as the toolkit knows
    program_main(args);
    return g_process.exit_code;
  }
  int run(const std::string& verb) { return runArgs({verb, home_, arch_}); }

  // Plays the user at the chooser; the main loop's idle turn (after the
  // verb) closes the status window as the process would have ended.
  void answerChooser(std::function<void(int turn)> answer) {
    face_->on_idle = [answer](tk::ControlId window, int turn) {
      if (window == program().ids.chooser) {
        answer(turn);
      } else {
        tk::test::closeWindow(window);
      }
    };
  }
  // Clicks "Start!" with the given edit text (nullptr keeps the selection).
  void startWith(const char* text, int remember = 0) {
    answerChooser([text, remember](int) {
      const ProgramControls& c = program().ids;
      if (text != nullptr) tk::test::typeText(c.list, text);
      tk::test::setChecked(c.remember, remember);
      tk::test::click(c.start);
    });
  }

  fs::path profile() const { return root_ / "home" / "profile"; }
  fs::path arch(const std::string& name) const { return root_ / "arch" / name; }
  std::string marker() const { return read_bytes(arch(kMarkerName)); }
  bool markerExists() const { return fs::exists(arch(kMarkerName)); }
  std::vector<std::string> texts(tk::ControlId id) const { return face_->textsOf(id); }
  const ProgramControls& ids() const { return program().ids; }

  tk::test::TestFace* face_ = nullptr;
  std::optional<test_util::ScratchDir> scratch_;
  fs::path root_;
  std::string home_;
  std::string arch_;
};
