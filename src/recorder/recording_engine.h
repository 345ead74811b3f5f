// The recording engine: the one capture buffer, the one open movie, the
// recording schedule and the frame-rate calibration, over a clock, a screen
// grabber, movie files and the host that stands for the forms.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "media/avi_format.h"
#include "media/movie.h"

namespace ks {

class Clock;
class ScreenGrabber;
class MovieFiles;
class RecorderHost;

// Elapsed time as "mm:ss" in whole seconds; hours are dropped. Negative
// times show as 00:00.
std::string formatElapsed(double seconds);

// The rate-list index the calibration selects after n frames in five
// seconds: the largest listed rate not above (n - 1) * 0.95 / 5, the first
// item when even the second is above it. `rates` ascend.
int calibratedRateIndex(int n, const std::vector<double>& rates);

// How late the new pictures of a recording were grabbed after their due
// times, in tenths of a millisecond up to a tenth of a second: enough to
// tell a wait that ends on time from one that ends a timer tick late.
class GrabDelays {
 public:
  void clear() {
    buckets_.fill(0);
    count_ = 0;
  }
  void add(double seconds);
  std::uint32_t count() const { return count_; }
  // The median delay in seconds (to a tenth of a millisecond); 0 without
  // any grab.
  double median() const;

 private:
  static constexpr std::size_t kBuckets = 1001;  // the last holds 100 ms and more
  std::array<std::uint32_t, kBuckets> buckets_{};
  std::uint32_t count_ = 0;
};

// How a calibration or recording ended.
enum class RunEnd {
  Completed,      // ran to its end (a calibration's five seconds)
  NotStarted,     // first capture or open failed; nothing written
  Stopped,        // Stop, or the program ending
  WriteFailed,    // writes kept failing (disk full); movie closed
  CaptureFailed,  // captures kept failing; movie closed
};

class RecordingEngine {
 public:
  RecordingEngine(Clock& clock, ScreenGrabber& grabber, MovieFiles& movies, RecorderHost& host);
  RecordingEngine(const RecordingEngine&) = delete;
  RecordingEngine& operator=(const RecordingEngine&) = delete;

  // Grabs the capture region into the capture buffer. While a movie is open
  // the size stays the one it was opened with, so every frame fits.
  [[nodiscard]] bool CaptureFrame();
  [[nodiscard]] bool GrabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y);
  void FreeCapture();
  const BitmapInfoHeader& FrameFormat() const { return frameFormat_; }

  // The rate is the text of the host's rate list, the format the host's
  // choice.
  [[nodiscard]] bool OpenMovie(const std::string& path);
  [[nodiscard]] bool WriteFrame();
  void CloseMovie();
  bool MovieOpen() const { return movie_.IsOpen(); }
  std::int32_t FrameNumber() const { return movie_.FrameNumber(); }
  const AviStreamInfo& StreamInfo() const { return movie_.StreamInfo(); }

  // A whole recording: first capture, open, the schedule loop until Stop,
  // close.
  RunEnd RecordMovie(const std::string& path);
  // Five seconds of frames as fast as they come, then selects the rate the
  // machine sustained in the rate list. Stop, or captures or writes that
  // keep failing, end it early: the list keeps its selection and the
  // calibration movie is removed.
  RunEnd MeasureFrameRate(const std::string& path);

  // Pause and Resume of a running recording (a calibration cannot pause).
  // A paused recording grabs and writes nothing; after Resume the schedule
  // goes on as if the pause had not happened: no copies fill it, and the
  // next frame is a new picture, grabbed as soon as it falls due.
  // Both return whether they changed anything.
  bool Pause();
  bool Resume();
  bool Paused() const { return paused_; }
  // True from a recording's first frame to its end (not in a calibration).
  bool RecordingRuns() const { return scheduling_; }

  // True while a calibration or recording is to go on; Stop clears it.
  bool Recording = false;
  // When the running recording's schedule started (Clock seconds); moved on
  // by every pause, so that now - StartTime is the time recorded.
  double StartTime = 0;
  // New pictures and copies written by the last recording.
  int newPictures = 0;
  int copies = 0;
  GrabDelays grabDelays;
  // Pictures the last calibration managed in its five seconds.
  int calibrationFrames = 0;

  // How long a failing write or capture is retried before the run ends.
  static constexpr double kGiveUpSeconds = 1.0;

 private:
  double rate() const;
  PixelRect captureRect() const;
  // What record and calibrate share: the first capture, which fixes the
  // frame size, getting the grabber ready, the open; then `body`; then the
  // close and the capture buffer's release.
  template <class Body>
  RunEnd run(const std::string& path, Body body);
  template <class Step>
  bool retry(Step step);
  bool writeUntilDone();
  bool captureUntilDone();
  RunEnd schedule();
  RunEnd measure(int& n);

  Clock& clock_;
  ScreenGrabber& grabber_;
  MovieFiles& movies_;
  RecorderHost& host_;
  Movie movie_;
  BitmapInfoHeader frameFormat_{};
  std::optional<PixelRect> openSize_;
  bool scheduling_ = false;
  bool paused_ = false;
  double pausedAt_ = 0;
};

}  // namespace ks
