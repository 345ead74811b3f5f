// frmtop: the frame's top edge and title bar, the master of the frame.
#pragma once

#include <optional>

#include "frame/form.h"

namespace ks {

class FrmTop final : public Form {
 public:
  explicit FrmTop(App& app);
  void load();

  Line* Line1 = nullptr;

  // frmtop's Top at the last layout; a later difference is a vertical move
  // of the frame that the bar follows. Code that moves frmtop and the bar
  // together updates it.
  std::optional<float> laidOutTop;

 private:
  void onActivate();
  void onResize();
};

}  // namespace ks
