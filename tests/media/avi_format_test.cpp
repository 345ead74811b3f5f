#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/avi_format.h"
#include "platform/file_sink.h"

namespace ks {
namespace {

struct FormatCase {
  std::int32_t width, height;
  std::uint32_t stride, sizeImage;
};

class FrameFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FrameFormatTest, StrideAndSizeFollowTheWidth) {
  const FormatCase c = GetParam();
  EXPECT_EQ(dibStride(c.width), c.stride);
  const BitmapInfoHeader h = makeFrameFormat(c.width, c.height);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, c.width);
  EXPECT_EQ(h.biHeight, c.height);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biCompression, 0u);
  EXPECT_EQ(h.biSizeImage, c.sizeImage);
  EXPECT_EQ(h.biXPelsPerMeter, 0);
  EXPECT_EQ(h.biYPelsPerMeter, 0);
  EXPECT_EQ(h.biClrUsed, 0u);
  EXPECT_EQ(h.biClrImportant, 0u);

  const AviStreamInfo s = makeStreamInfo(h, 15);
  EXPECT_EQ(s.dwSuggestedBufferSize, c.sizeImage);
  EXPECT_EQ(s.rcFrame, (AviRect{0, 0, c.width, c.height}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameFormatTest,
                         ::testing::Values(FormatCase{100, 10, 300, 3000},
                                           FormatCase{101, 10, 304, 3040},
                                           FormatCase{1, 1, 4, 4}, FormatCase{2, 1, 8, 8},
                                           FormatCase{3, 2, 12, 24},
                                           FormatCase{640, 480, 1920, 921600},
                                           FormatCase{641, 5, 1924, 9620},
                                           FormatCase{1920, 1080, 5760, 6220800}));

TEST(StreamInfo, DescribesAVideoStreamAtTheGivenRate) {
  const AviStreamInfo s = makeStreamInfo(makeFrameFormat(640, 480), 15);
  EXPECT_EQ(s.fccType, 0x73646976u);  // "vids"
  EXPECT_EQ(s.fccHandler, 0u);
  EXPECT_EQ(s.dwScale, 1u);
  EXPECT_EQ(s.dwRate, 15u);
  EXPECT_EQ(s.dwSuggestedBufferSize, 921600u);
  AviStreamInfo rest = s;
  rest.fccType = 0;
  rest.dwScale = rest.dwRate = rest.dwSuggestedBufferSize = 0;
  rest.rcFrame = {};
  EXPECT_EQ(rest, AviStreamInfo{}) << "every other field stays zero, the name empty";
}

TEST(BitmapInfoHeaderBytes, AreLittleEndianInFieldOrder) {
  BitmapInfoHeader h = makeFrameFormat(0x0102, 0x0304);
  h.biXPelsPerMeter = -2;
  std::vector<std::uint8_t> out;
  ByteWriter w(out);
  serialize(w, h);
  const std::uint32_t size = h.biSizeImage;
  const std::vector<std::uint8_t> expected = {
      40, 0, 0, 0,  0x02, 0x01, 0, 0,  0x04, 0x03, 0, 0,  1, 0,  24, 0,  0, 0, 0, 0,
      static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
      static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24),
      0xFE, 0xFF, 0xFF, 0xFF,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0};
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace ks
