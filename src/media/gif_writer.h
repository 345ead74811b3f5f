// Animated GIF movies that loop forever, written frame by frame.
//
// Picture k of a movie at r pictures a second is shown round(100k/r)
// centiseconds after the first. GIF delays are whole centiseconds and
// viewers slow down delays under 2 cs, so a picture that would follow the
// shown one sooner is left out (above 50 a second pictures merge) and the
// next picture shown takes its place; an identical picture lengthens the
// one shown.
//
// GifFrameEncoder makes the frames on the movie's encoder thread; GifWriter
// puts them into the file. Each frame reaches the file when it is given,
// with the delay of one picture; the next frame, or the close, sets its real
// delay in place. A file cut off at any moment therefore shows every frame
// given so far. After a failed write the file is cut back to the end of the
// last whole frame, so close() ends it with a trailer there.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "media/frame_encoder.h"
#include "media/gif_encoder.h"
#include "platform/file_sink.h"

namespace ks {

// When picture `index` of a movie at `rate` pictures a second is shown,
// in centiseconds after the first.
constexpr std::uint64_t gifCentiseconds(std::uint64_t index, std::uint32_t rate) {
  return (200 * index + rate) / (2 * rate);
}

// The frames of consecutive pictures, counted from 0. A picture that is
// identical to the shown one, or that falls within 2 cs of it, comes back
// `unchanged`.
class GifFrameEncoder final : public FrameEncoder {
 public:
  GifFrameEncoder(std::int32_t width, std::int32_t height, std::uint32_t rate);
  EncodedFrame encode(const std::uint8_t* bits) override;
  void restart() override;

 private:
  GifEncoder encoder_;
  std::uint32_t rate_;
  std::uint64_t next_ = 0;
  std::optional<std::uint64_t> shown_;
  bool whole_ = true;  // the next frame covers the whole picture
};

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

  // Puts picture number `index` (increasing) into the file: `frame` as
  // GifFrameEncoder made it, empty when the picture is unchanged. On false
  // nothing has changed: the same call may be repeated, and close() still
  // gives a valid file with the frames written before.
  [[nodiscard]] bool writeFrame(std::uint64_t index, std::span<const std::uint8_t> frame);

  // Sets the last frame's delay, writes the trailer and closes the file.
  // True when all of that succeeded; the file ends with a trailer after its
  // last whole frame even when it did not.
  [[nodiscard]] bool close();

  bool isOpen() const { return sink_ != nullptr; }

 private:
  std::uint64_t centiseconds(std::uint64_t index) const { return gifCentiseconds(index, rate_); }
  // Sets the delay of the frame last written, in place.
  bool setShownDelay(std::uint64_t delay);
  bool cutBack();

  std::unique_ptr<FileSink> sink_;
  std::uint32_t rate_ = 1;
  std::optional<std::uint64_t> shownIndex_, lastIndex_;
  std::uint64_t shownDelayAt_ = 0;  // where in the file the shown frame's delay is
  std::uint64_t wholeEnd_ = 0;      // the end of the last whole frame (or the header)
};

}  // namespace ks
