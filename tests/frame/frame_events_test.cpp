// frmtop's events keep the frame attached and on top.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "frame/frame_fixture.h"
#include "frame/region.h"
#include "platform/controls.h"

namespace ks::test {
namespace {

// Activation and a width change also put the other three on top of the
// topmost band: frmleft, frmright, then the bar. Under Wine a window that
// StayOnTop activates is raised again when events are next delivered, and
// the simulated activation delivers them; so on Win32 the order is checked
// after the width change only.
TEST_F(FrameTest, EveryFrmtopEventReattachesTheFrame) {
  Main(app);
  struct Case {
    const char* what;
    std::function<void(FrameTest&)> event;
    bool checkOrder;  // the event puts the three on top in order
  } cases[] = {
      {"mouse move", [](FrameTest& t) { t.input().mouseMove(t.top(), {0, 150, 30}); }, false},
      {"mouse down", [](FrameTest& t) { t.input().mouseDown(t.top(), {kLeftButton, 150, 30}); }, false},
      {"mouse up", [](FrameTest& t) { t.input().mouseUp(t.top(), {kLeftButton, 150, 30}); }, false},
      {"right button down", [](FrameTest& t) { t.input().mouseDown(t.top(), {kRightButton, 150, 30}); }, false},
      {"activation",
       [](FrameTest& t) {
         t.input().activate(t.bot());
         t.input().activate(t.top());
       },
       isHeadless()},
      {"width change", [](FrameTest& t) { t.top().setWidth(t.top().width() + 600); }, true},
  };
  for (const auto& c : cases) {
    // Knock the other three windows out of place and out of order; the
    // event must bring them back.
    for (Window* w : {&top(), &bot(), &right(), &left()}) stayOnTopInPlace(*w);
    bot().setTop(top().top());
    left().setLeft(0);
    right().setTop(0);
    input().dragWindowTo(top(), top().left() + 300, top().top() + 150);
    c.event(*this);
    expectAttached(c.what);
    if (c.checkOrder) {
      EXPECT_EQ(topmostOrder(ws(), {&top(), &left(), &right(), &bot()}),
                (std::vector<Window*>{&top(), &left(), &right(), &bot()}))
          << c.what;
    }
  }
}

TEST_F(FrameTest, WideningFrmtopWidensTheBarAndItsEdgeLine) {
  Main(app);
  const PixelRect before = regionPixels(app);
  top().setWidth(top().width() + 1500);  // the corner grip's way of widening
  expectAttached("after widening");
  EXPECT_EQ(bot().width(), top().width());
  EXPECT_EQ(app.frmbot().Line1->x2(), bot().width() - right().width());
  const PixelRect after = regionPixels(app);
  EXPECT_EQ(after.width, before.width + static_cast<std::int32_t>(std::lrint(1500 / tppX())));
  EXPECT_EQ(after.x, before.x);
}

TEST_F(FrameTest, MinimiseAndRestoreBringTheFrameBackAroundFrmtop) {
  Main(app);
  const PixelRect before = regionPixels(app);
  const float l = top().left(), t = top().top();
  input().minimize(top());
  EXPECT_EQ(top().windowState(), kStateMinimized);
  EXPECT_FALSE(ws().ended());
  input().restore(top());
  ws().doEvents();
  EXPECT_EQ(top().windowState(), kStateNormal);
  EXPECT_EQ(top().left(), l);
  EXPECT_EQ(top().top(), t);
  expectAttached("after restore");
  EXPECT_EQ(regionPixels(app), before);
  for (Window* w : {&left(), &right(), &bot()}) {
    EXPECT_TRUE(w->topmost());
    EXPECT_TRUE(w->visible());
  }
}

TEST_F(FrameTest, ResizeDuringStartUpLaysOutHiddenWindowsWithoutShowingThem) {
  // Start-up up to the moment frmtop is shown and the others are not yet.
  left().setWidth(100);
  right().setWidth(100);
  bot();
  top().show();
  ws().doEvents();
  ASSERT_TRUE(top().visible());
  for (Window* w : {&left(), &right(), &bot(), &top()}) stayOnTopInPlace(*w);
  const std::vector<Window*> order = topmostOrder(ws(), {&top(), &left(), &right(), &bot()});
  ASSERT_EQ(order, (std::vector<Window*>{&left(), &right(), &bot(), &top()}));
  top().setWidth(top().width() + 900);
  for (Window* w : {&left(), &right(), &bot()}) EXPECT_FALSE(w->visible());
  EXPECT_EQ(topmostOrder(ws(), {&top(), &left(), &right(), &bot()}), order) << "a hidden window was raised";
  expectAttached("hidden windows laid out");
}

TEST_F(FrameTest, ClosingFrmtopEndsTheProgram) {
  Main(app);
  ASSERT_FALSE(ws().ended());
  input().requestClose(top());
  EXPECT_TRUE(ws().ended());
}

TEST_F(FrameTest, DisabledFrmtopCannotBeClosedOrMoved) {
  Main(app);
  const float l = top().left();
  top().setEnabled(false);
  input().requestClose(top());
  input().dragWindowTo(top(), l + 1500, top().top());
  EXPECT_FALSE(ws().ended());
  EXPECT_EQ(top().left(), l);
  top().setEnabled(true);
  input().requestClose(top());
  EXPECT_TRUE(ws().ended());
}

// SetIdle switches exactly the three frame windows and the About, Stop,
// Exit and Settings buttons; the record button, the bar, the label and the
// grip keep whatever state they had.
TEST_F(FrameTest, SetIdleSwitchesTheFrameWindowsAndFourButtonsOnly) {
  Main(app);
  FrmBot& b = app.frmbot();
  for (bool idle : {false, true}) {
    for (bool others : {true, false}) {
      SCOPED_TRACE(std::string(idle ? "idle" : "recording") + (others ? ", others enabled" : ", others disabled"));
      for (Window* w : {&top(), &left(), &right()}) w->setEnabled(!idle);
      for (Button* button : {b.cmdAbout, b.cmdExit, b.cmdSettings}) button->setEnabled(!idle);
      b.cmdStop->setEnabled(idle);
      bot().setEnabled(others);
      for (Control* c : std::initializer_list<Control*>{b.cmdtest, b.lblUpto, b.imgbotcorner}) c->setEnabled(others);
      b.SetIdle(idle);
      EXPECT_EQ(top().enabled(), idle);
      EXPECT_EQ(left().enabled(), idle);
      EXPECT_EQ(right().enabled(), idle);
      EXPECT_EQ(b.cmdAbout->enabled(), idle);
      EXPECT_EQ(b.cmdExit->enabled(), idle);
      EXPECT_EQ(b.cmdSettings->enabled(), idle);
      EXPECT_EQ(b.cmdStop->enabled(), !idle);
      EXPECT_EQ(bot().enabled(), others);
      EXPECT_EQ(b.cmdtest->enabled(), others);
      EXPECT_EQ(b.lblUpto->enabled(), others);
      EXPECT_EQ(b.imgbotcorner->enabled(), others);
    }
  }
}

// The corner grip, dragged with the primary button. The frame starts 6000
// twips wide with the bar's top at 5400, and the grip is pressed 210 twips
// from its left edge, 300 from its top. A move then asks for the width grip
// left + x + gripdx; the minimum is the Exit button's right edge plus 100
// twips: 4435 at 96 DPI, 4440 at 144 DPI, where Exit reads back 740 wide.
using GripAtDensity = FrameAtDensity;

void startGripTest(FrameTest& t) {
  Main(t.app);
  t.top().setWidth(6000);
  t.bot().setTop(5400);
  t.hoverTop();
  ASSERT_EQ(t.bot().top(), 5400);
  ASSERT_EQ(t.bot().width(), 6000);
}

TEST_P(GripAtDensity, DraggingResizesToTheRightAndPushesTheFrameUp) {
  ASSERT_NO_FATAL_FAILURE(startGripTest(*this));
  FrmBot& b = app.frmbot();
  Image& grip = *b.imgbotcorner;
  const float frameLeft = top().left(), edge = top().top() + top().height();
  input().mouseDown(grip, {kLeftButton, 210, 300});
  EXPECT_EQ(b.gripdx, at(195, 190)) << "from the pointer to the bar's right edge";
  EXPECT_EQ(b.gripdy, 300);
  enum Kind { kMove, kRelease };
  struct Step {
    const char* what;
    Kind kind;
    float x, y;
    float width, barTop, gripLeft;
    float edge;  // frmtop's bottom edge; 0: where it started
  } steps[] = {
      {"narrower", kMove, -1290, 300, 4500, 5400, at(4095, 4100), 0},
      // 4440 is above the minimum at 96 DPI, the minimum itself at 144 DPI:
      // the width stays, it does not snap to the minimum.
      {"to 4440", kMove, 150, 300, at(4440, 4500), 5400, at(4035, 4100), 0},
      {"to 4425 at 96 DPI, 4450 at 144 DPI", kMove, at(195, 160), 300, at(4440, 4450), 5400, at(4035, 4040), 0},
      {"far below the minimum", kMove, at(-1230, -1240), 300, at(4440, 4450), 5400, at(4035, 4040), 0},
      // At 144 DPI the grip now sits 410 from the right edge: the same
      // pointer offset asks for 10 twips less.
      {"back to the right", kMove, 270, 300, 4500, 5400, at(4095, 4100), 0},
      // Above frmtop: the whole frame goes up, 100 twips above the bar (7
      // pixels at 96 DPI).
      {"above frmtop", kMove, 210, -3900, 4500, 1200, at(4095, 4100), at(1095, 1100)},
      {"further up", kMove, 210, 0, 4500, 900, at(4095, 4100), at(795, 800)},
      {"down again: frmtop stays", kMove, 210, 1800, 4500, 2400, at(4095, 4100), at(795, 800)},
      // Releasing the button is the drag's last step.
      {"released", kRelease, 240, 600, 4530, 2700, at(4125, 4120), at(795, 800)},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.kind == kMove) input().mouseMove(grip, {kLeftButton, s.x, s.y});
    else input().mouseUp(grip, {kLeftButton, s.x, s.y});
    EXPECT_EQ(top().width(), s.width);
    EXPECT_EQ(bot().top(), s.barTop);
    EXPECT_EQ(grip.left(), s.gripLeft);
    EXPECT_EQ(b.imgbotline->width(), s.gripLeft);
    EXPECT_EQ(top().top() + top().height(), s.edge ? s.edge : edge);
    EXPECT_EQ(top().left(), frameLeft) << "the left edge stays put";
    expectAttached(s.what);
  }
}

// Only the primary button alone (state exactly 1) presses or drags the
// grip: a press, move or release with any other buttons does nothing.
TEST_P(GripAtDensity, AnswersThePrimaryButtonAlone) {
  ASSERT_NO_FATAL_FAILURE(startGripTest(*this));
  FrmBot& b = app.frmbot();
  Image& grip = *b.imgbotcorner;
  const float edge = top().top() + top().height();
  enum Kind { kPress, kMove, kRelease };
  struct Case {
    const char* what;
    Kind kind;
    int buttons;
    bool headlessOnly;  // on Windows a press or release names one button
  } cases[] = {
      {"press, right", kPress, kRightButton, false},
      {"press, middle", kPress, kMiddleButton, false},
      {"press, none", kPress, 0, false},
      {"press, left and right", kPress, kLeftButton | kRightButton, true},
      {"move, none", kMove, 0, false},
      {"move, right", kMove, kRightButton, false},
      {"move, left and right", kMove, kLeftButton | kRightButton, false},
      {"move, left and middle", kMove, kLeftButton | kMiddleButton, false},
      {"release, right", kRelease, kRightButton, false},
      {"release, middle", kRelease, kMiddleButton, false},
      {"release, none", kRelease, 0, false},
      {"release, left and right", kRelease, kLeftButton | kRightButton, true},
  };
  for (const Case& c : cases) {
    if (c.headlessOnly && !isHeadless()) continue;
    SCOPED_TRACE(c.what);
    input().mouseDown(grip, {kLeftButton, 210, 300});
    // Taken as a drag, this would widen the frame by 90 and lift the bar by 180.
    const MouseEvent e{c.buttons, 300, 120};
    if (c.kind == kPress) input().mouseDown(grip, e);
    else if (c.kind == kMove) input().mouseMove(grip, e);
    else input().mouseUp(grip, e);
    EXPECT_EQ(b.gripdx, at(195, 190));
    EXPECT_EQ(b.gripdy, 300);
    EXPECT_EQ(top().width(), 6000);
    EXPECT_EQ(bot().top(), 5400);
    EXPECT_EQ(top().top() + top().height(), edge);
    input().mouseUp(grip, {kLeftButton, 210, 300});
  }
}

INSTANTIATE_TEST_SUITE_P(, GripAtDensity, ::testing::Values(15.0f, 10.0f), FrameAtDensity::name);

// Alt+F4 on the bar or a side window: the program ends as with Exit while
// idle, and nothing happens while a recording runs (Exit is disabled then).
// The window never closes on its own.
TEST(FrameClose, TheBarAndTheSideWindowsCloseOnlyAsExitDoes) {
  enum Which { kBar, kLeft, kRight };
  struct Case {
    const char* what;
    Which which;
    bool idle;
  };
  const Case cases[] = {
      {"bar, idle", kBar, true},           {"left side, idle", kLeft, true},
      {"right side, idle", kRight, true},  {"bar, recording", kBar, false},
      {"left side, recording", kLeft, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestPlatform platform = makeTestPlatform();
    TestServices services;
    App app{services.platform(*platform.windows)};
    Main(app);
    if (!c.idle) app.frmbot().SetIdle(false);
    Window& w = c.which == kBar ? app.frmbot().window()
                : c.which == kLeft ? app.frmleft().window()
                                   : app.frmright().window();
    platform.input->requestClose(w);
    EXPECT_EQ(platform.windows->ended(), c.idle);
    if (!c.idle) {
      EXPECT_TRUE(w.visible()) << "the window closed on its own";
      EXPECT_TRUE(app.frmbot().window().visible());
    }
  }
}

}  // namespace
}  // namespace ks::test
