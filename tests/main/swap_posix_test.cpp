// POSIX side of the swap tests: what was private stays private, and links
// that lead from the archive directory into the profile directory.
#include <sys/stat.h>

#include "main/session.h"
#include "main/swap.h"
#include "tests/main/program_fixture.h"

namespace {

mode_t mode_of(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

// A browser keeps its passwords, cookies and history 0600 in a 0700
// directory; the unpack makes them so whatever the umask lets through.
TEST_F(ProgramTest, UnpackedProfileIsReadableByItsOwnerAlone) {
  const mode_t old_mask = ::umask(022);
  write_bytes(arch(kDefaultArchive),
              make_archive({{"logins.json", "secret"}, {"storage/default/ls.sqlite", "x"}}));
  // An old profile directory made open to all is replaced by a private one.
  fs::create_directories(profile());
  fs::permissions(profile(), fs::perms::all);
  write_bytes(root_ / "home" / kProfileRecordName, "saved");
  const int code = run(kVerbUnpack);
  ::umask(old_mask);
  EXPECT_EQ(code, kExitDone);
  EXPECT_EQ(mode_of(profile()), 0700u);
  EXPECT_EQ(mode_of(profile() / "storage"), 0700u);
  EXPECT_EQ(mode_of(profile() / "storage" / "default"), 0700u);
  EXPECT_EQ(mode_of(profile() / "logins.json"), 0600u);
  EXPECT_EQ(mode_of(profile() / "storage" / "default" / "ls.sqlite"), 0600u);
}

TEST_F(ProgramTest, NewProfileDirectoryIsPrivate) {
  const mode_t old_mask = ::umask(022);
  write_bytes(profile() / "old.txt", "old");
  write_bytes(root_ / "home" / kProfileRecordName, "wiped");
  startWith("fresh");
  const int code = run(kVerbUnpack);
  ::umask(old_mask);
  EXPECT_EQ(code, kExitDone);
  EXPECT_TRUE(fs::is_empty(profile()));
  EXPECT_EQ(mode_of(profile()), 0700u);
}

// The archive is a link to a file inside the profile directory: the unpack
// reads it whole and never writes it, and the old profile that holds it is
// moved aside rather than replaced, though a pack saved it.
TEST_F(ProgramTest, ArchiveLinkedIntoTheProfileIsNeverLost) {
  std::string big(600 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  const std::string archive = make_archive({{"a.txt", "a"}, {"big.bin", big}});
  write_bytes(profile() / "store" / "real.ilhome", archive);
  write_bytes(root_ / "home" / kProfileRecordName, "saved");
  fs::create_symlink(profile() / "store" / "real.ilhome", arch(kDefaultArchive));
  EXPECT_EQ(run(kVerbUnpack), kExitDone);
  EXPECT_EQ(read_bytes(profile() / "big.bin"), big);
  const fs::path aside = root_ / "home" / aside_name(g_process.now, 1);
  EXPECT_EQ(read_bytes(aside / "store" / "real.ilhome"), archive);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].title, "Warning");
}

// An archive directory that is a link to the profile directory is the
// profile directory: refused like it, with nothing touched.
TEST_F(ProgramTest, ArchiveDirectoryLinkedToTheProfileIsRefused) {
  write_bytes(profile() / "p.txt", "p");
  write_bytes(profile() / kDefaultArchive, make_archive({{"u.txt", "u"}}));
  const fs::path link = root_ / "archives";
  fs::create_directory_symlink(profile(), link);
  for (const char* verb : {kVerbUnpack, "arsip", "bakar"}) {
    SCOPED_TRACE(verb);
    face_->message_boxes.clear();
    EXPECT_EQ(runArgs({verb, home_, link.string()}),
              std::string(verb) == kVerbUnpack ? kExitNoProfile : kExitDone);
    ASSERT_EQ(face_->message_boxes.size(), 1u);
    EXPECT_EQ(face_->message_boxes[0].title, "Error");
    EXPECT_EQ(read_bytes(profile() / "p.txt"), "p");
    EXPECT_FALSE(fs::exists(profile() / kLockName));
    EXPECT_FALSE(fs::exists(profile() / kMarkerName));
  }
}

}  // namespace
