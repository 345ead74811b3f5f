// Reads animated GIFs: the blocks of the file, and each frame as shown.
//
// The canvas is BGRA, top row first, alpha 0 where nothing is painted (the
// start, and what "restore to background" clears, as web browsers show it)
// and 255 elsewhere. A viewer lays it over its background; the trimmer needs
// the unpainted pixels kept apart from every colour to write them again as
// transparent. toDib() gives the 24-bit form the encoder and the screen take.
//
// A file cut off before its trailer (a recording that was killed) reads as
// the frames that are whole. Frames are told from the blocks when the file
// is opened; their LZW data is decoded, and checked, when they are shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/pixels.h"
#include "media/byte_source.h"

namespace ks {

// Bytes in memory that the caller keeps, for a file read whole.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// GIFs are read whole; larger files are refused.
inline constexpr std::uint64_t kMaxGifBytes = std::uint64_t{2} << 30;
inline constexpr std::int32_t kMaxGifSide = 16384;

enum class GifDisposal : std::uint8_t {
  Unspecified = 0,
  Keep = 1,        // left in place
  Background = 2,  // its rectangle cleared
  Previous = 3,    // its rectangle put back as it was before it
};

struct GifFrameInfo {
  // The graphic control extension's fields (their defaults without one).
  GifDisposal disposal = GifDisposal::Unspecified;
  std::uint16_t delay = 0;        // centiseconds
  int transparentIndex = -1;      // -1: none
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<std::uint32_t> localPalette;  // 0xRRGGBB; empty: the global one
  // The frame's blocks (its extensions, descriptor, table and image data)
  // in the file: [begin, end).
  std::uint64_t begin = 0, end = 0;
  std::uint64_t dataAt = 0;  // the LZW code size byte
};

using GifCanvas = std::vector<pixels::Bgra>;

class GifReader {
 public:
  // Reads the file's blocks; false with error() when it is not a GIF we can
  // show or is damaged before its first whole frame.
  [[nodiscard]] bool open(ByteSource& source);
  const std::string& error() const { return error_; }

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  const std::vector<std::uint32_t>& globalPalette() const { return globalPalette_; }
  int backgroundIndex() const { return background_; }
  std::optional<std::uint16_t> loopCount() const { return loopCount_; }  // 0: forever
  const std::vector<GifFrameInfo>& frames() const { return frames_; }
  // No trailer after the last whole frame: the file was cut off.
  bool cutOff() const { return cutOff_; }
  // The whole file as read.
  std::span<const std::uint8_t> bytes() const { return bytes_; }
  // The header, logical screen and global colour table.
  std::span<const std::uint8_t> header() const { return std::span(bytes_).first(headerEnd_); }
  // The loop extension's blocks; empty without one.
  std::span<const std::uint8_t> loopExtension() const {
    return std::span(bytes_).subspan(loopBegin_, loopEnd_ - loopBegin_);
  }

  // The canvas as shown at frame n, valid until the next call; null with
  // error() when a frame up to it is damaged. Going on to the next frame
  // decodes one frame; any other frame at most kKeyInterval (grown on long
  // large movies to keep the saved canvases under kKeyBudget bytes).
  const GifCanvas* decode(std::size_t n);
  // Whether the last frame decoded leaves the canvas as shown when the next
  // is drawn (its disposal changes no pixel).
  bool leavesCanvas() const;

  static constexpr std::size_t kKeyInterval = 30;
  static constexpr std::size_t kKeyBudget = std::size_t{256} << 20;

 private:
  bool fail(std::string message);
  bool parseBlocks();
  bool drawFrame(std::size_t n);
  void disposeCurrent();
  void saveKey(std::size_t n);

  std::vector<std::uint8_t> bytes_;
  std::string error_;
  std::int32_t width_ = 0, height_ = 0;
  int background_ = 0;
  std::vector<std::uint32_t> globalPalette_;
  std::optional<std::uint16_t> loopCount_;
  std::size_t headerEnd_ = 0, loopBegin_ = 0, loopEnd_ = 0;
  std::vector<GifFrameInfo> frames_;
  bool cutOff_ = false;

  // Decoding: canvas_ is frame current_ as shown, base_ what it was drawn on.
  std::optional<std::size_t> current_;
  GifCanvas canvas_, base_;
  std::size_t keyInterval_ = kKeyInterval;
  std::vector<std::optional<GifCanvas>> keys_;  // base_ of frame k * keyInterval_
  std::vector<std::uint8_t> indices_;
  std::vector<std::uint16_t> prefix_;
  std::vector<std::uint8_t> suffix_, stack_;
};

// The canvas as a 24-bit bottom-up picture (rows of dibStride(width) bytes),
// unpainted pixels in `background` (0xRRGGBB).
std::vector<std::uint8_t> toDib(const GifCanvas& canvas, std::int32_t width, std::int32_t height,
                                std::uint32_t background = 0);

// Reads a whole file at a UTF-8 path into memory for a MemorySource; false
// with a message for the user when it cannot be read or is over kMaxGifBytes.
[[nodiscard]] bool readGifFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace ks
