// The ZMBV encoder against ffmpeg's, on the same 1920x1080 frames of four
// synthetic clips (a code editor being typed in, a text scroll, a page with
// a moving picture, a file manager's window), one thread each, in the same
// run:
//   zmbv_CLIP_fps    our frames per second, encoder and AVI writer, against
//                    ffmpeg -threads 1 -c:v zmbv -compression_level 1 (its
//                    fastest)
//   zmbv_CLIP_bytes  our frame bytes against ffmpeg's at its defaults (its
//                    smallest)
//   zmbv_CLIP_exact  whether ffmpeg decodes our movie to the input pictures
// ffmpeg reads the frames as rawvideo bgr0 from a file on /dev/shm (so it pays
// no disk, only its reading of memory) with our key interval (-keyint_min,
// which this encoder takes for it, and -g); its time is
// its own -benchmark real time, which leaves out its start-up. Both write
// their AVI to /dev/shm.
// Before those, for each clip, GIF rows on its first 30 frames (at most) at
// 1920x1080 and at 1280x720, named gif_CLIP_WxH_...:
//   _fps            our GIF encoder and writer on one thread against ffmpeg's
//                   single-pass default (-threads 1 out.gif) and the two-pass
//                   recipe (palettegen=stats_mode=diff,
//                   paletteuse=diff_mode=rectangle)
//   _bytes          file sizes, the same three
//   _psnr           ffmpeg's psnr filter, each GIF against the source frames
//   _size_goal, _quality_goal, _speed_goal (1280x720 only): PASS or FAIL
//                   with the figures; gif_goals_missed counts the FAILs
// Before those, for each clip, MP4 rows, named mp4_CLIP_...: the clip's
// frames, converted by pixels::toYuv420 as a recording converts them, go
// from a file on /dev/shm as rawvideo yuv420p at 30 fps to ffmpeg (the one
// on PATH), which codes them into an MP4 on /dev/shm with our libx264
// settings (videoArgs, as recordArgs has them: a key frame every 2 s) and
// with the peer line a user would type, -c:v libx264 -r 30 -preset
// ultrafast -tune zerolatency -crf 28 -pix_fmt yuv420p (x264's key
// interval, 250). The peer's own source would be BGRA that ffmpeg converts;
// both get the same yuv420p here, so only the coding differs.
//   _bytes          the files' sizes
//   _psnr, _ssim    ffmpeg's psnr and ssim filters against the yuv420p
//                   frames sent (not the RGB pictures: that conversion is
//                   the same for both)
//   _fps, _cpu      wall and processor time of ffmpeg (every thread; the
//                   children's getrusage), each the median of 7 runs taken
//                   in turns with the peer's; _cpu_coding leaves out what
//                   ffmpeg spends reading the frames and passing them on
//                   uncoded
//   _key_frames     counted by ffprobe
//   _goal           PASS with no more bytes than the peer and a higher PSNR
// then mp4_cpu over all clips, mp4_cpu_goal (at most 1.15x the peer's) and
// mp4_goals_missed, which counts the FAILs.
// Usage: encoder_bench [--gif|--mp4] [--sweep] [--clip NAME] [FRAMES]
// FRAMES: 90 by default, 500 for the MP4 rows (our 9 key frames to the
// peer's 2, more than the 250/60 of a long recording).
// --gif runs the GIF rows alone, --mp4 the MP4 rows; --clip one clip.
// --sweep also codes the MP4 rows' frames with other libx264 settings
// (presets, tunes, crf, x264 options), printing bytes, PSNR, SSIM, fps and
// processor time of each against the peer's, measured in turns.
// --sweep also encodes the GIF rows with other quantisers and transparency
// rules (GifOptions), printing fps, bytes and PSNR of each.
// KS_BENCH_KEEP=DIR keeps a copy of each GIF of ours there, named as its
// row (to tell two builds' output apart byte for byte).
// --sweep also encodes each clip with other block sizes, zlib levels and
// without run-length coding of noisy residue, printing time and bytes of key
// and inter frames apart: the measurements behind ZmbvOptions' defaults.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/yuv420.h"
#include "media/avi_writer.h"
#include "media/ffmpeg_command.h"
#include "media/gif_writer.h"
#include "media/zmbv_encoder.h"
#include "screen_clips.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kWidth = 1920, kHeight = 1080;
constexpr std::uint32_t kRate = 30;
constexpr std::uint32_t kKeyInterval = 2 * kRate;

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

struct Run {
  double seconds = 0;
  std::uint64_t bytes = 0;
  int keyFrames = 0;
  // Apart by kind of frame (ours only).
  double keySeconds = 0, interSeconds = 0;
  std::uint64_t keyBytes = 0, interBytes = 0;
  bool ok = false;
};

Run encodeOurs(const std::vector<std::vector<std::uint8_t>>& frames, const ks::ZmbvOptions& options,
               const std::string& aviPath) {
  Run run;
  const auto t0 = Clock::now();
  ks::ZmbvEncoder encoder(kWidth, kHeight, options);
  ks::AviWriter writer;
  if (!writer.open(ks::openFileSink(aviPath), ks::zmbvFrameFormat(kWidth, kHeight), kRate)) return run;
  for (const auto& f : frames) {
    const auto a = Clock::now();
    const ks::ZmbvChunk chunk = encoder.encode(f.data());
    const auto b = Clock::now();
    if (chunk.bytes.empty()) return run;
    (chunk.keyFrame ? run.keySeconds : run.interSeconds) += seconds(a, b);
    (chunk.keyFrame ? run.keyBytes : run.interBytes) += chunk.bytes.size();
    run.keyFrames += chunk.keyFrame;
    run.bytes += chunk.bytes.size();
    if (!writer.writeFrame(chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()), chunk.keyFrame))
      return run;
  }
  run.ok = writer.close();
  run.seconds = seconds(t0, Clock::now());
  return run;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return at + 4 <= b.size() ? std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
                                  std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24
                            : 0;
}

// Frame bytes and key frames of an AVI: the '00dc' chunks of every movi
// list, the key flags of idx1.
void countFrames(const std::string& path, Run& run) {
  const std::vector<std::uint8_t> b = readFile(path);
  const std::uint32_t kList = ks::fourCC('L', 'I', 'S', 'T');
  for (std::size_t riff = 0; riff + 12 <= b.size();) {
    const std::size_t riffEnd = std::min(b.size(), riff + 8 + u32(b, riff + 4));
    for (std::size_t c = riff + 12; c + 8 <= riffEnd;) {
      const std::uint32_t id = u32(b, c), size = u32(b, c + 4);
      if (id == kList && u32(b, c + 8) == ks::fourCC('m', 'o', 'v', 'i')) {
        for (std::size_t f = c + 12; f + 8 <= c + 8 + size;) {
          const std::uint32_t fsize = u32(b, f + 4);
          if (u32(b, f) == ks::kCompressedFrameChunkId) run.bytes += fsize;
          f += 8 + fsize + (fsize & 1);
        }
      } else if (id == ks::fourCC('i', 'd', 'x', '1')) {
        for (std::size_t e = c + 8; e + 16 <= c + 8 + size; e += 16)
          run.keyFrames += (u32(b, e + 4) & ks::kIndexKeyFrame) != 0;
      }
      c += 8 + size + (size & 1);
    }
    riff = riffEnd + (riffEnd & 1);
  }
}

Run encodeFfmpeg(const std::string& rawPath, const std::string& extra, const std::string& aviPath,
                 const std::string& logPath) {
  Run run;
  const std::string command = "ffmpeg -hide_banner -nostdin -nostats -benchmark -f rawvideo -pix_fmt bgr0 -s " +
                              std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -r " +
                              std::to_string(kRate) + " -i " + rawPath + " -threads 1 -c:v zmbv " + extra +
                              " -g " + std::to_string(kKeyInterval) + " -keyint_min " +
                              std::to_string(kKeyInterval) + " -y " + aviPath + " >" + logPath +
                              " 2>&1";
  if (std::system(command.c_str()) != 0) return run;
  const std::vector<std::uint8_t> log = readFile(logPath);
  const std::string text(log.begin(), log.end());
  const std::size_t at = text.find("rtime=");
  if (at == std::string::npos) return run;
  run.seconds = std::atof(text.c_str() + at + 6);
  countFrames(aviPath, run);
  run.ok = run.seconds > 0;
  return run;
}

// ffmpeg's pictures of our movie against the input, byte for byte.
bool decodesExactly(const std::string& aviPath, const std::string& rawPath) {
  const std::string command = "ffmpeg -v error -nostdin -i " + aviPath + " -f rawvideo -pix_fmt bgr0 - 2>/dev/null";
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return false;
  std::ifstream raw(rawPath, std::ios::binary);
  std::vector<char> a(1 << 20), b(1 << 20);
  bool same = true;
  std::size_t n;
  while ((n = std::fread(a.data(), 1, a.size(), p)) > 0) {
    raw.read(b.data(), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(raw.gcount()) != n || std::memcmp(a.data(), b.data(), n) != 0) same = false;
  }
  raw.peek();
  const bool rawDone = raw.eof();
  return ::pclose(p) == 0 && same && rawDone;
}

void writeRaw(const std::vector<std::vector<std::uint8_t>>& frames, const std::string& path,
              std::int32_t width = kWidth, std::int32_t height = kHeight) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::uint32_t stride = ks::dibStride(width);
  std::vector<std::uint8_t> row(4 * std::size_t(width));
  for (const auto& f : frames)
    for (std::int32_t y = height - 1; y >= 0; --y) {
      const std::uint8_t* p = f.data() + std::size_t{stride} * y;
      for (std::int32_t x = 0; x < width; ++x) {
        row[4 * x] = p[3 * x], row[4 * x + 1] = p[3 * x + 1], row[4 * x + 2] = p[3 * x + 2], row[4 * x + 3] = 0;
      }
      out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
}

void ratioLine(const std::string& name, double value, const char* unit, const std::string& baseline, double base) {
  const int digits = std::strcmp(unit, "fps") == 0 ? 1 : std::strcmp(unit, "s") == 0 ? 2 : 0;
  std::printf("%s: %.*f %s vs %s %.*f %s = %.2fx\n", name.c_str(), digits, value, unit, baseline.c_str(), digits,
              base, unit, base > 0 ? value / base : 0.0);
}

// Our encoder with one setting changed from its defaults at a time.
void sweep(const std::string& clip, const std::vector<std::vector<std::uint8_t>>& frames, const std::string& avi) {
  struct Setting {
    const char* name;
    std::uint8_t block;
    int keyLevel, interLevel;
    double noisyShare;
  };
  const ks::ZmbvOptions d;
  const Setting settings[] = {
      {"defaults", d.blockWidth, d.keyLevel, d.interLevel, d.noisyShare},
      {"blocks8", 8, d.keyLevel, d.interLevel, d.noisyShare},
      {"blocks32", 32, d.keyLevel, d.interLevel, d.noisyShare},
      {"key_level1", d.blockWidth, 1, d.interLevel, d.noisyShare},
      {"key_level9", d.blockWidth, 9, d.interLevel, d.noisyShare},
      {"inter_level1", d.blockWidth, d.keyLevel, 1, d.noisyShare},
      {"inter_level9", d.blockWidth, d.keyLevel, 9, d.noisyShare},
      {"no_rle", d.blockWidth, d.keyLevel, d.interLevel, 2.0},
      {"no_rle_inter_level1", d.blockWidth, d.keyLevel, 1, 2.0},
  };
  for (const Setting& s : settings) {
    ks::ZmbvOptions o;
    o.keyInterval = kKeyInterval;
    o.blockWidth = o.blockHeight = s.block;
    o.keyLevel = s.keyLevel;
    o.interLevel = s.interLevel;
    o.noisyShare = s.noisyShare;
    const Run r = encodeOurs(frames, o, avi);
    const std::string name = "sweep_" + clip + "_" + s.name;
    const int inter = static_cast<int>(frames.size()) - r.keyFrames;
    std::printf("%s_key: %.2f ms %llu bytes a frame\n", name.c_str(), 1e3 * r.keySeconds / std::max(1, r.keyFrames),
                static_cast<unsigned long long>(r.keyBytes / std::max(1, r.keyFrames)));
    std::printf("%s_inter: %.2f ms %llu bytes a frame\n", name.c_str(), 1e3 * r.interSeconds / std::max(1, inter),
                static_cast<unsigned long long>(r.interBytes / std::max(1, inter)));
    std::fflush(stdout);
  }
}


constexpr int kGifFrames = 30;

struct Size {
  std::int32_t width, height;
};
constexpr Size kGifSizes[] = {{1920, 1080}, {1280, 720}};

std::string rawInput(const std::string& rawPath, Size size) {
  return "-f rawvideo -pix_fmt bgr0 -s " + std::to_string(size.width) + "x" + std::to_string(size.height) + " -r " +
         std::to_string(kRate) + " -i " + rawPath;
}

double fileBytes(const std::string& path) { return static_cast<double>(readFile(path).size()); }

// A copy of our GIF as DIR/name.gif when KS_BENCH_KEEP=DIR.
void keepGif(const std::string& path, const std::string& name) {
  const char* dir = std::getenv("KS_BENCH_KEEP");
  if (!dir || !*dir) return;
  const std::vector<std::uint8_t> bytes = readFile(path);
  std::ofstream(std::string(dir) + "/" + name + ".gif", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Our GIF of the frames; its time, or 0 when it failed.
double gifOurs(const std::vector<std::vector<std::uint8_t>>& frames, int n, Size size, const std::string& gifPath) {
  const auto t0 = Clock::now();
  // On one thread: the encoder's work and the writer's, one after the other.
  ks::GifFrameEncoder encoder(size.width, size.height, kRate);
  ks::GifWriter writer;
  if (!writer.open(ks::openFileSink(gifPath), size.width, size.height, kRate)) return 0;
  for (int i = 0; i < n; ++i) {
    const ks::EncodedFrame frame = encoder.encode(frames[i].data());
    if (!writer.writeFrame(static_cast<std::uint64_t>(i), frame.bytes)) return 0;
  }
  if (!writer.close()) return 0;
  return seconds(t0, Clock::now());
}

// ffmpeg's GIF of the raw frames with `filter` (may be empty); its -benchmark
// real time, or 0 when it failed.
double gifFfmpeg(const std::string& rawPath, int n, Size size, const std::string& filter, const std::string& gifPath,
                 const std::string& logPath) {
  const std::string command = "ffmpeg -hide_banner -nostdin -nostats -benchmark " + rawInput(rawPath, size) +
                              " -frames:v " + std::to_string(n) + " -threads 1 " +
                              (filter.empty() ? "" : "-filter_complex '" + filter + "' ") + "-y " + gifPath +
                              " >" + logPath + " 2>&1";
  if (std::system(command.c_str()) != 0) return 0;
  const std::vector<std::uint8_t> log = readFile(logPath);
  const std::string text(log.begin(), log.end());
  const std::size_t at = text.find("rtime=");
  return at == std::string::npos ? 0 : std::atof(text.c_str() + at + 6);
}

constexpr double kInfinite = 99.0;  // dB: ffmpeg's "inf", every picture decoded as it was

// ffmpeg's average PSNR (dB) of a GIF against the first n raw frames.
double gifPsnr(const std::string& gifPath, const std::string& rawPath, int n, Size size, const std::string& logPath) {
  const std::string command = "ffmpeg -hide_banner -nostdin -nostats -i " + gifPath + " " + rawInput(rawPath, size) +
                              " -lavfi '[0:v]format=bgr0,fps=" + std::to_string(kRate) +
                              "[a];[1:v]format=bgr0[b];[a][b]psnr' -frames:v " + std::to_string(n) +
                              " -f null - >" + logPath + " 2>&1";
  if (std::system(command.c_str()) != 0) return 0;
  const std::vector<std::uint8_t> log = readFile(logPath);
  const std::string text(log.begin(), log.end());
  const std::size_t at = text.find("average:");
  if (at == std::string::npos) return 0;
  return text.compare(at + 8, 3, "inf") == 0 ? kInfinite : std::atof(text.c_str() + at + 8);
}

// The most distinct colours in any one of the first n frames.
std::size_t mostColours(const std::vector<std::vector<std::uint8_t>>& frames, int n, Size size) {
  std::vector<std::uint64_t> seen(std::size_t{1} << 18, 0);  // a bit per 24-bit colour
  const std::uint32_t stride = ks::dibStride(size.width);
  std::size_t most = 0;
  for (int i = 0; i < n; ++i) {
    std::size_t count = 0;
    for (int pass = 0; pass < 2; ++pass)
      for (std::int32_t y = 0; y < size.height; ++y) {
        const std::uint8_t* p = frames[i].data() + std::size_t{stride} * y;
        for (std::int32_t x = 0; x < size.width; ++x, p += 3) {
          const std::uint32_t c = std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
          std::uint64_t& word = seen[c >> 6];
          if (pass == 0) {
            count += (word >> (c & 63) & 1) == 0;
            word |= std::uint64_t{1} << (c & 63);
          } else {
            word = 0;
          }
        }
      }
    most = std::max(most, count);
  }
  return most;
}

// Our GIF encoder with other settings, straight into the writer (at 30 a
// second GifFrameEncoder merges nothing): fps, bytes and PSNR of each.
void gifSweep(ks::clips::Clip clip, const std::vector<std::vector<std::uint8_t>>& frames, Size size,
              const std::string& raw, const std::string& base) {
  struct Setting {
    const char* name;
    ks::GifOptions options;
  };
  using Q = ks::GifQuantiser;
  using T = ks::GifTransparency;
  const Setting settings[] = {
      {"defaults", {}},
      {"variance_kmeans0", {Q::VarianceSplit, 0, false, T::Shorter}},
      {"variance_kmeans2", {Q::VarianceSplit, 2, false, T::Shorter}},
      {"variance_kmeans1_fine", {Q::VarianceSplit, 1, true, T::Shorter}},
      {"median_kmeans0", {Q::MedianCut, 0, false, T::Shorter}},
      {"median_kmeans1", {Q::MedianCut, 1, false, T::Shorter}},
      {"transparent_majority", {Q::VarianceSplit, 1, false, T::Majority}},
      {"transparent_shorter", {Q::VarianceSplit, 1, false, T::Shorter}},
      {"transparent_always", {Q::VarianceSplit, 1, false, T::Always}},
      {"transparent_never", {Q::VarianceSplit, 1, false, T::Never}},
  };
  const int n = std::min<int>(kGifFrames, static_cast<int>(frames.size()));
  const std::string gif = base + "_sweep.gif", log = base + "_sweep.log";
  for (const Setting& s : settings) {
    const auto t0 = Clock::now();
    ks::GifEncoder encoder(size.width, size.height, s.options);
    ks::GifWriter writer;
    bool ok = writer.open(ks::openFileSink(gif), size.width, size.height, kRate);
    for (int i = 0; ok && i < n; ++i) {
      const ks::GifFrame frame = encoder.encode(frames[i].data());
      ok = writer.writeFrame(static_cast<std::uint64_t>(i), frame.bytes);
      encoder.accept();
    }
    ok = writer.close() && ok;
    const double time = seconds(t0, Clock::now());
    if (!ok) {
      std::fprintf(stderr, "encoder_bench: gif sweep %s failed\n", s.name);
      continue;
    }
    std::printf("sweep_gif_%s_%dx%d_%s: %.1f fps %.0f bytes %.2f dB\n", ks::clips::clipName(clip).c_str(),
                size.width, size.height, s.name, n / time, fileBytes(gif), gifPsnr(gif, raw, n, size, log));
    keepGif(gif, "sweep_gif_" + ks::clips::clipName(clip) + "_" + std::to_string(size.width) + "x" +
                     std::to_string(size.height) + "_" + s.name);
    std::fflush(stdout);
  }
  for (const std::string& p : {gif, log}) std::remove(p.c_str());
}

// One clip at one size; the goals it misses.
int gifRows(ks::clips::Clip clip, const std::vector<std::vector<std::uint8_t>>& frames, Size size,
            const std::string& raw, const std::string& base) {
  const int n = std::min<int>(kGifFrames, static_cast<int>(frames.size()));
  const std::string name =
      "gif_" + ks::clips::clipName(clip) + "_" + std::to_string(size.width) + "x" + std::to_string(size.height);
  const std::string ours = base + "_ours.gif", single = base + "_ffmpeg.gif", twoPass = base + "_ffmpeg2.gif",
                    log = base + "_gif.log";
  const double mine = gifOurs(frames, n, size, ours);
  const double theirs = gifFfmpeg(raw, n, size, "", single, log);
  const double theirs2 = gifFfmpeg(
      raw, n, size, "[0:v]split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=diff_mode=rectangle",
      twoPass, log);
  if (mine <= 0 || theirs <= 0 || theirs2 <= 0) {
    std::fprintf(stderr, "encoder_bench: %s: %s failed\n", name.c_str(), mine <= 0 ? "our writer" : "ffmpeg");
    return 1;
  }
  const double bytes = fileBytes(ours), bytes2 = fileBytes(twoPass);
  ratioLine(name + "_fps", n / mine, "fps", "ffmpeg_single_pass", n / theirs);
  ratioLine(name + "_fps_vs_two_pass", n / mine, "fps", "ffmpeg_two_pass", n / theirs2);
  ratioLine(name + "_bytes", bytes, "bytes", "ffmpeg_single_pass", fileBytes(single));
  ratioLine(name + "_bytes_vs_two_pass", bytes, "bytes", "ffmpeg_two_pass", bytes2);
  const double psnr = gifPsnr(ours, raw, n, size, log), psnr2 = gifPsnr(twoPass, raw, n, size, log);
  std::printf("%s_psnr: ours %.2f dB, ffmpeg_single_pass %.2f dB, ffmpeg_two_pass %.2f dB (%.0f: inf)\n",
              name.c_str(), psnr, gifPsnr(single, raw, n, size, log), psnr2, kInfinite);
  keepGif(ours, name);
  for (const std::string& p : {ours, single, twoPass, log}) std::remove(p.c_str());

  // The goals: no bigger than the two-pass recipe on screen content (1.2x on
  // the video), no worse PSNR, exact where every frame fits 256 colours; at
  // 1280x720, 60 frames a second on screen content and 30 on the video.
  const bool video = clip == ks::clips::Clip::Video;
  const double sizeLimit = video ? 1.2 : 1.0;
  const std::size_t colours = mostColours(frames, n, size);
  const bool mustBeExact = colours <= 256;
  int missed = 0;
  auto goal = [&](const char* what, bool met, const std::string& figures) {
    std::printf("%s_%s_goal: %s (%s)\n", name.c_str(), what, met ? "PASS" : "FAIL", figures.c_str());
    missed += !met;
  };
  char text[200];
  std::snprintf(text, sizeof text, "%.2fx the two-pass bytes, limit %.1fx", bytes / bytes2, sizeLimit);
  goal("size", bytes <= sizeLimit * bytes2, text);
  std::snprintf(text, sizeof text, "%.2f dB vs %.2f dB; at most %zu colours a frame%s", psnr, psnr2, colours,
                mustBeExact ? ", so exact" : "");
  goal("quality", psnr >= psnr2 && (!mustBeExact || psnr == kInfinite), text);
  if (size.width == 1280 && size.height == 720) {
    const double limit = video ? 30 : 60;
    std::snprintf(text, sizeof text, "%.1f fps, limit %.0f", n / mine, limit);
    goal("speed", n / mine >= limit, text);
  }
  std::fflush(stdout);
  return missed;
}


// MP4 rows.
constexpr int kMp4Frames = 500;
constexpr int kMp4Runs = 7, kMp4SweepRuns = 3;
constexpr const char* kPeerCoding =
    "-c:v libx264 -r 30 -preset ultrafast -tune zerolatency -crf 28 -pix_fmt yuv420p";
constexpr double kMp4CpuLimit = 1.15;  // ours/peer, all clips together

struct Mp4Run {
  std::string coding;
  double bytes = 0, psnr = 0, ssim = 0, seconds = 0, cpu = 0;  // seconds and cpu: medians of the runs
  int frames = 0, keyFrames = 0;
  bool ok = false;
};

std::string commandOutput(const std::string& command) {
  std::string text;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
  ::pclose(p);
  return text;
}

std::string textOf(const std::string& path) {
  const std::vector<std::uint8_t> b = readFile(path);
  return std::string(b.begin(), b.end());
}

// Each argument in single quotes; none has one.
std::string shellWords(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    line += '\'';
    line += a;
    line += '\'';
  }
  return line;
}

double childCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string yuvInput(const std::string& yuvPath) {
  return "-f rawvideo -pix_fmt yuv420p -video_size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
         " -framerate " + std::to_string(kRate) + " -i " + yuvPath;
}

// The number after `key` on the first line of `text` that holds `line`; 0
// when there is none.
double figureAfter(const std::string& text, const char* line, const char* key) {
  const std::size_t at = text.find(line);
  if (at == std::string::npos) return 0;
  const std::size_t k = text.find(key, at);
  if (k == std::string::npos || k > text.find('\n', at)) return 0;
  const char* p = text.c_str() + k + std::strlen(key);
  return std::strncmp(p, "inf", 3) == 0 ? kInfinite : std::atof(p);
}

// `n` frames of the clip as the program sends them: toYuv420 of each
// grabbed picture.
void writeYuv(ks::clips::Clip clip, int n, const std::string& path) {
  ks::clips::ClipPlayer player(clip, kWidth, kHeight);
  std::vector<std::uint8_t> yuv(ks::pixels::yuv420Size(kWidth, kHeight).bytes());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < n; ++i) {
    ks::pixels::toYuv420(player.frame(i).data(), kWidth, kHeight, yuv.data());
    out.write(reinterpret_cast<const char*>(yuv.data()), static_cast<std::streamsize>(yuv.size()));
  }
}

// What converting one 1080p picture of the clip costs, the vector code
// against the plain code (median of 15 conversions each, in turns).
void yuvConversionLine(ks::clips::Clip clip) {
  ks::clips::ClipPlayer player(clip, kWidth, kHeight);
  const std::vector<std::uint8_t> picture = player.frame(5);
  std::vector<std::uint8_t> yuv(ks::pixels::yuv420Size(kWidth, kHeight).bytes());
  std::vector<double> fast, plain;
  for (int i = 0; i < 15; ++i)
    for (const bool vectors : {true, false}) {
      const auto t0 = Clock::now();
      ks::pixels::toYuv420(picture.data(), kWidth, kHeight, yuv.data(), vectors);
      (vectors ? fast : plain).push_back(1000 * seconds(t0, Clock::now()));
    }
  ratioLine("yuv420_" + ks::clips::clipName(clip) + "_ms", median(fast), "ms", "plain_code", median(plain));
}

// Runs `command`; its wall and processor time (every thread of every
// process it starts) go to the back of `walls` and `cpus`.
bool timed(const std::string& command, std::vector<double>& walls, std::vector<double>& cpus) {
  const double cpu0 = childCpuSeconds();
  const auto t0 = Clock::now();
  if (std::system(command.c_str()) != 0) return false;
  walls.push_back(seconds(t0, Clock::now()));
  cpus.push_back(childCpuSeconds() - cpu0);
  return true;
}

// ffmpeg coding the yuv420p frames with each of `codings` into an MP4, in
// turns, `times` times (the machine is shared: the codings compared meet
// the same load, and the median of the runs is taken): the time, the
// file's bytes, its frames and key frames (ffprobe), and PSNR and SSIM
// (ffmpeg's filters) against the same yuv420p frames.
std::vector<Mp4Run> encodeMp4(const std::string& yuv, int n, const std::vector<std::string>& codings, int times,
                              const std::string& base) {
  std::vector<Mp4Run> runs(codings.size());
  const std::string log = base + "_mp4.log";
  auto mp4Of = [&base](std::size_t k) { return base + "_" + std::to_string(k) + ".mp4"; };
  std::vector<std::vector<double>> walls(codings.size()), cpus(codings.size());
  std::vector<bool> failed(codings.size(), false);
  for (int i = 0; i < times; ++i)
    for (std::size_t k = 0; k < codings.size(); ++k) {
      runs[k].coding = codings[k];
      const std::string command = "ffmpeg -hide_banner -nostdin -nostats -loglevel error " + yuvInput(yuv) + " " +
                                  codings[k] + " -y " + mp4Of(k) + " >" + log + " 2>&1";
      if (!failed[k] && !timed(command, walls[k], cpus[k])) {
        std::fprintf(stderr, "encoder_bench: %s\n%s", command.c_str(), textOf(log).c_str());
        failed[k] = true;
      }
    }
  for (std::size_t k = 0; k < runs.size(); ++k) {
    Mp4Run& run = runs[k];
    const std::string mp4 = mp4Of(k);
    if (!failed[k]) {
      run.seconds = median(walls[k]);
      run.cpu = median(cpus[k]);
      run.bytes = fileBytes(mp4);
      std::istringstream packets(
          commandOutput("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " + mp4));
      for (std::string line; std::getline(packets, line);) {
        ++run.frames;
        run.keyFrames += !line.empty() && line[0] == 'K';
      }
      const std::string quality = "ffmpeg -hide_banner -nostdin -nostats -i " + mp4 + " " + yuvInput(yuv) +
                                  " -lavfi '[1:v]split[r1][r2];[0:v][r1]psnr[d];[d][r2]ssim' -f null - >" + log +
                                  " 2>&1";
      if (std::system(quality.c_str()) == 0) {
        const std::string text = textOf(log);
        run.psnr = figureAfter(text, "PSNR y:", "average:");
        run.ssim = figureAfter(text, "SSIM Y:", "All:");
      }
      run.ok = run.frames == n && run.psnr > 0 && run.ssim > 0;
      if (!run.ok)
        std::fprintf(stderr, "encoder_bench: %s: %d of %d frames, PSNR %.2f, SSIM %.4f\n", run.coding.c_str(),
                     run.frames, n, run.psnr, run.ssim);
    }
    std::remove(mp4.c_str());
  }
  std::remove(log.c_str());
  return runs;
}

// ffmpeg's processor time for reading the frames and passing them on
// uncoded: what every run pays besides the coding.
double readingCpu(const std::string& yuv) {
  const std::string command = "ffmpeg -hide_banner -nostdin -nostats -loglevel error " + yuvInput(yuv) + " -f null -";
  std::vector<double> walls, cpus;
  for (int i = 0; i < kMp4Runs; ++i)
    if (!timed(command, walls, cpus)) return 0;
  return median(cpus);
}

// Candidate settings, each against the peer in turns, with our key interval
// unless one says otherwise: the measurements behind addEncoderSettings'
// libx264 line. "lean" is superfast without what costs time or blurs text
// (deblocking, adaptive quantisation, weighted prediction, scene cuts,
// sub-pixel search, inter partitions): ultrafast with 4x4 and 8x8 intra
// prediction and CABAC.
void mp4Sweep(const std::string& clip, const std::string& yuv, int n, double reading, const std::string& base) {
  struct Candidate {
    const char* name;
    std::string settings;
    std::uint32_t keyInterval = kKeyInterval;
  };
  const std::string lean =
      "-preset superfast -tune zerolatency -crf 28 -x264-params "
      "no-deblock=1:aq-mode=0:weightp=0:scenecut=0:subme=0:partitions=none";
  const Candidate candidates[] = {
      {"ultrafast_zerolatency_crf28", "-preset ultrafast -tune zerolatency -crf 28"},
      {"ultrafast_crf28", "-preset ultrafast -crf 28"},
      {"ultrafast_stillimage_crf28", "-preset ultrafast -tune stillimage -crf 28"},
      {"ultrafast_animation_crf28", "-preset ultrafast -tune animation -crf 28"},
      {"ultrafast_zerolatency_crf28_cabac", "-preset ultrafast -tune zerolatency -crf 28 -x264-params cabac=1"},
      {"ultrafast_zerolatency_crf28.3_cabac", "-preset ultrafast -tune zerolatency -crf 28.3 -x264-params cabac=1"},
      {"ultrafast_zerolatency_crf28.5_cabac", "-preset ultrafast -tune zerolatency -crf 28.5 -x264-params cabac=1"},
      {"ultrafast_zerolatency_crf29_cabac", "-preset ultrafast -tune zerolatency -crf 29 -x264-params cabac=1"},
      {"ultrafast_zerolatency_crf28.3_cabac_qcomp0.7",
       "-preset ultrafast -tune zerolatency -crf 28.3 -x264-params cabac=1:qcomp=0.7"},
      {"ultrafast_zerolatency_crf28.3_cabac_chromaqp1",
       "-preset ultrafast -tune zerolatency -crf 28.3 -x264-params cabac=1:chroma-qp-offset=1"},
      {"ultrafast_zerolatency_crf28.3_cabac_threads1",
       "-preset ultrafast -tune zerolatency -crf 28.3 -x264-params cabac=1 -threads 1"},
      {"ultrafast_zerolatency_crf28.3_cabac_keyint250",
       "-preset ultrafast -tune zerolatency -crf 28.3 -x264-params cabac=1", 250},
      {"superfast_zerolatency_crf28", "-preset superfast -tune zerolatency -crf 28"},
      {"lean_crf28", lean},
      {"lean_crf28_cavlc_no8x8", lean + ":cabac=0:8x8dct=0"},
      {"lean_crf28_inter_i4x4", lean + ":partitions=i4x4"},
      {"veryfast_zerolatency_crf23", "-preset veryfast -tune zerolatency -crf 23"},
      {"veryfast_zerolatency_crf28", "-preset veryfast -tune zerolatency -crf 28"},
  };
  for (const Candidate& c : candidates) {
    const std::string coding =
        "-c:v libx264 " + c.settings + " -pix_fmt yuv420p -g " + std::to_string(c.keyInterval);
    const std::vector<Mp4Run> runs = encodeMp4(yuv, n, {coding, kPeerCoding}, kMp4SweepRuns, base);
    const Mp4Run &r = runs[0], &peer = runs[1];
    if (!r.ok || !peer.ok) continue;
    std::printf("sweep_mp4_%s_%s: %.0f bytes (%.3fx) %.2f dB (%+.2f) SSIM %.4f (%+.4f) %.1f fps %.2f s CPU (%.2fx, "
                "coding %.2fx)\n",
                clip.c_str(), c.name, r.bytes, r.bytes / peer.bytes, r.psnr, r.psnr - peer.psnr, r.ssim,
                r.ssim - peer.ssim, n / r.seconds, r.cpu, r.cpu / peer.cpu, (r.cpu - reading) / (peer.cpu - reading));
    std::fflush(stdout);
  }
}

struct Mp4Totals {
  double cpu = 0, peerCpu = 0, reading = 0;
  int missed = 0, failures = 0;
};

// One clip: our settings and the peer's on the same yuv420p frames.
void mp4Rows(ks::clips::Clip clip, int n, const std::string& ourCoding, bool sweeping, const std::string& base,
             Mp4Totals& totals) {
  const std::string clipName = ks::clips::clipName(clip), name = "mp4_" + clipName;
  const std::string yuv = base + ".yuv";
  writeYuv(clip, n, yuv);
  const std::vector<Mp4Run> runs = encodeMp4(yuv, n, {ourCoding, kPeerCoding}, kMp4Runs, base);
  const Mp4Run &ours = runs[0], &peer = runs[1];
  const double reading = readingCpu(yuv);
  if (!ours.ok || !peer.ok || reading <= 0) {
    std::fprintf(stderr, "encoder_bench: %s: %s failed\n", name.c_str(),
                 !ours.ok ? "ours" : !peer.ok ? "the peer line" : "reading alone");
    ++totals.failures;
    std::remove(yuv.c_str());
    return;
  }
  totals.cpu += ours.cpu;
  totals.peerCpu += peer.cpu;
  totals.reading += reading;
  ratioLine(name + "_bytes", ours.bytes, "bytes", "peer", peer.bytes);
  std::printf("%s_psnr: %.2f dB vs peer %.2f dB = %+.2f dB\n", name.c_str(), ours.psnr, peer.psnr,
              ours.psnr - peer.psnr);
  std::printf("%s_ssim: %.4f vs peer %.4f = %+.4f\n", name.c_str(), ours.ssim, peer.ssim, ours.ssim - peer.ssim);
  ratioLine(name + "_fps", n / ours.seconds, "fps", "peer", n / peer.seconds);
  ratioLine(name + "_cpu", ours.cpu, "s", "peer", peer.cpu);
  ratioLine(name + "_cpu_coding", ours.cpu - reading, "s", "peer", peer.cpu - reading);
  std::printf("%s_key_frames: %d frames vs peer %d frames\n", name.c_str(), ours.keyFrames, peer.keyFrames);
  const bool met = ours.bytes <= peer.bytes && ours.psnr > peer.psnr;
  totals.missed += !met;
  std::printf("%s_goal: %s (bytes ours/peer = %.3f, psnr ours-peer = %+.2f dB, ssim ours-peer = %+.4f, cpu ours/peer "
              "= %.2f)\n",
              name.c_str(), met ? "PASS" : "FAIL", ours.bytes / peer.bytes, ours.psnr - peer.psnr,
              ours.ssim - peer.ssim, ours.cpu / peer.cpu);
  std::fflush(stdout);
  if (sweeping) mp4Sweep(clipName, yuv, n, reading, base);
  std::remove(yuv.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bool sweeping = false, gifOnly = false, mp4Only = false;
  std::string onlyClip;
  int given = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sweep") == 0)
      sweeping = true;
    else if (std::strcmp(argv[i], "--gif") == 0)
      gifOnly = true;
    else if (std::strcmp(argv[i], "--mp4") == 0)
      mp4Only = true;
    else if (std::strcmp(argv[i], "--clip") == 0 && i + 1 < argc)
      onlyClip = argv[++i];
    else
      given = std::max(1, std::atoi(argv[i]));
  }
  const int count = given ? given : 90, mp4Count = given ? given : kMp4Frames;
  const std::string dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : ".";
  const std::string base = dir + "/ks_encoder_bench_" + std::to_string(::getpid());
  const std::string raw = base + ".bgr0", ours = base + "_ours.avi", theirs = base + "_ffmpeg.avi",
                    log = base + "_ffmpeg.log";
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "encoder_bench: ffmpeg is not installed\n");
    return 1;
  }
  // Ours is the libx264 part of what a recording runs, for this ffmpeg.
  const ks::FfmpegVersion version = ks::parseFfmpegVersion(commandOutput("ffmpeg -version"));
  const std::string ourCoding = shellWords(ks::videoArgs(ks::kSoftwareEncoder, kRate, version));
  if (!gifOnly) std::printf("mp4_settings: %s (ffmpeg %s)\n", ourCoding.c_str(), version.name.c_str());
  int failures = 0, goalsMissed = 0, gifGoalsMissed = 0;
  Mp4Totals mp4;
  for (const ks::clips::Clip clip : ks::clips::kAllClips) {
    const std::string name = ks::clips::clipName(clip);
    if (!onlyClip.empty() && name != onlyClip) continue;
    if (!gifOnly) yuvConversionLine(clip);
    if (!gifOnly) mp4Rows(clip, mp4Count, ourCoding, sweeping, base, mp4);
    if (mp4Only) continue;
    for (const Size size : kGifSizes) {
      std::vector<std::vector<std::uint8_t>> frames;
      ks::clips::ClipPlayer player(clip, size.width, size.height);
      for (int i = 0; i < std::min(count, kGifFrames); ++i) frames.push_back(player.frame(i));
      writeRaw(frames, raw, size.width, size.height);
      gifGoalsMissed += gifRows(clip, frames, size, raw, base);
      if (sweeping) gifSweep(clip, frames, size, raw, base);
    }
    if (gifOnly) continue;
    std::vector<std::vector<std::uint8_t>> frames;
    {
      ks::clips::ClipPlayer player(clip, kWidth, kHeight);
      for (int i = 0; i < count; ++i) frames.push_back(player.frame(i));
    }
    writeRaw(frames, raw);

    ks::ZmbvOptions options;
    options.keyInterval = kKeyInterval;
    const Run mine = encodeOurs(frames, options, ours);
    const bool exact = mine.ok && decodesExactly(ours, raw);
    const Run fastest = encodeFfmpeg(raw, "-compression_level 1", theirs, log);
    const Run defaults = encodeFfmpeg(raw, "", theirs, log);
    if (!mine.ok || !fastest.ok || !defaults.ok) {
      std::fprintf(stderr, "encoder_bench: %s: %s failed\n", name.c_str(),
                   !mine.ok ? "our encoder" : "ffmpeg");
      ++failures;
      continue;
    }
    const double fps = count / mine.seconds, fastFps = count / fastest.seconds, defFps = count / defaults.seconds;
    ratioLine("zmbv_" + name + "_fps", fps, "fps", "ffmpeg_fastest", fastFps);
    ratioLine("zmbv_" + name + "_bytes", double(mine.bytes), "bytes", "ffmpeg_default", double(defaults.bytes));
    ratioLine("zmbv_" + name + "_fps_vs_default", fps, "fps", "ffmpeg_default", defFps);
    ratioLine("zmbv_" + name + "_bytes_vs_fastest", double(mine.bytes), "bytes", "ffmpeg_fastest",
              double(fastest.bytes));
    std::printf("zmbv_%s_key_frames: %d frames vs ffmpeg_default %d frames = %.2fx\n", name.c_str(),
                mine.keyFrames, defaults.keyFrames, defaults.keyFrames ? double(mine.keyFrames) / defaults.keyFrames : 0.0);
    std::printf("zmbv_%s_exact: %s\n", name.c_str(), exact ? "yes" : "no");
    std::fflush(stdout);
    if (!exact) ++failures;
    if (fps < 2 * fastFps || double(mine.bytes) > 1.2 * double(defaults.bytes)) ++goalsMissed;
    if (sweeping) sweep(name, frames, ours);
  }
  if (!gifOnly && !mp4Only) std::printf("zmbv_goals_missed: %d clips\n", goalsMissed);
  if (!mp4Only) std::printf("gif_goals_missed: %d\n", gifGoalsMissed);
  if (!gifOnly) {
    ratioLine("mp4_cpu", mp4.cpu, "s", "peer", mp4.peerCpu);
    ratioLine("mp4_cpu_coding", mp4.cpu - mp4.reading, "s", "peer", mp4.peerCpu - mp4.reading);
    const bool cpuMet = mp4.cpu <= kMp4CpuLimit * mp4.peerCpu;
    std::printf("mp4_cpu_goal: %s (cpu ours/peer = %.2f over all clips, limit %.2f)\n", cpuMet ? "PASS" : "FAIL",
                mp4.peerCpu > 0 ? mp4.cpu / mp4.peerCpu : 0.0, kMp4CpuLimit);
    std::printf("mp4_goals_missed: %d\n", mp4.missed + !cpuMet);
    failures += mp4.failures;
  }
  for (const std::string& p : {raw, ours, theirs, log}) std::remove(p.c_str());
  return failures == 0 ? 0 : 1;
}
