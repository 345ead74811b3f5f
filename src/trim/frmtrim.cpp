#include "trim/frmtrim.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>

#include "app/app.h"
#include "base/path_rules.h"
#include "base/pixels.h"
#include "platform/controls.h"
#include "platform/file_system.h"
#include "platform/movie_files.h"
#include "settings/frmfile.h"

namespace ks {

namespace {

constexpr Rgb kFace{240, 240, 240};
constexpr float kMargin = 120, kGap = 90, kButtonHeight = 360, kButtonWidth = 1200, kLabelHeight = 255,
                kSliderHeight = 420;
// Room for the controls under the picture.
constexpr float kControlsHeight = kGap + kSliderHeight + kGap + kLabelHeight + kGap + kButtonHeight + kMargin;

WindowDesign trimDesign(const std::string& path, const TrimSource& movie) {
  // The picture 640 pixels wide at 96 DPI, its height as the movie's shape
  // says within bounds.
  const float pictureWidth = 9600;
  const float pictureHeight = std::clamp(pictureWidth * static_cast<float>(movie.height()) /
                                             static_cast<float>(std::max(movie.width(), 1)),
                                         2400.0f, 7200.0f);
  return {.caption = "Trim " + fileNameOf(path), .border = Border::Sizable, .showInTaskbar = true,
          .controlBox = true, .minButton = true, .maxButton = true, .background = kFace, .fontName = "Tahoma",
          .fontSize = 8.25f, .clientWidth = pictureWidth + 2 * kMargin,
          .clientHeight = kMargin + pictureHeight + kControlsHeight, .iconResource = 1, .centered = true,
          .minClientWidth = 4 * (kButtonWidth + kGap) + 2 * kMargin + kButtonWidth,
          .minClientHeight = kMargin + 1200 + kControlsHeight};
}

ButtonDesign button(const char* caption, int tab) {
  auto s = placed<ButtonDesign>(0, 0, kButtonWidth, kButtonHeight, tab);
  s.caption = caption;
  return s;
}

LabelDesign label(int tab, Align align) {
  auto s = placed<LabelDesign>(0, 0, 100, kLabelHeight, tab);
  s.backColor = kFace;
  s.wordWrap = false;
  s.align = align;
  return s;
}

void place(Placed& p, float left, float top, float width, float height) {
  p.setLeft(left);
  p.setTop(top);
  p.setWidth(std::max(width, 15.0f));
  p.setHeight(std::max(height, 15.0f));
}

std::string secondsText(std::int64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(micros) / 1e6);
  return text;
}

}  // namespace

std::string trimmedName(const std::string& path, const std::string& extension) {
  std::string name = fileNameOf(path);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + "-trim." + extension;
}

FrmTrim::FrmTrim(App& app, std::string path, std::unique_ptr<TrimSource> movie)
    : Form(app, trimDesign(path, *movie)), path_(std::move(path)), movie_(std::move(movie)), span_(movie_->times()) {
  Window& w = *window_;
  ImageDesign image;
  image.stretch = true;
  picture = &w.addImage(image);
  auto slider = placed<SliderDesign>(0, 0, 100, kSliderHeight, 0);
  slider.max = static_cast<int>(std::max<std::int64_t>(span_.times().frames() - 1, 0));
  slider.largeStep = std::max<int>(1, static_cast<int>(span_.times().frameAt(1000000)));
  sldFrame = &w.addSlider(slider);
  lblPosition = &w.addLabel(label(-1, Align::Left));
  lblSpan = &w.addLabel(label(-1, Align::Right));
  auto bar = placed<ProgressDesign>(0, 0, 100, kLabelHeight, -1);
  bar.max = 1000;
  bar.visible = false;
  barSaving = &w.addProgressBar(bar);
  cmdStart = &w.addButton(button("Set start", 1));
  cmdEnd = &w.addButton(button("Set end", 2));
  cmdSave = &w.addButton(button("Save as\xE2\x80\xA6", 3));  // U+2026
  cmdClose = &w.addButton(button("Close", 4));
}

void FrmTrim::load() {
  WindowEvents& e = window_->events;
  e.onResize = [this] { layout(); };
  e.onKeyDown = [this](const KeyEvent& key) { return keyDown(key); };
  e.onCloseRequest = [this] {
    // A save in progress is cancelled first; the window stays to say so.
    if (saving_) cancelRequested_ = true;
    return !saving_;
  };
  e.onUnload = [this] { app_.unloadFrmTrim(); };
  sldFrame->onChange = [this] {
    if (showing_) return;
    span_.moveTo(sldFrame->value());
    show();
  };
  cmdStart->onClick = [this] { span_.setStart(), show(); };
  cmdEnd->onClick = [this] { span_.setEnd(), show(); };
  cmdSave->onClick = [this] { saveAs(); };
  cmdClose->onClick = [this] {
    if (saving_) cancelRequested_ = true;
    else close();
  };
  layout();
  show();
  window_->show();
  sldFrame->setFocus();
}

bool FrmTrim::keyDown(const KeyEvent& key) {
  if (saving_) {
    if (key.key != kKeyEscape) return false;
    cancelRequested_ = true;
    return true;
  }
  if (key.alt) return false;
  if (key.ctrl) {
    if (key.key != 'S') return false;
    saveAs();
    return true;
  }
  switch (key.key) {
    case kKeyRight: span_.stepFrames(1); break;
    case kKeyLeft: span_.stepFrames(-1); break;
    case kKeyPageDown: span_.stepSeconds(1); break;
    case kKeyPageUp: span_.stepSeconds(-1); break;
    case kKeyHome: span_.toFirst(); break;
    case kKeyEnd: span_.toLast(); break;
    case 'I': span_.setStart(); break;
    case 'O': span_.setEnd(); break;
    case kKeyEscape: close(); return true;
    default: return false;
  }
  show();
  return true;
}

void FrmTrim::layout() {
  const float width = window_->scaleWidth(), height = window_->scaleHeight();
  const float buttonsTop = height - kMargin - kButtonHeight;
  const float labelsTop = buttonsTop - kGap - kLabelHeight;
  const float sliderTop = labelsTop - kGap - kSliderHeight;
  const float inner = width - 2 * kMargin;
  place(*sldFrame, kMargin, sliderTop, inner, kSliderHeight);
  place(*lblPosition, kMargin, labelsTop, 2400, kLabelHeight);
  // A little short of the edge: a right-aligned text's last letter stays whole.
  place(*lblSpan, kMargin + 2400, labelsTop, inner - 2400 - 60, kLabelHeight);
  place(*barSaving, kMargin + 2400, labelsTop, inner - 2400, kLabelHeight);
  float left = kMargin;
  for (Button* b : {cmdStart, cmdEnd, cmdSave}) {
    place(*b, left, buttonsTop, kButtonWidth, kButtonHeight);
    left += kButtonWidth + kGap;
  }
  place(*cmdClose, width - kMargin - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight);
  // The picture as large as the room above the slider allows, in its shape.
  const float roomWidth = inner, roomHeight = sliderTop - kGap - kMargin;
  const float scale = std::min(roomWidth / static_cast<float>(movie_->width()),
                               roomHeight / static_cast<float>(movie_->height()));
  const float shownWidth = movie_->width() * std::max(scale, 0.0f), shownHeight = movie_->height() * std::max(scale, 0.0f);
  place(*picture, kMargin + (roomWidth - shownWidth) / 2, kMargin + (roomHeight - shownHeight) / 2, shownWidth,
        shownHeight);
  show();
}

void FrmTrim::show() {
  showing_ = true;
  sldFrame->setValue(static_cast<int>(span_.position()));
  showing_ = false;
  lblPosition->setCaption(span_.positionText());
  lblSpan->setCaption(span_.spanText());
  // While a save runs on its thread the movie is its alone (a resize then
  // keeps the picture shown).
  if (saving_) return;
  const ReadResult<const std::vector<std::uint8_t>*> frame = movie_->picture(span_.position());
  if (!frame) {
    lblSpan->setCaption("This frame cannot be shown: " + frame.error());
    return;
  }
  // Scaled here to the pixels it is shown at: far less to hand over than a
  // whole frame, and the same look on every system.
  Picture shown;
  shown.width = std::max(1, static_cast<int>(std::lround(picture->width() / app_.windows().twipsPerPixelX())));
  shown.height = std::max(1, static_cast<int>(std::lround(picture->height() / app_.windows().twipsPerPixelY())));
  shown.bgra.resize(4 * static_cast<std::size_t>(shown.width) * static_cast<std::size_t>(shown.height));
  pixels::scaledToBgra(frame.value()->data(), movie_->width(), movie_->height(), shown.width, shown.height,
                       shown.bgra.data());
  picture->setPicture(shown);
}

void FrmTrim::saveAs() {
  if (saving_) return;
  SaveFileRequest request;
  request.title = "Save the trimmed movie";
  const std::string& type = movie_->extension();
  request.filterName = type == "gif" ? "GIF pictures" : type == "mp4" ? "MP4 movies" : "AVI movies";
  request.patterns = "*." + movie_->extension();
  request.folder = parentFolder(path_);
  request.fileName = trimmedName(path_, movie_->extension());
  request.defaultExtension = movie_->extension();
  const std::optional<std::string> chosen = app_.windows().chooseFileToSave(request);
  if (!chosen) return;
  if (equalsIgnoreCase(*chosen, path_)) {
    app_.windows().messageBoxWarning("A trimmed movie cannot replace the movie it is cut from.\n\nChoose another name; " +
                                     fileNameOf(path_) + " stays as it is.");
    return;
  }
  if (app_.platform().files.stat(*chosen) &&
      app_.windows().messageBoxYesNoCancel(kOverwriteQuestion, MsgButton::Cancel) != MsgButton::Yes)
    return;
  const TrimOutcome outcome = runSave(*chosen);
  const std::string name = fileNameOf(*chosen);
  switch (outcome.kind) {
    case TrimOutcome::Kind::Done:
      app_.windows().messageBoxInformation(name + " is saved: " + std::to_string(outcome.frames) +
                                           (outcome.frames == 1 ? " frame, " : " frames, ") +
                                           secondsText(span_.times().startMicros(span_.end() + 1) -
                                                       span_.times().startMicros(span_.start())) +
                                           ".");
      break;
    case TrimOutcome::Kind::Cancelled:
      app_.windows().messageBoxInformation("The trim was cancelled; no file was left, and " + fileNameOf(path_) +
                                           " is unchanged.");
      break;
    default:
      app_.windows().messageBoxWarning(name + " could not be saved: " + outcome.detail + ".\n\nNo file was left, and " +
                                       fileNameOf(path_) + " is unchanged.");
  }
}

TrimOutcome FrmTrim::runSave(const std::string& path) {
  // Written beside the chosen name first, so that a movie it replaces
  // stays until the new one is whole.
  const std::string partial = path + ".trimming";
  MovieFiles& files = app_.platform().movies;
  FileProblem problem = FileProblem::None;
  std::unique_ptr<FileSink> sink = files.create(partial, problem);
  if (!sink) {
    TrimOutcome o;
    o.kind = TrimOutcome::Kind::WriteFailed;
    o.detail = "the file cannot be created there";
    return o;
  }
  saving_ = true;
  cancelRequested_ = false;
  for (Button* b : {cmdStart, cmdEnd, cmdSave}) b->setEnabled(false);
  sldFrame->setEnabled(false);
  cmdClose->setCaption("Cancel");
  lblSpan->setVisible(false);
  barSaving->setValue(0);
  barSaving->setVisible(true);

  std::atomic<int> shown{0};
  std::atomic<bool> cancel{false};
  const std::int64_t first = span_.start(), last = span_.end();
  std::future<TrimOutcome> done = std::async(std::launch::async, [&, first, last] {
    return movie_->save(first, last, partial, std::move(sink), [&](std::uint64_t did, std::uint64_t total) {
      shown = total ? static_cast<int>(did * 1000 / total) : 1000;
      return !cancel.load();
    });
  });
  while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    app_.windows().waitForEvents(0.02);
    app_.windows().doEvents();
    if (cancelRequested_) cancel = true;
    barSaving->setValue(shown);
  }
  TrimOutcome outcome = done.get();
  if (outcome.ok() && !files.replace(partial, path)) {
    outcome.kind = TrimOutcome::Kind::WriteFailed;
    outcome.detail = "the finished movie could not take its name";
  }
  if (!outcome.ok()) static_cast<void>(files.remove(partial));

  barSaving->setVisible(false);
  lblSpan->setVisible(true);
  cmdClose->setCaption("Close");
  sldFrame->setEnabled(true);
  for (Button* b : {cmdStart, cmdEnd, cmdSave}) b->setEnabled(true);
  saving_ = false;
  return outcome;
}

void FrmTrim::close() { app_.unloadFrmTrim(); }

}  // namespace ks
