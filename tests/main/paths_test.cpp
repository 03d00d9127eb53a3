// Paths as the user gives and reads them: a home directory with trailing
// separators, and the separators that messages show.
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace tk;

// The path in the system's own form, one kind of separator throughout.
std::string native(const fs::path& path) { return path.string(); }

struct TrailingSeparators {
  const char* what;
  const char* suffix;
};

void PrintTo(const TrailingSeparators& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class HomeWithTrailingSeparators : public ProgramTest,
                                   public ::testing::WithParamInterface<TrailingSeparators> {};

TEST_P(HomeWithTrailingSeparators, KeepsTheSettingsPathsWhole) {
  const char* suffix = GetParam().suffix;
  const std::string settings_path = native(profile() / "x");
  write_bytes(profile() / "ilvar6.ini", "dir=" + settings_path + "\n");
  write_bytes(arch(kMarkerName), "plain.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  write_bytes(arch(kMarkerName), "given.ilhome");
  EXPECT_EQ(runArgs({"arsip", home_ + suffix, arch_}), kExitDone);
  const std::string stored = read_bytes(arch("plain.ilhome"));
  // The home directory's text, and nothing more, became the placeholder.
  EXPECT_NE(stored.find("dir=<akar2>" + settings_path.substr(home_.size()) + "\n"),
            std::string::npos);
  EXPECT_EQ(read_bytes(arch("given.ilhome")), stored);

  // Unpacked under another home, also given with the separators.
  fs::rename(arch("given.ilhome"), arch(kDefaultArchive));
  const fs::path second = root_ / "second";
  EXPECT_EQ(runArgs({"ekstrak", second.string() + suffix, arch_}), kExitDone);
  EXPECT_EQ(read_bytes(second / "profile" / "ilvar6.ini"),
            "dir=" + native(second / "profile" / "x") + "\n");
}

const TrailingSeparators kTrailingSeparators[] = {
    {"one backslash", "\\"},
    {"two backslashes", "\\\\"},
    {"one slash", "/"},
    {"two slashes", "//"},
};
INSTANTIATE_TEST_SUITE_P(Separators, HomeWithTrailingSeparators,
                         ::testing::ValuesIn(kTrailingSeparators), test_util::NameByWhat());

TEST_F(ProgramTest, MessagesShowPathsWithTheSystemsSeparator) {
  struct Row {
    const char* what;
    const char* verb;
    std::function<void()> prepare;
    std::function<std::string()> text;
    int exit_code;
  };
  const Row rows[] = {
      {"unpack", "ekstrak",
       [this] {
         write_bytes(arch(kDefaultArchive), make_archive({{"a.txt", "a"}}));
         io_fail_nth(IoFault::kOpen, 2);  // the marker opens, the archive does not
       },
       [this] {
         return "Failed to set up profile.\n\nProfile dir = " + home_ +
                "\nProfile file = " + native(fs::path(arch_) / kDefaultArchive) +
                reason_of(IoFault::kOpen);
       },
       kExitNoProfile},
      {"pack", "arsip",
       [this] {
         write_bytes(profile() / "a.txt", "a");
         write_bytes(arch(kMarkerName), "missing\\work.ilhome");
       },
       [this] {
         return "Failed to save profile.\n\nProfile dir = " + home_ +
                "\nProfile file = " + native(fs::path(arch_) / "missing" / "work.ilhome");
       },
       kExitDone},
  };
  for (const Row& r : rows) {
    fresh();
    r.prepare();
    EXPECT_EQ(run(r.verb), r.exit_code) << r.what;
    io_clear_faults();
    ASSERT_EQ(face_->message_boxes.size(), 1u) << r.what;
    EXPECT_EQ(face_->message_boxes[0].text, r.text()) << r.what;
  }
}

}  // namespace
