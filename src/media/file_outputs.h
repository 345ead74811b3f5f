// The movie outputs that are files written by our own writers: AVI
// (uncompressed or ZMBV, with PCM sound) and animated GIF.
#pragma once

#include <memory>

#include "media/avi_writer.h"
#include "media/movie_format.h"
#include "media/movie_output.h"
#include "platform/file_sink.h"

namespace ks {

// A movie of `format` (not MP4) in `sink`, of `frameFormat` pictures at
// `rate` a second; with `sound`, an AVI gets a PCM stream (a GIF has none).
// Null when the file's header cannot be written.
std::unique_ptr<MovieOutput> openFileOutput(std::unique_ptr<FileSink> sink, MovieFormat format,
                                            const BitmapInfoHeader& frameFormat, std::uint32_t rate, bool sound,
                                            const AviWriterOptions& options = {});

}  // namespace ks
