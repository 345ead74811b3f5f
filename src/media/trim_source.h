// A movie opened for trimming, whatever its format: its pictures at any
// frame, when each frame starts, and the saving of a span of its frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/avi_trim.h"
#include "media/frame_times.h"
#include "media/read_result.h"
#include "platform/file_sink.h"

namespace ks {

class TrimSource {
 public:
  virtual ~TrimSource() = default;
  virtual std::int32_t width() const = 0;
  virtual std::int32_t height() const = 0;
  virtual const FrameTimes& times() const = 0;
  // The extension a trimmed copy gets: "avi", "gif", "mp4".
  virtual std::string extension() const = 0;
  // The picture shown at `frame`, 24-bit rows of dibStride(width) bytes with
  // the bottom row first; valid until the next call.
  virtual ReadResult<const std::vector<std::uint8_t>*> picture(std::int64_t frame) = 0;
  // Writes frames first..last (both kept) into `sink`, which writes the
  // file at `path`; the caller removes the file unless the outcome is Done.
  // Safe to run on another thread while no other call is made.
  virtual TrimOutcome save(std::int64_t first, std::int64_t last, const std::string& path,
                           std::unique_ptr<FileSink> sink, const TrimProgress& progress) = 0;
};

struct FfmpegTool;
// The ffmpeg that an MP4 needs, asked for only when the movie is one; the
// message says why there is none.
using FfmpegFinder = std::function<ReadResult<FfmpegTool>()>;

// Opens the movie at `path` (UTF-8), an AVI, a GIF or an MP4; the message
// says why when it cannot be trimmed.
ReadResult<std::unique_ptr<TrimSource>> openTrimSource(const std::string& path, const FfmpegFinder& ffmpeg = {});

}  // namespace ks
