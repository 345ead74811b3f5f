#include "frame/frmsides.h"

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmtop.h"

namespace ks {

namespace {

WindowDesign sideDesign(float left, float top, float width, float height) {
  return {.caption = {}, .border = Border::None, .showInTaskbar = false, .controlBox = false, .background = kRed,
          .clientLeft = left, .clientTop = top, .clientWidth = width, .clientHeight = height};
}

// Vertical black line; the end lies below any side window, so it runs to the
// window's bottom edge.
Line* verticalLine(Window& w, float x, float endY, int widthPixels = 1) {
  LineDesign l;
  l.x1 = l.x2 = x;
  l.y1 = 0;
  l.y2 = endY;
  l.color = kBlack;
  l.widthPixels = widthPixels;
  return &w.addLine(l);
}

// Alt+F4 on a side window does what it does on the bar.
void closeAsTheBarDoes(App& app, Window& side) {
  side.events.onCloseRequest = [&app] { return app.frmbot().closeRequested(); };
}

// The inner lines start where frmtop's client strip starts.
void startInnerLinesBelowTop(App& app, Line& first, Line& second) {
  const float scaleHeight = app.frmtop().window().scaleHeight();
  first.setY1(scaleHeight);
  second.setY1(scaleHeight);
}

}  // namespace

FrmLeft::FrmLeft(App& app) : Form(app, sideDesign(2220, 1575, 1575, 2610)) {
  Lineleft = verticalLine(*window_, 0, 30000);
  linemid = verticalLine(*window_, 20, 30120);
  Line1 = verticalLine(*window_, 90, 30000);
  Line2 = verticalLine(*window_, 100, 30120);
}

void FrmLeft::load() {
  startInnerLinesBelowTop(app_, *Line1, *Line2);
  closeAsTheBarDoes(app_, *window_);
}

FrmRight::FrmRight(App& app) : Form(app, sideDesign(4575, 2280, 1560, 2610)) {
  Line1 = verticalLine(*window_, 0, 30000);
  Line2 = verticalLine(*window_, 20, 30120, 2);
  Linemid = verticalLine(*window_, 80, 30000);
  lineright = verticalLine(*window_, 90, 30120);
}

void FrmRight::load() {
  startInnerLinesBelowTop(app_, *Line1, *Line2);
  closeAsTheBarDoes(app_, *window_);
}

}  // namespace ks
