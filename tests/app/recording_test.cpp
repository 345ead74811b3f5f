// The record command end to end on the in-memory platform, with a clock the
// test drives: schedule, calibration, Stop, failures.
#include <gtest/gtest.h>

#include <cmath>

#include "app/app_fixture.h"
#include "recorder/avi_reader.h"

namespace ks::test {
namespace {

// Paints the time (in milliseconds since the clock's origin) and the grab's
// number into the screen before each grab, and makes each grab cost time.
class TimedGrabber final : public ScreenGrabber {
 public:
  TimedGrabber(HeadlessScreen& screen, FakeClock& clock) : screen_(screen), clock_(clock), inner_(makeHeadlessGrabber(screen)) {}
  bool grabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) override {
    ++grabs;
    if (failFrom > 0 && grabs >= failFrom) return false;
    const auto ms = static_cast<std::uint32_t>(std::lround((clock_.now() - 1000.0) * 1000));
    screen_.fill(Rgb{static_cast<std::uint8_t>(ms >> 16), static_cast<std::uint8_t>(ms >> 8), static_cast<std::uint8_t>(ms)});
    const bool ok = inner_->grabRect(w, h, x, y);
    clock_.advance(cost);
    if (timePassed) timePassed();
    return ok;
  }
  CapturedPicture picture() const override { return inner_->picture(); }
  void freeCapture() override { inner_->freeCapture(); }
  int buffersHeld() const override { return inner_->buffersHeld(); }

  double cost = 0;
  int grabs = 0;
  std::function<void()> timePassed;
  int failFrom = 0;  // the grab from which every grab fails; 0 never

 private:
  HeadlessScreen& screen_;
  FakeClock& clock_;
  std::unique_ptr<ScreenGrabber> inner_;
};

class RecordingTest : public AppTest {
 public:
  TimedGrabber* grabber = nullptr;
  double stopAt = 1e18;
  bool stopPosted = false;
  std::function<void()> atStop;

  RecordingTest() {
    services.screen.setCursorVisible(false);
    auto g = std::make_unique<TimedGrabber>(services.screen, services.clock);
    grabber = g.get();
    services.grabber = std::move(g);
    store("folder", "D:\\Movies");
    // A wait ends early when the Stop click arrives, as a real one would.
    ws.setIdleWait([this](double seconds) {
      const double now = services.clock.now();
      services.clock.advance(stopPosted ? seconds : std::max(0.0, std::min(seconds, stopAt - now)));
      timePassed();
    });
    grabber->timePassed = [this] { timePassed(); };
  }
  void timePassed() {
    if (!stopPosted && services.clock.now() >= stopAt) {
      stopPosted = true;
      ws.post([this] {
        if (atStop) atStop();
        input.click(*bar().cmdStop);
      });
    }
  }
  void userRate(const char* fps) {
    store("UserSetting", "True");
    store("SysSetting", "False");
    store("fps", fps);
  }
  // Record, naming the file `name`, and press Stop `seconds` after Record.
  void record(const std::string& name, double seconds) {
    stopAt = services.clock.now() + seconds;
    stopPosted = false;
    ws.queueModalAnswer([this, name](Window&) {
      input.typeText(*file().txtFileName, name);
      input.click(*file().cmdOK);
    });
    input.click(*bar().cmdtest);
  }
  AviFile movie(const std::string& path) {
    auto it = services.movies.files.find(path);
    if (it == services.movies.files.end()) return {};
    return parseAvi(it->second->bytes);
  }
  // The time painted into frame k, in milliseconds after the clock's origin.
  std::uint32_t frameTime(const std::string& path, int k) {
    const auto& bytes = services.movies.files.at(path)->bytes;
    const AviFile f = parseAvi(bytes);
    const std::uint8_t* px = bytes.data() + f.frames.at(static_cast<std::size_t>(k)).offset + 8;
    return (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
  }
  void expectIdle() {
    EXPECT_TRUE(bar().cmdtest->enabled());
    EXPECT_TRUE(bar().cmdAbout->enabled());
    EXPECT_TRUE(bar().cmdSettings->enabled());
    EXPECT_TRUE(bar().cmdExit->enabled());
    EXPECT_FALSE(bar().cmdStop->enabled());
    EXPECT_TRUE(app->frmtop().window().enabled());
    EXPECT_FALSE(app->modAVI().MovieOpen());
    EXPECT_EQ(services.grabber->buffersHeld(), 0);
  }
};

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
  for (const char* r : kRateItems) rates.push_back(std::atof(r));
  struct Case {
    int n;
    const char* rate;
  } cases[] = {{1, "1"},   {11, "1"},   {12, "2"},   {16, "2"},   {17, "3"},   {27, "4"},   {28, "5"},
               {50, "5"},  {53, "5"},   {54, "10"},  {79, "10"},  {80, "15"},  {106, "15"}, {107, "20"},
               {158, "20"}, {159, "30"}, {211, "30"}, {212, "40"}, {264, "40"}, {265, "50"}, {316, "50"},
               {317, "60"}, {400, "60"}};
  for (const auto& c : cases) EXPECT_EQ(kRateItems[calibratedRateIndex(c.n, rates)], std::string(c.rate)) << c.n;
}

TEST_F(RecordingTest, RateOneWritesOneNewPictureEachSecondAndNoCopies) {
  userRate("1");
  start();
  record("one", 5.5);
  const std::string path = "D:\\Movies\\one.avi";
  const AviFile f = movie(path);
  EXPECT_TRUE(f.problems.empty());
  EXPECT_TRUE(checkIndexes(f, true).empty());
  ASSERT_EQ(f.frames.size(), 6u);
  EXPECT_EQ(f.strh.rate, 1u);
  EXPECT_EQ(f.strh.scale, 1u);
  EXPECT_EQ(app->modAVI().copies, 0);
  const std::uint32_t t0 = frameTime(path, 0);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(frameTime(path, k), t0 + 1000u * k) << "frame " << k << " shows its second";
  EXPECT_EQ(bar().lblUpto->caption(), "00:05");
  expectIdle();
}

TEST_F(RecordingTest, FramesShowTheScreenAtTheirOwnTimeAtTenPerSecond) {
  userRate("10");
  start();
  record("ten", 3.05);
  const std::string path = "D:\\Movies\\ten.avi";
  const AviFile f = movie(path);
  ASSERT_EQ(f.frames.size(), 31u);
  const std::uint32_t t0 = frameTime(path, 0);
  for (int k = 0; k < 31; ++k) EXPECT_EQ(frameTime(path, k), t0 + 100u * k) << "frame " << k;
  EXPECT_EQ(app->modAVI().copies, 0);
}

TEST_F(RecordingTest, ASlowGrabberIsCoveredByCopiesSoTheMovieFollowsTheClock) {
  userRate("10");
  start();
  grabber->cost = 0.15;  // each picture takes one and a half frame intervals
  record("slow", 6.0);
  const AviFile f = movie("D:\\Movies\\slow.avi");
  const ModAvi& avi = app->modAVI();
  EXPECT_GT(avi.copies, 0);
  EXPECT_EQ(static_cast<int>(f.frames.size()), avi.newPictures + avi.copies);
  // Frames due by the last pass: about r x the recording's length.
  EXPECT_NEAR(static_cast<double>(f.frames.size()), 10 * 6.0, 2.0);
  // Never two copies in a row: a pass adds at most one.
  EXPECT_LE(avi.copies, avi.newPictures);
}

TEST_F(RecordingTest, TheLoopWaitsInsteadOfSpinning) {
  userRate("1");
  start();
  const int before = ws.doEventsCalls();
  record("idle", 10.5);
  EXPECT_EQ(movie("D:\\Movies\\idle.avi").frames.size(), 11u);
  // About one pass per frame, not thousands.
  EXPECT_LT(ws.doEventsCalls() - before, 40);
}

TEST_F(RecordingTest, CancelLeavesEverythingIdleAndWritesNothing) {
  userRate("10");
  start();
  ws.queueModalAnswer([this](Window&) { input.click(*file().cmdCancel); });
  input.click(*bar().cmdtest);
  EXPECT_EQ(services.movies.created, 0);
  EXPECT_FALSE(app->modAVI().Recording);
  expectIdle();
}

TEST_F(RecordingTest, AFailedStartBringsTheIdleControlsBackSilently) {
  userRate("10");
  start();
  services.movies.refuseCreate = true;
  record("nope", 2);
  expectIdle();
  EXPECT_TRUE(ws.warnings().empty());
  EXPECT_EQ(grabber->grabs, 1) << "the first capture, then the open failed";
}

TEST_F(RecordingTest, RecordingStateDisablesTheFrameAndTheRecordButton) {
  userRate("5");
  start();
  bool checked = false;
  atStop = [&] {
    checked = true;
    EXPECT_FALSE(bar().cmdtest->enabled());
    EXPECT_FALSE(bar().cmdAbout->enabled());
    EXPECT_FALSE(bar().cmdSettings->enabled());
    EXPECT_FALSE(bar().cmdExit->enabled());
    EXPECT_TRUE(bar().cmdStop->enabled());
    EXPECT_FALSE(app->frmtop().window().enabled());
    EXPECT_FALSE(app->frmleft().window().enabled());
    EXPECT_FALSE(app->frmright().window().enabled());
    EXPECT_TRUE(app->frmbot().window().enabled());
    // The grip does nothing now: every frame keeps the size of the open.
    const float width = app->frmtop().window().width();
    input.mouseDown(*bar().imgbotcorner, {kLeftButton, 200, 200});
    input.mouseMove(*bar().imgbotcorner, {kLeftButton, 1700, 200});
    input.mouseUp(*bar().imgbotcorner, {kLeftButton, 1700, 200});
    EXPECT_EQ(app->frmtop().window().width(), width);
    // A second Record press starts nothing.
    input.click(*bar().cmdtest);
  };
  record("busy", 2.0);
  EXPECT_TRUE(checked);
  EXPECT_EQ(services.movies.created, 1);
  expectIdle();
}

TEST_F(RecordingTest, CalibrationSelectsStoresAndIsReplacedByTheRecording) {
  start();  // empty store: system-assigned rate
  ASSERT_TRUE(settings().optSystem->value());
  grabber->cost = 0.05;  // 100 pictures in five seconds: m = 18.8
  std::vector<std::string> labels;
  record("calibrated", 8.0);
  EXPECT_EQ(settings().cboFrames->text(), "15");
  EXPECT_EQ(stored("fps"), "15");
  const AviFile f = movie("D:\\Movies\\calibrated.avi");
  EXPECT_EQ(f.strh.rate, 15u) << "the movie at the path is the recording, not the calibration";
  EXPECT_EQ(services.movies.created, 2);
  EXPECT_TRUE(checkIndexes(f, true).empty());
  expectIdle();
}

TEST_F(RecordingTest, CalibrationCountsDownWithTheFrameCount) {
  start();
  grabber->cost = 0.5;
  std::vector<std::string> captions;
  int refreshes = 0;
  bool settingsShownDuringCalibration = false, settingsHiddenWhileRecording = false;
  float calibrationLabelRight = 0, recordingLabelWidth = 0;
  ws.queueModalAnswer([&](Window&) {
    input.typeText(*file().txtFileName, "count");
    input.click(*file().cmdOK);
  });
  // Reads the label after every pass of the calibration, and stops as soon
  // as the recording proper shows its elapsed time.
  int passes = 0;
  std::function<void()> watch = [&] {
    const std::string c = bar().lblUpto->caption();
    if (c.rfind('-', 0) == 0) {
      captions.push_back(c);
      refreshes = headlessRefreshCount(*bar().lblUpto);
      settingsShownDuringCalibration |= bar().cmdSettings->visible();
      calibrationLabelRight = bar().lblUpto->left() + bar().lblUpto->width();
    } else if (!captions.empty()) {
      settingsHiddenWhileRecording = !bar().cmdSettings->visible();
      recordingLabelWidth = bar().lblUpto->width();
      input.click(*bar().cmdStop);
      return;
    }
    if (++passes < 1000) ws.post(watch);
  };
  ws.post(watch);
  input.click(*bar().cmdtest);
  ASSERT_FALSE(captions.empty());
  EXPECT_EQ(captions.front(), "-00:04 1");
  EXPECT_EQ(captions.back(), "-00:00 10");
  EXPECT_EQ(refreshes, static_cast<int>(captions.size())) << "the label is repainted at once each pass";
  // The count is wider than the label, part of which lies under the
  // Settings button: meanwhile the (disabled) button is out of the way and
  // the label reaches up to Exit.
  EXPECT_FALSE(settingsShownDuringCalibration);
  EXPECT_EQ(calibrationLabelRight, bar().cmdExit->left());
  EXPECT_EQ(recordingLabelWidth, 855);
  EXPECT_FALSE(settingsHiddenWhileRecording);
  EXPECT_TRUE(bar().cmdSettings->visible());
  EXPECT_TRUE(bar().cmdSettings->enabled());
}

TEST_F(RecordingTest, StopDuringTheCalibrationCancelsTheWholeCommand) {
  store("fps", "30");
  start();
  grabber->cost = 0.05;
  record("cancelled", 2.0);
  EXPECT_EQ(settings().cboFrames->text(), "30") << "the rate list keeps its selection";
  EXPECT_EQ(stored("fps"), "30");
  EXPECT_EQ(services.movies.files.count("D:\\Movies\\cancelled.avi"), 0u) << "no calibration movie is left";
  EXPECT_EQ(services.movies.created, 1) << "no recording follows";
  expectIdle();
}

TEST_F(RecordingTest, AFullDiskEndsTheRecordingWithAPlayableMovieAndOneMessage) {
  userRate("10");
  start();
  services.movies.capacity = 12 * 1024 * 1024;  // a few hundred frames of this region
  record("full", 1e6);
  const auto& file = *services.movies.files.at("D:\\Movies\\full.avi");
  const AviFile f = parseAvi(file.bytes);
  EXPECT_TRUE(f.problems.empty());
  EXPECT_TRUE(checkIndexes(f, false).empty());
  EXPECT_GT(f.frames.size(), 10u);
  EXPECT_EQ(f.dmlhTotalFrames, f.frames.size());
  EXPECT_EQ(ws.warnings().size(), 1u);
  expectIdle();
}

TEST_F(RecordingTest, CapturesThatKeepFailingEndTheCalibration) {
  start();
  grabber->failFrom = 5;
  record("blind", 1e6);
  EXPECT_EQ(ws.warnings().size(), 1u);
  EXPECT_EQ(settings().cboFrames->text(), "1");
  expectIdle();
}

TEST_F(RecordingTest, EndingTheProgramMidRecordingLeavesAPlayableMovie) {
  userRate("10");
  start();
  atStop = [&] { app->endProgram(); };
  record("ended", 2.0);
  const AviFile f = movie("D:\\Movies\\ended.avi");
  EXPECT_TRUE(services.movies.files.at("D:\\Movies\\ended.avi")->closed);
  EXPECT_TRUE(checkIndexes(f, true).empty());
  EXPECT_GE(f.frames.size(), 20u);
  EXPECT_TRUE(ws.ended());
}

}  // namespace
}  // namespace ks::test
