// Synthetic screen recordings for the encoder benchmark and tests: pictures as
// the grabber delivers them (24-bit bottom-up rows of dibStride(width) bytes,
// padding zero), drawn from a 1920x1080 scene.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ks::clips {

enum class Clip {
  Editor,  // a still code page; a line is typed and the mouse pointer moves
  Scroll,  // the page's text scrolls up 12 pixels a frame
  Video,   // a still page with an 854x480 moving picture in it
};

inline constexpr Clip kAllClips[] = {Clip::Editor, Clip::Scroll, Clip::Video};

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
  std::int32_t originX_ = 0, originY_ = 0;  // of the picture in the scene
  std::vector<std::uint8_t> page_;          // the still page, 3 bytes a pixel, top row first
  std::vector<std::uint8_t> document_;      // Scroll: the whole text, as tall as it scrolls
  std::vector<std::uint8_t> scene_;
  std::vector<std::uint8_t> picture_;
};

}  // namespace ks::clips
