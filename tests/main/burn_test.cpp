// The burn run: zero blocks over every file below the home directory, the
// progress it shows, what it leaves alone, and the minimum display time.
#include "tests/main/program_fixture.h"

namespace {

using namespace tk;

TEST_F(ProgramTest, BurnOverwritesEveryFileWithWholeBlocks) {
  write_bytes(root_ / "home" / "a.txt", std::string(100, 'a'));
  write_bytes(root_ / "home" / "sub" / "b.txt", std::string(5000, 'b'));
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(texts(ids().action),
            (std::vector<std::string>{"Incinerating private data and history..."}));
  // The list is a.txt, sub, sub\b.txt: nothing is shown for the directory.
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
  EXPECT_EQ(texts(ids().percent), (std::vector<std::string>{"33%", "100%"}));
  EXPECT_EQ(read_bytes(root_ / "home" / "a.txt"), std::string(4096, '\0'));
  EXPECT_EQ(read_bytes(root_ / "home" / "sub" / "b.txt"), std::string(8192, '\0'));
  EXPECT_TRUE(program().burn_list.empty());
}

TEST_F(ProgramTest, BurnBlockCounts) {
  struct Row {
    std::size_t size;
    std::size_t after;
  };
  const Row rows[] = {{0, 4096},    {1, 4096},    {4095, 4096},
                      {4096, 8192}, {8191, 8192}, {8192, 12288}};
  auto path_of = [this](const Row& r) { return root_ / "home" / std::to_string(r.size); };
  for (const Row& r : rows) write_bytes(path_of(r), std::string(r.size, 'x'));
  EXPECT_EQ(run("bakar"), kExitDone);
  for (const Row& r : rows) {
    std::string bytes = read_bytes(path_of(r));
    EXPECT_EQ(bytes.size(), r.after) << r.size;
    EXPECT_TRUE(all_zero(bytes)) << r.size;
  }
}

TEST_F(ProgramTest, BurnOfAnEmptyHomeShowsNothingAndStillWaits) {
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_TRUE(texts(ids().file).empty());
  EXPECT_EQ(getText(ids().percent), "0%");
  EXPECT_EQ(g_sleeps, (std::vector<unsigned long>{1000}));
  EXPECT_TRUE(g_status_shown_at_exit);
}

TEST_F(ProgramTest, BurnOfAMissingHomeTouchesNothing) {
  write_bytes(root_ / "outside.txt", "keep");
  EXPECT_EQ(runArgs({"bakar", (root_ / "nothing-here").string(), arch_}), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "outside.txt"), "keep");
  EXPECT_EQ(g_sleeps, (std::vector<unsigned long>{1000}));
}

TEST_F(ProgramTest, FileThatDoesNotOpenIsLeftAndNotShown) {
  write_bytes(root_ / "home" / "a.txt", "locked");
  write_bytes(root_ / "home" / "b.txt", "open");
  io_fail_nth(IoFault::kOpen, 1);  // a.txt refuses to open, as a read-only file does
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "home" / "a.txt"), "locked");
  EXPECT_EQ(read_bytes(root_ / "home" / "b.txt"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(texts(ids().percent), (std::vector<std::string>{"100%"}));
}

TEST_F(ProgramTest, ArchivesBelowTheHomeDirectoryAreNeverBurned) {
  const fs::path inner = root_ / "home" / "archives";
  write_bytes(inner / "work.ilhome", make_archive({{"a", "b"}}));
  write_bytes(inner / "ilhome.inuse", "work.ilhome");
  write_bytes(root_ / "home" / "profile" / "history.dat", "visited");
  EXPECT_EQ(runArgs({"bakar", home_, inner.string()}), kExitDone);
  EXPECT_EQ(read_bytes(inner / "work.ilhome"), make_archive({{"a", "b"}}));
  EXPECT_EQ(read_bytes(inner / "ilhome.inuse"), "work.ilhome");
  EXPECT_EQ(read_bytes(root_ / "home" / "profile" / "history.dat"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"profile/history.dat"}));
}

TEST_F(ProgramTest, ArchivesInTheHomeDirectoryItselfAreNeverBurned) {
  write_bytes(root_ / "home" / "work.ilhome", "archive");
  write_bytes(root_ / "home" / "sub" / "x.dat", "data");
  EXPECT_EQ(runArgs({"bakar", home_, home_}), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "home" / "work.ilhome"), "archive");
  EXPECT_EQ(read_bytes(root_ / "home" / "sub" / "x.dat"), std::string(4096, '\0'));
}

TEST_F(ProgramTest, MinimumDisplayTimeCountsFromTheStartOfTheVerb) {
  struct Row {
    double start;
    double after_burn;
    bool sleeps;
  };
  const Row rows[] = {
      {100.0, 100.0, true}, {100.0, 100.99, true}, {100.0, 101.0, false}, {100.0, 105.5, false}};
  for (const Row& r : rows) {
    TearDown();
    SetUp();
    write_bytes(root_ / "home" / "a.txt", "a");
    g_ticks = {r.start, r.after_burn};
    EXPECT_EQ(run("bakar"), kExitDone);
    EXPECT_EQ(g_sleeps, r.sleeps ? std::vector<unsigned long>{1000} : std::vector<unsigned long>{})
        << r.after_burn;
  }
}

}  // namespace
