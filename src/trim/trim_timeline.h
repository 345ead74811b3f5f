// What the trim window shows and moves: a position on a movie's frames, the
// chosen span, and the times as the window writes them. No window in here.
#pragma once

#include <cstdint>
#include <string>

#include "media/frame_times.h"

namespace ks {

// "mm:ss.cc", the minutes as many digits as they need; rounded to the
// nearest centisecond.
std::string clockText(std::int64_t micros);

// A position and a span [start, end] over a movie's frames, both ends
// included; every move keeps start <= end and all three inside the movie.
class TrimSpan {
 public:
  explicit TrimSpan(FrameTimes times);

  const FrameTimes& times() const { return times_; }
  std::int64_t position() const { return position_; }
  std::int64_t start() const { return start_; }
  std::int64_t end() const { return end_; }

  void moveTo(std::int64_t frame);
  void stepFrames(std::int64_t by);    // Right / Left
  void stepSeconds(int by);            // Page Down / Page Up: the frame shown a second on or back
  void toFirst() { moveTo(0); }        // Home
  void toLast() { moveTo(times_.frames() - 1); }  // End
  // The start (end) here; an end before it (a start after it) follows.
  void setStart();
  void setEnd();

  // "01:02.50 / 03:00.00": the position's time and the movie's length.
  std::string positionText() const;
  // "from 00:02.10 to 00:07.50: 5.40 s, 162 frames".
  std::string spanText() const;

 private:
  FrameTimes times_;
  std::int64_t position_ = 0, start_ = 0, end_ = 0;
};

}  // namespace ks
