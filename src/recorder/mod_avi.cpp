#include "recorder/mod_avi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/modgobal.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/screen_grabber.h"
#include "platform/window_system.h"
#include "recorder/movie_files.h"
#include "settings/frmsettings.h"

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

ModAvi::ModAvi(App& app) : app_(app) {}

PixelRect ModAvi::captureRect() const {
  PixelRect r = regionPixels(app_);
  if (openSize_) {
    r.width = openSize_->width;
    r.height = openSize_->height;
  }
  return r;
}

bool ModAvi::CaptureFrame() {
  const PixelRect r = captureRect();
  return GrabRect(r.width, r.height, r.x, r.y);
}

void ModAvi::prepareGrabber() {
  const PixelRect r = captureRect();
  app_.platform().grabber.prepare(r.width, r.height, r.x, r.y);
}

bool ModAvi::GrabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) {
  ScreenGrabber& grabber = app_.platform().grabber;
  if (!grabber.grabRect(w, h, x, y)) return false;
  const CapturedPicture p = grabber.picture();
  frameFormat_ = makeFrameFormat(p.width, p.height);
  return true;
}

void ModAvi::FreeCapture() { app_.platform().grabber.freeCapture(); }

double ModAvi::rate() const {
  const double r = std::strtod(app_.frmSettings().cboFrames->text().c_str(), nullptr);
  return r > 0 ? r : 1.0;
}

bool ModAvi::OpenMovie(const std::string& path) {
  const CapturedPicture p = app_.platform().grabber.picture();
  if (!p.bits) return false;
  if (!movie_.OpenMovie(app_.platform().movies.create(path), frameFormat_, roundToInt32(rate()))) return false;
  openSize_ = PixelRect{0, 0, p.width, p.height};
  return true;
}

bool ModAvi::WriteFrame() {
  const CapturedPicture p = app_.platform().grabber.picture();
  if (!p.bits || !movie_.IsOpen()) return false;
  return movie_.WriteFrame(p.bits, frameFormat_);
}

void ModAvi::CloseMovie() {
  movie_.CloseMovie();
  openSize_.reset();
}

bool ModAvi::programEnded() const { return app_.windows().ended(); }

// A failing write or capture is repeated until it goes through; a disk that
// stays full or a screen that cannot be read ends the run after about a
// second instead of hanging it.
template <class Step>
bool ModAvi::retry(Step step) {
  Clock& clock = app_.platform().clock;
  const double giveUp = clock.now() + kGiveUpSeconds;
  while (!step()) {
    if (clock.now() >= giveUp || programEnded()) return false;
    app_.windows().waitForEvents(kRetryPause);
  }
  return true;
}

bool ModAvi::writeUntilDone() {
  return retry([this] { return WriteFrame(); });
}

bool ModAvi::captureUntilDone() {
  return retry([this] { return CaptureFrame(); });
}

void ModAvi::setLabel(const std::string& text, bool repaintNow) {
  Label& label = *app_.frmbot().lblUpto;
  if (label.caption() != text) label.setCaption(text);
  if (repaintNow) label.refresh();
}

RunEnd ModAvi::RecordMovie(const std::string& path) {
  newPictures = copies = 0;
  if (!CaptureFrame()) return RunEnd::NotStarted;
  prepareGrabber();
  if (!OpenMovie(path)) {
    FreeCapture();
    return RunEnd::NotStarted;
  }
  Clock& clock = app_.platform().clock;
  WindowSystem& windows = app_.windows();
  Recording = true;
  StartTime = clock.now();
  std::int64_t i = 0;
  RunEnd end = RunEnd::Stopped;

  // Frame i shows the screen as close to i / r seconds after the start as
  // the machine allows. A pass takes at most one new picture and one copy;
  // copies keep the movie's length on the clock when grabbing falls behind.
  while (Recording && !programEnded()) {
    const double r = rate();
    const double t1 = static_cast<double>(i) / r;
    const double t2 = static_cast<double>(i + 1) / r;
    const double now = clock.now();
    if (now >= StartTime + t1) {
      CaptureFrame();  // on failure the buffer still holds the last picture
      if (!writeUntilDone()) {
        end = RunEnd::WriteFailed;
        break;
      }
      ++newPictures;
      setLabel(formatElapsed(clock.now() - StartTime), false);
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
    windows.doEvents();
    if (!Recording || programEnded()) break;
    // Nothing to do until the next frame falls due or an event arrives.
    const double wait = StartTime + static_cast<double>(i) / rate() - clock.now();
    if (wait > 0) windows.waitForEvents(wait);
  }

  Recording = false;
  CloseMovie();
  FreeCapture();
  return end;
}

RunEnd ModAvi::MeasureFrameRate(const std::string& path) {
  if (!CaptureFrame()) return RunEnd::NotStarted;
  prepareGrabber();
  if (!OpenMovie(path)) {
    FreeCapture();
    return RunEnd::NotStarted;
  }
  Clock& clock = app_.platform().clock;
  const double start = clock.now();
  const double end = start + kCalibrationSeconds;
  double now = start;
  int n = 0;
  RunEnd result = RunEnd::Completed;

  while (end > now) {
    if (!captureUntilDone()) {
      result = RunEnd::CaptureFailed;
      break;
    }
    if (!writeUntilDone()) {
      result = RunEnd::WriteFailed;
      break;
    }
    ++n;
    setLabel("-" + formatElapsed(end - clock.now()) + " " + std::to_string(n), true);
    app_.windows().doEvents();
    if (!Recording || programEnded()) {
      result = RunEnd::Stopped;
      break;
    }
    now = clock.now();
  }

  CloseMovie();
  FreeCapture();
  calibrationFrames = n;
  if (result == RunEnd::Stopped) {
    app_.platform().movies.remove(path);
    return result;
  }
  if (result != RunEnd::Completed) return result;

  ComboBox& list = *app_.frmSettings().cboFrames;
  std::vector<double> rates;
  for (int k = 0; k < list.listCount(); ++k) rates.push_back(std::strtod(list.list(k).c_str(), nullptr));
  if (!rates.empty()) list.setListIndex(calibratedRateIndex(n, rates));
  return result;
}

}  // namespace ks
