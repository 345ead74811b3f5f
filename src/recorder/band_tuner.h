// Chooses, by timing real grabs, how many rows one screen copy takes.
//
// On Windows one copy of the whole region is as fast as it gets. Under Wine
// each copy is an X GetImage request whose reply, once it outgrows the
// socket buffer, makes the X server move its whole pending output for every
// further 64 KiB it queues; the cost then grows with the square of the size,
// and copying in bands that fit the socket buffer is several times faster.
// Which case holds is measured, not guessed: the first grabs of a region try
// each candidate in turn and the fastest is kept.
#pragma once

#include <cstdint>
#include <vector>

namespace ks::pixels {

class BandTuner {
 public:
  // `candidates`: rows per copy, the first being the plain choice (the whole
  // region at once) that another must beat clearly to be taken. Each gets
  // `trials` grabs, taken in turn so that a slow moment hits all alike.
  BandTuner(std::vector<std::int32_t> candidates, int trials);

  bool tuning() const { return !decided_; }
  // Rows per copy for the next grab.
  std::int32_t rows() const;
  // How long the grab made with rows() took.
  void record(double seconds);

 private:
  void decide();

  std::vector<std::int32_t> candidates_;
  std::vector<double> best_;
  int trials_;
  int taken_ = 0;
  bool decided_ = false;
  std::int32_t chosen_ = 0;
};

// The rows per copy worth trying for a width x height region: the whole
// region first, then bands of a few sizes of 32-bit screen data.
std::vector<std::int32_t> bandCandidates(std::int32_t width, std::int32_t height);

}  // namespace ks::pixels
