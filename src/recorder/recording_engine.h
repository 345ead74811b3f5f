// The recording engine: the one capture buffer, the one open movie, the
// recording schedule and the frame-rate calibration, over a clock, a screen
// grabber, movie files and a host that runs the program's events. The
// recording session owns it and is the only one to drive it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/geometry.h"
#include "media/avi_format.h"
#include "media/movie.h"
#include "platform/file_sink.h"
#include "recorder/recording_settings.h"

namespace ks {

class Clock;
class ScreenGrabber;
class MovieFiles;
class RecorderHost;
class SoundCapture;

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
  NotStarted,     // the first capture failed; nothing written
  CreateFailed,   // the movie could not be created; nothing written
  StartFailed,    // the movie could not be started in its file (header, memory); the file removed
  Stopped,        // Stop, or the program ending
  WriteFailed,    // writes kept failing (disk full); movie closed
  CaptureFailed,  // captures kept failing; movie closed
  EncodeFailed,   // a frame could not be compressed; movie closed
  OutOfMemory,    // memory ran out while recording; movie closed
  CloseFailed,    // the frames are in, the final headers or indexes not
  Cancelled,      // a sound source could not be opened and the user chose not to record without it
  OutputFailed,   // the program making the movie failed: at its start, nothing written; later, the movie plays
  EncoderUnavailable,  // the program that makes the chosen format cannot be used; nothing written
};

// What the last run did.
struct RunFigures {
  // Frames written by a recording: new pictures, and copies of the last one
  // (when grabbing falls behind, or a grab failed).
  int newPictures = 0;
  int copies = 0;
  GrabDelays grabDelays;
  int calibrationFrames = 0;  // pictures a calibration managed in its five seconds
  std::int32_t framesInMovie = 0;  // frames the closed movie holds
  std::int64_t soundFramesInMovie = 0;  // sample frames of its sound
  FileProblem createProblem = FileProblem::None;  // why the movie could not be created
  OutputFailure outputFailure;                    // why its output failed, at the start or later
  std::int64_t framesRepeated = 0;                // frames its output wrote as copies, not having room
  WriteFault writeFault;                          // why writing its file failed first
  // Pictures a recording could not capture, written as the last one that
  // could; the first's and the last's time in the movie, in seconds.
  std::int64_t picturesMissed = 0;
  double missedFrom = 0, missedTo = 0;
};

class RecordingEngine {
 public:
  RecordingEngine(Clock& clock, ScreenGrabber& grabber, MovieFiles& movies, RecorderHost& host);
  RecordingEngine(const RecordingEngine&) = delete;
  RecordingEngine& operator=(const RecordingEngine&) = delete;

  // Shows the progress: the elapsed time, or the calibration's countdown;
  // repaintNow asks for it at once instead of when the events next run.
  std::function<void(const std::string& text, bool repaintNow)> onProgress;

  // A whole recording of the settings' region and format at their rate:
  // first capture, open, the schedule loop until stop, close. With `sound`
  // (its sources running), the movie gets a sound track: sample 0 at the
  // first frame's due time, written about every kSoundChunk seconds, and at
  // the close as long as the picture.
  RunEnd record(const RecordingSettings& settings, SoundCapture* sound = nullptr);
  // Five seconds of frames as fast as they come into the settings' path,
  // then the index of the rate the machine sustained, from settings.rates.
  // Stop, or captures or writes that keep failing, end it early: no rate is
  // chosen and the calibration movie is removed.
  RunEnd calibrate(const RecordingSettings& settings, std::optional<int>& rateIndex);

  // Seen at the next pass of the running loop, which then ends, and by the
  // runs after it until clearStop().
  void stop() { stopping_ = true; }
  void clearStop() { stopping_ = false; }
  bool stopping() const { return stopping_; }
  // Pause and Resume of a running recording (a calibration cannot pause).
  // A paused recording grabs and writes nothing; after Resume the schedule
  // goes on as if the pause had not happened: no copies fill it, and the
  // next frame is a new picture, grabbed as soon as it falls due.
  // Both return whether they changed anything.
  bool pause();
  bool resume();
  bool paused() const { return paused_; }
  // True from a recording's first frame to its end (not in a calibration).
  bool scheduling() const { return scheduling_; }
  // When the running recording's schedule started (Clock seconds); moved on
  // by every pause, so that now - startTime() is the time recorded.
  double startTime() const { return startTime_; }
  // The program is ending: an open movie is closed at once, so what was
  // recorded stays playable, and the run ends at its next pass.
  void closeNow();

  bool movieOpen() const { return movie_.IsOpen(); }
  const RunFigures& figures() const { return figures_; }
  // Compressed movies take their encoder from here: tests give failing ones.
  void setEncoderFactory(Movie::EncoderFactory factory) { movie_.setEncoderFactory(std::move(factory)); }
  // Movies that another program makes (MP4) are opened here: the path,
  // the pictures' format and rate, whether with sound, and whether for a
  // calibration (a movie that goes afterwards); null, with the reason in
  // `failure`, when the output cannot start.
  using OutputOpener = std::function<std::unique_ptr<MovieOutput>(
      const std::string& path, const BitmapInfoHeader& frameFormat, std::uint32_t rate, bool sound, bool calibration,
      OutputFailure& failure)>;
  void setOutputOpener(OutputOpener opener) { outputOpener_ = std::move(opener); }

  // How long a failing write or capture is retried before the run ends.
  static constexpr double kGiveUpSeconds = 1.0;
  // Sound is written when this much is ready, and lags the clock by
  // kSoundHold, so that packets a device delivers late still get in.
  static constexpr double kSoundChunk = 0.25;
  static constexpr double kSoundHold = 0.3;

 private:
  // The steps a run is made of.
  [[nodiscard]] bool CaptureFrame(const PixelRect& region);
  void FreeCapture();
  [[nodiscard]] bool OpenMovie(const std::string& path, double rate, MovieFormat format);
  [[nodiscard]] bool WriteFrame();
  bool CloseMovie();
  // What record and calibrate share: the first capture, which fixes the
  // frame size, getting the grabber ready, the open; then `body`; then the
  // close and the capture buffer's release.
  template <class Body>
  RunEnd run(const RecordingSettings& settings, double rate, Body body);
  template <class Step>
  bool retry(Step step);
  bool writeUntilDone();
  bool captureUntilDone();
  // Writes the sound that is ready; at the end (`last`), all of it up to
  // the picture's length. False when the write kept failing.
  bool writeSound(bool last);
  // The end a write that did not go through gives the run.
  RunEnd writeEnd() const;
  bool goOn() const;
  RunEnd schedule(double rate);
  RunEnd measure(int& n);
  void progress(const std::string& text, bool repaintNow);

  Clock& clock_;
  ScreenGrabber& grabber_;
  MovieFiles& movies_;
  RecorderHost& host_;
  Movie movie_;
  BitmapInfoHeader frameFormat_{};
  PixelRect region_{};  // of the run: every frame has its size
  RunFigures figures_;
  bool stopping_ = false;
  bool scheduling_ = false;
  bool paused_ = false;
  double pausedAt_ = 0;
  double startTime_ = 0;
  bool closeWhileEventsRun();

  OutputOpener outputOpener_;
  MovieFormat format_ = MovieFormat::Uncompressed;  // of the open movie
  bool calibrating_ = false;               // the run is a calibration
  bool closing_ = false;                   // a close runs on its thread
  SoundCapture* sound_ = nullptr;          // of the running recording
  std::vector<std::int16_t> soundChunk_;  // taken from the track, not yet in the movie
  bool soundOutOfMemory_ = false;         // the sound's thread found no memory
};

}  // namespace ks
