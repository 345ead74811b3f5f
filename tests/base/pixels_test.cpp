// The grabbers' pixel work, on plain buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "base/pixels.h"

namespace ks::pixels {
namespace {

TEST(DibImageSize, PadsRowsAndRefusesWhatNoDibHolds) {
  struct Case {
    std::int32_t width, height;
    std::optional<std::uint32_t> size;
  };
  const Case cases[] = {
      {1, 1, 4u},
      {100, 1, 300u},
      {101, 2, 608u},
      {641, 3, 1924u * 3},
      {640, 480, 921600u},
      {0, 5, std::nullopt},
      {5, 0, std::nullopt},
      {-1, 5, std::nullopt},
      {5, -1, std::nullopt},
      {std::numeric_limits<std::int32_t>::max(), 1, std::nullopt},
      {65536, 10923, std::nullopt},  // 2 GiB + a little
      {65536, 10922, 196608u * 10922},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dibImageSize(c.width, c.height), c.size) << c.width << " x " << c.height;
  }
  EXPECT_EQ(dibStride(101), 304u);
  EXPECT_EQ(dibStride(1), 4u);
}

TEST(OnScreenPart, ClipsToTheScreenWithoutOverflow) {
  const PixelRect screen{-1280, 0, 3200, 1080};  // a monitor left of the primary one
  struct Case {
    PixelRect region, part;
  };
  const Case cases[] = {
      {{10, 20, 100, 50}, {0, 0, 100, 50}},
      {{-1300, -5, 100, 50}, {20, 5, 80, 45}},
      {{1900, 1060, 100, 50}, {0, 0, 20, 20}},
      {{-1290, -10, 3300, 1100}, {10, 10, 3200, 1080}},
      {{1920, 0, 10, 10}, {0, 0, 0, 10}},  // just right of the screen: nothing
      {{0, 1080, 10, 10}, {0, 0, 10, 0}},
      {{2147483600, 0, 2147483647, 10}, {0, 0, 0, 10}},
  };
  for (const Case& c : cases) {
    const PixelRect part = onScreenPart(c.region, screen);
    EXPECT_EQ(part.empty(), c.part.empty()) << c.region.x << "," << c.region.y;
    if (!c.part.empty()) {
      EXPECT_EQ(part, c.part) << c.region.x << "," << c.region.y;
    }
  }
}

// Clipping and placement are checked through the headless grabber; this is
// the arithmetic of one blended pixel.
TEST(BlendCursor, BlendsEachChannelToNearest) {
  struct Case {
    Bgra cursor;
    std::uint8_t under;  // every channel of the picture under the cursor
    std::uint8_t blue, green, red;
  };
  const Case cases[] = {
      {{10, 20, 30, 0}, 99, 99, 99, 99},    // transparent
      {{10, 20, 30, 255}, 99, 10, 20, 30},  // opaque
      {{200, 100, 255, 1}, 0, 1, 0, 1},     // 0.78 -> 1, 0.39 -> 0, 1.0
      {{10, 10, 10, 128}, 20, 15, 15, 15},  // 14.98 -> 15, not 14
      {{0, 0, 0, 254}, 255, 1, 1, 1},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bits(3 * dibStride(3), c.under);
    const DibView dib{bits.data(), 3, 3, dibStride(3)};
    blendCursor(dib, CursorImage{1, 1, 0, 0, {c.cursor}}, {1, 1});
    const std::uint8_t* pixel = dib.row(1) + 3;
    EXPECT_EQ(pixel[0], c.blue);
    EXPECT_EQ(pixel[1], c.green);
    EXPECT_EQ(pixel[2], c.red);
    EXPECT_EQ(dib.row(0)[0], c.under);
  }
}

}  // namespace
}  // namespace ks::pixels
