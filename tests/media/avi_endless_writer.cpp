// Writes frames into a movie until it is killed, announcing on standard
// output each frame count once the frame is written: "frames N".
// Usage: ks_avi_endless_writer PATH WIDTH HEIGHT RATE [zmbv]
// With zmbv the frames are ZMBV chunks, a key frame every second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "media/avi_writer.h"
#include "media/zmbv_encoder.h"
#include "test_pictures.h"

int main(int argc, char** argv) {
  if (argc != 5 && !(argc == 6 && std::strcmp(argv[5], "zmbv") == 0)) {
    std::fprintf(stderr, "usage: %s PATH WIDTH HEIGHT RATE [zmbv]\n", argv[0]);
    return 2;
  }
  const bool zmbv = argc == 6;
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  const int rate = std::atoi(argv[4]);
  const ks::BitmapInfoHeader fmt = zmbv ? ks::zmbvFrameFormat(width, height) : ks::makeFrameFormat(width, height);
  ks::AviWriterOptions options;
  options.riffLimit = zmbv ? 16 * 1024 : 256 * 1024;  // several RIFFs within seconds
  ks::AviWriter writer(options);
  ks::ZmbvOptions zmbvOptions;
  zmbvOptions.keyInterval = static_cast<std::uint32_t>(rate);
  ks::ZmbvEncoder encoder(width, height, zmbvOptions);
  if (!writer.open(ks::openFileSink(argv[1]), fmt, static_cast<std::uint32_t>(rate))) return 1;
  const auto period = std::chrono::microseconds(1000000 / rate);
  auto next = std::chrono::steady_clock::now();
  for (int i = 0;; ++i) {
    const auto pic = ks::test::makePicture(width, height, i);
    bool ok;
    if (zmbv) {
      const ks::ZmbvChunk chunk = encoder.encode(pic.data());
      ok = !chunk.bytes.empty() &&
           writer.writeFrame(chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()), chunk.keyFrame);
    } else {
      ok = writer.writeFrame(pic.data(), fmt.biSizeImage);
    }
    if (!ok) return 1;
    std::printf("frames %d\n", writer.frameNumber());
    std::fflush(stdout);
    next += period;
    std::this_thread::sleep_until(next);
  }
}
