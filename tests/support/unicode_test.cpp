// UTF-8 checks and conversions, the command line split and Windows' name
// rules: the pieces every name passes through on its way to the system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/code_page.h"
#include "support/command_line.h"
#include "support/utf8.h"
#include "support/windows_names.h"
#include "tests/test_util/case_name.h"

namespace {

struct Utf8Case {
  const char* what;
  std::string bytes;
  bool valid;
  std::u16string units;  // what a valid text converts to
};

class Utf8Text : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Text, ValidExactlyWhenWellFormedAndConvertsBothWays) {
  const Utf8Case& c = GetParam();
  EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
  std::u16string units;
  EXPECT_EQ(utf8_to_utf16(c.bytes, units), c.valid);
  if (!c.valid) return;
  EXPECT_EQ(units, c.units);
  EXPECT_EQ(utf16_length(c.bytes), c.units.size());
  std::string back;
  utf16_to_utf8(units, back);
  EXPECT_EQ(back, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Text,
    testing::Values(Utf8Case{"empty", "", true, u""},
                    Utf8Case{"ascii", "prefs.js", true, u"prefs.js"},
                    Utf8Case{"cyrillic", "\xD0\x9A\xD0\xB8", true, u"\u041A\u0438"},
                    Utf8Case{"japanese", "\xE8\xA1\xA8.txt", true, u"\u8868.txt"},
                    Utf8Case{"fullwidth solidus", "\xEF\xBC\x8F", true, u"\uFF0F"},
                    Utf8Case{"emoji", "\xF0\x9F\x98\x80", true, u"\U0001F600"},
                    Utf8Case{"last code point", "\xF4\x8F\xBF\xBF", true, u"\U0010FFFF"},
                    Utf8Case{"latin-1 byte", "caf\xE9", false, u""},
                    Utf8Case{"cp1251 bytes", "\xCA\xE8", false, u""},
                    Utf8Case{"lone continuation", "\x80", false, u""},
                    Utf8Case{"cut short", "\xE8\xA1", false, u""},
                    Utf8Case{"overlong slash", "\xC0\xAF", false, u""},
                    Utf8Case{"overlong three bytes", "\xE0\x80\xAF", false, u""},
                    Utf8Case{"encoded surrogate", "\xED\xA0\x80", false, u""},
                    Utf8Case{"past U+10FFFF", "\xF4\x90\x80\x80", false, u""},
                    Utf8Case{"five-byte lead", "\xF8\x88\x80\x80\x80", false, u""}),
    test_util::NameByWhat());

TEST(Utf16Names, LoneSurrogateComesBackAsBytesNoConversionTakes) {
  const std::u16string name = {u'a', static_cast<char16_t>(0xD800), u'b'};
  std::string bytes;
  utf16_to_utf8(name, bytes);
  EXPECT_EQ(bytes,
            "a\xED\xA0\x80"
            "b");
  std::u16string again;
  EXPECT_FALSE(utf8_to_utf16(bytes, again));
}

TEST(Utf8Display, BytesThatAreNotUtf8ShowAsReplacementCharacters) {
  EXPECT_EQ(utf8_to_utf16_lenient("a\xFF\xD0\x9A"), std::u16string(u"a\uFFFD\u041A"));
}

TEST(StoredText, Utf8IsKeptAndOtherBytesFollowTheCodePageRule) {
  EXPECT_EQ(stored_text("\xD0\x9A.txt"), "\xD0\x9A.txt");
  EXPECT_EQ(stored_text("caf\xE9"), from_ansi_code_page("caf\xE9"));
  EXPECT_EQ(stored_text("plain"), "plain");
}

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

class CommandLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, SplitsAsTheRuntimeDoes) {
  EXPECT_EQ(split_command_line(GetParam().line), GetParam().args);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineSplit,
    testing::Values(SplitCase{"ilhome.exe ekstrak C:\\home D:\\arc",
                              {"ilhome.exe", "ekstrak", "C:\\home", "D:\\arc"}},
                    SplitCase{"\"C:\\Program Files\\ilhome.exe\" arsip",
                              {"C:\\Program Files\\ilhome.exe", "arsip"}},
                    // The program's name takes no escapes: a backslash before its quote
                    // stays, and what follows the quote up to a blank is part of it.
                    SplitCase{"\"C:\\dir\\\"x y", {"C:\\dir\\x", "y"}},
                    SplitCase{"p  \t a\t\tb  ", {"p", "a", "b"}},
                    SplitCase{"p \"my home\" \"\"", {"p", "my home", ""}},
                    SplitCase{"p \"C:\\my home\\\\\" next", {"p", "C:\\my home\\", "next"}},
                    SplitCase{"p a\\\\\\\"b", {"p", "a\\\"b"}},
                    SplitCase{"p a\\\\b\\c", {"p", "a\\\\b\\c"}},
                    SplitCase{"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
                    SplitCase{"p a\"b c\"d e", {"p", "ab cd", "e"}},
                    SplitCase{"p \"unclosed arg", {"p", "unclosed arg"}},
                    // A fullwidth quote is a character like any other.
                    SplitCase{"p \xEF\xBC\x82x y\xEF\xBC\x82",
                              {"p", "\xEF\xBC\x82x", "y\xEF\xBC\x82"}},
                    SplitCase{"p \xD0\x9A\xD0\xB8\\home", {"p", "\xD0\x9A\xD0\xB8\\home"}},
                    SplitCase{"", {""}}));

struct DeviceCase {
  const char* name;
  bool device;
};

class WindowsDeviceNames : public testing::TestWithParam<DeviceCase> {};

TEST_P(WindowsDeviceNames, DevicesWhateverTheExtensionAndTrailingBlanks) {
  EXPECT_EQ(is_windows_device_name(GetParam().name), GetParam().device) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsDeviceNames,
    testing::Values(DeviceCase{"CON", true}, DeviceCase{"con.txt", true},
                    DeviceCase{"Nul .txt", true}, DeviceCase{"COM1 .txt", true},
                    DeviceCase{"aux  .tar.gz", true}, DeviceCase{"lpt9", true},
                    DeviceCase{"COM\xC2\xB9", true}, DeviceCase{"lpt\xC2\xB2.log", true},
                    DeviceCase{"com\xC2\xB3", true}, DeviceCase{"CONIN$", true},
                    DeviceCase{"conout$.txt", true}, DeviceCase{"COM0", false},
                    DeviceCase{"COM10", false}, DeviceCase{"COM\xC2\xB4", false},
                    DeviceCase{"COM\xC2", false}, DeviceCase{"console", false},
                    DeviceCase{"nul_", false}, DeviceCase{" nul", false},
                    DeviceCase{"conin", false}, DeviceCase{"a.con", false}, DeviceCase{"", false}));

TEST(WindowsRefusedCharacters, ControlsAndReservedPunctuationButNotOtherBytes) {
  for (unsigned char c : std::string("\x01\t\x1F<>:\"/\\|?*")) {
    EXPECT_TRUE(refused_in_windows_names(c)) << int{c};
  }
  // UTF-8 lead and continuation bytes, DEL and the usual punctuation stay.
  for (unsigned char c : std::string(" .-_$~\x7F\xC2\xB9\xD0\xEF")) {
    EXPECT_FALSE(refused_in_windows_names(c)) << int{c};
  }
}

}  // namespace
