// The recording engine's module: the one capture buffer, the one open movie,
// the recording loop and the frame-rate calibration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/region.h"
#include "recorder/avi_format.h"
#include "recorder/movie.h"

namespace ks {

class App;

// Elapsed time as "mm:ss" in whole seconds; hours are dropped. Negative
// times show as 00:00.
std::string formatElapsed(double seconds);

// The rate-list index the calibration selects after n frames in five
// seconds: the largest listed rate not above (n - 1) * 0.95 / 5, the first
// item when even the second is above it. `rates` ascend.
int calibratedRateIndex(int n, const std::vector<double>& rates);

// How a calibration or recording ended.
enum class RunEnd {
  Completed,      // ran to its end (a calibration's five seconds)
  NotStarted,     // first capture or open failed; nothing written
  Stopped,        // Stop, or the program ending
  WriteFailed,    // writes kept failing (disk full); movie closed
  CaptureFailed,  // captures kept failing; movie closed
};

class ModAvi {
 public:
  explicit ModAvi(App& app);

  // Grabs the capture region into the capture buffer. While a movie is open
  // the size stays the one it was opened with, so every frame fits.
  bool CaptureFrame();
  bool GrabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y);
  void FreeCapture();
  const BitmapInfoHeader& FrameFormat() const { return frameFormat_; }

  // The rate is the text of the Settings dialog's rate list.
  bool OpenMovie(const std::string& path);
  bool WriteFrame();
  void CloseMovie();
  bool MovieOpen() const { return movie_.IsOpen(); }
  std::int32_t FrameNumber() const { return movie_.FrameNumber(); }
  const AviStreamInfo& StreamInfo() const { return movie_.StreamInfo(); }

  // A whole recording: first capture, open, the schedule loop until Stop,
  // close.
  RunEnd RecordMovie(const std::string& path);
  // Five seconds of frames as fast as they come, then selects the rate the
  // machine sustained in the rate list. Stop cancels it: the list keeps its
  // selection and the calibration movie is removed.
  RunEnd MeasureFrameRate(const std::string& path);

  // True while a calibration or recording is to go on; Stop clears it.
  bool Recording = false;
  // When the running recording's schedule started (Clock seconds).
  double StartTime = 0;
  // New pictures and copies written by the last recording.
  int newPictures = 0;
  int copies = 0;
  // Pictures the last calibration managed in its five seconds.
  int calibrationFrames = 0;

  // How long a failing write or capture is retried before the run ends.
  static constexpr double kGiveUpSeconds = 1.0;

 private:
  double rate() const;
  PixelRect captureRect() const;
  // Lets the grabber get ready for the region before anything is timed.
  void prepareGrabber();
  template <class Step>
  bool retry(Step step);
  bool writeUntilDone();
  bool captureUntilDone();
  void setLabel(const std::string& text, bool repaintNow);
  bool programEnded() const;

  App& app_;
  Movie movie_;
  BitmapInfoHeader frameFormat_{};
  std::optional<PixelRect> openSize_;
};

}  // namespace ks
