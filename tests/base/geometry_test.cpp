#include "base/geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace ks {
namespace {

TEST(RoundToInt32, NearestWithTiesToEvenAndSaturation) {
  struct Case {
    double in;
    std::int32_t out;
  } cases[] = {
      {2.5, 2},     {3.5, 4},          {-2.5, -2},      {-3.5, -4},   {2.4999, 2},
      {32767.5, 32768}, {40000.2, 40000}, {-40000.7, -40001}, {1e12, std::numeric_limits<std::int32_t>::max()},
      {-1e12, std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(roundToInt32(c.in), c.out) << c.in;
}

TEST(RegionPixels, RoundsPositionThenSizeFromRoundedPosition) {
  struct Case {
    const char* what;
    RegionTwips twips;
    double px, py;
    PixelRect expected;
  } cases[] = {
      {"default frame at 96 DPI", {2280, 2790, 6825, 6405}, 15, 15, {152, 186, 303, 241}},
      {"ties go to even", {337.5, 352.5, 1837.5, 1852.5}, 15, 15, {22, 24, 100, 100}},
      {"negative coordinates (monitor left of primary)", {-6000, -3000, -1500, 750}, 15, 15, {-400, -200, 300, 250}},
      {"beyond 16-bit twips (4K, second monitor)", {600000, 45000, 615000, 60000}, 15, 15, {40000, 3000, 1000, 1000}},
      {"144 DPI", {2280, 2790, 6825, 6405}, 10, 10, {228, 279, 454, 362}},
      {"unequal axes", {3000, 3000, 6000, 6000}, 15, 10, {200, 300, 200, 300}},
  };
  for (const auto& c : cases) EXPECT_EQ(regionPixels(c.twips, c.px, c.py), c.expected) << c.what;
}

}  // namespace
}  // namespace ks
