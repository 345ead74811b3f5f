// How the grabbers choose the rows one screen copy takes.
#include "platform/band_tuner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ks::pixels {
namespace {

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
