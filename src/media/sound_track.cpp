#include "media/sound_track.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ks {

namespace {

constexpr double kRate = kSoundRate;

// The first sample of a packet starting at `time` that lies at or after t.
std::uint32_t firstAtOrAfter(double time, double t, std::uint32_t frames) {
  const double k = std::ceil((t - time) * kRate - 1e-9);
  if (k <= 0) return 0;
  return k >= frames ? frames : static_cast<std::uint32_t>(k);
}

std::int16_t saturated(std::int32_t v) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, std::numeric_limits<std::int16_t>::min(),
                                                            std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

int SoundTrack::addLane() {
  std::lock_guard lock(mutex_);
  lanes_.emplace_back();
  return static_cast<int>(lanes_.size()) - 1;
}

void SoundTrack::begin(double start) {
  std::lock_guard lock(mutex_);
  begun_ = true;
  start_ = start;
}

void SoundTrack::pause(double at) {
  std::lock_guard lock(mutex_);
  if (paused_) return;
  paused_ = true;
  pausedAt_ = at;
}

void SoundTrack::resume(double at) {
  std::lock_guard lock(mutex_);
  if (!paused_) return;
  paused_ = false;
  pauses_.push_back({pausedAt_, std::max(at, pausedAt_)});
}

double SoundTrack::recorded(double t) const {
  std::lock_guard lock(mutex_);
  return recordedLocked(t);
}

double SoundTrack::recordedLocked(double t) const {
  if (!begun_) return 0;
  if (paused_ && t > pausedAt_) t = pausedAt_;
  double r = t - start_;
  for (const Span& p : pauses_) {
    if (t >= p.to) {
      r -= p.to - p.from;
    } else if (t > p.from) {
      r -= t - p.from;
    }
  }
  return r;
}

std::int64_t SoundTrack::taken() const {
  std::lock_guard lock(mutex_);
  return base_;
}

void SoundTrack::add(int lane, const SoundPacket& packet) {
  std::lock_guard lock(mutex_);
  if (!begun_ || lane < 0 || lane >= static_cast<int>(lanes_.size()) || packet.frames == 0) return;
  // What falls before the start or inside a pause is cut out; the rest is
  // placed piece by piece.
  std::vector<std::pair<std::uint32_t, std::uint32_t>>& cuts = cuts_;  // [from, to) sample frames
  cuts.clear();
  const std::uint32_t n = packet.frames;
  cuts.emplace_back(0, firstAtOrAfter(packet.time, start_, n));
  for (const Span& p : pauses_)
    cuts.emplace_back(firstAtOrAfter(packet.time, p.from, n), firstAtOrAfter(packet.time, p.to, n));
  if (paused_) cuts.emplace_back(firstAtOrAfter(packet.time, pausedAt_, n), n);
  std::sort(cuts.begin(), cuts.end());
  std::uint32_t from = 0;
  auto keep = [&](std::uint32_t to) {
    if (to <= from) return;
    place(lanes_[static_cast<std::size_t>(lane)], packet.samples ? packet.samples + 2 * from : nullptr, to - from,
          packet.time + from / kRate);
  };
  for (const auto& [a, b] : cuts) {
    keep(a);
    from = std::max(from, b);
  }
  keep(n);
}

// Puts `frames` samples captured from `time` on where the lane's samples
// go on, unless that is more than kResyncFrames off their timestamp; then
// they go where the timestamp says, and samples that would fall on the
// lane's own earlier ones are dropped. Smaller differences, averaged over
// about 16 packets, are steered away: one sample dropped or repeated per 480
// (2000 ppm at most, ten times what a poor device clock drifts).
void SoundTrack::place(Lane& lane, const std::int16_t* samples, std::uint32_t frames, double time) {
  const double due = recordedLocked(time) * kRate;
  const auto at = static_cast<std::int64_t>(std::llround(due));
  if (!lane.placed) {
    lane.placed = true;
    lane.next = at;
    lane.offset = 0;
  }
  const double raw = static_cast<double>(lane.next) - due;  // > 0: the lane runs late
  if (std::abs(raw) > kResyncFrames) {
    lane.offset = 0;
    const double off = raw;
    if (off > 0) {
      const auto overlap = static_cast<std::uint32_t>(std::min<std::int64_t>(lane.next - at, frames));
      if (samples) samples += 2 * overlap;
      frames -= overlap;
    } else {
      lane.next = at;
    }
    put(lane.next, samples, frames);
    lane.next += frames;
    return;
  }
  lane.offset += (raw - lane.offset) / 16;
  const double off = lane.offset;
  std::int64_t steps = 0;
  if (std::abs(off) > kSteerFrames) {
    steps = std::min<std::int64_t>(std::max<std::int64_t>(1, frames / 480),
                                   static_cast<std::int64_t>(std::abs(off)) - kSteerFrames / 2);
    steps = std::clamp<std::int64_t>(steps, 0, frames / 2);
  }
  if (steps == 0) {
    put(lane.next, samples, frames);
    lane.next += frames;
    return;
  }
  // The packet in steps + 1 pieces; between them one sample is dropped (the
  // lane runs late) or the last one repeated (it runs early).
  const bool drop = off > 0;
  std::uint32_t done = 0;
  for (std::int64_t k = 0; k <= steps; ++k) {
    const auto end = static_cast<std::uint32_t>(frames * (k + 1) / (steps + 1));
    if (end > done) {
      put(lane.next, samples ? samples + 2 * done : nullptr, end - done);
      lane.next += end - done;
    }
    if (k == steps) break;
    if (drop) {
      done = std::min(end + 1, frames);
    } else {
      if (end > 0) put(lane.next, samples ? samples + 2 * (end - 1) : nullptr, 1);
      ++lane.next;
      done = end;
    }
  }
}

void SoundTrack::put(std::int64_t at, const std::int16_t* samples, std::uint32_t frames) {
  if (!samples || frames == 0) return;  // silence adds nothing
  std::int64_t first = std::max(at, base_);
  const std::int64_t last = std::min(at + frames, base_ + kMaxAheadFrames);
  if (first >= last) return;
  const auto needed = front_ + static_cast<std::size_t>(2 * (last - base_));
  if (mix_.size() < needed) mix_.resize(needed, 0);
  std::int32_t* out = mix_.data() + front_ + 2 * (first - base_);
  const std::int16_t* in = samples + 2 * (first - at);
  for (; first < last; ++first) {
    *out++ += *in++;
    *out++ += *in++;
  }
}

std::size_t SoundTrack::take(std::int64_t end, std::vector<std::int16_t>& out) {
  std::lock_guard lock(mutex_);
  if (end <= base_) return 0;
  const auto n = static_cast<std::size_t>(end - base_);
  if (mix_.size() < front_ + 2 * n) mix_.resize(front_ + 2 * n, 0);
  const std::size_t at = out.size();
  out.resize(at + 2 * n);
  const std::int32_t* in = mix_.data() + front_;
  for (std::size_t i = 0; i < 2 * n; ++i) out[at + i] = saturated(in[i]);
  front_ += 2 * n;
  base_ = end;
  // What was taken leaves the buffer once it is the larger part: what is
  // ahead of it moves down, seldom and never more than it is.
  if (2 * front_ >= mix_.size()) {
    mix_.erase(mix_.begin(), mix_.begin() + static_cast<std::ptrdiff_t>(front_));
    front_ = 0;
  }
  return n;
}

}  // namespace ks
