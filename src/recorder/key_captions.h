// Captions of the shortcuts pressed while recording, drawn into the
// pictures: a key pressed while Ctrl, Alt or Win is held, with its
// modifiers ("Ctrl + Shift + S"), and the named keys (Esc, Enter, the
// arrows, F1 to F24, ...) with whatever modifiers are held. A letter, digit
// or symbol typed alone or with Shift, or with AltGr (the right Alt with
// Ctrl), is typing and never shown, and neither are the program's own
// global keys.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/pixels.h"
#include "platform/hotkey.h"
#include "platform/key_watch.h"
#include "platform/text_painter.h"

namespace ks {

// One stroke as the recording saw it: `time` in seconds on its clock.
struct TimedStroke {
  double time = 0;
  KeyStroke stroke;
};

// Rounded captions centred at the bottom of the picture, newest on the
// right, at most kMaxShown side by side. A caption shows from the first
// frame grabbed at or after its press, even when press and release both fall
// between two frames; it stays at full strength until kShownSeconds after
// its release or its first frame, whichever is later, then fades out over
// kFadeSeconds and is forgotten; a key held longer than kMostHeldSeconds
// counts as released then. The same shortcut pressed again while its
// caption shows counts up ("Ctrl + Z ×3"). A key held down and repeating
// counts once. Not thread-safe: the grabber's thread adds and draws.
class KeyCaptions {
 public:
  static constexpr double kShownSeconds = 1.0, kFadeSeconds = 0.3, kMostHeldSeconds = 5.0;
  static constexpr std::size_t kMaxShown = 3;

  using Namer = std::function<std::string(const KeyStroke&)>;

  // Names from `namer` (the layout's), the modifiers' fixed; text from
  // `painter`, drawn once each time a caption's text changes. Sizes are for
  // 96 DPI scaled to `dpi` (below 1 counts as 96).
  KeyCaptions(int dpi, std::vector<Hotkey> ownKeys, Namer namer, TextPainter& painter);

  // Strokes come in time order; those at a time that is not a finite number
  // are ignored.
  void add(const TimedStroke& stroke);
  // Draws the captions the frame grabbed at `frameTime` shows into `dib`,
  // clipped to it, and forgets those that have faded out.
  void draw(const pixels::DibView& dib, double frameTime);

  struct Shown {
    std::string text;
    double strength = 0;  // 1 at full strength, falling to 0 as it fades
  };
  // What the last draw showed, left to right.
  const std::vector<Shown>& shown() const { return shown_; }

 private:
  struct Caption {
    std::string text;  // without the count
    int count = 1;
    int key = 0;  // the key whose release starts the countdown
    double pressTime = 0;
    bool released = false;
    double releaseTime = 0;
    bool seen = false;
    double firstFrame = 0;  // when seen
    bool pictured = false;
    pixels::CursorImage picture;  // drawn for `text` and `count` when pictured
  };
  void pressed(const TimedStroke& stroke);
  // Drops the modifiers the system says are up from the keys held.
  void forgetReleasedModifiers(unsigned modifiers);
  std::string captionText(const KeyStroke& stroke, bool ctrl, bool alt, bool shift, bool win) const;
  static double strength(const Caption& caption, double time);
  // The text shown: with its count from the second press on.
  static std::string label(const Caption& caption);
  void drawPicture(Caption& caption);

  double scale_;
  std::vector<Hotkey> ownKeys_;
  Namer namer_;
  TextPainter& painter_;
  std::vector<int> held_;  // keys down now, modifiers included
  std::vector<Caption> captions_;
  std::vector<Shown> shown_;
};

}  // namespace ks
