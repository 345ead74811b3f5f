// GIF movies made as a recording makes them, and ffmpeg's frames of them:
// what the GIF tests share.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "command_output.h"
#include "media/movie.h"
#include "screen_clips.h"

namespace ks::test::gifs {

using Picture = std::vector<std::uint8_t>;

inline bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

inline std::string asBgr24(const Picture& bits, std::int32_t w, std::int32_t h) {
  const std::uint32_t stride = dibStride(w);
  std::string out(3 * std::size_t(w) * h, '\0');
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        out[3 * (std::size_t(y) * w + x) + c] = static_cast<char>(bits[std::size_t{stride} * (h - 1 - y) + 3 * x + c]);
  return out;
}

// Every frame ffmpeg shows, none repeated or dropped, as bgr24.
inline std::vector<std::string> decode(const std::string& path, std::int32_t w, std::int32_t h) {
  const std::string all = test::commandOutput("ffmpeg -v error -nostdin -i '" + path +
                                              "' -vsync passthrough -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
  const std::size_t n = 3 * std::size_t(w) * h;
  std::vector<std::string> frames;
  for (std::size_t at = 0; at + n <= all.size(); at += n) frames.push_back(all.substr(at, n));
  return frames;
}

// Gives the pictures to a GIF movie in order, each once (a refused one again
// when `repeat`), and closes it; how many it took.
struct Recorded {
  std::size_t taken = 0;
  bool closed = false;
};
inline Recorded recordGif(std::unique_ptr<FileSink> sink, std::int32_t w, std::int32_t h, int rate,
                   const std::vector<Picture>& pictures, bool repeat = false) {
  Recorded r;
  Movie movie;
  const BitmapInfoHeader format = makeFrameFormat(w, h);
  if (!movie.OpenMovie(std::move(sink), format, rate, MovieFormat::Gif)) return r;
  for (const Picture& p : pictures) {
    bool ok = movie.WriteFrame(p.data(), format);
    if (!ok && repeat) ok = movie.WriteFrame(p.data(), format);
    if (!ok) break;
    ++r.taken;
  }
  r.closed = movie.CloseMovie();
  return r;
}

inline std::vector<Picture> clip(clips::Clip c, std::int32_t w, std::int32_t h, int n) {
  clips::ClipPlayer player(c, w, h);
  std::vector<Picture> v;
  for (int i = 0; i < n; ++i) v.push_back(player.frame(i));
  return v;
}

}  // namespace ks::test::gifs
