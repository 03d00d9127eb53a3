// The program's set-up and the verb dispatch: the windows it builds, which runs
// each verb starts and in what order, the arguments and the progress display.
#include <cstdio>

#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace tk;

TEST_F(ProgramTest, SetupCreatesEveryWindowAndControlInOrder) {
  // What an earlier start in this process left behind.
  program().chosen_name = "left.ilhome";
  program().archive_size = 77;
  program_setup({"ilhome", "x", "h", "a"});
  struct Row {
    int kind;
    int parent_row;  // -1 for a window
    const char* caption;
    int x, y, width, height;
    std::uint32_t style, ex_style;
  };
  const Row rows[] = {
      {Window, -1, "Window1", 332, 350, 360, 68, 0x80400000u, 0x10u},
      {CenteredLabel, 0, "lAksi", 0, 4, 360, 20, 0x54000001u, 0},
      {CenteredLabel, 0, "0%", 320, 24, 40, 20, 0x54000001u, 0},
      // The file label shortens a long name in its middle instead of wrapping,
      // and shows a name's "&" as itself.
      {CenteredLabel, 0, "", 0, 24, 360, 20, 0x54008081u, 0},
      {CenteredLabel, 0, "Thanks for using Ilvar Portable", 0, 44, 360, 20, 0x54000001u, 0},
      {Window, -1, "Welcome to Ilvar Portable", 350, 326, 324, 117, 0x00400000u, 0x1u},
      {Label, 5, "Please select an Ilvar Portable profile or type a new one:", 8, 8, 300, 20,
       0x54000000u, 0},
      {ComboBox, 5, "lsProfile", 40, 32, 272, 120, 0x54210202u, 0x210u},
      {CheckBox, 5, "Don't ask me again", 40, 60, 148, 20, 0x54010003u, 0},
      {DefaultButton, 5, "Start!", 224, 56, 88, 28, 0x54010001u, 0},
  };
  std::vector<ControlId> all = headless::controlIds();
  // The toolkit's two pseudo controls come first, then the rows above in order.
  ASSERT_EQ(all.size(), std::size(rows) + 2);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    const headless::Control& c = test::control(all[i + 2]);
    EXPECT_EQ(c.kind, r.kind) << i;
    EXPECT_EQ(c.parent, r.parent_row < 0 ? 0 : all[static_cast<std::size_t>(r.parent_row) + 2])
        << i;
    EXPECT_EQ(c.caption, r.caption) << i;
    EXPECT_EQ(c.x, r.x) << i;
    EXPECT_EQ(c.y, r.y) << i;
    EXPECT_EQ(c.width, r.width) << i;
    EXPECT_EQ(c.height, r.height) << i;
    EXPECT_EQ(c.style, r.style) << i;
    EXPECT_EQ(c.ex_style, r.ex_style) << i;
    if (r.kind == Window) {
      EXPECT_TRUE(c.x_center && c.y_center) << i;
      EXPECT_FALSE(c.visible) << i;
    }
  }
  EXPECT_EQ(ids().status, all[2]);
  EXPECT_EQ(ids().list, all[9]);
  // Each start begins afresh: nothing of an earlier one is its choice.
  EXPECT_EQ(program().chosen_name, "");
  EXPECT_EQ(program().archive_size, 1);
}

// What each verb ran, seen from the files it changed.
struct Outcome {
  bool unpacked;
  bool packed;
  bool burned;
};

class VerbTest : public ProgramTest {
 protected:
  // A profile in use (marker v.ilhome), a default archive to unpack, and a
  // file in the home directory to burn.
  void prepare() {
    write_bytes(profile() / "p.txt", "profile data");
    write_bytes(root_ / "home" / "other.txt", "secret");
    write_bytes(arch(kMarkerName), "v.ilhome");
    write_bytes(arch(kDefaultArchive), make_archive({{"u.txt", "unpacked"}}));
    // The marker names a session no pack saved: a burn without a pack first
    // asks, and the user says Yes.
    face_->answer = tk::IDYES_;
  }
  Outcome outcome() const {
    return {fs::exists(profile() / "u.txt"), fs::exists(arch("v.ilhome")),
            read_bytes(root_ / "home" / "other.txt") == std::string(4096, '\0')};
  }
};

struct VerbRow {
  const char* verb;
  Outcome want;
};

void PrintTo(const VerbRow& row, std::ostream* out) { *out << '"' << row.verb << '"'; }

class EachVerb : public VerbTest, public ::testing::WithParamInterface<VerbRow> {};

TEST_P(EachVerb, RunsItsRuns) {
  const VerbRow& r = GetParam();
  prepare();
  EXPECT_EQ(run(r.verb), kExitDone);
  Outcome got = outcome();
  EXPECT_EQ(got.unpacked, r.want.unpacked);
  EXPECT_EQ(got.packed, r.want.packed);
  EXPECT_EQ(got.burned, r.want.burned);
  if (!r.want.unpacked && !r.want.packed && !r.want.burned) {
    // Nothing ran: the status window was hidden at once and never shown.
    EXPECT_FALSE(g_process.status_shown_at_exit);
    EXPECT_TRUE(texts(ids().action).empty());
    EXPECT_EQ(marker(), "v.ilhome");
  } else {
    EXPECT_TRUE(g_process.status_shown_at_exit);
  }
}

const VerbRow kVerbRows[] = {
    {"ekstrak", {true, false, false}},    {"Ekstrak", {false, false, false}},
    {"ekstrak2", {false, false, false}},  {"arsip", {false, true, false}},
    {"ARSIP", {false, true, false}},      {"myarsipnow", {false, true, false}},
    {"xArSiPx", {false, true, false}},    {"bakar", {false, false, true}},
    {"BaKaR", {false, false, true}},      {"arsipbakar", {false, true, true}},
    {"bakararsip", {false, true, true}},  {"", {false, false, false}},
    {"something", {false, false, false}},
};
INSTANTIATE_TEST_SUITE_P(Verbs, EachVerb, ::testing::ValuesIn(kVerbRows),
                         [](const ::testing::TestParamInfo<VerbRow>& row) {
                           return test_util::case_name(row.param.verb);
                         });

TEST_F(VerbTest, PackRunsBeforeBurnWhateverTheWordOrder) {
  prepare();
  EXPECT_EQ(run("bakararsip"), kExitDone);
  // The archive holds the profile as it was before the burn.
  EXPECT_NE(read_bytes(arch("v.ilhome")).find("profile data"), std::string::npos);
  EXPECT_EQ(read_bytes(profile() / "p.txt"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().action),
            (std::vector<std::string>{"Keeping your memories...",
                                      "Incinerating private data and history..."}));
}

TEST_F(VerbTest, MissingArgumentsDoNothingAndFurtherOnesAreIgnored) {
  prepare();
  // The current directory must never stand in for a missing home.
  EXPECT_EQ(runArgs({}), kExitDone);
  EXPECT_EQ(runArgs({"bakar"}), kExitDone);
  EXPECT_EQ(runArgs({"bakar", home_}), kExitDone);
  EXPECT_EQ(runArgs({"arsip", home_}), kExitDone);
  EXPECT_EQ(runArgs({"bakar", "", arch_}), kExitDone);
  EXPECT_EQ(outcome().burned, false);
  EXPECT_EQ(outcome().packed, false);
  EXPECT_EQ(marker(), "v.ilhome");
  EXPECT_EQ(runArgs({"arsip", home_, arch_, "bakar", "more"}), kExitDone);
  EXPECT_TRUE(outcome().packed);
  EXPECT_FALSE(outcome().burned);
}

TEST(ProgressDisplay, PercentageDropsTheFraction) {
  struct Row {
    long long numerator, denominator;
    const char* text;
  };
  const Row rows[] = {{1, 3, "33%"},   {2, 3, "66%"},  {0, 3, "0%"},   {34, 87, "39%"},
                      {81, 87, "93%"}, {3, 3, "100%"}, {1, 4096, "0%"}};
  for (const Row& r : rows) {
    EXPECT_EQ(percent_text(r.numerator, r.denominator), r.text)
        << r.numerator << "/" << r.denominator;
  }
}

TEST_F(ProgramTest, ShowProgressSetsBothLabels) {
  program_setup({"ilhome", "x", "h", "a"});
  show_progress("mail/a.txt", 2, 3);
  EXPECT_EQ(getText(ids().file), shown("mail/a.txt"));
  EXPECT_EQ(getText(ids().percent), "66%");
}

// The display receives every file but draws one only when the interval has
// gone by since the last drawing, when the percentage changes, or at the
// last item; the first file after the status window is shown is drawn at once.
TEST_F(ProgramTest, ProgressIsDrawnAsOftenAsItCanBeSeen) {
  program_setup({"ilhome", "x", "h", "a"});
  struct Call {
    double tick;
    const char* name;
    long long numerator;  // of 1000
    bool drawn;
  };
  const Call calls[] = {
      {100.000, "a", 1, true},  {100.010, "b", 2, false},  {100.020, "c", 3, false},
      {100.032, "d", 4, false}, {100.034, "e", 5, true},   {100.040, "f", 6, false},
      {100.045, "g", 10, true}, {100.046, "h", 11, false}, {100.047, "i", 1000, true},
  };
  g_process.ticks.clear();
  for (const Call& c : calls) g_process.ticks.push_back(c.tick);
  show_status("x");
  std::vector<std::string> drawn;
  for (const Call& c : calls) {
    show_progress(c.name, c.numerator, 1000);
    if (c.drawn) drawn.push_back(c.name);
  }
  EXPECT_EQ(texts(ids().file), drawn);
  EXPECT_EQ(texts(ids().percent), (std::vector<std::string>{"0%", "0%", "1%", "100%"}));
}

TEST_F(ProgramTest, HeldBackFileIsDrawnWhenTheRunEnds) {
  program_setup({"ilhome", "x", "h", "a"});
  show_status("x");
  show_progress("a", 1, 1000);
  show_progress("b", 2, 1000);
  flush_progress();
  flush_progress();  // nothing held any more
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"a", "b"}));
  // A new run draws its first file whatever the clock says.
  show_status("y");
  show_progress("c", 3, 1000);
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"a", "b", "c"}));
}

// An unpack of many small files with the clock standing still: the percentage
// changes only every few files, and the last file comes before 100%.
TEST_F(ProgramTest, UnpackEndsShowingItsLastFile) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 500; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "f%03d", i);
    files.emplace_back(name, "x");
  }
  write_bytes(arch(kDefaultArchive), make_archive(files));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  const std::vector<std::string> shown = texts(ids().file);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), "f499");
  EXPECT_EQ(texts(ids().percent).back(), "99%");
  EXPECT_LT(shown.size(), files.size());
}

TEST_F(ProgramTest, BurnDisplayNameDropsTheHomeDirectory) {
  struct Row {
    const char* home;
    const char* path;
    const char* shown;
  };
  const Row rows[] = {
      {"C:\\P", "C:\\P\\profile\\cache\\x.dat", "profile/cache/x.dat"},
      {"C:\\P", "c:\\p\\a.txt", "a.txt"},  // letters A-Z folded
      {"C:\\P", "D:\\Other\\x.dat", "D:/Other/x.dat"},
      {"C:\\P\\", "C:\\P\\a.txt", "a.txt"},
      {"/tmp/h", "/tmp/h\\sub\\b.txt", "sub/b.txt"},
      {"C:\\P", "X:\\C:\\P\\a", "X:/C:/P/a"},  // only at the front
  };
  for (const Row& r : rows) {
    program_setup({"ilhome", "bakar", r.home, "a"});
    EXPECT_EQ(burn_display_name(r.path), r.shown) << r.path;
  }
}

}  // namespace

// An Error box right after the status window appears (the marker cannot be
// written) shows over that window: its action label already names the run.
TEST_F(ProgramTest, StatusWindowIsSeenOnlyWithItsRunsCaption) {
  write_bytes(arch(kDefaultArchive), make_archive({{"u.txt", "unpacked"}}));
  std::vector<std::string> captions_under_boxes;
  face_->on_message_box = [&](const tk::test::MessageBoxShown&) {
    if (tk::headless::control(ids().status)->visible) {
      captions_under_boxes.push_back(tk::getText(ids().action));
    }
  };
  io_fail_nth(IoFault::kOpen, 1);  // the marker
  EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  io_clear_faults();
  EXPECT_EQ(captions_under_boxes, (std::vector<std::string>{"Preparing your dinner..."}));
}
