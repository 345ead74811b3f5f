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
    tuner.record(1.0);  // one slow grab later leaves the choice alone
    EXPECT_EQ(tuner.rows(), c.chosen) << c.what;
    EXPECT_FALSE(tuner.tuning()) << c.what;
  }
}

TEST(BandTuner, TimesAnewWhenTheChoiceBecomesMuchSlower) {
  // Chosen while the plain copy was fast; then it turns slow, as a whole-
  // screen X request does once the other core is busy.
  BandTuner tuner({1080, 25}, 3);
  for (const double t : {0.006, 0.0065, 0.006, 0.0065, 0.006, 0.0065}) tuner.record(t);
  ASSERT_FALSE(tuner.tuning());
  ASSERT_EQ(tuner.rows(), 1080);

  for (const double t : {0.011, 0.006, 0.011, 0.006, 0.011}) tuner.record(t);  // median 0.011
  EXPECT_FALSE(tuner.tuning()) << "under twice as slow: kept";
  tuner.record(0.060);
  EXPECT_FALSE(tuner.tuning()) << "one slow grab: kept";
  tuner.record(0.060);
  EXPECT_TRUE(tuner.tuning()) << "the last three grabs' median is ten times the chosen time";

  std::vector<std::int32_t> tried;
  while (tuner.tuning()) {
    tried.push_back(tuner.rows());
    tuner.record(tuner.rows() == 1080 ? 0.060 : 0.007);
  }
  EXPECT_EQ(tried, (std::vector<std::int32_t>{1080, 25, 1080, 25, 1080, 25}));
  EXPECT_EQ(tuner.rows(), 25);
  // Bands, once chosen, stay: a busy machine slows every candidate alike.
  for (int i = 0; i < 10; ++i) tuner.record(0.100);
  EXPECT_FALSE(tuner.tuning());
  EXPECT_EQ(tuner.rows(), 25);
}

TEST(BandTuner, JudgesByTheMedianSoOneOddGrabDoesNotDecide) {
  struct Case {
    const char* what;
    std::vector<double> times;  // taken in turn: whole, band, whole, band, ...
    std::int32_t chosen;
  };
  const Case cases[] = {
      {"one slow band grab", {0.010, 0.002, 0.010, 0.002, 0.010, 0.500}, 10},
      {"one slow whole grab", {0.500, 0.009, 0.010, 0.009, 0.010, 0.009}, 100},
      {"bands only once fast", {0.010, 0.001, 0.010, 0.050, 0.010, 0.040}, 100},
  };
  for (const Case& c : cases) {
    BandTuner tuner({100, 10}, 3);
    for (const double t : c.times) tuner.record(t);
    EXPECT_FALSE(tuner.tuning()) << c.what;
    EXPECT_EQ(tuner.rows(), c.chosen) << c.what;
  }

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
