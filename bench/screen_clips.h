// Synthetic screen recordings for the encoder benchmark and tests: pictures as
// the grabber delivers them (24-bit bottom-up rows of dibStride(width) bytes,
// padding zero), drawn from a 1920x1080 scene (Interface: 1280x720, a
// picture larger than that shows the window on a desktop).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ks::clips {

enum class Clip {
  Editor,  // a still code page; a line is typed and the mouse pointer moves
  Scroll,  // the page's text scrolls up 12 pixels a frame
  Video,   // a still page with an 854x480 moving picture in it
  // A file manager's window: the pointer opens a menu, a dialog comes up and
  // a word is typed into it, then the selection walks down a list.
  Interface,
};

inline constexpr Clip kAllClips[] = {Clip::Editor, Clip::Scroll, Clip::Video, Clip::Interface};

std::string clipName(Clip clip);

// Draws the frames of one clip. A picture smaller than the scene shows the
// part of it where the clip's changes happen.
class ClipPlayer {
 public:
  ClipPlayer(Clip clip, std::int32_t width, std::int32_t height);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  std::uint32_t stride() const { return stride_; }

  // Frame `index` of the clip (any order); valid until the next call.
  const std::vector<std::uint8_t>& frame(int index);

 private:
  void drawScene(int index);

  Clip clip_;
  std::int32_t width_, height_;
  std::uint32_t stride_;
  std::int32_t sceneW_ = 0, sceneH_ = 0;
  std::int32_t originX_ = 0, originY_ = 0;  // of the picture in the scene
  std::int32_t windowX_ = 0, windowY_ = 0;  // Interface: of the window in the scene
  std::vector<std::uint8_t> page_;          // the still page, 3 bytes a pixel, top row first
  std::vector<std::uint8_t> document_;      // Scroll: the whole text, as tall as it scrolls
  std::vector<std::uint8_t> scene_;
  std::vector<std::uint8_t> picture_;
};

}  // namespace ks::clips
