// When each frame of a movie starts: what a reader of a movie knows of its
// timing, whatever its format.
#pragma once

#include <cstdint>
#include <vector>

namespace ks {

// When each frame of a movie starts, in microseconds: from a constant rate
// (an AVI's scale/rate), from per-frame delays (a GIF's centiseconds) or
// from the starts themselves (an MP4's presentation times).
class FrameTimes {
 public:
  FrameTimes() = default;
  // `frames` frames at rate/scale a second (rate, scale > 0).
  static FrameTimes constantRate(std::int64_t frames, std::uint32_t rate, std::uint32_t scale);
  // One frame per delay, each shown for its delay in centiseconds.
  static FrameTimes fromDelays(const std::vector<std::uint16_t>& centiseconds);
  // Frames starting at the given times, the last entry the end of the last
  // frame (so frames + 1 entries); a time before the one ahead of it is
  // taken as that one.
  static FrameTimes fromStarts(std::vector<std::int64_t> startsMicros);

  std::int64_t frames() const { return frames_; }
  // Start of frame `frame`; frames() gives the end of the last one.
  std::int64_t startMicros(std::int64_t frame) const;
  // The frame shown at `micros` (clamped to the movie).
  std::int64_t frameAt(std::int64_t micros) const;

 private:
  std::int64_t frames_ = 0;
  std::uint32_t rate_ = 0, scale_ = 1;
  std::vector<std::int64_t> starts_;  // with delays or starts: frames_ + 1 entries
};

}  // namespace ks
