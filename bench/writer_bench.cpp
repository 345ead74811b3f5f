// Movie writer throughput against a plain sequential write of the same bytes
// through the same file API, on the same filesystem, in the same run.
// Usage: writer_bench [DIR] [FRAMES]   (full-HD frames; default ".", 160)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/avi_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// The baseline: the frames written back to back, one write per frame.
double rawRun(const std::string& path, const std::vector<std::vector<std::uint8_t>>& frames, int count,
              bool sync) {
  const auto t0 = Clock::now();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  for (int i = 0; i < count; ++i) {
    const auto& f = frames[i % frames.size()];
    if (!writeAll(fd, f.data(), f.size())) return -1;
  }
  if (sync && ::fdatasync(fd) != 0) return -1;
  ::close(fd);
  const auto t1 = Clock::now();
  ::unlink(path.c_str());
  return seconds(t0, t1);
}

double writerRun(const std::string& path, const std::vector<std::vector<std::uint8_t>>& frames,
                 const ks::BitmapInfoHeader& fmt, int count, bool sync) {
  ks::AviWriterOptions opt;
  opt.syncOnClose = sync;
  const auto t0 = Clock::now();
  ks::AviWriter writer(opt);
  if (!writer.open(ks::openFileSink(path), fmt, 30)) return -1;
  for (int i = 0; i < count; ++i)
    if (!writer.writeFrame(frames[i % frames.size()].data(), fmt.biSizeImage)) return -1;
  if (!writer.close()) return -1;
  const auto t1 = Clock::now();
  ::unlink(path.c_str());
  return seconds(t0, t1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const int count = argc > 2 ? std::atoi(argv[2]) : 160;
  const ks::BitmapInfoHeader fmt = ks::makeFrameFormat(1920, 1080);
  std::vector<std::vector<std::uint8_t>> frames(4, std::vector<std::uint8_t>(fmt.biSizeImage));
  for (std::size_t k = 0; k < frames.size(); ++k)
    for (std::size_t i = 0; i < frames[k].size(); ++i)
      frames[k][i] = static_cast<std::uint8_t>(i * 31 + k * 7);
  const double megabytes = double(fmt.biSizeImage) * count / 1e6;
  const std::string rawPath = dir + "/writer_bench_raw.bin";
  const std::string aviPath = dir + "/writer_bench.avi";

  for (const bool sync : {false, true}) {
    // Alternate the two, each going first in turn, and keep each one's best
    // of six, so that neither gains from running in a quieter moment.
    double raw = 1e9, avi = 1e9;
    for (int round = 0; round < 6; ++round) {
      double r, a;
      if (round % 2 == 0) {
        r = rawRun(rawPath, frames, count, sync);
        a = writerRun(aviPath, frames, fmt, count, sync);
      } else {
        a = writerRun(aviPath, frames, fmt, count, sync);
        r = rawRun(rawPath, frames, count, sync);
      }
      if (r < 0 || a < 0) {
        std::fprintf(stderr, "writer_bench: writing in %s failed\n", dir.c_str());
        return 1;
      }
      raw = std::min(raw, r);
      avi = std::min(avi, a);
    }
    const double rawRate = megabytes / raw, aviRate = megabytes / avi;
    std::printf("%s: %.0f MB/s vs raw_sequential_write %.0f MB/s = %.2fx\n",
                sync ? "writer_throughput_synced" : "writer_throughput", aviRate, rawRate,
                aviRate / rawRate);
  }
  return 0;
}
