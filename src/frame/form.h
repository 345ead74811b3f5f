// Base of every window of the program: owns the platform window and knows
// the App that owns the form.
#pragma once

#include <memory>

#include "platform/window_system.h"

namespace ks {

class App;

// A control design placed on its form, twips relative to the client area.
template <class Design>
Design placed(float left, float top, float width, float height, int tabIndex) {
  Design s;
  s.left = left;
  s.top = top;
  s.width = width;
  s.height = height;
  s.tabIndex = tabIndex;
  return s;
}

class Form {
 public:
  Form(App& app, const WindowDesign& design);
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Window& window() const { return *window_; }

 protected:
  App& app_;
  std::unique_ptr<Window> window_;
};

}  // namespace ks
