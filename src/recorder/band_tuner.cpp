#include "recorder/band_tuner.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace ks::pixels {

namespace {

// A band must be this much faster than the plain copy to be chosen, so that
// timing noise never moves a platform off its plain path.
constexpr double kRequiredGain = 0.85;

// Sizes of one band, in bytes of 32-bit screen data.
constexpr std::int64_t kBandBytes[] = {64 * 1024, 128 * 1024, 512 * 1024};

}  // namespace

BandTuner::BandTuner(std::vector<std::int32_t> candidates, int trials)
    : candidates_(std::move(candidates)),
      best_(candidates_.size(), std::numeric_limits<double>::infinity()),
      trials_(std::max(trials, 1)) {
  if (candidates_.size() <= 1) {
    decided_ = true;
    chosen_ = candidates_.empty() ? 0 : candidates_.front();
  }
}

std::int32_t BandTuner::rows() const {
  if (decided_) return chosen_;
  return candidates_[static_cast<std::size_t>(taken_) % candidates_.size()];
}

void BandTuner::record(double seconds) {
  if (decided_) return;
  double& best = best_[static_cast<std::size_t>(taken_) % candidates_.size()];
  best = std::min(best, seconds);
  if (++taken_ == trials_ * static_cast<int>(candidates_.size())) decide();
}

void BandTuner::decide() {
  const auto fastest = std::min_element(best_.begin(), best_.end()) - best_.begin();
  chosen_ = best_[static_cast<std::size_t>(fastest)] < best_.front() * kRequiredGain
                ? candidates_[static_cast<std::size_t>(fastest)]
                : candidates_.front();
  decided_ = true;
}

std::vector<std::int32_t> bandCandidates(std::int32_t width, std::int32_t height) {
  std::vector<std::int32_t> rows{height};
  const std::int64_t rowBytes = std::int64_t{width} * 4;
  for (const std::int64_t bytes : kBandBytes) {
    const auto band = static_cast<std::int32_t>(std::max<std::int64_t>(1, bytes / rowBytes));
    if (band < height && std::find(rows.begin(), rows.end(), band) == rows.end()) rows.push_back(band);
  }
  return rows;
}

}  // namespace ks::pixels
