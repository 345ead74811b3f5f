#include "frame/frmbot.h"

#include "app/app.h"
#include "frame/frmsides.h"

namespace ks {

namespace {

WindowSpec barSpec() {
  WindowSpec s;
  s.border = Border::None;
  s.showInTaskbar = false;
  s.controlBox = false;
  s.background = kRed;
  s.fontName = "Tahoma";
  s.fontSize = 8.25f;
  s.clientLeft = 2175;
  s.clientTop = 6405;
  s.clientWidth = 4740;
  s.clientHeight = 435;
  return s;
}

}  // namespace

FrmBot::FrmBot(App& app) : Form(app, barSpec()) {
  LineSpec edge;
  edge.x1 = 0;
  edge.y1 = 0;
  edge.x2 = 60000;
  edge.y2 = 0;
  edge.systemWindowText = true;
  Line1 = &window_->addLine(edge);
}

void FrmBot::load() {
  Line1->setX1(app_.frmleft().window().width());
  Line1->setX2(window_->width() - app_.frmright().window().width());
  window_->events.onResize = [this] { layout(); };
  layout();
}

void FrmBot::layout() { Line1->setX2(window_->width() - app_.frmright().window().width()); }

}  // namespace ks
