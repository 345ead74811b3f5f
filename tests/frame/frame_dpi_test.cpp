// Pixel rounding at other screen densities, where only the in-memory
// platform lets a test choose the twips per pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

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

// The four windows as numbers (left, top, width, height in twips) after
// start-up and after frmtop is moved, widened and the bar dragged too close,
// at 96 and 144 DPI. frmtop's frame here is 3 pixels wide with a 20-pixel
// title bar.
TEST(FrameAtOtherDensities, TheFrameAsNumbers) {
  struct Box {
    float left, top, width, height;
  };
  struct Step {
    const char* what;
    std::function<void(App&, HeadlessInputSimulator&)> change;
    Box top, left, right, bot;
  };
  auto moveTo = [](float l, float t) {
    return [l, t](App& app, HeadlessInputSimulator& input) { input.dragWindowTo(app.frmtop().window(), l, t); };
  };
  auto widen = [](App& app, HeadlessInputSimulator& input) {
    input.dragWindowTo(app.frmtop().window(), 3000, 3300);
    app.frmtop().window().setWidth(6000);
  };
  // 30 twips below frmtop's bottom edge.
  auto barTooClose = [](App& app, HeadlessInputSimulator&) {
    Window& top = app.frmtop().window();
    app.frmbot().window().setTop(top.top() + top.height() + 30);
  };
  struct Density {
    float tpp;
    std::vector<Step> steps;
  };
  const Density densities[] = {
      {15,
       {{"start-up", nullptr, {2145, 2085, 4830, 480}, {2145, 2445, 105, 3975}, {6870, 2445, 105, 3975},
         {2145, 6405, 4830, 435}},
        {"moved", moveTo(3000, 3300), {3000, 3300, 4830, 480}, {3000, 3660, 105, 3975}, {7725, 3660, 105, 3975},
         {3000, 7620, 4830, 435}},
        {"beyond 16-bit twips", moveTo(45000, 34500), {45000, 34500, 4830, 480}, {45000, 34860, 105, 3975},
         {49725, 34860, 105, 3975}, {45000, 38820, 4830, 435}},
        {"back and widened", widen, {3000, 3300, 6000, 480}, {3000, 3660, 105, 3975}, {8895, 3660, 105, 3975},
         {3000, 7620, 6000, 435}},
        {"bar too close", barTooClose, {3000, 3300, 6000, 480}, {3000, 3660, 105, 240}, {8895, 3660, 105, 240},
         {3000, 3885, 6000, 435}}}},
      {10,
       {{"start-up", nullptr, {2160, 2200, 4800, 350}, {2160, 2430, 100, 3990}, {6860, 2430, 100, 3990},
         {2160, 6400, 4800, 440}},
        {"moved", moveTo(3000, 3300), {3000, 3300, 4800, 350}, {3000, 3530, 100, 3990}, {7700, 3530, 100, 3990},
         {3000, 7500, 4800, 440}},
        {"beyond 16-bit twips", moveTo(45000, 34500), {45000, 34500, 4800, 350}, {45000, 34730, 100, 3990},
         {49700, 34730, 100, 3990}, {45000, 38700, 4800, 440}},
        {"back and widened", widen, {3000, 3300, 6000, 350}, {3000, 3530, 100, 3990}, {8900, 3530, 100, 3990},
         {3000, 7500, 6000, 440}},
        {"bar too close", barTooClose, {3000, 3300, 6000, 350}, {3000, 3530, 100, 240}, {8900, 3530, 100, 240},
         {3000, 3750, 6000, 440}}}},
  };
  for (const Density& d : densities) {
    HeadlessWindowSystem ws({d.tpp, d.tpp});
    HeadlessInputSimulator input(ws);
    test::TestServices services;
    App app(services.platform(ws));
    Main(app);
    for (const Step& s : d.steps) {
      SCOPED_TRACE(std::to_string(d.tpp) + " twips per pixel, " + s.what);
      if (s.change) {
        s.change(app, input);
        input.mouseMove(app.frmtop().window(), {0, 300, 30});
      }
      const struct {
        const char* name;
        Window* window;
        Box box;
      } windows[] = {{"frmtop", &app.frmtop().window(), s.top},
                     {"frmleft", &app.frmleft().window(), s.left},
                     {"frmright", &app.frmright().window(), s.right},
                     {"frmbot", &app.frmbot().window(), s.bot}};
      for (const auto& [name, w, box] : windows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(w->left(), box.left);
        EXPECT_EQ(w->top(), box.top);
        EXPECT_EQ(w->width(), box.width);
        EXPECT_EQ(w->height(), box.height);
      }
    }
  }
}

TEST(FrameAtOtherDensities, MinimisedFrmtopLaysOutWithoutStayOnTop) {
  HeadlessWindowSystem ws;
  HeadlessInputSimulator input(ws);
  test::TestServices services;
  App app(services.platform(ws));
  Main(app);
  Window& top = app.frmtop().window();
  Window& left = app.frmleft().window();
  Window& right = app.frmright().window();
  Window& bar = app.frmbot().window();
  // Another order than StayOnTop's, so that a StayOnTop would show.
  left.makeTopmost();
  const auto before = ws.topmostOrder();
  ASSERT_EQ(before.back(), &left);
  const float normalLeft = top.left();
  input.minimize(top);
  EXPECT_EQ(ws.topmostOrder(), before) << "no window raised while frmtop is minimised";
  // The layout still runs, from the box the system reports for the
  // minimised frmtop.
  ASSERT_NE(top.left(), normalLeft) << "the minimised box lies elsewhere";
  EXPECT_EQ(left.left(), top.left());
  EXPECT_EQ(bar.left(), top.left());
  EXPECT_EQ(bar.width(), top.width());
  EXPECT_EQ(right.left(), top.width() + top.left() - right.width());
  EXPECT_EQ(right.height(), left.height());
  input.restore(top);
  EXPECT_EQ(left.left(), normalLeft) << "restoring lays the frame out around frmtop again";
  EXPECT_EQ(bar.left(), normalLeft);
  const auto after = ws.topmostOrder();
  ASSERT_GE(after.size(), 3u);
  // Restoring puts the other three on top, the bar last.
  EXPECT_EQ(after.back(), &app.frmbot().window());
  EXPECT_EQ(after[after.size() - 2], &app.frmright().window());
  EXPECT_EQ(after[after.size() - 3], &app.frmleft().window());
}

// The system menu's region sizes give exactly that many pixels at any
// density, with frmtop where it was; sizes that would leave the screen are
// greyed, and the menu says the region's size now.
TEST(FrameAtOtherDensities, RegionSizesFromTheSystemMenuAreExact) {
  struct Case {
    float tpp;
    int screenWidth, screenHeight;
    std::vector<int> fitting;  // indexes into 640x480 ... 1920x1080
  };
  const Case cases[] = {
      // The region starts at (150, 171) at 96 DPI, (226, 255) at 144 DPI
      // and (235, 265) at 150 DPI; the side windows and the bar are 7, 10 and
      // 10 pixels wide and 29, 44 and 45 pixels high.
      {15.0f, 2200, 1400, {0, 1, 2, 3, 4}},  // everything fits
      {15.0f, 2077, 1280, {0, 1, 2, 3, 4}},  // 1920 x 1080 to the last pixel
      {15.0f, 2076, 1280, {0, 1, 2, 3}},
      {10.0f, 1600, 1100, {0, 1, 2, 3}},     // 1920 too wide
      {10.0f, 1515, 1100, {0, 1, 2}},        // 1280 a pixel too wide
      {9.6f, 1400, 1000, {0, 1}},            // 1024 too high
  };
  const char* const sizes[] = {"640 \xC3\x97 480", "800 \xC3\x97 600", "1024 \xC3\x97 768", "1280 \xC3\x97 720",
                               "1920 \xC3\x97 1080"};
  const int widths[] = {640, 800, 1024, 1280, 1920}, heights[] = {480, 600, 768, 720, 1080};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tpp);
    HeadlessOptions options;
    options.twipsPerPixelX = options.twipsPerPixelY = c.tpp;
    options.screenWidth = c.screenWidth;
    options.screenHeight = c.screenHeight;
    HeadlessWindowSystem ws(options);
    HeadlessInputSimulator input(ws);
    test::TestServices services;
    App app(services.platform(ws));
    Main(app);
    Window& top = app.frmtop().window();
    const std::vector<MenuItem>& menu = ws.openSystemMenu(top);
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(menu[0].text, "Region size");
    ASSERT_EQ(menu[0].items.size(), 5u);
    const PixelRect start = regionPixels(app);
    EXPECT_EQ(menu[1].text, "Region: " + std::to_string(start.width) + " \xC3\x97 " + std::to_string(start.height));
    EXPECT_FALSE(menu[1].enabled);
    for (int i = 0; i < 5; ++i) {
      const bool fits = std::find(c.fitting.begin(), c.fitting.end(), i) != c.fitting.end();
      EXPECT_EQ(menu[0].items[static_cast<std::size_t>(i)].text, sizes[i]);
      EXPECT_EQ(menu[0].items[static_cast<std::size_t>(i)].enabled, fits) << sizes[i];
    }
    const float left = top.left(), topEdge = top.top();
    for (int i = 4; i >= 0; --i) {
      SCOPED_TRACE(sizes[i]);
      const PixelRect before = regionPixels(app);
      input.chooseSystemMenuItem(top, menu[0].items[static_cast<std::size_t>(i)].id);
      const PixelRect r = regionPixels(app);
      const bool fits = std::find(c.fitting.begin(), c.fitting.end(), i) != c.fitting.end();
      if (!fits) {
        EXPECT_EQ(r, before) << "a greyed size changes nothing";
        continue;
      }
      EXPECT_EQ(r.width, widths[i]);
      EXPECT_EQ(r.height, heights[i]);
      EXPECT_EQ(r.x, start.x);
      EXPECT_EQ(r.y, start.y);
      EXPECT_EQ(top.left(), left);
      EXPECT_EQ(top.top(), topEdge);
      // Laid out as the grip lays it out: the bar as wide as frmtop, the
      // sides closing the corners.
      EXPECT_EQ(app.frmbot().window().width(), top.width());
      EXPECT_EQ(app.frmbot().window().left(), left);
      EXPECT_EQ(ws.openSystemMenu(top)[1].text,
                "Region: " + std::to_string(widths[i]) + " \xC3\x97 " + std::to_string(heights[i]));
    }
  }
}

}  // namespace
}  // namespace ks
