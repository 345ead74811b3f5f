// Windows' own AVIFile library (Video for Windows) reads our movies back:
// the stream description, the frame format and every frame.
#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "media/avi_writer.h"
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
};

class AviFileLibraryTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AviFileLibraryTest, ReadsTheStreamFormatAndFramesWeWrote) {
  const ReadCase c = GetParam();
  test::TempDir dir;
  // AVIFile opens files through the ANSI mmio layer, which cannot reach every
  // Unicode name; our own wide-path handling is covered by the Movie tests.
  const std::string path = dir.file(GetParam().name);
  const BitmapInfoHeader fmt = makeFrameFormat(c.width, c.height);
  {
    AviWriter writer;
    ASSERT_TRUE(writer.open(openFileSink(path), fmt, c.rate));
    for (int i = 0; i < c.frames; ++i) {
      const auto pic = test::makePicture(c.width, c.height, i);
      ASSERT_TRUE(writer.writeFrame(pic.data(), fmt.biSizeImage));
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
  EXPECT_TRUE(info.fccHandler == 0 || info.fccHandler == mmioFOURCC('D', 'I', 'B', ' '))
      << info.fccHandler;
  EXPECT_EQ(info.dwScale, 1u);
  EXPECT_EQ(info.dwRate, c.rate);
  EXPECT_EQ(info.dwStart, 0u);
  EXPECT_EQ(info.dwLength, static_cast<DWORD>(c.frames));
  EXPECT_EQ(info.dwSuggestedBufferSize, fmt.biSizeImage);
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
  EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(bih.biSizeImage, fmt.biSizeImage);

  std::vector<std::uint8_t> buffer(fmt.biSizeImage);
  for (int i = 0; i < c.frames; ++i) {
    LONG bytes = 0, samples = 0;
    ASSERT_EQ(AVIStreamRead(stream, i, 1, buffer.data(), static_cast<LONG>(buffer.size()), &bytes,
                            &samples), 0)
        << "frame " << i;
    EXPECT_EQ(bytes, static_cast<LONG>(fmt.biSizeImage));
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(buffer, test::makePicture(c.width, c.height, i)) << "frame " << i;
    EXPECT_TRUE(AVIStreamIsKeyFrame(stream, i)) << "frame " << i;
  }
  AVIStreamRelease(stream);
  AVIFileRelease(file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AviFileLibraryTest,
                         ::testing::Values(ReadCase{1, 1, 15, 3, "one.avi"},
                                           ReadCase{101, 3, 30, 5, "stride 304.avi"},
                                           ReadCase{641, 5, 60, 4, "caf\xC3\xA9.avi"},
                                           ReadCase{640, 480, 15, 2, "vga.avi"}));

}  // namespace
}  // namespace ks
