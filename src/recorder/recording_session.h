// The recording session: the one owner of a recording. The forms hand it a
// settings value when Record is confirmed and follow its events; only its
// commands change its state.
//
//   Idle -> [Preparing] -> Calibrating -> Recording <-> Paused -> Idle
//
// Preparing is the look for the program that makes an MP4, the first time
// one is recorded.
// start() runs the whole command, calibration first when the settings ask
// for it, inside the caller's event handler; the program's events run from
// the loop, and the commands arrive through them.
#pragma once

#include <functional>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_sink.h"
#include "recorder/ffmpeg_probe.h"
#include "recorder/recording_engine.h"
#include "recorder/recording_settings.h"
#include "recorder/sound_capture.h"

namespace ks {

class AudioDevices;
class MouseWatch;
class KeyWatch;
class TextPainter;
class Programs;

enum class SessionState { Idle, Preparing, Calibrating, Recording, Paused };

// How a start() ended.
struct SessionOutcome {
  RunEnd end = RunEnd::Completed;
  // It ended in the calibration: no recording followed.
  bool calibrating = false;
  std::string path{};
  FileProblem fileProblem = FileProblem::None;  // why the movie could not be created
  std::int32_t frames = 0;                      // frames the movie holds
  std::int64_t soundFrames = 0;                 // sample frames of its sound track
  std::vector<SoundLoss> soundLosses{};         // sources that went away meanwhile
  MovieFormat format = MovieFormat::Uncompressed;
  FfmpegProbe ffmpeg{};                         // for an MP4: the ffmpeg looked for
  OutputFailure outputFailure{};                // why the program making the movie failed
  std::int64_t framesRepeated = 0;              // frames it had no room for, written as copies
  WriteFault writeFault{};                      // why writing the movie's file failed first
  std::int64_t picturesMissed = 0;              // pictures that could not be captured
  double missedFrom = 0, missedTo = 0;          // the first's and the last's time in the movie
};

struct SessionEvents {
  std::function<void(const std::string& text, bool repaintNow)> onProgress;
  // The calibration chose the rate at this index of the settings' rates; the
  // recording that follows runs at it.
  std::function<void(int rateIndex)> onRateCalibrated;
  std::function<void(SessionState state)> onStateChanged;
  // A chosen sound source cannot be opened (`reason` says why): true to
  // record without it, false to record nothing. Without an answer the
  // recording goes on without it.
  std::function<bool(const std::string& source, const std::string& reason)> onSoundUnavailable;
  // After the session went back to Idle.
  std::function<void(const SessionOutcome& outcome)> onEnded;
};

class RecordingSession {
 public:
  // Sound comes from `audio`, clicks to mark from `mouse`, MP4 movies from
  // an ffmpeg that `programs` run, shortcuts to caption from `keys` drawn
  // with `text`; without them every movie is silent and unmarked, and MP4
  // cannot be recorded.
  RecordingSession(Clock& clock, ScreenGrabber& grabber, MovieFiles& movies, RecorderHost& host,
                   AudioDevices* audio = nullptr, MouseWatch* mouse = nullptr, Programs* programs = nullptr,
                   KeyWatch* keys = nullptr, TextPainter* text = nullptr);
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  SessionEvents events;

  // Runs the recording `settings` describe until Stop or a fault, and
  // returns once it has ended (after onEnded). False, doing nothing, unless
  // Idle.
  bool start(const RecordingSettings& settings);
  // Ends the calibration or recording at its next pass. False when Idle.
  bool stop();
  // Pauses a running recording or resumes a paused one. False otherwise: a
  // calibration does not pause.
  bool togglePause();
  // The program is ending: an open movie is closed at once, so that what
  // was recorded stays playable, and the run stops.
  void programEnding();

  SessionState state() const { return state_; }
  // True from start() until Stop or the end.
  bool Recording() const { return state_ != SessionState::Idle && !engine_.stopping(); }
  bool Paused() const { return state_ == SessionState::Paused; }
  // A recording runs, paused or not (not a calibration).
  bool RecordingRuns() const { return state_ == SessionState::Recording || state_ == SessionState::Paused; }
  // When the running recording's schedule started, moved on by its pauses.
  double StartTime() const { return engine_.startTime(); }
  bool MovieOpen() const { return engine_.movieOpen(); }
  const RunFigures& figures() const { return engine_.figures(); }
  const SessionOutcome& lastOutcome() const { return outcome_; }
  // Compressed movies take their encoder from here: tests give failing ones.
  void setEncoderFactory(Movie::EncoderFactory factory) { engine_.setEncoderFactory(std::move(factory)); }

  // The ffmpeg for MP4 movies, `storedPath` first: looked for and tried
  // once a run, again only after a look that found none that works, or for
  // another stored path. The program's events run meanwhile.
  const FfmpegProbe& ffmpeg(const std::string& storedPath);
  // Starts that look beside the program, so that the first MP4 need not
  // wait for it; ffmpeg() takes its answer.
  void lookForFfmpeg(const std::string& storedPath);

 private:
  void enter(SessionState state);
  RunEnd calibrateThenRecord(const RecordingSettings& settings, SoundCapture* sound);
  // Starts the chosen sources; false when one cannot be opened and the user
  // chose not to record without it.
  bool startSound(const SoundChoice& choice, SoundCapture& sound);

  // Runs the recording itself, its clicks marked and its shortcuts
  // captioned when the settings ask.
  RunEnd record(const RecordingSettings& settings, SoundCapture* sound);

  // Makes the MP4 output of `probe`'s ffmpeg the engine's.
  void useFfmpeg(const FfmpegProbe& probe);

  Clock& clock_;
  ScreenGrabber& grabber_;
  MovieFiles& movies_;
  RecorderHost& host_;
  RecordingEngine engine_;
  AudioDevices* audio_;
  MouseWatch* mouse_;
  Programs* programs_;
  KeyWatch* keys_;
  TextPainter* text_;
  std::optional<FfmpegProbe> ffmpeg_;
  std::string ffmpegAsked_;  // the stored path ffmpeg_ answers
  std::future<FfmpegProbe> looking_;  // a look going on
  std::string lookingFor_;            // for this stored path
  SessionState state_ = SessionState::Idle;
  SessionOutcome outcome_;
};

}  // namespace ks
