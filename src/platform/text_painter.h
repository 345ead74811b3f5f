// Text drawn by the system's font renderer, for captions that pixel work
// then lays over the recorded pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ks {

// How much of each pixel the text covers, 0 to 255, top-down rows.
struct TextMask {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint8_t> coverage;  // width * height
};

class TextPainter {
 public:
  virtual ~TextPainter() = default;
  // `utf8` on one line in the system's user-interface font, its cell
  // `pixelHeight` high, anti-aliased; an empty mask when it cannot be drawn.
  // Callable from any thread.
  virtual TextMask paint(const std::string& utf8, int pixelHeight) = 0;
};

}  // namespace ks
