// The frame's start-up and layout, on whichever platform the build targets.
#include <gtest/gtest.h>

#include "frame/frame_fixture.h"
#include "frame/region.h"
#include "platform/controls.h"
#include "platform/headless/headless_window_system.h"
#include "settings/frmfile.h"

namespace ks::test {
namespace {

TEST_F(FrameTest, StartupCreatesShowsAndAttachesTheFourWindows) {
  Main(app);
  // The bar's Load creates the New movie dialog, hidden.
  EXPECT_EQ(app.creationOrder(), (std::vector<std::string>{"frmleft", "frmtop", "frmright", "frmbot", "frmFile"}));
  EXPECT_FALSE(app.frmFile().window().visible());
  for (Window* w : {&top(), &left(), &right(), &bot()}) {
    EXPECT_TRUE(w->visible());
    EXPECT_TRUE(w->topmost());
    EXPECT_TRUE(w->enabled());
  }
  EXPECT_EQ(top().caption(), "kestrascope");
  EXPECT_EQ(top().scaleHeight(), snapY(90));
  EXPECT_EQ(left().width(), snapX(100));
  EXPECT_EQ(right().width(), snapX(100));
  EXPECT_EQ(bot().height(), snapY(435));
  EXPECT_EQ(bot().top(), snapY(6405)) << "the bar starts at its design top";
  EXPECT_FALSE(ws().ended());
  expectAttached("after start-up");
}

TEST_F(FrameTest, InnerLinesOfTheSideWindowsStartBelowFrmtop) {
  Main(app);
  const float s = top().scaleHeight();
  EXPECT_EQ(app.frmleft().Line1->y1(), s);
  EXPECT_EQ(app.frmleft().Line2->y1(), s);
  EXPECT_EQ(app.frmright().Line1->y1(), s);
  EXPECT_EQ(app.frmright().Line2->y1(), s);
  EXPECT_EQ(app.frmleft().Lineleft->y1(), 0);
  EXPECT_EQ(app.frmright().Line2->widthPixels(), 2);
  EXPECT_EQ(app.frmright().Line1->widthPixels(), 1);
}

// The bar's controls as designed and as its layout places them for two
// widths of the frame, in twips read back. At 144 DPI the window system
// keeps whole pixels, so 735 twips (73.5 pixels) read back as 740, and the
// grip's left edge, width - 405, lands on the even pixel: 5600 for 6000 but
// 4400 for 4810.
using BarAtDensity = FrameAtDensity;

TEST_P(BarAtDensity, ControlsAndLayoutAsNumbers) {
  Main(app);
  FrmBot& b = app.frmbot();
  struct Case {
    const char* name;
    Control* control;
    const char* caption;  // nullptr: no caption (images)
    float left, top, width, height;
    int tab;
    int pictureWidth, pictureHeight;  // 0: none
  };
  const float buttonWidth = at(735, 740), buttonHeight = at(315, 320), barHeight = at(435, 440);
  struct Frame {
    float width, gripLeft;
  } frames[] = {{6000, at(5595, 5600)}, {at(4815, 4810), at(4410, 4400)}};
  for (const Frame& f : frames) {
    SCOPED_TRACE(f.width);
    top().setWidth(f.width);
    ASSERT_EQ(bot().width(), f.width);
    EXPECT_EQ(bot().height(), barHeight);
    const Case cases[] = {
        {"cmdExit", b.cmdExit, "Exit", 3600, 60, buttonWidth, buttonHeight, 0, 0, 0},
        {"cmdStop", b.cmdStop, "Stop", 1380, 60, buttonWidth, buttonHeight, 1, 0, 0},
        {"cmdtest", b.cmdtest, "Record", 600, 60, buttonWidth, buttonHeight, 2, 0, 0},
        {"cmdAbout", b.cmdAbout, "", 120, 60, at(375, 380), buttonHeight, 3, 16, 16},
        {"cmdSettings", b.cmdSettings, "Settings", 2820, 60, buttonWidth, buttonHeight, 4, 0, 0},
        {"lblUpto", b.lblUpto, "00:00", 2220, 120, at(855, 860), at(195, 200), 5, 0, 0},
        {"Image1", b.Image1, nullptr, 0, 0, 30, barHeight, -1, 2, 29},
        // 10 twips are two thirds of a pixel at 96 DPI: one pixel.
        {"imgbotline", b.imgbotline, nullptr, at(15, 10), barHeight - 30, f.gripLeft, 30, -1, 8, 2},
        {"imgbotcorner", b.imgbotcorner, nullptr, f.gripLeft, at(-15, -10), at(405, 400), 450, -1, 27, 30},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(c.control->left(), c.left);
      EXPECT_EQ(c.control->top(), c.top);
      EXPECT_EQ(c.control->width(), c.width);
      EXPECT_EQ(c.control->height(), c.height);
      EXPECT_EQ(c.control->tabIndex(), c.tab);
      if (auto* button = dynamic_cast<Button*>(c.control)) {
        EXPECT_EQ(button->caption(), c.caption);
      } else if (auto* label = dynamic_cast<Label*>(c.control)) {
        EXPECT_EQ(label->caption(), c.caption);
      }
      if (isHeadless()) {
        const Picture picture = headlessPicture(*c.control);
        EXPECT_EQ(picture.width, c.pictureWidth);
        EXPECT_EQ(picture.height, c.pictureHeight);
      }
    }
    // The region's bottom edge runs between the side windows' inner edges.
    EXPECT_EQ(b.Line1->x1(), at(105, 100));
    EXPECT_EQ(b.Line1->x2(), f.width - at(105, 100));
    EXPECT_EQ(b.Line1->y1(), 0);
    EXPECT_EQ(b.Line1->y2(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(, BarAtDensity, ::testing::Values(15.0f, 10.0f), FrameAtDensity::name);

TEST_F(FrameTest, BarIsKeptAtLeast100TwipsBelowFrmtop) {
  if (tppY() != 15.0f) GTEST_SKIP() << "table written for 96 DPI";
  Main(app);
  const float edge = top().top() + top().height();
  struct Case {
    const char* what;
    float gap;       // bar top below frmtop's bottom edge, twips
    float expected;  // gap after a frmtop event
  } cases[] = {
      {"bar overlapping frmtop", -45, 105},
      {"touching", 0, 105},
      {"one pixel short of 100", 90, 105},
      {"first pixel at or above 100 stays", 105, 105},
      {"far below stays: no maximum height", 12000, 12000},
  };
  for (const auto& c : cases) {
    bot().setTop(edge + c.gap);
    hoverTop();
    EXPECT_EQ(bot().top() - edge, c.expected) << c.what;
    expectAttached(c.what);
  }
}

TEST_F(FrameTest, MovingFrmtopBringsTheFrameAlongAndKeepsTheRegionSize) {
  Main(app);
  const PixelRect before = regionPixels(app);
  struct Case {
    const char* what;
    float left, top;
  } cases[] = {
      {"a little right and down", 3000, 3300},
      {"left of the primary monitor", -9000, 1200},
      {"above the screen", 1500, -900},
      {"beyond 16-bit twips: 4K or second monitor", 45000, 34500},
      {"back home", 2100, 2100},
  };
  for (const auto& c : cases) {
    const float dx0 = left().left() - top().left(), dy0 = bot().top() - top().top();
    input().dragWindowTo(top(), c.left, c.top);
    hoverTop();
    EXPECT_EQ(top().left(), snapX(c.left)) << c.what;
    EXPECT_EQ(left().left() - top().left(), dx0) << c.what;
    EXPECT_EQ(bot().top() - top().top(), dy0) << c.what;
    const PixelRect now = regionPixels(app);
    EXPECT_EQ(now.width, before.width) << c.what;
    EXPECT_EQ(now.height, before.height) << c.what;
    EXPECT_EQ(now.x, static_cast<std::int32_t>((left().left() + left().width()) / tppX())) << c.what;
    expectAttached(c.what);
  }
}

TEST_F(FrameTest, RegionIsTheHoleInsideTheFourWindows) {
  Main(app);
  const PixelRect r = regionPixels(app);
  EXPECT_EQ(r.x * tppX(), left().left() + left().width());
  EXPECT_EQ(r.y * tppY(), top().top() + top().height());
  EXPECT_EQ((r.x + r.width) * tppX(), right().left());
  EXPECT_EQ((r.y + r.height) * tppY(), bot().top());
  EXPECT_EQ(r.width * tppX(), top().width() - left().width() - right().width());
}

TEST_F(FrameTest, StayOnTopKeepsAMinimisedWindowWhereItIs) {
  Main(app);
  const float normalLeft = top().left(), normalTop = top().top();
  input().minimize(top());
  ASSERT_EQ(top().windowState(), kStateMinimized);
  const float l = top().left(), t = top().top();
  StayOnTop(top(), 1234, 2345);
  EXPECT_TRUE(top().topmost());
  EXPECT_EQ(top().left(), l);
  EXPECT_EQ(top().top(), t);
  EXPECT_EQ(top().windowState(), kStateMinimized);
  // Read while minimised, Left and Top are the minimised box: where the
  // window comes back shows what StayOnTop did.
  input().restore(top());
  EXPECT_EQ(top().left(), normalLeft);
  EXPECT_EQ(top().top(), normalTop);
}

TEST_F(FrameTest, StayOnTopPlacesANormalWindowAtTheGivenPosition) {
  Main(app);
  struct Case {
    std::int32_t x, y;
  } cases[] = {{1500, 1500}, {-4500, 600}, {45000, 36000}};
  for (const auto& c : cases) {
    StayOnTop(right(), c.x, c.y);
    EXPECT_TRUE(right().topmost());
    EXPECT_EQ(right().left(), snapX(c.x));
    EXPECT_EQ(right().top(), snapY(c.y));
  }
}

}  // namespace
}  // namespace ks::test
