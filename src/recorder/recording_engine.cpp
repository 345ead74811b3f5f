#include "recorder/recording_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/movie_files.h"
#include "platform/screen_grabber.h"
#include "recorder/recorder_host.h"

namespace ks {

namespace {

constexpr double kCalibrationSeconds = 5.0;
// Pause between retries of a failing write or capture.
constexpr double kRetryPause = 0.01;

}  // namespace

std::string formatElapsed(double seconds) {
  const long long whole = seconds > 0 ? static_cast<long long>(std::floor(seconds)) : 0;
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>((whole / 60) % 60), static_cast<int>(whole % 60));
  return text;
}

int calibratedRateIndex(int n, const std::vector<double>& rates) {
  const double m = (n - 1) * 0.95 / 5.0;
  for (std::size_t k = 1; k < rates.size(); ++k)
    if (rates[k] > m) return static_cast<int>(k) - 1;
  return static_cast<int>(rates.size()) - 1;
}

void GrabDelays::add(double seconds) {
  const double tenths = std::max(0.0, seconds * 10000.0);
  const auto bucket = tenths >= kBuckets - 1 ? kBuckets - 1 : static_cast<std::size_t>(tenths);
  ++buckets_[bucket];
  ++count_;
}

double GrabDelays::median() const {
  if (count_ == 0) return 0;
  std::uint32_t seen = 0;
  for (std::size_t b = 0; b < kBuckets; ++b) {
    seen += buckets_[b];
    if (2 * seen >= count_) return static_cast<double>(b) / 10000.0;
  }
  return static_cast<double>(kBuckets - 1) / 10000.0;
}

RecordingEngine::RecordingEngine(Clock& clock, ScreenGrabber& grabber, MovieFiles& movies, RecorderHost& host)
    : clock_(clock), grabber_(grabber), movies_(movies), host_(host) {}

PixelRect RecordingEngine::captureRect() const {
  PixelRect r = host_.captureRect();
  if (openSize_) {
    r.width = openSize_->width;
    r.height = openSize_->height;
  }
  return r;
}

bool RecordingEngine::CaptureFrame() {
  const PixelRect r = captureRect();
  return GrabRect(r.width, r.height, r.x, r.y);
}

bool RecordingEngine::GrabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) {
  if (!grabber_.grabRect(w, h, x, y)) return false;
  const CapturedPicture p = grabber_.picture();
  frameFormat_ = makeFrameFormat(p.width, p.height);
  return true;
}

void RecordingEngine::FreeCapture() { grabber_.freeCapture(); }

double RecordingEngine::rate() const {
  const double r = std::strtod(host_.rateText().c_str(), nullptr);
  return r > 0 ? r : 1.0;
}

bool RecordingEngine::OpenMovie(const std::string& path) {
  const CapturedPicture p = grabber_.picture();
  if (!p.bits) return false;
  if (!movie_.OpenMovie(movies_.create(path), frameFormat_, roundToInt32(rate()))) return false;
  openSize_ = PixelRect{0, 0, p.width, p.height};
  return true;
}

bool RecordingEngine::WriteFrame() {
  const CapturedPicture p = grabber_.picture();
  if (!p.bits || !movie_.IsOpen()) return false;
  return movie_.WriteFrame(p.bits, frameFormat_);
}

void RecordingEngine::CloseMovie() {
  movie_.CloseMovie();
  openSize_.reset();
}

// A failing write or capture is repeated until it goes through; a disk that
// stays full or a screen that cannot be read ends the run after about a
// second instead of hanging it.
template <class Step>
bool RecordingEngine::retry(Step step) {
  const double giveUp = clock_.now() + kGiveUpSeconds;
  while (!step()) {
    if (clock_.now() >= giveUp || host_.ended()) return false;
    host_.waitUntil(clock_.now() + kRetryPause);
  }
  return true;
}

bool RecordingEngine::writeUntilDone() {
  return retry([this] { return WriteFrame(); });
}

bool RecordingEngine::captureUntilDone() {
  return retry([this] { return CaptureFrame(); });
}

template <class Body>
RunEnd RecordingEngine::run(const std::string& path, Body body) {
  if (!CaptureFrame()) return RunEnd::NotStarted;
  // Lets the grabber get ready for the region before anything is timed.
  const PixelRect r = captureRect();
  grabber_.prepare(r.width, r.height, r.x, r.y);
  if (!OpenMovie(path)) {
    FreeCapture();
    return RunEnd::NotStarted;
  }
  // Precise waits for the run only: on Windows they can cost power.
  struct PreciseWaits {
    RecorderHost& host;
    explicit PreciseWaits(RecorderHost& h) : host(h) { host.setPreciseWaits(true); }
    ~PreciseWaits() { host.setPreciseWaits(false); }
  } precise(host_);
  RunEnd end = body();
  // The last frame gets the same patience as every other write.
  if (end != RunEnd::WriteFailed && !retry([this] { return movie_.Flush(); })) end = RunEnd::WriteFailed;
  CloseMovie();
  FreeCapture();
  return end;
}

RunEnd RecordingEngine::RecordMovie(const std::string& path) {
  newPictures = copies = 0;
  grabDelays.clear();
  return run(path, [this] { return schedule(); });
}

// Frame i shows the screen as close to i / r seconds after the start as the
// machine allows. A pass takes at most one new picture and one copy; copies
// keep the movie's length on the clock when grabbing falls behind.
RunEnd RecordingEngine::schedule() {
  Recording = true;
  StartTime = clock_.now();
  std::int64_t i = 0;
  RunEnd end = RunEnd::Stopped;
  while (Recording && !host_.ended()) {
    const double r = rate();
    const double t1 = static_cast<double>(i) / r;
    const double t2 = static_cast<double>(i + 1) / r;
    const double now = clock_.now();
    if (now >= StartTime + t1) {
      grabDelays.add(now - (StartTime + t1));
      static_cast<void>(CaptureFrame());  // on failure the buffer still holds the last picture
      if (!writeUntilDone()) {
        end = RunEnd::WriteFailed;
        break;
      }
      ++newPictures;
      host_.showProgress(formatElapsed(clock_.now() - StartTime), false);
      ++i;
    }
    if (now >= StartTime + t2) {
      if (!writeUntilDone()) {
        end = RunEnd::WriteFailed;
        break;
      }
      ++copies;
      ++i;
    }
    host_.doEvents();
    if (!Recording || host_.ended()) break;
    // Nothing to do until the next frame falls due or an event arrives.
    const double due = StartTime + static_cast<double>(i) / rate();
    if (due > clock_.now()) host_.waitUntil(due);
  }
  Recording = false;
  return end;
}

RunEnd RecordingEngine::MeasureFrameRate(const std::string& path) {
  int n = 0;
  const RunEnd result = run(path, [this, &n] { return measure(n); });
  if (result == RunEnd::NotStarted) return result;
  calibrationFrames = n;
  // A calibration that did not run its course leaves no movie behind and
  // the list as it was.
  if (result != RunEnd::Completed) {
    static_cast<void>(movies_.remove(path));  // nothing more to do if it stays
    return result;
  }

  std::vector<double> rates;
  for (int k = 0; k < host_.rateCount(); ++k) rates.push_back(std::strtod(host_.rateItem(k).c_str(), nullptr));
  if (!rates.empty()) host_.selectRate(calibratedRateIndex(n, rates));
  return result;
}

RunEnd RecordingEngine::measure(int& n) {
  const double start = clock_.now();
  const double end = start + kCalibrationSeconds;
  double now = start;
  while (end > now) {
    if (!captureUntilDone()) return RunEnd::CaptureFailed;
    if (!writeUntilDone()) return RunEnd::WriteFailed;
    ++n;
    // Appended, not prefixed: GCC 12 warns (-Wrestrict) about inserting in front.
    std::string countdown = "-";
    countdown += formatElapsed(end - clock_.now());
    countdown += ' ';
    countdown += std::to_string(n);
    host_.showProgress(countdown, true);
    host_.doEvents();
    if (!Recording || host_.ended()) return RunEnd::Stopped;
    now = clock_.now();
  }
  return RunEnd::Completed;
}

}  // namespace ks
