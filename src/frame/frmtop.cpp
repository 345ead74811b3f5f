#include "frame/frmtop.h"

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/modgobal.h"

namespace ks {

namespace {

WindowDesign topDesign() {
  return {.caption = "kestrascope", .border = Border::FixedSingle, .showInTaskbar = true, .controlBox = true,
          .minButton = true, .maxButton = false, .background = kRed,
          .clientLeft = 2190, .clientTop = 2430, .clientWidth = 4740, .clientHeight = 90, .iconResource = 1};
}

}  // namespace

FrmTop::FrmTop(App& app) : Form(app, topDesign()) {
  LineDesign edge;
  edge.x1 = 0;
  edge.y1 = 0;
  edge.x2 = 60000;
  edge.y2 = 0;
  edge.systemWindowText = true;
  Line1 = &window_->addLine(edge);
}

void FrmTop::load() {
  WindowEvents& e = window_->events;
  e.onActivate = [this] { onActivate(); };
  e.onResize = [this] { onResize(); };
  e.onPaint = [this] { fixborders(app_); };
  e.onMouseDown = [this](const MouseEvent&) { fixborders(app_); };
  e.onMouseMove = [this](const MouseEvent&) { fixborders(app_); };
  e.onMouseUp = [this](const MouseEvent&) { fixborders(app_); };
  e.onUnload = [this] { app_.endProgram(); };
}

void FrmTop::onActivate() {
  if (window_->windowState() == kStateMinimized) return;
  stayOnTopInPlace(app_.frmleft().window());
  stayOnTopInPlace(app_.frmright().window());
  stayOnTopInPlace(app_.frmbot().window());
  fixborders(app_);
}

void FrmTop::onResize() {
  fixborders(app_);
  if (window_->windowState() == kStateMinimized) return;
  for (Window* w : {&app_.frmleft().window(), &app_.frmright().window(), &app_.frmbot().window()})
    if (w->visible()) stayOnTopInPlace(*w);
}

}  // namespace ks
