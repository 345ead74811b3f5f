// The mouse watch of tests: the test presses and releases, and the handler
// hears it at once, on the test's thread.
#pragma once

#include <utility>

#include "platform/mouse_watch.h"

namespace ks {

class ScriptedMouseWatch final : public MouseWatch {
 public:
  bool start(Handler handler) override {
    if (refuse || handler_) return false;
    handler_ = std::move(handler);
    return true;
  }
  void stop() override { handler_ = nullptr; }

  bool running() const { return static_cast<bool>(handler_); }
  void press(PixelPoint at, MouseButton button = MouseButton::Left) { send(at, button, true); }
  void release(PixelPoint at, MouseButton button = MouseButton::Left) { send(at, button, false); }

  bool refuse = false;  // start() fails

 private:
  void send(PixelPoint at, MouseButton button, bool down) {
    if (handler_) handler_(at, button, down);
  }
  Handler handler_;
};

}  // namespace ks
