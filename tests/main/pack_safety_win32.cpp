// Windows side of the pack's safety: a file a running browser holds open
// without sharing, the colon that names a drive or a stream, and names that
// differ only in letter case or are a short (8.3) name of another, which this
// system takes for one file.
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

// The warning after an unpack that names these records, one a line.
std::vector<test::MessageBoxShown> not_held_warning(const std::string& names) {
  return {{"Some files of the profile cannot be put on this computer:\n" + names +
               "\n\nThey stay in the profile file and are kept when the profile is saved again.",
           "Warning", 0}};
}

// A profile made where letter case tells names apart: this system can hold
// only one file of each such group. The others are named after the unpack
// and kept, unchanged, by the next pack; a file reached through another
// spelling of its directory alone is unpacked there and stored anew.
TEST_F(ProgramTest, NamesThatDifferOnlyInLetterCaseAreAllKept) {
  write_bytes(arch(kDefaultArchive), make_archive({{"A.txt", "upper"},
                                                   {"Dir/x.txt", "dir upper"},
                                                   {"a.txt", "lower"},
                                                   {"dir/x.txt", "dir lower"},
                                                   {"dir/y.txt", "y"},
                                                   {"ok.txt", "ok"}}));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(face_->message_boxes, not_held_warning("\na.txt\ndir/x.txt"));
  EXPECT_EQ(marker(), kDefaultArchive);
  EXPECT_EQ(read_bytes(profile() / "A.txt"), "upper");
  EXPECT_EQ(read_bytes(profile() / "Dir" / "x.txt"), "dir upper");
  EXPECT_EQ(read_bytes(profile() / "Dir" / "y.txt"), "y");

  face_->message_boxes.clear();
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), make_archive({{"A.txt", "upper"},
                                                             {"Dir/x.txt", "dir upper"},
                                                             {"Dir/y.txt", "y"},
                                                             {"ok.txt", "ok"},
                                                             {"a.txt", "lower"},
                                                             {"dir/x.txt", "dir lower"}}));
}

// A name this system refuses, made where it is an ordinary name: named after
// the unpack and kept by the next pack.
TEST_F(ProgramTest, NamesThisSystemRefusesAreNamedAndKept) {
  write_bytes(
      arch(kDefaultArchive),
      make_archive(
          {{"con.txt", "device name"}, {"a:b", "colon"}, {"trailing.", "dot"}, {"ok.txt", "ok"}}));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(face_->message_boxes, not_held_warning("\ncon.txt\na:b\ntrailing."));
  face_->message_boxes.clear();
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(
      read_bytes(arch(kDefaultArchive)),
      make_archive(
          {{"ok.txt", "ok"}, {"con.txt", "device name"}, {"a:b", "colon"}, {"trailing.", "dot"}}));
}

// The short (8.3) name this volume gives a directory named
// "longdirectoryname", as it would give it in the profile; empty when the
// volume makes no short names.
std::string short_name_of_long_directory(const fs::path& scratch) {
  const fs::path probe = scratch / "short-name-probe";
  fs::create_directories(probe / "longdirectoryname");
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetShortPathNameW((probe / "longdirectoryname").c_str(), buffer, MAX_PATH);
  fs::remove_all(probe);
  if (length == 0 || length >= MAX_PATH) return "";
  const std::wstring path(buffer, length);
  const std::wstring leaf = path.substr(path.find_last_of(L"\\/") + 1);
  if (leaf == L"longdirectoryname") return "";
  return fs::path(leaf).string();
}

// An archive from a system without short names holds a directory under its
// long name and another under what is this system's short name for it: the
// second names the first one's file. It is held back, named, and carried
// over by the next pack, so no record is lost.
TEST_F(ProgramTest, AShortNameThatNamesAnotherRecordsFileIsKept) {
  const std::string short_dir = short_name_of_long_directory(root_);
  if (short_dir.empty()) GTEST_SKIP() << "this volume makes no short names";
  std::vector<std::pair<std::string, std::string>> records = {
      {"longdirectoryname/keep.txt", "long"}, {short_dir + "/keep.txt", "short"}};
  for (int i = 1; i <= 10; ++i) {
    records.push_back({"f" + std::to_string(i) + ".txt", "data " + std::to_string(i)});
  }
  write_bytes(arch(kDefaultArchive), make_archive(records));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(face_->message_boxes, not_held_warning("\n" + short_dir + "/keep.txt"));
  EXPECT_EQ(read_bytes(profile() / "longdirectoryname" / "keep.txt"), "long");

  face_->message_boxes.clear();
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  // The files in the walk's (name) order, then the record carried over.
  std::vector<std::pair<std::string, std::string>> packed;
  for (const int i : {1, 10, 2, 3, 4, 5, 6, 7, 8, 9}) {
    packed.push_back({"f" + std::to_string(i) + ".txt", "data " + std::to_string(i)});
  }
  packed.push_back({"longdirectoryname/keep.txt", "long"});
  packed.push_back({short_dir + "/keep.txt", "short"});
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), make_archive(packed));
}

}  // namespace
