// frmleft and frmright: the frame's side edges. They only draw their lines;
// fixborders places them.
#pragma once

#include "frame/form.h"

namespace ks {

class FrmLeft final : public Form {
 public:
  explicit FrmLeft(App& app);
  void load();

  Line* Lineleft = nullptr;  // outer
  Line* linemid = nullptr;   // outer
  Line* Line1 = nullptr;     // inner
  Line* Line2 = nullptr;     // inner, on the region's edge
};

class FrmRight final : public Form {
 public:
  explicit FrmRight(App& app);
  void load();

  Line* Line1 = nullptr;     // inner, on the region's edge
  Line* Line2 = nullptr;     // inner, 2 pixels wide
  Line* Linemid = nullptr;   // outer
  Line* lineright = nullptr; // outer
};

}  // namespace ks
