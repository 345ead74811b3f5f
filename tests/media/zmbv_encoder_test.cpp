// ZMBV movies of the benchmark's clips, written by our AVI writer, decoded by
// ffmpeg: every frame must come back as exactly the picture we fed in, and
// both indexes must mark the key frames where the encoder made them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "avi_reader.h"
#include "command_output.h"
#include "media/avi_writer.h"
#include "media/zmbv_encoder.h"
#include "screen_clips.h"
#include "test_files.h"

namespace ks {
namespace {

using test::commandOutput;

using clips::Clip;

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + "; ";
  return s;
}

bool haveFfmpeg() {
  return std::system("command -v ffprobe >/dev/null 2>&1 && command -v ffmpeg >/dev/null 2>&1") == 0;
}


// The picture as ffmpeg's bgr0 output has it: top row first, 4 bytes a pixel.
std::string asBgr0(const std::vector<std::uint8_t>& bits, std::int32_t w, std::int32_t h) {
  const std::uint32_t stride = dibStride(w);
  std::string out(4 * std::size_t(w) * h, '\0');
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint8_t* row = bits.data() + std::size_t{stride} * (h - 1 - y);
    for (std::int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) out[4 * (std::size_t(y) * w + x) + c] = static_cast<char>(row[3 * x + c]);
  }
  return out;
}

struct ClipCase {
  Clip clip;
  std::int32_t width, height;
  int frames;
  std::uint32_t keyInterval;
  std::uint8_t blockWidth = 16, blockHeight = 16;
  int dropped = -1;  // this frame's chunk is not written; the encoder restarts
};

std::string caseName(const ::testing::TestParamInfo<ClipCase>& info) {
  const ClipCase& c = info.param;
  std::string n = clips::clipName(c.clip) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height);
  if (c.blockWidth != 16 || c.blockHeight != 16)
    n += "_blocks" + std::to_string(c.blockWidth) + "x" + std::to_string(c.blockHeight);
  if (c.dropped >= 0) n += "_drop" + std::to_string(c.dropped);
  return n;
}

class ZmbvMovieTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ZmbvMovieTest, FfmpegDecodesEveryFrameToThePictureFedIn) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  const ClipCase c = GetParam();
  test::TempDir dir;
  const std::string path = dir.file("movie.avi");
  ZmbvOptions options;
  options.keyInterval = c.keyInterval;
  options.blockWidth = c.blockWidth;
  options.blockHeight = c.blockHeight;
  ZmbvEncoder encoder(c.width, c.height, options);
  AviWriter writer;
  ASSERT_TRUE(writer.open(openFileSink(path), zmbvFrameFormat(c.width, c.height), 30));
  clips::ClipPlayer player(c.clip, c.width, c.height);
  std::vector<std::string> expected;
  std::vector<bool> keys;
  std::uint32_t largest = 0, sinceKey = 0;
  std::size_t keyBytes = 0, interBytes = 0;
  bool restarted = false;
  for (int i = 0; i < c.frames; ++i) {
    const std::vector<std::uint8_t>& picture = player.frame(i);
    const ZmbvChunk chunk = encoder.encode(picture.data());
    ASSERT_FALSE(chunk.bytes.empty()) << "frame " << i;
    if (i == c.dropped) {
      encoder.restart();
      restarted = true;
      continue;
    }
    const bool wantKey = restarted || sinceKey % c.keyInterval == 0;
    EXPECT_EQ(chunk.keyFrame, wantKey) << "frame " << i;
    sinceKey = chunk.keyFrame ? 1 : sinceKey + 1;
    restarted = false;
    (chunk.keyFrame ? keyBytes : interBytes) += chunk.bytes.size();
    largest = std::max(largest, static_cast<std::uint32_t>(chunk.bytes.size()));
    ASSERT_TRUE(writer.writeFrame(chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()),
                                  chunk.keyFrame));
    expected.push_back(asBgr0(picture, c.width, c.height));
    keys.push_back(chunk.keyFrame);
  }
  ASSERT_TRUE(writer.close());

  const test::AviFile f = test::parseAvi(test::readAll(test::pathFromUtf8(path)));
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(test::checkIndexes(f, true, keys).empty()) << joined(test::checkIndexes(f, true, keys));
  EXPECT_EQ(f.frameChunkId, kCompressedFrameChunkId);
  EXPECT_EQ(f.strh.fccHandler, kZmbvFourCC);
  EXPECT_EQ(f.strf, zmbvFrameFormat(c.width, c.height));
  EXPECT_EQ(f.strh.suggestedBufferSize, largest);
  EXPECT_EQ(f.avih.suggestedBufferSize, largest);
  if (c.clip == Clip::Scroll && c.width == 1920) {
    // Scrolled text is copied from where it was, not stored again.
    const auto inter = static_cast<std::size_t>(std::count(keys.begin(), keys.end(), false));
    EXPECT_LT(interBytes / inter, keyBytes / (keys.size() - inter) / 10);
  }

  const std::string decoded =
      commandOutput("ffmpeg -v error -nostdin -i '" + path + "' -f rawvideo -pix_fmt bgr0 - 2>/dev/null");
  const std::size_t frameBytes = 4 * std::size_t(c.width) * c.height;
  ASSERT_EQ(decoded.size(), frameBytes * expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string got = decoded.substr(frameBytes * i, frameBytes);
    if (got == expected[i]) continue;
    const auto at = std::mismatch(got.begin(), got.end(), expected[i].begin()).first - got.begin();
    ADD_FAILURE() << "frame " << i << " differs first at pixel (" << (at / 4) % c.width << ", "
                  << (at / 4) / c.width << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, ZmbvMovieTest,
    ::testing::Values(ClipCase{Clip::Editor, 1, 1, 13, 6}, ClipCase{Clip::Editor, 101, 3, 13, 6},
                      ClipCase{Clip::Editor, 641, 5, 13, 6}, ClipCase{Clip::Editor, 1920, 1080, 8, 5},
                      ClipCase{Clip::Scroll, 1, 1, 13, 6}, ClipCase{Clip::Scroll, 101, 3, 13, 6},
                      ClipCase{Clip::Scroll, 641, 5, 13, 6}, ClipCase{Clip::Scroll, 1920, 1080, 8, 5},
                      ClipCase{Clip::Video, 1, 1, 13, 6}, ClipCase{Clip::Video, 101, 3, 13, 6},
                      ClipCase{Clip::Video, 641, 5, 13, 6}, ClipCase{Clip::Video, 1920, 1080, 8, 5},
                      // Blocks of other shapes, cut at every edge.
                      ClipCase{Clip::Scroll, 101, 37, 9, 4, 7, 5}, ClipCase{Clip::Editor, 641, 45, 9, 100, 32, 8},
                      // A chunk that never reached the movie.
                      ClipCase{Clip::Editor, 641, 45, 9, 6, 16, 16, 3},
                      ClipCase{Clip::Scroll, 320, 200, 9, 6, 16, 16, 0}),
    caseName);

}  // namespace
}  // namespace ks
