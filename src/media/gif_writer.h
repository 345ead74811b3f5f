// An animated GIF that loops forever, written frame by frame.
//
// Picture k of a movie at r pictures a second is shown round(100k/r)
// centiseconds after the first. GIF delays are whole centiseconds and
// viewers slow down delays under 2 cs, so a picture that would follow the
// shown one sooner is left out (above 50 a second pictures merge) and the
// next picture shown takes its place; an identical picture lengthens the
// one shown. The last encoded frame is held until the next shown picture
// fixes its delay.
//
// The file is never left corrupt: after a failed write it is cut back to the
// end of the last whole frame, so close() ends it with a trailer there.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "media/gif_encoder.h"
#include "platform/file_sink.h"

namespace ks {

class GifWriter {
 public:
  GifWriter() = default;
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;
  ~GifWriter();

  // Starts a w x h movie (1 to 32767 a side) at `rate` pictures a second
  // (1 to 1000). An open movie is closed first.
  [[nodiscard]] bool open(std::unique_ptr<FileSink> sink, std::int32_t width, std::int32_t height,
                          std::uint32_t rate);

  // Gives picture number `index` (counting from 0, increasing), 24-bit
  // bottom-up rows of dibStride(width) bytes. On false nothing has changed:
  // the same call may be repeated, and close() still gives a valid file with
  // the frames written before. May throw std::bad_alloc.
  [[nodiscard]] bool writePicture(std::uint64_t index, const std::uint8_t* bits);

  // Writes the held frame and the trailer and closes the file. True when all
  // of that succeeded; the file ends with a trailer after its last whole
  // frame even when it did not.
  [[nodiscard]] bool close();

  bool isOpen() const { return sink_ != nullptr; }
  // Frames in the file so far (the held one not counted).
  std::uint64_t framesWritten() const { return framesWritten_; }

 private:
  std::uint64_t centiseconds(std::uint64_t index) const { return (200 * index + rate_) / (2 * rate_); }
  bool writeHeld(std::uint64_t delay);
  bool cutBack();

  std::unique_ptr<FileSink> sink_;
  std::unique_ptr<GifEncoder> encoder_;
  std::uint32_t rate_ = 1;
  std::vector<std::uint8_t> held_;
  std::size_t heldDelayAt_ = 0;
  std::optional<std::uint64_t> heldIndex_, firstIndex_;
  std::uint64_t lastIndex_ = 0;
  std::uint64_t wholeEnd_ = 0;  // the end of the last whole frame (or the header)
  std::uint64_t framesWritten_ = 0;
};

}  // namespace ks
