#include "about/frmabout.h"

#include "about/maker.h"
#include "app/app.h"
#include "frame/modgobal.h"
#include "frame/pictures.h"
#include "platform/controls.h"
#include "platform/shell.h"

namespace ks {

namespace {

constexpr Rgb kLabelBlue{80, 94, 148};

WindowDesign aboutDesign() {
  return {.caption = "About kestrascope", .border = Border::FixedDialog, .showInTaskbar = false,
          .controlBox = true, .background = kWhite, .fontName = "Tahoma", .fontSize = 8.25f,
          .clientLeft = 2550, .clientTop = 2940, .clientWidth = 8250, .clientHeight = 2835, .iconResource = 1};
}

// Labels keep their place in the tab order but take no focus.
LabelDesign label(const char* text, float left, float top, float width, float height, int tab, float size,
                  bool bold, std::optional<Rgb> colour = kLabelBlue, bool underline = false) {
  auto s = placed<LabelDesign>(left, top, width, height, tab);
  s.caption = text;
  s.font = Font{"Tahoma", size, bold, underline};
  s.foreColor = colour;
  return s;
}

ButtonDesign button(const char* caption, float left, float width, int tab) {
  auto s = placed<ButtonDesign>(left, 2400, width, 315, tab);
  s.caption = caption;
  return s;
}

}  // namespace

FrmAbout::FrmAbout(App& app) : Form(app, aboutDesign()) {
  Window& w = *window_;
  ImageDesign background;
  background.picture = pictures::aboutBackground();
  background.width = 8250;
  background.height = 192 * 15.0f;
  picture = &w.addImage(background);
  cmdClose = &w.addButton(button("Close", 7260, 735, 0));
  Label1 = &w.addLabel(label("kestrascope", 420, 120, 3435, 555, 1, 24, true));
  Label2 = &w.addLabel(label(maker::kCredit, 1140, 1020, 2475, 255, 2, 9.75f, true));
  lblqvlink = &w.addLabel(label(maker::kTradingName, 2640, 1020, 1995, 255, 3, 11.25f, true, kLabelBlue, true));
  Label4 = &w.addLabel(label(maker::kJoiningLine, 2640, 1260, 2475, 315, 4, 11.25f, true));
  Label5 = &w.addLabel(label(maker::kCompany, 2640, 1560, 2475, 255, 5, 11.25f, true));
  Label6 = &w.addLabel(label(maker::kCompanyNumber, 2640, 1860, 2475, 255, 6, 8.25f, true));
  Label7 = &w.addLabel(label(maker::kTaxNumber, 2640, 2100, 2475, 255, 7, 8.25f, true));
  Label8 = &w.addLabel(label(maker::kLegalMark, 3720, 60, 435, 375, 8, 14.25f, true));
  cmdHelp = &w.addButton(button("Help", 6420, 795, 9));
  Label3 = &w.addLabel(label(maker::kNotice, 4920, 900, 3195, 1395, 10, 8.25f, false, kBlack));
  Label9 = &w.addLabel(label(maker::kDisclaimer, 240, 2340, 5895, 435, 11, 8.25f, false, std::nullopt));
  Label10 = &w.addLabel(label(maker::kVersionText, 2640, 720, 1575, 255, 12, 9.75f, true));
}

void FrmAbout::load() {
  stayOnTopInPlace(*window_);
  // The shell's answer is not looked at: without a browser nothing happens.
  // Without a browser nothing opens, and the box stays as it is.
  cmdHelp->onClick = [this] { static_cast<void>(app_.platform().shell.open(maker::kHelpPage)); };
  lblqvlink->onClick = [this] { static_cast<void>(app_.platform().shell.open(maker::kHomePage)); };
  cmdClose->onClick = [this] { app_.unloadFrmAbout(); };
  window_->events.onUnload = [this] { app_.unloadFrmAbout(); };
  window_->events.onActivate = [this] {
    if (focused_) return;
    focused_ = true;
    cmdClose->setFocus();
  };
}

}  // namespace ks
