// Pictures (and sound) for movie tests: bottom-up 24-bit rows with zero
// padding, every frame different so that order and identity can be checked.
#pragma once

#include <cstdint>
#include <vector>

#include "media/avi_format.h"

namespace ks::test {

inline std::vector<std::uint8_t> makePicture(std::int32_t width, std::int32_t height, int seed) {
  const std::uint32_t stride = dibStride(width);
  std::vector<std::uint8_t> bits(std::size_t{stride} * static_cast<std::uint32_t>(height), 0);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        bits[std::size_t{stride} * y + 3 * x + c] =
            static_cast<std::uint8_t>(x * 7 + y * 13 + c * 71 + seed * 29 + (seed >> 8) * 3);
  return bits;
}

// Sound chunk `seed` of 16-bit stereo: `blocks` sample frames.
inline std::vector<std::uint8_t> makeSound(std::uint32_t blocks, int seed) {
  std::vector<std::uint8_t> b(std::size_t{blocks} * 4);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 31 + seed * 17);
  return b;
}

}  // namespace ks::test
