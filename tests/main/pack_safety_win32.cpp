// Windows side of the pack's safety: a file a running browser holds open
// without sharing, and the colon that names a drive or a stream.
#include <windows.h>

#include "tests/main/program_fixture.h"

namespace {

using namespace tk;

TEST_F(ProgramTest, FileHeldWithoutSharingKeepsItsEarlierCopy) {
  write_bytes(profile() / "cookies.sqlite", "new cookies");
  write_bytes(profile() / "places.sqlite", "new places");
  write_bytes(profile() / "prefs.js", "new prefs");
  write_bytes(arch("w.ilhome"), make_archive({{"cookies.sqlite", "saved cookies"}}));
  write_bytes(arch(kMarkerName), "w.ilhome");
  // A browser that is still running holds its databases like this.
  HANDLE held[2];
  int n = 0;
  for (const char* name : {"cookies.sqlite", "places.sqlite"}) {
    held[n] = CreateFileA((profile() / name).string().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held[n], INVALID_HANDLE_VALUE) << name;
    ++n;
  }
  EXPECT_EQ(run("arsip"), kExitDone);
  for (HANDLE h : held) CloseHandle(h);
  EXPECT_EQ(read_bytes(arch("w.ilhome")),
            make_archive({{"cookies.sqlite", "saved cookies"}, {"prefs.js", "new prefs"}}));
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{
                {"Some files of the profile could not be read and were not saved:\n\n"
                 "cookies.sqlite\nplaces.sqlite\n\nWhere the profile file held an earlier copy "
                 "of one of these files, that copy was kept.",
                 "Warning", 0}}));
  EXPECT_FALSE(markerExists());
}

TEST_F(ProgramTest, ColonNeverNamesADriveOrStreamHere) {
  const std::string stored = make_archive({{"saved.txt", "only copy"}});
  write_bytes(profile() / "a.txt", "a");
  for (const char* name : {"c:x.ilhome", "default.ilhome:stream", "C:\\x.ilhome"}) {
    const std::string content = name;
    face_->message_boxes.clear();
    write_bytes(arch(kDefaultArchive), stored);
    write_bytes(arch(kMarkerName), content);
    EXPECT_EQ(run("arsip"), kExitDone) << content;
    ASSERT_EQ(face_->message_boxes.size(), 1u) << content;
    EXPECT_EQ(face_->message_boxes[0].text, "Failed to save profile.\n\nProfile dir = " + home_ +
                                                "\nProfile file = " + arch_ + "\\" + content)
        << content;
    EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored) << content;
    EXPECT_EQ(marker(), content) << content;
  }
  fs::remove(arch(kDefaultArchive));
  startWith("c:x");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "c_x.ilhome");
}

}  // namespace
