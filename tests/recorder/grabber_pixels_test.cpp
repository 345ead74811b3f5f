// The grabbers' pixel work and band choice, on plain buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "platform/screen_grabber.h"
#include "recorder/band_tuner.h"
#include "recorder/dib_pixels.h"

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
    EXPECT_EQ(part.empty(), c.part.empty()) << c.region.left << "," << c.region.top;
    if (!c.part.empty()) {
      EXPECT_EQ(part, c.part) << c.region.left << "," << c.region.top;
    }
  }
}

// A bottom-up picture with guard bytes around it, so writes outside it show.
struct GuardedDib {
  static constexpr std::size_t kGuard = 64;
  static constexpr std::uint8_t kGuardByte = 0x5A;
  GuardedDib(std::int32_t width, std::int32_t height, std::uint8_t fill)
      : bytes(kGuard * 2 + dibStride(width) * static_cast<std::size_t>(height), fill),
        view{bytes.data() + kGuard, width, height, dibStride(width)} {
    std::fill(bytes.begin(), bytes.begin() + kGuard, kGuardByte);
    std::fill(bytes.end() - kGuard, bytes.end(), kGuardByte);
  }
  bool guardsIntact() const {
    for (std::size_t i = 0; i < kGuard; ++i) {
      if (bytes[i] != kGuardByte || bytes[bytes.size() - 1 - i] != kGuardByte) return false;
    }
    return true;
  }
  // The pixel at (x, y) counted from the top.
  const std::uint8_t* at(std::int32_t x, std::int32_t y) const { return view.row(y) + x * 3; }

  std::vector<std::uint8_t> bytes;
  DibView view;
};

TEST(BlackOutside, ClearsAllButTheKeptRectangleAndThePadding) {
  const PixelRect keeps[] = {{2, 1, 3, 2}, {0, 0, 7, 4}, {-3, -3, 4, 4}, {0, 0, 0, 0}, {6, 3, 5, 5}};
  for (const PixelRect& keep : keeps) {
    GuardedDib dib(7, 4, 0xAB);  // 21 bytes of pixels, 3 of padding per row
    blackOutside(dib.view, keep);
    for (std::int32_t y = 0; y < 4; ++y) {
      for (std::int32_t x = 0; x < 7; ++x) {
        const bool kept =
            x >= keep.left && x < keep.left + keep.width && y >= keep.top && y < keep.top + keep.height;
        for (int c = 0; c < 3; ++c) {
          EXPECT_EQ(dib.at(x, y)[c], kept ? 0xAB : 0) << x << "," << y << " keep " << keep.left;
        }
      }
      for (int pad = 21; pad < 24; ++pad) EXPECT_EQ(dib.view.row(y)[pad], 0);
    }
    EXPECT_TRUE(dib.guardsIntact());
  }
}

TEST(BlendCursor, BlendsToNearestAndClipsToThePicture) {
  struct Case {
    Bgra cursor;
    std::uint8_t under;  // every channel of the picture under the cursor
    std::uint8_t blue, green, red;
  };
  const Case cases[] = {
      {{10, 20, 30, 0}, 99, 99, 99, 99},         // transparent
      {{10, 20, 30, 255}, 99, 10, 20, 30},       // opaque
      {{200, 100, 255, 1}, 0, 1, 0, 1},          // 0.78 -> 1, 0.39 -> 0, 1.0
      {{10, 10, 10, 128}, 20, 15, 15, 15},       // 14.98 -> 15, not 14
      {{0, 0, 0, 254}, 255, 1, 1, 1},
  };
  for (const Case& c : cases) {
    GuardedDib dib(3, 3, c.under);
    CursorImage cursor{1, 1, 0, 0, {c.cursor}};
    blendCursor(dib.view, cursor, {1, 1});
    EXPECT_EQ(dib.at(1, 1)[0], c.blue);
    EXPECT_EQ(dib.at(1, 1)[1], c.green);
    EXPECT_EQ(dib.at(1, 1)[2], c.red);
    EXPECT_EQ(dib.at(0, 0)[0], c.under);
  }

  // A 4 x 4 cursor whose pixel (i, j) is opaque with blue = 10 * j + i,
  // hanging over each side of a 5 x 5 picture.
  CursorImage cursor{4, 4, 0, 0, {}};
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) cursor.pixels.push_back({static_cast<std::uint8_t>(10 * j + i), 0, 0, 255});
  }
  const PixelPoint places[] = {{-2, -3}, {3, 2}, {-3, 4}, {4, -3}, {-4, 0}, {5, 5}, {1, 1}};
  for (const PixelPoint at : places) {
    GuardedDib dib(5, 5, 0xEE);
    blendCursor(dib.view, cursor, at);
    for (std::int32_t y = 0; y < 5; ++y) {
      for (std::int32_t x = 0; x < 5; ++x) {
        const std::int64_t i = x - at.x, j = y - at.y;
        const bool covered = i >= 0 && i < 4 && j >= 0 && j < 4;
        EXPECT_EQ(dib.at(x, y)[0], covered ? 10 * j + i : 0xEE) << at.x << "," << at.y;
      }
    }
    EXPECT_TRUE(dib.guardsIntact());
  }
}

TEST(CursorDrawPoint, PutsTheHotspotOnThePointer) {
  const PixelPoint at = cursorDrawPoint({100, 50}, {8, 12}, {-20, 30});
  EXPECT_EQ(at.x, 100 - 8 + 20);
  EXPECT_EQ(at.y, 50 - 12 - 30);
}

TEST(BandTuner, TriesEachCandidateInTurnAndKeepsTheClearlyFastest) {
  struct Case {
    const char* what;
    std::vector<double> timesOf;  // seconds per grab, by candidate
    std::int32_t chosen;
  };
  const std::vector<std::int32_t> candidates{1080, 16, 64};
  const Case cases[] = {
      {"bands far faster", {0.050, 0.008, 0.006}, 64},
      {"bands a little faster: noise", {0.010, 0.0095, 0.0092}, 1080},
      {"whole region fastest", {0.010, 0.020, 0.015}, 1080},
      {"small bands fastest", {0.050, 0.004, 0.006}, 16},
  };
  for (const Case& c : cases) {
    BandTuner tuner(candidates, 3);
    std::vector<std::int32_t> tried;
    while (tuner.tuning()) {
      tried.push_back(tuner.rows());
      const std::size_t index = static_cast<std::size_t>(
          std::find(candidates.begin(), candidates.end(), tuner.rows()) - candidates.begin());
      ASSERT_LT(index, candidates.size());
      tuner.record(c.timesOf[index]);
    }
    EXPECT_EQ(tried, (std::vector<std::int32_t>{1080, 16, 64, 1080, 16, 64, 1080, 16, 64}))
        << c.what;
    EXPECT_EQ(tuner.rows(), c.chosen) << c.what;
    tuner.record(1.0);  // later grabs leave the choice alone
    EXPECT_EQ(tuner.rows(), c.chosen) << c.what;
  }
}

TEST(BandTuner, JudgesByTheBestTimeSoOneSlowGrabDoesNotDecide) {
  BandTuner tuner({100, 10}, 3);
  const double times[] = {0.010, 0.002, 0.010, 0.002, 0.010, 0.500};
  for (const double t : times) tuner.record(t);
  EXPECT_FALSE(tuner.tuning());
  EXPECT_EQ(tuner.rows(), 10);

  BandTuner single({480}, 3);
  EXPECT_FALSE(single.tuning());
  EXPECT_EQ(single.rows(), 480);
}

TEST(BandCandidates, WholeRegionFirstThenDistinctSmallerBands) {
  struct Case {
    std::int32_t width, height;
  };
  const Case cases[] = {{1920, 1080}, {640, 480}, {1, 1}, {3840, 2160}, {1920, 8}, {100000, 50}};
  for (const Case& c : cases) {
    const std::vector<std::int32_t> rows = bandCandidates(c.width, c.height);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), c.height);
    for (std::size_t i = 1; i < rows.size(); ++i) {
      EXPECT_GE(rows[i], 1);
      EXPECT_LT(rows[i], c.height);
      for (std::size_t j = 0; j < i; ++j) EXPECT_NE(rows[i], rows[j]);
    }
  }
  EXPECT_GE(bandCandidates(1920, 1080).size(), 2u);
  EXPECT_EQ(bandCandidates(1, 1).size(), 1u);
}

}  // namespace
}  // namespace ks::pixels
