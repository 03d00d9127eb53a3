// POSIX side: the built program run as a process, with the terminal face
// reading the chooser's answers from standard input.
#include <sys/wait.h>

#include <cstdlib>

#include "tests/main/program_fixture.h"

namespace {

class ProcessTest : public ProgramTest {
 protected:
  // Runs the program with the given standard input; its exit code.
  int exec(const std::string& verb, const std::string& home, const std::string& input) {
    write_bytes(root_ / "stdin.txt", input);
    const std::string command = std::string("'") + ILHOME_PROGRAM + "' '" + verb + "' '" + home +
                                "' '" + arch_ + "' < '" + (root_ / "stdin.txt").string() +
                                "' 2> '" + (root_ / "stderr.txt").string() + "'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string err() const { return read_bytes(root_ / "stderr.txt"); }
};

TEST_F(ProcessTest, PackThenUnpackIntoASecondHome) {
  write_bytes(profile() / "ilvar6.ini", "path=" + home_ + "/profile\n");
  write_bytes(profile() / "mail" / "a.txt", "hi");
  write_bytes(profile() / "cache4" / "big.bin", "cache");
  write_bytes(profile() / "old.bak", "backup");
  write_bytes(arch(kMarkerName), "demo.ilhome");
  EXPECT_EQ(exec("arsip", home_, ""), 0);
  EXPECT_FALSE(markerExists());
  EXPECT_NE(err().find("Keeping your memories...  mail/a.txt  100%\n"), std::string::npos) << err();
  const std::string archive = read_bytes(arch("demo.ilhome"));
  EXPECT_NE(archive.find("path=<akar2>/profile\n"), std::string::npos);
  EXPECT_EQ(archive.find("cache"), std::string::npos);
  EXPECT_EQ(archive.find("backup"), std::string::npos);

  fs::rename(arch("demo.ilhome"), arch(kDefaultArchive));
  const std::string second = (root_ / "second").string();
  EXPECT_EQ(exec("ekstrak", second, ""), 0);  // no question asked
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(root_ / "second" / "profile" / "ilvar6.ini"),
            "path=" + second + "/profile\n");
  EXPECT_EQ(read_bytes(root_ / "second" / "profile" / "mail" / "a.txt"), "hi");
}

TEST_F(ProcessTest, ChooserAnswersFromStandardInput) {
  write_bytes(arch("a.ilhome"), make_archive({{"from-a", "a"}}));
  write_bytes(arch("b.ilhome"), make_archive({{"from-b", "b"}}));
  EXPECT_EQ(exec("ekstrak", home_, "1\ny\n"), 0);
  EXPECT_NE(err().find("Please select an Ilvar Portable profile or type a new one:\n"),
            std::string::npos)
      << err();
  EXPECT_NE(err().find("Warning: Your selected profile file will be named 'default'."),
            std::string::npos)
      << err();
  EXPECT_TRUE(fs::exists(profile() / "from-a"));
  EXPECT_FALSE(fs::exists(arch("a.ilhome")));
  EXPECT_TRUE(fs::exists(arch(kDefaultArchive)));
  EXPECT_EQ(marker(), "default.ilhome");
}

TEST_F(ProcessTest, EndOfInputAtTheChooserExitsWith77) {
  write_bytes(arch("a.ilhome"), make_archive({{"from-a", "a"}}));
  EXPECT_EQ(exec("ekstrak", home_, ""), 77);
  EXPECT_FALSE(markerExists());
  EXPECT_FALSE(fs::exists(profile()));
}

TEST_F(ProcessTest, BurnAndUnknownVerb) {
  write_bytes(root_ / "home" / "h.txt", "history");
  EXPECT_EQ(exec("nothing", home_, ""), 0);
  EXPECT_EQ(err(), "");
  EXPECT_EQ(read_bytes(root_ / "home" / "h.txt"), "history");
  EXPECT_EQ(exec("BAKAR", home_, ""), 0);
  EXPECT_EQ(read_bytes(root_ / "home" / "h.txt"), std::string(4096, '\0'));
  EXPECT_NE(err().find("Incinerating private data and history...  h.txt  100%\n"),
            std::string::npos);
}

}  // namespace
