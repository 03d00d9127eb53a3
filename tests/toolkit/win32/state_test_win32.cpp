// Tests of the native toolkit's control state operations and error dialogs
// under Wine (user32); the dialogs are answered by a watcher thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/toolkit/win32/harness.h"

namespace {

using tk::ControlId;

HWND hwndOf(ControlId id) { return static_cast<HWND>(tk::win32::getHandle(id)); }

// bindHandler takes plain functions without a context: the handlers here
// find their control in, and report through, this one static.
struct Bound {
  ControlId combo_for_change = 0;
  std::string text_in_change;
  int check_clicks = 0;
};
Bound g_bound;

constexpr char kButtonLines[] =
    "\n\nPress\n  [ YES ]  to continue,\n  [ NO ] to ignore repeats, or\n  [ Cancel ]  to quit.";
constexpr char kSetIndexWarning[] = "sendMessage(#14e) in setIndex failed.";
constexpr char kPopModalWarning[] = "popModal: The Modal Window Stack is already empty.";

class ControlState : public testing::Test {
 protected:
  void SetUp() override {
    tk::win32::errorSettings().ignore_list.clear();
    window_ = tk::createEx(tk::Window, "state", 0, "center", "center", 324, 117, {tk::WS_DLGFRAME_},
                           {tk::WS_EX_DLGMODALFRAME_});
    combo_ = tk::createEx(tk::ComboBox, "lsProfile", window_, 40, 32, 272, 120, 0, 0);
    check_ = tk::createEx(tk::CheckBox, "Don't ask me again", window_, 40, 60, 148, 20, 0, 0);
  }
  void TearDown() override {
    tk::win32::destroyControl(window_);
    tk::win32::errorSettings().ignore_list.clear();
  }
  std::vector<std::string> items() {
    std::vector<std::string> out;
    auto count = SendMessageA(hwndOf(combo_), CB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
      char buffer[256] = {};
      SendMessageA(hwndOf(combo_), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer));
      out.emplace_back(buffer);
    }
    return out;
  }
  ControlId window_ = 0, combo_ = 0, check_ = 0;
};

TEST_F(ControlState, AppendItemsKeepsTheOrderOfAppending) {
  struct Case {
    std::vector<std::string> texts;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{"New Profile"}, {"New Profile"}},
      {{"b", "a"}, {"b", "a"}},
      {{""}, {""}},
  };
  for (const Case& c : cases) {
    SendMessageA(hwndOf(combo_), CB_RESETCONTENT, 0, 0);
    if (c.texts.size() == 1) {
      tk::appendItems(combo_, c.texts[0]);
    } else {
      tk::win32::appendItems(combo_, c.texts);
    }
    EXPECT_EQ(items(), c.expected);
  }
  tk::appendItems(check_, "ignored");  // not a list: nothing happens
  EXPECT_EQ(SendMessageA(hwndOf(check_), CB_GETCOUNT, 0, 0), 0);
}

TEST_F(ControlState, SetIndexSelectsAndFillsTheEditField) {
  tk::appendItems(combo_, "old   :(2005-01-01 at 00:00:00)");
  tk::appendItems(combo_, "work   :(2006-05-04 at 13:02:58)");
  EXPECT_EQ(tk::getIndex(combo_), 0);
  tk::setIndex(combo_, 2);
  EXPECT_EQ(tk::getIndex(combo_), 2);
  EXPECT_EQ(tk::getText(combo_), "work   :(2006-05-04 at 13:02:58)");
  tk::setIndex(combo_, 0);  // clears the selection without a warning
  EXPECT_EQ(tk::getIndex(combo_), 0);
}

TEST_F(ControlState, TypedTextIsReadWithNoItemSelected) {
  tk::appendItems(combo_, "New Profile");
  tk::setText(combo_, "home");
  EXPECT_EQ(tk::getIndex(combo_), 0);
  EXPECT_EQ(tk::getText(combo_), "home");
}

void readOnChange(ControlId, int, const tk::Params&) {
  g_bound.text_in_change = tk::getText(g_bound.combo_for_change);
}

TEST_F(ControlState, GetTextDuringASelectionChangeGivesTheNewItem) {
  tk::appendItems(combo_, "first");
  tk::appendItems(combo_, "second");
  tk::setText(combo_, "typed");
  SendMessageA(hwndOf(combo_), CB_SETCURSEL, 1, 0);
  SetWindowTextA(hwndOf(combo_), "typed");  // the edit field lags behind the list
  g_bound.combo_for_change = combo_;
  tk::bindHandler(combo_, tk::win32::kEventChange, readOnChange);
  SendMessageA(hwndOf(window_), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(hwndOf(combo_)));
  EXPECT_EQ(g_bound.text_in_change, "second");
  EXPECT_EQ(tk::getText(combo_), "typed");  // outside the notification: the edit field
}

TEST_F(ControlState, TextsAreSetUnchanged) {
  ControlId label = tk::createEx(tk::CenteredLabel, "", window_, 320, 24, 40, 20, 0, 0);
  for (const char* text : {"0%", "3", "Preparing your dinner...", ""}) {
    tk::setText(label, text);
    char buffer[64] = {};
    GetWindowTextA(hwndOf(label), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, text);
    EXPECT_EQ(tk::getText(label), text);
  }
  tk::setText(window_, "Welcome to Ilvar Portable");
  EXPECT_EQ(tk::getText(window_), "Welcome to Ilvar Portable");
}

// The program's texts are UTF-8, and the controls hold them in UTF-16: names
// outside the ANSI code page come back as they were set, never as "?".
TEST_F(ControlState, TextsOutsideTheCodePageComeBackAsTheyWereSet) {
  ControlId label = tk::createEx(tk::CenteredLabel, "", window_, 0, 24, 360, 20, 0, 0);
  const std::string texts[] = {
      "\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0",  // Кириллица
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.ilhome",  // 日本語.ilhome
      "emoji \xF0\x9F\x98\x80",
      "\xC4\x80"
      "b.txt"};
  for (const std::string& text : texts) {
    tk::setText(label, text);
    EXPECT_EQ(tk::getText(label), text);
    wchar_t wide[64] = {};
    GetWindowTextW(hwndOf(label), wide, 64);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr),
              static_cast<int>(text.size()) + 1)
        << text;
  }
  tk::win32::appendItems(combo_, std::vector<std::string>(std::begin(texts), std::end(texts)));
  tk::setIndex(combo_, 2);
  EXPECT_EQ(tk::getText(combo_), texts[1]);
}

// A message box never grows wider than the screen: the system breaks lines
// only at blanks, so a long path without one is broken by the toolkit.
TEST_F(ControlState, AMessageBoxWithALongNameFitsTheScreen) {
  std::string path = "C:";
  while (path.size() < 600) path += "\\\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0-folder";  // Папка
  const std::string text = "Failed to save profile.\n\nProfile dir = " + path;
  RECT box{};
  std::wstring shown;
  std::thread answer([&] {
    for (int i = 0; i < 500; ++i) {
      if (HWND h = FindWindowA("#32770", "Error")) {
        GetWindowRect(h, &box);
        EnumChildWindows(
            h,
            [](HWND child, LPARAM out) {
              wchar_t buffer[4096] = {};
              GetWindowTextW(child, buffer, 4096);
              std::wstring& longest = *reinterpret_cast<std::wstring*>(out);
              if (wcslen(buffer) > longest.size()) longest = buffer;
              return TRUE;
            },
            reinterpret_cast<LPARAM>(&shown));
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
      }
      Sleep(10);
    }
  });
  EXPECT_EQ(tk::messageBox(text, "Error", 0), IDOK);
  answer.join();
  EXPECT_GT(box.right - box.left, 0);
  EXPECT_LE(box.right - box.left, GetSystemMetrics(SM_CXSCREEN));
  // Broken into lines, and nothing of the name lost.
  std::wstring joined;
  for (wchar_t c : shown) {
    if (c != L'\n') joined += c;
  }
  std::wstring wide_text(text.size(), L'\0');
  wide_text.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide_text.data(),
                          static_cast<int>(wide_text.size()))));
  std::wstring expected;
  for (wchar_t c : wide_text) {
    if (c != L'\n') expected += c;
  }
  EXPECT_EQ(joined, expected);
  EXPECT_NE(shown.find(L'\n', shown.find(L"= C:")), std::wstring::npos);
}

// The width of a text in a control's own font.
int textWidth(HWND control, const std::string& text) {
  HDC dc = GetDC(control);
  HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return extent.cx;
}

bool endsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// A file label as wide as its window with a percentage label over its right
// end: a long name is shortened in the middle so that the centred text keeps
// the file's own name whole and clear of the percentage.
TEST_F(ControlState, ALongPathInAPathLabelKeepsItsNameClearOfASibling) {
  const std::string dir = "profile/a rather long directory name of the profile/and another one/";
  std::string backslashed = dir;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  const std::string long_name(80, 'n');
  struct Case {
    std::string text;
    bool percent_shown;
    std::string shown_end;  // the displayed text ends so
    bool shortened;
  };
  const Case cases[] = {
      {"mail/a.txt", true, "mail/a.txt", false},
      {dir + "the-files-own-name.sqlite", true, "/the-files-own-name.sqlite", true},
      {dir + "the-files-own-name.sqlite", false, "/the-files-own-name.sqlite", true},
      {backslashed + "cookies.sqlite", true, "\\cookies.sqlite", true},
      {dir + long_name + ".sqlite", true, "nnnn.sqlite", true},
      {long_name + long_name, true, "nnnn", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + (c.percent_shown ? " beside the percentage" : " alone"));
    ControlId percent = tk::createEx(tk::CenteredLabel, "66%", window_, 320, 24, 40, 20, 0, 0);
    ControlId file =
        tk::createEx(tk::CenteredLabel, "", window_, 0, 24, 360, 20, tk::SS_PATHELLIPSIS_, 0);
    if (!c.percent_shown) tk::setVisibility(percent, 0);
    tk::setText(file, c.text);
    char buffer[512] = {};
    GetWindowTextA(hwndOf(file), buffer, sizeof buffer);
    const std::string shown = buffer;
    const int width = textWidth(hwndOf(file), shown);
    const int clear = c.percent_shown ? 2 * (320 - 180) : 360;
    EXPECT_TRUE(endsWith(shown, c.shown_end)) << shown;
    EXPECT_EQ(shown.find("...") != std::string::npos, c.shortened) << shown;
    EXPECT_LE(width, clear) << shown;
    if (c.shortened) {
      // As much as fits: one more character, however wide, would not.
      EXPECT_GT(textWidth(hwndOf(file), shown + "WW"), clear) << shown;
    }
    EXPECT_EQ(tk::getText(file), c.text);  // callers read back what they set
    tk::win32::destroyControl(file);
    tk::win32::destroyControl(percent);
  }
}

void checkClicked(ControlId, int, const tk::Params&) { ++g_bound.check_clicks; }

TEST_F(ControlState, TheCheckBoxTogglesItselfAndFiresClick) {
  tk::bindHandler(check_, tk::Click, checkClicked);
  g_bound.check_clicks = 0;
  tk::setVisibility(window_, 1);
  EXPECT_EQ(tk::isChecked(check_), 0);
  SendMessageA(hwndOf(check_), BM_CLICK, 0, 0);
  EXPECT_EQ(tk::isChecked(check_), 1);
  EXPECT_EQ(g_bound.check_clicks, 1);
  SendMessageA(hwndOf(check_), BM_CLICK, 0, 0);
  EXPECT_EQ(tk::isChecked(check_), 0);
  SendMessageA(hwndOf(check_), BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_EQ(tk::isChecked(check_), 1);
  tk::setVisibility(window_, 0);
}

TEST_F(ControlState, SetVisibilityShowsAndHidesEachControlOfAList) {
  ControlId a = tk::createEx(tk::Label, "a", window_, 0, 0, 10, 10, 0, 0);
  ControlId b = tk::createEx(tk::Label, "b", window_, 0, 20, 10, 10, 0, 0);
  auto visible = [](ControlId id) {
    return (GetWindowLongA(hwndOf(id), GWL_STYLE) & WS_VISIBLE) != 0;
  };
  tk::win32::setVisibility({a, b}, 0);
  EXPECT_FALSE(visible(a));
  EXPECT_FALSE(visible(b));
  tk::win32::setVisibility({a, b}, 1);
  EXPECT_TRUE(visible(a));
  EXPECT_TRUE(visible(b));
}

TEST_F(ControlState, SizesAreReadAndSetOnTheNativeWindow) {
  tk::win32::Size outer = tk::win32::getCtlSize(window_);
  EXPECT_EQ(outer.width, 324);
  EXPECT_EQ(outer.height, 117);
  tk::setClientSize(window_, 320, 92);
  tk::win32::Rect client = tk::win32::getClientRect(window_);
  EXPECT_EQ(client.right - client.left, 320);
  EXPECT_EQ(client.bottom - client.top, 92);
  tk::win32::Rect screen = tk::win32::getClientRect(tk::Screen);
  EXPECT_EQ(screen.right, 1024);
  EXPECT_EQ(screen.bottom, 768);
  // A child keeps its place in its parent when it is resized.
  tk::win32::setCtlSize(check_, 100, 30);
  RECT r;
  GetWindowRect(hwndOf(check_), &r);
  POINT p{r.left, r.top};
  ScreenToClient(hwndOf(window_), &p);
  EXPECT_EQ(p.x, 40);
  EXPECT_EQ(p.y, 60);
  EXPECT_EQ(tk::win32::getCtlSize(check_).width, 100);
}

TEST_F(ControlState, OperationsOnIdsThatAreNotLiveDoNothing) {
  ControlId gone = tk::createEx(tk::Label, "x", window_, 0, 0, 10, 10, 0, 0);
  tk::win32::destroyControl(gone);
  tk::setText(gone, "y");
  tk::setClientSize(gone, 10, 10);
  EXPECT_EQ(tk::getText(gone), "");
  EXPECT_EQ(tk::isChecked(gone), 0);
  EXPECT_EQ(tk::getIndex(gone), 0);
}

TEST_F(ControlState, MessageBoxAnswersWithTheButtonPressed) {
  tktest::DialogWatcher none({});
  // Not an error dialog: the watcher looks only for those. Answer it here.
  std::thread answer([] {
    for (int i = 0; i < 500; ++i) {
      if (HWND box = FindWindowA("#32770", "Warning")) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
      }
      Sleep(10);
    }
  });
  EXPECT_EQ(tk::messageBox("Your selected profile file will be named 'default'.", "Warning", 0),
            IDOK);
  answer.join();
  EXPECT_TRUE(none.finish().empty());
}

// ---- warnings ----

TEST_F(ControlState, SetIndexBeyondTheItemsWarnsAndYesContinues) {
  tk::appendItems(combo_, "New Profile");
  tktest::DialogWatcher watcher({tktest::kYes});
  tk::setIndex(combo_, 5);
  std::vector<tktest::DialogSeen> seen = watcher.finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, "ilhome - Error Warning");
  EXPECT_EQ(seen[0].body, std::string(kSetIndexWarning) + kButtonLines + "\n\nilhome 1.0.0");
  EXPECT_TRUE(seen[0].yes && seen[0].no && seen[0].cancel);
  EXPECT_TRUE(seen[0].exclamation_icon);
  EXPECT_EQ(tk::getIndex(combo_), 0);
}

TEST_F(ControlState, NoSilencesEveryLaterPlainTextWarning) {
  tk::appendItems(combo_, "New Profile");
  tktest::DialogWatcher watcher({tktest::kNo});
  tk::win32::popModal();  // empty modal stack: a code-0 warning
  EXPECT_EQ(tk::win32::currentModal(), 0);
  tk::setIndex(combo_, 9);           // code 0 too: no dialog now
  tk::win32::warnErr(450, "other");  // another code still asks
  std::vector<tktest::DialogSeen> seen = watcher.finish();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].body, std::string(kPopModalWarning) + kButtonLines + "\n\nilhome 1.0.0");
  EXPECT_EQ(seen[1].body, std::string("Error code 450\nother") + kButtonLines + "\n\nilhome 1.0.0");
  EXPECT_EQ(tk::win32::errorSettings().ignore_list, (std::vector<int>{0}));
}

TEST_F(ControlState, WarningLevelZeroShowsNothing) {
  tktest::DialogWatcher watcher({});
  tk::win32::errorSettings().warning_level = 0;
  EXPECT_EQ(tk::win32::warnErr("quiet"), 0);
  tk::win32::errorSettings().warning_level = 1;
  EXPECT_TRUE(watcher.finish().empty());
}

// ---- the ways out: child processes ----

int recordingHook(int code, const std::string& body, int position, bool last) {
  if (FILE* f = std::fopen("hooks.txt", "a")) {
    std::fprintf(f, "%d %d %d %d %zu\n", code, position, last ? 1 : 0, tk::win32::runningState(),
                 body.size());
    std::fclose(f);
  }
  return -1;
}
int neverRuns(int, const std::string&, int, bool) {
  if (FILE* f = std::fopen("hooks.txt", "a")) {
    std::fputs("too far\n", f);
    std::fclose(f);
  }
  return 0;
}

int cancelAWarning() {
  tk::win32::errorSettings().hooks.push_back(recordingHook);
  tk::win32::errorSettings().hooks.push_back(neverRuns);
  tk::win32::popModal();
  return 3;
}
int fatalAfterIgnoringItsCode() {
  tk::win32::warnErr(459, "first as a warning");
  tk::createEx(tk::Label, "x", 9999, 0, 0, 10, 10, 0, 0);
  return 3;
}
int continueAfterYes() {
  tk::win32::popModal();
  return 5;
}
tktest::ChildScenario s1("cancel-warning", cancelAWarning);
tktest::ChildScenario s2("fatal-ignored", fatalAfterIgnoringItsCode);
tktest::ChildScenario s3("yes-warning", continueAfterYes);

TEST(ErrorExit, CancelEndsWithZeroAfterTheHooks) {
  DeleteFileA("hooks.txt");
  tktest::DialogWatcher watcher({tktest::kCancel});
  EXPECT_EQ(tktest::runChild("cancel-warning"), 0);
  EXPECT_EQ(watcher.finish().size(), 1u);
  FILE* f = std::fopen("hooks.txt", "r");
  ASSERT_NE(f, nullptr);
  char line[128] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  std::string body = std::string(kPopModalWarning) + kButtonLines + "\n\nilhome 1.0.0";
  // Code 0, second hook of three, not the last; the toolkit's own clean-up ran
  // first and marked the main loop as ended.
  EXPECT_EQ(std::string(line), "0 2 0 2 " + std::to_string(body.size()) + "\n");
  EXPECT_EQ(std::fgets(line, sizeof line, f), nullptr);  // -1 stopped the rest
  std::fclose(f);
  DeleteFileA("hooks.txt");
}

TEST(ErrorExit, YesContinuesAndAFatalErrorWithAnIgnoredCodeStillEnds) {
  {
    tktest::DialogWatcher watcher({tktest::kYes});
    EXPECT_EQ(tktest::runChild("yes-warning"), 5);
    EXPECT_EQ(watcher.finish().size(), 1u);
  }
  tktest::DialogWatcher watcher({tktest::kNo});
  EXPECT_EQ(tktest::runChild("fatal-ignored"), 1);
  std::vector<tktest::DialogSeen> seen = watcher.finish();
  ASSERT_EQ(seen.size(), 1u);  // the warning only: the fatal dialog is skipped
  EXPECT_EQ(seen[0].title, "ilhome - Error Warning");
}

}  // namespace
