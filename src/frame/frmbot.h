// frmbot: the frame's bottom edge and the control bar.
#pragma once

#include <cstdint>
#include <string>

#include "frame/form.h"
#include "recorder/recording_session.h"

namespace ks {

class Button;
class Label;
class Image;

class FrmBot final : public Form {
 public:
  explicit FrmBot(App& app);
  void load();

  // Lays the bar's content out for its current size.
  void layout();
  // Idle (true) or recording (false) state of the frame windows and buttons.
  void SetIdle(bool idle);
  // The keyboard's close command (Alt+F4) on the bar or a side window ends
  // the program as Exit does, when Exit is available, and does nothing while
  // a recording runs. False: the window itself never closes alone, which
  // would leave the frame without its controls.
  bool closeRequested();

  Button* cmdExit = nullptr;
  Button* cmdStop = nullptr;
  Button* cmdtest = nullptr;
  Button* cmdAbout = nullptr;
  Button* cmdSettings = nullptr;
  Label* lblUpto = nullptr;
  Line* Line1 = nullptr;  // the capture region's bottom edge
  Image* Image1 = nullptr;
  Image* imgbotline = nullptr;
  Image* imgbotcorner = nullptr;

  // Grip state, twips: pointer to the bar's right edge, pointer inside the grip.
  std::int16_t gripdx = 0;
  std::int16_t gripdy = 0;

  // True while a calibration or recording runs.
  bool busy() const;
  // The recording the dialogs and the frame describe now, into `path`.
  RecordingSettings recordingSettings(const std::string& path) const;

 private:
  void record();
  // The Record button or key: records when idle, pauses or resumes a
  // recording that runs, and does nothing during a calibration.
  void recordPressed();
  // The bar as the recording session stands: captions, enabled controls,
  // the label's room during a calibration.
  void follow(SessionState state);
  void ended(const SessionOutcome& outcome);
  void gripPressed(const struct MouseEvent& e);
  void gripDragged(const struct MouseEvent& e);
  SessionState shown_ = SessionState::Idle;
  float idleLabelWidth_ = 0;
};

}  // namespace ks
