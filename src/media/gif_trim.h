// Cuts a span of frames out of a GIF into a file of its own.
//
// The header, logical screen, global colour table and loop extension are
// kept. The first kept frame is written again as a whole picture of the
// canvas as it was shown, with its delay; its colours are the canvas's own,
// so nothing changes. A canvas of more than 255 colours (local tables of
// several frames) goes as several images of at most 255 colours and a
// transparent index, each but the last shown for no time. Frames whose
// disposal leaves the canvas other than shown (restore to background or
// previous) are written again the same way up to the first that leaves it
// as shown, since a copy would be drawn on another canvas; the frames after
// that are copied byte for byte.
#pragma once

#include <cstddef>
#include <string>

#include "media/gif_reader.h"
#include "platform/file_sink.h"

namespace ks {

// Writes frames firstFrame to lastFrame (from 0, both included) of an open
// reader to `out` from its current position, and flushes it. False with a
// message for the user in `error`.
[[nodiscard]] bool trimGif(GifReader& source, std::size_t firstFrame, std::size_t lastFrame, FileSink& out,
                           std::string& error);

}  // namespace ks
