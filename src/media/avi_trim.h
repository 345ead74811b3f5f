// Cuts the frames first..last (both kept) out of an AVI into a new one,
// losslessly: uncompressed frames and sound are copied; a ZMBV movie gets its
// first kept frame coded anew as a key frame, the frames up to the source's
// next key frame coded from their decoded pictures (their zlib data refers to
// the frames before, which are gone), and the rest copied as they are. The
// sound keeps the samples of the kept frames' time, cut to the sample.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/avi_movie_reader.h"
#include "platform/file_sink.h"

namespace ks {

// Bytes done of the bytes to do; false to stop.
using TrimProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

struct TrimOutcome {
  enum class Kind { Done, Cancelled, ReadFailed, WriteFailed, Refused };
  Kind kind = Kind::Done;
  std::string detail;  // what went wrong, for the message
  std::int64_t frames = 0;
  std::uint64_t soundFrames = 0;
  bool ok() const { return kind == Kind::Done; }
};

// Writes into `sink`, which the caller created and removes when the outcome
// is not Done.
TrimOutcome trimAvi(AviMovieReader& source, std::int64_t first, std::int64_t last, std::unique_ptr<FileSink> sink,
                    const TrimProgress& progress = {});

// The first sample frame of the sound that belongs to frame `frame` of a
// movie at rate/scale frames a second: the sound's sample 0 is at frame 0.
std::uint64_t soundFrameAt(std::int64_t frame, std::uint32_t rate, std::uint32_t scale, std::uint32_t samplesPerSec);

}  // namespace ks
