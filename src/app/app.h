// The App owns the window system's forms. Each form is created on first
// touch and its Load runs then, as the program's windows expect; nothing is
// global, so tests build as many Apps as they like.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace ks {

class FrmTop;
class FrmLeft;
class FrmRight;
class FrmBot;

class App {
 public:
  explicit App(WindowSystem& windows);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  WindowSystem& windows() const { return windows_; }

  FrmTop& frmtop();
  FrmLeft& frmleft();
  FrmRight& frmright();
  FrmBot& frmbot();

  // Names of the forms in the order they were created.
  const std::vector<std::string>& creationOrder() const { return creationOrder_; }

  // Ends the program at once; no window is told.
  void endProgram() { windows_.endProgram(); }

 private:
  template <class F>
  F& touch(std::unique_ptr<F>& slot, const char* name);

  WindowSystem& windows_;
  std::vector<std::string> creationOrder_;
  // Destroyed in reverse: the bar before the sides before the top.
  std::unique_ptr<FrmTop> frmtop_;
  std::unique_ptr<FrmLeft> frmleft_;
  std::unique_ptr<FrmRight> frmright_;
  std::unique_ptr<FrmBot> frmbot_;
};

}  // namespace ks
