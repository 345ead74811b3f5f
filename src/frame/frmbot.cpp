#include "frame/frmbot.h"

#include "about/frmabout.h"
#include "app/app.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"
#include "frame/pictures.h"
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

// What the user is told when a run ended early for a reason they can act on.
const char* problemText(RunEnd end, bool calibrating) {
  if (calibrating) {
    switch (end) {
      case RunEnd::WriteFailed:
        return "The calibration could not be completed: the disk could not take the calibration movie.\n\n"
               "Nothing was recorded. Make room on the disk, or choose another folder, and record again.";
      case RunEnd::CaptureFailed:
        return "The calibration could not be completed: the screen could not be read.\n\n"
               "Nothing was recorded.";
      default:
        return nullptr;
    }
  }
  return end == RunEnd::WriteFailed ? "The disk could not take any more of the movie, so the recording stopped.\n\n"
                                      "The frames recorded until then are saved and play."
                                    : nullptr;
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
  cmdStop->onClick = [this] { app_.modAVI().Recording = false; };
  layout();
  registerHotkeys();
}

void FrmBot::registerHotkeys() {
  struct Setting {
    HotkeyId id;
    const char* key;
    const char* standard;
  };
  const Setting settings[] = {{kRecordKey, "HotkeyRecord", "Ctrl+Shift+F9"}, {kStopKey, "HotkeyStop", "Ctrl+Shift+F10"}};
  for (const Setting& s : settings) {
    // A stored text that names no combination gives the standard one.
    const std::string text = GetSetting(app_.platform().settings, kAppName, kSection, s.key, s.standard);
    GlobalKey& k = keys_[s.id - 1];
    k.key = parseHotkey(text).value_or(*parseHotkey(s.standard));
    k.available = app_.windows().registerHotkey(s.id, k.key);
  }
  app_.windows().onHotkey = [this](int id) { hotkeyPressed(id); };
}

void FrmBot::hotkeyPressed(int id) {
  // A dialog is open: the bar takes no input then, and neither do the keys.
  if (!window_->enabled()) return;
  if (id == kRecordKey) recordPressed();
  else if (id == kStopKey && busy_) app_.modAVI().Recording = false;
}

void FrmBot::recordPressed() {
  if (!busy_) record();
  else if (app_.modAVI().RecordingRuns()) pauseOrResume();
}

void FrmBot::pauseOrResume() {
  ModAvi& avi = app_.modAVI();
  if (avi.Paused() ? avi.Resume() : avi.Pause()) cmdtest->setCaption(avi.Paused() ? "Resume" : "Pause");
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
  if (e.button != kLeftButton || busy_) return;
  gripdy = roundToInt16(e.y);
  gripdx = roundToInt16(window_->width() - (imgbotcorner->left() + e.x));
}

// Every frame of a movie keeps the size it was opened with, so the grip does
// nothing while a calibration or recording runs.
void FrmBot::gripDragged(const MouseEvent& e) {
  if (e.button != kLeftButton || busy_) return;
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
  if (busy_) return;
  ModAvi& avi = app_.modAVI();
  avi.Recording = true;
  FrmFile& file = app_.frmFile();
  file.refreshDrives();
  stayOnTopInPlace(file.window());
  app_.windows().showModal(file.window());
  // A close request unloads the dialog; its FileName went with it.
  const std::string path = app_.frmFileLoaded() ? app_.frmFile().FileName : std::string();
  if (path.empty() || app_.windows().ended()) {
    avi.Recording = false;
    return;
  }

  busy_ = true;
  cmdtest->setEnabled(false);
  SetIdle(false);
  RunEnd end = RunEnd::Completed;
  bool calibrationFailed = false;
  if (app_.frmSettings().optSystem->value()) {
    // The countdown with its frame count is wider than lblUpto, whose right
    // part lies under the Settings button besides. That button is disabled
    // now anyway, so it steps aside and the label reaches up to Exit while
    // the calibration runs.
    const float labelWidth = lblUpto->width();
    cmdSettings->setVisible(false);
    lblUpto->setWidth(cmdExit->left() - lblUpto->left());
    end = avi.MeasureFrameRate(path);
    calibrationFailed = end == RunEnd::WriteFailed || end == RunEnd::CaptureFailed;
    if (!app_.windows().ended()) {
      lblUpto->setWidth(labelWidth);
      cmdSettings->setVisible(true);
    }
  }
  if (avi.Recording && (end == RunEnd::Completed || end == RunEnd::NotStarted) && !app_.windows().ended()) {
    // While the recording runs the button pauses and resumes it.
    cmdtest->setCaption("Pause");
    cmdtest->setEnabled(true);
    end = avi.RecordMovie(path);
  }
  avi.Recording = false;
  if (app_.windows().ended()) return;
  cmdtest->setCaption("Record");
  SetIdle(true);
  cmdtest->setEnabled(true);
  busy_ = false;
  if (const char* problem = problemText(end, calibrationFailed)) app_.windows().messageBoxWarning(problem);
}

}  // namespace ks
