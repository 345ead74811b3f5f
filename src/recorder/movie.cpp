#include "recorder/movie.h"

namespace ks {

bool Movie::OpenMovie(const std::string& path, const BitmapInfoHeader& frameFormat, int rate) {
  CloseMovie();
  if (rate <= 0) return false;
  if (!writer_.open(path, frameFormat, static_cast<std::uint32_t>(rate))) return false;
  streamInfo_ = writer_.streamInfo();
  frameNumber_ = 0;
  return true;
}

bool Movie::OpenMovie(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, int rate) {
  CloseMovie();
  if (rate <= 0 || !sink) return false;
  if (!writer_.open(std::move(sink), frameFormat, static_cast<std::uint32_t>(rate))) return false;
  streamInfo_ = writer_.streamInfo();
  frameNumber_ = 0;
  return true;
}

bool Movie::WriteFrame(const void* pBits, const BitmapInfoHeader& frameFormat) {
  if (!writer_.writeFrame(pBits, frameFormat.biSizeImage)) return false;
  frameNumber_ = writer_.frameNumber();
  return true;
}

void Movie::CloseMovie() { writer_.close(); }

}  // namespace ks
