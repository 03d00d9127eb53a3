// Runs the whole program in-process: the headless toolkit's test face plays
// the user, the exit and the clock are recorded instead of taking effect.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "main/burn.h"
#include "main/chooser.h"
#include "main/keep.h"
#include "main/program.h"
#include "main/runs.h"
#include "main/state.h"
#include "main/status.h"
#include "support/file_io.h"
#include "toolkit/headless/test_face.h"

namespace fs = std::filesystem;

inline int g_exit_code = -1;
// Whether the status window was on the screen when the process would have
// ended (the test face closes it afterwards to end the main loop).
inline bool g_status_shown_at_exit = false;
inline std::vector<unsigned long> g_sleeps;
inline std::vector<double> g_ticks;
inline std::size_t g_tick_index = 0;

inline void record_exit(int code) {
  g_exit_code = code;
  g_status_shown_at_exit = tk::headless::control(program().ids.status)->visible;
}
inline void record_sleep(unsigned long ms) { g_sleeps.push_back(ms); }
// The wall clock stands still at this moment.
inline LocalTime g_now{2026, 12, 10, 14, 5, 9};
inline LocalTime fixed_now() { return g_now; }
// The scripted clock: each reading takes the next value, the last one repeats.
inline double scripted_tick() {
  if (g_ticks.empty()) return 0;
  double t = g_ticks[std::min(g_tick_index, g_ticks.size() - 1)];
  ++g_tick_index;
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

inline std::string u32le(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// A profile archive holding the given (stored name, data) records.
inline std::string make_archive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out = "IL10";
  for (const auto& [name, data] : files) {
    out += "file" + u32le(static_cast<std::uint32_t>(name.size())) + name +
           u32le(static_cast<std::uint32_t>(data.size())) + u32le(0) + "asli" + data;
  }
  return out + "abis";
}

inline bool all_zero(const std::string& bytes) {
  return bytes.find_first_not_of('\0') == std::string::npos;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    face_ = &tk::test::install();
    g_exit_code = -1;
    g_sleeps.clear();
    g_ticks = {100.0};
    g_tick_index = 0;
    set_program_hooks({record_exit, scripted_tick, record_sleep, fixed_now});
    std::random_device rd;
    root_ =
        fs::temp_directory_path() / ("ilhome-main-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(root_ / "home");
    fs::create_directories(root_ / "arch");
    home_ = (root_ / "home").string();
    arch_ = (root_ / "arch").string();
  }
  void TearDown() override {
    io_clear_faults();
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }

  // The whole process with these arguments; the exit code it asked for.
  int runArgs(std::vector<std::string> args) {
    args.insert(args.begin(), "ilhome");
    g_exit_code = -1;
    g_status_shown_at_exit = false;
    tk::headless::reset(face_);  // a fresh process, as far as the toolkit knows
    program_main(args);
    return g_exit_code;
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
  fs::path root_;
  std::string home_;
  std::string arch_;
};
