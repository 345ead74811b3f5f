// The GIF encoder's parts on their own: the colour counter's counts and
// limits, and an LZW coder used for stream after stream coding each as a
// new coder does (and counting the bits it writes).
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "media/gif_colours.h"
#include "media/gif_lzw.h"

namespace ks {
namespace {

struct CounterCase {
  std::string name;
  std::size_t colours;    // distinct, colour i on i % 3 + 1 pixels
  bool marked;            // a marked pixel of another colour after each colour's
  std::size_t stopAbove;  // 0: never stops
  std::size_t room;
  bool fits;
};

const CounterCase kCounterCases[] = {
    {"FiveColours", 5, false, 0, 256, true},
    {"MarkedPixelsLeftOut", 256, true, 0, 256, true},
    {"OverTheRoom", 257, false, 0, 256, false},
    {"StopsAboveTheLimit", 300, false, 255, 300, false},
    {"AtTheMostCounted", GifColourCounter::kMaxColours, false, 0, GifColourCounter::kMaxColours, true},
    {"PastTheMostCounted", GifColourCounter::kMaxColours + 1, false, 0, GifColourCounter::kMaxColours + 1, false},
};

class GifColourCounterTest : public ::testing::TestWithParam<CounterCase> {};

TEST_P(GifColourCounterTest, CountsEachColourOrSaysItDidNot) {
  const CounterCase& c = GetParam();
  constexpr std::uint32_t kMark = 1u << 24;
  auto colour = [](std::size_t i) { return static_cast<std::uint32_t>(i * 0x9E3779u) & kGifColourMask; };
  std::vector<std::uint32_t> pixels;
  for (std::size_t i = 0; i < c.colours; ++i) {
    pixels.insert(pixels.end(), i % 3 + 1, colour(i));
    if (c.marked) pixels.push_back(kMark | 0xFFFFFF);  // no colour(i) is white
  }
  std::shuffle(pixels.begin(), pixels.end(), std::mt19937(7));
  GifColourCounter counter;
  counter.count(pixels, 0xFFu << 24, c.stopAbove ? c.stopAbove : std::numeric_limits<std::size_t>::max());
  EXPECT_EQ(counter.fits(c.room), c.fits);
  if (!c.fits) return;
  std::size_t used = 0;
  for (const GifColourCounter::Slot& s : counter.slots()) used += s.key != 0;
  EXPECT_EQ(used, c.colours);
  for (std::size_t i = 0; i < c.colours; ++i) {
    const GifColourCounter::Slot& s = counter.slots()[counter.slotOf(colour(i))];
    ASSERT_EQ(s.key, colour(i) + 1) << "colour " << i;
    EXPECT_EQ(s.count, i % 3 + 1) << "colour " << i;
  }
  if (c.marked) {
    EXPECT_EQ(counter.slots()[counter.slotOf(0xFFFFFF)].key, 0u) << "a marked pixel was counted";
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, GifColourCounterTest, ::testing::ValuesIn(kCounterCases),
                         [](const auto& info) { return info.param.name; });

struct LzwCase {
  std::string name;
  int minCodeSize;
  std::size_t length;
  int runs;  // indices repeat in runs of up to this many
};

const LzwCase kLzwCases[] = {
    {"Empty", 2, 0, 1},
    {"OneIndex", 2, 1, 1},
    {"Runs_2Bits", 2, 5000, 40},
    {"Noise_8Bits", 8, 6000, 1},    // past 4096 entries: clear codes inside
};

// The bits the data sub-blocks of append()'s output hold, at most 7 more
// than the codes'.
std::size_t dataBits(const std::vector<std::uint8_t>& out) {
  std::size_t bits = 0, at = 1;  // after the code size byte
  while (at < out.size() && out[at] != 0) {
    bits += 8 * std::size_t{out[at]};
    at += 1 + out[at];
  }
  EXPECT_EQ(at + 1, out.size()) << "the terminator should end the data";
  return bits;
}

class GifLzwCoderTest : public ::testing::TestWithParam<LzwCase> {};

TEST_P(GifLzwCoderTest, CodesEachStreamAsANewCoderDoes) {
  const LzwCase& c = GetParam();
  std::mt19937 random(11);
  auto stream = [&](std::size_t length, int runs) {
    std::vector<std::uint8_t> indices;
    while (indices.size() < length)
      indices.insert(indices.end(), std::min<std::size_t>(length - indices.size(), 1 + random() % runs),
                     static_cast<std::uint8_t>(random() % (1u << c.minCodeSize)));
    return indices;
  };
  const std::vector<std::uint8_t> indices = stream(c.length, c.runs), one = stream(1, 1);
  std::vector<std::uint8_t> fresh;
  GifLzwCoder().append(indices, c.minCodeSize, fresh);
  EXPECT_EQ(fresh[0], c.minCodeSize);
  GifLzwCoder reused;
  const std::size_t bits = reused.countBits(indices, c.minCodeSize);
  const std::size_t held = dataBits(fresh);
  EXPECT_TRUE(held >= bits && held < bits + 8) << held << " bits held for " << bits;
  // Its table has 4096 generations: about that many streams between that
  // make no entries (one index) must leave none of the earlier entries in.
  for (int between = 4086; between <= 4100; ++between) {
    for (int i = 0; i < between; ++i) reused.countBits(one, c.minCodeSize);
    std::vector<std::uint8_t> out;
    reused.append(indices, c.minCodeSize, out);
    ASSERT_EQ(out, fresh) << between << " streams between";
    ASSERT_EQ(reused.countBits(indices, c.minCodeSize), bits) << between << " streams between";
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, GifLzwCoderTest, ::testing::ValuesIn(kLzwCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace ks
