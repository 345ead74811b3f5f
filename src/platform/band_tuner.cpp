#include "platform/band_tuner.h"

#include <algorithm>
#include <utility>

namespace ks::pixels {

namespace {

// A band must be this much faster than the plain copy to be chosen, so that
// timing noise never moves a platform off its plain path.
constexpr double kRequiredGain = 0.85;

// A plain copy whose recent median grows past this factor is timed anew.
constexpr double kSlowdown = 2.0;

// Sizes of one band, in bytes of 32-bit screen data: from inside what an X
// connection's socket buffer (208 KiB) takes at once to a few times that.
constexpr std::int64_t kBandBytes[] = {96 * 1024, 192 * 1024, 384 * 1024, 512 * 1024};

double median(std::vector<double> values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

}  // namespace

BandTuner::BandTuner(std::vector<std::int32_t> candidates, int trials)
    : candidates_(std::move(candidates)), times_(candidates_.size()), trials_(std::max(trials, 1)) {
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
  if (candidates_.size() <= 1) return;
  if (decided_) {
    // Bands keep their choice: a busy machine slows every candidate alike.
    if (chosen_ != candidates_.front()) return;
    recent_.push_back(seconds);
    if (recent_.size() > static_cast<std::size_t>(trials_)) recent_.erase(recent_.begin());
    if (recent_.size() == static_cast<std::size_t>(trials_) && median(recent_) > chosenTime_ * kSlowdown) {
      restart();
    }
    return;
  }
  times_[static_cast<std::size_t>(taken_) % candidates_.size()].push_back(seconds);
  if (++taken_ == trials_ * static_cast<int>(candidates_.size())) decide();
}

void BandTuner::decide() {
  std::vector<double> typical;
  for (const std::vector<double>& times : times_) typical.push_back(median(times));
  const auto fastest = static_cast<std::size_t>(
      std::min_element(typical.begin(), typical.end()) - typical.begin());
  const std::size_t choice = typical[fastest] < typical.front() * kRequiredGain ? fastest : 0;
  chosen_ = candidates_[choice];
  chosenTime_ = typical[choice];
  decided_ = true;
}

void BandTuner::restart() {
  for (std::vector<double>& times : times_) times.clear();
  recent_.clear();
  taken_ = 0;
  decided_ = false;
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
