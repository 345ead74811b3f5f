#include "recorder/recording_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>

#include "platform/clock.h"
#include "platform/movie_files.h"
#include "platform/screen_grabber.h"
#include "recorder/recorder_host.h"
#include "recorder/sound_capture.h"

namespace ks {

namespace {

constexpr double kCalibrationSeconds = 5.0;
// Pause between retries of a failing write or capture.
constexpr double kRetryPause = 0.01;
// Longest sleep of a paused recording between events.
constexpr double kPausedWait = 0.25;
// How often a paused recording brings the file's headers up to date.
constexpr double kPausedCheckpoint = 1.0;
// A close that takes longer than this says so.
constexpr double kSavingAfter = 0.3;
// How often the program's events run while a close goes on beside them.
constexpr std::chrono::milliseconds kEventsEvery{20};

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

void RecordingEngine::progress(const std::string& text, bool repaintNow) {
  if (onProgress) onProgress(text, repaintNow);
}

bool RecordingEngine::CaptureFrame(const PixelRect& region) {
  if (!grabber_.grabRect(region.width, region.height, region.x, region.y)) return false;
  const CapturedPicture p = grabber_.picture();
  frameFormat_ = makeFrameFormat(p.width, p.height);
  return true;
}

void RecordingEngine::FreeCapture() { grabber_.freeCapture(); }

bool RecordingEngine::OpenMovie(const std::string& path, double rate, MovieFormat format) {
  const CapturedPicture p = grabber_.picture();
  if (!p.bits) return false;
  figures_.createProblem = FileProblem::None;
  figures_.outputFailure = {};
  figures_.writeFault = {};
  format_ = format;
  std::unique_ptr<FileSink> sink = movies_.create(path, figures_.createProblem);
  if (!sink) return false;
  if (format != MovieFormat::Mp4) {
    if (movie_.OpenMovie(std::move(sink), frameFormat_, roundToInt32(rate), format, sound_ != nullptr)) return true;
    // Its headers could not be written, or there was no memory for its
    // pipeline: nothing of it stays.
    figures_.writeFault = movie_.WriteProblem();
    static_cast<void>(movies_.remove(path));
    return false;
  }
  // The file could be made; the program writes it from the start.
  static_cast<void>(sink->close());
  sink.reset();
  const auto r = static_cast<std::uint32_t>(std::max(1, roundToInt32(rate)));
  std::unique_ptr<MovieOutput> output;
  if (outputOpener_) {
    output = outputOpener_(path, frameFormat_, r, sound_ != nullptr, calibrating_, figures_.outputFailure);
  } else {
    figures_.outputFailure.kind = OutputFailure::Kind::ProgramFailed;
    figures_.outputFailure.detail = "no program makes this kind of movie";
  }
  if (output && movie_.OpenMovie(std::move(output), frameFormat_, static_cast<int>(r))) return true;
  if (figures_.outputFailure.kind == OutputFailure::Kind::None)
    figures_.outputFailure.kind = OutputFailure::Kind::ProgramFailed;
  // Nothing of it was recorded.
  static_cast<void>(movies_.remove(path));
  return false;
}

bool RecordingEngine::WriteFrame() {
  const CapturedPicture p = grabber_.picture();
  if (!p.bits || !movie_.IsOpen()) return false;
  return movie_.WriteFrame(p.bits, frameFormat_);
}

bool RecordingEngine::closeWhileEventsRun() {
  closing_ = true;
  std::future<bool> closed = std::async(std::launch::async, [this] { return movie_.CloseMovie(); });
  const double saying = clock_.now() + kSavingAfter;
  bool said = false;
  while (closed.wait_for(kEventsEvery) != std::future_status::ready) {
    if (!said && clock_.now() >= saying) {
      progress("Saving", true);
      said = true;
    }
    host_.doEvents();
  }
  closing_ = false;
  return closed.get();
}

bool RecordingEngine::CloseMovie() {
  // A movie that another program finishes can take a while to close: its
  // close runs on a thread of its own while the program's events go on.
  const bool closed = format_ == MovieFormat::Mp4 ? closeWhileEventsRun() : movie_.CloseMovie();
  figures_.framesInMovie = movie_.FrameNumber();
  figures_.soundFramesInMovie = movie_.SoundFrames();
  figures_.framesRepeated = movie_.FramesRepeated();
  figures_.writeFault = movie_.WriteProblem();
  const OutputFailure failure = movie_.OutputProblem();
  if (failure.kind != OutputFailure::Kind::None) figures_.outputFailure = failure;
  return closed;
}

void RecordingEngine::closeNow() {
  stopping_ = true;
  // The program ends: nobody is left to tell. A close that runs already
  // ends on its own.
  if (movie_.IsOpen() && !closing_) static_cast<void>(movie_.CloseMovie());
}

bool RecordingEngine::goOn() const { return !stopping_ && !host_.ended(); }

// A failing write or capture is repeated until it goes through; a disk that
// stays full or a screen that cannot be read ends the run after about a
// second instead of hanging it. A movie that cannot go on at all (its
// encoder failed, memory ran out) ends it at once.
template <class Step>
bool RecordingEngine::retry(Step step) {
  const double giveUp = clock_.now() + kGiveUpSeconds;
  while (!step()) {
    if (movie_.Fault() != MovieFault::None || clock_.now() >= giveUp || host_.ended()) return false;
    host_.waitUntil(clock_.now() + kRetryPause);
  }
  return true;
}

bool RecordingEngine::writeUntilDone() {
  return retry([this] { return WriteFrame(); });
}

bool RecordingEngine::captureUntilDone() {
  return retry([this] { return CaptureFrame(region_); });
}

bool RecordingEngine::writeSound(bool last) {
  if (!sound_ || !movie_.HasSound()) return true;
  if (sound_->outOfMemory()) {
    soundOutOfMemory_ = true;
    return false;
  }
  if (soundChunk_.empty()) {
    std::int64_t end = 0;
    if (last) {
      // As long as the picture: its frames at the stream's rate.
      const AviStreamInfo& info = movie_.StreamInfo();
      end = info.dwRate == 0 ? 0
                             : static_cast<std::int64_t>(std::llround(static_cast<double>(movie_.FrameNumber()) *
                                                                     kSoundRate * info.dwScale / info.dwRate));
    } else {
      end = static_cast<std::int64_t>(std::floor((clock_.now() - startTime_ - kSoundHold) * kSoundRate));
      if (end - sound_->taken() < static_cast<std::int64_t>(kSoundChunk * kSoundRate)) return true;
    }
    sound_->take(end, soundChunk_);
    if (soundChunk_.empty()) return true;
  }
  const auto frames = static_cast<std::uint32_t>(soundChunk_.size() / 2);
  if (!retry([this, frames] { return movie_.WriteSound(soundChunk_.data(), frames); })) return false;
  soundChunk_.clear();
  return true;
}

RunEnd RecordingEngine::writeEnd() const {
  if (soundOutOfMemory_) return RunEnd::OutOfMemory;
  switch (movie_.Fault()) {
    case MovieFault::Encoder:
      return RunEnd::EncodeFailed;
    case MovieFault::Memory:
      return RunEnd::OutOfMemory;
    case MovieFault::Output:
      return RunEnd::OutputFailed;
    case MovieFault::None:
      break;
  }
  return RunEnd::WriteFailed;
}

template <class Body>
RunEnd RecordingEngine::run(const RecordingSettings& settings, double rate, Body body) {
  figures_.framesInMovie = 0;
  region_ = settings.region;
  if (!CaptureFrame(region_)) return RunEnd::NotStarted;
  // The first picture fixes the frame size; every frame keeps it.
  const CapturedPicture first = grabber_.picture();
  region_.width = first.width;
  region_.height = first.height;
  // Lets the grabber get ready for the region before anything is timed.
  grabber_.prepare(region_.width, region_.height, region_.x, region_.y);
  if (!OpenMovie(settings.path, rate, settings.format)) {
    FreeCapture();
    if (figures_.createProblem != FileProblem::None) return RunEnd::CreateFailed;
    if (settings.format != MovieFormat::Mp4) return RunEnd::StartFailed;
    return figures_.outputFailure.kind == OutputFailure::Kind::None ? RunEnd::NotStarted : RunEnd::OutputFailed;
  }
  // Precise waits for the run only: on Windows they can cost power.
  struct PreciseWaits {
    RecorderHost& host;
    explicit PreciseWaits(RecorderHost& h) : host(h) { host.setPreciseWaits(true); }
    ~PreciseWaits() { host.setPreciseWaits(false); }
  } precise(host_);
  RunEnd end = body();
  // The last frame gets the same patience as every other write; a movie the
  // program's end closed already has nothing left to write.
  const bool writing = end != RunEnd::WriteFailed && end != RunEnd::EncodeFailed && end != RunEnd::OutOfMemory &&
                       end != RunEnd::OutputFailed;
  if (writing && movie_.IsOpen() && !writeSound(true)) end = writeEnd();
  if (writing && movie_.IsOpen() && !retry([this] { return movie_.Flush(); })) end = writeEnd();
  if (movie_.IsOpen() && !CloseMovie() && (end == RunEnd::Stopped || end == RunEnd::Completed))
    end = RunEnd::CloseFailed;
  FreeCapture();
  return end;
}

RunEnd RecordingEngine::record(const RecordingSettings& settings, SoundCapture* sound) {
  figures_.newPictures = figures_.copies = 0;
  figures_.picturesMissed = 0;
  figures_.soundFramesInMovie = 0;
  figures_.grabDelays.clear();
  const double rate = settings.rate > 0 ? settings.rate : 1.0;
  sound_ = sound && !sound->empty() ? sound : nullptr;
  soundChunk_.clear();
  soundOutOfMemory_ = false;
  const RunEnd end = run(settings, rate, [this, rate] { return schedule(rate); });
  if (sound_) sound_->stop();
  sound_ = nullptr;
  return end;
}

bool RecordingEngine::pause() {
  if (!scheduling_ || paused_) return false;
  paused_ = true;
  pausedAt_ = clock_.now();
  if (sound_) sound_->pause(pausedAt_);
  return true;
}

// The schedule moves on by exactly the paused span: the frames after it fall
// due when they would have without the pause, in recorded time.
bool RecordingEngine::resume() {
  if (!scheduling_ || !paused_) return false;
  paused_ = false;
  const double now = clock_.now();
  startTime_ += now - pausedAt_;
  if (sound_) sound_->resume(now);
  return true;
}

// Frame i shows the screen as close to i / r seconds of recorded time after
// the start as the machine allows. A pass takes at most one new picture and
// one copy; copies keep the movie's length on the clock when grabbing falls
// behind. A pause takes its span out of the recorded time.
RunEnd RecordingEngine::schedule(double r) {
  startTime_ = clock_.now();
  if (sound_) sound_->begin(startTime_);
  scheduling_ = true;
  paused_ = false;
  std::int64_t i = 0;
  RunEnd end = RunEnd::Stopped;
  // When a paused loop last brought the headers up to date; none yet.
  std::optional<double> savedAt;
  std::int64_t shownSecond = -1;  // none yet
  while (goOn()) {
    if (paused_) {
      // Nothing is due: the file's headers catch up with the frames so far,
      // events run, and the loop sleeps until one comes.
      if (!savedAt || clock_.now() - *savedAt >= kPausedCheckpoint) {
        static_cast<void>(movie_.Checkpoint());  // tried again a second later
        savedAt = clock_.now();
      }
      host_.doEvents();
      if (paused_ && goOn()) host_.waitUntil(clock_.now() + kPausedWait);
      continue;
    }
    const double t1 = static_cast<double>(i) / r;
    const double t2 = static_cast<double>(i + 1) / r;
    const double now = clock_.now();
    if (now >= startTime_ + t1) {
      figures_.grabDelays.add(now - (startTime_ + t1));
      // On failure the buffer still holds the last picture, which the frame
      // repeats as a copy; the user hears of it at the end.
      const bool grabbed = CaptureFrame(region_);
      if (!grabbed) {
        if (figures_.picturesMissed++ == 0) figures_.missedFrom = t1;
        figures_.missedTo = t1;
      }
      if (!writeUntilDone()) {
        end = writeEnd();
        break;
      }
      ++(grabbed ? figures_.newPictures : figures_.copies);
      // The label shows whole seconds: it is set when they change.
      const double elapsed = clock_.now() - startTime_;
      const std::int64_t second = elapsed > 0 ? static_cast<std::int64_t>(elapsed) : 0;
      if (second != shownSecond) {
        shownSecond = second;
        progress(formatElapsed(elapsed), false);
      }
      ++i;
    }
    if (now >= startTime_ + t2) {
      if (!writeUntilDone()) {
        end = writeEnd();
        break;
      }
      ++figures_.copies;
      ++i;
    }
    if (!writeSound(false)) {
      end = writeEnd();
      break;
    }
    savedAt.reset();
    host_.doEvents();
    if (!goOn()) break;
    // Nothing to do until the next frame falls due or an event arrives.
    // Sound wants writing about every kSoundChunk however slow the rate.
    double due = startTime_ + static_cast<double>(i) / r;
    if (sound_) due = std::min(due, clock_.now() + kSoundChunk);
    if (due > clock_.now()) host_.waitUntil(due);
  }
  scheduling_ = paused_ = false;
  return end;
}

RunEnd RecordingEngine::calibrate(const RecordingSettings& settings, std::optional<int>& rateIndex) {
  rateIndex.reset();
  int n = 0;
  const double rate = settings.rate > 0 ? settings.rate : 1.0;
  calibrating_ = true;
  RunEnd result = run(settings, rate, [this, &n] { return measure(n); });
  calibrating_ = false;
  if (result == RunEnd::NotStarted || result == RunEnd::CreateFailed || result == RunEnd::StartFailed) return result;
  if (result == RunEnd::OutputFailed && figures_.framesInMovie == 0) return result;
  // Frames the output had no room for were copies: the machine did not
  // sustain them.
  n -= static_cast<int>(std::min<std::int64_t>(n, figures_.framesRepeated));
  figures_.calibrationFrames = n;
  // Its count is what matters; a calibration movie that did not close well
  // goes like any other.
  if (result == RunEnd::CloseFailed) result = RunEnd::Completed;
  // A calibration that did not run its course leaves no movie behind and
  // no rate chosen.
  if (result != RunEnd::Completed) {
    static_cast<void>(movies_.remove(settings.path));  // nothing more to do if it stays
    return result;
  }
  if (!settings.rates.empty()) rateIndex = calibratedRateIndex(n, settings.rates);
  return result;
}

RunEnd RecordingEngine::measure(int& n) {
  const double start = clock_.now();
  const double end = start + kCalibrationSeconds;
  double now = start;
  while (end > now) {
    if (!captureUntilDone()) return RunEnd::CaptureFailed;
    if (!writeUntilDone()) return writeEnd();
    ++n;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about the
    // inlined copy in "-" + std::string.
    std::string text = "-";
    text += formatElapsed(end - clock_.now());
    text += ' ';
    text += std::to_string(n);
    progress(text, true);
    host_.doEvents();
    if (!goOn()) return RunEnd::Stopped;
    now = clock_.now();
  }
  return RunEnd::Completed;
}

}  // namespace ks
