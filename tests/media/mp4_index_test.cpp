// readMp4Index against ffprobe on movies Debian's ffmpeg makes the way our
// recordings do, whole and cut off; damaged and hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "command_output.h"
#include "media/mp4_index.h"
#include "test_files.h"

namespace ks {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FrameTimes, FromStartsKeepsEachStartAndTheEnd) {
  const FrameTimes t = FrameTimes::fromStarts({0, 33367, 66733, 66733, 150000});
  EXPECT_EQ(t.frames(), 4);
  EXPECT_EQ(t.startMicros(1), 33367);
  EXPECT_EQ(t.startMicros(4), 150000);
  const std::pair<std::int64_t, std::int64_t> shown[] = {{-5, 0}, {33366, 0}, {33367, 1}, {66733, 3}, {9000000, 3}};
  for (const auto& [micros, frame] : shown) EXPECT_EQ(t.frameAt(micros), frame) << micros;
  EXPECT_EQ(FrameTimes::fromStarts({0, 500, 400}).startMicros(2), 500);  // never backwards
  EXPECT_EQ(FrameTimes::fromStarts({}).frames(), 0);
}

struct Packet {
  double pts = 0, duration = 0;
  bool key = false;
  std::uint64_t end = 0;  // of its bytes in the file
};

// ffprobe's packets of the picture, in presentation order.
std::vector<Packet> probed(const std::string& path) {
  std::istringstream lines(test::commandOutput(
      "timeout 60 ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,duration_time,flags,pos,size "
      "-of compact=p=0 '" + path + "'"));
  std::vector<Packet> out;
  for (std::string line; std::getline(lines, line);) {
    std::map<std::string, std::string> f;
    std::istringstream fields(line);
    for (std::string kv; std::getline(fields, kv, '|');) f[kv.substr(0, kv.find('='))] = kv.substr(kv.find('=') + 1);
    out.push_back({std::stod(f["pts_time"]), std::stod(f["duration_time"]), f["flags"].starts_with("K"),
                   std::stoull(f["pos"]) + std::stoull(f["size"])});
  }
  std::stable_sort(out.begin(), out.end(), [](const Packet& a, const Packet& b) { return a.pts < b.pts; });
  return out;
}

std::string made(const test::TempDir& dir, const std::string& name, const std::string& args) {
  const std::string path = dir.file(name + ".mp4");
  test::commandOutput("timeout 60 ffmpeg -v error -y " + args + " '" + path + "' 2>&1");
  return path;
}

const std::string kPicture = "-f lavfi -i testsrc2=size=320x240:rate=30 ";
const std::string kSound = "-f lavfi -i sine=sample_rate=22050:duration=2 -c:a aac -ac 1 ";
// Frames 1/30 s apart, with a pause of a quarter second after every tenth.
const std::string kVariable = "setpts='N/(30*TB)+floor(N/10)*0.25/TB' -fps_mode vfr ";
const std::string kFragments = "-movflags frag_keyframe+empty_moov+default_base_moof ";

TEST(Mp4Index, TimesKeyFramesAndFormatsAsFfprobeSeesThem) {
  struct Movie {
    const char* name;
    std::string args;
    std::int32_t width, height;
    std::uint32_t soundRate;
    std::uint16_t channels;
    double kept;  // of the file's bytes, for a recording cut off
  };
  const Movie movies[] = {
      {"faststart", kPicture + "-frames:v 45 -c:v libx264 -g 15 -bf 0 -movflags +faststart", 320, 240, 0, 0, 1},
      {"bframes_sound", kPicture + "-f lavfi -i sine=sample_rate=48000:duration=2 -frames:v 50 -c:v libx264 -g 12 "
                        "-bf 2 -c:a aac -ac 2 -movflags +faststart", 320, 240, 48000, 2, 1},
      {"ntsc_moov_last", "-f lavfi -i testsrc2=size=176x144:rate=30000/1001 -frames:v 40 -c:v libx264 -g 9 -bf 2",
       176, 144, 0, 0, 1},
      {"fragmented_variable", kPicture + kSound + "-frames:v 40 -vf " + kVariable + "-c:v libx264 -g 10 -bf 2 " +
                              kFragments, 320, 240, 22050, 1, 1},
      {"fragmented_cut", kPicture + kSound + "-frames:v 40 -c:v libx264 -g 10 -bf 2 " + kFragments, 320, 240, 22050,
       1, 0.6},
      {"variable_rate", kPicture + "-frames:v 30 -vf " + kVariable + "-c:v libx264 -g 10 -bf 2", 320, 240, 0, 0, 1},
  };
  const test::TempDir dir;
  for (const Movie& m : movies) {
    SCOPED_TRACE(m.name);
    const std::string path = made(dir, m.name, m.args);
    std::vector<Packet> expected = probed(path);
    ASSERT_GE(expected.size(), 30u);
    const std::size_t whole = expected.size();
    if (m.kept < 1) {
      const auto kept = static_cast<std::uint64_t>(static_cast<double>(std::filesystem::file_size(path)) * m.kept);
      std::filesystem::resize_file(path, kept);
      std::erase_if(expected, [&](const Packet& p) { return p.end > kept; });
      ASSERT_GT(expected.size(), 0u);
      ASSERT_LT(expected.size(), whole);
    }
    auto file = openByteFile(path);
    ASSERT_TRUE(file.ok()) << file.error();
    const ReadResult<Mp4Index> index = readMp4Index(*file.value());
    ASSERT_TRUE(index.ok()) << index.error();
    const Mp4Index& x = index.value();
    EXPECT_EQ(x.width, m.width);
    EXPECT_EQ(x.height, m.height);
    EXPECT_EQ(x.pictureCodec, "avc1");
    ASSERT_EQ(x.times.frames(), static_cast<std::int64_t>(expected.size()));
    ASSERT_EQ(x.keyFrames.size(), expected.size());
    const double first = expected.front().pts;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(x.times.startMicros(static_cast<std::int64_t>(i)), std::llround((expected[i].pts - first) * 1e6), 1)
          << "frame " << i;
      EXPECT_EQ(x.keyFrames[i], expected[i].key) << "frame " << i;
    }
    const Packet& last = expected.back();
    EXPECT_NEAR(x.times.startMicros(x.times.frames()), std::llround((last.pts + last.duration - first) * 1e6), 1);
    EXPECT_EQ(x.hasSound, m.soundRate != 0);
    EXPECT_EQ(x.soundRate, m.soundRate);
    EXPECT_EQ(x.soundChannels, m.channels);
    EXPECT_EQ(x.soundCodec, m.soundRate ? "mp4a" : "");
  }
}

ReadResult<Mp4Index> indexOf(Bytes bytes) {
  MemoryByteSource source(std::move(bytes));
  return readMp4Index(source);
}

TEST(Mp4Index, DamagedFilesFailWithWhatIsWrong) {
  const test::TempDir dir;
  const Bytes plain = test::readAll(made(dir, "plain", kPicture + "-frames:v 20 -c:v libx264 -g 5 -movflags +faststart"));
  const Bytes fragmented = test::readAll(made(dir, "frag", kPicture + kSound + "-frames:v 20 -c:v libx264 -g 5 " + kFragments));
  ASSERT_TRUE(indexOf(plain).ok());
  ASSERT_TRUE(indexOf(fragmented).ok());
  struct Patch {
    const Bytes* file;
    const char* box;
    int at;  // from the box's four letters
    std::uint32_t value;
    const char* message;
  };
  const Patch patches[] = {
      {&plain, "ftyp", -4, 3, "has a size of 3 bytes"},
      {&plain, "moov", -4, 0x7FFFFFFF, "past the end of the file"},
      {&plain, "trak", -4, 0x7FFFFFF0, "overruns the box it is in"},
      {&plain, "stsz", 12, 0xFFFFFFF0, "in room for"},
      {&plain, "stts", 8, 0x10000000, "in room for"},
      {&plain, "stss", 8, 0x40000000, "in room for"},
      {&plain, "hdlr", 12, 0x78787878, "the movie has no picture track"},
      {&plain, "mdhd", 16, 0, "no time scale"},
      {&fragmented, "trun", 8, 0x7FFFFFFF, "has no room for"},
  };
  for (const Patch& p : patches) {
    Bytes bytes = *p.file;
    const auto at = std::search(bytes.begin(), bytes.end(), p.box, p.box + 4) - bytes.begin() + p.at;
    ASSERT_LT(static_cast<std::size_t>(at) + 4, bytes.size()) << p.box;
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(p.value >> (24 - 8 * i));
    const ReadResult<Mp4Index> r = indexOf(bytes);
    EXPECT_FALSE(r.ok()) << p.box;
    EXPECT_NE(r.error().find(p.message), std::string::npos) << p.box << ": " << r.error();
  }
  const std::pair<Bytes, const char*> raw[] = {
      {{}, "it is not an MP4 movie"},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}, "it is not an MP4 movie"},
      {{0, 0, 0, 12, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}, "no movie header"},
  };
  for (const auto& [bytes, message] : raw) EXPECT_NE(indexOf(bytes).error().find(message), std::string::npos) << message;
}

TEST(Mp4Index, CutsAnywhereFailOrKeepTheFramesBeforeTheCut) {
  const test::TempDir dir;
  const std::pair<const char*, bool> kinds[] = {{"+faststart ", false}, {"frag_keyframe+empty_moov+default_base_moof ", true}};
  for (const auto& [flags, keepsFrames] : kinds) {
    const Bytes whole = test::readAll(made(dir, "cut", kPicture + kSound + "-frames:v 30 -c:v libx264 -g 5 -movflags " + flags));
    const ReadResult<Mp4Index> full = indexOf(whole);
    ASSERT_TRUE(full.ok()) << flags << full.error();
    const std::int64_t all = full.value().times.frames();
    std::int64_t before = 0;
    for (std::size_t cut = 0; cut < whole.size(); cut += 331) {
      const ReadResult<Mp4Index> r = indexOf(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
      const std::int64_t frames = r.ok() ? r.value().times.frames() : 0;
      EXPECT_TRUE(keepsFrames ? r.ok() || !r.error().empty() : !r.ok()) << flags << cut;
      EXPECT_GE(frames, before) << flags << cut;  // a longer file never has fewer frames
      EXPECT_LE(frames, all) << flags << cut;
      before = frames;
    }
    EXPECT_EQ(before > 0, keepsFrames) << flags;
  }
}

}  // namespace
}  // namespace ks
