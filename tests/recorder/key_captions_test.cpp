// Captions of shortcuts: what key sequences show, over which frames, and how
// a caption looks in the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/headless/block_text_painter.h"
#include "platform/headless/scripted_key_watch.h"
#include "recorder/key_captions.h"

namespace ks {
namespace {

constexpr int kLCtrl = 0xA2, kLShift = 0xA0, kRShift = 0xA1, kLAlt = 0xA4, kRAlt = 0xA5, kLWin = 0x5B;
constexpr int kEsc = 0x1B, kTab = 0x09, kPageUp = 0x21, kDelete = 0x2E, kF4 = 0x73, kF9 = 0x78, kF12 = 0x7B;
constexpr int kSemicolon = 0xBA;

struct Stroke {
  double time;
  int key;
  bool down;
  int modifiers = -1;  // the system's kCtrlHeld, ... bits; -1: the watch cannot tell
};
// Modifiers down in the order given, the key down and up, then the
// modifiers up: all within 0.05 s of `t`.
std::vector<Stroke> chord(double t, std::vector<int> modifiers, int key) {
  std::vector<Stroke> strokes;
  for (int m : modifiers) strokes.push_back({t, m, true});
  strokes.push_back({t + 0.01, key, true});
  strokes.push_back({t + 0.02, key, false});
  for (int m : modifiers) strokes.push_back({t + 0.03, m, false});
  return strokes;
}
std::vector<Stroke> operator+(std::vector<Stroke> a, const std::vector<Stroke>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Frame {
  double time;
  std::vector<std::string> shown;  // left to right
  double newestStrength = 1;      // of the rightmost, when one shows
};

TEST(KeyCaptions, ShowsShortcutsAndNamedKeysNeverTyping) {
  struct Case {
    const char* what;
    std::vector<Stroke> strokes;
    std::vector<Frame> frames;
    std::vector<std::string> painted = {};  // when given: every text drawn
  };
  const Case cases[] = {
      {"modifiers in any order, released before the key as Wine does",
       {{0.00, kLShift, true}, {0.01, kLCtrl, true}, {0.02, 'S', true}, {0.03, kLShift, false},
        {0.04, kLCtrl, false}, {0.05, 'S', false}},
       {{0.0, {}}, {0.1, {"Ctrl + Shift + S"}}},
       {"Ctrl + Shift + S"}},
      {"Win, Alt and the other side's Shift", chord(0, {kLWin, kRShift, kLAlt}, 'E'), {{0.1, {"Alt + Shift + Win + E"}}}},
      {"typing alone, with Shift, after a modifier went up, or with AltGr shows nothing",
       chord(0, {}, 'H') + chord(0.1, {kLShift}, 'I') + chord(0.2, {}, '1') + chord(0.3, {kRShift}, kSemicolon) +
           std::vector<Stroke>{{0.4, kLCtrl, true}, {0.41, kLCtrl, false}, {0.42, 'P', true}, {0.43, 'P', false}} +
           chord(0.5, {kLCtrl, kRAlt}, 'Q') + chord(1.0, {kLCtrl, kLAlt}, kDelete),
       {{0.1, {}}, {0.5, {}}, {0.9, {}}, {1.1, {"Ctrl + Alt + Delete"}}},
       {"Ctrl + Alt + Delete"}},
      {"named keys alone and with Shift",
       chord(0, {}, kEsc) + chord(2, {kLShift}, kTab) + chord(4, {}, kF12) + chord(6, {}, kPageUp),
       {{0.1, {"Esc"}}, {2.1, {"Shift + Tab"}}, {4.1, {"F12"}}, {6.1, {"Page Up"}}}},
      {"a repeated shortcut counts up; a key held down repeating counts once",
       chord(0, {kLCtrl}, 'Z') + chord(0.2, {kLCtrl}, 'Z') +
           std::vector<Stroke>{{0.4, kLCtrl, true}, {0.41, 'Z', true}, {0.45, 'Z', true}, {0.5, 'Z', true},
                               {0.55, 'Z', false}, {0.56, kLCtrl, false}},
       {{0.1, {"Ctrl + Z"}}, {0.3, {"Ctrl + Z \xC3\x97" "2"}}, {0.6, {"Ctrl + Z \xC3\x97" "3"}}, {0.7, {"Ctrl + Z \xC3\x97" "3"}}},
       {"Ctrl + Z", "Ctrl + Z \xC3\x97" "2", "Ctrl + Z \xC3\x97" "3"}},
      {"the same shortcut after its caption faded starts again", chord(0, {kLCtrl}, 'Z') + chord(2, {kLCtrl}, 'Z'),
       {{0.1, {"Ctrl + Z"}}, {2.1, {"Ctrl + Z"}}}},
      {"pressed and released between two frames at 1 fps: a second from its first frame",
       {{0.2, kLAlt, true}, {0.25, kF4, true}, {0.3, kF4, false}, {0.35, kLAlt, false}},
       {{0.0, {}}, {1.0, {"Alt + F4"}}, {2.0, {"Alt + F4"}}, {3.0, {}}}},
      {"a second after the release, then a fade over 0.3 s; held, it stays",
       chord(0, {kLCtrl}, 'S') + std::vector<Stroke>{{2, kLCtrl, true}, {2.01, 'C', true}, {5, 'C', false}},
       {{0.1, {"Ctrl + S"}},
        {1.1, {"Ctrl + S"}, 1},
        {1.25, {"Ctrl + S"}, 0.5},
        {1.37, {"Ctrl + S"}, 0.1},
        {1.41, {}},
        {4.9, {"Ctrl + C"}, 1},
        {6.0, {"Ctrl + C"}, 1},
        {6.15, {"Ctrl + C"}, 0.5}}},
      {"a new shortcut beside the last ones, three at most",
       chord(0, {kLCtrl}, 'A') + chord(0.05, {kLCtrl}, 'B') + chord(0.1, {kLCtrl}, 'C') + chord(0.15, {kLCtrl}, 'D'),
       {{0.08, {"Ctrl + A", "Ctrl + B"}}, {0.3, {"Ctrl + B", "Ctrl + C", "Ctrl + D"}}}},
      {"releases never seen (Win+L locked the screen): typing after it shows nothing, the caption goes",
       {{0, kLWin, true}, {0.01, 'L', true}, {8, 'H', true, 0}, {8.01, 'H', false, 0}, {8.1, kTab, true, 0}},
       {{0.1, {"Win + L"}}, {5.9, {"Win + L"}, 1}, {6.16, {"Win + L"}, 0.5}, {8.05, {}}, {8.15, {"Tab"}}}},
      {"the program's own keys are left out, others with the same key not",
       chord(0, {kLCtrl, kLShift}, kF9) + chord(0.2, {kLCtrl}, kF9),
       {{0.1, {}}, {0.3, {"Ctrl + F9"}}}},
  };
  const std::vector<Hotkey> own{{true, false, true, false, kF9}, {true, false, true, false, 0x79}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedKeyWatch names;
    BlockTextPainter painter;
    KeyCaptions captions(96, own, [&](const KeyStroke& s) { return names.keyName(s); }, painter);
    std::vector<std::uint8_t> bytes(dibStride(320) * 120);
    const pixels::DibView dib{bytes.data(), 320, 120, dibStride(320)};
    std::size_t next = 0;
    for (const Frame& frame : c.frames) {
      SCOPED_TRACE("frame at " + std::to_string(frame.time));
      for (; next < c.strokes.size() && c.strokes[next].time <= frame.time; ++next) {
        const Stroke& s = c.strokes[next];
        captions.add({s.time, {s.key, 0, false, s.down, s.modifiers >= 0, static_cast<unsigned>(std::max(s.modifiers, 0))}});
      }
      captions.draw(dib, frame.time);
      std::vector<std::string> texts;
      for (const KeyCaptions::Shown& shown : captions.shown()) texts.push_back(shown.text);
      EXPECT_EQ(texts, frame.shown);
      if (!captions.shown().empty()) {
        EXPECT_NEAR(captions.shown().back().strength, frame.newestStrength, 1e-9);
      }
    }
    if (!c.painted.empty()) {
      EXPECT_EQ(painter.painted, c.painted) << "each text drawn once";
    }
  }
}

// The caption in a mid-grey picture: a dark plate centred at the bottom,
// 24 pixels above it at 96 DPI, light text on it, fading as a whole.
TEST(KeyCaptions, DrawsALightTextOnADarkPlateCentredAtTheBottom) {
  struct Case {
    int dpi;
    double frameTime;  // the release at 0.02, first frame at 0.1: full until 1.1
    std::int32_t plateHeight, margin;
    std::uint8_t plate, text;  // the blue channel of a plate pixel and of a text pixel
  };
  const Case cases[] = {
      {96, 0.1, 20 + 2 * 6, 24, 53, 250},
      {144, 0.1, 30 + 2 * 9, 36, 53, 250},
      // Half faded: the alphas halve (200 to 100, 255 to 128).
      {96, 1.25, 32, 24, 90, 189},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    ScriptedKeyWatch names;
    BlockTextPainter painter;
    KeyCaptions captions(c.dpi, {}, [&](const KeyStroke& s) { return names.keyName(s); }, painter);
    const std::int32_t w = 401, h = 150;
    std::vector<std::uint8_t> bytes(dibStride(w) * h, 128);
    const pixels::DibView dib{bytes.data(), w, h, dibStride(w)};
    for (const Stroke& s : chord(0, {kLCtrl}, 'S')) captions.add({s.time, {s.key, 0, false, s.down}});
    captions.draw(dib, 0.1);
    if (c.frameTime != 0.1) {
      std::fill(bytes.begin(), bytes.end(), 128);
      captions.draw(dib, c.frameTime);
    }
    std::int32_t left = w, right = -1, top = h, bottom = -1;
    for (std::int32_t y = 0; y < h; ++y) {
      for (std::int32_t x = 0; x < w; ++x) {
        if (dib.row(y)[3 * x] == 128) continue;
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    ASSERT_GE(right, left) << "no caption";
    EXPECT_LE(std::abs(left - (w - 1 - right)), 1) << "centred: " << left << " to " << right;
    EXPECT_EQ(bottom, h - 1 - c.margin);
    EXPECT_EQ(bottom - top + 1, c.plateHeight);
    const std::int32_t middle = (top + bottom) / 2;
    EXPECT_EQ(dib.row(middle)[3 * (left + 2)], c.plate) << "the plate";
    EXPECT_EQ(dib.row(top)[3 * left], 128) << "a rounded corner";
    // The first block of text starts after the plate's padding.
    const std::int32_t pad = c.dpi == 96 ? 12 : 18;
    EXPECT_EQ(dib.row(middle)[3 * (left + pad + 1)], c.text) << "the text";
  }
}

}  // namespace
}  // namespace ks
