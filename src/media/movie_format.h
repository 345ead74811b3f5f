// How a movie stores its frames: what the user chooses in the New movie
// dialog and the recorder hands to the movie.
#pragma once

namespace ks {

enum class MovieFormat {
  Uncompressed,  // 24-bit, byte for byte as grabbed
  Zmbv,          // lossless ZMBV, 32-bit, key frames at least every 2 seconds
  Gif,           // an animated GIF: 256 colours a frame, no sound
  Mp4,           // H.264 and AAC made by the user's ffmpeg
};

}  // namespace ks
