#include "media/frame_times.h"

#include <algorithm>
#include <utility>

namespace ks {

FrameTimes FrameTimes::constantRate(std::int64_t frames, std::uint32_t rate, std::uint32_t scale) {
  FrameTimes t;
  t.frames_ = std::max<std::int64_t>(frames, 0);
  t.rate_ = std::max<std::uint32_t>(rate, 1);
  t.scale_ = std::max<std::uint32_t>(scale, 1);
  return t;
}

FrameTimes FrameTimes::fromDelays(const std::vector<std::uint16_t>& centiseconds) {
  FrameTimes t;
  t.frames_ = static_cast<std::int64_t>(centiseconds.size());
  t.starts_.reserve(centiseconds.size() + 1);
  std::int64_t at = 0;
  t.starts_.push_back(0);
  for (const std::uint16_t cs : centiseconds) t.starts_.push_back(at += std::int64_t{cs} * 10000);
  return t;
}

FrameTimes FrameTimes::fromStarts(std::vector<std::int64_t> startsMicros) {
  FrameTimes t;
  if (startsMicros.empty()) startsMicros.push_back(0);
  for (std::size_t i = 1; i < startsMicros.size(); ++i)
    startsMicros[i] = std::max(startsMicros[i], startsMicros[i - 1]);
  t.frames_ = static_cast<std::int64_t>(startsMicros.size()) - 1;
  t.starts_ = std::move(startsMicros);
  return t;
}

std::int64_t FrameTimes::startMicros(std::int64_t frame) const {
  frame = std::clamp<std::int64_t>(frame, 0, frames_);
  if (!starts_.empty()) return starts_[static_cast<std::size_t>(frame)];
  // Rounded up, so that frameAt(startMicros(f)) is f; exact in integers (an
  // hour at 60 fps is far from overflowing).
  return (frame * scale_ * 1000000 + rate_ - 1) / rate_;
}

std::int64_t FrameTimes::frameAt(std::int64_t micros) const {
  if (frames_ == 0) return 0;
  std::int64_t frame;
  if (!starts_.empty()) {
    // The last frame that starts at or before `micros`; a frame of no
    // delay is passed over by the one after it.
    const auto after = std::upper_bound(starts_.begin(), starts_.end() - 1, micros);
    frame = static_cast<std::int64_t>(after - starts_.begin()) - 1;
  } else {
    frame = micros < 0 ? 0 : micros * rate_ / (std::int64_t{scale_} * 1000000);
  }
  return std::clamp<std::int64_t>(frame, 0, frames_ - 1);
}

}  // namespace ks
