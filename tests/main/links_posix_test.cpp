// POSIX side of the burn tests: symbolic links below the home directory are
// never written through and never followed, and names that only POSIX file
// systems allow are burned whole. Also the links, pipes and sockets that a
// profile or the archive directory may hold, for the unpack and the pack.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "support/display_path.h"
#include "support/text.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

// A socket at `path`, left there when the descriptor is closed. It is bound
// under a short name first (a socket's path has a small limit) and then
// moved into place (the scratch directory lies in the temporary directory).
bool make_socket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name =
      (fs::temp_directory_path() / ("ilhome-sock-" + std::to_string(::getpid()))).string();
  if (name.size() >= sizeof address.sun_path) {
    ::close(fd);
    return false;
  }
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  ::unlink(name.c_str());
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound && ::rename(name.c_str(), path.c_str()) == 0;
}

// The one "Error" box of a failed unpack or pack of the archive v.ilhome.
std::vector<tk::test::MessageBoxShown> only_error(const std::string& first_line,
                                                  const std::string& home,
                                                  const std::string& archive_dir) {
  return {{first_line + "\n\nProfile dir = " + home +
               "\nProfile file = " + display_path(join_path(archive_dir, "v.ilhome")),
           "Error", 0}};
}

struct UnusableArchive {
  const char* what;
  // Puts something at `archive` that exists but is no readable file.
  bool (*make)(const fs::path& archive, const fs::path& root);
};

void PrintTo(const UnusableArchive& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnusableArchives : public ProgramTest,
                         public ::testing::WithParamInterface<UnusableArchive> {};

// Only a name that is not there at all starts a new profile: anything else
// that cannot be read as a file is a failure, so no empty profile is set up
// that the next pack would put in place of the real archive.
TEST_P(UnusableArchives, AreAnUnpackFailureAndNeverANewProfile) {
  const UnusableArchive& r = GetParam();
  // Picked by its name in the chooser, which lists only files.
  ASSERT_TRUE(r.make(arch("v.ilhome"), root_)) << r.what;
  write_bytes(profile() / "left.txt", "left from before");
  startWith("v");
  EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  EXPECT_EQ(face_->message_boxes, only_error("Failed to set up profile.", home_, arch_));
  EXPECT_FALSE(markerExists());
  // So the next pack saves nothing anywhere.
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_FALSE(fs::exists(root_ / "stick" / "real.ilhome"));
  EXPECT_TRUE(fs::is_symlink(arch("v.ilhome")) || fs::exists(arch("v.ilhome")));
  EXPECT_EQ(read_bytes(profile() / "left.txt"), "left from before");
}

const UnusableArchive kUnusableArchives[] = {
    {"a link to a stick that is not mounted",
     [](const fs::path& a, const fs::path& root) {
       return symlink((root / "stick" / "real.ilhome").c_str(), a.c_str()) == 0;
     }},
    {"a link to a directory",
     [](const fs::path& a, const fs::path& root) {
       fs::create_directories(root / "stick");
       return symlink((root / "stick").c_str(), a.c_str()) == 0;
     }},
    {"a link that points at itself",
     [](const fs::path& a, const fs::path&) { return symlink(a.c_str(), a.c_str()) == 0; }},
    {"a directory", [](const fs::path& a, const fs::path&) { return fs::create_directories(a); }},
    {"a named pipe",
     [](const fs::path& a, const fs::path&) { return mkfifo(a.c_str(), 0600) == 0; }},
};
INSTANTIATE_TEST_SUITE_P(Kinds, UnusableArchives, ::testing::ValuesIn(kUnusableArchives),
                         test_util::NameByWhat());

// A link to an archive that is there is unpacked as that archive.
TEST_F(ProgramTest, ArchiveLinkToAFileIsUnpacked) {
  write_bytes(root_ / "stick" / "real.ilhome", make_archive({{"a.txt", "a"}}));
  ASSERT_EQ(symlink((root_ / "stick" / "real.ilhome").c_str(), arch(kDefaultArchive).c_str()), 0);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(profile() / "a.txt"), "a");
  EXPECT_EQ(marker(), kDefaultArchive);
}

// The pack makes no new file through a link, wherever it points.
TEST_F(ProgramTest, PackThroughALinkWhoseTargetIsMissingFails) {
  write_bytes(profile() / "a.txt", "a");
  fs::create_directories(root_ / "outside");
  ASSERT_EQ(symlink((root_ / "outside" / "new.ilhome").c_str(), arch("v.ilhome").c_str()), 0);
  write_bytes(arch(kMarkerName), "v.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(face_->message_boxes, only_error("Failed to save profile.", home_, arch_));
  EXPECT_FALSE(fs::exists(root_ / "outside" / "new.ilhome"));
  EXPECT_TRUE(fs::is_empty(root_ / "outside"));
  EXPECT_EQ(marker(), "v.ilhome");
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(root_ / "arch")) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kMarkerName, kLockName, "v.ilhome"}));
}

struct NonFile {
  const char* what;
  // Makes the entry `name` in the profile; `outside` holds a file of its own.
  bool (*make)(const fs::path& profile, const fs::path& outside);
};

void PrintTo(const NonFile& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class NonFiles : public ProgramTest, public ::testing::WithParamInterface<NonFile> {};

// Links, pipes and sockets hold no data of the profile: they are neither
// stored, nor followed, nor named in the warning about unreadable files.
TEST_P(NonFiles, AreNotPackedAndNotWarnedAbout) {
  const NonFile& r = GetParam();
  const fs::path outside = root_ / "outside";
  write_bytes(outside / "secret.txt", "not of the profile");
  write_bytes(outside / "dir" / "inner.txt", "not of the profile either");
  write_bytes(profile() / "a.txt", "a");
  write_bytes(profile() / "sub" / "b.txt", "b");
  ASSERT_TRUE(r.make(profile(), outside)) << r.what;
  write_bytes(arch(kMarkerName), "v.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive({{"a.txt", "a"}, {"sub/b.txt", "b"}}));
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(read_bytes(outside / "secret.txt"), "not of the profile");
}

const NonFile kNonFiles[] = {
    {"the lock link a browser leaves after a clean exit",
     [](const fs::path& p, const fs::path&) {
       return symlink("127.0.0.1:+4242", (p / "lock").c_str()) == 0;
     }},
    {"a link to a file outside the profile",
     [](const fs::path& p, const fs::path& o) {
       return symlink((o / "secret.txt").c_str(), (p / "sub" / "c.txt").c_str()) == 0;
     }},
    {"a link to a file inside the profile",
     [](const fs::path& p, const fs::path&) {
       return symlink("a.txt", (p / "z.txt").c_str()) == 0;
     }},
    {"a link to a directory outside",
     [](const fs::path& p, const fs::path& o) {
       return symlink((o / "dir").c_str(), (p / "dir").c_str()) == 0;
     }},
    {"a named pipe",
     [](const fs::path& p, const fs::path&) { return mkfifo((p / "pipe").c_str(), 0600) == 0; }},
    {"a socket", [](const fs::path& p, const fs::path&) { return make_socket(p / "sock"); }},
};
INSTANTIATE_TEST_SUITE_P(Kinds, NonFiles, ::testing::ValuesIn(kNonFiles), test_util::NameByWhat());

TEST_F(ProgramTest, BurnNeverWritesThroughLinks) {
  const fs::path outside = root_ / "outside";
  write_bytes(outside / "precious.txt", "precious");
  write_bytes(root_ / "home" / "own.txt", "own");
  ASSERT_EQ(symlink((outside / "precious.txt").c_str(), (root_ / "home" / "file-link").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (root_ / "home" / "dir-link").c_str()), 0);
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(read_bytes(outside / "precious.txt"), "precious");
  EXPECT_TRUE(fs::is_symlink(root_ / "home" / "file-link"));
  EXPECT_EQ(read_bytes(root_ / "home" / "own.txt"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"own.txt"}));
}

TEST_F(ProgramTest, BurnOverwritesNamesTheListingWouldReadAsPatterns) {
  struct Row {
    const char* name;
  };
  // "a?c" has a shorter sibling that the pattern matches first.
  const Row rows[] = {{"*"}, {"a?c"}, {"trailing blank "}, {"trailing tab\t"}};
  write_bytes(root_ / "home" / "abc", "1");
  for (const Row& r : rows) write_bytes(root_ / "home" / r.name, std::string(10000, 'x'));
  EXPECT_EQ(run("bakar"), kExitDone);
  for (const Row& r : rows) {
    const std::string bytes = read_bytes(root_ / "home" / r.name);
    EXPECT_EQ(bytes.size(), 12288u) << r.name;
    EXPECT_TRUE(all_zero(bytes)) << r.name;
  }
  EXPECT_EQ(read_bytes(root_ / "home" / "abc"), std::string(4096, '\0'));
}

// The marker is created without following a link in its place: a link to
// the archive would otherwise empty the archive before it is read.
TEST_F(ProgramTest, UnpackNeverWritesTheMarkerThroughALink) {
  const std::string archive = make_archive({{"a.txt", "a"}});
  write_bytes(arch(kDefaultArchive), archive);
  ASSERT_EQ(symlink(arch(kDefaultArchive).c_str(), arch(kMarkerName).c_str()), 0);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), archive);
  EXPECT_FALSE(fs::is_symlink(arch(kMarkerName)));
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(profile() / "a.txt"), "a");
}

// An archive that is a link keeps its bytes where the link leads; when that
// is inside the home, the burn must not zero the archive there.
TEST_F(ProgramTest, WhatArchiveLinksLeadToIsNeverBurned) {
  struct Row {
    const char* what;
    const char* archives;  // the archive directory, below the scratch root
    const char* link;      // an archive link in it, or below it
    const char* target;    // in the home
  };
  const Row rows[] = {
      {"link in an archive directory outside the home", "arch", "arch/w.ilhome",
       "home/stash/real.dat"},
      {"link below an archive directory in the home", "home/archives", "home/archives/old/v.ilhome",
       "home/stash/v.dat"},
  };
  for (const Row& r : rows) {
    fresh();
    const fs::path target = root_ / r.target;
    const fs::path link = root_ / r.link;
    const std::string archive = make_archive({{"a.txt", r.what}});
    write_bytes(target, archive);
    write_bytes(root_ / "home" / "stash" / "other.dat", "private");
    fs::create_directories(root_ / r.archives);
    fs::create_directories(link.parent_path());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << r.what;
    EXPECT_EQ(runArgs({"bakar", home_, (root_ / r.archives).string()}), kExitDone) << r.what;
    EXPECT_EQ(read_bytes(target), archive) << r.what;
    const std::string other = read_bytes(root_ / "home" / "stash" / "other.dat");
    EXPECT_TRUE(other.size() == 4096 && all_zero(other)) << r.what;
    EXPECT_TRUE(face_->message_boxes.empty()) << r.what;
  }
}

// Links, pipes and sockets hold no data of their own: passed over without
// a word, while a file beside them is wiped.
TEST_F(ProgramTest, BurnWarningLeavesOutWhatHoldsNoData) {
  const fs::path home = root_ / "home";
  write_bytes(home / "own.txt", "own");
  ASSERT_EQ(symlink("nowhere", (home / "dangling").c_str()), 0);
  ASSERT_EQ(symlink(root_.c_str(), (home / "dir-link").c_str()), 0);
  ASSERT_EQ(mkfifo((home / "pipe").c_str(), 0600), 0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = (home / "sock").string();
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(run("bakar"), kExitDone);
  ::close(sock);
  EXPECT_TRUE(face_->message_boxes.empty());
  const std::string own = read_bytes(home / "own.txt");
  EXPECT_TRUE(own.size() == 4096 && all_zero(own));
}

}  // namespace
