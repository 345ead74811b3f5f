// Chooses, by timing real grabs, how many rows one screen copy takes.
//
// On Windows one copy of the whole region is as fast as it gets. Under Wine
// each copy is one X GetImage request, and the X server queues whatever part
// of a reply the client's socket does not take at once, moving or
// reallocating all that is still queued for every further 64 KiB it adds.
// When the client does not read as fast as the server writes (two busy
// cores), a 1080p reply takes ten times as long as the same bytes in bands;
// bands whose replies fit the socket buffer never queue. Which case holds is measured,
// not guessed: the first grabs of a region try each candidate in turn, the
// fastest is kept, and a kept plain copy that becomes much slower (the
// machine grew busy) is timed anew.
#pragma once

#include <cstdint>
#include <vector>

namespace ks::pixels {

class BandTuner {
 public:
  // `candidates`: rows per copy, the first being the plain choice (the whole
  // region at once) that another must beat clearly to be taken. Each gets
  // `trials` grabs, taken in turn so that a slow moment hits all alike, and
  // is judged by its median time: a copy that is only sometimes fast loses.
  BandTuner(std::vector<std::int32_t> candidates, int trials);

  bool tuning() const { return !decided_; }
  // Rows per copy for the next grab.
  std::int32_t rows() const;
  // How long the grab made with rows() took.
  void record(double seconds);

 private:
  void decide();
  void restart();

  std::vector<std::int32_t> candidates_;
  std::vector<std::vector<double>> times_;  // per candidate, while tuning
  std::vector<double> recent_;              // the plain copy's last times
  int trials_;
  int taken_ = 0;
  bool decided_ = false;
  std::int32_t chosen_ = 0;
  double chosenTime_ = 0;  // its median when it was chosen
};

// The rows per copy worth trying for a width x height region: the whole
// region first, then bands of a few sizes of 32-bit screen data.
std::vector<std::int32_t> bandCandidates(std::int32_t width, std::int32_t height);

}  // namespace ks::pixels
