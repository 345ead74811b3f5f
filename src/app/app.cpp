#include "app/app.h"

#include "about/frmabout.h"
#include "app/forms_recorder_host.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/global_keys.h"
#include "recorder/mod_avi.h"
#include "settings/frmfile.h"
#include "settings/frmsettings.h"
#include "trim/frmtrim.h"

namespace ks {

App::App(const Platform& platform)
    : platform_(platform),
      recorderHost_(std::make_unique<FormsRecorderHost>(*this)),
      modAvi_(std::make_unique<ModAvi>(platform_, *recorderHost_)),
      globalKeys_(std::make_unique<GlobalKeys>(platform_.windows, platform_.settings)) {}

App::~App() {
  // The keys and the session's events lead into the forms.
  globalKeys_.reset();
  modAvi_->events = {};
  // Handlers must not run while the forms are being torn down.
  for (Form* f : std::initializer_list<Form*>{frmTrim_.get(), frmAbout_.get(), frmFile_.get(), frmSettings_.get(), frmbot_.get(),
                                              frmright_.get(), frmleft_.get(), frmtop_.get()})
    if (f) f->window().events = {};
  for (auto& f : graveyard_) f->window().events = {};
}

template <class F>
F& App::touch(std::unique_ptr<F>& slot, const char* name) {
  if (!slot) {
    // Forms unloaded earlier are no longer inside their own handlers.
    graveyard_.clear();
    slot = std::make_unique<F>(*this);
    creationOrder_.emplace_back(name);
    slot->load();
  }
  return *slot;
}

template <class F>
void App::unload(std::unique_ptr<F>& slot) {
  if (!slot) return;
  slot->window().events = {};
  slot->window().hide();
  graveyard_.push_back(std::move(slot));
}

FrmTop& App::frmtop() { return touch(frmtop_, "frmtop"); }
FrmLeft& App::frmleft() { return touch(frmleft_, "frmleft"); }
FrmRight& App::frmright() { return touch(frmright_, "frmright"); }
FrmBot& App::frmbot() { return touch(frmbot_, "frmbot"); }
FrmSettings& App::frmSettings() { return touch(frmSettings_, "frmSettings"); }
FrmFile& App::frmFile() { return touch(frmFile_, "frmFile"); }
FrmAbout& App::frmAbout() { return touch(frmAbout_, "frmAbout"); }

void App::unloadFrmFile() { unload(frmFile_); }
void App::unloadFrmAbout() { unload(frmAbout_); }
void App::unloadFrmTrim() { unload(frmTrim_); }

void App::openFrmTrim(const std::string& path, std::unique_ptr<TrimSource> movie) {
  unload(frmTrim_);
  frmTrim_ = std::make_unique<FrmTrim>(*this, path, std::move(movie));
  creationOrder_.emplace_back("frmTrim");
  frmTrim_->load();
}

void App::endProgram() {
  modAvi_->programEnding();
  windows().endProgram();
}

}  // namespace ks
