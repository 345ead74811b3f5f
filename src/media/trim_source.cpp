#include "media/trim_source.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <utility>

#include "media/avi_movie_reader.h"
#include "media/byte_source.h"
#include "media/gif_reader.h"
#include "media/gif_trim.h"
#include "media/movie_pictures.h"
#include "media/mp4_trim_source.h"

namespace ks {
namespace {

// Pictures decoded last, so that stepping back through a ZMBV movie does
// not decode from the key frame again at every step.
class PictureCache {
 public:
  static constexpr std::size_t kPictures = 16;

  const std::vector<std::uint8_t>* find(std::int64_t frame) const {
    for (const auto& [f, picture] : pictures_)
      if (f == frame) return &picture;
    return nullptr;
  }
  const std::vector<std::uint8_t>& keep(std::int64_t frame, const std::vector<std::uint8_t>& picture) {
    if (pictures_.size() == kPictures) {
      std::vector<std::uint8_t> reused = std::move(pictures_.front().second);
      pictures_.pop_front();
      reused.assign(picture.begin(), picture.end());
      pictures_.emplace_back(frame, std::move(reused));
    } else {
      pictures_.emplace_back(frame, picture);
    }
    return pictures_.back().second;
  }

 private:
  std::deque<std::pair<std::int64_t, std::vector<std::uint8_t>>> pictures_;
};

class AviTrimSource final : public TrimSource {
 public:
  AviTrimSource(std::unique_ptr<AviMovieReader> reader, MoviePictures pictures)
      : reader_(std::move(reader)), pictures_(std::move(pictures)) {
    const AviPictureStream& p = reader_->picture();
    times_ = FrameTimes::constantRate(static_cast<std::int64_t>(p.frames.size()), p.rate, p.scale);
  }

  std::int32_t width() const override { return reader_->picture().width; }
  std::int32_t height() const override { return reader_->picture().height; }
  const FrameTimes& times() const override { return times_; }
  std::string extension() const override { return "avi"; }

  ReadResult<const std::vector<std::uint8_t>*> picture(std::int64_t frame) override {
    if (frame < 0 || frame >= times_.frames()) return ReadFailure{"there is no such frame"};
    if (const std::vector<std::uint8_t>* cached = cache_.find(frame)) return cached;
    const std::optional<std::size_t> now = pictures_.frame();
    const bool backwards = now && static_cast<std::int64_t>(*now) > frame;
    if (reader_->picture().codec == PictureCodec::Zmbv && backwards) {
      // Decode the pictures before it on the way and keep them.
      const std::int64_t from = std::max(keyFrameAtOrBefore(frame), frame - std::int64_t{PictureCache::kPictures} + 1);
      for (std::int64_t f = from; f < frame; ++f) {
        const ReadStatus step = pictures_.seek(static_cast<std::size_t>(f));
        if (!step) return ReadFailure{step.error()};
        cache_.keep(f, pictures_.picture());
      }
    }
    const ReadStatus seek = pictures_.seek(static_cast<std::size_t>(frame));
    if (!seek) return ReadFailure{seek.error()};
    return &cache_.keep(frame, pictures_.picture());
  }

  TrimOutcome save(std::int64_t first, std::int64_t last, const std::string&, std::unique_ptr<FileSink> sink,
                   const TrimProgress& progress) override {
    return trimAvi(*reader_, first, last, std::move(sink), progress);
  }

 private:
  std::int64_t keyFrameAtOrBefore(std::int64_t frame) const {
    const std::vector<AviChunkRef>& frames = reader_->picture().frames;
    while (frame > 0 && !(frames[static_cast<std::size_t>(frame)].keyFrame && frames[static_cast<std::size_t>(frame)].size))
      --frame;
    return frame;
  }

  std::unique_ptr<AviMovieReader> reader_;
  MoviePictures pictures_;
  FrameTimes times_;
  PictureCache cache_;
};

ReadResult<std::unique_ptr<TrimSource>> openAvi(std::unique_ptr<ByteSource> bytes) {
  ReadResult<AviMovieReader> reader = AviMovieReader::open(std::move(bytes));
  if (!reader) return ReadFailure{reader.error()};
  auto owned = std::make_unique<AviMovieReader>(std::move(reader.value()));
  if (owned->picture().frames.empty()) return ReadFailure{"the movie has no frames"};
  ReadResult<MoviePictures> pictures = MoviePictures::open(*owned);
  if (!pictures) return ReadFailure{pictures.error()};
  std::unique_ptr<TrimSource> source = std::make_unique<AviTrimSource>(std::move(owned), std::move(pictures.value()));
  return source;
}

class GifTrimSource final : public TrimSource {
 public:
  explicit GifTrimSource(std::unique_ptr<ByteSource> bytes) : bytes_(std::move(bytes)) {}

  ReadStatus open() {
    if (!reader_.open(*bytes_)) return ReadFailure{reader_.error()};
    if (reader_.frames().empty()) return ReadFailure{"the movie has no frames"};
    std::vector<std::uint16_t> delays;
    for (const GifFrameInfo& f : reader_.frames()) delays.push_back(f.delay);
    times_ = FrameTimes::fromDelays(delays);
    return kReadOk;
  }

  std::int32_t width() const override { return reader_.width(); }
  std::int32_t height() const override { return reader_.height(); }
  const FrameTimes& times() const override { return times_; }
  std::string extension() const override { return "gif"; }

  ReadResult<const std::vector<std::uint8_t>*> picture(std::int64_t frame) override {
    if (frame < 0 || frame >= times_.frames()) return ReadFailure{"there is no such frame"};
    const GifCanvas* canvas = reader_.decode(static_cast<std::size_t>(frame));
    if (!canvas) return ReadFailure{reader_.error()};
    // Unpainted pixels show as the window's grey, as a page would show them.
    dib_ = toDib(*canvas, reader_.width(), reader_.height(), 0xF0F0F0);
    return &dib_;
  }

  TrimOutcome save(std::int64_t first, std::int64_t last, const std::string&, std::unique_ptr<FileSink> sink,
                   const TrimProgress& progress) override {
    TrimOutcome o;
    if (first < 0 || last < first || last >= times_.frames()) {
      o.kind = TrimOutcome::Kind::Refused;
      o.detail = "the span is outside the movie";
      return o;
    }
    if (progress && !progress(0, 1)) o.kind = TrimOutcome::Kind::Cancelled;
    std::string error;
    if (o.ok() && !trimGif(reader_, static_cast<std::size_t>(first), static_cast<std::size_t>(last), *sink, error)) {
      o.kind = TrimOutcome::Kind::WriteFailed;
      o.detail = error;
    }
    if (!sink->close() && o.ok()) {
      o.kind = TrimOutcome::Kind::WriteFailed;
      o.detail = "the disk did not take the new movie (it may be full, or gone)";
    }
    if (o.ok()) {
      o.frames = last - first + 1;
      if (progress) progress(1, 1);
    }
    return o;
  }

 private:
  std::unique_ptr<ByteSource> bytes_;
  GifReader reader_;
  FrameTimes times_;
  std::vector<std::uint8_t> dib_;
};

}  // namespace

ReadResult<std::unique_ptr<TrimSource>> openTrimSource(const std::string& path, const FfmpegFinder& ffmpeg) {
  ReadResult<std::unique_ptr<ByteSource>> bytes = openByteFile(path);
  if (!bytes) return ReadFailure{bytes.error()};
  const ReadFailure notOurs{"it is not a movie kestrascope writes (an AVI, a GIF or an MP4)"};
  std::array<std::uint8_t, 12> head{};
  if (bytes.value()->size() < head.size() || !bytes.value()->read(0, head)) return notOurs;
  const auto is = [&](std::size_t at, const char* tag) { return std::equal(tag, tag + 4, head.begin() + at); };
  if (is(0, "RIFF") && is(8, "AVI ")) return openAvi(std::move(bytes.value()));
  if (is(0, "GIF8")) {
    auto gif = std::make_unique<GifTrimSource>(std::move(bytes.value()));
    if (const ReadStatus opened = gif->open(); !opened) return ReadFailure{opened.error()};
    std::unique_ptr<TrimSource> source = std::move(gif);
    return source;
  }
  if (is(4, "ftyp")) {
    ReadResult<Mp4Index> index = readMp4Index(*bytes.value());
    if (!index) return ReadFailure{index.error()};
    if (index.value().pictureCodec != "avc1" && index.value().pictureCodec != "avc3")
      return ReadFailure{"its pictures are coded as " + index.value().pictureCodec +
                         ", and kestrascope trims only the H.264 movies it makes"};
    if (!ffmpeg) return ReadFailure{"an MP4 movie is trimmed by ffmpeg, and there is none"};
    ReadResult<FfmpegTool> tool = ffmpeg();
    if (!tool) return ReadFailure{tool.error()};
    return openMp4TrimSource(path, std::move(index.value()), std::move(tool.value()));
  }
  return notOurs;
}

}  // namespace ks
