// The product's readers against movies the product's own writer and ZMBV
// encoder made: every frame and sound chunk comes back as written, in order
// and by seeking; and broken files give the message that names the fault.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <tuple>

#include "avi_reader.h"
#include "command_output.h"
#include "media/avi_movie_reader.h"
#include "media/avi_trim.h"
#include "media/avi_writer.h"
#include "media/movie_pictures.h"
#include "media/zmbv_encoder.h"
#include "memory_sink.h"
#include "screen_clips.h"
#include "test_files.h"
#include "test_pictures.h"

namespace ks {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Written {
  Bytes file;
  std::vector<Bytes> pictures, sounds;  // what a reader must give back
  std::vector<bool> keys;
  int riffs = 0;
};

struct MovieCase {
  const char* name;
  bool zmbv;
  clips::Clip clip;
  std::int32_t width, height;
  int frames;
  bool sound = false;
  bool repeats = false;           // every fourth frame a zero-size chunk, the next the same picture again
  std::uint64_t riffLimit = 0;    // small: 'AVIX' RIFFs
  bool cutOff = false;            // the recording is killed: no indexes, the last chunk cut short
  bool onDisk = false;
  std::uint32_t soundPerFrame = 0;  // sample frames a frame, about; 0: a few dozen
};

Written writeMovie(const MovieCase& c) {
  AviWriterOptions opt;
  opt.clock = [] { return std::chrono::steady_clock::time_point{}; };  // no checkpoints
  if (c.riffLimit) opt.riffLimit = c.riffLimit, opt.superIndexCapacity = 64;
  auto file = std::make_shared<test::MemoryFile>();
  AviWriter writer(opt);
  const BitmapInfoHeader format = c.zmbv ? zmbvFrameFormat(c.width, c.height) : makeFrameFormat(c.width, c.height);
  EXPECT_TRUE(writer.open(test::memorySink(file), format, 30, c.sound ? std::optional(WaveFormat{}) : std::nullopt));
  ZmbvEncoder encoder(c.width, c.height, ZmbvOptions{.keyInterval = 5});
  clips::ClipPlayer player(c.clip, c.width, c.height);
  Written w;
  for (int i = 0; i < c.frames; ++i) {
    if (c.sound) {
      w.sounds.push_back(test::makeSound(c.soundPerFrame ? c.soundPerFrame - 9 + 9 * (i % 3) : 37 + i % 3, i));
      EXPECT_TRUE(writer.writeSound(w.sounds.back().data(), static_cast<std::uint32_t>(w.sounds.back().size())));
    }
    if (c.repeats && i % 4 == 2) {
      EXPECT_TRUE(writer.writeFrame(nullptr, 0, !c.zmbv));
      w.pictures.push_back(w.pictures.back());
      w.keys.push_back(!c.zmbv);
      continue;
    }
    const Bytes& picture = player.frame(c.repeats && i % 4 == 3 ? i - 2 : i);
    const ZmbvChunk chunk = c.zmbv ? encoder.encode(picture.data()) : ZmbvChunk{picture, true};
    EXPECT_TRUE(writer.writeFrame(chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()), chunk.keyFrame));
    w.pictures.push_back(picture);
    w.keys.push_back(chunk.keyFrame);
  }
  w.riffs = writer.riffCount();
  if (c.cutOff) {
    w.file = file->bytes;
    w.file.resize(w.file.size() - 3);
    w.pictures.pop_back();
    w.keys.pop_back();
    return w;
  }
  EXPECT_TRUE(writer.close());
  w.file = file->bytes;
  return w;
}

std::unique_ptr<ByteSource> sourceOf(Bytes bytes) { return std::make_unique<MemoryByteSource>(std::move(bytes)); }

class MovieReaderTest : public ::testing::TestWithParam<MovieCase> {};

TEST_P(MovieReaderTest, GivesBackEveryPictureAndSoundChunkWritten) {
  const MovieCase c = GetParam();
  const Written w = writeMovie(c);
  ASSERT_GE(w.riffs, c.riffLimit ? 3 : 1) << "a case with a RIFF limit is meant to make 'AVIX' RIFFs";
  test::TempDir dir;
  std::unique_ptr<ByteSource> source = sourceOf(w.file);
  if (c.onDisk) {
    const std::string path = dir.file("movie.avi");
    std::ofstream(test::pathFromUtf8(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(w.file.data()), static_cast<std::streamsize>(w.file.size()));
    auto opened = openByteFile(path);
    ASSERT_TRUE(opened) << opened.error();
    source = std::move(opened.value());
  }
  auto reader = AviMovieReader::open(std::move(source));
  ASSERT_TRUE(reader) << reader.error();
  AviMovieReader& movie = reader.value();
  const AviPictureStream& p = movie.picture();
  EXPECT_EQ(std::tie(p.width, p.height), std::tie(c.width, c.height));
  EXPECT_EQ(std::tie(p.scale, p.rate), std::tuple(1u, 30u));
  EXPECT_EQ(p.codec, c.zmbv ? PictureCodec::Zmbv : PictureCodec::Uncompressed);
  EXPECT_EQ(p.strh.size(), 56u);
  EXPECT_EQ(p.strf.size(), 40u);
  EXPECT_EQ(movie.recovered(), c.cutOff);
  ASSERT_EQ(p.frames.size(), w.pictures.size());
  for (std::size_t i = 0; i < w.keys.size(); ++i) EXPECT_EQ(p.frames[i].keyFrame, w.keys[i]) << "frame " << i;

  ASSERT_EQ(movie.sound().has_value(), c.sound);
  if (c.sound) {
    EXPECT_EQ(movie.sound()->format, WaveFormat{});
    ASSERT_EQ(movie.sound()->chunks.size(), w.sounds.size());
    Bytes chunk;
    for (std::size_t i = 0; i < w.sounds.size(); ++i) {
      ASSERT_TRUE(movie.readChunk(movie.sound()->chunks[i], chunk)) << i;
      EXPECT_EQ(chunk, w.sounds[i]) << "sound chunk " << i;
    }
  }

  auto pictures = MoviePictures::open(movie);
  ASSERT_TRUE(pictures) << pictures.error();
  for (std::size_t i = 0; i < w.pictures.size(); ++i) {
    const ReadStatus s = pictures.value().seek(i);
    ASSERT_TRUE(s) << "frame " << i << ": " << s.error();
    ASSERT_EQ(pictures.value().picture(), w.pictures[i]) << "frame " << i << " in order";
  }
  std::mt19937 random(7);
  for (int n = 0; n < 25; ++n) {
    const std::size_t i = random() % w.pictures.size();
    const ReadStatus s = pictures.value().seek(i);
    ASSERT_TRUE(s) << "frame " << i << ": " << s.error();
    ASSERT_EQ(pictures.value().picture(), w.pictures[i]) << "frame " << i << " by seeking";
  }
}

using clips::Clip;
INSTANTIATE_TEST_SUITE_P(
    Movies, MovieReaderTest,
    ::testing::Values(MovieCase{"raw", false, Clip::Editor, 33, 7, 6},
                      MovieCase{"raw_sound_repeats", false, Clip::Editor, 20, 9, 11, true, true},
                      MovieCase{"raw_avix_sound", false, Clip::Scroll, 64, 16, 30, true, false, 16384},
                      MovieCase{"raw_cut", false, Clip::Editor, 17, 5, 9, true, true, 0, true},
                      MovieCase{"raw_avix_cut_on_disk", false, Clip::Scroll, 64, 16, 30, true, false, 16384, true, true},
                      MovieCase{"zmbv_scroll", true, Clip::Scroll, 160, 90, 17},
                      MovieCase{"zmbv_video_sound_repeats", true, Clip::Video, 101, 37, 19, true, true},
                      MovieCase{"zmbv_avix", true, Clip::Video, 96, 64, 40, false, false, 20000},
                      MovieCase{"zmbv_cut", true, Clip::Scroll, 120, 40, 13, true, true, 0, true},
                      MovieCase{"zmbv_avix_sound_cut", true, Clip::Video, 96, 64, 40, true, true, 20000, true},
                      MovieCase{"zmbv_on_disk", true, Clip::Interface, 200, 120, 8, true, false, 0, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- trimming ----------------------------------------------------------------

struct TrimCase {
  const char* name;
  MovieCase movie;
  std::int64_t first, last;
};

class AviTrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(AviTrimTest, KeepsTheFramesAndTheSoundOfTheSpanExactly) {
  const TrimCase c = GetParam();
  const Written w = writeMovie(c.movie);
  auto source = AviMovieReader::open(sourceOf(w.file));
  ASSERT_TRUE(source) << source.error();
  auto file = std::make_shared<test::MemoryFile>();
  std::uint64_t lastDone = 0, total = 0;
  const TrimOutcome outcome = trimAvi(source.value(), c.first, c.last, test::memorySink(file),
                                      [&](std::uint64_t done, std::uint64_t all) {
                                        EXPECT_GE(done, lastDone);
                                        lastDone = done, total = all;
                                        return true;
                                      });
  ASSERT_TRUE(outcome.ok()) << outcome.detail;
  EXPECT_EQ(lastDone, total);
  EXPECT_EQ(outcome.frames, c.last - c.first + 1);

  auto trimmed = AviMovieReader::open(sourceOf(file->bytes));
  ASSERT_TRUE(trimmed) << trimmed.error();
  const AviPictureStream& p = trimmed.value().picture();
  EXPECT_EQ(p.codec, c.movie.zmbv ? PictureCodec::Zmbv : PictureCodec::Uncompressed);
  EXPECT_EQ(std::tie(p.scale, p.rate), std::tuple(1u, 30u));
  ASSERT_EQ(static_cast<std::int64_t>(p.frames.size()), c.last - c.first + 1);
  EXPECT_TRUE(p.frames.front().keyFrame && p.frames.front().size > 0) << "it starts with a whole picture";
  auto pictures = MoviePictures::open(trimmed.value());
  ASSERT_TRUE(pictures) << pictures.error();
  for (std::int64_t i = c.first; i <= c.last; ++i) {
    const ReadStatus s = pictures.value().seek(static_cast<std::size_t>(i - c.first));
    ASSERT_TRUE(s) << "frame " << i << ": " << s.error();
    ASSERT_EQ(pictures.value().picture(), w.pictures[static_cast<std::size_t>(i)]) << "source frame " << i;
  }

  // From the source's first key frame after the start on, chunks are copied.
  const std::vector<AviChunkRef>& from = source.value().picture().frames;
  bool copying = !c.movie.zmbv;
  Bytes a, b;
  for (std::int64_t i = c.first + 1; i <= c.last; ++i) {
    const AviChunkRef& ref = from[static_cast<std::size_t>(i)];
    copying = copying || (ref.keyFrame && ref.size > 0);
    if (!copying) continue;
    ASSERT_TRUE(source.value().readChunk(ref, a));
    ASSERT_TRUE(trimmed.value().readChunk(p.frames[static_cast<std::size_t>(i - c.first)], b));
    EXPECT_EQ(a, b) << "frame " << i << " is not a copy";
  }

  // The sound of the span's time, to the sample: sample 0 is at frame 0.
  Bytes all, kept;
  for (const Bytes& b : w.sounds) all.insert(all.end(), b.begin(), b.end());
  if (c.movie.cutOff) all.clear();  // what the reader found is the source here
  if (c.movie.cutOff && source.value().sound())
    for (const AviChunkRef& ref : source.value().sound()->chunks) {
      Bytes chunk;
      ASSERT_TRUE(source.value().readChunk(ref, chunk));
      all.insert(all.end(), chunk.begin(), chunk.end());
    }
  ASSERT_EQ(trimmed.value().sound().has_value(), c.movie.sound);
  if (c.movie.sound) {
    for (const AviChunkRef& ref : trimmed.value().sound()->chunks) {
      Bytes chunk;
      ASSERT_TRUE(trimmed.value().readChunk(ref, chunk));
      kept.insert(kept.end(), chunk.begin(), chunk.end());
    }
    const std::size_t from = std::min<std::size_t>(4 * soundFrameAt(c.first, 30, 1, 48000), all.size());
    const std::size_t to = std::min<std::size_t>(4 * soundFrameAt(c.last + 1, 30, 1, 48000), all.size());
    EXPECT_EQ(kept, Bytes(all.begin() + static_cast<std::ptrdiff_t>(from), all.begin() + static_cast<std::ptrdiff_t>(to)));
    EXPECT_EQ(outcome.soundFrames, (to - from) / 4);
  }

  // Both indexes agree with the chunks, and ffmpeg reads it without a word.
  std::vector<bool> keys;
  for (const AviChunkRef& f : p.frames) keys.push_back(f.keyFrame);
  const test::AviFile parsed = test::parseAvi(file->bytes);
  EXPECT_TRUE(parsed.problems.empty()) << test::joined(parsed.problems);
  const auto problems = test::checkIndexes(parsed, true, keys);
  EXPECT_TRUE(problems.empty()) << test::joined(problems);
  test::TempDir dir;
  const std::string path = dir.file("trimmed.avi");
  std::ofstream(test::pathFromUtf8(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(file->bytes.data()), static_cast<std::streamsize>(file->bytes.size()));
  EXPECT_EQ(test::commandOutput("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1"), "");
}

// The movies of the reader's table, with sound of about 1600 sample frames a
// frame (48 kHz at 30 fps) so that the cuts fall inside chunks.
MovieCase withSound(MovieCase m) {
  m.soundPerFrame = 1600;
  return m;
}

INSTANTIATE_TEST_SUITE_P(
    Spans, AviTrimTest,
    ::testing::Values(
        TrimCase{"raw_all", MovieCase{"", false, Clip::Editor, 33, 7, 6}, 0, 5},
        TrimCase{"raw_sound_from_a_repeat", withSound({"", false, Clip::Editor, 20, 9, 11, true, true}), 2, 8},
        TrimCase{"raw_avix_sound_middle", withSound({"", false, Clip::Scroll, 64, 16, 30, true, false, 16384}), 7, 23},
        TrimCase{"raw_cut_off_to_the_end", withSound({"", false, Clip::Editor, 17, 5, 9, true, true, 0, true}), 3, 7},
        TrimCase{"zmbv_one_frame", MovieCase{"", true, Clip::Scroll, 160, 90, 17}, 8, 8},
        TrimCase{"zmbv_from_after_a_key", MovieCase{"", true, Clip::Scroll, 160, 90, 17}, 6, 16},
        TrimCase{"zmbv_from_a_repeat_with_sound", withSound({"", true, Clip::Video, 101, 37, 19, true, true}), 2, 17},
        TrimCase{"zmbv_avix_on_a_key", MovieCase{"", true, Clip::Video, 96, 64, 40, false, false, 20000}, 10, 39},
        TrimCase{"zmbv_avix_sound_cut_off", withSound({"", true, Clip::Video, 96, 64, 40, true, true, 20000, true}), 1,
                 38}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AviTrim, RefusesSpansOutsideTheMovieAndStopsWhenCancelled) {
  const Written w = writeMovie(MovieCase{"", true, Clip::Scroll, 64, 32, 10});
  auto source = AviMovieReader::open(sourceOf(w.file));
  ASSERT_TRUE(source) << source.error();
  for (const auto& [first, last] : {std::pair{-1, 3}, {4, 3}, {0, 10}}) {
    const TrimOutcome o = trimAvi(source.value(), first, last, test::memorySink(std::make_shared<test::MemoryFile>()));
    EXPECT_EQ(o.kind, TrimOutcome::Kind::Refused) << first << ".." << last;
  }
  int calls = 0;
  const TrimOutcome o = trimAvi(source.value(), 0, 9, test::memorySink(std::make_shared<test::MemoryFile>()),
                                [&](std::uint64_t, std::uint64_t) { return ++calls < 3; });
  EXPECT_EQ(o.kind, TrimOutcome::Kind::Cancelled);
  EXPECT_EQ(calls, 3);
}

// ---- broken files ------------------------------------------------------------

// The first error reading the whole movie gives, or "" when it reads.
std::string firstError(Bytes bytes) {
  auto reader = AviMovieReader::open(sourceOf(std::move(bytes)));
  if (!reader) return reader.error();
  Bytes chunk;
  if (const auto& sound = reader.value().sound())
    for (const AviChunkRef& c : sound->chunks)
      if (ReadStatus s = reader.value().readChunk(c, chunk); !s) return s.error();
  auto pictures = MoviePictures::open(reader.value());
  if (!pictures) return pictures.error();
  for (std::size_t i = 0; i < pictures.value().frameCount(); ++i)
    if (ReadStatus s = pictures.value().seek(i); !s) return s.error();
  return "";
}

Bytes goodMovie(bool zmbv) {
  return writeMovie({"", zmbv, Clip::Video, 24, 10, 6, true}).file;
}

std::size_t find(const Bytes& b, const char* tag, std::size_t from = 0) {
  const auto at = std::search(b.begin() + static_cast<std::ptrdiff_t>(from), b.end(), tag, tag + 4);
  EXPECT_NE(at, b.end()) << tag;
  return static_cast<std::size_t>(at - b.begin());
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | b.at(at + i);
  return v;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 16x16 ZMBV movie of a key frame whose header and pixel bytes are given,
// and an inter frame of the payload given, in one zlib stream.
Bytes handMadeZmbv(std::vector<std::uint8_t> keyHeader, std::size_t keyBytes, Bytes interPayload) {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, 6), Z_OK);
  auto deflated = [&z](Bytes chunk, Bytes payload) {
    chunk.resize(chunk.size() + payload.size() + 64);
    const std::size_t head = chunk.size() - payload.size() - 64;
    z.next_in = payload.data(), z.avail_in = static_cast<uInt>(payload.size());
    z.next_out = chunk.data() + head, z.avail_out = static_cast<uInt>(payload.size() + 64);
    EXPECT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
    chunk.resize(chunk.size() - z.avail_out);
    return chunk;
  };
  const Bytes key = deflated(keyHeader, Bytes(keyBytes, 0x55));
  const Bytes inter = deflated({0}, interPayload);
  deflateEnd(&z);
  auto file = std::make_shared<test::MemoryFile>();
  AviWriter writer;
  EXPECT_TRUE(writer.open(test::memorySink(file), zmbvFrameFormat(16, 16), 30));
  EXPECT_TRUE(writer.writeFrame(key.data(), static_cast<std::uint32_t>(key.size()), true));
  EXPECT_TRUE(writer.writeFrame(inter.data(), static_cast<std::uint32_t>(inter.size()), false));
  EXPECT_TRUE(writer.close());
  return file->bytes;
}

const Bytes kKeyHeader = {1, 0, 1, 1, 8, 8, 8};  // key, version 0.1, zlib, 32-bit, 8x8 blocks
constexpr std::size_t kKeyBytes = 16 * 16 * 4;

struct BrokenCase {
  const char* name;
  std::function<Bytes()> make;
  const char* error;  // a part of the message; "" when the file reads
};

class BrokenFileTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFileTest, SaysWhatIsWrong) {
  const std::string error = firstError(GetParam().make());
  if (*GetParam().error == '\0') {
    EXPECT_EQ(error, "");
  } else {
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << "the message: " << error;
  }
}

// A closed movie cut anywhere before its last index loses what its super
// index points at; cut inside the idx1 after them, it still reads whole.
TEST(BrokenFile, CutAnywhereSaysSoOrReadsWhole) {
  const Bytes good = goodMovie(true);
  const std::size_t idx1 = find(good, "idx1");
  for (std::size_t cut = 0; cut < good.size(); cut += 1 + cut / 16) {
    const std::string error = firstError(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    if (cut >= idx1) {
      EXPECT_EQ(error, "") << "cut at " << cut;
    } else {
      EXPECT_TRUE(error.starts_with("the file is damaged: ") || error == "not an AVI file")
          << "cut at " << cut << ": " << error;
    }
  }
}

// Applies `breakIt` to a good movie.
std::function<Bytes()> broken(bool zmbv, std::function<void(Bytes&)> breakIt) {
  return [=] {
    Bytes b = goodMovie(zmbv);
    breakIt(b);
    return b;
  };
}

const std::size_t kStrfData = 8, kIxEntries = 32;  // from a chunk's tag

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFileTest,
    ::testing::Values(
        BrokenCase{"empty", broken(false, [](Bytes& b) { b.clear(); }), "not an AVI file"},
        BrokenCase{"wave_file", broken(false, [](Bytes& b) { put32(b, 8, fourCC('W', 'A', 'V', 'E')); }), "not an AVI file"},
        BrokenCase{"cut_in_headers", broken(false, [](Bytes& b) { b.resize(300); }), "ends inside its headers"},
        BrokenCase{"cut_in_frames", broken(false, [](Bytes& b) { b.resize(find(b, "ix00") - 100); }), "points outside the file"},
        BrokenCase{"cut_in_index", broken(false, [](Bytes& b) { b.resize(find(b, "ix00") + 40); }), "points outside the file"},
        BrokenCase{"huge_width", broken(false, [](Bytes& b) { put32(b, find(b, "strf") + kStrfData + 4, 100000); }),
                   "larger than the 16384 x 16384"},
        BrokenCase{"no_height", broken(false, [](Bytes& b) { put32(b, find(b, "strf") + kStrfData + 8, 0); }),
                   "the picture is 24 x 0 pixels"},
        BrokenCase{"h264", broken(false, [](Bytes& b) { put32(b, find(b, "strf") + kStrfData + 16, fourCC('H', '2', '6', '4')); }),
                   "the picture codec 'H264' is not one kestrascope reads"},
        BrokenCase{"super_index_count", broken(false, [](Bytes& b) { put32(b, find(b, "indx") + 12, 0xFFFFFFF0u); }),
                   "lists 4294967280 indexes in room for"},
        BrokenCase{"super_index_offset", broken(false, [](Bytes& b) { put32(b, find(b, "indx") + 36, 7); }),
                   "points outside the file"},
        BrokenCase{"standard_index_count", broken(false, [](Bytes& b) { put32(b, find(b, "ix00") + 12, 0x7FFFFFFF); }),
                   "a standard index lists 2147483647 chunks in room for 6"},
        BrokenCase{"entry_outside", broken(false, [](Bytes& b) { put32(b, find(b, "ix00") + kIxEntries, 0xFFFFFFF0u); }),
                   "points outside the file"},
        BrokenCase{"frame_size", broken(false, [](Bytes& b) { put32(b, find(b, "ix00") + kIxEntries + 4, 5); }),
                   "frame 0 is 5 bytes where a picture is 720"},
        BrokenCase{"entry_off_its_chunk", broken(false, [](Bytes& b) {
                     const std::size_t last = find(b, "ix00") + kIxEntries + 5 * 8;
                     put32(b, last, get32(b, last) + 2);
                   }), "the index does not point at a chunk"},
        BrokenCase{"sound_part_sample", broken(false, [](Bytes& b) { put32(b, find(b, "ix01") + kIxEntries + 4, 3); }),
                   "holds part of a sample"},
        BrokenCase{"idx1_only", broken(true, [](Bytes& b) { put32(b, find(b, "indx"), fourCC('J', 'U', 'N', 'K')); }), ""},
        BrokenCase{"idx1_outside", broken(false, [](Bytes& b) {
                     put32(b, find(b, "indx"), fourCC('J', 'U', 'N', 'K'));
                     put32(b, find(b, "idx1") + 32, 0x7FFFFFF0);  // frame 0, after sound chunk 0
                   }), "points outside the file"},
        BrokenCase{"no_inflate", broken(true, [](Bytes& b) { b[find(b, "00dc", find(b, "movi")) + 8 + 7] ^= 0xFF; }),
                   "does not inflate (zlib: "},
        BrokenCase{"hand_made_good", [] { return handMadeZmbv(kKeyHeader, kKeyBytes, {16, 0, 0, 0, 0, 0xF0, 0xF0, 0xF0}); }, ""},
        BrokenCase{"vector_outside", [] { return handMadeZmbv(kKeyHeader, kKeyBytes, {0xF0, 0, 0, 0, 0, 0, 0, 0}); },
                   "block vector points outside the picture"},
        BrokenCase{"key_short", [] { return handMadeZmbv(kKeyHeader, kKeyBytes - 4, Bytes(8)); },
                   "holds 1020 bytes of pixels where 1024 are needed"},
        BrokenCase{"vectors_short", [] { return handMadeZmbv(kKeyHeader, kKeyBytes, Bytes(6)); }, "fewer bytes than its blocks need"},
        BrokenCase{"residue_short", [] { return handMadeZmbv(kKeyHeader, kKeyBytes, {1, 0, 0, 0, 0, 0, 0, 0, 9}); },
                   "fewer bytes than its blocks need"},
        BrokenCase{"zmbv_version", [] { return handMadeZmbv({1, 0, 2, 1, 8, 8, 8}, kKeyBytes, Bytes(8)); },
                   "ZMBV version 0.2 is not one kestrascope reads"},
        BrokenCase{"zmbv_24_bit", [] { return handMadeZmbv({1, 0, 1, 1, 7, 8, 8}, kKeyBytes, Bytes(8)); },
                   "ZMBV pictures of 24 bits a pixel are not ones kestrascope reads"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ks
