// Click rings and key captions drawn into full-HD pictures, against copying one
// (the least a grabbed frame costs), in the same run:
//   click_rings_{N}_{DPI}dpi  ms a frame to draw N held rings
//   click_rings_goal          PASS when 4 rings at 96 DPI take under 0.5 ms
//   key_captions_{N}_{DPI}dpi ms a frame to draw N captions showing
//   key_captions_goal         PASS when 3 captions at 144 DPI take under 0.5 ms
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/click_marks.h"
#include "platform/headless/block_text_painter.h"
#include "platform/headless/scripted_key_watch.h"
#include "recorder/key_captions.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kWidth = 1920, kHeight = 1080;

// The best of five runs of `frames` calls of `work`, in ms a call.
template <class Work>
double msPerCall(int frames, Work&& work) {
  double best = 1e300;
  for (int run = 0; run < 5; ++run) {
    const auto t0 = Clock::now();
    for (int i = 0; i < frames; ++i) work(i);
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / frames);
  }
  return best;
}

}  // namespace

int main() {
  const std::uint32_t stride = ks::dibStride(kWidth);
  std::vector<std::uint8_t> screen(std::size_t{stride} * kHeight), picture(screen.size());
  for (std::size_t i = 0; i < screen.size(); ++i) screen[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
  const ks::pixels::DibView dib{picture.data(), kWidth, kHeight, stride};

  const double copyMs = msPerCall(200, [&](int) { std::memcpy(picture.data(), screen.data(), screen.size()); });
  std::printf("baseline_copy_1080p: %.3f ms a frame\n", copyMs);

  double goalMs = 0;
  for (const int dpi : {96, 144}) {
    for (const int rings : {1, 4, 16}) {
      ks::ClickMarks marks(dpi);
      for (int r = 0; r < rings; ++r) {
        // Spread over the picture, one for each button in turn, all held.
        const auto button = static_cast<ks::MouseButton>(r % 3);
        marks.add({0, {100 + (r * 397) % 1700, 80 + (r * 263) % 900}, button});
      }
      const double ms = msPerCall(2000, [&](int i) { marks.draw(dib, {0, 0}, i / 30.0); });
      if (marks.held() != static_cast<std::size_t>(rings)) {
        std::printf("click_rings: %zu rings held, %d expected\n", marks.held(), rings);
        return 1;
      }
      std::printf("click_rings_%d_%ddpi: %.4f ms a frame (%.3f of a frame copy)\n", rings, dpi, ms,
                  ms / copyMs);
      if (rings == 4 && dpi == 96) goalMs = ms;
    }
  }
  std::printf("click_rings_goal: %s (%.4f ms a frame with 4 rings, limit 0.5 ms)\n",
              goalMs < 0.5 ? "PASS" : "FAIL", goalMs);

  // Captions held down, so that they show in every frame; their text is
  // drawn once, at the first frame, which the timing leaves out.
  double captionsMs = 0;
  for (const int dpi : {96, 144}) {
    for (const int shown : {1, 3}) {
      ks::ScriptedKeyWatch names;
      ks::BlockTextPainter painter;
      ks::KeyCaptions captions(dpi, {}, [&](const ks::KeyStroke& s) { return names.keyName(s); }, painter);
      captions.add({0, {0xA2, 0, false, true}});
      for (int k = 0; k < shown; ++k) captions.add({0, {'X' + k, 0, false, true}});
      captions.draw(dib, 0);
      // The same four seconds of frames over and over: a key held longer
      // than five seconds counts as released and its caption fades.
      const double ms = msPerCall(2000, [&](int i) { captions.draw(dib, (i % 120) / 30.0); });
      if (captions.shown().size() != static_cast<std::size_t>(shown) || painter.painted.size() != captions.shown().size()) {
        std::printf("key_captions: %zu shown and %zu drawn, %d expected\n", captions.shown().size(),
                    painter.painted.size(), shown);
        return 1;
      }
      std::printf("key_captions_%d_%ddpi: %.4f ms a frame (%.3f of a frame copy)\n", shown, dpi, ms, ms / copyMs);
      if (shown == 3 && dpi == 144) captionsMs = ms;
    }
  }
  std::printf("key_captions_goal: %s (%.4f ms a frame with 3 captions at 144 DPI, limit 0.5 ms)\n",
              captionsMs < 0.5 ? "PASS" : "FAIL", captionsMs);
  return 0;
}
