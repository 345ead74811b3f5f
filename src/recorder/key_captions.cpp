#include "recorder/key_captions.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ks {

namespace {

// Windows' virtual-key codes of the modifiers, either side.
constexpr int kShift = 0x10, kControl = 0x11, kMenu = 0x12;
constexpr int kLeftShift = 0xA0, kRightShift = 0xA1, kLeftControl = 0xA2, kRightControl = 0xA3;
constexpr int kLeftMenu = 0xA4, kRightMenu = 0xA5, kLeftWin = 0x5B, kRightWin = 0x5C;

bool isModifier(int key) {
  return key == kShift || key == kControl || key == kMenu || (key >= kLeftShift && key <= kRightMenu) ||
         key == kLeftWin || key == kRightWin;
}

// The keys shown on their own: Backspace, Tab, Enter, Esc, Page Up to Down
// (with End, Home and the arrows between), Insert, Delete, F1 to F24.
bool isNamedKey(int key) {
  return key == 0x08 || key == 0x09 || key == 0x0D || key == 0x1B || (key >= 0x21 && key <= 0x28) ||
         key == 0x2D || key == 0x2E || (key >= 0x70 && key <= 0x87);
}

// The caption's plate: light text on a dark, partly transparent rounded
// plate, readable on any background. Sizes at 96 DPI.
constexpr pixels::Bgra kText{250, 250, 250, 255};
constexpr pixels::Bgra kPlate{32, 32, 32, 200};
constexpr double kTextHeight = 20, kPadX = 12, kPadY = 6, kCorner = 8, kGap = 10, kMargin = 24;

// How much of pixel (x, y) a width x height rectangle with corners rounded
// by `radius` covers: one pixel of anti-aliasing at the corners.
double plateCoverage(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, double radius) {
  const double px = x + 0.5, py = y + 0.5;
  const double nx = std::clamp(px, radius, width - radius), ny = std::clamp(py, radius, height - radius);
  const double d = std::hypot(px - nx, py - ny);
  return std::clamp(radius + 0.5 - d, 0.0, 1.0);
}

}  // namespace

KeyCaptions::KeyCaptions(int dpi, std::vector<Hotkey> ownKeys, Namer namer, TextPainter& painter)
    : scale_((dpi >= 1 ? dpi : 96) / 96.0), ownKeys_(std::move(ownKeys)), namer_(std::move(namer)),
      painter_(painter) {}

void KeyCaptions::add(const TimedStroke& timed) {
  if (!std::isfinite(timed.time)) return;
  const int key = timed.stroke.key;
  if (!timed.stroke.down) {
    held_.erase(std::remove(held_.begin(), held_.end(), key), held_.end());
    for (Caption& caption : captions_) {
      if (caption.key == key && !caption.released) {
        caption.released = true;
        caption.releaseTime = std::max(timed.time, caption.pressTime);
      }
    }
    return;
  }
  if (!isModifier(key) && timed.stroke.modifiersKnown) forgetReleasedModifiers(timed.stroke.modifiers);
  // A key held down repeats its down: one press.
  if (std::find(held_.begin(), held_.end(), key) != held_.end()) return;
  held_.push_back(key);
  if (!isModifier(key)) pressed(timed);
}

void KeyCaptions::forgetReleasedModifiers(unsigned modifiers) {
  const auto released = [modifiers](int k) {
    if (k == kControl || k == kLeftControl || k == kRightControl) return !(modifiers & kCtrlHeld);
    if (k == kMenu || k == kLeftMenu || k == kRightMenu) return !(modifiers & kAltHeld);
    if (k == kShift || k == kLeftShift || k == kRightShift) return !(modifiers & kShiftHeld);
    if (k == kLeftWin || k == kRightWin) return !(modifiers & kWinHeld);
    return false;
  };
  held_.erase(std::remove_if(held_.begin(), held_.end(), released), held_.end());
}

void KeyCaptions::pressed(const TimedStroke& timed) {
  const auto down = [&](std::initializer_list<int> keys) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](int k) { return std::find(held_.begin(), held_.end(), k) != held_.end(); });
  };
  const bool ctrl = down({kControl, kLeftControl, kRightControl});
  const bool alt = down({kMenu, kLeftMenu, kRightMenu});
  const bool shift = down({kShift, kLeftShift, kRightShift});
  const bool win = down({kLeftWin, kRightWin});
  const int key = timed.stroke.key;
  // AltGr comes as the right Alt with a Ctrl: it types a character.
  const bool altGr = ctrl && down({kRightMenu});
  if (altGr || !(ctrl || alt || win || isNamedKey(key))) return;
  const Hotkey chord{ctrl, alt, shift, win, key};
  if (std::find(ownKeys_.begin(), ownKeys_.end(), chord) != ownKeys_.end()) return;
  std::string text = captionText(timed.stroke, ctrl, alt, shift, win);
  if (text.empty()) return;

  if (!captions_.empty() && captions_.back().text == text && strength(captions_.back(), timed.time) > 0) {
    Caption& again = captions_.back();
    ++again.count;
    again.key = key;
    again.released = false;
    again.pictured = false;
    return;
  }
  if (captions_.size() >= kMaxShown) captions_.erase(captions_.begin());
  Caption caption;
  caption.text = std::move(text);
  caption.key = key;
  caption.pressTime = timed.time;
  captions_.push_back(std::move(caption));
}

std::string KeyCaptions::captionText(const KeyStroke& stroke, bool ctrl, bool alt, bool shift, bool win) const {
  const std::string name = namer_ ? namer_(stroke) : std::string();
  if (name.empty()) return {};
  std::string text;
  for (const auto& [on, modifier] : {std::pair{ctrl, "Ctrl"}, {alt, "Alt"}, {shift, "Shift"}, {win, "Win"}}) {
    if (!on) continue;
    text += modifier;
    text += " + ";
  }
  return text + name;
}

double KeyCaptions::strength(const Caption& caption, double time) {
  // A key whose release never comes (the screen was locked meanwhile) counts
  // as released kMostHeldSeconds after its press.
  const double release = caption.released ? caption.releaseTime : caption.pressTime + kMostHeldSeconds;
  if (!caption.released && time <= release) return 1;
  const double fullUntil = std::max(release, caption.seen ? caption.firstFrame : caption.pressTime) + kShownSeconds;
  if (time <= fullUntil) return 1;
  const double left = 1 - (time - fullUntil) / kFadeSeconds;
  // Below half a step of 255 it draws nothing: it is gone.
  return left < 0.5 / 255 ? 0 : left;
}

std::string KeyCaptions::label(const Caption& caption) {
  if (caption.count == 1) return caption.text;
  return caption.text + " \xC3\x97" + std::to_string(caption.count);  // "×3"
}

void KeyCaptions::drawPicture(Caption& caption) {
  caption.pictured = true;
  const TextMask mask = painter_.paint(label(caption), std::max(static_cast<int>(std::lround(kTextHeight * scale_)), 1));
  const auto padX = static_cast<std::int32_t>(std::lround(kPadX * scale_));
  const auto padY = static_cast<std::int32_t>(std::lround(kPadY * scale_));
  pixels::CursorImage& picture = caption.picture;
  picture = {};
  const bool drawn = mask.width > 0 && mask.height > 0 &&
                     mask.coverage.size() == static_cast<std::size_t>(mask.width) * mask.height;
  if (!drawn) return;  // no text, no caption
  picture.width = mask.width + 2 * padX;
  picture.height = mask.height + 2 * padY;
  picture.pixels.assign(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height), {});
  const double radius = std::min({kCorner * scale_, picture.width / 2.0, picture.height / 2.0});
  for (std::int32_t y = 0; y < picture.height; ++y) {
    for (std::int32_t x = 0; x < picture.width; ++x) {
      const double plate = plateCoverage(x, y, picture.width, picture.height, radius) * kPlate.a / 255.0;
      const std::int32_t tx = x - padX, ty = y - padY;
      const double ink = tx >= 0 && ty >= 0 && tx < mask.width && ty < mask.height
                             ? mask.coverage[static_cast<std::size_t>(ty) * mask.width + tx] / 255.0
                             : 0.0;
      // Text over plate, straight alpha.
      const double alpha = ink + plate * (1 - ink);
      pixels::Bgra& out = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
      if (alpha <= 0) continue;
      const auto mix = [&](std::uint8_t text, std::uint8_t back) {
        return static_cast<std::uint8_t>(std::lround((text * ink + back * plate * (1 - ink)) / alpha));
      };
      out = {mix(kText.b, kPlate.b), mix(kText.g, kPlate.g), mix(kText.r, kPlate.r),
             static_cast<std::uint8_t>(std::lround(alpha * 255))};
    }
  }
}

void KeyCaptions::draw(const pixels::DibView& dib, double frameTime) {
  shown_.clear();
  for (auto it = captions_.begin(); it != captions_.end();) {
    Caption& caption = *it;
    // NaN compares false: such a frame shows nothing.
    if (!(frameTime >= caption.pressTime)) {
      ++it;
      continue;
    }
    if (!caption.seen) {
      caption.seen = true;
      caption.firstFrame = frameTime;
    }
    const double s = strength(caption, frameTime);
    it = s <= 0 ? captions_.erase(it) : it + 1;
  }
  std::vector<Caption*> showing;
  for (Caption& caption : captions_) {
    if (!caption.seen) continue;
    if (!caption.pictured) drawPicture(caption);
    showing.push_back(&caption);
  }
  const auto gap = static_cast<std::int64_t>(std::lround(kGap * scale_));
  const auto margin = static_cast<std::int64_t>(std::lround(kMargin * scale_));
  std::int64_t total = 0;
  for (const Caption* caption : showing) total += caption->picture.width + (total > 0 ? gap : 0);
  std::int64_t x = (dib.width - total) / 2;
  for (const Caption* caption : showing) {
    const double s = strength(*caption, frameTime);
    pixels::blendCursor(dib, caption->picture, {x, dib.height - margin - caption->picture.height}, s);
    x += caption->picture.width + gap;
    shown_.push_back({label(*caption), s});
  }
}

}  // namespace ks
