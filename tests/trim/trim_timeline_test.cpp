#include "trim/trim_timeline.h"

#include <gtest/gtest.h>

#include <functional>

namespace ks {
namespace {

TEST(TrimSpan, KeysMoveThePositionAndTheSpanAsTheWindowWritesThem) {
  struct Case {
    const char* what;
    FrameTimes times;
    std::function<void(TrimSpan&)> keys;
    std::int64_t position, start, end;
    const char* positionText;
    const char* spanText;
  };
  const FrameTimes at30 = FrameTimes::constantRate(300, 30, 1);
  const FrameTimes ntsc = FrameTimes::constantRate(3600, 30000, 1001);
  // A GIF: 10 frames of 10 cs, one of 2.5 s, 5 of 4 cs.
  std::vector<std::uint16_t> delays(10, 10);
  delays.push_back(250);
  delays.insert(delays.end(), 5, 4);
  const FrameTimes gif = FrameTimes::fromDelays(delays);
  const Case cases[] = {
      {"opens at the first frame with all of it chosen", at30, [](TrimSpan&) {}, 0, 0, 299, "00:00.00 / 00:10.00",
       "from 00:00.00 to 00:10.00: 10.00 s, 300 frames"},
      {"start at 2.10 s, end at the frame that ends at 7.50 s", at30,
       [](TrimSpan& s) { s.moveTo(63); s.setStart(); s.moveTo(224); s.setEnd(); }, 224, 63, 224, "00:07.47 / 00:10.00",
       "from 00:02.10 to 00:07.50: 5.40 s, 162 frames"},
      {"frames and seconds on and back", at30,
       [](TrimSpan& s) { s.stepSeconds(2); s.stepFrames(5); s.stepFrames(-1); s.stepSeconds(-1); }, 34, 0, 299,
       "00:01.13 / 00:10.00", "from 00:00.00 to 00:10.00: 10.00 s, 300 frames"},
      {"nothing moves past either end", at30,
       [](TrimSpan& s) { s.stepFrames(-1); s.stepSeconds(-1); s.toLast(); s.stepFrames(1); s.stepSeconds(3); }, 299, 0,
       299, "00:09.97 / 00:10.00", "from 00:00.00 to 00:10.00: 10.00 s, 300 frames"},
      {"a start past the end takes the end along: one frame", at30,
       [](TrimSpan& s) { s.moveTo(100); s.setEnd(); s.moveTo(150); s.setStart(); }, 150, 150, 150,
       "00:05.00 / 00:10.00", "from 00:05.00 to 00:05.03: 0.03 s, 1 frame"},
      {"an end before the start takes the start along", at30,
       [](TrimSpan& s) { s.moveTo(200); s.setStart(); s.toFirst(); s.setEnd(); }, 0, 0, 0, "00:00.00 / 00:10.00",
       "from 00:00.00 to 00:00.03: 0.03 s, 1 frame"},
      {"29.97 fps: times from the exact rate", ntsc, [](TrimSpan& s) { s.toLast(); s.setStart(); }, 3599, 3599, 3599,
       "02:00.09 / 02:00.12", "from 02:00.09 to 02:00.12: 0.03 s, 1 frame"},
      {"a GIF's delays: a second on lands in the long frame, then past it", gif,
       [](TrimSpan& s) { s.stepSeconds(1); s.setStart(); s.stepSeconds(1); }, 11, 10, 15, "00:03.50 / 00:03.70",
       "from 00:01.00 to 00:03.70: 2.70 s, 6 frames"},
      {"a GIF: a second back from after the long frame lands in it", gif,
       [](TrimSpan& s) { s.moveTo(11); s.stepSeconds(-1); }, 10, 0, 15, "00:01.00 / 00:03.70",
       "from 00:00.00 to 00:03.70: 3.70 s, 16 frames"},
  };
  for (const Case& c : cases) {
    TrimSpan span(c.times);
    c.keys(span);
    EXPECT_EQ(span.position(), c.position) << c.what;
    EXPECT_EQ(span.start(), c.start) << c.what;
    EXPECT_EQ(span.end(), c.end) << c.what;
    EXPECT_EQ(span.positionText(), c.positionText) << c.what;
    EXPECT_EQ(span.spanText(), c.spanText) << c.what;
  }
  EXPECT_EQ(clockText(3600LL * 1000000 * 2 + 4995), "120:00.00");
}

}  // namespace
}  // namespace ks
