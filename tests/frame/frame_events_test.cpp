// frmtop's events keep the frame attached and on top.
#include <gtest/gtest.h>

#include <functional>

#include "frame/frame_fixture.h"
#include "frame/region.h"

namespace ks::test {
namespace {

TEST_F(FrameTest, EveryFrmtopEventReattachesTheFrame) {
  Main(app);
  struct Case {
    const char* what;
    std::function<void(FrameTest&)> event;
  } cases[] = {
      {"mouse move", [](FrameTest& t) { t.input().mouseMove(t.top(), {0, 150, 30}); }},
      {"mouse down", [](FrameTest& t) { t.input().mouseDown(t.top(), {kLeftButton, 150, 30}); }},
      {"mouse up", [](FrameTest& t) { t.input().mouseUp(t.top(), {kLeftButton, 150, 30}); }},
      {"right button down", [](FrameTest& t) { t.input().mouseDown(t.top(), {kRightButton, 150, 30}); }},
      {"activation",
       [](FrameTest& t) {
         t.input().activate(t.bot());
         t.input().activate(t.top());
       }},
      {"width change", [](FrameTest& t) { t.top().setWidth(t.top().width() + 600); }},
  };
  for (const auto& c : cases) {
    // Knock the other three windows out of place; the event must bring them back.
    bot().setTop(top().top());
    left().setLeft(0);
    right().setTop(0);
    input().dragWindowTo(top(), top().left() + 300, top().top() + 150);
    c.event(*this);
    expectAttached(c.what);
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
  top().setWidth(top().width() + 900);
  for (Window* w : {&left(), &right(), &bot()}) EXPECT_FALSE(w->visible());
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
