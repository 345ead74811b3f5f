#include "frame/frmbot.h"

#include <cmath>
#include <cstdlib>

#include "about/frmabout.h"
#include "app/app.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/global_keys.h"
#include "frame/marks_menu.h"
#include "frame/modgobal.h"
#include "frame/outcome_messages.h"
#include "frame/pictures.h"
#include "frame/region.h"
#include "frame/sound_menu.h"
#include "platform/controls.h"
#include "platform/settings_store.h"
#include "recorder/mod_avi.h"
#include "settings/frmfile.h"
#include "settings/frmsettings.h"
#include "settings/settings_keys.h"

namespace ks {

namespace {

constexpr float kGripWidth = 405;
constexpr float kGripHeight = 450;
constexpr float kBottomLineHeight = 30;

WindowDesign barDesign() {
  return {.caption = {}, .border = Border::None, .showInTaskbar = false, .controlBox = false, .background = kRed,
          .fontName = "Tahoma", .fontSize = 8.25f,
          .clientLeft = 2175, .clientTop = 6405, .clientWidth = 4740, .clientHeight = 435};
}

ButtonDesign button(const char* caption, float left, int tab) {
  auto s = placed<ButtonDesign>(left, 60, 735, 315, tab);
  s.caption = caption;
  return s;
}

ImageDesign image(Picture picture, float left, float top, float width, float height, bool stretch) {
  auto s = placed<ImageDesign>(left, top, width, height, -1);
  s.picture = std::move(picture);
  s.stretch = stretch;
  return s;
}

// The list's numbers: the rate list holds whole frames per second as text.
double rateOf(const std::string& text) {
  const double r = std::strtod(text.c_str(), nullptr);
  return r > 0 ? r : 1.0;
}

}  // namespace

FrmBot::FrmBot(App& app) : Form(app, barDesign()) {
  Window& w = *window_;
  cmdExit = &w.addButton(button("Exit", 3600, 0));
  cmdStop = &w.addButton(button("Stop", 1380, 1));
  cmdtest = &w.addButton(button("Record", 600, 2));
  ButtonDesign about = button("", 120, 3);
  about.width = 375;
  about.picture = pictures::questionMark();
  cmdAbout = &w.addButton(about);
  cmdSettings = &w.addButton(button("Settings", 2820, 4));
  LabelDesign upto;
  upto.caption = "00:00";
  upto.left = 2220;
  upto.top = 120;
  upto.width = 855;
  upto.height = 195;
  upto.tabIndex = 5;
  upto.backColor = kRed;
  upto.wordWrap = false;
  lblUpto = &w.addLabel(upto);

  LineDesign edge;
  edge.x2 = 60000;
  edge.systemWindowText = true;
  Line1 = &w.addLine(edge);
  Image1 = &w.addImage(image(pictures::barLeftEdge(), 0, 0, 30, 435, false));
  imgbotline = &w.addImage(image(pictures::barBottomEdge(), 10, 360, 4005, kBottomLineHeight, true));
  imgbotcorner = &w.addImage(image(pictures::cornerGrip(), 4260, 0, kGripWidth, kGripHeight, false));
}

void FrmBot::load() {
  Line1->setX1(app_.frmleft().window().width());
  Line1->setX2(window_->width() - app_.frmright().window().width());
  SetIdle(true);

  // "Path" is never written by the program; a usable one moves the movie
  // dialog's folder list, anything else leaves the folder it chose.
  const std::string path = GetSetting(app_.platform().settings, kAppName, kSection, "Path", "");
  FrmFile& file = app_.frmFile();
  if (!path.empty()) static_cast<void>(file.Dir->setPath(path));

  window_->events.onResize = [this] { layout(); };
  window_->events.onCloseRequest = [this] { return closeRequested(); };
  // The bar has no system menu of its own, and has the keyboard after
  // frmtop's Activate: Alt+Space opens frmtop's, where the frame's
  // choices are.
  window_->events.onMenuKey = [this] { app_.frmtop().window().showSystemMenu(); };
  imgbotcorner->onMouseDown = [this](const MouseEvent& e) { gripPressed(e); };
  imgbotcorner->onMouseMove = [this](const MouseEvent& e) { gripDragged(e); };
  imgbotcorner->onMouseUp = [this](const MouseEvent& e) { gripDragged(e); };
  cmdAbout->onClick = [this] { app_.windows().showModal(app_.frmAbout().window()); };
  cmdSettings->onClick = [this] {
    // A stick plugged in since the last showing is there to pick.
    app_.frmSettings().refreshDrives();
    app_.frmSettings().PutonTop();
    app_.windows().showModal(app_.frmSettings().window());
  };
  cmdExit->onClick = [this] { app_.endProgram(); };
  cmdtest->onClick = [this] { recordPressed(); };
  cmdStop->onClick = [this] { static_cast<void>(app_.modAVI().stop()); };  // nothing to stop when idle
  layout();

  ModAvi& avi = app_.modAVI();
  avi.events.onProgress = [this](const std::string& text, bool repaintNow) {
    if (lblUpto->caption() != text) lblUpto->setCaption(text);
    if (repaintNow) lblUpto->refresh();
  };
  // Selected as a click on the list would: the Settings dialog stores it.
  avi.events.onRateCalibrated = [this](int index) { app_.frmSettings().cboFrames->setListIndex(index); };
  avi.events.onStateChanged = [this](SessionState state) { follow(state); };
  avi.events.onEnded = [this](const SessionOutcome& outcome) { ended(outcome); };
  avi.events.onSoundUnavailable = [this](const std::string& source, const std::string& reason) {
    return app_.windows().messageBoxYesNoCancel(soundUnavailableText(source, reason), MsgButton::Yes) ==
           MsgButton::Yes;
  };

  // A dialog is open while the bar is disabled: the keys do nothing then.
  GlobalKeys& keys = app_.globalKeys();
  keys.onRecord = [this] {
    if (window_->enabled()) recordPressed();
  };
  keys.onStop = [this] {
    if (window_->enabled()) static_cast<void>(app_.modAVI().stop());
  };
  keys.registerKeys();
}

bool FrmBot::busy() const { return app_.modAVI().state() != SessionState::Idle; }

void FrmBot::recordPressed() {
  if (!busy()) record();
  else static_cast<void>(app_.modAVI().togglePause());  // refused during a calibration
}

bool FrmBot::closeRequested() {
  if (cmdExit->enabled()) app_.endProgram();
  return false;
}

void FrmBot::layout() {
  const float w = window_->width(), h = window_->height();
  imgbotcorner->setTop(h - kGripHeight);
  imgbotcorner->setLeft(w - kGripWidth);
  imgbotline->setWidth(imgbotcorner->left());
  imgbotline->setTop(h - kBottomLineHeight);
  Line1->setX2(w - app_.frmright().window().width());
}

void FrmBot::SetIdle(bool idle) {
  app_.frmtop().window().setEnabled(idle);
  app_.frmleft().window().setEnabled(idle);
  app_.frmright().window().setEnabled(idle);
  cmdAbout->setEnabled(idle);
  cmdStop->setEnabled(!idle);
  cmdExit->setEnabled(idle);
  cmdSettings->setEnabled(idle);
}

void FrmBot::gripPressed(const MouseEvent& e) {
  if (e.button != kLeftButton || busy()) return;
  gripdy = roundToInt16(e.y);
  gripdx = roundToInt16(window_->width() - (imgbotcorner->left() + e.x));
}

// Every frame of a movie keeps the size it was opened with, so the grip does
// nothing while a calibration or recording runs.
void FrmBot::gripDragged(const MouseEvent& e) {
  if (e.button != kLeftButton || busy()) return;
  Window& top = app_.frmtop().window();
  window_->setTop(e.y - gripdy + window_->top());
  const float width = imgbotcorner->left() + e.x + gripdx;
  const float minimum = cmdExit->width() + cmdExit->left() + 100.0f;
  if (minimum < width) top.setWidth(imgbotcorner->left() + e.x + gripdx);
  // Keep the region at least 100 twips high by pushing the frame up; the
  // frame moves as a whole here, so the layout must not move the bar again.
  const float lowestTop = top.height() + top.top() + 100.0f;
  if (lowestTop > window_->top()) {
    top.setTop(window_->top() - top.height() - 100.0f);
    app_.frmtop().laidOutTop = top.top();
  }
  fixborders(app_);
}

void FrmBot::record() {
  if (busy()) return;
  FrmFile& file = app_.frmFile();
  file.refreshDrives();
  stayOnTopInPlace(file.window());
  app_.windows().showModal(file.window());
  // A close request unloads the dialog; its FileName went with it.
  const std::string path = app_.frmFileLoaded() ? app_.frmFile().FileName : std::string();
  if (path.empty() || app_.windows().ended()) return;

  static_cast<void>(app_.modAVI().start(recordingSettings(path)));  // idle, as checked above
}

RecordingSettings FrmBot::recordingSettings(const std::string& path) const {
  const FrmSettings& settings = app_.frmSettings();
  RecordingSettings recording;
  recording.path = path;
  recording.rate = rateOf(settings.cboFrames->text());
  recording.format = app_.frmFile().movieFormat();
  recording.calibrate = settings.optSystem->value();
  for (int k = 0; k < settings.cboFrames->listCount(); ++k) recording.rates.push_back(rateOf(settings.cboFrames->list(k)));
  recording.region = regionPixels(app_);
  recording.sound = storedSoundChoice(app_.platform().settings);
  const MarksChoice marks = storedMarksChoice(app_.platform().settings);
  recording.showClicks = marks.showClicks;
  recording.showKeys = marks.showKeys;
  for (const GlobalKeys::Id id : {GlobalKeys::kRecord, GlobalKeys::kStop}) {
    const GlobalKeys::Key& own = app_.globalKeys().key(id);
    if (own.available) recording.ownKeys.push_back(own.key);
  }
  recording.recordPointer = marks.recordPointer;
  // 1440 twips to the inch.
  recording.dpi = static_cast<int>(std::lround(1440.0 / app_.windows().twipsPerPixelX()));
  recording.ffmpegPath = GetSetting(app_.platform().settings, kAppName, kSection, "FFmpegPath", "");
  return recording;
}

void FrmBot::follow(SessionState state) {
  if (app_.windows().ended()) return;
  // The countdown with its frame count is wider than lblUpto, whose right
  // part lies under the Settings button besides. That button is disabled
  // while the calibration runs anyway, so it steps aside and the label
  // reaches up to Exit meanwhile.
  const SessionState was = shown_;
  shown_ = state;
  const bool calibrating = state == SessionState::Calibrating;
  if (calibrating && cmdSettings->visible()) {
    idleLabelWidth_ = lblUpto->width();
    cmdSettings->setVisible(false);
    lblUpto->setWidth(cmdExit->left() - lblUpto->left());
  } else if (!calibrating && !cmdSettings->visible()) {
    lblUpto->setWidth(idleLabelWidth_);
    cmdSettings->setVisible(true);
  }
  switch (state) {
    case SessionState::Idle:
      cmdtest->setCaption("Record");
      SetIdle(true);
      cmdtest->setEnabled(true);
      break;
    case SessionState::Preparing:
    case SessionState::Calibrating:
      cmdtest->setEnabled(false);
      SetIdle(false);
      break;
    case SessionState::Recording:
    case SessionState::Paused:
      // While the recording runs the button pauses and resumes it.
      cmdtest->setCaption(state == SessionState::Paused ? "Resume" : "Pause");
      cmdtest->setEnabled(true);
      if (was == SessionState::Idle) SetIdle(false);
      break;
  }
}

void FrmBot::ended(const SessionOutcome& outcome) {
  if (app_.windows().ended()) return;
  for (const std::string& message : outcomeMessages(outcome)) app_.windows().messageBoxWarning(message);
}

}  // namespace ks
