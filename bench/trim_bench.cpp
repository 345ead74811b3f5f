// Trimming against copying the file, in the same run on the same disk:
//   trim_uncompressed_mb_per_s  a trim of a 2 GiB 1920x1080 uncompressed
//                               movie with sound (all but 10 frames at each
//                               end) against copying the whole file
//   trim_zmbv_CLIP_mb_per_s     the same for a 1080p ZMBV movie of the
//                               editor (1 min) and the video clip (2 GB), cut after a key frame
//                               so that the frames up to the next are coded
//   seek_1080p_zmbv_CLIP_ms     a random frame of that ZMBV movie decoded from
//                               the key frame before it: median and worst
//   step_1080p_mp4_ms           an H.264 MP4 of the editor clip (made by the
//                               ffmpeg on PATH) through the trim source: its
//                               first picture (ffmpeg starting at the key frame
//                               before it), each of 60 steps on, each of 30
//                               steps back
//   trim_mp4_s                  its cut of all but 10 frames at each end
// Usage: trim_bench [DIR] [MIB]   (default ".", 2048)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "media/avi_movie_reader.h"
#include "media/avi_trim.h"
#include "media/avi_writer.h"
#include "media/byte_source.h"
#include "media/movie_pictures.h"
#include "media/mp4_trim_source.h"
#include "media/trim_source.h"
#include "platform/posix/programs_posix.h"
#include "media/zmbv_encoder.h"
#include "screen_clips.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kWidth = 1920, kHeight = 1080;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The baseline: what a user's file copy does, 4 MiB at a time.
double copyFile(const std::string& from, const std::string& to) {
  const auto t0 = Clock::now();
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (in < 0 || out < 0) return -1;
  std::vector<char> buffer(4 << 20);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) return -1;
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w <= 0) return -1;
      done += w;
    }
  }
  ::close(in);
  ::close(out);
  const double s = seconds(t0, Clock::now());
  ::unlink(to.c_str());
  return s;
}

double trimFile(const std::string& from, const std::string& to, std::int64_t first, std::int64_t last,
                std::uint64_t& written) {
  const auto t0 = Clock::now();
  auto bytes = ks::openByteFile(from);
  if (!bytes) return -1;
  auto reader = ks::AviMovieReader::open(std::move(bytes.value()));
  if (!reader) return -1;
  const ks::TrimOutcome o = ks::trimAvi(reader.value(), first, last, ks::openFileSink(to));
  const double s = seconds(t0, Clock::now());
  if (auto made = ks::openByteFile(to)) written = made.value()->size();
  ::unlink(to.c_str());
  return o.ok() ? s : -1;
}

bool writeUncompressed(const std::string& path, std::uint64_t bytes, std::int64_t& frames) {
  ks::AviWriter writer;
  const ks::BitmapInfoHeader format = ks::makeFrameFormat(kWidth, kHeight);
  if (!writer.open(ks::openFileSink(path), format, 30, ks::WaveFormat{})) return false;
  ks::clips::ClipPlayer player(ks::clips::Clip::Editor, kWidth, kHeight);
  std::vector<std::uint8_t> sound(1600 * 4, 7);
  frames = static_cast<std::int64_t>(bytes / format.biSizeImage);
  for (std::int64_t i = 0; i < frames; ++i) {
    const std::vector<std::uint8_t>& picture = player.frame(static_cast<int>(i % 30));
    if (!writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())) ||
        !writer.writeFrame(picture.data(), format.biSizeImage))
      return false;
  }
  return writer.close();
}

bool writeZmbv(const std::string& path, ks::clips::Clip clip, int frames) {
  ks::AviWriter writer;
  if (!writer.open(ks::openFileSink(path), ks::zmbvFrameFormat(kWidth, kHeight), 30, ks::WaveFormat{})) return false;
  ks::ZmbvEncoder encoder(kWidth, kHeight);
  ks::clips::ClipPlayer player(clip, kWidth, kHeight);
  std::vector<std::uint8_t> sound(1600 * 4, 7);
  for (int i = 0; i < frames; ++i) {
    const ks::ZmbvChunk chunk = encoder.encode(player.frame(i).data());
    if (!writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())) ||
        !writer.writeFrame(chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()), chunk.keyFrame))
      return false;
  }
  return writer.close();
}

// Three runs of each in turns; the medians. The trim's rate is that of the
// bytes it wrote.
void compare(const std::string& name, const std::string& movie, std::int64_t first, std::int64_t last) {
  std::vector<double> copies, trims;
  std::uint64_t written = 0;
  for (int run = 0; run < 3; ++run) {
    copies.push_back(copyFile(movie, movie + ".copy"));
    trims.push_back(trimFile(movie, movie + ".trim", first, last, written));
  }
  if (*std::min_element(copies.begin(), copies.end()) < 0 || *std::min_element(trims.begin(), trims.end()) < 0) {
    std::printf("%s: failed\n", name.c_str());
    return;
  }
  auto source = ks::openByteFile(movie);
  const double mb = static_cast<double>(source.value()->size()) / 1e6, kept = static_cast<double>(written) / 1e6;
  const double trimRate = kept / median(trims), copyRate = mb / median(copies);
  std::printf("%s: %.0f MB/s vs file_copy %.0f MB/s = %.2fx (%.0f of %.0f MB, frames %lld-%lld, %.2f s vs %.2f s, "
              "goal 0.8x)\n",
              name.c_str(), trimRate, copyRate, trimRate / copyRate, kept, mb, static_cast<long long>(first),
              static_cast<long long>(last), median(trims), median(copies));
  std::fflush(stdout);
}

std::string ffmpegOnPath(ks::PosixPrograms& programs) {
  for (const std::string& folder : programs.searchPath())
    if (programs.isFile(programs.executableIn(folder, "ffmpeg"))) return programs.executableIn(folder, "ffmpeg");
  return {};
}

// The steps' times; 0 in the first when a picture failed.
struct Steps {
  double first = 0;
  std::vector<double> on, back;
};

void mp4Rows(const std::string& zmbv, int frames) {
  ks::PosixPrograms programs;
  const std::string ffmpeg = ffmpegOnPath(programs);
  const std::string mp4 = zmbv + ".mp4";
  if (ffmpeg.empty() ||
      std::system(("'" + ffmpeg + "' -v error -nostdin -y -i '" + zmbv +
                   "' -c:v libx264 -preset ultrafast -tune zerolatency -g 60 -pix_fmt yuv420p '" + mp4 + "'")
                      .c_str()) != 0) {
    std::printf("step_1080p_mp4_ms: no ffmpeg to make the movie\n");
    return;
  }
  ks::FfmpegTool tool{&programs, ffmpeg,
                      ks::parseFfmpegVersion(ks::runProgram(programs, ffmpeg, {"-version"}, 20).output)};
  auto opened = ks::openTrimSource(mp4, [&]() -> ks::ReadResult<ks::FfmpegTool> { return tool; });
  if (!opened) {
    std::printf("step_1080p_mp4_ms: %s\n", opened.error().c_str());
    return;
  }
  ks::TrimSource& movie = *opened.value();
  Steps steps;
  const auto timed = [&](std::int64_t frame) {
    const auto t0 = Clock::now();
    const bool ok = static_cast<bool>(movie.picture(frame));
    return ok ? 1000 * seconds(t0, Clock::now()) : -1.0;
  };
  const std::int64_t start = 61 + 60 * 11;
  steps.first = timed(start);
  for (std::int64_t f = start + 1; f <= start + 60; ++f) steps.on.push_back(timed(f));
  for (std::int64_t f = start + 59; f >= start + 30; --f) steps.back.push_back(timed(f));
  for (std::int64_t f = start + 29; f >= start; --f) steps.back.push_back(timed(f));
  const auto worst = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
  std::printf("step_1080p_mp4_ms: first %.0f ms; on %.1f ms median, %.1f worst; back %.1f ms median, %.1f worst "
              "(60 steps each way from frame %lld, key frame each 60)\n",
              steps.first, median(steps.on), worst(steps.on), median(steps.back), worst(steps.back),
              static_cast<long long>(start));
  auto file = ks::openFileSink(mp4 + ".trim");
  const auto t0 = Clock::now();
  const ks::TrimOutcome o = movie.save(10, frames - 11, mp4 + ".trim", std::move(file), {});
  std::printf("trim_mp4_s: %.2f s for %lld frames of 1080p (%s)\n", seconds(t0, Clock::now()),
              static_cast<long long>(o.frames), o.ok() ? "done" : o.detail.c_str());
  std::fflush(stdout);
  ::unlink(mp4.c_str());
  ::unlink((mp4 + ".trim").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const std::uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2048;
  const std::string raw = dir + "/trim_bench_raw.avi", zmbv = dir + "/trim_bench_zmbv.avi";

  std::int64_t frames = 0;
  if (!writeUncompressed(raw, mib << 20, frames)) {
    std::fprintf(stderr, "trim_bench: could not write %s\n", raw.c_str());
    return 1;
  }
  compare("trim_uncompressed_mb_per_s", raw, 10, frames - 11);
  ::unlink(raw.c_str());

  // Screen work (the editor) and the hardest case for ZMBV (the video).
  struct Zmbv {
    ks::clips::Clip clip;
    int frames;
  };
  for (const Zmbv z : {Zmbv{ks::clips::Clip::Editor, 1800}, Zmbv{ks::clips::Clip::Video, 2000}}) {
    const std::string name = ks::clips::clipName(z.clip);
    if (!writeZmbv(zmbv, z.clip, z.frames)) {
      std::fprintf(stderr, "trim_bench: could not write %s\n", zmbv.c_str());
      return 1;
    }
    // Frame 61 is one after a key frame: 59 frames are coded before copying.
    compare("trim_zmbv_" + name + "_mb_per_s", zmbv, 61, z.frames - 11);
    auto bytes = ks::openByteFile(zmbv);
    if (!bytes) return 1;
    auto reader = ks::AviMovieReader::open(std::move(bytes.value()));
    if (!reader) return 1;
    std::mt19937 random(11);
    std::vector<double> ms;
    for (int n = 0; n < 40; ++n) {
      const auto frame = static_cast<std::size_t>(random() % static_cast<unsigned>(z.frames));
      auto opened = ks::MoviePictures::open(reader.value());  // no picture kept from before
      const auto t0 = Clock::now();
      if (!opened || !opened.value().seek(frame)) return 1;
      ms.push_back(1000 * seconds(t0, Clock::now()));
    }
    std::printf("seek_1080p_zmbv_%s_ms: %.1f ms median, %.1f ms worst (40 random frames, key frame each 60)\n",
                name.c_str(), median(ms), *std::max_element(ms.begin(), ms.end()));
    std::fflush(stdout);
    if (z.clip == ks::clips::Clip::Editor) mp4Rows(zmbv, z.frames);
    ::unlink(zmbv.c_str());
  }
  return 0;
}
