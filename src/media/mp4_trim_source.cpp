#include "media/mp4_trim_source.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <utility>

#include "base/pixels.h"

namespace ks {
namespace {

// Pictures kept once shown, for stepping back without decoding again. At
// 1080p one takes 6 MB.
constexpr std::size_t kCachedPictures = 16;
// How far ahead of the decoder's next picture a wanted one may be for the
// decoder to read on to it rather than start again at a key frame: about
// what one key frame interval takes to decode.
constexpr std::int64_t kReadOnFrames = 120;

// One run of ffmpeg decoding pictures into our pipe, from a known frame on.
struct Decoder {
  std::unique_ptr<ProgramPipe> pipe;
  std::unique_ptr<RunningProgram> program;
  std::int64_t next = 0;  // the frame its next picture is
};

// What ffmpeg said last, less its progress lines.
std::string ffmpegSaid(const RunningProgram& program) {
  std::string said;
  for (const std::string& line : program.lastLines()) {
    const std::size_t eq = line.find('=');
    if (line.empty() || (eq != std::string::npos && line.find(' ') > eq)) continue;
    said += (said.empty() ? "" : "; ") + line;
  }
  return said;
}

// The microseconds of output done, from the newest progress line.
std::optional<std::int64_t> progressMicros(const RunningProgram& program) {
  const std::vector<std::string> lines = program.lastLines();
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    // out_time_ms is in microseconds too, in every version.
    for (const char* key : {"out_time_us=", "out_time_ms="}) {
      if (line->rfind(key, 0) != 0) continue;
      char* end = nullptr;
      const long long us = std::strtoll(line->c_str() + std::strlen(key), &end, 10);
      if (end && *end == '\0' && us >= 0) return us;
    }
  }
  return std::nullopt;
}

std::uint64_t sampleAt(std::int64_t micros, std::uint32_t rate) {
  return static_cast<std::uint64_t>((static_cast<long double>(micros) * rate + 500'000) / 1'000'000);
}

class Mp4TrimSource final : public TrimSource {
 public:
  Mp4TrimSource(std::string path, Mp4Index index, FfmpegTool ffmpeg)
      : path_(std::move(path)), index_(std::move(index)), ffmpeg_(std::move(ffmpeg)) {}

  std::int32_t width() const override { return index_.width; }
  std::int32_t height() const override { return index_.height; }
  const FrameTimes& times() const override { return index_.times; }
  std::string extension() const override { return "mp4"; }

  ReadResult<const std::vector<std::uint8_t>*> picture(std::int64_t frame) override {
    if (frame < 0 || frame >= index_.times.frames()) return ReadFailure{"there is no such frame"};
    for (const auto& [f, picture] : cache_)
      if (f == frame) return &picture;
    const bool readOn = decoder_ && decoder_->next <= frame && frame - decoder_->next <= kReadOnFrames;
    if (!readOn) {
      if (const ReadStatus started = startDecoder(keyFrameAtOrBefore(frame)); !started) return ReadFailure{started.error()};
    }
    // The pictures on the way are kept too, the last few before it above all.
    while (decoder_->next <= frame) {
      std::vector<std::uint8_t>& into = spareOrNew();
      if (const ReadStatus read = readPicture(into); !read) {
        decoder_.reset();
        return ReadFailure{read.error()};
      }
      keep(decoder_->next++, std::move(into));
    }
    return &cache_.back().second;
  }

  TrimOutcome save(std::int64_t first, std::int64_t last, const std::string& path, std::unique_ptr<FileSink> sink,
                   const TrimProgress& progress) override {
    TrimOutcome o;
    if (first < 0 || last < first || last >= index_.times.frames()) {
      o.kind = TrimOutcome::Kind::Refused;
      o.detail = "the span is outside the movie";
      return o;
    }
    // ffmpeg writes the file itself, in the place the sink made for it.
    if (!sink->close()) {
      o.kind = TrimOutcome::Kind::WriteFailed;
      o.detail = "the disk did not take the new movie (it may be full, or gone)";
      return o;
    }
    decoder_.reset();
    Mp4Cut cut;
    cut.source = path_;
    cut.output = path;
    cut.firstFrame = first;
    cut.endFrame = last + 1;
    const std::int64_t from = index_.times.startMicros(first), to = index_.times.startMicros(last + 1);
    cut.sound = index_.hasSound && index_.soundRate > 0;
    if (cut.sound) {
      cut.firstSample = sampleAt(from, index_.soundRate);
      cut.endSample = sampleAt(to, index_.soundRate);
    }
    cut.encoder = ffmpeg_.encoder;
    cut.rate = static_cast<std::uint32_t>(std::clamp<std::int64_t>(
        (index_.times.frames() * 1'000'000 + index_.times.startMicros(index_.times.frames()) / 2) /
            std::max<std::int64_t>(1, index_.times.startMicros(index_.times.frames())),
        1, 240));
    std::string error;
    const std::unique_ptr<RunningProgram> program =
        ffmpeg_.programs->start(ffmpeg_.path, cutArgs(cut, ffmpeg_.version), error);
    if (!program) {
      o.kind = TrimOutcome::Kind::ReadFailed;
      o.detail = "ffmpeg could not be started (" + error + ")";
      return o;
    }
    const auto total = static_cast<std::uint64_t>(std::max<std::int64_t>(1, to - from));
    std::optional<std::int64_t> done;
    double quiet = 0;
    std::optional<int> exit;
    while (!(exit = program->wait(0.1))) {
      const std::optional<std::int64_t> now = progressMicros(*program);
      quiet = now != done ? 0 : quiet + 0.1;
      done = now;
      const auto did = static_cast<std::uint64_t>(std::clamp<std::int64_t>(done.value_or(0), 0, to - from));
      const bool stuck = quiet > kFfmpegSilenceSeconds;
      if (stuck || (progress && !progress(did, total))) {
        program->kill();
        static_cast<void>(program->wait(10));
        o.kind = stuck ? TrimOutcome::Kind::WriteFailed : TrimOutcome::Kind::Cancelled;
        if (stuck)
          o.detail = "ffmpeg did nothing more for " + std::to_string(static_cast<int>(kFfmpegSilenceSeconds)) +
                     " s and was ended";
        return o;
      }
    }
    if (*exit != 0) {
      const std::string said = ffmpegSaid(*program);
      o.kind = TrimOutcome::Kind::WriteFailed;
      o.detail = said.find("No space left") != std::string::npos
                     ? "the disk is full"
                     : "ffmpeg failed (exit code " + std::to_string(*exit) + (said.empty() ? "" : ": " + said) + ")";
      return o;
    }
    o.frames = last - first + 1;
    o.soundFrames = cut.endSample - cut.firstSample;
    if (progress) progress(total, total);
    return o;
  }

 private:
  std::int64_t keyFrameAtOrBefore(std::int64_t frame) const {
    while (frame > 0 && !index_.keyFrames[static_cast<std::size_t>(frame)]) --frame;
    return frame;
  }

  // Starts ffmpeg at key frame `key`. Its seek lands on the key frame at or
  // before the time asked, whichever way the streams' start times put our
  // times off: half way to the next key frame is far from both.
  ReadStatus startDecoder(std::int64_t key) {
    decoder_.reset();
    double seek = 0;
    if (key > 0) {
      std::int64_t next = key + 1;
      while (next < index_.times.frames() && !index_.keyFrames[static_cast<std::size_t>(next)]) ++next;
      seek = (index_.times.startMicros(key) + index_.times.startMicros(next)) / 2e6;
    }
    auto d = std::make_unique<Decoder>();
    std::string error;
    d->pipe = ffmpeg_.programs->createReadPipe(error);
    if (!d->pipe) return ReadFailure{"no pipe for ffmpeg's pictures: " + error};
    d->program = ffmpeg_.programs->start(ffmpeg_.path, decodeArgs(path_, d->pipe->path(), seek, ffmpeg_.version), error);
    if (!d->program) return ReadFailure{"ffmpeg could not be started (" + error + ")"};
    if (d->pipe->connect(kFfmpegSilenceSeconds) != PipeResult::Done) {
      const std::string said = ffmpegSaid(*d->program);
      return ReadFailure{"ffmpeg gave no pictures" + (said.empty() ? std::string() : " (" + said + ")")};
    }
    d->next = key;
    decoder_ = std::move(d);
    return kReadOk;
  }

  // The decoder's next picture, its rows padded as a DIB's.
  ReadStatus readPicture(std::vector<std::uint8_t>& into) {
    const std::size_t stride = dibStride(index_.width), row = 3 * static_cast<std::size_t>(index_.width);
    const std::size_t height = static_cast<std::size_t>(index_.height);
    into.resize(stride * height);
    // In one read (each is a trip through the system), rows then spread out
    // to their padded places from the last.
    std::size_t got = 0;
    const PipeResult r = decoder_->pipe->read(into.data(), row * height, kFfmpegSilenceSeconds, got);
    if (r != PipeResult::Done) {
      static_cast<void>(decoder_->program->wait(2));
      const std::string said = ffmpegSaid(*decoder_->program);
      return ReadFailure{r == PipeResult::TimedOut ? "ffmpeg stopped giving pictures"
                                                   : "ffmpeg ended before frame " + std::to_string(decoder_->next + 1) +
                                                         (said.empty() ? std::string() : " (" + said + ")")};
    }
    if (stride != row)
      for (std::size_t y = height; y-- > 1;) std::memmove(into.data() + stride * y, into.data() + row * y, row);
    return kReadOk;
  }

  std::vector<std::uint8_t>& spareOrNew() {
    spare_.clear();
    if (cache_.size() == kCachedPictures) {
      spare_ = std::move(cache_.front().second);
      cache_.pop_front();
    }
    return spare_;
  }

  void keep(std::int64_t frame, std::vector<std::uint8_t> picture) { cache_.emplace_back(frame, std::move(picture)); }

  std::string path_;
  Mp4Index index_;
  FfmpegTool ffmpeg_;
  std::unique_ptr<Decoder> decoder_;
  std::deque<std::pair<std::int64_t, std::vector<std::uint8_t>>> cache_;
  std::vector<std::uint8_t> spare_;
};

}  // namespace

std::unique_ptr<TrimSource> openMp4TrimSource(const std::string& path, Mp4Index index, FfmpegTool ffmpeg) {
  return std::make_unique<Mp4TrimSource>(path, std::move(index), std::move(ffmpeg));
}

}  // namespace ks
