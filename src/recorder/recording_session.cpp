#include "recorder/recording_session.h"

namespace ks {

RecordingSession::RecordingSession(Clock& clock, ScreenGrabber& grabber, MovieFiles& movies, RecorderHost& host)
    : engine_(clock, grabber, movies, host) {
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
  outcome_.end = calibrateThenRecord(settings);
  outcome_.fileProblem = engine_.figures().createProblem;
  outcome_.frames = engine_.figures().framesInMovie;
  enter(SessionState::Idle);
  if (events.onEnded) events.onEnded(outcome_);
  return true;
}

// A calibration that could not even start leaves the choice to the
// recording, which tries the same path at the rate given.
RunEnd RecordingSession::calibrateThenRecord(const RecordingSettings& settings) {
  RecordingSettings recording = settings;
  if (settings.calibrate) {
    enter(SessionState::Calibrating);
    std::optional<int> rateIndex;
    const RunEnd end = engine_.calibrate(settings, rateIndex);
    if (rateIndex) {
      recording.rate = settings.rates[static_cast<std::size_t>(*rateIndex)];
      if (events.onRateCalibrated) events.onRateCalibrated(*rateIndex);
    }
    const bool recordingFollows = end == RunEnd::Completed || end == RunEnd::NotStarted || end == RunEnd::CreateFailed;
    if (!recordingFollows || engine_.stopping()) {
      outcome_.calibrating = true;
      return end;
    }
  }
  enter(SessionState::Recording);
  return engine_.record(recording);
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

}  // namespace ks
