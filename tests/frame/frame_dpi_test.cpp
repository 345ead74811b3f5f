// Pixel rounding at other screen densities, where only the in-memory
// platform lets a test choose the twips per pixel.
#include <gtest/gtest.h>

#include <cmath>

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"
#include "frame/region.h"
#include "platform/headless/headless_input_simulator.h"
#include "support/test_services.h"

namespace ks {
namespace {

TEST(FrameAtOtherDensities, SideWidthsReadBackRoundedAndBoundTheRegion) {
  struct Case {
    float tpp;
    float sideWidth;  // 100 twips as whole pixels
  } cases[] = {
      {15.0f, 105.0f},           // 96 DPI: 6.67 px -> 7
      {12.0f, 96.0f},            // 120 DPI: 8.33 px -> 8
      {10.0f, 100.0f},           // 144 DPI: exactly 10 px
      {1440.0f / 168, 1440.0f / 168 * 12},  // 168 DPI: 11.67 px -> 12
      {20.0f, 100.0f},           // 72 DPI: exactly 5 px
      {40.0f, 80.0f},            // 36 DPI: 2.5 px -> 2 (ties to even)
  };
  for (const auto& c : cases) {
    HeadlessWindowSystem ws({c.tpp, c.tpp});
    test::TestServices services;
    App app(services.platform(ws));
    Main(app);
    Window& top = app.frmtop().window();
    Window& left = app.frmleft().window();
    Window& right = app.frmright().window();
    EXPECT_FLOAT_EQ(left.width(), c.sideWidth) << c.tpp;
    EXPECT_FLOAT_EQ(right.width(), c.sideWidth) << c.tpp;
    const PixelRect r = regionPixels(app);
    EXPECT_EQ(r.x, std::lrint((left.left() + left.width()) / c.tpp)) << c.tpp;
    EXPECT_EQ(r.x + r.width, std::lrint(right.left() / c.tpp)) << c.tpp;
    EXPECT_EQ(r.width, std::lrint((top.width() - 2 * c.sideWidth) / c.tpp)) << c.tpp;
  }
}

TEST(FrameAtOtherDensities, GapOfExactly100TwipsStaysAndLessIsPushedDown) {
  for (float tpp : {10.0f, 20.0f}) {
    HeadlessWindowSystem ws({tpp, tpp});
    HeadlessInputSimulator input(ws);
    test::TestServices services;
    App app(services.platform(ws));
    Main(app);
    Window& top = app.frmtop().window();
    Window& bot = app.frmbot().window();
    const float edge = top.top() + top.height();
    struct Case {
      float gap, expected;
    } cases[] = {{100, 100}, {100 - tpp, 100}, {-400, 100}, {100 + tpp, 100 + tpp}, {50000, 50000}};
    for (const auto& c : cases) {
      bot.setTop(edge + c.gap);
      input.mouseMove(top, {0, 100, 20});
      EXPECT_EQ(bot.top() - edge, c.expected) << "tpp " << tpp << " gap " << c.gap;
    }
  }
}

TEST(FrameAtOtherDensities, MinimisedFrmtopLaysOutWithoutStayOnTop) {
  HeadlessWindowSystem ws;
  HeadlessInputSimulator input(ws);
  test::TestServices services;
  App app(services.platform(ws));
  Main(app);
  const auto before = ws.topmostOrder();
  input.minimize(app.frmtop().window());
  EXPECT_EQ(ws.topmostOrder(), before) << "no window raised while frmtop is minimised";
  input.restore(app.frmtop().window());
  const auto after = ws.topmostOrder();
  ASSERT_GE(after.size(), 3u);
  // Restoring puts the other three on top, the bar last.
  EXPECT_EQ(after.back(), &app.frmbot().window());
  EXPECT_EQ(after[after.size() - 2], &app.frmright().window());
  EXPECT_EQ(after[after.size() - 3], &app.frmleft().window());
}

}  // namespace
}  // namespace ks
