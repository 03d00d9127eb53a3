// Layout helpers: integers, record headers, parent paths, the settings-file
// test and the placeholder substitution in both directions.
#include "archive/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "archive/archive_input.h"
#include "archive_test_util.h"

namespace {

using namespace archive_test;

class RecordHeaderTest : public ScratchTest {
 protected:
  // Reads one header from `bytes`, whose "file" tag has been read already.
  bool read_header(const std::string& bytes, RecordHeader& header) {
    const std::string file_path = path("h");
    EXPECT_TRUE(write_bytes(file_path, bytes));
    File file = File::open(file_path, OpenMode::kRead);
    ArchiveInput input(file, bytes.size());
    unsigned char tag[kTagSize];
    EXPECT_EQ(kTagSize, input.read(tag, kTagSize));
    return read_record_header(input, header);
  }
};

TEST_F(RecordHeaderTest, WrittenAsTheFieldsInOrderAndReadBack) {
  const std::string names[] = {"", "a", "mail/a.txt", std::string(300, 'n') + "\xE9"};
  const std::uint32_t lengths[] = {0, 5, 0x80000001u, 0xFFFFFFFFu};
  const std::uint32_t checksums[] = {0, 0x12345678u, 0xFFFFFFFFu};
  for (const std::string& name : names) {
    for (std::uint32_t length : lengths) {
      for (std::uint32_t checksum : checksums) {
        std::string header;
        put_record_header(header, name, length, checksum);
        EXPECT_EQ("file" + le32(static_cast<std::uint32_t>(name.size())) + name + le32(length) +
                      le32(checksum) + "asli",
                  header)
            << name << " " << length;
        EXPECT_EQ(record_data_length_offset(name.size()), header.size() - kAfterNameSize);
        EXPECT_EQ(record_checksum_offset(name.size()), header.size() - kChecksumSize - kTagSize);
        RecordHeader read;
        ASSERT_TRUE(read_header(header, read)) << name;
        EXPECT_EQ(name, read.name);
        EXPECT_EQ(length, read.data_length);
        EXPECT_EQ(checksum, read.checksum);
      }
    }
  }
}

// A header cut anywhere is refused, and a name length past the end is
// refused before the name is given any memory.
TEST_F(RecordHeaderTest, CutShortOrOverlongIsRefused) {
  const std::string whole = record("abc", "", 9);
  for (std::size_t cut = kTagSize; cut < whole.size(); ++cut) {
    RecordHeader header;
    EXPECT_FALSE(read_header(whole.substr(0, cut), header)) << cut;
  }
  struct Case {
    const char* what;
    std::uint32_t name_length;
  };
  const Case cases[] = {{"one past the end", 4 + 12 + 1}, {"the largest", 0xFFFFFFFFu}};
  for (const Case& c : cases) {
    RecordHeader header;
    EXPECT_FALSE(read_header("file" + le32(c.name_length) + "abcd" + std::string(12, 'x'), header))
        << c.what;
    EXPECT_LT(header.name.capacity(), 1024u) << c.what;
  }
}

TEST(Format, U32IsLittleEndianAndUnsigned) {
  struct Case {
    std::uint32_t value;
    unsigned char bytes[4];
  };
  const Case cases[] = {
      {0, {0, 0, 0, 0}},
      {10, {0x0A, 0, 0, 0}},
      {0x12345678u, {0x78, 0x56, 0x34, 0x12}},
      {0x80000001u, {0x01, 0, 0, 0x80}},
      {0xFFFFFFFFu, {0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    unsigned char out[4] = {};
    put_u32le(out, c.value);
    EXPECT_EQ(0, std::memcmp(out, c.bytes, 4)) << c.value;
    EXPECT_EQ(c.value, get_u32le(c.bytes));
  }
}

TEST(Format, ParentPath) {
  struct Case {
    const char* path;
    const char* parent;
  };
  const Case cases[] = {
      {"C:\\P\\profile", "C:\\P"},
      {"C:\\profile", "C:"},
      {"C:\\P\\profile\\", "C:\\P\\profile"},
      {"\\profile", "\\"},
      {"/profile", "/"},
      {"profile", "profile"},
      {"C:/P\\profile", "C:/P"},
      {"C:\\P/profile", "C:\\P"},
      {"\\tmp\\x\\P\\profile", "\\tmp\\x\\P"},
      {"a/b/c", "a/b"},
      {"\\a/b", "\\"},
      {"\\", "\\"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.parent, parent_path(c.path)) << c.path;
}

TEST(Format, SettingsFileNames) {
  struct Case {
    const char* name;
    bool settings;
  };
  const Case cases[] = {
      {"ilvar6.ini", true},     {"ILVAR6.INI", true},
      {"sub/ilvar6.ini", true}, {"ilvar6.ini.old", true},
      {"IlVaR6.iNi", true},     {"xilvar6.inix", true},
      {"ilvar6.in", false},     {"ilvar7.ini", false},
      {"ilvar6_ini", false},    {"", false},
      {"ilvar6 .ini", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.settings, is_settings_file(c.name)) << c.name;
}

TEST(Format, Substitution) {
  struct Case {
    const char* stored;  // what the archive holds
    const char* writer_data;
    const char* writer_base;
    const char* reader_base;
    const char* read_back;
  };
  const Case cases[] = {
      // Moved to another home: packed from C:\P, unpacked into E:\Q.
      {"p=<akar2>\\profile", "p=C:\\P\\profile", "C:\\P", "E:\\Q", "p=E:\\Q\\profile"},
      // Plain text replacement, not limited to whole paths.
      {"<akar2>a", "C:\\Pa", "C:\\P", "D:", "D:a"},
      // Letter case matters on writing.
      {"c:\\p\\x", "c:\\p\\x", "C:\\P", "E:\\Q", "c:\\p\\x"},
      // Every occurrence, never overlapping.
      {"<akar2>;<akar2>;<akar2>", "C:;C:;C:", "C:", "\\home\\me",
       "\\home\\me;\\home\\me;\\home\\me"},
      {"<akar2>a", "aaa", "aa", "b", "ba"},
      // A replacement is not scanned again: the base path contains itself.
      {"<akar2>", "C:\\P", "C:\\P", "<akar2>x", "<akar2>x"},
      // A placeholder already in the file is expanded on reading as well.
      {"<akar2><akar2>", "<akar2>C:", "C:", "Z:", "Z:Z:"},
      {"", "", "C:\\P", "E:\\Q", ""},
      {"no path here", "no path here", "C:\\P", "E:\\Q", "no path here"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.stored, substitute_on_write(c.writer_data, c.writer_base)) << c.writer_data;
    EXPECT_EQ(c.read_back, substitute_on_read(c.stored, c.reader_base)) << c.stored;
  }
}

}  // namespace
