// The in-memory toolkit keeps the order of events the program relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/headless/test_face.h"
#include "toolkit/toolkit.h"

namespace {

using namespace tk;

// bindHandler takes plain functions without a context: the handlers here
// log into, and find their controls in, this one static.
struct Bound {
  std::vector<std::string> log;
  ControlId window = 0;
  ControlId other = 0;
  ControlId button = 0;
};
Bound g_bound;

void logEvent(ControlId self, int event, const Params& params) {
  std::string entry = std::to_string(self) + ":" + std::to_string(event);
  for (long p : params) {
    entry += ':';
    entry += std::to_string(p);
  }
  if (const auto* c = headless::control(self)) entry += c->visible ? ":shown" : ":hidden";
  g_bound.log.push_back(entry);
}

void closeOnClick(ControlId, int, const Params&) {
  g_bound.log.push_back("click");
  requestClose(g_bound.window);
  g_bound.log.push_back("closed-in-handler:" +
                        std::to_string(headless::control(g_bound.window)->visible));
}

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    face_ = &test::install();
    g_bound = Bound{};
    g_bound.window = createEx(Window, "W", 0, "center", "center", 300, 101, 0, 0);
    g_bound.button = createEx(DefaultButton, "Go", g_bound.window, 1, 2, 30, 20, 0, 0);
    g_bound.other = createEx(Window, "Other", 0, 10, 20, 100, 50, 0, 0);
  }
  test::TestFace* face_ = nullptr;
};

TEST_F(HeadlessTest, ScreenComesFirstAndIdsFollowCreationOrder) {
  std::vector<ControlId> ids = headless::controlIds();
  ASSERT_EQ(ids.size(), 5u);
  EXPECT_EQ(ids[0], Screen);
  EXPECT_EQ(headless::control(Screen)->client_width, headless::kScreenWidth);
  EXPECT_EQ(ids[2], g_bound.window);
  EXPECT_EQ(ids[3], g_bound.button);
  EXPECT_EQ(ids[4], g_bound.other);
  EXPECT_EQ(headless::control(g_bound.button)->parent, g_bound.window);
}

TEST_F(HeadlessTest, GeometryAndStyles) {
  struct Row {
    const char* what;
    int kind;
    Coord x;
    Coord y;
    int width;
    int height;
    Style styles;
    Style ex;
    int want_x;
    int want_y;
    std::uint32_t want_style;
    std::uint32_t want_ex;
  };
  const Row rows[] = {
      {"popup list replaces defaults", Window, "center", "center", 360, 68,
       Style{WS_POPUP_, WS_DLGFRAME_}, 0, 332, 350, 0x80400000u, 0x10u},
      {"odd height rounds half down", Window, "center", "center", 324, 117, Style{WS_DLGFRAME_},
       Style{WS_EX_DLGMODALFRAME_}, 350, 326, 0x00400000u, 0x1u},
      {"number keeps defaults", Window, 5, 6, 10, 10, 0, 0, 5, 6, 0x00CF0000u, 0x10u},
      {"list {0} gives 0", Window, 5, 6, 10, 10, Style{0u}, Style{0u}, 5, 6, 0, 0},
      {"combo defaults", ComboBox, 40, 32, 272, 120, 0, 0, 40, 32, 0x54210202u, 0x210u},
      {"number ORed in", Label, 0, 0, 10, 10, 0x1u, 0, 0, 0, 0x54000001u, 0},
  };
  for (const Row& r : rows) {
    ControlId parent = r.kind == Window ? 0 : g_bound.window;
    ControlId id = createEx(r.kind, r.what, parent, r.x, r.y, r.width, r.height, r.styles, r.ex);
    const auto* c = headless::control(id);
    EXPECT_EQ(c->x, r.want_x) << r.what;
    EXPECT_EQ(c->y, r.want_y) << r.what;
    EXPECT_EQ(c->style, r.want_style) << r.what;
    EXPECT_EQ(c->ex_style, r.want_ex) << r.what;
    EXPECT_EQ(c->visible, r.kind != Window) << r.what;  // windows are created hidden
  }
  // A child centred in its window's client area.
  ControlId child = createEx(Label, "c", g_bound.window, "center", 0, 100, 10, 0, 0);
  EXPECT_EQ(headless::control(child)->x, 150 - 50);
}

TEST_F(HeadlessTest, OpenFiresHiddenActivateFiresLastOnce) {
  bindHandler(g_bound.window, Open, logEvent);
  bindHandler(g_bound.window, Activate, logEvent);
  bindHandler(g_bound.window, Activate, logEvent);  // bound once only
  openWindow(g_bound.window, Normal);
  const std::string id = std::to_string(g_bound.window);
  EXPECT_EQ(g_bound.log, (std::vector<std::string>{id + ":13:hidden", id + ":20:shown"}));
  EXPECT_EQ(headless::focused(), g_bound.window);
  g_bound.log.clear();
  setVisibility(g_bound.window, 0);
  setVisibility(g_bound.window, 1);
  EXPECT_TRUE(g_bound.log.empty());  // showing is not opening
}

TEST_F(HeadlessTest, DoEventsDoesNothingBeforeWinMainAndOneMessagePerCall) {
  bindHandler(g_bound.button, Click, logEvent);
  test::click(g_bound.button);
  test::click(g_bound.button);
  doEvents(0);
  EXPECT_TRUE(g_bound.log.empty());
  EXPECT_EQ(headless::runningState(), kNotStarted);

  // Inside WinMain (from the Activate handler, as the program runs).
  test::onEvent(g_bound.window, Activate, [](const Params&) {
    doEvents(g_bound.other);  // the clicks belong to another window
    g_bound.log.push_back("after-filtered");
    doEvents(0);
    g_bound.log.push_back("after-one");
    doEvents(0);
    doEvents(0);  // nothing pending: returns at once
    g_bound.log.push_back("done");
  });
  WinMain(g_bound.window, Normal);
  const std::string click = std::to_string(g_bound.button) + ":4:shown";
  EXPECT_EQ(g_bound.log,
            (std::vector<std::string>{"after-filtered", click, "after-one", click, "done"}));
  EXPECT_EQ(headless::runningState(), kEnded);  // the idle main loop was closed by the face
  g_bound.log.clear();
  WinMain(g_bound.window, Normal);  // once per process
  EXPECT_TRUE(g_bound.log.empty());
}

TEST_F(HeadlessTest, RunModalReturnsAfterTheClickHandlerClosedTheWindow) {
  bindHandler(g_bound.button, Click, closeOnClick);
  bindHandler(g_bound.window, Open, logEvent);
  face_->on_idle = [](ControlId window, int turn) {
    g_bound.log.push_back("idle:" + std::to_string(turn));
    if (window == g_bound.window) test::click(g_bound.button);
  };
  ControlId modal_seen = -1;
  test::onEvent(g_bound.other, Activate, [&](const Params&) {
    runModal(g_bound.window);
    modal_seen = headless::currentModal();
    g_bound.log.push_back("returned");
  });
  WinMain(g_bound.other, Normal);
  const std::string open = std::to_string(g_bound.window) + ":13:hidden";
  ASSERT_GE(g_bound.log.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(g_bound.log.begin(), g_bound.log.begin() + 5),
            (std::vector<std::string>{open, "idle:1", "click", "closed-in-handler:0", "returned"}));
  EXPECT_EQ(modal_seen, 0);
  EXPECT_FALSE(headless::control(g_bound.window)->visible);
  EXPECT_EQ(headless::control(g_bound.window)->style & 0x00020000u, 0u);  // no minimize box
}

TEST_F(HeadlessTest, TimersTickOnlyWhileMessagesAreHandledAndDoNotQueue) {
  bindHandler(g_bound.window, Timer, logEvent);
  test::onEvent(g_bound.other, Activate, [](const Params&) {
    openWindow(g_bound.window, Normal);
    startTimer(g_bound.window, 7, 50);
    test::tickTimer(g_bound.window, 7);
    test::tickTimer(g_bound.window, 7);  // merged with the first
    g_bound.log.push_back("ticked");
    doEvents(0);
    doEvents(0);
    stopTimer(g_bound.window, 7);
    test::tickTimer(g_bound.window, 7);  // stopped: nothing
    doEvents(0);
    test::tickTimer(g_bound.window, 8);  // never started: nothing
    doEvents(0);
  });
  WinMain(g_bound.other, Normal);
  const std::string tick = std::to_string(g_bound.window) + ":16:7:shown";
  EXPECT_EQ(g_bound.log, (std::vector<std::string>{"ticked", tick}));
}

TEST_F(HeadlessTest, WhileModalOtherWindowsRefuseToCloseAndTakeNoFocus) {
  bool other_visible_after = false;
  ControlId focus_after = 0;
  face_->on_idle = [&](ControlId window, int) {
    if (window != g_bound.window) {  // the main loop, once the chooser is gone
      test::closeWindow(window);
      return;
    }
    requestClose(g_bound.other);
    other_visible_after = headless::control(g_bound.other)->visible;
    focus_after = headless::focused();
    setFocus(g_bound.other);
    EXPECT_EQ(headless::focused(), g_bound.window);
    test::closeWindow(window);  // the close box
  };
  bindHandler(g_bound.other, Activate,
              [](ControlId, int, const Params&) { runModal(g_bound.window); });
  WinMain(g_bound.other, Normal);
  EXPECT_TRUE(other_visible_after);
  EXPECT_EQ(focus_after, g_bound.window);
  EXPECT_FALSE(headless::control(g_bound.window)->visible);
}

TEST_F(HeadlessTest, ControlState) {
  ControlId list = createEx(ComboBox, "lsX", g_bound.window, 0, 0, 10, 10, 0, 0);
  ControlId box = createEx(CheckBox, "Tick", g_bound.window, 0, 0, 10, 10, 0, 0);
  EXPECT_EQ(getText(list), "lsX");
  appendItems(list, "one");
  appendItems(list, "two");
  setIndex(list, 2);
  EXPECT_EQ(getIndex(list), 2);
  EXPECT_EQ(getText(list), "two");
  setIndex(list, 3);  // refused
  EXPECT_EQ(getIndex(list), 2);
  EXPECT_EQ(getText(list), "two");
  test::typeText(list, "typed");
  EXPECT_EQ(getText(list), "typed");
  EXPECT_EQ(getText(9999), "");

  EXPECT_EQ(isChecked(box), 0);
  test::onEvent(g_bound.other, Activate, [&](const Params&) {
    test::click(box);
    doEvents(0);  // an automatic check box toggles itself
  });
  WinMain(g_bound.other, Normal);
  EXPECT_EQ(isChecked(box), 1);

  setClientSize(g_bound.window, 320, 92);
  const auto* w = headless::control(g_bound.window);
  EXPECT_EQ(w->client_width, 320);
  EXPECT_EQ(w->client_height, 92);
  EXPECT_EQ(w->x, 362);  // the top-left corner stays

  setFocus(list);  // its window is hidden
  EXPECT_NE(headless::focused(), list);

  EXPECT_EQ(messageBox("text", "Title", 0), 1);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0], (test::MessageBoxShown{"text", "Title", 0}));
}

}  // namespace
