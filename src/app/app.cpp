#include "app/app.h"

#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"

namespace ks {

App::App(WindowSystem& windows) : windows_(windows) {}

App::~App() {
  // Handlers must not run while the forms are being torn down.
  for (Form* f : std::initializer_list<Form*>{frmbot_.get(), frmright_.get(), frmleft_.get(), frmtop_.get()})
    if (f) f->window().events = {};
}

template <class F>
F& App::touch(std::unique_ptr<F>& slot, const char* name) {
  if (!slot) {
    slot = std::make_unique<F>(*this);
    creationOrder_.emplace_back(name);
    slot->load();
  }
  return *slot;
}

FrmTop& App::frmtop() { return touch(frmtop_, "frmtop"); }
FrmLeft& App::frmleft() { return touch(frmleft_, "frmleft"); }
FrmRight& App::frmright() { return touch(frmright_, "frmright"); }
FrmBot& App::frmbot() { return touch(frmbot_, "frmbot"); }

}  // namespace ks
