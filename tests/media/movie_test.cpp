#include "media/movie.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "avi_reader.h"
#include "media/zmbv_encoder.h"
#include "memory_sink.h"
#include "test_files.h"
#include "test_pictures.h"

namespace ks {
namespace {

using test::makePicture;
using test::MemoryFile;
using test::MemorySink;
using test::parseAvi;
using test::pathFromUtf8;
using test::readAll;
using test::TempDir;

using test::joined;

TEST(Movie, RecordsFramesIntoANewFileAtThePath) {
  TempDir dir;
  // A folder and a name outside ASCII: the path goes to the system as UTF-16
  // on Windows and as UTF-8 bytes elsewhere.
  std::filesystem::create_directories(dir.path() / pathFromUtf8("Vid\xC3\xA9os \xE6\x98\xA0\xE7\x94\xBB"));
  const std::string path = dir.file("Vid\xC3\xA9os \xE6\x98\xA0\xE7\x94\xBB/d\xC3\xA9mo \xF0\x9F\x8E\xA5.avi");
  const BitmapInfoHeader fmt = makeFrameFormat(101, 3);
  Movie movie;
  ASSERT_TRUE(movie.OpenMovie(openFileSink(path), fmt, 15));
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
    ASSERT_TRUE(movie.OpenMovie(openFileSink(path), fmt, 30 + round));
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
  EXPECT_FALSE(movie.OpenMovie(openFileSink(dir.file("missing/folder/x.avi")), fmt, 30));
  EXPECT_FALSE(movie.IsOpen());
  EXPECT_FALSE(movie.OpenMovie(openFileSink(dir.file("x.avi")), fmt, 0));
  const auto pic = makePicture(4, 4, 0);
  EXPECT_FALSE(movie.WriteFrame(pic.data(), fmt));
  EXPECT_EQ(movie.FrameNumber(), 0);
  // Once open, only frames of the opened size are taken.
  ASSERT_TRUE(movie.OpenMovie(openFileSink(dir.file("sized.avi")), fmt, 30));
  const auto wide = makePicture(8, 4, 0);
  EXPECT_FALSE(movie.WriteFrame(wide.data(), makeFrameFormat(8, 4)));
  EXPECT_TRUE(movie.WriteFrame(pic.data(), fmt));
  EXPECT_EQ(movie.FrameNumber(), 1);
  movie.CloseMovie();  // nothing open: nothing happens
  EXPECT_FALSE(movie.IsOpen());
}

// Refuses the frame writes whose attempt numbers are in `refused` (counting
// retries); the other writes go into `file`.
class RefusingSink final : public FileSink {
 public:
  RefusingSink(std::shared_ptr<MemoryFile> file, std::set<int> refused)
      : inner_(std::move(file)), refused_(std::move(refused)) {}
  bool write(std::span<const ConstBuffer> parts) override {
    if (isFrame(parts) && refused_.count(++attempts_)) return false;
    return inner_.write(parts);
  }
  bool seek(std::uint64_t offset) override { return inner_.seek(offset); }
  std::uint64_t tell() const override { return inner_.tell(); }
  bool truncate(std::uint64_t size) override { return inner_.truncate(size); }
  bool flush() override { return inner_.flush(); }
  bool sync() override { return inner_.sync(); }
  bool close() override { return inner_.close(); }

 private:
  // A frame goes down as its chunk header, then its bytes.
  static bool isFrame(std::span<const ConstBuffer> parts) {
    if (parts.size() < 2 || parts[0].size != 8) return false;
    std::uint32_t id;
    std::memcpy(&id, parts[0].data, 4);
    return id == fourCC('0', '0', 'd', 'b') || id == fourCC('0', '0', 'd', 'c');
  }
  MemorySink inner_;
  std::set<int> refused_;
  int attempts_ = 0;
};

std::set<int> range(int first, int last) {
  std::set<int> s;
  for (int i = first; i <= last; ++i) s.insert(i);
  return s;
}

// Frames go through the pipeline behind the caller, who reuses one buffer
// for every picture; a refused write is found by a later call (or Flush) and
// repeated before a new picture is taken. Whatever happens, the file holds
// the pictures taken, in order, each once, except those that could never be
// written, and the count says what the file holds.
TEST(Movie, WritesBehindTheCallerAndRepeatsRefusedFramesInOrder) {
  struct Case {
    const char* name;
    std::set<int> refused;  // attempts at a frame write that fail
    int expectedFalse;      // WriteFrame calls answered false; -1: none or all ten, as the writer's pace has it
    int expectedFlushFalse; // Flush calls answered false before the close
    int expectedFrames;     // frames in the closed file, and FrameNumber then
  };
  const Case cases[] = {
      {"no faults", {}, 0, 0, 6},
      // The refusal of picture 3 is found by a later call, which repeats it
      // successfully before taking a new picture.
      {"one refused attempt", {3}, 0, 0, 6},
      {"three refused attempts", range(3, 5), 2, 0, 6},
      // Found by Flush, which repeats it.
      {"the last picture refused once", {6}, 0, 0, 6},
      // A disk that stays full: calls answer false until the caller gives up
      // (ten calls here), and the file keeps the four pictures before.
      {"refused for good from picture 5", range(5, 1000), -1, 10, 4},
      // The last picture was taken, but no Flush and no close gets it in.
      {"the last picture refused for good", range(6, 1000), 0, 10, 5},
  };
  constexpr int kPictures = 6;
  for (MovieFormat format : {MovieFormat::Uncompressed, MovieFormat::Zmbv}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (format == MovieFormat::Zmbv ? ", lossless" : ", uncompressed"));
      const BitmapInfoHeader fmt = makeFrameFormat(7, 5);
      auto file = std::make_shared<MemoryFile>();
      Movie movie;
      ASSERT_TRUE(movie.OpenMovie(std::make_unique<RefusingSink>(file, c.refused), fmt, 10, format));
      std::vector<std::uint8_t> buffer;
      int falses = 0, taken = 0;
      for (int p = 0; p < kPictures; ++p) {
        buffer = makePicture(7, 5, 100 + p);
        int tries = 0;
        while (!movie.WriteFrame(buffer.data(), fmt) && ++tries < 10) ++falses;
        if (tries == 10) {
          ++falses;
          break;
        }
        ++taken;
        EXPECT_EQ(movie.FrameNumber(), taken);
        std::fill(buffer.begin(), buffer.end(), 0xEE);  // the caller reuses its buffer at once
      }
      int flushFalses = 0;
      while (!movie.Flush() && ++flushFalses < 10) {
      }
      movie.CloseMovie();
      if (c.expectedFalse >= 0) {
        EXPECT_EQ(falses, c.expectedFalse);
      } else {
        EXPECT_TRUE(falses == 0 || falses == 10) << falses;
      }
      EXPECT_EQ(flushFalses, c.expectedFlushFalse);
      EXPECT_EQ(movie.FrameNumber(), c.expectedFrames) << "the count follows the file";
      const test::AviFile f = parseAvi(file->bytes);
      ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
      EXPECT_EQ(f.dmlhTotalFrames, static_cast<std::uint32_t>(c.expectedFrames));
      ASSERT_EQ(f.frames.size(), static_cast<std::size_t>(c.expectedFrames));
      // A lossless movie's frames are what a fresh encoder makes of the
      // same pictures in the same order: none lost, doubled or swapped.
      ZmbvOptions options;
      options.keyInterval = 20;
      ZmbvEncoder expectedEncoder(7, 5, options);
      std::vector<bool> keys;
      for (int i = 0; i < c.expectedFrames; ++i) {
        const auto picture = makePicture(7, 5, 100 + i);
        const std::uint8_t* stored = file->bytes.data() + f.frames[static_cast<std::size_t>(i)].offset + 8;
        if (format == MovieFormat::Uncompressed) {
          ASSERT_EQ(f.frames[static_cast<std::size_t>(i)].size, fmt.biSizeImage);
          EXPECT_EQ(0, std::memcmp(stored, picture.data(), fmt.biSizeImage)) << "frame " << i;
          keys.push_back(true);
          continue;
        }
        const ZmbvChunk expected = expectedEncoder.encode(picture.data());
        ASSERT_EQ(f.frames[static_cast<std::size_t>(i)].size, expected.bytes.size()) << "frame " << i;
        EXPECT_EQ(0, std::memcmp(stored, expected.bytes.data(), expected.bytes.size())) << "frame " << i;
        keys.push_back(expected.keyFrame);
      }
      EXPECT_TRUE(checkIndexes(f, true, keys).empty()) << joined(checkIndexes(f, true, keys));
    }
  }
}

TEST(Movie, AMovieDestroyedWhileOpenIsClosedWithItsFrames) {
  const BitmapInfoHeader fmt = makeFrameFormat(3, 3);
  auto file = std::make_shared<MemoryFile>();
  {
    Movie movie;
    ASSERT_TRUE(movie.OpenMovie(test::memorySink(file), fmt, 5));
    const auto pic = makePicture(3, 3, 9);
    ASSERT_TRUE(movie.WriteFrame(pic.data(), fmt));
    ASSERT_TRUE(movie.WriteFrame(pic.data(), fmt));
  }
  EXPECT_TRUE(file->closed);
  const test::AviFile f = parseAvi(file->bytes);
  EXPECT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_EQ(f.frames.size(), 2u);
}

}  // namespace
}  // namespace ks
