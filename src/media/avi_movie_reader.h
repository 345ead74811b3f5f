// Reader for the AVI files kestrascope writes: RIFF 'AVI ' and its OpenDML
// 'AVIX' extensions, a picture stream (uncompressed 24-bit or ZMBV) and an
// optional sound stream. It lists every chunk of both streams from the
// indexes (the super index's standard indexes first, else idx1), and scans
// the 'movi' lists of the RIFFs no index covers: those of a recording that
// was cut off before it could be closed.
//
// Every size, count and offset the file gives is checked against the file's
// length and the limits of the picture before it is used.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/avi_format.h"
#include "media/byte_source.h"
#include "media/read_result.h"

namespace ks {

// The largest picture side the readers take.
inline constexpr std::int32_t kMaxReadSide = 16384;

// One chunk of a stream: where its data starts in the file and its size.
struct AviChunkRef {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  bool keyFrame = true;
  friend bool operator==(const AviChunkRef&, const AviChunkRef&) = default;
};

enum class PictureCodec { Uncompressed, Zmbv, Other };

struct AviPictureStream {
  std::int32_t width = 0, height = 0;
  PictureCodec codec = PictureCodec::Other;
  BitmapInfoHeader format;
  std::uint32_t scale = 1, rate = 0;  // frames per second: rate / scale
  std::vector<std::uint8_t> strh, strf;  // as in the file, for a copy
  std::vector<AviChunkRef> frames;       // zero-size chunks repeat the picture before
};

struct AviSoundStream {
  WaveFormat format;  // WAVEFORMATEX without cbSize and what follows it
  std::vector<std::uint8_t> strh, strf;
  std::vector<AviChunkRef> chunks;
};

class AviMovieReader {
 public:
  static ReadResult<AviMovieReader> open(std::unique_ptr<ByteSource> source);

  const AviPictureStream& picture() const { return picture_; }
  const std::optional<AviSoundStream>& sound() const { return sound_; }
  // Some RIFF had no index and its chunks were found by scanning: a movie
  // whose recording was cut off.
  bool recovered() const { return recovered_; }

  // Reads a chunk of either stream, checking that the file has the chunk's
  // header where the index said.
  ReadStatus readChunk(const AviChunkRef& chunk, std::vector<std::uint8_t>& out);

 private:
  AviMovieReader() = default;
  friend class AviStructureReader;

  std::unique_ptr<ByteSource> source_;
  AviPictureStream picture_;
  std::optional<AviSoundStream> sound_;
  bool recovered_ = false;
  std::vector<std::uint32_t> chunkIds_;  // of both streams' data chunks
};

// A four-character code as text, '?' for what is not printable: "H264".
std::string fourCCName(std::uint32_t code);

}  // namespace ks
