// Our animated GIFs, made through the movie pipeline as a recording makes
// them, decoded by ffmpeg: every frame shown must be the picture
// fed in (or within a stated bound where it had more than 256 colours), at
// its time within 10 ms, and a file whose disk fills up must still decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "gif_files.h"
#include "media/movie.h"
#include "memory_sink.h"
#include "screen_clips.h"
#include "test_files.h"

namespace ks {
namespace {

using namespace test::gifs;

// The delays of a GIF's frames, walking its blocks; empty when the file is
// not whole (no trailer where the blocks end).
std::vector<int> delays(const std::vector<std::uint8_t>& b, bool& whole) {
  std::vector<int> d;
  whole = false;
  std::size_t at = 13;
  auto skipSubBlocks = [&] {
    while (at < b.size() && b[at] != 0) at += 1 + b[at];
    ++at;
  };
  while (at < b.size()) {
    if (b[at] == 0x3B) {
      whole = at + 1 == b.size();
      return d;
    }
    if (b[at] == 0x21 && at + 5 < b.size() && b[at + 1] == 0xF9) d.push_back(b[at + 4] | b[at + 5] << 8);
    if (b[at] == 0x21) {
      at += 2;
      skipSubBlocks();
    } else if (b[at] == 0x2C && at + 10 < b.size()) {
      at += 10 + (b[at + 9] & 0x80 ? 3 << ((b[at + 9] & 7) + 1) : 0) + 1;
      skipSubBlocks();
    } else {
      return d;
    }
  }
  return d;
}

int maxChannelError(const std::string& a, const std::string& b) {
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    worst = std::max(worst, std::abs(int(std::uint8_t(a[i])) - int(std::uint8_t(b[i]))));
  return worst;
}

// A picture whose pixel i has colour colours(i).
Picture painted(std::int32_t w, std::int32_t h, const std::function<std::uint32_t(std::int32_t, std::int32_t)>& colour) {
  Picture p(std::size_t{dibStride(w)} * h, 0);
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      const std::uint32_t c = colour(x, y);
      std::uint8_t* q = p.data() + std::size_t{dibStride(w)} * (h - 1 - y) + 3 * x;
      q[0] = c & 255, q[1] = c >> 8 & 255, q[2] = c >> 16 & 255;
    }
  return p;
}

struct PictureCase {
  std::string name;
  std::int32_t width, height;
  std::function<std::vector<Picture>(std::int32_t, std::int32_t)> pictures;
  int maxError;  // per channel; 0: exact
};

// n distinct colours over the picture, then the same with every other row
// moved one colour on.
std::vector<Picture> colourCount(std::int32_t w, std::int32_t h, int n) {
  auto ramp = [n, w](int shift) {
    return [n, w, shift](std::int32_t x, std::int32_t y) {
      const std::uint32_t i = std::uint32_t(y * w + x + (y % 2) * shift) % n;
      return (i & 255) << 16 | (i >> 8) << 11 | (i * 3 & 255);
    };
  };
  return {painted(w, h, ramp(0)), painted(w, h, ramp(1))};
}

const PictureCase kPictureCases[] = {
    {"Editor_160x90", 160, 90, [](auto w, auto h) { return clip(clips::Clip::Editor, w, h, 12); }, 0},
    {"Scroll_161x75", 161, 75, [](auto w, auto h) { return clip(clips::Clip::Scroll, w, h, 12); }, 0},
    {"Interface_240x135", 240, 135, [](auto w, auto h) { return clip(clips::Clip::Interface, w, h, 30); }, 0},
    // Thousands of colours a frame, page text beside the moving picture:
    // the largest channel error measured was 12.
    {"Video_160x90", 160, 90, [](auto w, auto h) { return clip(clips::Clip::Video, w, h, 12); }, 16},
    {"OnePixel", 1, 1, [](auto w, auto h) {
       return std::vector<Picture>{painted(w, h, [](auto, auto) { return 0x123456u; }),
                                   painted(w, h, [](auto, auto) { return 0x123456u; }),
                                   painted(w, h, [](auto, auto) { return 0xFEDCBAu; })};
     }, 0},
    {"Still_33x7", 33, 7, [](auto w, auto h) {
       return std::vector<Picture>(5, painted(w, h, [](auto x, auto y) { return std::uint32_t(x * 7 + y * 1000); }));
     }, 0},
    {"Corner_17x9", 17, 9, [](auto w, auto h) {
       std::vector<Picture> v(3, painted(w, h, [](auto x, auto) { return x < 8 ? 0xFFFFFFu : 0x202020u; }));
       v[1][0] = 0x55;                                         // bottom left
       v[2][std::size_t{dibStride(w)} * (h - 1) + 3 * (w - 1) + 2] = 0x99;  // top right
       return v;
     }, 0},
    {"Colours256_64x9", 64, 9, [](auto w, auto h) { return colourCount(w, h, 256); }, 0},
    // Over 256: quantised (variance split of 5-5-5 cells, a k-means pass);
    // the largest errors measured were 3 and 15.
    {"Colours257_64x9", 64, 9, [](auto w, auto h) { return colourCount(w, h, 257); }, 16},
    {"Colours4096_64x64", 64, 64, [](auto w, auto h) { return colourCount(w, h, 4096); }, 48},
};

class GifPictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(GifPictureTest, FfmpegShowsEachChangedPicture) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const PictureCase& c = GetParam();
  const std::vector<Picture> pictures = c.pictures(c.width, c.height);
  test::TempDir dir;
  const std::string path = dir.file("movie.gif");
  std::vector<std::string> expected;
  for (const Picture& picture : pictures) {
    const std::string p = asBgr24(picture, c.width, c.height);
    if (expected.empty() || p != expected.back()) expected.push_back(p);
  }
  const Recorded r = recordGif(openFileSink(path), c.width, c.height, 30, pictures);
  ASSERT_EQ(r.taken, pictures.size());
  ASSERT_TRUE(r.closed);
  const std::vector<std::string> got = decode(path, c.width, c.height);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const int error = maxChannelError(got[i], expected[i]);
    EXPECT_LE(error, c.maxError) << "frame " << i;
    if (c.maxError > 0) std::printf("%s frame %zu: largest channel error %d\n", c.name.c_str(), i, error);
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, GifPictureTest, ::testing::ValuesIn(kPictureCases),
                         [](const auto& info) { return info.param.name; });

class GifTimingTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(GifTimingTest, FramesAppearWithin10msOfTheirTime) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const std::uint32_t rate = GetParam();
  const int n = static_cast<int>(2 * rate + 1);
  test::TempDir dir;
  const std::string path = dir.file("timing.gif");
  std::vector<Picture> pictures;
  for (int k = 0; k < n; ++k) pictures.push_back(painted(3, 2, [k](auto, auto) { return std::uint32_t(k) * 0x010101u; }));
  const Recorded r = recordGif(openFileSink(path), 3, 2, static_cast<int>(rate), pictures);
  ASSERT_EQ(r.taken, pictures.size());
  ASSERT_TRUE(r.closed);
  bool whole = false;
  const std::vector<int> d = delays(test::readAll(test::pathFromUtf8(path)), whole);
  EXPECT_TRUE(whole);
  const std::vector<std::string> frames = decode(path, 3, 2);
  ASSERT_EQ(frames.size(), d.size());
  if (rate <= 50) {
    EXPECT_EQ(d.size(), std::size_t(n));
  }
  EXPECT_GE(d.size(), std::size_t(n) / 2);
  int start = 0, lastK = -1;
  for (std::size_t j = 0; j < d.size(); ++j) {
    const int k = std::uint8_t(frames[j][0]);
    EXPECT_GT(k, lastK) << "frame " << j;
    lastK = k;
    EXPECT_GE(d[j], 2) << "frame " << j;
    EXPECT_LE(std::fabs(10.0 * start - 1000.0 * k / rate), 10.0) << "frame " << j << " picture " << k;
    start += d[j];
  }
  EXPECT_LE(std::fabs(10.0 * start - 1000.0 * n / rate), 10.0) << "the movie's length";
}

INSTANTIATE_TEST_SUITE_P(Rates, GifTimingTest, ::testing::Values(1u, 10u, 30u, 50u, 60u));

struct FaultCase {
  std::string name;
  int failWrite;          // the write that fails once; 0 none
  std::uint64_t capacity;  // the disk's size
  bool repeat;            // the caller repeats a refused picture
};

class GifFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(GifFaultTest, FileEndsWithTheLastWholeFrame) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const FaultCase& c = GetParam();
  const std::int32_t w = 96, h = 40;
  const std::vector<Picture> pictures = clip(clips::Clip::Scroll, w, h, 10);
  auto file = std::make_shared<test::MemoryFile>();
  file->failWrite = c.failWrite;
  file->capacity = c.capacity;
  const Recorded r = recordGif(test::memorySink(file), w, h, 10, pictures, c.repeat);
  bool whole = false;
  const auto frames = delays(file->bytes, whole).size();
  EXPECT_TRUE(r.closed) << "the trailer goes where the cut-off frame was";
  if (c.capacity == UINT64_MAX) {
    EXPECT_EQ(r.taken, pictures.size());
    EXPECT_EQ(frames, pictures.size());
  }
  ASSERT_GE(frames, 1u) << "the disk should hold a frame";
  ASSERT_LE(frames, r.taken);
  EXPECT_TRUE(whole) << "no trailer after the last frame";
  test::TempDir dir;
  const std::string path = dir.file("cut.gif");
  std::ofstream(test::pathFromUtf8(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(file->bytes.data()), static_cast<std::streamsize>(file->bytes.size()));
  const std::vector<std::string> got = decode(path, w, h);
  ASSERT_EQ(got.size(), frames);
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(maxChannelError(got[i], asBgr24(pictures[i], w, h)), 0) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, GifFaultTest,
    // Writes: the header, the first frame, then for each frame the delay of
    // the one before and the frame itself, and at the close the last delay
    // and the trailer.
    ::testing::Values(FaultCase{"SecondFrameFailsOnce", 4, UINT64_MAX, true},
                      FaultCase{"ADelayFailsOnce", 7, UINT64_MAX, true},
                      FaultCase{"LastFrameFailsOnce", 20, UINT64_MAX, false},
                      FaultCase{"DiskFullAfterThreeFrames", 0, 3000, false},
                      FaultCase{"DiskFullAtOnce", 0, 900, false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace ks
