// The headless grabber against a painted in-memory screen: the exact bytes
// the movie writer would store.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/headless/headless_screen.h"

namespace ks {
namespace {

// A colour that differs between neighbouring pixels in every channel.
Rgb patternAt(std::int64_t x, std::int64_t y) {
  return {static_cast<std::uint8_t>(x * 7 + y * 3 + 1), static_cast<std::uint8_t>(x * 5 + y * 11 + 2),
          static_cast<std::uint8_t>(200 - x * 3 - y * 13)};
}

void paintPattern(HeadlessScreen& screen) {
  for (std::int32_t y = screen.top(); y < screen.top() + screen.height(); ++y) {
    for (std::int32_t x = screen.left(); x < screen.left() + screen.width(); ++x) {
      screen.setPixel(x, y, patternAt(x, y));
    }
  }
}

struct Region {
  std::int32_t width, height, x, y;
};

// An opaque cursor whose every pixel differs from the pattern's.
pixels::CursorImage testCursor(std::int32_t width, std::int32_t height, std::int32_t hotX,
                               std::int32_t hotY) {
  pixels::CursorImage cursor{width, height, hotX, hotY, {}};
  for (std::int32_t j = 0; j < height; ++j) {
    for (std::int32_t i = 0; i < width; ++i) {
      cursor.pixels.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j), 0xFE, 255});
    }
  }
  return cursor;
}

// What the picture must hold, worked out pixel by pixel from the screen's
// paint: bottom row first, B G R, zero padding, black off the screen, and
// the (opaque) cursor with its hotspot on the pointer.
std::vector<std::uint8_t> expectedPicture(const HeadlessScreen& screen, const Region& r) {
  const std::size_t stride = (static_cast<std::size_t>(r.width) * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> bytes(stride * static_cast<std::size_t>(r.height), 0);
  const pixels::CursorImage& cursor = screen.cursor();
  for (std::int32_t row = 0; row < r.height; ++row) {
    const std::int64_t screenY = std::int64_t{r.y} + r.height - 1 - row;
    for (std::int32_t column = 0; column < r.width; ++column) {
      const std::int64_t screenX = std::int64_t{r.x} + column;
      const bool onScreen = screenX >= screen.left() && screenX < screen.left() + screen.width() &&
                            screenY >= screen.top() && screenY < screen.top() + screen.height();
      std::uint8_t* p = bytes.data() + static_cast<std::size_t>(row) * stride + column * 3;
      if (onScreen) {
        const Rgb c = patternAt(screenX, screenY);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      }
      const std::int64_t i = screenX - (screen.pointer().x - cursor.hotspotX);
      const std::int64_t j = screenY - (screen.pointer().y - cursor.hotspotY);
      if (screen.cursorVisible() && i >= 0 && i < cursor.width && j >= 0 && j < cursor.height) {
        const pixels::Bgra& c = cursor.pixels[static_cast<std::size_t>(j * cursor.width + i)];
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      }
    }
  }
  return bytes;
}

// Empty when the picture holds exactly `expected`; else where it differs.
std::string pictureDiff(const CapturedPicture& picture, const Region& r,
                        const std::vector<std::uint8_t>& expected) {
  if (picture.width != r.width || picture.height != r.height) return "wrong size";
  if (picture.stride * static_cast<std::size_t>(picture.height) != expected.size()) {
    return "wrong stride " + std::to_string(picture.stride);
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (picture.bits[i] != expected[i]) {
      return "byte " + std::to_string(i) + " (row " + std::to_string(i / picture.stride) +
             " from the bottom) is " + std::to_string(picture.bits[i]) + ", expected " +
             std::to_string(expected[i]);
    }
  }
  return {};
}

std::string grabAndDiff(ScreenGrabber& grabber, const HeadlessScreen& screen, const Region& r) {
  if (!grabber.grabRect(r.width, r.height, r.x, r.y)) return "grab failed";
  return pictureDiff(grabber.picture(), r, expectedPicture(screen, r));
}

TEST(HeadlessGrabber, CopiesTheRegionBottomUpInBgrWithZeroPadding) {
  const Region regions[] = {
      {1, 1, 0, 0},   {1, 5, 37, 12},  {101, 3, 5, 9},    {101, 40, 0, 0},
      {641, 2, 3, 4}, {641, 77, 0, 300}, {700, 500, 0, 0}, {4, 4, 696, 496},
  };
  for (const int bitsPerPixel : {32, 24}) {
    HeadlessScreen screen({0, 0, 700, 500, bitsPerPixel});
    paintPattern(screen);
    screen.setCursorVisible(false);
    auto grabber = makeHeadlessGrabber(screen);
    for (const Region& r : regions) {
      EXPECT_EQ(grabAndDiff(*grabber, screen, r), "")
          << bitsPerPixel << " bpp, " << r.width << "x" << r.height << " at " << r.x << "," << r.y;
    }
  }
}

TEST(HeadlessGrabber, BlacksOutWhatLiesOffTheScreenEvenInAReusedBuffer) {
  // Virtual screen from -640 (a monitor on the left) to 1280, -100 to 500.
  HeadlessScreen screen({-640, -100, 1920, 600, 32});
  paintPattern(screen);
  screen.setCursorVisible(false);
  const Region regions[] = {
      {101, 50, -700, 0},     {101, 50, 1250, 20},  {101, 50, 0, -130},    {101, 50, 0, 480},
      {2000, 700, -680, -150}, {101, 50, -900, 0},  {101, 50, 5000, 5000}, {101, 50, -640, -100},
  };
  for (const Region& r : regions) {
    auto grabber = makeHeadlessGrabber(screen);
    // The same size fully on the screen first: none of it may stay behind.
    ASSERT_TRUE(grabber->grabRect(r.width, r.height, -600, -90));
    const std::uint8_t* reused = grabber->picture().bits;
    EXPECT_EQ(grabAndDiff(*grabber, screen, r), "") << r.width << "x" << r.height << " at " << r.x << "," << r.y;
    EXPECT_EQ(grabber->picture().bits, reused);
  }
}

TEST(HeadlessGrabber, DrawsTheCursorWithItsHotspotOnThePointer) {
  HeadlessScreen screen({0, 0, 400, 300, 32});
  paintPattern(screen);
  screen.setCursor(testCursor(5, 7, 2, 3));
  const Region r{101, 60, 50, 40};
  struct Case {
    std::int32_t pointerX, pointerY;
  };
  const Case cases[] = {
      {100, 70},  // well inside
      {50, 40},   // on the region's top-left pixel: image hangs out left and up
      {150, 99},  // on its bottom-right pixel
      {48, 70},   // left of the region, image reaching in
      {152, 101}, // beyond the bottom-right corner, only the image's corner inside
      {10, 10},   // far outside
      {150, 40},  // on its top-right pixel
  };
  auto grabber = makeHeadlessGrabber(screen);
  for (const Case& c : cases) {
    screen.setPointer(c.pointerX, c.pointerY);
    EXPECT_EQ(grabAndDiff(*grabber, screen, r), "") << "pointer " << c.pointerX << "," << c.pointerY;
  }

  // The pixel under the pointer is the hotspot's, not the image's corner.
  screen.setPointer(100, 70);
  ASSERT_TRUE(grabber->grabRect(r.width, r.height, r.x, r.y));
  const CapturedPicture picture = grabber->picture();
  const std::uint8_t* underPointer =
      picture.bits + static_cast<std::size_t>(r.height - 1 - (70 - r.y)) * picture.stride + (100 - r.x) * 3;
  EXPECT_EQ(underPointer[0], 2);  // i of the hotspot
  EXPECT_EQ(underPointer[1], 3);  // j of the hotspot
  EXPECT_EQ(underPointer[2], 0xFE);

  // Hidden: the picture is the screen alone.
  screen.setCursorVisible(false);
  EXPECT_EQ(grabAndDiff(*grabber, screen, r), "");
}

TEST(HeadlessGrabber, KeepsOneBufferAndReusesItWhileTheSizeStays) {
  HeadlessScreen screen({0, 0, 300, 200, 32});
  paintPattern(screen);
  auto grabber = makeHeadlessGrabber(screen);
  EXPECT_EQ(grabber->buffersHeld(), 0);
  EXPECT_EQ(grabber->picture().bits, nullptr);

  ASSERT_TRUE(grabber->grabRect(30, 20, 0, 0));
  const std::uint8_t* first = grabber->picture().bits;
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(grabber->grabRect(30, 20, i, i));
    EXPECT_EQ(grabber->picture().bits, first);
    EXPECT_EQ(grabber->buffersHeld(), 1);
  }
  ASSERT_TRUE(grabber->grabRect(31, 20, 0, 0));
  EXPECT_EQ(grabber->buffersHeld(), 1);
  EXPECT_EQ(grabber->picture().width, 31);
  EXPECT_EQ(grabber->picture().stride, 96u);

  grabber->freeCapture();
  EXPECT_EQ(grabber->buffersHeld(), 0);
  const CapturedPicture empty = grabber->picture();
  EXPECT_EQ(empty.bits, nullptr);
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.stride, 0u);
  grabber->freeCapture();  // twice is harmless
  EXPECT_TRUE(grabber->grabRect(10, 10, 0, 0));
  EXPECT_EQ(grabber->buffersHeld(), 1);
}

TEST(HeadlessGrabber, AFailedGrabLeavesThePreviousPictureAlone) {
  HeadlessScreen screen({0, 0, 300, 200, 32});
  paintPattern(screen);
  screen.setCursorVisible(false);
  auto grabber = makeHeadlessGrabber(screen);

  // Without a buffer, a failure leaves none.
  EXPECT_FALSE(grabber->grabRect(0, 10, 0, 0));
  EXPECT_EQ(grabber->buffersHeld(), 0);

  const Region good{41, 13, 7, 9};
  ASSERT_TRUE(grabber->grabRect(good.width, good.height, good.x, good.y));
  const CapturedPicture before = grabber->picture();
  const std::vector<std::uint8_t> bytes(before.bits, before.bits + before.stride * before.height);
  screen.fill({1, 2, 3});  // a changed screen would show if a failure copied it

  const Region bad[] = {{0, 10, 0, 0},   {10, 0, 0, 0},     {-5, 10, 0, 0},
                        {10, -5, 0, 0},  {41, 0, 7, 9},     {65536, 40000, 0, 0},
                        {2147483647, 2147483647, 0, 0}};
  for (const Region& r : bad) {
    EXPECT_FALSE(grabber->grabRect(r.width, r.height, r.x, r.y)) << r.width << "x" << r.height;
    const CapturedPicture after = grabber->picture();
    EXPECT_EQ(after.bits, before.bits);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.stride, before.stride);
    EXPECT_EQ(std::memcmp(after.bits, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(grabber->buffersHeld(), 1);
  }
}

}  // namespace
}  // namespace ks
