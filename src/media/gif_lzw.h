// The LZW image data of one GIF image, coded plainly: for pictures made
// outside the recording's encoder (the trimmer's first frame).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ks {

// Appends the code size byte, the codes of `indices` (each below
// 1 << minCodeSize, which is 2 to 8) in data sub-blocks and the terminator.
void appendGifImageData(std::span<const std::uint8_t> indices, int minCodeSize, std::vector<std::uint8_t>& out);

}  // namespace ks
