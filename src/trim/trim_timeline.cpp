#include "trim/trim_timeline.h"

#include <algorithm>
#include <cstdio>

namespace ks {

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
