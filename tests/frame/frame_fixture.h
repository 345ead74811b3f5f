// A started program on the test platform, with short names for its windows.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"
#include "support/test_platform.h"
#include "support/test_services.h"

namespace ks::test {

class FrameTest : public ::testing::Test {
 public:
  // twipsPerPixel: the screen density to ask for, 0 for the backend's own.
  explicit FrameTest(float twipsPerPixel = 0) : platform(makeTestPlatform(twipsPerPixel)) {}

  TestPlatform platform;
  TestServices services;
  App app{services.platform(*platform.windows)};

  WindowSystem& ws() { return *platform.windows; }
  InputSimulator& input() { return *platform.input; }
  Window& top() { return app.frmtop().window(); }
  Window& left() { return app.frmleft().window(); }
  Window& right() { return app.frmright().window(); }
  Window& bot() { return app.frmbot().window(); }

  float tppX() { return ws().twipsPerPixelX(); }
  float tppY() { return ws().twipsPerPixelY(); }
  // What the window system keeps of a twip value: whole pixels.
  float snapX(double twips) { return static_cast<float>(std::nearbyint(twips / tppX()) * tppX()); }
  float snapY(double twips) { return static_cast<float>(std::nearbyint(twips / tppY()) * tppY()); }

  // A pointer move over frmtop's client strip, as the user makes it after
  // dragging the title bar.
  void hoverTop() { input().mouseMove(top(), MouseEvent{0, 300, 30}); }

  // The frame around frmtop as it must stand after any of frmtop's events.
  // At 96 and 144 DPI, the densities whose numbers the tests state, the side
  // windows start 120 twips above frmtop's bottom edge and reach just past
  // the bar's top edge in whole pixels: at 96 DPI they are 7 pixels wide
  // (105 twips) and end 15 twips past the bar. Elsewhere they start 30
  // twips above frmtop's client area and end 20 below the bar's top edge,
  // to the pixel.
  void expectAttached(const char* when) {
    SCOPED_TRACE(when);
    const float edge = top().top() + top().height();
    EXPECT_EQ(bot().left(), top().left());
    EXPECT_EQ(bot().width(), top().width());
    EXPECT_EQ(left().left(), top().left());
    EXPECT_EQ(right().left() + right().width(), top().left() + top().width());
    EXPECT_EQ(right().top(), left().top());
    EXPECT_EQ(right().height(), left().height());
    struct Numbers {
      float tpp, side, minimumGap, pastBar, barHeight;
    };
    static constexpr Numbers kDensities[] = {{15, 105, 105, 15, 435}, {10, 100, 100, 20, 440}};
    const Numbers* n = nullptr;
    for (const Numbers& d : kDensities)
      if (d.tpp == tppX() && d.tpp == tppY()) n = &d;
    if (!n) {
      EXPECT_GE(bot().top() - edge, 100 - tppY() / 2) << "bar too close to frmtop";
      EXPECT_LE(std::fabs(left().top() - (edge - top().scaleHeight() - 30)), tppY() / 2);
      EXPECT_LE(std::fabs(left().top() + left().height() - (bot().top() + 20)), tppY());
      return;
    }
    EXPECT_GE(bot().top() - edge, n->minimumGap) << "bar too close to frmtop";
    EXPECT_EQ(bot().height(), n->barHeight);
    for (Window* w : {&left(), &right()}) {
      EXPECT_EQ(w->width(), n->side);
      EXPECT_EQ(w->top(), edge - 120);
      EXPECT_EQ(w->top() + w->height(), bot().top() + n->pastBar);
    }
  }
};

// The frame at each of the two densities whose numbers the tests state:
// 96 DPI (15 twips per pixel) and 144 DPI (10). The headless backend runs
// both; Win32 runs the one the system has and skips the other.
class FrameAtDensity : public FrameTest, public ::testing::WithParamInterface<float> {
 public:
  FrameAtDensity() : FrameTest(GetParam()) {}
  void SetUp() override {
    if (tppX() != GetParam() || tppY() != GetParam()) GTEST_SKIP() << "the screen has " << tppX() << " twips per pixel";
  }
  // The number stated for this density.
  float at(float at96dpi, float at144dpi) const { return GetParam() == 15 ? at96dpi : at144dpi; }
  static std::string name(const ::testing::TestParamInfo<float>& info) { return info.param == 15 ? "dpi96" : "dpi144"; }
};

}  // namespace ks::test
