// MP4 movies made by Debian's ffmpeg through the POSIX pipes, as a recording
// makes them: the argument lists for each version, and movies of every kind
// that must decode to the frames and the sound given, or, after a fault, to
// what came before it.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "command_output.h"
#include "media/ffmpeg_command.h"
#include "media/movie.h"
#include "media/mp4_output.h"
#include "media/mp4_trim_source.h"
#include "media/trim_source.h"
#include "memory_sink.h"
#include "platform/posix/programs_posix.h"
#include "support/watchdog.h"
#include "test_files.h"

namespace ks {
namespace {

using Strings = std::vector<std::string>;

bool has(const Strings& args, const Strings& run) {
  return std::search(args.begin(), args.end(), run.begin(), run.end()) != args.end();
}

TEST(FfmpegCommand, VersionsEncodersAndTheArgumentsEachVersionGets) {
  const FfmpegVersion v41 = parseFfmpegVersion(
      "ffmpeg version N-92722-gf22fcd4483 Copyright (c) 2000-2018 the FFmpeg developers\r\n"
      "libavutil      56. 24.101 / 56. 24.101\r\nlibavcodec     58. 42.102 / 58. 42.102\r\n"
      "libavformat    58. 24.101 / 58. 24.101\r\n");
  EXPECT_EQ(v41.name, "N-92722-gf22fcd4483");
  EXPECT_TRUE(v41.supported());
  EXPECT_FALSE(v41.nvencNewPresets());
  const FfmpegVersion v71 = parseFfmpegVersion("ffmpeg version 7.1 Copyright\nlibavcodec     61. 19.100\n"
                                               "libavformat    61.  7.100\n");
  EXPECT_TRUE(v71.nvencNewPresets());
  const FfmpegVersion v34 = parseFfmpegVersion("ffmpeg version 3.4.8\nlibavcodec     57.107.100\n"
                                               "libavformat    57. 83.100\n");
  EXPECT_TRUE(v34.known());
  EXPECT_FALSE(v34.supported());
  EXPECT_FALSE(parseFfmpegVersion("Usage: something else\n").known());

  const std::string encoders =
      "Encoders:\n V..... = Video\n ------\n V....D libx264              libx264 H.264 (codec h264)\n"
      " V....D libx264rgb           libx264 H.264 RGB (codec h264)\n V....D h264_nvenc  NVIDIA (codec h264)\n"
      " V..... h264_qsv  QSV (codec h264)\n A..... aac  AAC (Advanced Audio Coding)\n V..... h264_amf  AMF (codec h264)\n"
      " V..... hevc_nvenc  NVIDIA hevc (codec hevc)\n";
  const Strings h264 = parseH264Encoders(encoders);
  EXPECT_EQ(h264, (Strings{"libx264", "h264_nvenc", "h264_qsv", "h264_amf"}));

  struct Plan {
    Strings listed;
    Strings trials;
    std::string fallback;
  };
  const Plan plans[] = {
      {{"libx264", "h264_amf", "h264_nvenc"}, {"h264_nvenc", "h264_amf"}, "libx264"},
      {{"libx264"}, {}, "libx264"},
      {{"h264_mf", "h264_qsv"}, {"h264_qsv", "h264_mf"}, ""},
      {{}, {}, ""},
  };
  for (const Plan& p : plans) {
    const EncoderPlan plan = planEncoders(p.listed);
    EXPECT_EQ(plan.trials, p.trials);
    EXPECT_EQ(plan.fallback, p.fallback);
  }

  struct Row {
    FfmpegVersion version;
    std::string encoder;
    bool sound;
    Strings present, absent;
  };
  const Row rows[] = {
      {v41, "libx264", true, {"-map", "1:a:0"}, {"-fps_mode"}},
      {v41, "libx264", false, {"-map", "0:v:0"}, {"1:a:0"}},
      // The settings encoder_bench chose (its mp4_ rows): a change must be measured again.
      {v71, "libx264", false, {"-preset", "ultrafast", "-tune", "zerolatency", "-crf", "28.3", "-x264-params", "cabac=1"},
       {"veryfast"}},
      {v41, "h264_nvenc", false, {"-preset", "llhq"}, {"p4"}},
      {v71, "h264_nvenc", false, {"-preset", "p4", "-tune", "ll"}, {"llhq"}},
      {v71, "h264_qsv", true, {"-pix_fmt", "nv12"}, {"yuv420p\x01"}},
  };
  for (const Row& r : rows) {
    Mp4Job job;
    job.videoPipe = "/tmp/v";
    job.soundPipe = r.sound ? "/tmp/a" : "";
    job.width = 642;
    job.height = 362;
    job.rate = 25;
    job.encoder = r.encoder;
    job.output = "/tmp/out.mp4";
    const Strings args = recordArgs(job, r.version);
    const std::string what = r.version.name + " " + r.encoder;
    EXPECT_TRUE(has(args, r.present)) << what;
    EXPECT_FALSE(has(args, r.absent)) << what;
    // What every version gets: the input as sent, a key frame each 2 s,
    // the colour tags, fragments flushed as made, the output last.
    for (const Strings& common : {Strings{"-video_size", "642x362", "-framerate", "25"}, Strings{"-c:v", r.encoder},
                                  Strings{"-g", "50"}, Strings{"-colorspace", "bt709", "-color_primaries", "bt709"},
                                  Strings{"-movflags", "+frag_keyframe+empty_moov+default_base_moof"},
                                  Strings{"-flush_packets", "1"}})
      EXPECT_TRUE(has(args, common)) << what << ": " << common[0];
    EXPECT_EQ(args.back(), "/tmp/out.mp4") << what;
  }
}

// A picture whose ten bars on the left, 16 pixels each, spell `index` in
// binary, the lowest bit left: lossy coding keeps them readable. Right of
// them is noise, which no coding makes small.
constexpr std::int32_t kWidth = 160, kHeight = 90;
std::vector<std::uint8_t> barPicture(int index, std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> dib(dibStride(width) * static_cast<std::size_t>(height), 0);
  std::uint32_t noise = 2654435761u * static_cast<std::uint32_t>(index + 1);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const auto v = static_cast<std::uint8_t>(x >= 160 ? noise >> 24 : (index >> (x / 16) & 1) ? 255 : 0);
      std::fill_n(dib.data() + static_cast<std::size_t>(y) * dibStride(width) + 3 * x, 3, v);
    }
  return dib;
}

// The indexes the decoded frames spell, and the decoded sample frames.
struct Decoded {
  std::vector<int> indexes;
  std::int32_t width = 0, height = 0;
  std::int64_t soundFrames = -1;  // -1: no sound stream
  std::int64_t onset = -1;        // the first sample frame that is loud
  std::vector<double> times;      // of the first pictures, in seconds
};

Decoded decode(const std::string& path) {
  Decoded d;
  const std::string size = test::commandOutput("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                                               "-of csv=p=0 '" + path + "' 2>/dev/null");
  if (std::sscanf(size.c_str(), "%d,%d", &d.width, &d.height) != 2) return d;
  const std::string grey = test::commandOutput("ffmpeg -v error -nostdin -i '" + path +
                                               "' -map 0:v:0 -vsync passthrough -f rawvideo -pix_fmt gray - 2>/dev/null");
  const std::size_t n = static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height);
  for (std::size_t at = 0; n > 0 && at + n <= grey.size(); at += n) {
    const char* row = grey.data() + at + static_cast<std::size_t>(d.height / 2) * static_cast<std::size_t>(d.width);
    int index = 0;
    for (int bit = 0; bit < 10; ++bit)
      if (static_cast<unsigned char>(row[16 * bit + 8]) > 128) index |= 1 << bit;
    d.indexes.push_back(index);
  }
  std::istringstream times(test::commandOutput("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
                                               "-of csv=p=0 -read_intervals %+#4 '" + path + "' 2>/dev/null"));
  for (double t; times >> t;) d.times.push_back(t);
  std::sort(d.times.begin(), d.times.end());
  const std::string streams = test::commandOutput("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" +
                                                  path + "' 2>/dev/null");
  if (streams.find("audio") != std::string::npos) {
    const std::string pcm = test::commandOutput("ffmpeg -v error -nostdin -i '" + path +
                                                "' -map 0:a:0 -f s16le -ac 2 -ar 48000 - 2>/dev/null");
    d.soundFrames = static_cast<std::int64_t>(pcm.size() / 4);
    for (std::size_t k = 0; 4 * k + 1 < pcm.size() && d.onset < 0; ++k) {
      const auto left = static_cast<std::int16_t>(static_cast<unsigned char>(pcm[4 * k]) |
                                                  static_cast<unsigned char>(pcm[4 * k + 1]) << 8);
      if (std::abs(left) > 4000) d.onset = static_cast<std::int64_t>(k);
    }
  }
  return d;
}

std::string findFfmpeg(PosixPrograms& programs) {
  for (const std::string& folder : programs.searchPath()) {
    const std::string path = programs.executableIn(folder, "ffmpeg");
    if (programs.isFile(path)) return path;
  }
  return {};
}

enum class Fault { None, KillFfmpeg, FullDisk, FinishFails };

struct MovieRow {
  const char* name;
  std::int32_t width, height;
  bool sound;
  int frames;            // given to the movie
  int pauseAfter;        // frames before a pause of 1.5 s with nothing written; -1: none
  bool paced;            // the frames come at their rate, else as fast as they go
  std::size_t queue;     // the picture queue; 0: as recordings have it
  Fault fault;
  int hold = 1;          // each picture is given this many times in a row
};

class Mp4Movies : public ::testing::TestWithParam<MovieRow> {};

TEST_P(Mp4Movies, DecodeToTheFramesAndSoundGiven) {
  const MovieRow& row = GetParam();
  PosixPrograms programs;
  DiskMovieFiles files;
  const std::string ffmpeg = findFfmpeg(programs);
  if (ffmpeg.empty()) GTEST_SKIP() << "no ffmpeg on PATH";
  test::TempDir dir;
  std::string folder = dir.file("");
  bool mounted = false;
  if (row.fault == Fault::FullDisk) {
    if (::geteuid() != 0) GTEST_SKIP() << "a full disk needs root (a 2 MB tmpfs)";
    folder = dir.file("small");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=300k"), 0) << "mount a 300 kB tmpfs";
    mounted = true;
  }
  struct Unmount {
    bool on;
    std::string at;
    ~Unmount() {
      if (on) ::umount(at.c_str());
    }
  } unmount{mounted, folder};

  const ProgramRun version = runProgram(programs, ffmpeg, {"-hide_banner", "-version"}, 20);
  Mp4Request request;
  request.ffmpeg = ffmpeg;
  request.version = parseFfmpegVersion(version.output);
  request.path = folder + "/" + row.name + ".mp4";
  request.width = row.width;
  request.height = row.height;
  request.rate = 30;
  request.sound = row.sound;
  if (row.fault == Fault::FinishFails) std::filesystem::create_directories(request.path + ".finishing/x");
  Mp4Limits limits;
  limits.pictureQueue = row.queue;
  OutputFailure failure;
  std::unique_ptr<Mp4Output> output = Mp4Output::open(programs, files, request, failure, limits);
  ASSERT_TRUE(output) << failure.detail;
  Movie movie;
  const BitmapInfoHeader format = makeFrameFormat(row.width, row.height);
  ASSERT_TRUE(movie.OpenMovie(std::move(output), format, 30));

  const auto start = std::chrono::steady_clock::now();
  // A frame's time of sound: silence, then from the 20th frame on a loud
  // square wave, whose start the movie must keep in its place.
  std::vector<std::int16_t> silence(2 * 1600, 0), tone(2 * 1600);
  for (std::size_t k = 0; k < tone.size(); ++k) tone[k] = (k / 2) % 48 < 24 ? 12000 : -12000;
  int given = 0;
  std::int64_t soundGiven = 0;
  bool killed = false;
  for (int i = 0; i < row.frames; ++i) {
    if (row.paced) std::this_thread::sleep_until(start + std::chrono::duration<double>(i / 30.0));
    if (i == row.pauseAfter) {
      ASSERT_TRUE(movie.Checkpoint());
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    if (row.fault == Fault::KillFfmpeg && !killed && i == row.frames / 2) {
      ASSERT_EQ(std::system(("pkill -KILL -f '^" + ffmpeg + " .*" + request.path + "'").c_str()), 0);
      killed = true;
    }
    const auto picture = barPicture(i / row.hold * row.hold, row.width, row.height);
    if (!movie.WriteFrame(picture.data(), format)) break;
    ++given;
    if (row.sound && movie.WriteSound((i < 20 ? silence : tone).data(), 1600)) soundGiven += 1600;
  }
  const bool closed = movie.CloseMovie();
  const std::int64_t repeated = movie.FramesRepeated();
  const OutputFailure said = movie.OutputProblem();
  const Decoded d = decode(request.path);
  EXPECT_EQ(d.width, (row.width + 1) & ~1);
  EXPECT_EQ(d.height, (row.height + 1) & ~1);

  switch (row.fault) {
    case Fault::None:
    case Fault::FinishFails: {
      EXPECT_EQ(closed, row.fault == Fault::None);
      EXPECT_EQ(said.kind, row.fault == Fault::None ? OutputFailure::Kind::None : OutputFailure::Kind::NotFinished);
      EXPECT_FALSE(std::filesystem::exists(request.path + ".finishing/x") && row.fault == Fault::None);
      // Every frame, in order; a frame the queue could not take repeats the one before.
      ASSERT_EQ(static_cast<int>(d.indexes.size()), given);
      if (row.queue == 0) {
        for (std::size_t k = 0; k < d.indexes.size(); ++k)
          EXPECT_EQ(d.indexes[k], static_cast<int>(k) / row.hold * row.hold) << "frame " << k;
      }
      int repeats = 0;
      for (std::size_t k = 0; k < d.indexes.size() && row.hold == 1; ++k) {
        if (k == 0) {
          EXPECT_EQ(d.indexes[k], 0);
          continue;
        }
        EXPECT_GE(d.indexes[k], d.indexes[k - 1]) << "frame " << k;
        if (d.indexes[k] == d.indexes[k - 1]) ++repeats;
      }
      if (row.hold == 1) {
        EXPECT_EQ(repeats, repeated);
      }
      if (row.queue == 0) {
        EXPECT_EQ(repeated, 0);
      }
      if (row.sound) {
        // AAC codes whole frames of 1024 samples.
        EXPECT_NEAR(static_cast<double>(d.soundFrames), static_cast<double>(soundGiven), 1024.0);
        EXPECT_NEAR(static_cast<double>(d.onset), 20 * 1600.0, 48.0) << "the tone's start in sample frames";
        // ... and the pictures keep theirs.
        ASSERT_EQ(d.times.size(), 4u);
        for (std::size_t k = 0; k < d.times.size(); ++k) EXPECT_NEAR(d.times[k], k / 30.0, 0.001) << "picture " << k;
      } else {
        EXPECT_EQ(d.soundFrames, -1);
      }
      break;
    }
    case Fault::KillFfmpeg:
    case Fault::FullDisk:
      EXPECT_FALSE(closed);
      EXPECT_EQ(movie.Fault(), MovieFault::Output);
      EXPECT_EQ(said.kind, row.fault == Fault::FullDisk ? OutputFailure::Kind::DiskFull
                                                        : OutputFailure::Kind::ProgramFailed)
          << said.detail;
      // What was made before the fault plays, to at most 2 s before it.
      EXPECT_GE(static_cast<int>(d.indexes.size()), (row.fault == Fault::KillFfmpeg ? row.frames / 2 : 1) - 60);
      for (std::size_t k = 0; k < d.indexes.size(); ++k) EXPECT_EQ(d.indexes[k], static_cast<int>(k));
      break;
  }
}

// An MP4 as a recording makes it: `frames` bar pictures at 30 fps, with
// silence and from frame `toneFrom` on a loud square wave.
void recordMp4(PosixPrograms& programs, const std::string& ffmpeg, const std::string& path, std::int32_t width,
               std::int32_t height, int frames, int toneFrom) {
  DiskMovieFiles files;
  Mp4Request request;
  request.ffmpeg = ffmpeg;
  request.version = parseFfmpegVersion(runProgram(programs, ffmpeg, {"-hide_banner", "-version"}, 20).output);
  request.path = path;
  request.width = width;
  request.height = height;
  request.rate = 30;
  request.sound = true;
  OutputFailure failure;
  // Given faster than ffmpeg codes them: a queue for all, so none repeats.
  Mp4Limits limits;
  limits.pictureQueue = static_cast<std::size_t>(frames);
  std::unique_ptr<Mp4Output> output = Mp4Output::open(programs, files, request, failure, limits);
  ASSERT_TRUE(output) << failure.detail;
  Movie movie;
  const BitmapInfoHeader format = makeFrameFormat(width, height);
  ASSERT_TRUE(movie.OpenMovie(std::move(output), format, 30));
  std::vector<std::int16_t> silence(2 * 1600, 0), tone(2 * 1600);
  for (std::size_t k = 0; k < tone.size(); ++k) tone[k] = (k / 2) % 48 < 24 ? 12000 : -12000;
  for (int i = 0; i < frames; ++i) {
    ASSERT_TRUE(movie.WriteFrame(barPicture(i, width, height).data(), format));
    ASSERT_TRUE(movie.WriteSound((i < toneFrom ? silence : tone).data(), 1600));
  }
  ASSERT_TRUE(movie.CloseMovie());
}

// The index a bar picture spells, read from a 24-bit bottom-up picture.
int barIndex(const std::vector<std::uint8_t>& dib, std::int32_t width, std::int32_t height) {
  const std::uint8_t* row = dib.data() + static_cast<std::size_t>(height / 2) * dibStride(width);
  int index = 0;
  for (int bit = 0; bit < 10; ++bit)
    if (row[3 * (16 * bit + 8)] > 128) index |= 1 << bit;
  return index;
}

TEST(Mp4Trim, ShowsEachFrameAndSavesTheSpanWithItsSoundThroughFfmpeg) {
  const test::Watchdog watchdog("trimming an MP4", 300);
  PosixPrograms programs;
  const std::string ffmpeg = findFfmpeg(programs);
  if (ffmpeg.empty()) GTEST_SKIP() << "no ffmpeg on PATH";
  test::TempDir dir;
  // An odd width: padded to 322, whose rows a DIB pads to 968 bytes.
  const std::string source = dir.file("source.mp4");
  recordMp4(programs, ffmpeg, source, 321, 120, 150, 100);
  const std::vector<int> recorded = decode(source).indexes;
  ASSERT_EQ(recorded.size(), 150u);
  for (std::size_t k = 0; k < recorded.size(); ++k) ASSERT_EQ(recorded[k], static_cast<int>(k)) << "recorded";
  const FfmpegVersion version =
      parseFfmpegVersion(runProgram(programs, ffmpeg, {"-hide_banner", "-version"}, 20).output);
  const FfmpegFinder finder = [&]() -> ReadResult<FfmpegTool> {
    return FfmpegTool{&programs, ffmpeg, version, kSoftwareEncoder};
  };
  ReadResult<std::unique_ptr<TrimSource>> opened = openTrimSource(source, finder);
  ASSERT_TRUE(opened) << opened.error();
  TrimSource& movie = *opened.value();
  ASSERT_EQ(movie.times().frames(), 150);
  ASSERT_EQ(movie.width(), 322);
  EXPECT_EQ(movie.extension(), "mp4");
  EXPECT_EQ(movie.times().startMicros(150), 5'000'000);

  // On, back within what is kept, back past it and past a key frame (one
  // each 60), a jump, the last frame.
  for (const std::int64_t frame : {0, 1, 2, 75, 74, 61, 60, 59, 40, 149, 148, 30}) {
    ReadResult<const std::vector<std::uint8_t>*> picture = movie.picture(frame);
    ASSERT_TRUE(picture) << frame << ": " << picture.error();
    EXPECT_EQ(barIndex(*picture.value(), movie.width(), movie.height()), frame);
  }

  struct Span {
    std::int64_t first, last;
    std::int64_t onset;  // where the tone starts in the trimmed sound; -1: none
  };
  for (const Span span : {Span{30, 119, (100 - 30) * 1600}, Span{0, 0, -1}, Span{60, 149, 40 * 1600}}) {
    const std::string out = dir.file("cut-" + std::to_string(span.first) + ".mp4");
    auto file = std::make_shared<test::MemoryFile>();
    const TrimOutcome o = movie.save(span.first, span.last, out, test::memorySink(file), {});
    ASSERT_TRUE(o.ok()) << span.first << ": " << o.detail;
    const std::int64_t frames = span.last - span.first + 1;
    EXPECT_EQ(o.frames, frames);
    EXPECT_EQ(o.soundFrames, static_cast<std::uint64_t>(frames * 1600));
    const Decoded d = decode(out);
    ASSERT_EQ(static_cast<std::int64_t>(d.indexes.size()), frames) << span.first;
    for (std::size_t k = 0; k < d.indexes.size(); ++k) EXPECT_EQ(d.indexes[k], span.first + static_cast<int>(k));
    // AAC codes whole frames of 1024 samples; its edge lies within 1 ms.
    EXPECT_NEAR(static_cast<double>(d.soundFrames), frames * 1600 + 512.0, 512.0) << span.first;
    EXPECT_NEAR(static_cast<double>(d.onset), static_cast<double>(span.onset), 48.0) << span.first;
  }

  // A cancel ends ffmpeg at once.
  auto file = std::make_shared<test::MemoryFile>();
  const TrimOutcome cancelled =
      movie.save(0, 149, dir.file("cancelled.mp4"), test::memorySink(file), [](std::uint64_t, std::uint64_t) { return false; });
  EXPECT_EQ(cancelled.kind, TrimOutcome::Kind::Cancelled);
}

// Pure colours and grey steps, in blocks that coding keeps flat, come back
// within 3 levels when decoded as the file's colour tags say.
TEST(Mp4Colours, ComeBackAsTheTagsSay) {
  PosixPrograms programs;
  DiskMovieFiles files;
  const std::string ffmpeg = findFfmpeg(programs);
  if (ffmpeg.empty()) GTEST_SKIP() << "no ffmpeg on PATH";
  test::TempDir dir;
  struct Colour {
    std::uint8_t r, g, b;
  };
  std::vector<Colour> colours = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {0, 255, 255},
                                 {255, 0, 255}, {255, 255, 0}, {255, 255, 255}, {0, 0, 0}};
  for (int grey = 17; grey < 255; grey += 34) colours.push_back({std::uint8_t(grey), std::uint8_t(grey), std::uint8_t(grey)});
  constexpr std::int32_t kBlock = 32, kW = 8 * kBlock, kH = 2 * kBlock;
  std::vector<std::uint8_t> dib(dibStride(kW) * std::size_t{kH});
  for (std::int32_t y = 0; y < kH; ++y)
    for (std::int32_t x = 0; x < kW; ++x) {
      const Colour& c = colours[static_cast<std::size_t>((y / kBlock) * 8 + x / kBlock) % colours.size()];
      std::uint8_t* p = dib.data() + static_cast<std::size_t>(kH - 1 - y) * dibStride(kW) + 3 * x;
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  Mp4Request request;
  request.ffmpeg = ffmpeg;
  request.version = parseFfmpegVersion(runProgram(programs, ffmpeg, {"-version"}, 20).output);
  request.path = dir.file("colours.mp4");
  request.width = kW;
  request.height = kH;
  OutputFailure failure;
  Movie movie;
  ASSERT_TRUE(movie.OpenMovie(Mp4Output::open(programs, files, request, failure), makeFrameFormat(kW, kH), 30))
      << failure.detail;
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(movie.WriteFrame(dib.data(), makeFrameFormat(kW, kH)));
  ASSERT_TRUE(movie.CloseMovie());
  EXPECT_EQ(test::commandOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                "stream=color_space,color_primaries,color_transfer,color_range -of csv=p=0 '" +
                                request.path + "'"),
            "tv,bt709,bt709,bt709\n");
  const std::string rgb = test::commandOutput("ffmpeg -v error -nostdin -i '" + request.path +
                                              "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
  ASSERT_EQ(rgb.size(), 3u * kW * kH);
  for (std::size_t k = 0; k < 16 && k < colours.size(); ++k) {
    const std::size_t x = (k % 8) * kBlock + kBlock / 2, y = (k / 8) * kBlock + kBlock / 2;
    const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (y * kW + x);
    const Colour& c = colours[k];
    EXPECT_NEAR(p[0], c.r, 3) << "colour " << k;
    EXPECT_NEAR(p[1], c.g, 3) << "colour " << k;
    EXPECT_NEAR(p[2], c.b, 3) << "colour " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Mp4Movies,
    ::testing::Values(MovieRow{"sound", kWidth, kHeight, true, 60, -1, false, 0, Fault::None},
                      MovieRow{"odd_silent", 161, 91, false, 45, -1, false, 0, Fault::None},
                      MovieRow{"still", kWidth, kHeight, true, 60, -1, false, 0, Fault::None, 7},
                      MovieRow{"pause", kWidth, kHeight, true, 60, 30, false, 0, Fault::None},
                      MovieRow{"copies", kWidth, kHeight, false, 120, -1, false, 1, Fault::None},
                      MovieRow{"kill", kWidth, kHeight, true, 180, -1, true, 0, Fault::KillFfmpeg},
                      MovieRow{"full", 640, 360, true, 600, -1, false, 0, Fault::FullDisk},
                      MovieRow{"finish_fails", kWidth, kHeight, true, 45, -1, false, 0, Fault::FinishFails}),
    [](const ::testing::TestParamInfo<MovieRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ks
