// The sound track on its own, natively:
//   sound_drift_10h_{fast,slow}  the worst distance of a sample from its
//                                timestamp over ten simulated hours of a
//                                device 200 ppm fast or slow, against one
//                                frame at 30 fps
//   sound_cpu                    processor time of placing and mixing two
//                                sources (the work of a recording with
//                                system sound and a microphone), in % of
//                                one core for each second of sound
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "media/sound_track.h"

namespace {

using ks::kSoundRate;

// Ten hours of 10 ms packets from a device `ppm` off, each sample carrying
// its number; returns the worst offset in seconds, checked on every 64th
// sample frame as the track is taken each quarter second.
double drift(double ppm, double hours) {
  ks::SoundTrack track;
  const int lane = track.addLane();
  const double start = 100.0, deviceRate = kSoundRate * (1 + ppm * 1e-6);
  track.begin(start);
  std::vector<std::int16_t> packet(2 * 480), out;
  std::int64_t k = 0;
  double worst = 0;
  const auto end = static_cast<std::int64_t>(hours * 3600 * kSoundRate);
  std::int64_t taken = 0;
  while (taken < end) {
    for (int p = 0; p < 25; ++p, k += 480) {
      for (int i = 0; i < 480; ++i) {
        const std::int64_t n = k + i + 1;
        packet[2 * i] = static_cast<std::int16_t>(n & 0x7FFF);
        packet[2 * i + 1] = static_cast<std::int16_t>((n >> 15) & 0x7FFF);
      }
      track.add(lane, {start + static_cast<double>(k) / deviceRate, packet.data(), 480});
    }
    out.clear();
    const std::int64_t upTo = std::min(end, static_cast<std::int64_t>(static_cast<double>(k) / deviceRate * kSoundRate) - 4800);
    track.take(upTo, out);
    for (std::size_t j = 0; j < out.size() / 2; j += 64) {
      const std::int64_t n = (static_cast<std::int64_t>(out[2 * j + 1]) << 15 | out[2 * j]) - 1;
      if (n < 0) continue;
      // Numbers wrap at 2^30 frames (6.2 hours): the nearest of them.
      const double at = static_cast<double>(taken + static_cast<std::int64_t>(j)) / kSoundRate;
      const double period = static_cast<double>(std::int64_t{1} << 30) / deviceRate;
      double due = static_cast<double>(n) / deviceRate;
      due += std::round((at - due) / period) * period;
      worst = std::max(worst, std::fabs(at - due));
    }
    taken = track.taken();
  }
  return worst;
}

double cpuPercent() {
  ks::SoundTrack track;
  const int a = track.addLane(), b = track.addLane();
  const double start = 0;
  track.begin(start);
  std::vector<std::int16_t> packet(2 * 480), out;
  for (int i = 0; i < 480; ++i) packet[2 * i] = packet[2 * i + 1] = static_cast<std::int16_t>(1000 * std::sin(i * 0.13));
  const int seconds = 600;
  const auto t0 = std::chrono::steady_clock::now();
  for (int s = 0; s < seconds; ++s) {
    for (int p = 0; p < 100; ++p) {
      const double time = s + p * 0.01;
      track.add(a, {time, packet.data(), 480});
      track.add(b, {time + 0.003, packet.data(), 480});
      if (p % 25 == 24) {
        out.clear();
        track.take(static_cast<std::int64_t>((time - 0.3) * kSoundRate), out);
      }
    }
  }
  const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return 100.0 * spent / seconds;
}

}  // namespace

int main() {
  const double frame = 1.0 / 30;
  for (const double ppm : {200.0, -200.0}) {
    const double worst = drift(ppm, 10);
    std::printf("sound_drift_10h_%s: %.3f ms (worst sample from its timestamp, %+.0f ppm) vs one frame at 30 fps "
                "%.1f ms = %.4fx\n",
                ppm > 0 ? "fast" : "slow", worst * 1000, ppm, frame * 1000, worst / frame);
    std::fflush(stdout);
  }
  const double cpu = cpuPercent();
  std::printf("sound_cpu: %.4f %% of one core (two sources placed and mixed) vs budget 1 %% = %.4fx\n", cpu, cpu / 1.0);
  return 0;
}
