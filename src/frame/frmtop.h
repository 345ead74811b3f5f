// frmtop: the frame's top edge and title bar, the master of the frame.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "frame/ffmpeg_menu.h"
#include "frame/form.h"
#include "frame/marks_menu.h"
#include "frame/sound_menu.h"
#include "trim/trim_menu.h"

namespace ks {

class FrmTop final : public Form {
 public:
  explicit FrmTop(App& app);
  void load();

  Line* Line1 = nullptr;

  // frmtop's Top at the last layout; a later difference is a vertical move
  // of the frame that the bar follows. Code that moves frmtop and the bar
  // together updates it.
  std::optional<float> laidOutTop;

  // The region sizes the system menu offers, in pixels, and the menu's ids
  // for them (kRegionSizeIds + index).
  struct RegionSize {
    std::int32_t width, height;
  };
  static constexpr RegionSize kRegionSizes[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};
  static constexpr int kRegionSizeIds = 16;
  // The items above the system menu's own: the region sizes (greyed where
  // the frame would leave the screen), the region's size now, the global
  // keys, the marks and the sound sources.
  std::vector<MenuItem> systemMenuItems();

 private:
  SoundMenu sound_;
  MarksMenu marks_;
  FfmpegMenu ffmpeg_;
  TrimMenu trim_;

  void onActivate();
  void onResize();
  void systemMenuChosen(int id);
};

}  // namespace ks
