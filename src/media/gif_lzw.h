// The LZW image data of GIF images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ks {

// Codes index streams; its string table is kept from one stream to the next,
// so a coder used again allocates and clears nothing. Codes as the decoder
// reads them: it adds each entry one code late, so the width grows once the
// entry just made needs the wider code, and a clear code follows the 4096th
// entry.
class GifLzwCoder {
 public:
  GifLzwCoder();
  // Appends the code size byte, the codes of `indices` (each below
  // 1 << minCodeSize, which is 2 to 8) in data sub-blocks and the terminator.
  void append(std::span<const std::uint8_t> indices, int minCodeSize, std::vector<std::uint8_t>& out);
  // How many bits the codes of `indices` take; writes nothing.
  std::size_t countBits(std::span<const std::uint8_t> indices, int minCodeSize);

 private:
  template <class Bits>
  void code(std::span<const std::uint8_t> indices, int minCodeSize, Bits& bits);
  // Starts an empty string table.
  void clearTable();

  // Open-addressed: a string's code << 8 | the index after it, tagged with
  // the generation of the table that holds it; a slot of an older
  // generation is free.
  std::vector<std::uint32_t> keys_;
  std::vector<std::uint16_t> codes_;  // the code of the string in keys_
  std::uint32_t generation_ = 0;
};

// The same for a one-off stream (the trimmer's first frame).
void appendGifImageData(std::span<const std::uint8_t> indices, int minCodeSize, std::vector<std::uint8_t>& out);

}  // namespace ks
