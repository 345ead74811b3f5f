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
  TestPlatform platform = makeTestPlatform();
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

  // The layout fixborders must leave, checked from values read back.
  void expectAttached(const char* when) {
    SCOPED_TRACE(when);
    const float T = top().top(), L = top().left(), W = top().width(), H = top().height();
    const float S = top().scaleHeight(), B = bot().top();
    EXPECT_GE(B, T + H + 100 - tppY() / 2) << "bar too close to frmtop";
    EXPECT_EQ(bot().left(), L);
    EXPECT_EQ(bot().width(), W);
    EXPECT_EQ(left().left(), L);
    EXPECT_EQ(right().left(), snapX(L + W - right().width()));
    EXPECT_EQ(left().top(), snapY(T + H - S - 30));
    EXPECT_EQ(right().top(), left().top());
    EXPECT_EQ(left().height(), snapY(B - T - H + S + 50));
    EXPECT_EQ(right().height(), left().height());
    // The side windows close the corners: they end 20 twips below the
    // bar's top edge, to the pixel.
    EXPECT_LE(std::fabs(left().top() + left().height() - (B + 20)), tppY());
  }
};

}  // namespace ks::test
