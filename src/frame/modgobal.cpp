#include "frame/modgobal.h"

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"

namespace ks {

void StayOnTop(Window& form, std::int32_t x, std::int32_t y) {
  form.makeTopmost();
  if (form.windowState() == kStateNormal) {
    form.setLeft(static_cast<float>(x));
    form.setTop(static_cast<float>(y));
  }
}

void stayOnTopInPlace(Window& form) { StayOnTop(form, roundToInt32(form.left()), roundToInt32(form.top())); }

void Main(App& app) {
  // Creating frmleft creates frmtop too (its Load reads frmtop).
  app.frmleft().window().setWidth(100);
  app.frmright().window().setWidth(100);

  stayOnTopInPlace(app.frmtop().window());
  stayOnTopInPlace(app.frmleft().window());
  stayOnTopInPlace(app.frmright().window());
  stayOnTopInPlace(app.frmbot().window());

  app.frmtop().window().show();
  app.frmleft().window().show();
  app.frmright().window().show();
  app.frmbot().window().show();

  app.windows().doEvents();
}

void fixborders(App& app) {
  Window& top = app.frmtop().window();
  Window& left = app.frmleft().window();
  Window& right = app.frmright().window();
  Window& bot = app.frmbot().window();

  // The frame moves as a whole: when frmtop was dragged up or down since the
  // last layout, the bar comes along, so the region keeps its height.
  FrmTop& master = app.frmtop();
  const bool normal = top.windowState() == kStateNormal;
  if (normal && master.laidOutTop && *master.laidOutTop != top.top())
    bot.setTop(bot.top() + (top.top() - *master.laidOutTop));

  // Every value is read back from the windows when it is used: what they
  // hold is whole pixels, not what was last written. Arithmetic is float.
  const float minimumBarTop = top.height() + top.top() + 100.0f;
  if (minimumBarTop > bot.top()) bot.setTop(top.height() + top.top() + 100.0f);

  bot.setLeft(top.left());
  left.setLeft(top.left());
  left.setHeight(bot.top() - top.top() - top.height() + top.scaleHeight() + 50.0f);
  right.setLeft(top.width() + top.left() - right.width());
  right.setHeight(left.height());
  left.setTop(top.height() + top.top() - top.scaleHeight() - 30.0f);
  right.setTop(top.height() + top.top() - top.scaleHeight() - 30.0f);
  bot.setWidth(top.width());

  if (normal) master.laidOutTop = top.top();
}

}  // namespace ks
