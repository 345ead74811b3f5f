#include "frame/region.h"

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"

namespace ks {

RegionTwips regionTwips(App& app) {
  const Window& top = app.frmtop().window();
  const Window& left = app.frmleft().window();
  const Window& right = app.frmright().window();
  const Window& bot = app.frmbot().window();
  RegionTwips r;
  r.left = static_cast<double>(left.left()) + left.width();
  r.top = static_cast<double>(top.top()) + top.height();
  r.right = right.left();
  r.bottom = bot.top();
  return r;
}

PixelRect regionPixels(App& app) {
  return regionPixels(regionTwips(app), app.windows().twipsPerPixelX(), app.windows().twipsPerPixelY());
}

}  // namespace ks
