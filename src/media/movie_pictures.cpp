#include "media/movie_pictures.h"

#include <algorithm>
#include <string>

namespace ks {

MoviePictures::MoviePictures(AviMovieReader& reader) : reader_(&reader) {
  const AviPictureStream& p = reader.picture();
  if (p.codec == PictureCodec::Zmbv) zmbv_.emplace(p.width, p.height);
  else picture_.assign(std::size_t{dibStride(p.width)} * static_cast<std::uint32_t>(p.height), 0);
}

ReadResult<MoviePictures> MoviePictures::open(AviMovieReader& reader) {
  const BitmapInfoHeader& f = reader.picture().format;
  switch (reader.picture().codec) {
    case PictureCodec::Uncompressed:
    case PictureCodec::Zmbv: return MoviePictures(reader);
    case PictureCodec::Other: break;
  }
  if (f.biCompression == 0)
    return ReadFailure{"uncompressed pictures of " + std::to_string(f.biBitCount) +
                       " bits a pixel are not ones kestrascope reads"};
  return ReadFailure{"the picture codec '" + fourCCName(f.biCompression) + "' is not one kestrascope reads"};
}

const std::vector<std::uint8_t>& MoviePictures::picture() const { return zmbv_ ? zmbv_->picture() : picture_; }

// The last key frame with a picture of its own at or before `index`; the
// first frame when there is none (frames before any picture are black).
std::size_t MoviePictures::startFor(std::size_t index) const {
  const std::vector<AviChunkRef>& frames = reader_->picture().frames;
  for (std::size_t i = index + 1; i-- > 0;)
    if (frames[i].keyFrame && frames[i].size > 0) return i;
  return 0;
}

void MoviePictures::restart() {
  if (zmbv_) zmbv_->reset();
  else std::fill(picture_.begin(), picture_.end(), 0);
}

ReadStatus MoviePictures::seek(std::size_t index) {
  if (index >= frameCount()) return ReadFailure{"the movie has no frame " + std::to_string(index)};
  if (current_ == index) return kReadOk;
  const std::size_t key = startFor(index);
  std::size_t from = key;
  if (current_ && *current_ < index && *current_ >= key) {
    from = *current_ + 1;  // on from the frame shown
  } else {
    restart();
  }
  current_.reset();
  for (std::size_t i = from; i <= index; ++i)
    if (ReadStatus s = decode(i); !s) {
      restart();
      return ReadFailure{s.error() + " (frame " + std::to_string(i) + ")"};
    }
  current_ = index;
  return kReadOk;
}

ReadStatus MoviePictures::decode(std::size_t index) {
  const AviChunkRef& ref = reader_->picture().frames[index];
  if (ref.size == 0) return kReadOk;  // the picture before, again
  if (ReadStatus s = reader_->readChunk(ref, chunk_); !s) return s;
  if (zmbv_) return zmbv_->decode(chunk_);
  picture_.swap(chunk_);  // its size was checked against the picture's when the file was opened
  return kReadOk;
}

}  // namespace ks
