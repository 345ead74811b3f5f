// GifReader against ffmpeg on our own movies and against hand-drawn
// canvases on a file using every disposal; damaged files; trimGif's cuts
// read back frame by frame.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>

#include "gif_files.h"
#include "media/gif_lzw.h"
#include "media/gif_reader.h"
#include "media/gif_trim.h"
#include "memory_sink.h"
#include "test_files.h"

namespace ks {
namespace {

using namespace test::gifs;
using Bytes = std::vector<std::uint8_t>;

Bytes recorded(const std::vector<Picture>& pictures, std::int32_t w, std::int32_t h) {
  auto file = std::make_shared<test::MemoryFile>();
  EXPECT_TRUE(recordGif(test::memorySink(file), w, h, 30, pictures).closed);
  return file->bytes;
}

std::string saved(const test::TempDir& dir, const Bytes& bytes) {
  const std::string path = dir.file("movie.gif");
  std::ofstream(test::pathFromUtf8(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

bool same(const GifCanvas& a, const GifCanvas& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(pixels::Bgra)) == 0;
}

// A reader of bytes it keeps.
struct Opened {
  explicit Opened(Bytes b) : bytes(std::move(b)), source(bytes), ok(reader.open(source)) {}
  Opened(const Opened&) = delete;
  Bytes bytes;
  MemorySource source;
  GifReader reader;
  bool ok;
};

struct RoundTrip {
  std::string name;
  clips::Clip clip;
  std::int32_t w, h;
  int count, times;  // pictures, each given `times` times
  bool exact;        // no frame over 256 colours
};

const RoundTrip kRoundTrips[] = {
    {"Editor_160x90_Twice", clips::Clip::Editor, 160, 90, 12, 2, true},
    {"Scroll_161x75", clips::Clip::Scroll, 161, 75, 70, 1, true},
    {"Interface_240x135", clips::Clip::Interface, 240, 135, 70, 1, true},
    {"Video_160x90", clips::Clip::Video, 160, 90, 40, 1, false},
    {"Still_64x36", clips::Clip::Editor, 64, 36, 1, 5, true},
};

class GifReadTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(GifReadTest, FramesAreFfmpegsAndThePicturesGiven) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const RoundTrip& c = GetParam();
  std::vector<Picture> pictures;
  for (const Picture& p : clip(c.clip, c.w, c.h, c.count)) pictures.insert(pictures.end(), c.times, p);
  test::TempDir dir;
  const std::string path = saved(dir, recorded(pictures, c.w, c.h));
  Bytes bytes;
  std::string error;
  ASSERT_TRUE(readGifFile(path, bytes, error)) << error;
  Opened o{bytes};
  GifReader& reader = o.reader;
  ASSERT_TRUE(o.ok) << reader.error();
  EXPECT_FALSE(reader.cutOff());
  EXPECT_EQ(reader.loopCount(), 0);
  const std::vector<std::string> ffmpeg = decode(path, c.w, c.h);
  ASSERT_EQ(reader.frames().size(), ffmpeg.size());
  std::vector<std::string> given;
  for (const Picture& p : pictures)
    if (given.empty() || asBgr24(p, c.w, c.h) != given.back()) given.push_back(asBgr24(p, c.w, c.h));
  for (std::size_t i = 0; i < ffmpeg.size(); ++i) {
    const GifCanvas* canvas = reader.decode(i);
    ASSERT_NE(canvas, nullptr) << reader.error();
    const std::string shown = asBgr24(toDib(*canvas, c.w, c.h), c.w, c.h);
    EXPECT_TRUE(shown == ffmpeg[i]) << "frame " << i;
    EXPECT_TRUE(!c.exact || shown == given.at(i)) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, GifReadTest, ::testing::ValuesIn(kRoundTrips), [](const auto& i) { return i.param.name; });

// A 4x1 GIF drawn from a global table of black, red, green and blue.
struct Image {
  std::int32_t x, w;
  GifDisposal disposal;
  int transparent;
  std::vector<std::uint8_t> indices;
};
Bytes madeGif(const std::vector<Image>& images) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 1, 0, 0x81, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  for (const Image& i : images) {
    const Bytes head = {0x21, 0xF9, 4, static_cast<std::uint8_t>(int(i.disposal) << 2 | (i.transparent >= 0)), 7, 0,
                        static_cast<std::uint8_t>(std::max(i.transparent, 0)), 0, 0x2C, static_cast<std::uint8_t>(i.x), 0,
                        0, 0, static_cast<std::uint8_t>(i.w), 0, 1, 0, 0};
    b.insert(b.end(), head.begin(), head.end());
    appendGifImageData(i.indices, 2, b);
  }
  b.push_back(0x3B);
  return b;
}
const std::vector<Image> kSixImages = {{0, 4, GifDisposal::Keep, -1, {1, 1, 1, 1}},
                                       {1, 2, GifDisposal::Previous, -1, {2, 2}},
                                       {2, 2, GifDisposal::Background, 0, {3, 0}},
                                       {0, 2, GifDisposal::Keep, 0, {0, 2}},
                                       {3, 1, GifDisposal::Previous, -1, {3}},
                                       {0, 4, GifDisposal::Keep, 0, {0, 3, 0, 0}}};
const Bytes kDisposals = madeGif(kSixImages);

std::string letters(const GifCanvas& c) {
  std::string s;
  for (const pixels::Bgra& p : c) s += !p.a ? '.' : p.r ? 'R' : p.g ? 'G' : p.b ? 'B' : 'K';
  return s;
}

TEST(GifDisposalTest, EachFrameShowsWhatItsDisposalsLeave) {
  // Four green frames, then eleven times over: seeks start from saved
  // canvases, frames 30 and 60, which clear what they drew over a pixel
  // they left.
  std::vector<Image> images(4, {0, 4, GifDisposal::Keep, -1, {2, 2, 2, 2}});
  for (int i = 0; i < 11; ++i) images.insert(images.end(), kSixImages.begin(), kSixImages.end());
  Opened o{madeGif(images)};
  ASSERT_TRUE(o.ok) << o.reader.error();
  const std::string expected[] = {"RRRR", "RGGR", "RRBR", "RG..", "RG.B", "RB.."};
  ASSERT_EQ(o.reader.frames().size(), 70u);
  std::vector<std::size_t> order(70);
  std::iota(order.begin(), order.end(), 0);
  order.insert(order.end(), {69, 2, 31, 30, 61, 59, 29, 60, 0, 4, 33, 64});
  for (const std::size_t i : order) EXPECT_EQ(letters(*o.reader.decode(i)), i < 4 ? "GGGG" : expected[(i - 4) % 6]) << i;
}

TEST(GifDisposalTest, InterlacedRowsComeInFourPasses) {
  // The 4x1 file as 1x4 interlaced: rows 0, 2, then 1 and 3.
  Bytes b = madeGif({{0, 4, GifDisposal::Keep, -1, {1, 2, 3, 0}}});
  b[6] = 1, b[8] = 4, b[38] = 1, b[40] = 4, b[42] = 0x40;
  Opened o{b};
  ASSERT_TRUE(o.ok) << o.reader.error();
  EXPECT_EQ(letters(*o.reader.decode(0)), "RBGK");
}

// A small movie of ours, 8x6 in three greys (LZW codes of 3 bits first): a
// whole frame, then two of one pixel.
Bytes smallMovie() {
  std::vector<Picture> v(3, Picture(std::size_t{dibStride(8)} * 6, 0));
  for (std::size_t y = 0; y < 6; ++y)
    for (std::size_t x = 0; x < 24; ++x) v[0][dibStride(8) * y + x] = static_cast<std::uint8_t>((x / 3 + y) % 3 * 0x7F);
  v[1] = v[2] = v[0];
  std::fill_n(v[1].begin() + 30, 3, 0xFE);
  std::fill_n(v[2].begin() + 3, 3, 0x7F);
  return recorded(v, 8, 6);
}

std::size_t descriptorAt(const GifFrameInfo& f) { return f.dataAt - 3 * f.localPalette.size() - 10; }
void put16(Bytes& b, std::size_t at, int v) { b[at] = std::uint8_t(v), b[at + 1] = std::uint8_t(v >> 8); }

struct Damage {
  std::string name;
  std::function<void(Bytes&, const std::vector<GifFrameInfo>&)> harm;
  std::string error;   // a part of the message; empty: it opens
  std::size_t frames = 0;  // then the whole frames read
};

const Damage kDamages[] = {
    {"NotAGif", [](Bytes& b, auto&) { b[1] = 'X'; }, "not a GIF file"},
    {"EndsInHeader", [](Bytes& b, auto&) { b.resize(11); }, "damaged: it ends inside its header"},
    {"CutInFirstFrame", [](Bytes& b, auto& f) { b.resize(f[0].end - 1); }, "ends before its first whole frame"},
    {"CutInSecondFramesData", [](Bytes& b, auto& f) { b.resize(f[1].dataAt + 2); }, "", 1},
    {"CutInThirdFramesControl", [](Bytes& b, auto& f) { b.resize(f[2].begin + 3); }, "", 2},
    {"NoTrailer", [](Bytes& b, auto& f) { b.resize(f[2].end); }, "", 3},
    {"ControlBlockOf5", [](Bytes& b, auto& f) { b[f[1].begin + 2] = 5; }, "control block is 5 bytes long, not 4"},
    {"ControlUnterminated", [](Bytes& b, auto& f) { b[f[1].begin + 7] = 1; }, "control block has no terminator"},
    {"CodeSize12", [](Bytes& b, auto& f) { b[f[1].dataAt] = 12; }, "frame 2 has an LZW code size of 12"},
    {"CodeSize1", [](Bytes& b, auto& f) { b[f[0].dataAt] = 1; }, "frame 1 has an LZW code size of 1"},
    // A clear code, then 7 where 6 is the highest known.
    {"CodeOutOfRange", [](Bytes& b, auto& f) { b[f[0].dataAt + 2] = 0x3C; }, "frame 1's image data has a code out of range"},
    {"DataPastFrame", [](Bytes& b, auto& f) { put16(b, descriptorAt(f[0]) + 7, 5); }, "frame 1's image data runs past"},
    {"DataShort", [](Bytes& b, auto& f) { put16(b, 8, 7), put16(b, descriptorAt(f[0]) + 7, 7); }, "ends after 48 of its 56"},
    {"HugeScreen", [](Bytes& b, auto&) { put16(b, 6, 20000); }, "20000x6 pixels; GIFs up to 16384 pixels a side"},
    {"EmptyScreen", [](Bytes& b, auto&) { put16(b, 8, 0); }, "its picture has no size"},
    {"FrameOutside", [](Bytes& b, auto& f) { put16(b, descriptorAt(f[1]) + 1, 8); }, "lies outside the 8x6 picture"},
    {"EmptyFrame", [](Bytes& b, auto& f) { put16(b, descriptorAt(f[1]) + 5, 0); }, "frame 2 has no size"},
    {"NoColourTable", [](Bytes& b, auto& f) { b[descriptorAt(f[0]) + 9] &= 0x7F; }, "frame 1 has no colour table"},
    {"UnknownBlock", [](Bytes& b, auto& f) { b[f[2].end] = 0x99; }, "unknown block (byte "},
};

class GifDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(GifDamageTest, GivesItsMessageOrTheWholeFrames) {
  const Damage& d = GetParam();
  const Opened good{smallMovie()};
  ASSERT_TRUE(good.ok && good.reader.frames().size() == 3 && good.bytes[good.reader.frames()[0].dataAt] == 2);
  Bytes bytes = good.bytes;
  d.harm(bytes, good.reader.frames());
  Opened o{bytes};
  GifReader& reader = o.reader;
  bool ok = o.ok;
  for (std::size_t i = 0; ok && i < reader.frames().size(); ++i) ok = reader.decode(i) != nullptr;
  if (!d.error.empty()) {
    ASSERT_FALSE(ok);
    EXPECT_NE(reader.error().find(d.error), std::string::npos) << reader.error();
    return;
  }
  ASSERT_TRUE(ok) << reader.error();
  EXPECT_TRUE(reader.cutOff());
  EXPECT_EQ(reader.frames().size(), d.frames);
}

INSTANTIATE_TEST_SUITE_P(Files, GifDamageTest, ::testing::ValuesIn(kDamages), [](const auto& i) { return i.param.name; });

struct Cut {
  std::string name;
  std::function<Bytes()> source;
  std::size_t first, last;
  std::size_t rewritten;  // source frames written again; the rest are copied
  bool pieces;            // the first comes in several images
};

Bytes scrollMovie() { return recorded(clip(clips::Clip::Scroll, 161, 75, 70), 161, 75); }  // 70 frames
Bytes videoMovie() { return recorded(clip(clips::Clip::Video, 160, 90, 12), 160, 90); }
// 16x32: 200 colours in the top half, then 200 others under them that
// their disposal clears, then a pixel at the top: the second canvas needs
// two images, and the first holds colours of both halves.
Bytes halvesMovie() {
  std::vector<Picture> v(3, Picture(std::size_t{dibStride(16)} * 32, 0));
  for (std::uint32_t i = 0; i < 512; ++i)
    for (int k = 0; k < 3; ++k) {
      const std::uint32_t c = 0x010305u * (i < 256 ? i % 200 : 200 + (i - 256) % 200);
      v[0][dibStride(16) * (31 - i / 16) + 3 * (i % 16) + k] = i < 256 ? std::uint8_t(c >> 8 * k) : 0;
      v[1][dibStride(16) * (31 - i / 16) + 3 * (i % 16) + k] = v[2][dibStride(16) * (31 - i / 16) + 3 * (i % 16) + k] =
          std::uint8_t(c >> 8 * k);
    }
  std::fill_n(v[2].begin() + dibStride(16) * 31, 3, 0xFF);
  Opened o{recorded(v, 16, 32)};
  std::uint8_t& packed = o.bytes.at(o.reader.frames().at(1).begin + 3);  // of the control block our frames start with
  packed = static_cast<std::uint8_t>((packed & ~0x1C) | 2 << 2);        // keep becomes background
  return o.bytes;
}

const Cut kCuts[] = {
    {"All", scrollMovie, 0, 69, 1, false},
    {"FirstOnly", scrollMovie, 0, 0, 1, false},
    {"LastOnly", scrollMovie, 69, 69, 1, false},
    {"AcrossSavedCanvases", scrollMovie, 25, 64, 1, false},
    {"ManyColours", videoMovie, 6, 11, 1, true},
    {"ManyColoursCleared", halvesMovie, 1, 2, 2, true},
    {"AtRestorePrevious", [] { return kDisposals; }, 1, 5, 3, false},
    {"AtBackground", [] { return kDisposals; }, 2, 4, 2, false},
    {"AfterBackground", [] { return kDisposals; }, 3, 5, 1, false},
    {"OneRestorePrevious", [] { return kDisposals; }, 4, 4, 1, false},
};

class GifTrimTest : public ::testing::TestWithParam<Cut> {};

TEST_P(GifTrimTest, TrimmedFramesAreTheSourcesFrames) {
  const Cut& c = GetParam();
  Opened in{c.source()};
  GifReader& source = in.reader;
  const Bytes& bytes = in.bytes;
  ASSERT_TRUE(in.ok) << source.error();
  auto file = std::make_shared<test::MemoryFile>();
  test::MemorySink sink(file);
  std::string error;
  ASSERT_TRUE(trimGif(source, c.first, c.last, sink, error)) << error;
  Opened out{file->bytes};
  GifReader& trimmed = out.reader;
  ASSERT_TRUE(out.ok) << trimmed.error();
  EXPECT_FALSE(trimmed.cutOff());
  EXPECT_EQ(trimmed.loopCount(), source.loopCount());
  const auto& from = source.frames();
  const auto& to = trimmed.frames();
  std::size_t j = 0, pieces = 0;
  for (std::size_t k = c.first; k <= c.last; ++k, ++j) {
    for (; j < to.size() && to[j].delay == 0; ++j) ++pieces;  // shown for no time: a piece of a whole frame
    ASSERT_LT(j, to.size());
    EXPECT_EQ(to[j].delay, from[k].delay) << "frame " << k;
    EXPECT_TRUE(same(*trimmed.decode(j), *source.decode(k))) << "frame " << k;
  }
  EXPECT_EQ(j, to.size());
  EXPECT_EQ(pieces > 0, c.pieces);
  const std::size_t copiedFrom = c.first + c.rewritten;
  const Bytes copied(bytes.begin() + std::ptrdiff_t(copiedFrom <= c.last ? from[copiedFrom].begin : 0),
                     bytes.begin() + std::ptrdiff_t(copiedFrom <= c.last ? from[c.last].end : 0));
  ASSERT_GE(file->bytes.size(), copied.size() + 1);
  EXPECT_TRUE(std::equal(copied.begin(), copied.end(), file->bytes.end() - std::ptrdiff_t(copied.size()) - 1));
  if (!haveFfmpeg()) return;
  test::TempDir dir;
  EXPECT_EQ(test::commandOutput("ffmpeg -v error -nostdin -i '" + saved(dir, file->bytes) + "' -f null - 2>&1"), "");
}

INSTANTIATE_TEST_SUITE_P(Cuts, GifTrimTest, ::testing::ValuesIn(kCuts), [](const auto& i) { return i.param.name; });

}  // namespace
}  // namespace ks
