// The grabbers' pixel work, on plain buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/pixels.h"
#include "base/yuv420.h"

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

namespace ks::pixels {
namespace {

// A width x height bottom-up picture whose top-down pixel (x, y) is
// colour(x, y) (blue, green, red).
template <class Colour>
std::vector<std::uint8_t> dibOf(std::int32_t width, std::int32_t height, Colour colour) {
  std::vector<std::uint8_t> dib(dibStride(width) * static_cast<std::size_t>(height), 0);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      const Bgra c = colour(x, y);
      std::uint8_t* p = dib.data() + static_cast<std::size_t>(height - 1 - y) * dibStride(width) + 3 * x;
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  return dib;
}

TEST(ToYuv420, Bt709LimitedRangeValuesForPureColoursAndGreys) {
  // The published 8-bit BT.709 limited-range values.
  struct Case {
    Bgra colour;
    int y, cb, cr;
  };
  const Case cases[] = {
      {{255, 255, 255, 0}, 235, 128, 128}, {{0, 0, 0, 0}, 16, 128, 128},     {{128, 128, 128, 0}, 126, 128, 128},
      {{0, 0, 255, 0}, 63, 102, 240},      {{0, 255, 0, 0}, 173, 42, 26},    {{255, 0, 0, 0}, 32, 240, 118},
      {{0, 255, 255, 0}, 219, 16, 138},    {{255, 255, 0, 0}, 188, 154, 16}, {{255, 0, 255, 0}, 78, 214, 230},
  };
  for (const Case& c : cases) {
    const auto dib = dibOf(2, 2, [&](int, int) { return c.colour; });
    std::vector<std::uint8_t> out(yuv420Size(2, 2).bytes());
    toYuv420(dib.data(), 2, 2, out.data());
    const std::string what = std::to_string(c.colour.r) + "," + std::to_string(c.colour.g) + "," +
                             std::to_string(c.colour.b);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out[k], c.y) << what;
    EXPECT_EQ(out[4], c.cb) << what;
    EXPECT_EQ(out[5], c.cr) << what;
  }
}

TEST(ToYuv420, TopRowFirstOddSidesPaddedByRepeatingChromaFromFourPixels) {
  // Greys that tell the pixels apart: top-down pixel (x, y) is 40 * y + 10 * x.
  struct Case {
    std::int32_t width, height;
  };
  for (const Case& c : {Case{3, 3}, Case{4, 2}, Case{1, 1}, Case{5, 4}}) {
    const auto dib = dibOf(c.width, c.height, [](int x, int y) {
      const auto g = static_cast<std::uint8_t>(40 * y + 10 * x);
      return Bgra{g, g, g, 0};
    });
    const Yuv420Size size = yuv420Size(c.width, c.height);
    EXPECT_EQ(size.width % 2, 0);
    EXPECT_EQ(size.height % 2, 0);
    std::vector<std::uint8_t> out(size.bytes());
    toYuv420(dib.data(), c.width, c.height, out.data());
    for (std::int32_t y = 0; y < size.height; ++y)
      for (std::int32_t x = 0; x < size.width; ++x) {
        const int g = 40 * std::min(y, c.height - 1) + 10 * std::min(x, c.width - 1);
        EXPECT_EQ(out[static_cast<std::size_t>(y * size.width + x)], (16 * 255 + 219 * g + 127) / 255)
            << c.width << "x" << c.height << " at " << x << "," << y;
      }
  }
  // The vector code gives the plain code's bytes for any picture: widths
  // around its 16-pixel steps, odd ones, and every colour value.
  std::uint32_t seed = 12345;
  for (const Case& c : {Case{16, 2}, Case{17, 3}, Case{31, 4}, Case{34, 6}, Case{1921, 5}, Case{2, 2}}) {
    const auto dib = dibOf(c.width, c.height, [&](int, int) {
      seed = seed * 1664525u + 1013904223u;
      return Bgra{static_cast<std::uint8_t>(seed >> 24), static_cast<std::uint8_t>(seed >> 16),
                  static_cast<std::uint8_t>(seed >> 8), 0};
    });
    std::vector<std::uint8_t> plain(yuv420Size(c.width, c.height).bytes()), vectors(plain.size());
    toYuv420(dib.data(), c.width, c.height, plain.data(), false);
    toYuv420(dib.data(), c.width, c.height, vectors.data(), true);
    EXPECT_EQ(plain, vectors) << c.width << "x" << c.height;
  }
  // Two red and two blue pixels: the chroma of their mean.
  const auto dib = dibOf(2, 2, [](int x, int) { return x == 0 ? Bgra{0, 0, 255, 0} : Bgra{255, 0, 0, 0}; });
  std::vector<std::uint8_t> out(yuv420Size(2, 2).bytes());
  toYuv420(dib.data(), 2, 2, out.data());
  EXPECT_EQ(out[4], 171);
  EXPECT_EQ(out[5], 179);
}

}  // namespace
}  // namespace ks::pixels

namespace ks::pixels {
namespace {

TEST(ScaledToBgra, EachPixelTheMeanOfThoseItCoversTopRowFirst) {
  // Top-down grey (x, y) = 10 * x + 100 * y.
  struct Case {
    std::int32_t width, height, outWidth, outHeight;
    std::vector<int> greys;  // expected, top row first
  };
  const Case cases[] = {
      {4, 2, 2, 1, {55, 75}},            // 2x2 boxes: (0+10+100+110)/4, (20+30+120+130)/4
      {2, 2, 2, 2, {0, 10, 100, 110}},   // the same size: unchanged
      {1, 1, 2, 2, {0, 0, 0, 0}},        // larger: repeated
      {3, 1, 2, 1, {0, 15}},             // uneven boxes: 1 column, then 2
  };
  for (const Case& c : cases) {
    const auto dib = dibOf(c.width, c.height, [](int x, int y) {
      const auto g = static_cast<std::uint8_t>(10 * x + 100 * y);
      return Bgra{g, g, g, 0};
    });
    std::vector<std::uint8_t> out(4 * static_cast<std::size_t>(c.outWidth * c.outHeight));
    scaledToBgra(dib.data(), c.width, c.height, c.outWidth, c.outHeight, out.data());
    for (std::size_t i = 0; i < c.greys.size(); ++i) {
      EXPECT_EQ(out[4 * i], c.greys[i]) << c.width << "x" << c.height << " pixel " << i;
      EXPECT_EQ(out[4 * i + 3], 255);
    }
  }
}

// The arithmetic of one pixel of a picture the window system draws.
TEST(WindowPictures, PremultipliedAndOverAColourToNearest) {
  struct Case {
    Bgra in, under, premultiplied, over;
  };
  const Case cases[] = {
      {{10, 20, 30, 0}, {200, 100, 50, 0}, {0, 0, 0, 0}, {200, 100, 50, 255}},          // transparent
      {{10, 20, 30, 255}, {200, 100, 50, 0}, {10, 20, 30, 255}, {10, 20, 30, 255}},     // opaque
      {{200, 100, 255, 128}, {0, 0, 0, 0}, {100, 50, 128, 128}, {100, 50, 128, 255}},  // 100.4, 50.2, 128.0
      {{10, 10, 10, 128}, {20, 20, 20, 0}, {5, 5, 5, 128}, {15, 15, 15, 255}},         // 14.98 -> 15
      {{0, 0, 0, 254}, {255, 255, 255, 0}, {0, 0, 0, 254}, {1, 1, 1, 255}},
  };
  for (const Case& c : cases) {
    const std::uint8_t in[4] = {c.in.b, c.in.g, c.in.r, c.in.a};
    std::uint8_t pre[4], over[4];
    premultiplied(in, 1, pre);
    overColour(in, 1, c.under, over);
    EXPECT_EQ(std::vector<int>(pre, pre + 4),
              (std::vector<int>{c.premultiplied.b, c.premultiplied.g, c.premultiplied.r, c.premultiplied.a}));
    EXPECT_EQ(std::vector<int>(over, over + 4), (std::vector<int>{c.over.b, c.over.g, c.over.r, c.over.a}));
  }
}

// '.' the background colour, '#' another, ' ' that other but transparent;
// out: 'f' face, 's' shadow, 'l' light.
TEST(WindowPictures, EmbossedInkIsShadowWithLightBelowRight) {
  struct Case {
    std::vector<std::string> picture, embossed;
  };
  const Case cases[] = {
      {{"...", ".#.", "..#"}, {"fff", "fsf", "ffs"}},  // the shadow wins over the light
      {{"#.", ".."}, {"fs", "ss"}},                    // the top-left pixel is the background
      {{".# ", "..."}, {"fsf", "ffl"}},                // a transparent pixel is no ink
  };
  const Bgra face{1, 1, 1, 0}, shadow{2, 2, 2, 0}, light{3, 3, 3, 0};
  for (const Case& c : cases) {
    const auto w = static_cast<std::int32_t>(c.picture[0].size()), h = static_cast<std::int32_t>(c.picture.size());
    std::vector<std::uint8_t> in, out(4 * static_cast<std::size_t>(w * h));
    for (const std::string& row : c.picture)
      for (const char p : row) {
        const std::uint8_t blue = p == '.' ? 9 : 50, alpha = p == ' ' ? 0 : 255;
        in.insert(in.end(), {blue, 60, 70, alpha});
      }
    embossed(in.data(), w, h, face, shadow, light, out.data());
    std::vector<std::string> got(c.picture.size());
    for (std::size_t i = 0; i < out.size(); i += 4) {
      EXPECT_EQ(out[i + 3], 255);
      got[i / 4 / static_cast<std::size_t>(w)] += out[i] == 1 ? 'f' : out[i] == 2 ? 's' : out[i] == 3 ? 'l' : '?';
    }
    EXPECT_EQ(got, c.embossed) << c.picture[0];
  }
}

}  // namespace
}  // namespace ks::pixels
