// Writes frames into a movie until it is killed, announcing on standard
// output each frame count once the frame is written: "frames N".
// Usage: ks_avi_endless_writer PATH WIDTH HEIGHT RATE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "media/avi_writer.h"
#include "test_pictures.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s PATH WIDTH HEIGHT RATE\n", argv[0]);
    return 2;
  }
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  const int rate = std::atoi(argv[4]);
  const ks::BitmapInfoHeader fmt = ks::makeFrameFormat(width, height);
  ks::AviWriterOptions options;
  options.riffLimit = 256 * 1024;  // several RIFFs within seconds
  ks::AviWriter writer(options);
  if (!writer.open(ks::openFileSink(argv[1]), fmt, static_cast<std::uint32_t>(rate))) return 1;
  const auto period = std::chrono::microseconds(1000000 / rate);
  auto next = std::chrono::steady_clock::now();
  for (int i = 0;; ++i) {
    const auto pic = ks::test::makePicture(width, height, i);
    if (!writer.writeFrame(pic.data(), fmt.biSizeImage)) return 1;
    std::printf("frames %d\n", writer.frameNumber());
    std::fflush(stdout);
    next += period;
    std::this_thread::sleep_until(next);
  }
}
