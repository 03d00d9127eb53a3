// The test face: records what the program shows and lets a test answer.
#include "toolkit/headless/test_face.h"

#include <map>
#include <memory>
#include <utility>

namespace tk::test {
namespace {

std::unique_ptr<TestFace>& installed() {
  static std::unique_ptr<TestFace> face;
  return face;
}

std::map<std::pair<ControlId, int>, Routine>& routines() {
  static std::map<std::pair<ControlId, int>, Routine> bound;
  return bound;
}

void runRoutine(ControlId self, int event, const Params& params) {
  auto it = routines().find({self, event});
  if (it == routines().end()) return;
  const Routine routine = it->second;  // the routine may bind another in its place
  routine(params);
}

}  // namespace

std::vector<std::string> TestFace::textsOf(ControlId control) const {
  std::vector<std::string> result;
  for (const TextSet& t : texts) {
    if (t.control == control) result.push_back(t.text);
  }
  return result;
}

void TestFace::textChanged(ControlId control, const std::string& text) {
  texts.push_back({control, text});
}

int TestFace::messageBox(const std::string& text, const std::string& title, std::uint32_t style) {
  message_boxes.push_back({text, title, style});
  if (on_message_box) on_message_box(message_boxes.back());
  return answer;
}

void TestFace::idle(ControlId loop_window) {
  ++idle_turns;
  if (on_idle) {
    on_idle(loop_window, idle_turns);
  } else {
    headless::postClose(loop_window);
  }
}

TestFace& install() {
  auto fresh = std::make_unique<TestFace>();
  headless::reset(fresh.get());
  routines().clear();
  installed() = std::move(fresh);
  return *installed();
}

TestFace& face() { return *installed(); }

void onEvent(ControlId control, int event, Routine routine) {
  routines()[{control, event}] = std::move(routine);
  bindHandler(control, event, runRoutine);
}

}  // namespace tk::test
