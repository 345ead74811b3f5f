#include "recorder/movie.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "avi_reader.h"
#include "test_files.h"
#include "test_pictures.h"

namespace ks {
namespace {

using test::makePicture;
using test::parseAvi;
using test::pathFromUtf8;
using test::readAll;
using test::TempDir;

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + "; ";
  return s;
}

TEST(Movie, RecordsFramesIntoANewFileAtThePath) {
  TempDir dir;
  // A folder and a name outside ASCII: the path goes to the system as UTF-16
  // on Windows and as UTF-8 bytes elsewhere.
  std::filesystem::create_directories(dir.path() / pathFromUtf8("Vid\xC3\xA9os \xE6\x98\xA0\xE7\x94\xBB"));
  const std::string path = dir.file("Vid\xC3\xA9os \xE6\x98\xA0\xE7\x94\xBB/d\xC3\xA9mo \xF0\x9F\x8E\xA5.avi");
  const BitmapInfoHeader fmt = makeFrameFormat(101, 3);
  Movie movie;
  ASSERT_TRUE(movie.OpenMovie(path, fmt, 15));
  EXPECT_TRUE(movie.IsOpen());
  EXPECT_EQ(movie.FrameNumber(), 0);
  EXPECT_EQ(movie.StreamInfo(), makeStreamInfo(fmt, 15));
  const auto a = makePicture(101, 3, 1);
  const auto b = makePicture(101, 3, 2);
  ASSERT_TRUE(movie.WriteFrame(a.data(), fmt));
  ASSERT_TRUE(movie.WriteFrame(a.data(), fmt));
  ASSERT_TRUE(movie.WriteFrame(b.data(), fmt));
  EXPECT_EQ(movie.FrameNumber(), 3);
  movie.CloseMovie();
  EXPECT_FALSE(movie.IsOpen());
  EXPECT_FALSE(movie.WriteFrame(a.data(), fmt));

  const auto bytes = readAll(pathFromUtf8(path));
  const test::AviFile f = parseAvi(bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  EXPECT_EQ(f.strh.scale, 1u);
  EXPECT_EQ(f.strh.rate, 15u);
  EXPECT_EQ(f.strf, fmt);
  ASSERT_EQ(f.frames.size(), 3u);
  const std::vector<std::uint8_t>* expected[] = {&a, &a, &b};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(0, std::memcmp(bytes.data() + f.frames[i].offset + 8, expected[i]->data(), fmt.biSizeImage));
}

TEST(Movie, ReplacesAnExistingFileAndStartsEachMovieAtZero) {
  TempDir dir;
  const std::string path = dir.file("again.avi");
  {
    std::ofstream old(pathFromUtf8(path), std::ios::binary);
    const std::string junk(300000, 'x');
    old << junk;
  }
  const BitmapInfoHeader fmt = makeFrameFormat(4, 4);
  const auto pic = makePicture(4, 4, 3);
  Movie movie;
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(movie.OpenMovie(path, fmt, 30 + round));
    EXPECT_EQ(movie.FrameNumber(), 0);
    EXPECT_EQ(movie.StreamInfo().dwRate, static_cast<std::uint32_t>(30 + round));
    for (int i = 0; i <= round; ++i) ASSERT_TRUE(movie.WriteFrame(pic.data(), fmt));
    movie.CloseMovie();
    const auto bytes = readAll(pathFromUtf8(path));
    const test::AviFile f = parseAvi(bytes);
    ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
    EXPECT_EQ(f.frames.size(), static_cast<std::size_t>(round + 1));
    EXPECT_EQ(f.strh.rate, static_cast<std::uint32_t>(30 + round));
  }
}

TEST(Movie, FailsQuietlyWhereNoFileCanBeMade) {
  TempDir dir;
  const BitmapInfoHeader fmt = makeFrameFormat(4, 4);
  Movie movie;
  EXPECT_FALSE(movie.OpenMovie(dir.file("missing/folder/x.avi"), fmt, 30));
  EXPECT_FALSE(movie.IsOpen());
  EXPECT_FALSE(movie.OpenMovie(dir.file("x.avi"), fmt, 0));
  const auto pic = makePicture(4, 4, 0);
  EXPECT_FALSE(movie.WriteFrame(pic.data(), fmt));
  EXPECT_EQ(movie.FrameNumber(), 0);
  movie.CloseMovie();  // nothing open: nothing happens
  EXPECT_FALSE(movie.IsOpen());
}

}  // namespace
}  // namespace ks
