#include "media/avi_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "avi_reader.h"
#include "memory_sink.h"
#include "test_pictures.h"

namespace ks {
namespace {

using test::AviFile;
using test::MemoryFile;
using test::makePicture;
using test::memorySink;
using test::parseAvi;

using test::joined;

// A clock the test moves by hand.
struct ManualClock {
  std::shared_ptr<std::chrono::steady_clock::time_point> t =
      std::make_shared<std::chrono::steady_clock::time_point>();
  AviWriterOptions::Clock fn() const {
    return [t = t] { return *t; };
  }
  void advance(std::chrono::milliseconds d) const { *t += d; }
};

// Streams of a made-up codec (keyInterval > 0): chunks of varying, odd and
// even, sizes cut from the pictures, a key frame every keyInterval frames.
constexpr std::uint32_t kTestCodec = fourCC('T', 'E', 'S', 'T');

BitmapInfoHeader formatFor(std::int32_t w, std::int32_t h, std::uint32_t keyInterval) {
  BitmapInfoHeader f = makeFrameFormat(w, h);
  if (keyInterval) f.biCompression = kTestCodec;
  return f;
}

std::vector<std::uint8_t> frameFor(std::int32_t w, std::int32_t h, int seed, std::uint32_t keyInterval) {
  std::vector<std::uint8_t> pic = makePicture(w, h, seed);
  if (keyInterval) pic.resize(1 + (static_cast<std::size_t>(seed) * 7919u) % pic.size());
  return pic;
}

bool isKeyFrame(int position, std::uint32_t keyInterval) {
  return keyInterval == 0 || position % static_cast<int>(keyInterval) == 0;
}

// Which of the frames seeded `seeds` were written as key frames.
std::vector<bool> keyFrames(const std::vector<int>& seeds, std::uint32_t keyInterval) {
  std::vector<bool> keys;
  for (int s : seeds) keys.push_back(isKeyFrame(s, keyInterval));
  return keys;
}

std::uint32_t largestFrame(std::int32_t w, std::int32_t h, const std::vector<int>& seeds,
                           std::uint32_t keyInterval) {
  std::uint32_t n = 0;
  for (int s : seeds) n = std::max(n, static_cast<std::uint32_t>(frameFor(w, h, s, keyInterval).size()));
  return n;
}

// The frames of the file, in order, compared with pictures seeded `seeds`.
void expectFrames(const std::vector<std::uint8_t>& bytes, const AviFile& f, std::int32_t w,
                  std::int32_t h, const std::vector<int>& seeds, std::uint32_t keyInterval = 0) {
  ASSERT_EQ(f.frames.size(), seeds.size());
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const auto expected = frameFor(w, h, seeds[i], keyInterval);
    ASSERT_EQ(f.frames[i].size, expected.size()) << "frame " << i;
    EXPECT_EQ(0, std::memcmp(bytes.data() + f.frames[i].offset + 8, expected.data(), expected.size()))
        << "frame " << i;
  }
}

std::vector<std::uint8_t> soundFor(std::uint32_t blocks, int seed) { return test::makeSound(blocks, seed); }
std::uint32_t soundBlocks(std::uint32_t base, int seed) { return base + static_cast<std::uint32_t>(seed % 3); }

// The sound chunks of the file, in order, compared with those seeded `seeds`.
void expectSound(const std::vector<std::uint8_t>& bytes, const AviFile& f, std::uint32_t base,
                 const std::vector<int>& seeds) {
  ASSERT_EQ(f.sound.chunks.size(), seeds.size());
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const auto expected = soundFor(soundBlocks(base, seeds[i]), seeds[i]);
    ASSERT_EQ(f.sound.chunks[i].size, expected.size()) << "sound chunk " << i;
    EXPECT_EQ(0, std::memcmp(bytes.data() + f.sound.chunks[i].offset + 8, expected.data(), expected.size()));
  }
}

struct MovieCase {
  std::int32_t width, height;
  std::uint32_t rate;
  int frames;
  std::uint32_t keyInterval = 0;  // 0: uncompressed
  std::uint32_t sound = 0;        // about this many sample frames with each frame; 0: no sound
};

class WriterLayoutTest : public ::testing::TestWithParam<MovieCase> {};

TEST_P(WriterLayoutTest, HeadersIndexesAndFramesAreWhatWasAskedFor) {
  const MovieCase c = GetParam();
  const BitmapInfoHeader fmt = formatFor(c.width, c.height, c.keyInterval);
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer;
  ASSERT_TRUE(writer.open(memorySink(file), fmt, c.rate, c.sound ? std::optional(WaveFormat{}) : std::nullopt));
  EXPECT_EQ(writer.hasSound(), c.sound != 0);
  std::vector<int> seeds;
  std::uint32_t soundBytes = 0, soundFrames = 0;
  for (int i = 0; i < c.frames; ++i) {
    EXPECT_EQ(writer.frameNumber(), i);
    // Sound before the frame, or after it.
    const auto sound = soundFor(soundBlocks(c.sound, i), i);
    for (int pass = 0; pass < 2; ++pass) {
      if (c.sound && pass == i % 2) {
        ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())));
        soundBytes = std::max(soundBytes, static_cast<std::uint32_t>(sound.size()));
        soundFrames += soundBlocks(c.sound, i);
        EXPECT_EQ(writer.soundFrames(), soundFrames);
      }
    }
    const auto pic = frameFor(c.width, c.height, i, c.keyInterval);
    ASSERT_TRUE(writer.writeFrame(pic.data(), static_cast<std::uint32_t>(pic.size()),
                                  isKeyFrame(i, c.keyInterval)));
    seeds.push_back(i);
  }
  ASSERT_TRUE(writer.close());
  ASSERT_TRUE(file->closed);

  const AviFile f = parseAvi(file->bytes);
  const std::vector<bool> keys = keyFrames(seeds, c.keyInterval);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true, keys).empty()) << joined(checkIndexes(f, true, keys));
  ASSERT_EQ(f.riffs.size(), 1u);
  EXPECT_EQ(f.riffs[0].offset + 8 + f.riffs[0].size, file->bytes.size());
  // A compressed stream's buffer holds its largest chunk.
  const std::uint32_t buffer =
      c.keyInterval ? largestFrame(c.width, c.height, seeds, c.keyInterval) : fmt.biSizeImage;
  EXPECT_EQ(f.frameChunkId, c.keyInterval ? kCompressedFrameChunkId : kFrameChunkId);

  EXPECT_EQ(f.avih.microSecPerFrame, static_cast<std::uint32_t>(std::lrint(1e6 / c.rate)));
  EXPECT_EQ(f.avih.maxBytesPerSec, buffer * c.rate + (c.sound ? 192000 : 0));
  EXPECT_EQ(f.avih.paddingGranularity, 0u);
  EXPECT_EQ(f.avih.flags, kAviHasIndex);
  EXPECT_EQ(f.avih.totalFrames, static_cast<std::uint32_t>(c.frames));
  EXPECT_EQ(f.avih.initialFrames, 0u);
  EXPECT_EQ(f.avih.streams, c.sound ? 2u : 1u);
  EXPECT_EQ(f.avih.suggestedBufferSize, std::max(buffer, soundBytes));
  EXPECT_EQ(f.avih.width, c.width);
  EXPECT_EQ(f.avih.height, c.height);

  EXPECT_EQ(f.strh.fccType, fourCC('v', 'i', 'd', 's'));
  EXPECT_EQ(f.strh.fccHandler, fmt.biCompression);
  EXPECT_EQ(f.strh.flags, 0u);
  EXPECT_EQ(f.strh.priority, 0);
  EXPECT_EQ(f.strh.language, 0);
  EXPECT_EQ(f.strh.initialFrames, 0u);
  EXPECT_EQ(f.strh.scale, 1u);
  EXPECT_EQ(f.strh.rate, c.rate);
  EXPECT_EQ(f.strh.start, 0u);
  EXPECT_EQ(f.strh.length, static_cast<std::uint32_t>(c.frames));
  EXPECT_EQ(f.strh.suggestedBufferSize, buffer);
  EXPECT_EQ(f.strh.quality, 0u);
  EXPECT_EQ(f.strh.sampleSize, 0u);
  EXPECT_EQ(f.strh.left, 0);
  EXPECT_EQ(f.strh.top, 0);
  EXPECT_EQ(f.strh.right, c.width);
  EXPECT_EQ(f.strh.bottom, c.height);

  EXPECT_EQ(f.strfSize, 40u);
  EXPECT_EQ(f.strf, fmt);

  ASSERT_TRUE(f.hasSuperIndex);
  EXPECT_EQ(f.superIndex.size(), 1u);
  EXPECT_EQ(f.superCapacity, writer.superIndexCapacity());
  EXPECT_EQ(f.dmlhTotalFrames, static_cast<std::uint32_t>(c.frames));
  EXPECT_EQ(f.legacyIndex.size(), static_cast<std::size_t>(c.frames) * (c.sound ? 2 : 1));
  expectFrames(file->bytes, f, c.width, c.height, seeds, c.keyInterval);
  ASSERT_EQ(f.hasSound, c.sound != 0);
  if (!c.sound) return;
  const test::StreamHeader& a = f.sound.strh;
  EXPECT_EQ(std::tie(a.fccType, a.fccHandler, a.flags, a.initialFrames, a.scale, a.rate, a.start, a.length),
            std::tuple(kStreamTypeAudio, 0u, 0u, 0u, 4u, 192000u, 0u, soundFrames));
  EXPECT_EQ(std::tie(a.suggestedBufferSize, a.quality, a.sampleSize), std::tuple(soundBytes, 0u, 4u));
  EXPECT_EQ(f.sound.strfSize, 18u);
  EXPECT_EQ(f.sound.strf, WaveFormat{});
  EXPECT_EQ(f.sound.superIndex.size(), 1u);
  EXPECT_EQ(f.sound.superCapacity, writer.superIndexCapacity());
  expectSound(file->bytes, f, c.sound, seeds);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WriterLayoutTest,
                         ::testing::Values(MovieCase{1, 1, 30, 3}, MovieCase{100, 4, 15, 5},
                                           MovieCase{101, 3, 60, 4}, MovieCase{640, 480, 15, 2},
                                           MovieCase{7, 7, 1, 0}, MovieCase{3, 1, 7, 9},
                                           MovieCase{101, 3, 30, 11, 4}, MovieCase{1, 1, 15, 5, 2},
                                           MovieCase{640, 480, 15, 6, 1}, MovieCase{7, 7, 1, 0, 3},
                                           MovieCase{101, 3, 30, 4, 0, 1600}, MovieCase{1, 1, 15, 5, 0, 1},
                                           MovieCase{101, 3, 30, 11, 4, 1600}, MovieCase{1, 1, 15, 5, 2, 3}));

// Movies without sound are byte for byte what the writer made before it had a
// sound stream: the hashes were taken from the video-only writer (ca5ed91).
// Those with sound (a chunk of about `sound` sample frames after each frame)
// are what the writer made before its streams shared one record (f90deda).
struct PinnedCase {
  std::uint32_t keyInterval;
  std::uint64_t riffLimit;
  std::uint32_t superIndexCapacity;
  int frames;
  std::uint64_t fnv1a;
  std::uint32_t sound = 0;
};

class PinnedBytesTest : public ::testing::TestWithParam<PinnedCase> {};

void expectPinnedBytes(const PinnedCase& c) {
  ManualClock clock;
  AviWriterOptions opt;
  opt.clock = clock.fn();
  opt.riffLimit = c.riffLimit;
  opt.superIndexCapacity = c.superIndexCapacity;
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer(opt);
  const std::optional<WaveFormat> sound = c.sound ? std::optional(WaveFormat{}) : std::nullopt;
  ASSERT_TRUE(writer.open(memorySink(file), formatFor(10, 10, c.keyInterval), 30, sound));
  for (int i = 0; i < c.frames; ++i) {
    clock.advance(std::chrono::milliseconds(250));
    const auto pic = frameFor(10, 10, i, c.keyInterval);
    ASSERT_TRUE(writer.writeFrame(pic.data(), static_cast<std::uint32_t>(pic.size()), isKeyFrame(i, c.keyInterval)));
    const auto samples = soundFor(soundBlocks(c.sound, i), i);
    if (c.sound) {
      ASSERT_TRUE(writer.writeSound(samples.data(), static_cast<std::uint32_t>(samples.size())));
    }
  }
  ASSERT_TRUE(writer.close());
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint8_t b : file->bytes) h = (h ^ b) * 0x100000001b3ull;
  EXPECT_EQ(h, c.fnv1a) << std::hex << h << ", " << std::dec << file->bytes.size() << " bytes";
}

TEST_P(PinnedBytesTest, VideoOnlyFilesKeepTheirBytes) { expectPinnedBytes(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Movies, PinnedBytesTest,
                         ::testing::Values(PinnedCase{0, 1u << 30, 0, 5, 0x4c58231aaf7ee905},
                                           PinnedCase{0, 4096, 16, 40, 0x6f384ac934517518},
                                           PinnedCase{3, 1u << 30, 0, 7, 0x611875e34e250aac},
                                           PinnedCase{3, 2048, 16, 60, 0x3941d76cc1f8c8da}));

class PinnedSoundBytesTest : public PinnedBytesTest {};

TEST_P(PinnedSoundBytesTest, FilesWithSoundKeepTheirBytes) { expectPinnedBytes(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Movies, PinnedSoundBytesTest,
                         ::testing::Values(PinnedCase{0, 1u << 30, 0, 6, 0x48af7c8ec5198a1c, 1600},
                                           PinnedCase{0, 4096, 16, 40, 0xb282c09a45434d8b, 40},
                                           PinnedCase{3, 2048, 16, 60, 0xba51fa38d2a7b11e, 25}));

TEST(AviWriter, OddFrameSizesArePaddedToEvenWithAZeroByte) {
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer;
  ASSERT_TRUE(writer.open(memorySink(file), makeFrameFormat(1, 1), 25));
  const std::uint8_t bytes[5] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
  for (std::uint32_t size : {3u, 1u, 2u, 5u, 0u}) ASSERT_TRUE(writer.writeFrame(bytes, size));
  ASSERT_TRUE(writer.close());
  const AviFile f = parseAvi(file->bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  ASSERT_EQ(f.frames.size(), 5u);
  const std::uint32_t sizes[5] = {3, 1, 2, 5, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(f.frames[i].size, sizes[i]);
    EXPECT_EQ(f.frames[i].offset % 2, 0u) << "chunk " << i << " starts on an odd offset";
    EXPECT_EQ(0, std::memcmp(file->bytes.data() + f.frames[i].offset + 8, bytes, sizes[i]));
    if (sizes[i] & 1) {
      EXPECT_EQ(file->bytes[f.frames[i].offset + 8 + sizes[i]], 0);
    }
  }
}

TEST(AviWriter, PositionsFollowWithoutGapsAcrossRepeatsAndFailures) {
  const BitmapInfoHeader fmt = makeFrameFormat(5, 2);
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer;
  ASSERT_TRUE(writer.open(memorySink(file), fmt, 10));
  EXPECT_EQ(writer.frameNumber(), 0);
  const auto a = makePicture(5, 2, 1);
  const auto b = makePicture(5, 2, 2);
  ASSERT_TRUE(writer.writeFrame(a.data(), fmt.biSizeImage));
  ASSERT_TRUE(writer.writeFrame(a.data(), fmt.biSizeImage));  // the same picture again
  EXPECT_EQ(writer.frameNumber(), 2);
  file->failWrite = file->writes + 1;
  EXPECT_FALSE(writer.writeFrame(b.data(), fmt.biSizeImage));
  EXPECT_EQ(writer.frameNumber(), 2) << "a failed write leaves the position";
  ASSERT_TRUE(writer.writeFrame(b.data(), fmt.biSizeImage));
  EXPECT_EQ(writer.frameNumber(), 3);
  ASSERT_TRUE(writer.close());
  const AviFile f = parseAvi(file->bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  expectFrames(file->bytes, f, 5, 2, {1, 1, 2});
}

TEST(AviWriter, ASecondMovieStartsAtZeroWithAFreshDescription) {
  AviWriter writer;
  auto first = std::make_shared<MemoryFile>();
  const BitmapInfoHeader f1 = makeFrameFormat(8, 8);
  ASSERT_TRUE(writer.open(memorySink(first), f1, 30));
  const auto pic1 = makePicture(8, 8, 0);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer.writeFrame(pic1.data(), f1.biSizeImage));
  ASSERT_TRUE(writer.close());
  EXPECT_FALSE(writer.isOpen());
  EXPECT_FALSE(writer.writeFrame(pic1.data(), f1.biSizeImage)) << "closed";

  auto second = std::make_shared<MemoryFile>();
  const BitmapInfoHeader f2 = makeFrameFormat(4, 2);
  ASSERT_TRUE(writer.open(memorySink(second), f2, 5));
  EXPECT_EQ(writer.frameNumber(), 0);
  EXPECT_EQ(writer.streamInfo(), makeStreamInfo(f2, 5));
  const auto pic2 = makePicture(4, 2, 9);
  ASSERT_TRUE(writer.writeFrame(pic2.data(), f2.biSizeImage));
  ASSERT_TRUE(writer.close());

  const AviFile f = parseAvi(second->bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  EXPECT_EQ(f.strh.rate, 5u);
  EXPECT_EQ(f.strf, f2);
  expectFrames(second->bytes, f, 4, 2, {9});
}

TEST(AviWriter, RefusesWhatCannotBeAMovie) {
  const auto sink = [] { return memorySink(std::make_shared<MemoryFile>()); };
  AviWriter w;
  EXPECT_FALSE(w.open(sink(), makeFrameFormat(4, 4), 0));
  EXPECT_FALSE(w.open(sink(), makeFrameFormat(0, 4), 25));
  EXPECT_FALSE(w.open(sink(), makeFrameFormat(4, -4), 25));
  EXPECT_FALSE(w.open(std::unique_ptr<FileSink>(), makeFrameFormat(4, 4), 25));
  EXPECT_FALSE(w.isOpen());
  EXPECT_FALSE(w.writeFrame("x", 1)) << "not open";
  ASSERT_TRUE(w.open(sink(), makeFrameFormat(4, 4), 25));
  EXPECT_FALSE(w.writeFrame(nullptr, 48));
  EXPECT_EQ(w.frameNumber(), 0);
  EXPECT_FALSE(w.writeSound("abcd", 4)) << "no sound stream";
  WaveFormat odd;
  odd.nBlockAlign = 3;  // not 2 channels of 16 bits
  EXPECT_FALSE(w.open(sink(), makeFrameFormat(4, 4), 25, odd));
  ASSERT_TRUE(w.open(sink(), makeFrameFormat(4, 4), 25, WaveFormat{}));
  for (std::uint32_t size : {0u, 2u, 6u}) EXPECT_FALSE(w.writeSound("abcdefgh", size)) << size << " bytes";
  EXPECT_FALSE(w.writeSound(nullptr, 4));
  EXPECT_EQ(w.soundFrames(), 0u);
}

TEST(AviWriter, MovesAndClosesOnDestruction) {
  auto file = std::make_shared<MemoryFile>();
  const BitmapInfoHeader fmt = makeFrameFormat(3, 3);
  const auto pic = makePicture(3, 3, 4);
  {
    AviWriter a;
    ASSERT_TRUE(a.open(memorySink(file), fmt, 12));
    ASSERT_TRUE(a.writeFrame(pic.data(), fmt.biSizeImage));
    AviWriter b(std::move(a));
    EXPECT_FALSE(a.isOpen());
    EXPECT_TRUE(b.isOpen());
    ASSERT_TRUE(b.writeFrame(pic.data(), fmt.biSizeImage));
    EXPECT_EQ(b.frameNumber(), 2);
  }
  EXPECT_TRUE(file->closed);
  const AviFile f = parseAvi(file->bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  expectFrames(file->bytes, f, 3, 3, {4, 4});
}

// ---- OpenDML ---------------------------------------------------------------------

struct RiffCase {
  std::uint64_t riffLimit;
  std::uint32_t maxFramesPerRiff;
  int frames;
  std::int32_t width, height;
  std::uint32_t keyInterval = 0;  // 0: uncompressed
  std::uint32_t sound = 0;        // sample frames after each frame, about; 0: no sound
};

class MultiRiffTest : public ::testing::TestWithParam<RiffCase> {};

TEST_P(MultiRiffTest, LongMoviesContinueInIndexedExtensionRiffs) {
  const RiffCase c = GetParam();
  AviWriterOptions opt;
  opt.riffLimit = c.riffLimit;
  opt.maxFramesPerRiff = c.maxFramesPerRiff;
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer(opt);
  const BitmapInfoHeader fmt = formatFor(c.width, c.height, c.keyInterval);
  ASSERT_TRUE(writer.open(memorySink(file), fmt, 30, c.sound ? std::optional(WaveFormat{}) : std::nullopt));
  std::vector<int> seeds;
  for (int i = 0; i < c.frames; ++i) {
    const auto pic = frameFor(c.width, c.height, i, c.keyInterval);
    ASSERT_TRUE(writer.writeFrame(pic.data(), static_cast<std::uint32_t>(pic.size()), isKeyFrame(i, c.keyInterval)))
        << i;
    seeds.push_back(i);
    const auto sound = soundFor(soundBlocks(c.sound, i), i);
    if (c.sound) {
      ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size()))) << i;
    }
  }
  const int riffs = writer.riffCount();
  ASSERT_TRUE(writer.close());

  const AviFile f = parseAvi(file->bytes);
  const std::vector<bool> keys = keyFrames(seeds, c.keyInterval);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true, keys).empty()) << joined(checkIndexes(f, true, keys));
  EXPECT_GE(f.riffs.size(), 3u);
  EXPECT_EQ(static_cast<int>(f.riffs.size()), riffs);
  for (std::size_t r = 0; r < f.riffs.size(); ++r) {
    if (f.framesPerRiff[r] > 1) {
      EXPECT_LE(f.riffs[r].size + 8u, c.riffLimit) << "RIFF " << r;
    }
    EXPECT_LE(static_cast<std::uint32_t>(f.framesPerRiff[r]), c.maxFramesPerRiff);
    EXPECT_LE(static_cast<std::uint32_t>(f.sound.chunksPerRiff[r]), c.maxFramesPerRiff);
    EXPECT_GE(f.framesPerRiff[r] + f.sound.chunksPerRiff[r], 1);
  }
  EXPECT_LT(f.avih.totalFrames, static_cast<std::uint32_t>(c.frames));
  EXPECT_EQ(f.avih.totalFrames, static_cast<std::uint32_t>(f.framesPerRiff[0]));
  EXPECT_EQ(f.dmlhTotalFrames, static_cast<std::uint32_t>(c.frames));
  EXPECT_EQ(f.strh.length, static_cast<std::uint32_t>(c.frames));
  if (c.keyInterval) {
    EXPECT_EQ(f.strh.suggestedBufferSize, largestFrame(c.width, c.height, seeds, c.keyInterval));
  }
  expectFrames(file->bytes, f, c.width, c.height, seeds, c.keyInterval);
  if (c.sound) expectSound(file->bytes, f, c.sound, seeds);
}

INSTANTIATE_TEST_SUITE_P(Limits, MultiRiffTest,
                         ::testing::Values(RiffCase{8192, 1u << 20, 200, 10, 10},
                                           RiffCase{1u << 30, 7, 40, 2, 2},
                                           RiffCase{4096, 1u << 20, 30, 64, 8},  // one frame per RIFF
                                           RiffCase{20000, 1u << 20, 120, 13, 11},
                                           RiffCase{8192, 1u << 20, 300, 10, 10, 7},
                                           RiffCase{1u << 30, 7, 40, 2, 2, 3},
                                           RiffCase{8192, 1u << 20, 200, 10, 10, 0, 200},
                                           RiffCase{4096, 1u << 20, 30, 64, 8, 0, 500},
                                           RiffCase{1u << 30, 7, 40, 2, 2, 3, 5},
                                           RiffCase{2048, 1u << 20, 300, 1, 1, 0, 1}));  // indexes dominate

TEST(AviWriter, StopsBeforeTheSuperIndexOverflows) {
  AviWriterOptions opt;
  opt.riffLimit = 2048;
  opt.superIndexCapacity = 3;
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer(opt);
  const BitmapInfoHeader fmt = makeFrameFormat(10, 10);
  ASSERT_TRUE(writer.open(memorySink(file), fmt, 30));
  const auto pic = makePicture(10, 10, 1);
  int written = 0;
  while (written < 1000 && writer.writeFrame(pic.data(), fmt.biSizeImage)) ++written;
  EXPECT_LT(written, 1000);
  EXPECT_EQ(writer.frameNumber(), written);
  EXPECT_EQ(writer.riffCount(), 3);
  ASSERT_TRUE(writer.close());
  const AviFile f = parseAvi(file->bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  EXPECT_EQ(f.frames.size(), static_cast<std::size_t>(written));
}

// ---- checkpoints -------------------------------------------------------------------

TEST(AviWriter, CheckpointsMakeTheOpenFileConsistentAboutOnceASecond) {
  for (const std::uint32_t keyInterval : {0u, 4u}) {
    SCOPED_TRACE(keyInterval ? "compressed" : "uncompressed");
    ManualClock clock;
    AviWriterOptions opt;
    opt.clock = clock.fn();
    opt.riffLimit = 4096;
    opt.superIndexCapacity = 64;
    opt.syncAtCheckpoint = true;
    auto file = std::make_shared<MemoryFile>();
    AviWriter writer(opt);
    const BitmapInfoHeader fmt = formatFor(10, 10, keyInterval);
    const std::uint32_t soundBase = keyInterval ? 10 : 0;  // the compressed pass has sound too
    ASSERT_TRUE(writer.open(memorySink(file), fmt, 30, soundBase ? std::optional(WaveFormat{}) : std::nullopt));
    std::vector<int> seeds;
    // A second passes just before the last write of `seed`: its checkpoint
    // is then the last thing written.
    auto write = [&](int seed, bool tick) {
      if (tick && !soundBase) clock.advance(std::chrono::milliseconds(1000));
      const auto pic = frameFor(10, 10, seed, keyInterval);
      ASSERT_TRUE(writer.writeFrame(pic.data(), static_cast<std::uint32_t>(pic.size()),
                                    isKeyFrame(seed, keyInterval)));
      seeds.push_back(seed);
      if (!soundBase) return;
      if (tick) clock.advance(std::chrono::milliseconds(1000));
      const auto sound = soundFor(soundBlocks(soundBase, seed), seed);
      ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())));
    };
    const int quiet = soundBase ? 3 : 5;  // frames (and sound) that fit the first RIFF
    for (int i = 0; i < quiet; ++i) write(i, false);
    {
      ASSERT_EQ(writer.riffCount(), 1);
      // Within the second nothing is patched: the headers still say "empty".
      const AviFile f = parseAvi(file->bytes);
      EXPECT_EQ(f.strh.length, 0u);
      EXPECT_EQ(f.sound.strh.length, 0u);
      EXPECT_EQ(file->syncs, 0);
    }
    // Enough frames for several RIFFs, with the clock passing seconds.
    for (int i = quiet; i < 60; ++i) {
      write(i, i % 10 == 9);
      if (i % 10 != 9) continue;
      // Just after a checkpoint the file as it stands is a whole AVI with every
      // frame, only without the index of the RIFF being written.
      const std::vector<std::uint8_t> snapshot = file->bytes;
      const AviFile f = parseAvi(snapshot);
      const std::vector<bool> keys = keyFrames(seeds, keyInterval);
      ASSERT_TRUE(f.problems.empty()) << "after frame " << i << ": " << joined(f.problems);
      EXPECT_TRUE(checkIndexes(f, false, keys).empty()) << "after frame " << i << ": "
                                                        << joined(checkIndexes(f, false, keys));
      if (keyInterval) {
        EXPECT_EQ(f.strh.suggestedBufferSize, largestFrame(10, 10, seeds, keyInterval)) << "after frame " << i;
        EXPECT_EQ(f.avih.suggestedBufferSize, f.strh.suggestedBufferSize) << "after frame " << i;
      }
      expectFrames(snapshot, f, 10, 10, seeds, keyInterval);
      if (soundBase) expectSound(snapshot, f, soundBase, seeds);
    }
    EXPECT_EQ(file->syncs, 6);
    EXPECT_GE(writer.riffCount(), 3);
    ASSERT_TRUE(writer.close());
  }
}

// ---- failures ----------------------------------------------------------------------

struct FaultRun {
  std::vector<std::uint8_t> bytes;
  std::vector<int> seeds;  // frames written, in order
  std::vector<int> soundSeeds;
  bool opened = false;
  bool closed = false;
  int writes = 0;
};

void writeFrames(AviWriter& writer, ManualClock& clock, FaultRun& run, int frames, int tries,
                 std::uint32_t keyInterval, std::uint32_t sound);

// Writes `frames` pictures through a writer whose sink fails as `setUp` says;
// a refused frame is offered again up to `tries` times, as the recorder does.
// With `sound`, a sound chunk follows each frame, offered as often.
template <class SetUp>
FaultRun runWithFault(int frames, int tries, SetUp setUp, std::uint32_t keyInterval = 0, std::uint32_t sound = 0) {
  ManualClock clock;
  AviWriterOptions opt;
  opt.clock = clock.fn();
  opt.riffLimit = 3000;
  opt.superIndexCapacity = 32;
  auto file = std::make_shared<MemoryFile>();
  setUp(*file);
  FaultRun run;
  auto writer = std::make_unique<AviWriter>(opt);
  const BitmapInfoHeader fmt = formatFor(9, 9, keyInterval);
  // A write that throws (no memory) ends the movie there, which then closes
  // the writer, or leaves that to its destructor when the close throws too.
  try {
    run.opened = writer->open(memorySink(file), fmt, 30, sound ? std::optional(WaveFormat{}) : std::nullopt);
    if (run.opened) writeFrames(*writer, clock, run, frames, tries, keyInterval, sound);
  } catch (const std::bad_alloc&) {
  }
  try {
    run.closed = run.opened && writer->close();
  } catch (const std::bad_alloc&) {
  }
  writer.reset();
  run.bytes = file->bytes;
  run.writes = file->writes;
  return run;
}

// The frames (and sound) of runWithFault, each offered up to `tries` times.
void writeFrames(AviWriter& writer, ManualClock& clock, FaultRun& run, int frames, int tries,
                 std::uint32_t keyInterval, std::uint32_t sound) {
  for (int i = 0; i < frames; ++i) {
    clock.advance(std::chrono::milliseconds(300));
    const auto pic = frameFor(9, 9, i, keyInterval);
    for (int t = 0; t < tries; ++t) {
      const std::int32_t before = writer.frameNumber();
      if (writer.writeFrame(pic.data(), static_cast<std::uint32_t>(pic.size()), isKeyFrame(i, keyInterval))) {
        EXPECT_EQ(writer.frameNumber(), before + 1);
        run.seeds.push_back(i);
        break;
      }
      EXPECT_EQ(writer.frameNumber(), before);
    }
    const auto samples = soundFor(soundBlocks(sound, i), i);
    for (int t = 0; sound && t < tries; ++t) {
      const std::uint64_t before = writer.soundFrames();
      if (writer.writeSound(samples.data(), static_cast<std::uint32_t>(samples.size()))) {
        EXPECT_EQ(writer.soundFrames(), before + soundBlocks(sound, i));
        run.soundSeeds.push_back(i);
        break;
      }
      EXPECT_EQ(writer.soundFrames(), before);
    }
  }
}

// A refused write loses nothing once offered again; one that throws ends the
// movie with the frames before it.
TEST(AviWriterFaults, AnySingleFailedOrThrowingWriteKeepsEveryFrameItReported) {
  for (const auto& [keyInterval, sound, throws] : {std::tuple{0u, 0u, false}, {5u, 0u, false}, {0u, 40u, false},
                                                   {0u, 0u, true}, {5u, 0u, true}, {0u, 40u, true}}) {
    SCOPED_TRACE(std::string(keyInterval ? "compressed" : "uncompressed") + (sound ? " with sound" : ""));
    const FaultRun clean = runWithFault(40, 1, [](MemoryFile&) {}, keyInterval, sound);
    ASSERT_TRUE(clean.closed);
    ASSERT_EQ(clean.seeds.size(), 40u);
    ASSERT_GT(clean.writes, 100) << "a run of several RIFFs and checkpoints";
    for (int n = 1; n <= clean.writes + 1; ++n) {
      SCOPED_TRACE((throws ? "throwing write " : "failing write ") + std::to_string(n));
      const FaultRun run =
          runWithFault(40, 2, [&](MemoryFile& f) { (throws ? f.throwWrite : f.failWrite) = n; }, keyInterval, sound);
      if (n == 1) {
        EXPECT_FALSE(run.opened) << "the header write failed: no movie";
        continue;
      }
      const AviFile f = parseAvi(run.bytes);
      ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
      if (!throws) {
        ASSERT_EQ(run.seeds.size(), 40u);
        ASSERT_EQ(run.soundSeeds.size(), sound ? 40u : 0u);
      }
      // A failed close may leave a count stale, never a frame lost.
      if (run.closed) {
        const std::vector<bool> keys = keyFrames(run.seeds, keyInterval);
        EXPECT_TRUE(checkIndexes(f, true, keys).empty()) << joined(checkIndexes(f, true, keys));
      }
      expectFrames(run.bytes, f, 9, 9, run.seeds, keyInterval);
      if (sound) expectSound(run.bytes, f, sound, run.soundSeeds);
    }
  }
}

TEST(AviWriterFaults, AWriterWhoseCloseThrowsInItsDestructorKeepsItsFrames) {
  auto file = std::make_shared<MemoryFile>();
  {
    AviWriter writer;
    const BitmapInfoHeader fmt = makeFrameFormat(9, 9);
    ASSERT_TRUE(writer.open(memorySink(file), fmt, 30));
    ASSERT_TRUE(writer.writeFrame(makePicture(9, 9, 1).data(), fmt.biSizeImage));
    file->throwWrite = file->writes + 1;
  }  // std::terminate if the exception left the destructor
  const auto pic = makePicture(9, 9, 1);
  EXPECT_NE(std::search(file->bytes.begin(), file->bytes.end(), pic.begin(), pic.end()), file->bytes.end());
}

TEST(AviWriterFaults, AFullDiskKeepsEveryFrameWrittenBeforeIt) {
  for (const auto& [keyInterval, sound] : {std::pair{0u, 0u}, {5u, 0u}, {0u, 40u}}) {
    SCOPED_TRACE(std::string(keyInterval ? "compressed" : "uncompressed") + (sound ? " with sound" : ""));
    const FaultRun clean = runWithFault(40, 1, [](MemoryFile&) {}, keyInterval, sound);
    const std::uint64_t full = clean.bytes.size();
    const std::uint64_t header = parseAvi(clean.bytes).frames.at(0).offset;
    for (std::uint64_t capacity = 64; capacity <= full + 64; capacity += 97) {
      SCOPED_TRACE("capacity " + std::to_string(capacity));
      const FaultRun run = runWithFault(40, 3, [&](MemoryFile& f) { f.capacity = capacity; }, keyInterval, sound);
      EXPECT_EQ(run.opened, capacity >= header);
      if (!run.opened) continue;
      const AviFile f = parseAvi(run.bytes);
      const std::vector<bool> keys = keyFrames(run.seeds, keyInterval);
      ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
      EXPECT_TRUE(checkIndexes(f, run.closed, keys).empty()) << joined(checkIndexes(f, run.closed, keys));
      if (capacity >= full) {
        EXPECT_TRUE(run.closed);
        EXPECT_EQ(run.seeds.size(), 40u);
        EXPECT_EQ(run.soundSeeds.size(), sound ? 40u : 0u);
      }
      // A chunk that did not fit leaves no trace in the buffer size.
      if (keyInterval && run.closed) {
        EXPECT_EQ(f.strh.suggestedBufferSize, largestFrame(9, 9, run.seeds, keyInterval));
      }
      // Frames of one size stop at the first that did not fit; nothing after
      // it sneaks in. Smaller chunks may still fit after a larger one.
      if (!keyInterval) {
        std::vector<int> prefix;
        for (int i = 0; i < static_cast<int>(run.seeds.size()); ++i) prefix.push_back(i);
        EXPECT_EQ(run.seeds, prefix);
      }
      expectFrames(run.bytes, f, 9, 9, run.seeds, keyInterval);
      if (sound) expectSound(run.bytes, f, sound, run.soundSeeds);
      EXPECT_LE(run.bytes.size(), capacity);
    }
  }
}

TEST(AviWriterFaults, WritingGoesOnWhenSpaceComesBack) {
  auto file = std::make_shared<MemoryFile>();
  AviWriterOptions opt;
  opt.riffLimit = 3000;
  AviWriter writer(opt);
  const BitmapInfoHeader fmt = makeFrameFormat(9, 9);
  ASSERT_TRUE(writer.open(memorySink(file), fmt, 30));
  std::vector<int> seeds;
  file->capacity = 5000;
  int i = 0;
  for (; i < 100; ++i) {
    const auto pic = makePicture(9, 9, i);
    if (!writer.writeFrame(pic.data(), fmt.biSizeImage)) break;
    seeds.push_back(i);
  }
  ASSERT_LT(i, 100);
  const auto pic = makePicture(9, 9, i);
  EXPECT_FALSE(writer.writeFrame(pic.data(), fmt.biSizeImage));
  file->capacity = UINT64_MAX;
  for (; i < 40 || writer.riffCount() < 4; ++i) {
    const auto p = makePicture(9, 9, i);
    ASSERT_TRUE(writer.writeFrame(p.data(), fmt.biSizeImage));
    seeds.push_back(i);
  }
  ASSERT_TRUE(writer.close());
  const AviFile f = parseAvi(file->bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  expectFrames(file->bytes, f, 9, 9, seeds);
}

}  // namespace
}  // namespace ks
