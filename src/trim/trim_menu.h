// "Trim a movie…" in frmtop's system menu: the Open dialog picks a movie,
// which opens in the trim window, or a message says why it cannot be.
#pragma once

#include "platform/window_system.h"

namespace ks {

class App;

inline constexpr const char* kTrimItem = "&Trim a movie\xE2\x80\xA6";  // U+2026

class TrimMenu {
 public:
  static constexpr int kTrimId = 41;

  explicit TrimMenu(App& app) : app_(app) {}

  MenuItem item() const { return {kTrimId, kTrimItem, true, {}}; }
  // Acts on its item; false when `id` is not it.
  bool chosen(int id);

 private:
  App& app_;
};

}  // namespace ks
