// frmbot: the frame's bottom edge and the control bar.
#pragma once

#include "frame/form.h"

namespace ks {

class FrmBot final : public Form {
 public:
  explicit FrmBot(App& app);
  void load();

  // Lays the bar's content out for its current size.
  void layout();

  Line* Line1 = nullptr;  // the capture region's bottom edge
};

}  // namespace ks
