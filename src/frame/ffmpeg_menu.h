// "Choose ffmpeg.exe…" in frmtop's system menu: the Open dialog picks the
// program that makes MP4 movies, kept in the settings store as
// "FFmpegPath", and the user hears at once whether it works.
#pragma once

#include "platform/window_system.h"

namespace ks {

class App;

class FfmpegMenu {
 public:
  static constexpr int kChooseId = 40;

  explicit FfmpegMenu(App& app) : app_(app) {}

  MenuItem item() const;
  // Acts on its item; false when `id` is not it.
  bool chosen(int id);

 private:
  App& app_;
};

}  // namespace ks
