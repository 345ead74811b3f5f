#include "frame/region.h"

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"

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

namespace {

// frmtop's Width and frmbot's Top, in twips, that give the region that many
// pixels: the right and bottom edges on whole pixels past the region's
// first column and row, which frmtop's place fixes.
struct FrameFor {
  float topWidth, barTop;
};

FrameFor frameFor(App& app, std::int32_t width, std::int32_t height) {
  const float px = app.windows().twipsPerPixelX(), py = app.windows().twipsPerPixelY();
  const PixelRect now = regionPixels(app);
  const Window& top = app.frmtop().window();
  const float right = static_cast<float>(std::int64_t{now.x} + width) * px;
  return {right + app.frmright().window().width() - top.left(), static_cast<float>(std::int64_t{now.y} + height) * py};
}

}  // namespace

void setRegionPixels(App& app, std::int32_t width, std::int32_t height) {
  const FrameFor f = frameFor(app, width, height);
  Window& top = app.frmtop().window();
  app.frmbot().window().setTop(f.barTop);
  top.setWidth(f.topWidth);
  fixborders(app);
}

bool regionPixelsFit(App& app, std::int32_t width, std::int32_t height) {
  const FrameFor f = frameFor(app, width, height);
  const Window& top = app.frmtop().window();
  const float px = app.windows().twipsPerPixelX(), py = app.windows().twipsPerPixelY();
  const PixelRect area = app.windows().workArea(top);
  const double right = (static_cast<double>(top.left()) + f.topWidth) / px;
  const double bottom = (static_cast<double>(f.barTop) + app.frmbot().window().height()) / py;
  return top.left() / px >= area.x && top.top() / py >= area.y && right <= area.right() + 0.5 &&
         bottom <= area.bottom() + 0.5;
}

}  // namespace ks
