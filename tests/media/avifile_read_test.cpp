// Windows' own AVIFile library (Video for Windows) reads our movies back:
// the stream description, the frame format, every frame and, for ZMBV
// movies, which frames are key frames.
#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "media/avi_writer.h"
#include "media/zmbv_encoder.h"
#include "test_files.h"
#include "test_pictures.h"

namespace ks {
namespace {

struct LibraryUse {
  LibraryUse() { AVIFileInit(); }
  ~LibraryUse() { AVIFileExit(); }
};

struct ReadCase {
  std::int32_t width, height;
  std::uint32_t rate;
  int frames;
  const char* name;
  std::uint32_t zmbvKeyInterval = 0;  // 0: uncompressed
};

class AviFileLibraryTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AviFileLibraryTest, ReadsTheStreamFormatAndFramesWeWrote) {
  const ReadCase c = GetParam();
  test::TempDir dir;
  // AVIFile opens files through the ANSI mmio layer, which cannot reach every
  // Unicode name; our own wide-path handling is covered by the Movie tests.
  const std::string path = dir.file(GetParam().name);
  const bool zmbv = c.zmbvKeyInterval != 0;
  const BitmapInfoHeader fmt = zmbv ? zmbvFrameFormat(c.width, c.height) : makeFrameFormat(c.width, c.height);
  std::vector<std::vector<std::uint8_t>> chunks;
  std::vector<bool> keys;
  std::uint32_t largest = 0;
  {
    AviWriter writer;
    ZmbvOptions options;
    options.keyInterval = c.zmbvKeyInterval;
    ZmbvEncoder encoder(c.width, c.height, options);
    ASSERT_TRUE(writer.open(openFileSink(path), fmt, c.rate));
    for (int i = 0; i < c.frames; ++i) {
      auto pic = test::makePicture(c.width, c.height, i);
      bool key = true;
      if (zmbv) {
        const ZmbvChunk chunk = encoder.encode(pic.data());
        ASSERT_FALSE(chunk.bytes.empty());
        pic.assign(chunk.bytes.begin(), chunk.bytes.end());
        key = chunk.keyFrame;
      }
      ASSERT_TRUE(writer.writeFrame(pic.data(), static_cast<std::uint32_t>(pic.size()), key));
      largest = std::max(largest, static_cast<std::uint32_t>(pic.size()));
      chunks.push_back(std::move(pic));
      keys.push_back(key);
    }
    ASSERT_TRUE(writer.close());
  }
  const std::optional<std::u16string> wide = utf8ToUtf16(path);
  ASSERT_TRUE(wide);
  const std::wstring wpath(wide->begin(), wide->end());

  LibraryUse library;
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpenW(&file, wpath.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr), 0);
  PAVISTREAM stream = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), 0);

  AVISTREAMINFOW info{};
  ASSERT_EQ(AVIStreamInfoW(stream, &info, sizeof info), 0);
  EXPECT_EQ(info.fccType, streamtypeVIDEO);
  // The library names the handler of uncompressed frames itself.
  if (zmbv) {
    EXPECT_EQ(info.fccHandler, mmioFOURCC('Z', 'M', 'B', 'V'));
  } else {
    EXPECT_TRUE(info.fccHandler == 0 || info.fccHandler == mmioFOURCC('D', 'I', 'B', ' '))
        << info.fccHandler;
  }
  EXPECT_EQ(info.dwScale, 1u);
  EXPECT_EQ(info.dwRate, c.rate);
  EXPECT_EQ(info.dwStart, 0u);
  EXPECT_EQ(info.dwLength, static_cast<DWORD>(c.frames));
  EXPECT_EQ(info.dwSuggestedBufferSize, zmbv ? largest : fmt.biSizeImage);
  EXPECT_EQ(info.dwSampleSize, 0u);
  EXPECT_EQ(info.rcFrame.left, 0);
  EXPECT_EQ(info.rcFrame.top, 0);
  EXPECT_EQ(info.rcFrame.right, c.width);
  EXPECT_EQ(info.rcFrame.bottom, c.height);

  LONG formatSize = 0;
  ASSERT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &formatSize), 0);
  ASSERT_EQ(formatSize, 40);
  BITMAPINFOHEADER bih{};
  ASSERT_EQ(AVIStreamReadFormat(stream, 0, &bih, &formatSize), 0);
  EXPECT_EQ(bih.biSize, 40u);
  EXPECT_EQ(bih.biWidth, c.width);
  EXPECT_EQ(bih.biHeight, c.height);
  EXPECT_EQ(bih.biPlanes, 1);
  EXPECT_EQ(bih.biBitCount, 24);
  EXPECT_EQ(bih.biCompression, zmbv ? mmioFOURCC('Z', 'M', 'B', 'V') : static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(bih.biSizeImage, fmt.biSizeImage);

  for (int i = 0; i < c.frames; ++i) {
    std::vector<std::uint8_t> buffer(std::max(fmt.biSizeImage, largest));
    LONG bytes = 0, samples = 0;
    ASSERT_EQ(AVIStreamRead(stream, i, 1, buffer.data(), static_cast<LONG>(buffer.size()), &bytes,
                            &samples), 0)
        << "frame " << i;
    ASSERT_EQ(bytes, static_cast<LONG>(chunks[i].size())) << "frame " << i;
    EXPECT_EQ(samples, 1);
    buffer.resize(static_cast<std::size_t>(bytes));
    EXPECT_EQ(buffer, chunks[i]) << "frame " << i;
    EXPECT_EQ(AVIStreamIsKeyFrame(stream, i) != FALSE, keys[i]) << "frame " << i;
  }
  AVIStreamRelease(stream);
  AVIFileRelease(file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AviFileLibraryTest,
                         ::testing::Values(ReadCase{1, 1, 15, 3, "one.avi"},
                                           ReadCase{101, 3, 30, 5, "stride 304.avi"},
                                           ReadCase{641, 5, 60, 4, "caf\xC3\xA9.avi"},
                                           ReadCase{640, 480, 15, 2, "vga.avi"},
                                           ReadCase{101, 3, 30, 9, "zmbv odd.avi", 4},
                                           ReadCase{640, 480, 15, 7, "zmbv vga.avi", 3}));

}  // namespace
}  // namespace ks
