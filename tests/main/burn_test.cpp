// The burn run: zero blocks over every file below the home directory, the
// progress it shows, what it leaves alone, and the minimum display time.
#include <cstdlib>

#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace tk;

bool hard_link(const fs::path& target, const fs::path& link) {
  std::error_code error;
  fs::create_hard_link(target, link, error);
  return !error;
}

// The swap the burn's walk hook makes: `from` (below the home directory) is
// moved away and a link to `to` takes its name. The hook is a plain function
// without a context, so the swap it makes is this one static.
struct LinkSwap {
  fs::path from;
  fs::path to;
  bool made = false;
};
LinkSwap g_swap;
void swap_for_link() {
  std::error_code error;
  fs::rename(g_swap.from, fs::path(g_swap.from.string() + "-moved"), error);
  if (!error) fs::create_directory_symlink(g_swap.to, g_swap.from, error);
  g_swap.made = !error;
}

TEST_F(ProgramTest, BurnOverwritesEveryFileWithWholeBlocks) {
  write_bytes(root_ / "home" / "a.txt", std::string(100, 'a'));
  write_bytes(root_ / "home" / "sub" / "b.txt", std::string(5000, 'b'));
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(texts(ids().action),
            (std::vector<std::string>{"Incinerating private data and history..."}));
  // The list is a.txt, sub, sub\b.txt: nothing is shown for the directory.
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"a.txt", shown("sub/b.txt")}));
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

TEST_F(ProgramTest, BurnLengthIsWholeBlocksWhateverTheSize) {
  constexpr long long kFourGiB = 1LL << 32;
  struct Row {
    long long size;
    unsigned long long length;
  };
  const Row rows[] = {{-1, 0},
                      {0, 4096},
                      {kFourGiB - 1, kFourGiB},
                      {kFourGiB, kFourGiB + 4096},
                      {kFourGiB + 10, kFourGiB + 4096},
                      {1LL << 40, (1ULL << 40) + 4096}};
  for (const Row& r : rows) EXPECT_EQ(burn_length(r.size), r.length) << r.size;
}

// Writes more than 4 GiB of zeros (half a minute on a plain disk), so it runs
// only when ILHOME_BIG_FILE_TESTS is set and the disk has room for them; a
// sparse file's hole takes none until it is written.
TEST_F(ProgramTest, BurnZeroesEveryByteOfAFilePastFourGibibytes) {
  constexpr std::uintmax_t kSize = (std::uintmax_t{1} << 32) + 10;
  constexpr std::uintmax_t kRoomNeeded = kSize + (std::uintmax_t{2} << 30);
  if (std::getenv("ILHOME_BIG_FILE_TESTS") == nullptr) {
    GTEST_SKIP() << "writes 4 GiB; set ILHOME_BIG_FILE_TESTS to run it";
  }
  std::error_code error;
  const fs::space_info space = fs::space(root_, error);
  if (error || space.available < kRoomNeeded) GTEST_SKIP() << "not enough free disk space";
  const fs::path big = root_ / "home" / "big.dat";
  {
    std::ofstream out(big, std::ios::binary);
    out.write("head", 4);
    out.seekp(static_cast<std::streamoff>(kSize - 10));
    out.write("tail bytes", 10);
  }
  ASSERT_EQ(fs::file_size(big), kSize);
  EXPECT_EQ(run("bakar"), kExitDone);
  const std::uintmax_t burned = (kSize / 4096 + 1) * 4096;
  EXPECT_EQ(fs::file_size(big), burned);
  std::ifstream in(big, std::ios::binary);
  std::string head(4, 'x');
  in.read(head.data(), 4);
  EXPECT_TRUE(all_zero(head));
  // The last 4096 bytes of the original size and everything after them.
  const std::uintmax_t from = kSize - 4096;
  std::string tail(static_cast<std::size_t>(burned - from), 'x');
  in.seekg(static_cast<std::streamoff>(from));
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  EXPECT_EQ(static_cast<std::size_t>(in.gcount()), tail.size());
  EXPECT_TRUE(all_zero(tail));
}

// Whatever else shares a file's bytes (an archive, a file outside the home)
// would lose them too: such a file is passed over like one that does not open.
TEST_F(ProgramTest, BurnPassesOverFilesWithMoreThanOneName) {
  struct Row {
    fs::path target;  // existing name of the bytes
    fs::path link;    // second name, in the home
  };
  const fs::path home = root_ / "home";
  const Row rows[] = {{root_ / "outside" / "precious.txt", home / "outside-twin.txt"},
                      {root_ / "arch" / "work.ilhome", home / "sub" / "archive-twin.dat"},
                      {home / "twin-a.txt", home / "sub" / "twin-b.txt"}};
  write_bytes(home / "own.txt", "own");
  for (const Row& r : rows) {
    write_bytes(r.target, "keep " + r.target.filename().string());
    fs::create_directories(r.link.parent_path());
    if (!hard_link(r.target, r.link)) GTEST_SKIP() << "this system cannot make hard links here";
  }
  EXPECT_EQ(run("bakar"), kExitDone);
  for (const Row& r : rows) {
    EXPECT_EQ(read_bytes(r.target), "keep " + r.target.filename().string()) << r.link;
  }
  EXPECT_EQ(read_bytes(home / "own.txt"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"own.txt"}));
}

struct SwappedDirectory {
  const char* what;
  const char* swapped;  // below the home; the file is a/b/x.txt
  const char* outside;  // the link's target, below root_/outside
};

void PrintTo(const SwappedDirectory& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class SwappedDirectories : public ProgramTest,
                           public ::testing::WithParamInterface<SwappedDirectory> {};

// A directory of the home replaced by a link after the walk, at any level
// above the file, must not carry the writes outside the home.
TEST_P(SwappedDirectories, BurnNeverFollowsTheLink) {
  const SwappedDirectory& r = GetParam();
  const fs::path outside = root_ / "outside";
  write_bytes(root_ / "home" / "a" / "b" / "x.txt", "inside");
  write_bytes(root_ / "home" / "a" / "b" / "y.txt", "inside");
  write_bytes(outside / "b" / "x.txt", "precious");
  write_bytes(outside / "b" / "y.txt", "precious");
  g_swap = {root_ / "home" / r.swapped, outside / r.outside};
  set_burn_walk_hook(swap_for_link);
  EXPECT_EQ(run("bakar"), kExitDone);
  set_burn_walk_hook(nullptr);
  if (!g_swap.made) GTEST_SKIP() << "this system cannot make symbolic links here";
  EXPECT_EQ(read_bytes(outside / "b" / "x.txt"), "precious");
  EXPECT_EQ(read_bytes(outside / "b" / "y.txt"), "precious");
  EXPECT_TRUE(texts(ids().file).empty());
}

const SwappedDirectory kSwappedDirectories[] = {
    {"two levels above the file", "a", "."},
    {"the file's own directory", "a/b", "b"},
};
INSTANTIATE_TEST_SUITE_P(Levels, SwappedDirectories, ::testing::ValuesIn(kSwappedDirectories),
                         test_util::NameByWhat());

TEST_F(ProgramTest, BurnOfAnEmptyHomeShowsNothingAndStillWaits) {
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_TRUE(texts(ids().file).empty());
  EXPECT_EQ(getText(ids().percent), "0%");
  EXPECT_EQ(g_process.sleeps, (std::vector<unsigned long>{1000}));
  EXPECT_TRUE(g_process.status_shown_at_exit);
}

TEST_F(ProgramTest, BurnOfAMissingHomeTouchesNothing) {
  write_bytes(root_ / "outside.txt", "keep");
  EXPECT_EQ(runArgs({"bakar", (root_ / "nothing-here").string(), arch_}), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "outside.txt"), "keep");
  EXPECT_EQ(g_process.sleeps, (std::vector<unsigned long>{1000}));
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
  // Empty, as an unpack leaves it while it runs: a marker that names an
  // archive would have the burn ask first.
  write_bytes(inner / "ilhome.inuse", "");
  write_bytes(root_ / "home" / "profile" / "history.dat", "visited");
  EXPECT_EQ(runArgs({"bakar", home_, inner.string()}), kExitDone);
  EXPECT_EQ(read_bytes(inner / "work.ilhome"), make_archive({{"a", "b"}}));
  EXPECT_EQ(read_bytes(inner / "ilhome.inuse"), "");
  EXPECT_EQ(read_bytes(root_ / "home" / "profile" / "history.dat"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{shown("profile/history.dat")}));
}

TEST_F(ProgramTest, ArchivesInTheHomeDirectoryItselfAreNeverBurned) {
  write_bytes(root_ / "home" / "work.ilhome", "archive");
  write_bytes(root_ / "home" / "sub" / "x.dat", "data");
  EXPECT_EQ(runArgs({"bakar", home_, home_}), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "home" / "work.ilhome"), "archive");
  EXPECT_EQ(read_bytes(root_ / "home" / "sub" / "x.dat"), std::string(4096, '\0'));
}

struct DisplayTime {
  const char* what;
  double start;
  double after_burn;
  bool sleeps;
};

void PrintTo(const DisplayTime& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class DisplayTimes : public ProgramTest, public ::testing::WithParamInterface<DisplayTime> {};

TEST_P(DisplayTimes, CountFromTheStartOfTheVerb) {
  const DisplayTime& r = GetParam();
  write_bytes(root_ / "home" / "a.txt", "a");
  g_process.ticks = {r.start, r.after_burn};
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(g_process.sleeps,
            r.sleeps ? std::vector<unsigned long>{1000} : std::vector<unsigned long>{});
}

const DisplayTime kDisplayTimes[] = {
    {"no time passed", 100.0, 100.0, true},
    {"just under a second", 100.0, 100.99, true},
    {"one second", 100.0, 101.0, false},
    {"several seconds", 100.0, 105.5, false},
};
INSTANTIATE_TEST_SUITE_P(MinimumDisplay, DisplayTimes, ::testing::ValuesIn(kDisplayTimes),
                         test_util::NameByWhat());

}  // namespace
