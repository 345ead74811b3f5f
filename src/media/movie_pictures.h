// The pictures of a movie the AVI reader opened, decoded one at a time in
// order or at any frame: a seek starts at the nearest key frame at or before
// the frame wanted, and the next frame after it costs one decode.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "media/avi_movie_reader.h"
#include "media/read_result.h"
#include "media/zmbv_decoder.h"

namespace ks {

class MoviePictures {
 public:
  // The reader must outlive the pictures. Fails for a codec kestrascope
  // does not decode.
  static ReadResult<MoviePictures> open(AviMovieReader& reader);

  std::size_t frameCount() const { return reader_->picture().frames.size(); }
  // Decodes frame `index` into picture().
  ReadStatus seek(std::size_t index);
  // The frame picture() shows; none before the first seek or after a failed one.
  std::optional<std::size_t> frame() const { return current_; }
  // 24-bit rows of dibStride(width) bytes, the bottom row first.
  const std::vector<std::uint8_t>& picture() const;

 private:
  explicit MoviePictures(AviMovieReader& reader);
  std::size_t startFor(std::size_t index) const;
  void restart();
  ReadStatus decode(std::size_t index);

  AviMovieReader* reader_;
  std::optional<ZmbvDecoder> zmbv_;
  std::vector<std::uint8_t> chunk_;
  std::vector<std::uint8_t> picture_;  // uncompressed movies' frames
  std::optional<std::size_t> current_;
};

}  // namespace ks
