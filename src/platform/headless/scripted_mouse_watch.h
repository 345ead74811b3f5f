// The mouse watch of tests: the test presses and releases, and the handler
// hears it at once, on the test's thread.
#pragma once

#include "platform/headless/scripted_watch.h"
#include "platform/mouse_watch.h"

namespace ks {

class ScriptedMouseWatch final : public ScriptedWatch<MouseWatch> {
 public:
  void press(PixelPoint at, MouseButton button = MouseButton::Left) { send(at, button, true); }
  void release(PixelPoint at, MouseButton button = MouseButton::Left) { send(at, button, false); }
};

}  // namespace ks
