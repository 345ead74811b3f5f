// The movie the recorder writes into: one open movie at a time, its stream
// description and the position of the next frame.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "recorder/avi_format.h"
#include "recorder/avi_writer.h"

namespace ks {

class Movie {
 public:
  explicit Movie(AviWriterOptions options = {}) : writer_(std::move(options)) {}

  // Creates the movie at `path` (replacing a file of that name) for frames of
  // `frameFormat` at `rate` frames per second.
  bool OpenMovie(const std::string& path, const BitmapInfoHeader& frameFormat, int rate);
  // The same into a sink the caller created (null fails).
  bool OpenMovie(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, int rate);
  // Appends the picture at pBits, frameFormat.biSizeImage bytes, as the next
  // frame. On false FrameNumber stays, so a repeated call writes the same slot.
  bool WriteFrame(const void* pBits, const BitmapInfoHeader& frameFormat);
  void CloseMovie();

  bool IsOpen() const { return writer_.isOpen(); }
  const AviStreamInfo& StreamInfo() const { return streamInfo_; }
  std::int32_t FrameNumber() const { return frameNumber_; }

 private:
  AviStreamInfo streamInfo_{};
  std::int32_t frameNumber_ = 0;
  AviWriter writer_;
};

}  // namespace ks
