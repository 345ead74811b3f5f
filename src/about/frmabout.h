// frmAbout: version, the maker's details and the way to the help pages.
// Closing unloads it, so every opening starts fresh at the design position.
#pragma once

#include "frame/form.h"

namespace ks {

class Button;
class Label;
class Image;

class FrmAbout final : public Form {
 public:
  explicit FrmAbout(App& app);
  void load();

  Image* picture = nullptr;
  Button* cmdClose = nullptr;
  Label* Label1 = nullptr;
  Label* Label2 = nullptr;
  Label* lblqvlink = nullptr;
  Label* Label4 = nullptr;
  Label* Label5 = nullptr;
  Label* Label6 = nullptr;
  Label* Label7 = nullptr;
  Label* Label8 = nullptr;
  Button* cmdHelp = nullptr;
  Label* Label3 = nullptr;
  Label* Label9 = nullptr;
  Label* Label10 = nullptr;

 private:
  bool focused_ = false;
};

}  // namespace ks
