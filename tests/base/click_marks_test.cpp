// Click rings: where they are drawn, in which colour and size, and for which
// frames, on plain buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/click_marks.h"

namespace ks {
namespace {

using pixels::Bgra;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// A picture between guard bands; its padding is zero and its pixels `under`.
struct Picture {
  static constexpr std::size_t kBand = 64;
  static constexpr std::uint8_t kGuard = 0xA5;
  std::int32_t width, height;
  std::vector<std::uint8_t> bytes;
  Picture(std::int32_t w, std::int32_t h, std::uint8_t under = 40)
      : width(w), height(h), bytes(2 * kBand + dibStride(w) * h, kGuard) {
    for (std::int32_t y = 0; y < h; ++y) {
      std::fill_n(view().row(y), dibStride(w), 0);
      std::fill_n(view().row(y), 3 * w, under);
    }
  }
  pixels::DibView view() { return {bytes.data() + kBand, width, height, dibStride(width)}; }
  Bgra at(std::int64_t x, std::int64_t y) {
    const std::uint8_t* p = view().row(y) + 3 * x;
    return {p[0], p[1], p[2], 255};
  }
  void expectOnlyPixelsWritten() {
    for (std::size_t i = 0; i < kBand; ++i) {
      ASSERT_EQ(bytes[i], kGuard) << "before the picture, byte " << i;
      ASSERT_EQ(bytes[bytes.size() - 1 - i], kGuard) << "after the picture, byte " << i;
    }
    for (std::int32_t y = 0; y < height; ++y) {
      for (std::uint32_t i = 3 * width; i < dibStride(width); ++i) ASSERT_EQ(view().row(y)[i], 0) << "padding of row " << y;
    }
  }
};

bool same(Bgra a, Bgra b) { return a.b == b.b && a.g == b.g && a.r == b.r; }

TEST(ClickMarks, DrawsTheRingAroundPressesInThePictureClippedToIt) {
  const PixelPoint origin{1000, -300};
  const std::int64_t w = 61, h = 45;  // rows of 183 bytes and one of padding
  const PixelPoint presses[] = {{30, 22}, {0, 22},  {60, 22}, {30, 0},  {30, 44}, {0, 0},
                                {60, 0},  {0, 44},  {60, 44}, {-1, 22}, {61, 22}, {30, -1},
                                {30, 45}, {-1, -1}, {61, 45}, {-30, 22}};
  for (const PixelPoint p : presses) {
    Picture picture(w, h);
    ClickMarks marks;
    marks.add({0, {origin.x + p.x, origin.y + p.y}});
    marks.draw(picture.view(), origin, 0);
    const bool inside = p.x >= 0 && p.x < w && p.y >= 0 && p.y < h;
    int coloured = 0;
    for (std::int64_t y = 0; y < h; ++y) {
      for (std::int64_t x = 0; x < w; ++x) {
        const double off = std::hypot(x - p.x, y - p.y) - 16;  // from the line's middle
        const Bgra pixel = picture.at(x, y);
        if (inside && std::fabs(off) <= 1) {
          ASSERT_TRUE(same(pixel, kLeftClickColour)) << p.x << "," << p.y << ": " << x << "," << y;
          ++coloured;
        } else if (!inside || std::fabs(off) >= 2) {
          ASSERT_TRUE(same(pixel, {40, 40, 40})) << p.x << "," << p.y << ": " << x << "," << y;
        } else if (std::fabs(off) > 1.2 && std::fabs(off) < 1.8) {  // the smoothed edge: part of each
          ASSERT_TRUE(pixel.r > 40 && pixel.r < 255) << p.x << "," << p.y << ": " << x << "," << y;
        }
      }
    }
    EXPECT_EQ(coloured > 0, inside) << p.x << "," << p.y;
    picture.expectOnlyPixelsWritten();
  }
  // Rings far outside, huge or on one pixel: nothing written outside the pixels.
  struct Extreme {
    std::int32_t width, height;
    PixelPoint centre;
    std::int32_t radius, lineWidth;
    bool draws;
  };
  const Extreme extremes[] = {
      {1, 1, {0, 0}, 0, 3, true},           {1, 1, {kMin, kMax}, 16, 3, false},
      {1, 1, {kMax, kMin}, 16, 3, false},   {1, 1, {0, 0}, INT32_MAX, INT32_MAX, false},
      {5, 3, {2, 1'000'000'001}, 1'000'000'000, 3, true}, {5, 3, {2, 1}, -1, 3, false},
      {5, 3, {2, 1}, 1, 0, false},          {1, 1, {-17, 0}, 16, 3, true},
  };
  for (const Extreme& e : extremes) {
    Picture picture(e.width, e.height);
    pixels::drawRing(picture.view(), e.centre, e.radius, e.lineWidth, kLeftClickColour, 1);
    EXPECT_EQ(!same(picture.at(0, 0), {40, 40, 40}), e.draws) << e.centre.x << "," << e.centre.y;
    picture.expectOnlyPixelsWritten();
  }
}

TEST(ClickMarks, ColoursEachButtonAndScalesTheRingWithDpi) {
  struct Case {
    int dpi;
    MouseButton button;
    Bgra colour;
    std::int64_t radius, notRadius;
  };
  const Case cases[] = {
      {96, MouseButton::Left, kLeftClickColour, 16, 24},
      {144, MouseButton::Left, kLeftClickColour, 24, 16},
      {96, MouseButton::Right, kRightClickColour, 16, 24},
      {96, MouseButton::Middle, kMiddleClickColour, 16, 24},
  };
  for (const Case& c : cases) {
    Picture picture(80, 80);
    ClickMarks marks(c.dpi);
    marks.add({0, {40, 40}, c.button});
    marks.draw(picture.view(), {0, 0}, 0);
    EXPECT_TRUE(same(picture.at(40 + c.radius, 40), c.colour)) << c.dpi;
    EXPECT_TRUE(same(picture.at(40, 40 - c.radius), c.colour)) << c.dpi;
    EXPECT_TRUE(same(picture.at(40 + c.notRadius, 40), {40, 40, 40})) << c.dpi;
  }
  EXPECT_FALSE(same(kLeftClickColour, kRightClickColour) || same(kRightClickColour, kMiddleClickColour) ||
               same(kLeftClickColour, kMiddleClickColour));
}

TEST(ClickMarks, ShowsEachPressFromItsFirstFrameThenFades) {
  constexpr double kKept = 0, kGone = -1;  // not drawn: held for a later frame / forgotten
  const auto left = [](double t, bool down) { return ButtonEvent{t, {20, 20}, MouseButton::Left, down}; };
  struct Frame {
    double time, strength;
  };
  struct Case {
    const char* what;
    std::vector<ButtonEvent> events;
    std::vector<Frame> frames;
  };
  const Case cases[] = {
      {"click between two frames at 1 fps", {left(0.2, true), left(0.25, false)}, {{0, kKept}, {1, 1}, {2, kGone}}},
      {"short click: 300 ms, then the fade",
       {left(0, true), left(0.05, false)},
       {{0, 1}, {0.3, 1}, {0.4, 0.75}, {0.5, 0.5}, {0.6, 0.25}, {0.7, kGone}}},
      {"counted from the first frame", {left(0.5, true), left(0.5, false)},
       {{0.4, kKept}, {0.6, 1}, {0.9, 1}, {1.1, 0.5}, {1.3, kGone}}},
      {"held for 2 s", {left(0, true), left(2, false)}, {{0.1, 1}, {1, 1}, {2, 1}, {2.2, 0.5}, {2.4, kGone}}},
      {"still held", {left(0, true)}, {{5, 1}, {600, 1}}},
      {"releases without a press of their button",
       {left(0, false), left(0.1, true), {0.3, {20, 20}, MouseButton::Right, false}},
       {{0.2, 1}, {3, 1}}},
  };
  for (const Case& c : cases) {
    ClickMarks marks;
    for (const ButtonEvent& e : c.events) marks.add(e);
    for (const Frame& f : c.frames) {
      Picture picture(40, 40, 0);
      marks.draw(picture.view(), {0, 0}, f.time);
      const double shown = picture.at(36, 20).r / 255.0;  // on the ring's line
      EXPECT_NEAR(shown, std::max(f.strength, 0.0), 0.003) << c.what << " at " << f.time;
      EXPECT_EQ(marks.held(), f.strength == kGone ? 0u : 1u) << c.what << " at " << f.time;
    }
  }
}

TEST(ClickMarks, KeepsARingForEachPressUpToTheCap) {
  ClickMarks marks;
  marks.add({0, {20, 20}});
  marks.add({0.1, {60, 20}});
  marks.add({0.2, {60, 20}, MouseButton::Left, false});  // ends the later press
  for (const double t : {0.1, 1.0}) {
    Picture picture(80, 40);
    marks.draw(picture.view(), {0, 0}, t);
    EXPECT_TRUE(same(picture.at(36, 20), kLeftClickColour)) << t;
    EXPECT_EQ(same(picture.at(76, 20), kLeftClickColour), t < 1) << t;
  }
  EXPECT_EQ(marks.held(), 1u);
  for (int i = 0; i < 100; ++i) marks.add({2, {-100, -100}});
  EXPECT_EQ(marks.held(), ClickMarks::kMaxRings);
  Picture picture(80, 40);
  marks.draw(picture.view(), {0, 0}, 3);
  EXPECT_TRUE(same(picture.at(36, 20), {40, 40, 40})) << "the oldest ring is dropped";
}

}  // namespace
}  // namespace ks
