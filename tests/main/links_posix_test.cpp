// POSIX side of the burn tests: symbolic links below the home directory are
// never written through and never followed, and names that only POSIX file
// systems allow are burned whole.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tests/main/program_fixture.h"

namespace {

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
