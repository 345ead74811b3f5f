#include "app/forms_recorder_host.h"

#include "app/app.h"
#include "platform/clock.h"

namespace ks {

void FormsRecorderHost::doEvents() { app_.windows().doEvents(); }

void FormsRecorderHost::waitUntil(double dueTime) {
  const double wait = dueTime - app_.platform().clock.now();
  if (wait > 0) app_.windows().waitForEvents(wait);
}

void FormsRecorderHost::setPreciseWaits(bool on) { app_.windows().setPreciseWaits(on); }

bool FormsRecorderHost::ended() const { return app_.windows().ended(); }

}  // namespace ks
