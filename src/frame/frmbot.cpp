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
#include "frame/mp4_messages.h"
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

const char* createProblemText(FileProblem problem) {
  switch (problem) {
    case FileProblem::NoFolder:
      return "Its folder does not exist (any more). Choose another folder and record again.";
    case FileProblem::IsFolder:
      return "A folder of that name is in the way. Choose another name and record again.";
    case FileProblem::AccessDenied:
      return "There is no right to write there, or the disk is read-only. Choose another folder and record again.";
    case FileProblem::InUse:
      return "Another program is using the file. Close it there, or choose another name, and record again.";
    case FileProblem::DiskFull:
      return "The disk is full. Make room on the disk, or choose another folder, and record again.";
    case FileProblem::None:
    case FileProblem::Other:
      break;
  }
  return "The system would not create it. Choose another folder or name and record again.";
}

// The system's code of a write fault, for a message: " (system error 21)".
std::string systemCodeText(const WriteFault& fault) {
  return fault.code != 0 ? " (system error " + std::to_string(fault.code) + ")" : "";
}

// When the screen cannot be read.
constexpr const char* kScreenLockedReason =
    "while the screen is locked, or while Windows shows a secure desktop such as a User Account Control prompt.";

// Why the movie could not be started in the file it was created as.
std::string startProblemText(const WriteFault& fault) {
  const std::string code = systemCodeText(fault);
  switch (fault.cause) {
    case WriteCause::None:
      return "The computer did not have the memory for it. Close other programs, or choose a smaller region, "
             "and record again.";
    case WriteCause::DiskFull:
      return createProblemText(FileProblem::DiskFull);
    case WriteCause::Gone:
      return "Its drive or network folder could not be reached" + code +
             ". Connect it again, or choose another folder, and record again.";
    case WriteCause::Denied:
      return "Windows refused to write it" + code + ". Choose another folder and record again.";
    case WriteCause::TooLarge:
    case WriteCause::WrongSize:
    case WriteCause::Other:
      break;
  }
  return "Writing it failed" + code + ". Choose another folder and record again.";
}

// Why the movie's file stopped taking the recording, as the system said it.
std::string writeFailedText(const WriteFault& fault) {
  const std::string code = systemCodeText(fault);
  switch (fault.cause) {
    case WriteCause::Gone:
      return "The drive or network folder of the movie could not be reached any more" + code +
             ", so the recording stopped.\n\n"
             "Connect it again: the frames written until then are in the file, which may lack its end.";
    case WriteCause::Denied:
      return "Windows refused to write any more of the movie" + code +
             ", so the recording stopped.\n\n"
             "The frames written until then are in the file. Choose a folder you may write to, and record again.";
    case WriteCause::TooLarge:
      return "The movie reached the largest file this disk can hold" + code +
             ", so the recording stopped.\n\n"
             "The frames recorded until then are saved and play. Record to a disk formatted as NTFS for longer movies.";
    case WriteCause::WrongSize:
      return "The screen gave a picture of another size than the movie's, so the recording stopped.\n\n"
             "The frames recorded until then are saved and play.";
    case WriteCause::Other:
      return "Writing the movie failed" + code + ", so the recording stopped.\n\n"
             "The frames written until then are in the file.";
    case WriteCause::DiskFull:
    case WriteCause::None:
      break;
  }
  return "The disk could not take any more of the movie, so the recording stopped.\n\n"
         "The frames recorded until then are saved and play.";
}

// What the user is told when a run ended early for a reason they can act on;
// empty when there is nothing to tell.
std::string problemText(const SessionOutcome& outcome) {
  if (outcome.calibrating) {
    switch (outcome.end) {
      case RunEnd::WriteFailed:
        return "The calibration could not be completed: the disk could not take the calibration movie.\n\n"
               "Nothing was recorded. Make room on the disk, or choose another folder, and record again.";
      case RunEnd::CaptureFailed:
        return "The calibration could not be completed: the screen could not be read.\n\n"
               "Nothing was recorded.";
      case RunEnd::EncodeFailed:
        return "The calibration could not be completed: a frame could not be compressed.\n\nNothing was recorded.";
      case RunEnd::OutOfMemory:
        return "The calibration could not be completed: the computer ran out of memory.\n\nNothing was recorded.";
      default:
        return {};
    }
  }
  switch (outcome.end) {
    case RunEnd::WriteFailed:
      return writeFailedText(outcome.writeFault);
    case RunEnd::CreateFailed:
      return "The movie could not be created:\n\n" + outcome.path + "\n\n" + createProblemText(outcome.fileProblem);
    case RunEnd::StartFailed:
      return "The movie could not be started:\n\n" + outcome.path + "\n\n" + startProblemText(outcome.writeFault);
    case RunEnd::NotStarted:
      return std::string("The screen could not be read, so nothing was recorded.\n\nThis happens ") +
             kScreenLockedReason + " Record again once the desktop shows.";
    case RunEnd::EncodeFailed:
      return "A frame could not be compressed, so the recording stopped.\n\n"
             "The frames recorded until then are saved and play.";
    case RunEnd::OutOfMemory:
      return "The computer ran out of memory, so the recording stopped.\n\n"
             "The frames recorded until then are saved and play.";
    case RunEnd::CloseFailed:
      return "The end of the movie could not be written to the disk:\n\n" + outcome.path +
             "\n\nThe frames recorded are in the file, but without its index some players may not play it.";
    default:
      return {};
  }
}

std::string quoted(const std::string& name) { return "\xE2\x80\x9C" + name + "\xE2\x80\x9D"; }  // U+201C, U+201D

std::string soundUnavailableText(const std::string& source, const std::string& reason) {
  return "The sound source " + quoted(source) + " cannot be opened" + (reason.empty() ? "" : ": " + reason) +
         ".\n\nRecord without it?\n\nYes records without that sound; No and Cancel record nothing.";
}

// Pictures the recording could not capture, and when in the movie.
std::string missedPicturesText(const SessionOutcome& outcome) {
  if (outcome.picturesMissed == 0) return {};
  const bool one = outcome.picturesMissed == 1;
  const std::string span = one ? "at " + formatElapsed(outcome.missedFrom)
                               : "from " + formatElapsed(outcome.missedFrom) + " to " + formatElapsed(outcome.missedTo);
  return (one ? std::string("1 picture") : std::to_string(outcome.picturesMissed) + " pictures") +
         " of the movie could not be captured, " + span + ". The movie shows the picture before " +
         (one ? "it" : "them") + " in " + (one ? "its" : "their") + " place.\n\nThis usually happens " +
         kScreenLockedReason;
}

// Sources that went away while the movie was recorded, and when.
std::string soundLossText(const SessionOutcome& outcome) {
  if (outcome.soundLosses.empty() || outcome.end == RunEnd::NotStarted || outcome.end == RunEnd::CreateFailed ||
      outcome.end == RunEnd::StartFailed)
    return {};
  std::string text;
  for (const SoundLoss& loss : outcome.soundLosses) {
    text += "The sound source " + quoted(loss.source) + " was lost at " + formatElapsed(loss.at) + " of the movie";
    if (!loss.reason.empty()) text += " (" + loss.reason + ")";
    text += ".\n";
  }
  return text + "\nThe movie has silence from then on in its place; the picture went on.";
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
  std::string problem = mp4ProblemText(outcome);
  if (problem.empty()) problem = problemText(outcome);
  if (!problem.empty()) app_.windows().messageBoxWarning(problem);
  const std::string lost = soundLossText(outcome);
  if (!lost.empty()) app_.windows().messageBoxWarning(lost);
  const std::string missed = problem.empty() ? missedPicturesText(outcome) : std::string();
  if (!missed.empty()) app_.windows().messageBoxWarning(missed);
}

}  // namespace ks
