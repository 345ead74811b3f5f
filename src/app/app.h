// The App owns the program's forms and modules. Each form is created on
// first touch and its Load runs then, as the program's windows expect;
// nothing is global, so tests build as many Apps as they like.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/window_system.h"

namespace ks {

class FrmTop;
class FrmLeft;
class FrmRight;
class FrmBot;
class FrmSettings;
class FrmFile;
class FrmAbout;
class FrmTrim;
class TrimSource;
class ModAvi;
class FormsRecorderHost;
class GlobalKeys;

class App {
 public:
  explicit App(const Platform& platform);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  const Platform& platform() const { return platform_; }
  WindowSystem& windows() const { return platform_.windows; }

  FrmTop& frmtop();
  FrmLeft& frmleft();
  FrmRight& frmright();
  FrmBot& frmbot();
  FrmSettings& frmSettings();
  FrmFile& frmFile();
  FrmAbout& frmAbout();
  ModAvi& modAVI() { return *modAvi_; }
  GlobalKeys& globalKeys() { return *globalKeys_; }

  // The trim window, showing the movie at `path`; one opened before goes.
  void openFrmTrim(const std::string& path, std::unique_ptr<TrimSource> movie);
  // The trim window when one is open, or null.
  FrmTrim* frmTrim() const { return frmTrim_.get(); }
  void unloadFrmTrim();

  bool frmFileLoaded() const { return frmFile_ != nullptr; }
  bool frmAboutLoaded() const { return frmAbout_ != nullptr; }
  // Destroys a form; the next touch creates and loads it afresh.
  void unloadFrmFile();
  void unloadFrmAbout();

  // Names of the forms in the order they were created.
  const std::vector<std::string>& creationOrder() const { return creationOrder_; }

  // Ends the program at once; no window is told. An open movie is closed
  // first, so what was recorded stays playable.
  void endProgram();

 private:
  template <class F>
  F& touch(std::unique_ptr<F>& slot, const char* name);
  template <class F>
  void unload(std::unique_ptr<F>& slot);

  Platform platform_;
  std::vector<std::string> creationOrder_;
  std::unique_ptr<FormsRecorderHost> recorderHost_;
  std::unique_ptr<ModAvi> modAvi_;
  std::unique_ptr<GlobalKeys> globalKeys_;
  std::unique_ptr<FrmTop> frmtop_;
  std::unique_ptr<FrmLeft> frmleft_;
  std::unique_ptr<FrmRight> frmright_;
  std::unique_ptr<FrmBot> frmbot_;
  std::unique_ptr<FrmSettings> frmSettings_;
  std::unique_ptr<FrmFile> frmFile_;
  std::unique_ptr<FrmAbout> frmAbout_;
  std::unique_ptr<FrmTrim> frmTrim_;
  // Forms unloaded from inside one of their own handlers die here, later.
  std::vector<std::unique_ptr<class Form>> graveyard_;
};

}  // namespace ks
