#include "app/forms_recorder_host.h"

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/region.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "settings/frmfile.h"
#include "settings/frmsettings.h"

namespace ks {

std::string FormsRecorderHost::rateText() const { return app_.frmSettings().cboFrames->text(); }
int FormsRecorderHost::rateCount() const { return app_.frmSettings().cboFrames->listCount(); }
std::string FormsRecorderHost::rateItem(int index) const { return app_.frmSettings().cboFrames->list(index); }
void FormsRecorderHost::selectRate(int index) { app_.frmSettings().cboFrames->setListIndex(index); }

PixelRect FormsRecorderHost::captureRect() const { return regionPixels(app_); }
MovieFormat FormsRecorderHost::movieFormat() const { return app_.frmFile().movieFormat(); }

void FormsRecorderHost::showProgress(const std::string& text, bool repaintNow) {
  Label& label = *app_.frmbot().lblUpto;
  if (label.caption() != text) label.setCaption(text);
  if (repaintNow) label.refresh();
}

void FormsRecorderHost::doEvents() { app_.windows().doEvents(); }

void FormsRecorderHost::waitUntil(double dueTime) {
  const double wait = dueTime - app_.platform().clock.now();
  if (wait > 0) app_.windows().waitForEvents(wait);
}

void FormsRecorderHost::setPreciseWaits(bool on) { app_.windows().setPreciseWaits(on); }

bool FormsRecorderHost::ended() const { return app_.windows().ended(); }

}  // namespace ks
