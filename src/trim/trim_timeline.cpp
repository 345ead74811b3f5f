#include "trim/trim_timeline.h"

#include <algorithm>
#include <cstdio>

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

std::string clockText(std::int64_t micros) {
  const std::int64_t cs = (std::max<std::int64_t>(micros, 0) + 5000) / 10000;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld.%02lld", static_cast<long long>(cs / 6000),
                static_cast<long long>(cs / 100 % 60), static_cast<long long>(cs % 100));
  return text;
}

TrimSpan::TrimSpan(FrameTimes times) : times_(std::move(times)) { end_ = std::max<std::int64_t>(times_.frames() - 1, 0); }

void TrimSpan::moveTo(std::int64_t frame) {
  position_ = std::clamp<std::int64_t>(frame, 0, std::max<std::int64_t>(times_.frames() - 1, 0));
}

void TrimSpan::stepFrames(std::int64_t by) { moveTo(position_ + by); }

void TrimSpan::stepSeconds(int by) {
  const std::int64_t target = times_.frameAt(times_.startMicros(position_) + std::int64_t{by} * 1000000);
  // Frames longer than a second: still move by one at least.
  if (target == position_) stepFrames(by);
  else moveTo(target);
}

void TrimSpan::setStart() {
  start_ = position_;
  end_ = std::max(end_, start_);
}

void TrimSpan::setEnd() {
  end_ = position_;
  start_ = std::min(start_, end_);
}

std::string TrimSpan::positionText() const {
  return clockText(times_.startMicros(position_)) + " / " + clockText(times_.startMicros(times_.frames()));
}

std::string TrimSpan::spanText() const {
  const std::int64_t from = times_.startMicros(start_), to = times_.startMicros(end_ + 1);
  const std::int64_t frames = end_ - start_ + 1;
  const std::int64_t cs = (to - from + 5000) / 10000;
  char length[96];
  std::snprintf(length, sizeof length, ": %lld.%02lld s, %lld frame%s", static_cast<long long>(cs / 100),
                static_cast<long long>(cs % 100), static_cast<long long>(frames), frames == 1 ? "" : "s");
  return "from " + clockText(from) + " to " + clockText(to) + length;
}

}  // namespace ks
