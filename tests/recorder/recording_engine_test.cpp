// The recording session, its schedule and its calibration on their own: a
// fake clock, a painted screen, movies in memory and a host that stands for
// the program around it.
#include "recorder/recording_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "media/avi_reader.h"
#include "platform/headless/synthetic_audio.h"
#include "recorder/recorder_host.h"
#include "support/failing_allocations.h"
#include "support/failing_encoder.h"
#include "support/memory_movie_files.h"
#include "support/timed_grabber.h"
#include "support/watchdog.h"

namespace ks::test {
namespace {

// The program's rate list, in its order.
const std::vector<std::string> kRates = {"1", "2", "3", "4", "5", "10", "15", "20", "30", "40", "50", "60"};

int rateIndex(const std::string& rate) {
  for (std::size_t k = 0; k < kRates.size(); ++k)
    if (kRates[k] == rate) return static_cast<int>(k);
  return -1;
}

// The program around the session: waiting lets the fake time pass, up to
// the moment Stop arrives; events are work posted for the next doEvents.
class FakeHost final : public RecorderHost {
 public:
  explicit FakeHost(FakeClock& clock) : clock_(clock) {}

  void doEvents() override {
    ++doEventsCalls;
    std::deque<std::function<void()>> batch;
    batch.swap(events);
    for (auto& event : batch) event();
  }
  void waitUntil(double dueTime) override {
    ++waits;
    if (!precise) ++impreciseWaits;
    const double now = clock_.now();
    double until = stopPosted ? dueTime : std::min(dueTime, stopAt);
    if (!timeline.empty()) until = std::min(until, timeline.front().first);
    if (until > now) clock_.advance(until - now);
    timePassed();
  }
  void setPreciseWaits(bool on) override { precise = on; }
  bool ended() const override { return programEnded; }

  // Posts `stop` once the clock reaches stopAt, and what the timeline holds
  // once its time comes: the user's clicks as they arrive.
  void timePassed() {
    if (onTime) onTime();
    while (!timeline.empty() && clock_.now() >= timeline.front().first) {
      events.push_back(timeline.front().second);
      timeline.pop_front();
    }
    if (!stopPosted && clock_.now() >= stopAt) {
      stopPosted = true;
      events.push_back(stop);
    }
  }

  int doEventsCalls = 0;
  int waits = 0;
  int impreciseWaits = 0;
  bool precise = false;
  std::deque<std::function<void()>> events;
  double stopAt = std::numeric_limits<double>::infinity();
  bool stopPosted = false;
  std::function<void()> stop;
  std::function<void()> onTime;  // the clock may have moved
  bool programEnded = false;
  std::deque<std::pair<double, std::function<void()>>> timeline;  // in time order

 private:
  FakeClock& clock_;
};

// The session with everything it runs on, and what its events told the
// forms: the label, the rate list's selection.
struct EngineRig {
  FakeClock clock;
  HeadlessScreen screen;
  TimedGrabber grabber{screen, clock};
  MemoryMovieFiles movies;
  FakeHost host{clock};
  SyntheticAudioDevices audio{clock};
  RecordingSession session{clock, grabber, movies, host, &audio};
  RecordingSettings settings;
  int selected = 0;  // the rate list's selection
  int selections = 0;
  std::string label = "00:00";
  std::vector<std::string> shown;
  int progressCalls = 0;
  int repaints = 0;
  // Only the calibration runs: the session ends once it has chosen.
  bool calibrationOnly = false;
  Watchdog watchdog;

  // A rig's recordings end within `bound` seconds or fail the test.
  explicit EngineRig(int bound = 60) : watchdog("the recording session", bound) {
    screen.setCursorVisible(false);
    grabber.timePassed = [this] { host.timePassed(); };
    host.stop = [this] { session.stop(); };
    host.onTime = [this] { audio.pump(); };
    settings.region = {150, 171, 308, 256};
    for (const std::string& r : kRates) settings.rates.push_back(std::atof(r.c_str()));
    session.events.onProgress = [this](const std::string& text, bool repaintNow) {
      ++progressCalls;
      if (text != label) shown.push_back(text);
      label = text;
      if (repaintNow) ++repaints;
    };
    session.events.onRateCalibrated = [this](int index) {
      selected = index;
      ++selections;
    };
  }
  std::string rateText() const { return kRates.at(static_cast<std::size_t>(selected)); }
  void stopAfter(double seconds) {
    host.stopAt = clock.now() + seconds;
    host.stopPosted = false;
  }
  // Records at the list's selection, as the bar starts the session.
  RunEnd start(const std::string& path, bool calibrate) {
    settings.path = path;
    settings.rate = settings.rates.at(static_cast<std::size_t>(selected));
    settings.calibrate = calibrate;
    settings.calibrateOnly = calibrate && calibrationOnly;
    EXPECT_TRUE(session.start(settings));
    return session.lastOutcome().end;
  }
  RunEnd record(const std::string& path, const std::string& rate, double seconds) {
    selected = rateIndex(rate);
    stopAfter(seconds);
    return start(path, false);
  }
  // The calibration alone: Stop comes once it has chosen, or earlier.
  RunEnd calibrate(const std::string& path, double stopAfterSeconds = 1e9) {
    calibrationOnly = true;
    stopAfter(stopAfterSeconds);
    const RunEnd end = start(path, true);
    calibrationOnly = false;
    return end;
  }
  const RunFigures& figures() const { return session.figures(); }
  AviFile movie(const std::string& path) { return parseAvi(movies.files.at(path)->bytes); }
  std::uint32_t frameTime(const std::string& path, int k) {
    const auto& bytes = movies.files.at(path)->bytes;
    return paintedTime(bytes.data() + movie(path).frames.at(static_cast<std::size_t>(k)).offset + 8);
  }
  void expectReleased() {
    EXPECT_FALSE(session.MovieOpen());
    EXPECT_EQ(grabber.buffersHeld(), 0);
    EXPECT_EQ(session.state(), SessionState::Idle);
  }
};

class RecordingEngineTest : public ::testing::Test, public EngineRig {};

TEST(ElapsedText, MinutesAndSecondsOfWholeSeconds) {
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {{0, "00:00"}, {0.99, "00:00"}, {75, "01:15"}, {75.9, "01:15"}, {3723, "02:03"},
               {3599.5, "59:59"}, {3600, "00:00"}, {-0.4, "00:00"}};
  for (const auto& c : cases) EXPECT_EQ(formatElapsed(c.seconds), c.text) << c.seconds;
}

TEST(CalibrationTable, SelectsTheLargestSustainedRate) {
  std::vector<double> rates;
  for (const std::string& r : kRates) rates.push_back(std::atof(r.c_str()));
  struct Case {
    int n;
    const char* rate;
  } cases[] = {{1, "1"},   {11, "1"},   {12, "2"},   {16, "2"},   {17, "3"},   {27, "4"},   {28, "5"},
               {50, "5"},  {53, "5"},   {54, "10"},  {79, "10"},  {80, "15"},  {106, "15"}, {107, "20"},
               {158, "20"}, {159, "30"}, {211, "30"}, {212, "40"}, {264, "40"}, {265, "50"}, {316, "50"},
               {317, "60"}, {400, "60"}};
  for (const auto& c : cases) EXPECT_EQ(kRates[calibratedRateIndex(c.n, rates)], std::string(c.rate)) << c.n;
}

TEST_F(RecordingEngineTest, RateOneWritesOneNewPictureEachSecondAndNoCopies) {
  EXPECT_EQ(record("one.avi", "1", 5.5), RunEnd::Stopped);
  const AviFile f = movie("one.avi");
  EXPECT_TRUE(f.problems.empty());
  EXPECT_TRUE(checkIndexes(f, true).empty());
  ASSERT_EQ(f.frames.size(), 6u);
  EXPECT_EQ(f.strh.rate, 1u);
  EXPECT_EQ(f.strh.scale, 1u);
  EXPECT_EQ(figures().copies, 0);
  const std::uint32_t t0 = frameTime("one.avi", 0);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(frameTime("one.avi", k), t0 + 1000u * k) << "frame " << k << " shows its second";
  EXPECT_EQ(label, "00:05");
  EXPECT_FALSE(session.Recording());
  expectReleased();
}

TEST_F(RecordingEngineTest, FramesShowTheScreenAtTheirOwnTimeAtTenPerSecond) {
  record("ten.avi", "10", 3.05);
  const AviFile f = movie("ten.avi");
  ASSERT_EQ(f.frames.size(), 31u);
  const std::uint32_t t0 = frameTime("ten.avi", 0);
  for (int k = 0; k < 31; ++k) EXPECT_EQ(frameTime("ten.avi", k), t0 + 100u * k) << "frame " << k;
  EXPECT_EQ(figures().copies, 0);
}

// A lossless movie follows the same schedule; its key frames come every two
// seconds of movie, and only they are marked as such.
TEST_F(RecordingEngineTest, ALosslessMovieKeepsTheScheduleWithAKeyFrameEveryTwoSeconds) {
  settings.format = MovieFormat::Zmbv;
  EXPECT_EQ(record("lossless.avi", "10", 4.55), RunEnd::Stopped);
  const AviFile f = movie("lossless.avi");
  EXPECT_TRUE(f.problems.empty()) << joined(f.problems);
  ASSERT_EQ(f.frames.size(), 46u);
  EXPECT_EQ(fourCCText(f.strh.fccHandler), "'ZMBV'");
  EXPECT_EQ(fourCCText(f.strf.biCompression), "'ZMBV'");
  std::vector<bool> keys(46, false);
  keys[0] = keys[20] = keys[40] = true;
  EXPECT_TRUE(checkIndexes(f, true, keys).empty()) << joined(checkIndexes(f, true, keys));
  EXPECT_EQ(session.lastOutcome().frames, 46);
  expectReleased();
}

// A pause takes its span out of the movie: no frames and no copies while it
// lasts, a new picture as the next frame, the frames on schedule in recorded
// time, and exactly one jump in the pictures' times per pause.
TEST(RecordingEnginePause, PausesLeaveTheirSpanOutOfTheMovie) {
  struct Pause {
    double at, resume;  // seconds after the start; resume < 0: Stop comes first
  };
  struct Case {
    const char* what;
    std::vector<Pause> pauses;
    double stop;
    const char* pausedLabel;  // shown while the first pause lasts
    const char* finalLabel;
  };
  const Case cases[] = {
      {"one pause", {{2.05, 5.05}}, 7.02, "00:02", "00:04"},
      {"a pause longer than the recording so far", {{1.05, 9.05}}, 10.02, "00:01", "00:02"},
      {"many pauses in a row", {{0.55, 1.05}, {1.55, 2.05}, {2.55, 3.05}, {3.55, 4.05}, {4.55, 5.05}}, 5.52, "00:00",
       "00:03"},
      {"a pause of a few milliseconds", {{1.05, 1.053}}, 3.02, "00:01", "00:03"},
      {"Stop while paused", {{2.05, -1}}, 4.02, "", "00:02"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig t;
    const double start = t.clock.now();
    std::string pausedLabel;
    int passesAtPause = -1, passesWhilePaused = -1;
    for (const Pause& p : c.pauses) {
      t.host.timeline.emplace_back(start + p.at, [&t, &passesAtPause] {
        EXPECT_TRUE(t.session.togglePause());
        if (passesAtPause < 0) passesAtPause = t.host.doEventsCalls;
      });
      if (p.resume >= 0)
        t.host.timeline.emplace_back(start + p.resume, [&t, &pausedLabel, &passesWhilePaused, &passesAtPause, p] {
          if (p.resume - p.at >= 0.5) {
            // A program killed now leaves the file as it stands: its headers
            // and indexes hold every frame recorded before the pause.
            const AviFile f = parseAvi(t.movies.files.at("paused.avi")->bytes);
            const std::uint32_t recorded = static_cast<std::uint32_t>(t.figures().newPictures + t.figures().copies);
            EXPECT_TRUE(f.problems.empty()) << "paused at " << p.at;
            EXPECT_TRUE(checkIndexes(f, false).empty()) << "paused at " << p.at;
            EXPECT_EQ(f.frames.size(), recorded) << "paused at " << p.at;
            EXPECT_EQ(f.dmlhTotalFrames, recorded) << "paused at " << p.at;
          }
          if (pausedLabel.empty()) {
            pausedLabel = t.label;
            passesWhilePaused = t.host.doEventsCalls - passesAtPause;
          }
          EXPECT_TRUE(t.session.togglePause());
        });
    }
    EXPECT_EQ(t.record("paused.avi", "10", c.stop), RunEnd::Stopped);
    double recorded = c.stop;
    for (const Pause& p : c.pauses) recorded -= (p.resume >= 0 ? p.resume : c.stop) - p.at;
    EXPECT_TRUE(t.movies.files.at("paused.avi")->closed) << "the movie is closed, Stop while paused too";
    const AviFile f = t.movie("paused.avi");
    EXPECT_TRUE(checkIndexes(f, true).empty());
    EXPECT_NEAR(static_cast<double>(f.frames.size()), 10 * recorded, 2.0);
    EXPECT_EQ(t.figures().copies, 0) << "no copies fill a pause";
    int jumps = 0;
    for (std::size_t k = 1; k < f.frames.size(); ++k) {
      const double gap = static_cast<double>(t.frameTime("paused.avi", static_cast<int>(k))) -
                         static_cast<double>(t.frameTime("paused.avi", static_cast<int>(k - 1)));
      if (std::fabs(gap - 100) < 0.5) continue;
      ++jumps;
      // The only other gap: one frame interval and the paused span, to the
      // millisecond.
      bool matches = false;
      for (const Pause& p : c.pauses) matches |= p.resume >= 0 && std::fabs(gap - 100 - 1000 * (p.resume - p.at)) <= 1;
      EXPECT_TRUE(matches) << "gap of " << gap << " ms after frame " << k - 1;
    }
    const auto resumed = std::count_if(c.pauses.begin(), c.pauses.end(), [](const Pause& p) { return p.resume >= 0; });
    EXPECT_EQ(jumps, resumed);
    EXPECT_EQ(pausedLabel, c.pausedLabel) << "the label shows the time recorded before the pause";
    if (passesWhilePaused >= 0) {
      // A paused loop sleeps until an event: a few passes a second.
      const Pause& first = c.pauses.front();
      EXPECT_LE(passesWhilePaused, static_cast<int>((first.resume - first.at) / 0.25) + 3);
    }
    EXPECT_EQ(t.label, c.finalLabel);
    EXPECT_FALSE(t.session.Paused());
    t.expectReleased();
  }
}

TEST_F(RecordingEngineTest, OnlyARunningRecordingPauses) {
  EXPECT_FALSE(session.togglePause()) << "nothing runs";
  EXPECT_FALSE(session.togglePause());
  bool pausedDuringCalibration = false;
  grabber.timePassed = [this, &pausedDuringCalibration] {
    host.timePassed();
    if (session.Recording() && !session.RecordingRuns()) pausedDuringCalibration |= session.togglePause();
  };
  grabber.cost = 0.05;
  EXPECT_EQ(calibrate("calibration.avi"), RunEnd::Completed);
  EXPECT_FALSE(pausedDuringCalibration) << "a calibration does not pause";
  EXPECT_FALSE(session.Paused());
}

// Frames that fall due while a picture is grabbed are filled with copies of
// it, at most one a pass. A grab of one and a half frame intervals is
// covered so the movie follows the clock; one of three and a half is not:
// each pass writes one new picture and one copy, and the movie falls behind
// the clock rather than repeat a picture three times. The label shows the
// time after new pictures only.
TEST(RecordingEngineSchedule, ASlowGrabberIsCoveredByOneCopyAPass) {
  struct Case {
    const char* what;
    double cost;     // seconds a grab takes, at 10 frames per second
    double seconds;  // from Record to Stop
    int frames, newPictures;  // frames -1: about the clock's 60
  };
  const Case cases[] = {
      {"1.5 intervals", 0.15, 6.0, -1, -1},
      // 19 passes from the first grab's end (0.35 s) to Stop; the clock
      // would have asked for 66 frames.
      {"3.5 intervals", 0.35, 6.9, 37, 19},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig t;
    t.grabber.cost = c.cost;
    EXPECT_EQ(t.record("slow.avi", "10", c.seconds), RunEnd::Stopped);
    const AviFile f = t.movie("slow.avi");
    const int frames = static_cast<int>(f.frames.size());
    EXPECT_EQ(frames, t.figures().newPictures + t.figures().copies);
    EXPECT_GT(t.figures().copies, 0);
    EXPECT_GT(t.figures().grabDelays.median(), 0.0) << "late grabs show as such";
    if (c.frames < 0) {
      EXPECT_NEAR(frames, 60, 2) << "frames due by the last pass: about r x the recording's length";
    } else {
      EXPECT_EQ(frames, c.frames);
      EXPECT_EQ(t.figures().newPictures, c.newPictures);
      // New pictures 350 ms apart, each written twice.
      const std::uint32_t t0 = t.frameTime("slow.avi", 0);
      for (int k = 0; k < frames; ++k)
        EXPECT_EQ(t.frameTime("slow.avi", k), t0 + 350u * static_cast<std::uint32_t>((k + 1) / 2)) << "frame " << k;
    }
    for (int k = 2; k < frames; ++k) {
      const std::uint32_t a = t.frameTime("slow.avi", k - 2), b = t.frameTime("slow.avi", k - 1);
      EXPECT_FALSE(a == b && b == t.frameTime("slow.avi", k)) << "two copies in a row at frame " << k;
    }
    const int lastSecond = static_cast<int>(c.seconds - 0.35);  // of the last new picture
    EXPECT_EQ(t.label, "00:0" + std::to_string(lastSecond));
    EXPECT_EQ(t.progressCalls, lastSecond + 1) << "the label is set once a second, from 00:00";
    EXPECT_GT(t.figures().grabDelays.median(), 0.0) << "late grabs show as such";
  }
}

// A capture that fails during the recording leaves the previous picture in
// the buffer: its frames repeat that picture, and the recording goes on.
TEST_F(RecordingEngineTest, ACaptureFailingMidRecordingRepeatsThePreviousPicture) {
  // Grab 1 fixes the frame size; frame k is grab k + 2: frames 5 to 7 fail.
  grabber.failFrom = 7;
  grabber.failTo = 9;
  EXPECT_EQ(record("blink.avi", "10", 2.05), RunEnd::Stopped);
  const AviFile f = movie("blink.avi");
  ASSERT_EQ(f.frames.size(), 21u);
  const std::uint32_t t0 = frameTime("blink.avi", 0);
  for (std::uint32_t k = 0; k < 21; ++k)
    EXPECT_EQ(frameTime("blink.avi", static_cast<int>(k)), t0 + (k >= 5 && k <= 7 ? 400u : 100u * k)) << "frame " << k;
  EXPECT_EQ(figures().copies, 3) << "a failed grab's frame is a copy, not a new picture";
  EXPECT_EQ(figures().newPictures, 18);
  EXPECT_EQ(figures().picturesMissed, 3) << "counted for the notice at the end";
  EXPECT_DOUBLE_EQ(figures().missedFrom, 0.5);
  EXPECT_DOUBLE_EQ(figures().missedTo, 0.7);
  EXPECT_EQ(label, "00:02");
  expectReleased();
}

// Every frame keeps the size the movie was opened with, whatever the region
// does meanwhile: a DPI change scales it, the grip could resize it.
TEST(RecordingEngineSchedule, EveryFrameKeepsTheSizeOfTheOpen) {
  struct Case {
    const char* what;
    PixelRect region;  // from the fifth grab on
    std::int32_t widthStep = 0;
    std::uint32_t width = 308;  // of the movie
  };
  const Case cases[] = {
      {"larger: 96 to 144 DPI", {225, 256, 462, 384}},
      {"smaller", {150, 171, 200, 100}},
      // The region asks for 308: the first picture's size is the movie's.
      {"a grabber that rounds to 16 pixels", {150, 171, 308, 256}, 16, 304},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig t;
    t.grabber.widthStep = c.widthStep;
    t.grabber.timePassed = [&] {
      t.host.timePassed();
      if (t.grabber.grabs == 5) t.settings.region = c.region;
    };
    EXPECT_EQ(t.record("resized.avi", "10", 1.05), RunEnd::Stopped);
    const AviFile f = t.movie("resized.avi");
    EXPECT_TRUE(f.problems.empty());
    EXPECT_EQ(f.strf.biWidth, static_cast<std::int32_t>(c.width));
    EXPECT_EQ(f.strf.biHeight, 256);
    ASSERT_EQ(f.frames.size(), 11u);
    for (const auto& frame : f.frames) EXPECT_EQ(frame.size, c.width * 3 * 256);
    EXPECT_EQ(t.figures().copies, 0) << "every frame a new picture of the movie's size";
    EXPECT_GT(t.grabber.grabs, 5);
  }
}

TEST_F(RecordingEngineTest, TheLoopWaitsInsteadOfSpinning) {
  record("idle.avi", "1", 10.5);
  EXPECT_EQ(movie("idle.avi").frames.size(), 11u);
  // About one pass per frame, not thousands.
  EXPECT_LT(host.doEventsCalls, 40);
  // Each wait ends on time: precise waits for the run, and only for it.
  EXPECT_GT(host.waits, 0);
  EXPECT_EQ(host.impreciseWaits, 0);
  EXPECT_FALSE(host.precise);
  EXPECT_EQ(figures().grabDelays.count(), 11u);
  EXPECT_EQ(figures().grabDelays.median(), 0.0) << "each picture grabbed when it fell due";
}

TEST_F(RecordingEngineTest, AFailedOpenWritesNothingAndReleasesTheCapture) {
  movies.refuseCreate = true;
  EXPECT_EQ(record("nope.avi", "10", 2), RunEnd::CreateFailed);
  EXPECT_EQ(grabber.grabs, 1) << "the first capture, then the open failed";
  EXPECT_TRUE(movies.files.empty());
  expectReleased();
}

TEST_F(RecordingEngineTest, CalibrationSelectsTheRateAndTheRecordingReplacesItsMovie) {
  grabber.cost = 0.05;  // 100 pictures in five seconds: m = 18.8
  EXPECT_EQ(calibrate("calibrated.avi"), RunEnd::Completed);
  EXPECT_EQ(rateText(), "15");
  EXPECT_EQ(selections, 1);
  EXPECT_EQ(movie("calibrated.avi").strh.rate, 1u) << "the calibration movie takes the list's rate at its start";
  stopAfter(3.0);
  EXPECT_EQ(start("calibrated.avi", false), RunEnd::Stopped);
  const AviFile f = movie("calibrated.avi");
  EXPECT_EQ(f.strh.rate, 15u) << "the movie at the path is the recording, not the calibration";
  EXPECT_EQ(movies.created, 2);
  EXPECT_TRUE(checkIndexes(f, true).empty());
  expectReleased();
}

TEST_F(RecordingEngineTest, CalibrationCountsDownWithTheFrameCount) {
  grabber.cost = 0.5;
  calibrate("count.avi");
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "-00:04 1");
  EXPECT_EQ(shown.back(), "-00:00 10");
  EXPECT_EQ(shown.size(), 10u);
  EXPECT_EQ(repaints, 10) << "the label is repainted at once each pass";
}

TEST_F(RecordingEngineTest, StopDuringTheCalibrationKeepsTheSelectionAndRemovesItsMovie) {
  selected = rateIndex("30");
  grabber.cost = 0.05;
  EXPECT_EQ(calibrate("cancelled.avi", 2.0), RunEnd::Stopped);
  EXPECT_EQ(rateText(), "30") << "the rate list keeps its selection";
  EXPECT_EQ(selections, 0);
  EXPECT_EQ(movies.files.count("cancelled.avi"), 0u) << "no calibration movie is left";
  EXPECT_EQ(movies.created, 1);
  expectReleased();
}

TEST_F(RecordingEngineTest, AFullDiskEndsTheRecordingWithAPlayableMovie) {
  movies.capacity = 12 * 1024 * 1024;  // a few dozen frames of this region
  EXPECT_EQ(record("full.avi", "10", 1e6), RunEnd::WriteFailed);
  const AviFile f = movie("full.avi");
  EXPECT_TRUE(f.problems.empty());
  EXPECT_TRUE(checkIndexes(f, false).empty());
  EXPECT_GT(f.frames.size(), 10u);
  EXPECT_EQ(f.dmlhTotalFrames, f.frames.size());
  EXPECT_EQ(session.lastOutcome().frames, static_cast<std::int32_t>(f.frames.size())) << "the count follows the file";
  expectReleased();
}

// Captures or writes that keep failing end the calibration: its movie goes,
// and the list keeps the selection it had (not the first item).
TEST(RecordingEngineCalibration, ACalibrationThatCannotFinishLeavesNoMovieAndTheSelection) {
  struct Case {
    const char* what;
    int failFrom;           // the grab from which grabs fail; 0 never
    std::uint64_t capacity; // bytes the movie may take
    RunEnd end;
  };
  const Case cases[] = {
      {"the screen cannot be read", 5, UINT64_MAX, RunEnd::CaptureFailed},
      {"the disk is full", 0, 2 * 1024 * 1024, RunEnd::WriteFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig t;
    t.grabber.failFrom = c.failFrom;
    t.movies.capacity = c.capacity;
    t.selected = rateIndex("30");
    EXPECT_EQ(t.calibrate("failed.avi"), c.end);
    EXPECT_EQ(t.movies.files.count("failed.avi"), 0u) << "the calibration movie is removed";
    EXPECT_EQ(t.rateText(), "30");
    EXPECT_EQ(t.selections, 0);
    t.expectReleased();
  }
}

// The last frame before Stop is written behind the loop; when the disk will
// not take it, it is retried like any other write and then reported, and the
// frame count says what the file holds.
TEST_F(RecordingEngineTest, TheLastFrameGetsTheSameRetriesAndTheCountFollowsTheFile) {
  record("probe.avi", "1", 5.5);
  const AviFile probe = movie("probe.avi");
  ASSERT_EQ(probe.frames.size(), 6u);
  // Room for the first five frames only.
  movies.capacity = probe.frames[4].offset + 8 + probe.frames[4].size;
  EXPECT_EQ(record("last.avi", "1", 5.5), RunEnd::WriteFailed);
  const AviFile f = movie("last.avi");
  EXPECT_EQ(f.frames.size(), 5u);
  EXPECT_EQ(session.lastOutcome().frames, 5);
  expectReleased();
}

TEST_F(RecordingEngineTest, TheProgramEndingMidRecordingLeavesAPlayableMovie) {
  host.stop = [this] { host.programEnded = true; };
  EXPECT_EQ(record("ended.avi", "10", 2.0), RunEnd::Stopped);
  const AviFile f = movie("ended.avi");
  EXPECT_TRUE(movies.files.at("ended.avi")->closed);
  EXPECT_TRUE(checkIndexes(f, true).empty());
  EXPECT_GE(f.frames.size(), 20u);
  expectReleased();
}

// A movie that cannot go on ends the recording with its own cause, and the
// file keeps, playable, every frame written before.
TEST(RecordingEngineFaults, ARunThatCannotGoOnEndsWithItsCause) {
  struct Case {
    const char* what;
    MovieFormat format;
    std::function<void(EngineRig&)> fault;
    RunEnd end;
    int frames;  // in the file; -1: all 21 of two seconds at 10 per second
  };
  const Case cases[] = {
      {"the encoder fails from the sixth picture on", MovieFormat::Zmbv,
       [](EngineRig& t) { t.session.setEncoderFactory(failingEncoders(6, EncoderFailure::ForGood)); },
       RunEnd::EncodeFailed, 5},
      {"the encoder fails once", MovieFormat::Zmbv,
       [](EngineRig& t) { t.session.setEncoderFactory(failingEncoders(6, EncoderFailure::Once)); }, RunEnd::Stopped,
       -1},
      {"memory runs out in the encoder", MovieFormat::Zmbv,
       [](EngineRig& t) { t.session.setEncoderFactory(failingEncoders(6, EncoderFailure::OutOfMemory)); },
       RunEnd::OutOfMemory, 5},
      // Write 1 is the header; the frames follow it one write each.
      {"memory runs out in the writer", MovieFormat::Uncompressed, [](EngineRig& t) { t.movies.throwWrite = 7; },
       RunEnd::OutOfMemory, 5},
      // Memory is gone once the recording runs: the first packet the track
      // places needs some (a pump before has made what the pump itself
      // needs). The next pass ends the recording.
      {"memory runs out on the sound's thread", MovieFormat::Uncompressed,
       [](EngineRig& t) {
         SyntheticSound mic;
         mic.name = "Mic";
         t.audio.inputs = {mic};
         t.settings.sound.input = "Mic";
         t.host.onTime = [&t, pumped = false]() mutable {
           if (!pumped || t.session.state() != SessionState::Recording) {
             pumped = true;
             return t.audio.pump();
           }
           const AllocationsFail noMemory;
           t.audio.pump();
         };
       },
       RunEnd::OutOfMemory, 2},
      {"the final index does not fit on the disk", MovieFormat::Uncompressed,
       [](EngineRig& t) {
         // Room for exactly the frames of the same recording, without its index.
         t.record("probe.avi", "10", 2.05);
         const AviFile probe = t.movie("probe.avi");
         t.movies.capacity = probe.frames.back().offset + 8 + probe.frames.back().size;
       },
       RunEnd::CloseFailed, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig t;
    t.settings.format = c.format;
    c.fault(t);
    EXPECT_EQ(t.record("fault.avi", "10", 2.05), c.end);
    const int frames = c.frames < 0 ? 21 : c.frames;
    EXPECT_EQ(t.session.lastOutcome().frames, frames) << "the count follows the file";
    const AviFile f = t.movie("fault.avi");
    EXPECT_TRUE(f.problems.empty()) << joined(f.problems);
    EXPECT_EQ(f.frames.size(), static_cast<std::size_t>(frames));
    EXPECT_EQ(f.dmlhTotalFrames, static_cast<std::uint32_t>(frames));
    t.expectReleased();
  }
}

// A movie that cannot be created ends the command before anything is
// written, saying why; the calibration's failure to create it leaves the
// same question to the recording.
TEST(RecordingEngineFaults, AMovieThatCannotBeCreatedSaysWhy) {
  for (const bool calibrate : {false, true}) {
    for (const FileProblem problem : {FileProblem::NoFolder, FileProblem::IsFolder, FileProblem::AccessDenied}) {
      SCOPED_TRACE(std::string(calibrate ? "calibrating, " : "") + std::to_string(static_cast<int>(problem)));
      EngineRig t;
      t.movies.refuseCreate = true;
      t.movies.refusal = problem;
      t.stopAfter(2);
      EXPECT_EQ(t.start("nope.avi", calibrate), RunEnd::CreateFailed);
      EXPECT_EQ(t.session.lastOutcome().fileProblem, problem);
      EXPECT_EQ(t.session.lastOutcome().path, "nope.avi");
      EXPECT_FALSE(t.session.lastOutcome().calibrating);
      EXPECT_EQ(t.grabber.grabs, calibrate ? 2 : 1) << "the first capture of each run, then the create failed";
      EXPECT_EQ(t.selections, 0);
      t.expectReleased();
    }
  }
}

}  // namespace
}  // namespace ks::test

namespace ks::test {
namespace {

// The sample frames (left, right) of a movie's sound chunks, in order.
std::vector<std::int16_t> soundOf(const std::vector<std::uint8_t>& bytes, const AviFile& f) {
  std::vector<std::int16_t> out;
  for (const Frame& chunk : f.sound.chunks)
    for (std::size_t k = chunk.offset + 8; k + 1 < chunk.offset + 8 + chunk.size; k += 2)
      out.push_back(static_cast<std::int16_t>(bytes[k] | bytes[k + 1] << 8));
  return out;
}

// Each row records the synthetic sources' sound with the picture. In every
// row the track is as long as the picture to within one frame, every sample
// lies within a millisecond of the time its device captured it (the default
// wave carries each sample's number), spans without packets are silent, and
// sources heard together add up with saturation.
TEST(RecordingEngineSound, TheTrackFollowsThePictureAndItsTimestamps) {
  struct Pause {
    double at, resume;  // seconds after the start
  };
  struct Case {
    const char* what;
    const char* rate;
    double seconds;
    SyntheticSound mic;
    std::vector<Pause> pauses;
    std::optional<SyntheticSound> system = {};  // a second source, heard with the first
    double silentFrom = -1, silentTo = -1;  // recorded seconds that must be silent
  };
  auto source = [](double ppm) {
    SyntheticSound s;
    s.name = "Microphone";
    s.ppm = ppm;
    return s;
  };
  SyntheticSound gappy = source(0), late = source(30), lost = source(0), slowPackets = source(-150);
  gappy.gaps = {{2.0, 5.0}};
  late.firstSampleAfter = 0.8;
  lost.lostAfter = 4.0;
  slowPackets.packetSeconds = 0.1;
  slowPackets.latency = 0.2;
  SyntheticSound loud = source(0), loudToo = source(80);
  loud.wave = [](std::int64_t, int c) { return static_cast<std::int16_t>(c == 0 ? 30000 : -30000); };
  loudToo.name = "System sound";
  loudToo.wave = loud.wave;
  const Case cases[] = {
      {"a device on time", "10", 12.02, source(0), {}},
      {"a device 200 ppm fast, for an hour", "1", 3600.2, source(200), {}},
      {"a device 200 ppm slow, for an hour", "1", 3600.2, source(-200), {}},
      {"no packets for three seconds", "5", 8.02, gappy, {}, {}, 2.1, 4.9},
      {"a first packet 0.8 s late", "30", 4.02, late, {}, {}, 0.0, 0.75},
      {"pauses", "10", 9.02, source(120), {{2.05, 4.05}, {5.5, 5.52}}},
      {"a device lost after 4 s", "10", 7.02, lost, {}, {}, 4.05, 7.0},
      {"large packets, late, from a slow device", "2", 20.2, slowPackets, {}},
      {"two sources together", "10", 5.02, loud, {}, loudToo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig t(300);  // an hour of sound takes a while under the sanitizers
    t.settings.region = {150, 171, 16, 16};
    t.audio.inputs = {c.mic};
    if (c.system) t.audio.system = *c.system;
    t.settings.sound.input = c.mic.name;
    t.settings.sound.system = c.system.has_value();
    const double started = t.clock.now();
    for (const Pause& p : c.pauses) {
      t.host.timeline.emplace_back(started + p.at, [&t] { EXPECT_TRUE(t.session.togglePause()); });
      t.host.timeline.emplace_back(started + p.resume, [&t] { EXPECT_TRUE(t.session.togglePause()); });
    }
    EXPECT_EQ(t.record("sound.avi", c.rate, c.seconds), RunEnd::Stopped);
    const double rate = std::atof(c.rate);
    const std::int32_t frames = t.session.lastOutcome().frames;
    const std::vector<std::uint8_t>& bytes = t.movies.files.at("sound.avi")->bytes;
    const AviFile f = parseAvi(bytes);
    EXPECT_TRUE(f.problems.empty());
    EXPECT_TRUE(checkIndexes(f, true).empty()) << "both streams indexed";
    ASSERT_TRUE(f.hasSound);
    const std::vector<std::int16_t> sound = soundOf(bytes, f);
    const auto n = static_cast<std::int64_t>(sound.size() / 2);
    EXPECT_EQ(n, t.session.lastOutcome().soundFrames);
    EXPECT_NEAR(static_cast<double>(n), frames * kSoundRate / rate, kSoundRate / rate)
        << "the track is as long as the picture";
    EXPECT_EQ(t.session.lastOutcome().soundLosses.size(), c.mic.lostAfter ? 1u : 0u);

    if (c.system) {
      // 30000 + 30000 and -30000 - 30000, saturated instead of wrapped.
      std::int64_t both = 0, wrapped = 0;
      for (std::int64_t j = 0; j < n; ++j) {
        both += sound[2 * j] == 32767 && sound[2 * j + 1] == -32768;
        wrapped += sound[2 * j] < 0 || sound[2 * j + 1] > 0;
      }
      EXPECT_GT(both, n * 9 / 10);
      EXPECT_EQ(wrapped, 0);
      continue;
    }
    // Where each sample belongs: its device's capture time, in recorded
    // seconds from the first frame's due time.
    double pausedTotal = 0;
    for (const Pause& p : c.pauses) pausedTotal += p.resume - p.at;
    const double firstDue = t.session.StartTime() - pausedTotal;
    auto recordedAt = [&](double clock) {
      double r = clock - firstDue;
      for (const Pause& p : c.pauses) r -= std::clamp(clock - (started + p.at), 0.0, p.resume - p.at);
      return r;
    };
    const double deviceRate = kSoundRate * (1 + c.mic.ppm * 1e-6);
    double worst = 0;
    std::int64_t heard = 0, silentHeard = 0;
    // After a silent span that ends, the sound is heard again to the end.
    const bool comesBack = c.silentTo >= 0 && !c.mic.lostAfter;
    const double backFrom = c.silentTo + 0.1, backTo = static_cast<double>(n) / kSoundRate - 0.5;
    std::int64_t afterGap = 0, afterGapHeard = 0;
    for (std::int64_t j = 0; j < n; ++j) {
      const std::int64_t k = syntheticFrameOf(sound[2 * j], sound[2 * j + 1]);
      const double at = static_cast<double>(j) / kSoundRate;
      const bool back = comesBack && at >= backFrom && at < backTo;
      afterGap += back;
      afterGapHeard += back && k >= 0;
      if (k < 0) continue;
      ++heard;
      if (at >= c.silentFrom && at < c.silentTo) ++silentHeard;
      // Every sample near the start and the end, and a tenth of the rest.
      if (j > 5 * kSoundRate && j < n - 5 * kSoundRate && j % 11 != 0) continue;
      const double due = recordedAt(started + c.mic.firstSampleAfter + static_cast<double>(k) / deviceRate);
      worst = std::max(worst, std::fabs(at - due));
    }
    EXPECT_LE(worst, 0.001) << "the worst sample lies this far from its timestamp";
    EXPECT_EQ(silentHeard, 0) << "samples in a span that has none";
    EXPECT_GT(heard, 0);
    if (comesBack) {
      EXPECT_GT(afterGap, kSoundRate) << "a second or more to hear after the silence";
      EXPECT_EQ(afterGapHeard, afterGap) << "the sound after the silence is there, at its own time";
    }
    t.expectReleased();
  }
}

}  // namespace
}  // namespace ks::test

namespace ks::test {
namespace {

// An output as a program that makes the movie would be, scripted: it takes
// frames until `breakAt`, repeats every other frame when `repeats` (no room
// for it), and fails its close as told.
class ScriptedOutput final : public MovieOutput {
 public:
  struct Script {
    int breakAt = -1;
    bool repeats = false;
    OutputFailure closeFailure;
  };
  explicit ScriptedOutput(Script script, std::uint32_t rate) : script_(std::move(script)), rate_(rate) {}
  std::unique_ptr<FrameEncoder> makeEncoder(const BitmapInfoHeader&) override { return nullptr; }
  bool writeFrame(std::int32_t index, std::span<const std::uint8_t>, bool) override {
    if (index == script_.breakAt) {
      failure_ = {OutputFailure::Kind::ProgramFailed, "it ended", {"the last line it said"}};
      return false;
    }
    if (script_.repeats && index % 2 == 1) ++repeated_;
    return true;
  }
  bool writeSound(const std::int16_t*, std::uint32_t) override { return true; }
  bool checkpoint() override { return true; }
  bool close() override {
    if (script_.closeFailure.kind != OutputFailure::Kind::None && failure_.kind == OutputFailure::Kind::None)
      failure_ = script_.closeFailure;
    return failure_.kind == OutputFailure::Kind::None;
  }
  bool hasSound() const override { return false; }
  AviStreamInfo streamInfo() const override {
    AviStreamInfo info{};
    info.dwScale = 1;
    info.dwRate = rate_;
    return info;
  }
  bool broken() const override { return failure_.kind != OutputFailure::Kind::None; }
  OutputFailure failure() const override { return failure_; }
  std::int64_t framesRepeated() const override { return repeated_; }

 private:
  Script script_;
  std::uint32_t rate_;
  OutputFailure failure_;
  std::int64_t repeated_ = 0;
};

// A movie another program makes (MP4) ends as its output says: a refused
// start leaves no file, a break in the middle or a close that fails reaches
// the figures with its cause, and a calibration counts only the frames the
// output had room for.
TEST(RecordingEngineOutputs, AProgramsOutputEndsTheRunAsItSays) {
  struct Case {
    const char* what;
    bool opens;
    ScriptedOutput::Script script;
    bool calibrate;
    RunEnd end;
    OutputFailure::Kind kind;
  };
  const Case cases[] = {
      {"the program does not start", false, {}, false, RunEnd::OutputFailed, OutputFailure::Kind::ProgramFailed},
      {"it ends at the sixth frame", true, {5, false, {}}, false, RunEnd::OutputFailed,
       OutputFailure::Kind::ProgramFailed},
      {"its last step fails", true, {-1, false, {OutputFailure::Kind::NotFinished, "the disk is full", {}}}, false,
       RunEnd::CloseFailed, OutputFailure::Kind::NotFinished},
      {"a calibration where half the frames had no room", true, {-1, true, {}}, true, RunEnd::Completed,
       OutputFailure::Kind::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    HeadlessScreen screen;
    screen.setCursorVisible(false);
    TimedGrabber grabber{screen, clock};
    grabber.cost = 0.05;  // 100 pictures in five seconds
    MemoryMovieFiles movies;
    FakeHost host{clock};
    grabber.timePassed = [&host] { host.timePassed(); };
    RecordingEngine engine(clock, grabber, movies, host);
    host.stop = [&engine] { engine.stop(); };
    if (!c.calibrate) host.stopAt = clock.now() + 2.0;
    bool calibrationAsked = false;
    engine.setOutputOpener([&](const std::string&, const BitmapInfoHeader&, std::uint32_t rate, bool,
                               bool calibration, OutputFailure& failure) -> std::unique_ptr<MovieOutput> {
      calibrationAsked = calibration;
      if (!c.opens) {
        failure = {OutputFailure::Kind::ProgramFailed, "it would not start", {}};
        return nullptr;
      }
      return std::make_unique<ScriptedOutput>(c.script, rate);
    });
    RecordingSettings settings;
    settings.path = "movie.mp4";
    settings.format = MovieFormat::Mp4;
    settings.rate = 10;
    settings.region = {0, 0, 64, 48};
    for (const std::string& r : kRates) settings.rates.push_back(std::atof(r.c_str()));
    std::optional<int> rateIndex;
    const RunEnd end = c.calibrate ? engine.calibrate(settings, rateIndex) : engine.record(settings);
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(engine.figures().outputFailure.kind, c.kind) << engine.figures().outputFailure.detail;
    EXPECT_EQ(calibrationAsked, c.calibrate);
    if (!c.opens) {
      EXPECT_EQ(movies.files.count("movie.mp4"), 0u) << "no file is left";
    }
    if (c.calibrate) {
      // 101 pictures, the 50 odd ones copies: 51 in five seconds sustain 5
      // a second, where all of them would sustain 15.
      EXPECT_EQ(engine.figures().calibrationFrames, 51);
      ASSERT_TRUE(rateIndex);
      EXPECT_EQ(kRates[static_cast<std::size_t>(*rateIndex)], "5");
    }
    EXPECT_EQ(grabber.buffersHeld(), 0);
  }
}

}  // namespace
}  // namespace ks::test
