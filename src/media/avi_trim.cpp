#include "media/avi_trim.h"

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

#include "base/pixels.h"
#include "media/avi_writer.h"
#include "media/movie_pictures.h"
#include "media/zmbv_encoder.h"

namespace ks {

std::uint64_t soundFrameAt(std::int64_t frame, std::uint32_t rate, std::uint32_t scale, std::uint32_t samplesPerSec) {
  if (frame <= 0 || rate == 0) return 0;
  // Nearest sample to the frame's start, exact in integers.
  const auto n = static_cast<std::uint64_t>(frame) * scale * samplesPerSec;
  return (2 * n + rate) / (2 * std::uint64_t{rate});
}

namespace {

using Kind = TrimOutcome::Kind;

TrimOutcome failed(Kind kind, std::string detail) {
  TrimOutcome o;
  o.kind = kind;
  o.detail = std::move(detail);
  return o;
}

const char* const kWriteRefused = "the disk did not take the new movie (it may be full, or gone)";

// The kept span of the sound, handed out chunk by chunk as the frames go.
class SoundSpan {
 public:
  SoundSpan(AviMovieReader& source, std::uint64_t from, std::uint64_t to) : source_(source) {
    const AviSoundStream& s = *source.sound();
    align_ = std::max<std::uint32_t>(s.format.nBlockAlign, 1);
    std::uint64_t at = 0;
    for (const AviChunkRef& c : s.chunks) {
      starts_.push_back(at);
      at += c.size / align_;
    }
    starts_.push_back(at);
    pos_ = std::min(from, at);
    end_ = std::min(to, at);
  }

  std::uint64_t bytesLeft() const { return (end_ - pos_) * align_; }
  std::uint32_t blockAlign() const { return align_; }

  // Writes the sample frames up to `until` (within the span).
  TrimOutcome writeUpTo(std::uint64_t until, AviWriter& writer, std::uint64_t& written) {
    until = std::min(until, end_);
    const std::vector<AviChunkRef>& chunks = source_.sound()->chunks;
    while (pos_ < until) {
      while (chunk_ + 1 < starts_.size() && starts_[chunk_ + 1] <= pos_) ++chunk_;
      if (loaded_ != chunk_) {
        const ReadStatus read = source_.readChunk(chunks[chunk_], bytes_);
        if (!read) return failed(Kind::ReadFailed, read.error());
        loaded_ = chunk_;
      }
      const std::uint64_t stop = std::min(until, starts_[chunk_ + 1]);
      const std::size_t from = static_cast<std::size_t>((pos_ - starts_[chunk_]) * align_);
      const auto size = static_cast<std::uint32_t>((stop - pos_) * align_);
      if (!writer.writeSound(bytes_.data() + from, size)) return failed(Kind::WriteFailed, kWriteRefused);
      written += size;
      pos_ = stop;
    }
    return {};
  }

 private:
  AviMovieReader& source_;
  std::uint32_t align_ = 1;
  std::vector<std::uint64_t> starts_;  // each chunk's first sample frame, then the total
  std::uint64_t pos_ = 0, end_ = 0;
  std::size_t chunk_ = 0, loaded_ = SIZE_MAX;
  std::vector<std::uint8_t> bytes_;
};

// Writes the kept frames one by one, as the codec needs.
class FrameCopier {
 public:
  FrameCopier(AviMovieReader& source, std::int64_t first) : source_(source), first_(first) {}

  TrimOutcome open() {
    if (source_.picture().codec != PictureCodec::Zmbv) return {};
    ReadResult<MoviePictures> pictures = MoviePictures::open(source_);
    if (!pictures) return failed(Kind::ReadFailed, pictures.error());
    pictures_.emplace(std::move(pictures.value()));
    const AviPictureStream& p = source_.picture();
    encoder_ = std::make_unique<ZmbvEncoder>(p.width, p.height);
    return {};
  }

  TrimOutcome write(std::int64_t frame, AviWriter& writer, std::uint64_t& written) {
    frame_ = frame;
    const AviChunkRef& ref = source_.picture().frames[static_cast<std::size_t>(frame)];
    if (encoder_ && coding_ && frame > first_ && ref.keyFrame && ref.size > 0) coding_ = false;
    if (encoder_ && coding_) return code(frame, ref, writer, written);
    if (frame == first_ && ref.size == 0) return firstRepeat(frame, writer, written);
    if (ref.size == 0) return put(writer, nullptr, 0, ref.keyFrame, written);
    const ReadStatus read = source_.readChunk(ref, bytes_);
    if (!read) return failed(Kind::ReadFailed, read.error());
    return put(writer, bytes_.data(), ref.size, ref.keyFrame, written);
  }

 private:
  // ZMBV up to the source's next key frame: coded from the decoded picture.
  // A repeat stays a repeat, which leaves the encoder's picture as it is.
  TrimOutcome code(std::int64_t frame, const AviChunkRef& ref, AviWriter& writer, std::uint64_t& written) {
    const ReadStatus seek = pictures_->seek(static_cast<std::size_t>(frame));
    if (!seek) return failed(Kind::ReadFailed, seek.error());
    if (ref.size == 0 && frame > first_) return put(writer, nullptr, 0, false, written);
    const ZmbvChunk chunk = encoder_->encode(pictures_->picture().data());
    if (chunk.bytes.empty()) return failed(Kind::WriteFailed, "a frame could not be coded");
    return put(writer, chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()), chunk.keyFrame, written);
  }

  // An uncompressed movie whose first kept frame repeats an earlier one:
  // the new movie starts with that picture itself.
  TrimOutcome firstRepeat(std::int64_t frame, AviWriter& writer, std::uint64_t& written) {
    const std::vector<AviChunkRef>& frames = source_.picture().frames;
    std::int64_t shown = frame;
    while (shown >= 0 && frames[static_cast<std::size_t>(shown)].size == 0) --shown;
    const BitmapInfoHeader& f = source_.picture().format;
    if (shown < 0) {
      bytes_.assign(f.biSizeImage ? f.biSizeImage : frameBytes(f.biWidth, f.biHeight), 0);
    } else {
      const ReadStatus read = source_.readChunk(frames[static_cast<std::size_t>(shown)], bytes_);
      if (!read) return failed(Kind::ReadFailed, read.error());
    }
    return put(writer, bytes_.data(), static_cast<std::uint32_t>(bytes_.size()), true, written);
  }

  static std::size_t frameBytes(std::int32_t width, std::int32_t height) {
    return dibStride(width) * static_cast<std::size_t>(height);
  }

  TrimOutcome put(AviWriter& writer, const void* bits, std::uint32_t size, bool key, std::uint64_t& written) {
    if (!writer.writeFrame(bits, size, key)) return failed(Kind::WriteFailed, kWriteRefused);
    // The progress counts the source's bytes, whatever the frame became.
    written += source_.picture().frames[static_cast<std::size_t>(frame_)].size;
    return {};
  }

  AviMovieReader& source_;
  std::int64_t first_, frame_ = 0;
  std::optional<MoviePictures> pictures_;
  std::unique_ptr<ZmbvEncoder> encoder_;
  bool coding_ = true;
  std::vector<std::uint8_t> bytes_;
};

TrimOutcome trimInto(AviMovieReader& source, std::int64_t first, std::int64_t last, AviWriter& writer,
                     const TrimProgress& progress) {
  const AviPictureStream& p = source.picture();
  std::optional<SoundSpan> sound;
  if (source.sound()) {
    const std::uint32_t sr = source.sound()->format.nSamplesPerSec;
    sound.emplace(source, soundFrameAt(first, p.rate, p.scale, sr), soundFrameAt(last + 1, p.rate, p.scale, sr));
  }
  std::uint64_t total = sound ? sound->bytesLeft() : 0, done = 0;
  for (std::int64_t k = first; k <= last; ++k) total += p.frames[static_cast<std::size_t>(k)].size;

  FrameCopier frames(source, first);
  if (TrimOutcome o = frames.open(); !o.ok()) return o;
  TrimOutcome outcome;
  for (std::int64_t k = first; k <= last; ++k) {
    if (TrimOutcome o = frames.write(k, writer, done); !o.ok()) return o;
    if (sound) {
      const std::uint32_t sr = source.sound()->format.nSamplesPerSec;
      const std::uint64_t before = done;
      if (TrimOutcome o = sound->writeUpTo(soundFrameAt(k + 1, p.rate, p.scale, sr), writer, done); !o.ok()) return o;
      outcome.soundFrames += (done - before) / sound->blockAlign();
    }
    ++outcome.frames;
    if (progress && !progress(done, total)) return failed(Kind::Cancelled, "");
  }
  return outcome;
}

}  // namespace

TrimOutcome trimAvi(AviMovieReader& source, std::int64_t first, std::int64_t last, std::unique_ptr<FileSink> sink,
                    const TrimProgress& progress) {
  const AviPictureStream& p = source.picture();
  const auto count = static_cast<std::int64_t>(p.frames.size());
  if (first < 0 || last < first || last >= count) return failed(Kind::Refused, "the span is outside the movie");
  if (p.codec == PictureCodec::Other) return failed(Kind::Refused, "its picture codec is not one kestrascope reads");
  if (p.scale == 0 || p.rate == 0 || p.rate % p.scale != 0)
    return failed(Kind::Refused, "its frame rate is not a whole number of frames a second");
  try {
    AviWriter writer;
    const std::optional<WaveFormat> sound =
        source.sound() ? std::optional<WaveFormat>(source.sound()->format) : std::nullopt;
    if (!writer.open(std::move(sink), p.format, p.rate / p.scale, sound))
      return failed(Kind::WriteFailed, "the new movie could not be started");
    TrimOutcome outcome = trimInto(source, first, last, writer, progress);
    // Closed also after a failure, so that the sink is let go of.
    const bool closed = writer.close();
    if (outcome.ok() && !closed) return failed(Kind::WriteFailed, kWriteRefused);
    return outcome;
  } catch (const std::bad_alloc&) {
    return failed(Kind::WriteFailed, "there was not enough memory");
  }
}

}  // namespace ks
