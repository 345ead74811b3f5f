// Keys going down and up anywhere on the system, as a recording that shows
// its shortcuts needs them, and their names in the keyboard layout.
#pragma once

#include <functional>
#include <string>

namespace ks {

// One key going down or up. Codes as Windows gives them: `key` a virtual-key
// code (the left and right modifiers apart), `scanCode` with `extended` the
// key's place on the keyboard.
struct KeyStroke {
  int key = 0;
  int scanCode = 0;
  bool extended = false;
  bool down = true;
  // The modifiers the system holds as the key goes down (kCtrlHeld, ...),
  // when the watch can tell: a release the watch never saw (the screen
  // locked by Win+L, Ctrl+Alt+Del) must not leave a modifier held.
  bool modifiersKnown = false;
  unsigned modifiers = 0;
};
inline constexpr unsigned kCtrlHeld = 1, kAltHeld = 2, kShiftHeld = 4, kWinHeld = 8;

class KeyWatch {
 public:
  // Called on a thread of the watch's own, and must return at once: the
  // user's input waits for it.
  using Handler = std::function<void(const KeyStroke& stroke)>;

  virtual ~KeyWatch() = default;
  // Starts reporting to `handler`; false when the watch cannot run, or runs
  // already.
  [[nodiscard]] virtual bool start(Handler handler) = 0;
  // Stops reporting; once it returns, the handler is not called again.
  // Does nothing when not started.
  virtual void stop() = 0;
  // The key's name as the keyboard layout gives it ("S", "F4", "Page Up");
  // empty when it has none. Callable from any thread.
  virtual std::string keyName(const KeyStroke& stroke) const = 0;
};

}  // namespace ks
