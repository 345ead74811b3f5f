#include "recorder/recording_session.h"

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <utility>

#include "media/mp4_output.h"
#include "platform/audio_source.h"
#include "platform/key_watch.h"
#include "platform/mouse_watch.h"
#include "platform/screen_grabber.h"
#include "recorder/click_overlay.h"
#include "recorder/key_overlay.h"
#include "recorder/recorder_host.h"

namespace ks {

namespace {

// How often the program's events run while work goes on beside them.
constexpr std::chrono::milliseconds kEventsEvery{20};

}  // namespace

RecordingSession::RecordingSession(Clock& clock, ScreenGrabber& grabber, MovieFiles& movies, RecorderHost& host,
                                   AudioDevices* audio, MouseWatch* mouse, Programs* programs, KeyWatch* keys,
                                   TextPainter* text)
    : clock_(clock), grabber_(grabber), movies_(movies), host_(host), engine_(clock, grabber, movies, host),
      audio_(audio), mouse_(mouse), programs_(programs), keys_(keys), text_(text) {
  engine_.onProgress = [this](const std::string& text, bool repaintNow) {
    if (events.onProgress) events.onProgress(text, repaintNow);
  };
}

void RecordingSession::enter(SessionState state) {
  if (state_ == state) return;
  state_ = state;
  if (events.onStateChanged) events.onStateChanged(state);
}

bool RecordingSession::start(const RecordingSettings& settings) {
  if (state_ != SessionState::Idle) return false;
  engine_.clearStop();
  outcome_ = SessionOutcome{};
  outcome_.path = settings.path;
  outcome_.format = settings.format;
  if (settings.format == MovieFormat::Mp4) {
    enter(SessionState::Preparing);
    outcome_.ffmpeg = ffmpeg(settings.ffmpegPath);
    if (!outcome_.ffmpeg.usable() || engine_.stopping()) {
      outcome_.end = outcome_.ffmpeg.usable() ? RunEnd::Stopped : RunEnd::EncoderUnavailable;
      enter(SessionState::Idle);
      if (events.onEnded) events.onEnded(outcome_);
      return true;
    }
    useFfmpeg(outcome_.ffmpeg);
  }
  // The sources run from here on, so that they are ready when the first
  // frame falls due; the track drops what comes before it. A GIF has no
  // sound to record.
  std::unique_ptr<SoundCapture> sound;
  if (audio_ && settings.sound.any() && settings.format != MovieFormat::Gif) sound = std::make_unique<SoundCapture>();
  if (sound && !startSound(settings.sound, *sound)) {
    outcome_.end = RunEnd::Cancelled;
  } else {
    // The pointer as the settings want it, in the calibration's pictures too,
    // so that it measures what the recording draws.
    grabber_.setMarks(settings.recordPointer, {});
    outcome_.end = calibrateThenRecord(settings, sound.get());
    grabber_.setMarks(true, {});
    outcome_.fileProblem = engine_.figures().createProblem;
    outcome_.frames = engine_.figures().framesInMovie;
    outcome_.soundFrames = engine_.figures().soundFramesInMovie;
    outcome_.outputFailure = engine_.figures().outputFailure;
    outcome_.framesRepeated = engine_.figures().framesRepeated;
    outcome_.writeFault = engine_.figures().writeFault;
    outcome_.picturesMissed = outcome_.calibrating ? 0 : engine_.figures().picturesMissed;
    outcome_.missedFrom = engine_.figures().missedFrom;
    outcome_.missedTo = engine_.figures().missedTo;
  }
  if (sound) {
    sound->stop();
    outcome_.soundLosses = sound->losses();
  }
  enter(SessionState::Idle);
  if (events.onEnded) events.onEnded(outcome_);
  return true;
}

// A calibration that could not even start leaves the choice to the
// recording, which tries the same path at the rate given.
bool RecordingSession::startSound(const SoundChoice& choice, SoundCapture& sound) {
  std::vector<std::unique_ptr<AudioSource>> sources;
  if (choice.system) sources.push_back(audio_->systemSound());
  // A device that is not connected records no microphone.
  if (!choice.input.empty()) sources.push_back(audio_->input(choice.input));
  for (auto& source : sources) {
    if (!source) continue;
    const std::string name = source->name();
    std::string reason;
    if (sound.add(std::move(source), reason)) continue;
    if (events.onSoundUnavailable && !events.onSoundUnavailable(name, reason)) return false;
  }
  return true;
}

RunEnd RecordingSession::calibrateThenRecord(const RecordingSettings& settings, SoundCapture* sound) {
  RecordingSettings recording = settings;
  if (settings.calibrate) {
    enter(SessionState::Calibrating);
    std::optional<int> rateIndex;
    const RunEnd end = engine_.calibrate(settings, rateIndex);
    if (rateIndex) {
      recording.rate = settings.rates[static_cast<std::size_t>(*rateIndex)];
      if (events.onRateCalibrated) events.onRateCalibrated(*rateIndex);
    }
    const bool recordingFollows = end == RunEnd::Completed || end == RunEnd::NotStarted ||
                                  end == RunEnd::CreateFailed || end == RunEnd::StartFailed;
    if (!recordingFollows || engine_.stopping() || settings.calibrateOnly) {
      outcome_.calibrating = true;
      return end;
    }
  }
  enter(SessionState::Recording);
  return record(recording, sound);
}

namespace {

// A watch started for one recording, stopped on every way out of it: its
// handler points at an overlay on the recording's stack.
template <class Watch>
class Watching {
 public:
  Watching(Watch* watch, bool wanted, typename Watch::Handler handler)
      : watch_(wanted && watch && watch->start(std::move(handler)) ? watch : nullptr) {}
  ~Watching() {
    if (watch_) watch_->stop();
  }
  Watching(const Watching&) = delete;
  Watching& operator=(const Watching&) = delete;
  explicit operator bool() const { return watch_ != nullptr; }

 private:
  Watch* watch_;
};

// The grabber's overlay for one recording, taken away again on every way out.
class Overlaid {
 public:
  Overlaid(ScreenGrabber& grabber, bool pointer, ScreenGrabber::Overlay overlay) : grabber_(grabber), pointer_(pointer) {
    if (overlay) grabber_.setMarks(pointer_, std::move(overlay));
  }
  ~Overlaid() { grabber_.setMarks(pointer_, {}); }
  Overlaid(const Overlaid&) = delete;
  Overlaid& operator=(const Overlaid&) = delete;

 private:
  ScreenGrabber& grabber_;
  bool pointer_;
};

}  // namespace

// The hooks run only while the recording does. A watch that cannot run
// leaves its marks out of the movie.
RunEnd RecordingSession::record(const RecordingSettings& settings, SoundCapture* sound) {
  ClickOverlay clicks(clock_, settings.dpi);
  std::optional<KeyOverlay> keys;
  if (settings.showKeys && keys_ && text_) {
    const KeyWatch* names = keys_;
    keys.emplace(clock_, KeyCaptions(settings.dpi, settings.ownKeys,
                                     [names](const KeyStroke& stroke) { return names->keyName(stroke); }, *text_));
  }
  // Declared after the overlays, so that they end before them.
  const Watching<MouseWatch> mouse(mouse_, settings.showClicks,
                                   [&clicks](PixelPoint at, MouseButton button, bool down) {
                                     clicks.mouse(at, button, down);
                                   });
  const Watching<KeyWatch> typing(keys_, keys.has_value(), [&keys](const KeyStroke& stroke) { keys->key(stroke); });
  ScreenGrabber::Overlay overlay;
  if (mouse || typing) {
    overlay = [&clicks, &keys, rings = static_cast<bool>(mouse), captions = static_cast<bool>(typing)](
                  const pixels::DibView& dib, PixelPoint origin) {
      if (rings) clicks.draw(dib, origin);
      if (captions) keys->draw(dib);
    };
  }
  const Overlaid marks(grabber_, settings.recordPointer, std::move(overlay));
  return engine_.record(settings, sound);
}

bool RecordingSession::stop() {
  if (state_ == SessionState::Idle) return false;
  engine_.stop();
  return true;
}

bool RecordingSession::togglePause() {
  if (state_ == SessionState::Recording && engine_.pause()) {
    enter(SessionState::Paused);
    return true;
  }
  if (state_ == SessionState::Paused && engine_.resume()) {
    enter(SessionState::Recording);
    return true;
  }
  return false;
}

void RecordingSession::programEnding() { engine_.closeNow(); }

const FfmpegProbe& RecordingSession::ffmpeg(const std::string& storedPath) {
  if (ffmpeg_ && ffmpeg_->usable() && ffmpegAsked_ == storedPath) return *ffmpeg_;
  FfmpegProbe probe;
  if (programs_) {
    if (!looking_.valid() || lookingFor_ != storedPath) lookForFfmpeg(storedPath);
    // Its runs take a few seconds on a slow machine: the window stays alive.
    while (looking_.wait_for(kEventsEvery) != std::future_status::ready) host_.doEvents();
    probe = looking_.get();
  }
  ffmpeg_ = std::move(probe);
  ffmpegAsked_ = storedPath;
  return *ffmpeg_;
}

void RecordingSession::lookForFfmpeg(const std::string& storedPath) {
  if (!programs_ || (looking_.valid() && lookingFor_ == storedPath)) return;
  if (ffmpeg_ && ffmpeg_->usable() && ffmpegAsked_ == storedPath) return;
  // A look for another path ends first (its runs have time limits).
  if (looking_.valid()) looking_.wait();
  lookingFor_ = storedPath;
  looking_ = std::async(std::launch::async, [this, storedPath] { return probeFfmpeg(*programs_, storedPath); });
}

void RecordingSession::useFfmpeg(const FfmpegProbe& probe) {
  engine_.setOutputOpener([this, probe](const std::string& path, const BitmapInfoHeader& frameFormat,
                                        std::uint32_t rate, bool sound, bool calibration,
                                        OutputFailure& failure) -> std::unique_ptr<MovieOutput> {
    Mp4Request request;
    request.ffmpeg = probe.path;
    request.version = probe.version;
    request.encoder = probe.encoder;
    request.path = path;
    request.width = frameFormat.biWidth;
    request.height = frameFormat.biHeight;
    request.rate = rate;
    request.sound = sound;
    request.finish = !calibration;
    return Mp4Output::open(*programs_, movies_, request, failure);
  });
}

}  // namespace ks
