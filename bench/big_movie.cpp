// Writes one full-HD movie of FRAMES frames (default: just past 4.5 GiB) and
// prints what it wrote. big_movie_check.sh runs it and reads the file back.
// Usage: big_movie PATH [FRAMES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/avi_writer.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH [FRAMES]\n", argv[0]);
    return 2;
  }
  const ks::BitmapInfoHeader fmt = ks::makeFrameFormat(1920, 1080);
  const long long target = 4608ll << 20;  // 4.5 GiB of frames
  const int frames = argc > 2 ? std::atoi(argv[2]) : static_cast<int>(target / fmt.biSizeImage + 1);
  std::vector<std::uint8_t> pic(fmt.biSizeImage);
  for (std::size_t i = 0; i < pic.size(); ++i) pic[i] = static_cast<std::uint8_t>(i * 13);

  const auto t0 = std::chrono::steady_clock::now();
  ks::AviWriter writer;
  if (!writer.open(ks::openFileSink(argv[1]), fmt, 30)) {
    std::fprintf(stderr, "big_movie: cannot create %s\n", argv[1]);
    return 1;
  }
  for (int i = 0; i < frames; ++i) {
    std::memcpy(pic.data(), &i, sizeof i);  // every frame differs
    if (!writer.writeFrame(pic.data(), fmt.biSizeImage)) {
      std::fprintf(stderr, "big_movie: frame %d failed\n", i);
      return 1;
    }
  }
  const int riffs = writer.riffCount();
  if (!writer.close()) {
    std::fprintf(stderr, "big_movie: closing failed\n");
    return 1;
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("big_movie_frames_written: %d frames\n", frames);
  std::printf("big_movie_riffs: %d\n", riffs);
  std::printf("big_movie_write_rate: %.0f MB/s\n", double(fmt.biSizeImage) * frames / 1e6 / s);
  return 0;
}
