// The text painter of tests: each character a solid block, so that a
// caption's size follows its text and nothing depends on a font.
#pragma once

#include <string>
#include <vector>

#include "platform/text_painter.h"

namespace ks {

class BlockTextPainter final : public TextPainter {
 public:
  // Each code point a block half as wide as the cell is high, with a
  // one-pixel gap on its right; a space an empty cell.
  TextMask paint(const std::string& utf8, int pixelHeight) override;

  std::vector<std::string> painted;  // every text asked for, in order
};

}  // namespace ks
