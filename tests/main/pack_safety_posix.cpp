// POSIX side of the pack's safety: links where the marker, the profile, the
// temporary or the archive should be, permission bits, files no one may read,
// names with a colon, and the lock between real processes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "support/display_path.h"
#include "support/text.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

extern char** environ;

namespace {

using namespace tk;

std::string failed_to_save(const std::string& home, const std::string& archive) {
  return "Failed to save profile.\n\nProfile dir = " + home +
         "\nProfile file = " + display_path(archive);
}

TEST_F(ProgramTest, MarkerThatIsALinkIsRefusedAndLeft) {
  const std::string stored = make_archive({{"saved.txt", "only copy"}});
  write_bytes(arch(kDefaultArchive), stored);
  write_bytes(root_ / "elsewhere" / "name", kDefaultArchive);
  write_bytes(profile() / "a.txt", "a");
  ASSERT_EQ(symlink((root_ / "elsewhere" / "name").c_str(), arch(kMarkerName).c_str()), 0);
  EXPECT_EQ(run("arsip"), kExitDone);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  // The system's reason: the marker is not followed through the link.
  EXPECT_EQ(face_->message_boxes[0].text,
            failed_to_save(home_, arch_) + "\n\n" + std::strerror(ELOOP));
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
  EXPECT_TRUE(fs::is_symlink(arch(kMarkerName)));
  EXPECT_EQ(read_bytes(root_ / "elsewhere" / "name"), kDefaultArchive);
}

TEST_F(ProgramTest, PackOnAFullDiskSaysSoInTheSystemsWords) {
  const std::string stored = make_archive({{"saved.txt", "only copy"}});
  write_bytes(arch(kDefaultArchive), stored);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  write_bytes(profile() / "a.txt", std::string(1000, 'a'));
  io_fail_nth(IoFault::kWrite, 1);
  EXPECT_EQ(run("arsip"), kExitDone);
  io_clear_faults();
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].text,
            failed_to_save(home_, arch(kDefaultArchive).string()) + "\n\nNo space left on device");
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
}

struct ProfileLink {
  const char* what;
  const char* target;  // relative to the home directory
};

void PrintTo(const ProfileLink& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class ProfileLinks : public ProgramTest, public ::testing::WithParamInterface<ProfileLink> {};

TEST_P(ProfileLinks, AreNotPacked) {
  const ProfileLink& r = GetParam();
  const std::string stored = make_archive({{"saved.txt", "only copy"}});
  write_bytes(root_ / "home" / "real" / "a.txt", "a");
  write_bytes(arch(kDefaultArchive), stored);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  ASSERT_EQ(symlink(r.target, profile().c_str()), 0);
  EXPECT_EQ(run("arsip"), kExitDone);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].text, failed_to_save(home_, arch_ + "\\" + kDefaultArchive));
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
  EXPECT_EQ(marker(), kDefaultArchive);
}

const ProfileLink kProfileLinks[] = {
    {"dangling (a pulled stick)", "gone/profile"},
    {"a loop", "profile"},
    {"a real directory elsewhere", "real"},
};
INSTANTIATE_TEST_SUITE_P(Kinds, ProfileLinks, ::testing::ValuesIn(kProfileLinks),
                         test_util::NameByWhat());

TEST_F(ProgramTest, PlantedLinksAtTemporaryNamesAreNeverWrittenThrough) {
  write_bytes(root_ / "outside" / "precious", "precious");
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "v.ilhome");
  // Where a fixed temporary name would be, and one of the pack's own shape.
  for (const char* name : {"v.ilhome.ilhome-tmp", "~ilhome-0123abcd.tmp"}) {
    ASSERT_EQ(symlink((root_ / "outside" / "precious").c_str(), arch(name).c_str()), 0);
  }
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(root_ / "outside" / "precious"), "precious");
  EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive({{"a.txt", "a"}}));
  EXPECT_TRUE(fs::is_symlink(arch("~ilhome-0123abcd.tmp")));
}

TEST_F(ProgramTest, ArchiveThatIsALinkIsReplacedAtItsTarget) {
  write_bytes(root_ / "other drive" / "real.ilhome", make_archive({{"old.txt", "old"}}));
  ASSERT_EQ(symlink("../other drive/real.ilhome", arch("v.ilhome").c_str()), 0);
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "v.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_TRUE(fs::is_symlink(arch("v.ilhome")));
  EXPECT_EQ(read_bytes(root_ / "other drive" / "real.ilhome"), make_archive({{"a.txt", "a"}}));
  std::size_t entries = 0;
  for (const auto& item : fs::directory_iterator(root_ / "other drive")) {
    (void)item;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);  // no temporary left beside the target
}

TEST_F(ProgramTest, ArchiveKeepsItsPermissionBits) {
  for (const mode_t mode : {0600, 0640, 0604}) {
    write_bytes(arch("v.ilhome"), make_archive({{"old.txt", "old"}}));
    ASSERT_EQ(chmod(arch("v.ilhome").c_str(), mode), 0);
    write_bytes(profile() / "a.txt", "a");
    write_bytes(arch(kMarkerName), "v.ilhome");
    EXPECT_EQ(run("arsip"), kExitDone) << mode;
    struct stat st {};
    ASSERT_EQ(stat(arch("v.ilhome").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
    EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive({{"a.txt", "a"}})) << mode;
  }
}

TEST_F(ProgramTest, WarningNamesTenUnreadableFilesAndCountsTheRest) {
  // f10 is a file no one may read, which holds only when the tests do not
  // run as root; f11 to f21 are files of 4 GiB, more than a record holds,
  // which no one can store (sparse, so they cost no disk). Every other one
  // has an earlier copy.
  const bool root_reads_all = geteuid() == 0;
  write_bytes(profile() / "f10", "new f10");
  ASSERT_EQ(chmod((profile() / "f10").c_str(), 0), 0);
  std::vector<std::pair<std::string, std::string>> old_records;
  std::vector<std::pair<std::string, std::string>> expected;
  std::vector<std::string> unread;
  for (int i = 10; i < 22; ++i) {
    const std::string name = "f" + std::to_string(i);
    if (i > 10) {
      write_bytes(profile() / name, "");
      std::error_code error;
      fs::resize_file(profile() / name, 0x100000000ULL, error);
      if (error) GTEST_SKIP() << "no sparse 4 GiB file here: " << error.message();
    }
    const bool has_copy = i % 2 == 0;
    if (has_copy) old_records.emplace_back(name, "saved " + name);
    if (i == 10 && root_reads_all) {
      expected.emplace_back(name, "new f10");
      continue;
    }
    unread.push_back(name);
    if (has_copy) expected.emplace_back(name, "saved " + name);
  }
  write_bytes(profile() / "z.txt", "z");
  expected.emplace_back("z.txt", "z");
  write_bytes(arch("v.ilhome"), make_archive(old_records));
  write_bytes(arch(kMarkerName), "v.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  std::string names;
  for (std::size_t i = 0; i < 10; ++i) names += "\n" + unread[i];
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{
                {"Some files of the profile could not be read and were not saved:\n" + names +
                     "\nand " + std::to_string(unread.size() - 10) +
                     " more\n\nWhere the profile file held an earlier copy of one of these "
                     "files, that copy was kept.",
                 "Warning", 0}}));
  EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive(expected));
  EXPECT_FALSE(markerExists());
}

// Makes below `base` directories of 200-byte names, each inside the one
// before, until the whole path passes the system's limit, made relative to
// each other (no call takes the whole path), and a file in the last one.
// Returns the path below `base` with slashes, and in `first_unlisted` the
// first directory whose whole path passes the limit, with a slash.
std::string make_too_deep(const fs::path& base, const std::string& file_bytes,
                          std::string& first_unlisted) {
  std::string relative;
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  for (char c = 'a'; fd >= 0 && base.string().size() + relative.size() < PATH_MAX + 200; ++c) {
    const std::string name(200, c);
    relative += name + "/";
    if (first_unlisted.empty() && base.string().size() + relative.size() >= PATH_MAX) {
      first_unlisted = relative;
    }
    const int next = ::mkdirat(fd, name.c_str(), 0777) == 0
                         ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY)
                         : -1;
    ::close(fd);
    fd = next;
  }
  if (fd < 0) return "";
  const int file = ::openat(fd, "f.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::close(fd);
  if (file < 0) return "";
  const bool written = ::write(file, file_bytes.data(), file_bytes.size()) ==
                       static_cast<ssize_t>(file_bytes.size());
  ::close(file);
  return written ? relative + "f.txt" : "";
}

// A directory the pack cannot list (here: its path passes the system's
// limit, which holds for root as well) is handled as an unreadable file:
// the warning names it and the records the old archive holds under it stay.
TEST_F(ProgramTest, DirectoryThatCannotBeListedKeepsItsRecordsAndIsNamed) {
  write_bytes(profile() / "a.txt", "new a");
  fs::create_directories(profile() / "deep");
  std::string unlisted;
  const std::string deep = make_too_deep(profile() / "deep", "new f", unlisted);
  ASSERT_FALSE(deep.empty());
  write_bytes(
      arch("v.ilhome"),
      make_archive({{"a.txt", "old a"}, {"deep/" + deep, "old f"}, {"gone.txt", "deleted since"}}));
  write_bytes(arch(kMarkerName), "v.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(
      face_->message_boxes,
      (std::vector<test::MessageBoxShown>{
          {"Some files of the profile could not be read and were not saved:\n\ndeep/" + unlisted +
               "\n\nWhere the profile file held an earlier copy of one of these files, "
               "that copy was kept.",
           "Warning", 0}}));
  EXPECT_EQ(read_bytes(arch("v.ilhome")),
            make_archive({{"a.txt", "new a"}, {"deep/" + deep, "old f"}}));
  EXPECT_FALSE(markerExists());
}

TEST_F(ProgramTest, ColonIsAnOrdinaryByteOfANameHere) {
  // On this system "a:(b.ilhome" is a file like any other: picked, it is
  // marked as it is listed, and the pack takes that marker.
  write_bytes(arch("a:(b.ilhome"), make_archive({{"from-a", "a"}}));
  write_bytes(arch("a.ilhome"), make_archive({{"wrong", "w"}}));
  answerChooser([](int) {
    setIndex(program().ids.list, 2);  // "a" sorts before "a:(b"
    test::click(program().ids.start);
  });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "a:(b.ilhome");
  EXPECT_TRUE(fs::exists(profile() / "from-a"));
  EXPECT_FALSE(fs::exists(profile() / "wrong"));
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(arch("a:(b.ilhome")), make_archive({{"from-a", "a"}}));
  startWith("c:x");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "c:x.ilhome");
}

// The built program as processes: the lock holds between them and goes with
// a process that is killed.
class LockProcessTest : public ProgramTest {
 protected:
  // Starts the program with standard input from `input` (a file or pipe).
  pid_t start(const std::string& verb, const fs::path& input) { return start(verb, input, home_); }
  pid_t start(const std::string& verb, const fs::path& input, const std::string& home) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = ILHOME_PROGRAM;
    std::vector<std::string> args = {program, verb, home, arch_};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  static int finish(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path empty_input() {
    write_bytes(root_ / "empty-input", "");
    return root_ / "empty-input";
  }
  std::string lockPath() const { return join_path(arch_, kLockName); }
};

TEST_F(LockProcessTest, SecondProcessWaitsForTheFirst) {
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "v.ilhome");
  FileLock first;  // the first start, still working
  ASSERT_EQ(first.acquire(lockPath()), FileLock::Result::kHeld);
  const pid_t second = start("arsip", empty_input());
  ASSERT_GT(second, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_FALSE(fs::exists(arch("v.ilhome")));  // still waiting
  EXPECT_EQ(marker(), "v.ilhome");
  first.release();
  EXPECT_EQ(finish(second), 0);
  EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive({{"a.txt", "a"}}));
}

TEST_F(LockProcessTest, KilledStartNeverBlocksTheNext) {
  write_bytes(arch("a.ilhome"), make_archive({{"from-a", "a"}}));
  // The chooser waits on a pipe that never answers, with the lock held.
  const fs::path pipe = root_ / "answers";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int keep_open = ::open(pipe.c_str(), O_RDWR);
  ASSERT_GE(keep_open, 0);
  const pid_t waiting = start("ekstrak", pipe);
  ASSERT_GT(waiting, 0);
  FileLock probe;
  bool held_by_child = false;
  for (int i = 0; i < 200 && !held_by_child; ++i) {
    held_by_child = probe.acquire(lockPath()) == FileLock::Result::kBusy;
    if (!held_by_child) {
      probe.release();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  EXPECT_TRUE(held_by_child);
  kill(waiting, SIGKILL);
  EXPECT_EQ(finish(waiting), -1);
  ::close(keep_open);
  EXPECT_EQ(probe.acquire(lockPath()), FileLock::Result::kHeld);
}

TEST_F(LockProcessTest, TwoPacksAtOnceLeaveOneWholeArchive) {
  // Two homes with different profiles pack into one archive at once; each
  // is big enough that the runs overlap.
  std::vector<std::pair<std::string, std::string>> files[2];
  std::string homes[2];
  for (int h = 0; h < 2; ++h) {
    homes[h] = (root_ / ("home" + std::to_string(h))).string();
    for (int i = 0; i < 150; ++i) {
      const std::string name = "f" + std::to_string(1000 + i);
      files[h].emplace_back(name, std::string(static_cast<std::size_t>(40000 + 30000 * h + i),
                                              static_cast<char>('a' + h)));
      write_bytes(fs::path(homes[h]) / "profile" / name, files[h].back().second);
    }
  }
  const std::string expected[2] = {make_archive(files[0]), make_archive(files[1])};
  for (int round = 0; round < 3; ++round) {
    write_bytes(arch(kMarkerName), "v.ilhome");
    const pid_t one = start("arsip", empty_input(), homes[0]);
    const pid_t two = start("arsip", empty_input(), homes[1]);
    ASSERT_GT(one, 0);
    ASSERT_GT(two, 0);
    EXPECT_EQ(finish(one), 0);
    EXPECT_EQ(finish(two), 0);
    const std::string archive = read_bytes(arch("v.ilhome"));
    EXPECT_TRUE(archive == expected[0] || archive == expected[1])
        << round << ": an archive of " << archive.size() << " bytes";
    EXPECT_FALSE(markerExists());
  }
}

}  // namespace
