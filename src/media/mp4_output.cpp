#include "media/mp4_output.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/pixels.h"
#include "base/yuv420.h"

namespace ks {

namespace {

// Memory the picture queue may hold, and its bounds in frames: at 1080p
// about a second, at smaller sizes at most two.
constexpr std::size_t kPictureQueueBytes = 96u << 20;
constexpr std::size_t kFewestQueued = 4;
// Sound queued for ffmpeg, in seconds; more means it stopped reading.
constexpr double kSoundQueueSeconds = 10;
// Sound goes to the pipe in pieces of about this many sample frames.
constexpr std::size_t kSoundPiece = 4800;
// How often a wait for ffmpeg to open a pipe looks whether it has ended.
constexpr double kConnectPoll = 0.25;
// Below this much room the disk counts as full.
constexpr std::uint64_t kFullDisk = 4u << 20;

using SteadyClock = std::chrono::steady_clock;

// A picture that is the one before again (a still screen, a copy) is not
// converted: it comes back unchanged, and the output repeats what it has.
class Yuv420Encoder final : public FrameEncoder {
 public:
  Yuv420Encoder(std::int32_t width, std::int32_t height)
      : width_(width), height_(height), picture_(pixels::yuv420Size(width, height).bytes()),
        previous_(std::size_t{dibStride(width)} * static_cast<std::size_t>(height)) {}
  EncodedFrame encode(const std::uint8_t* bits) override {
    if (havePrevious_ && std::memcmp(bits, previous_.data(), previous_.size()) == 0) return {{}, false, true};
    std::memcpy(previous_.data(), bits, previous_.size());
    havePrevious_ = true;
    pixels::toYuv420(bits, width_, height_, picture_.data());
    return {picture_, true, false};
  }
  void restart() override { havePrevious_ = false; }

 private:
  std::int32_t width_, height_;
  std::vector<std::uint8_t> picture_;
  std::vector<std::uint8_t> previous_;  // the grabbed picture last converted
  bool havePrevious_ = false;
};

// A code of 0 says nothing when it ended too soon (a process killed under
// Wine ends with 0).
std::string exitText(std::optional<int> code) {
  if (!code) return "ffmpeg did not end";
  return *code == 0 ? "ffmpeg ended" : "ffmpeg ended with exit code " + std::to_string(*code);
}

bool saysDiskFull(const std::vector<std::string>& lines) {
  return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("No space left") != std::string::npos || line.find("There is not enough space") != std::string::npos;
  });
}

}  // namespace

Mp4Output::Mp4Output(Programs& programs, MovieFiles& files, const Mp4Request& request, const Mp4Limits& limits)
    : programs_(programs), files_(files), request_(request), limits_(limits) {
  pictureBytes_ = pixels::yuv420Size(request.width, request.height).bytes();
  pictureLimit_ = limits.pictureQueue > 0
                      ? limits.pictureQueue
                      : std::clamp<std::size_t>(kPictureQueueBytes / std::max<std::size_t>(pictureBytes_, 1),
                                                kFewestQueued, std::max<std::size_t>(kFewestQueued, 2 * request.rate));
  soundLimit_ = static_cast<std::size_t>(kSoundQueueSeconds * 48000) * 2;
}

Mp4Output::~Mp4Output() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    broken_ = true;
  }
  wake_.notify_all();
  if (picturePipe_) picturePipe_->cancel();
  if (soundPipe_) soundPipe_->cancel();
  if (pictureThread_.joinable()) pictureThread_.join();
  if (soundThread_.joinable()) soundThread_.join();
}

std::unique_ptr<Mp4Output> Mp4Output::open(Programs& programs, MovieFiles& files, const Mp4Request& request,
                                           OutputFailure& failure, const Mp4Limits& limits) {
  std::unique_ptr<Mp4Output> output(new Mp4Output(programs, files, request, limits));
  if (!output->start(failure)) return nullptr;
  return output;
}

bool Mp4Output::start(OutputFailure& failure) {
  failure = {};
  failure.kind = OutputFailure::Kind::ProgramFailed;
  std::string error;
  picturePipe_ = programs_.createPipe(error);
  if (picturePipe_ && request_.sound) soundPipe_ = programs_.createPipe(error);
  if (!picturePipe_ || (request_.sound && !soundPipe_)) {
    failure.detail = "no pipe to ffmpeg could be made (" + error + ")";
    return false;
  }
  const pixels::Yuv420Size size = pixels::yuv420Size(request_.width, request_.height);
  Mp4Job job;
  job.videoPipe = picturePipe_->path();
  job.soundPipe = soundPipe_ ? soundPipe_->path() : std::string();
  job.width = size.width;
  job.height = size.height;
  job.rate = request_.rate;
  job.encoder = request_.encoder;
  job.output = request_.path;
  ffmpeg_ = programs_.start(request_.ffmpeg, recordArgs(job, request_.version), error);
  if (!ffmpeg_) {
    failure.detail = "ffmpeg could not be started (" + error + ")";
    return false;
  }
  // It opens the picture pipe once it is ready; one that ends first tells why.
  const auto deadline = SteadyClock::now() + std::chrono::duration<double>(limits_.start);
  for (;;) {
    const PipeResult r = picturePipe_->connect(kConnectPoll);
    if (r == PipeResult::Done) break;
    const std::optional<int> code = ffmpeg_->wait(0);
    if (r != PipeResult::TimedOut || code || SteadyClock::now() >= deadline) {
      if (!code) ffmpeg_->kill();
      failure.detail = code ? exitText(code) + " before it took the movie"
                            : "ffmpeg did not open the movie's pipe within " +
                                  std::to_string(static_cast<int>(limits_.start)) + " s";
      failure.lastLines = ffmpeg_->lastLines();
      return false;
    }
  }
  failure = {};
  pictureThread_ = std::thread([this] { pictureLoop(); });
  if (soundPipe_) soundThread_ = std::thread([this] { soundLoop(); });
  return true;
}

std::unique_ptr<FrameEncoder> Mp4Output::makeEncoder(const BitmapInfoHeader& frameFormat) {
  return std::make_unique<Yuv420Encoder>(frameFormat.biWidth, frameFormat.biHeight);
}

bool Mp4Output::writeFrame(std::int32_t, std::span<const std::uint8_t> bytes, bool) {
  if (broken_) return false;
  std::unique_lock lock(mutex_);
  if (bytes.empty()) {
    // The picture before, again: a repeat costs no room.
    if (pictures_.empty()) pictures_.push_back({{}, 1});
    else ++pictures_.back().times;
    lock.unlock();
    wake_.notify_all();
    return true;
  }
  if (pictures_.size() >= pictureLimit_) {
    // ffmpeg is behind: this frame repeats the last one queued.
    ++pictures_.back().times;
    ++repeated_;
    return true;
  }
  std::vector<std::uint8_t> buffer;
  if (!spare_.empty()) {
    buffer = std::move(spare_.back());
    spare_.pop_back();
  }
  // Only this thread adds pictures: the copy needs no lock.
  lock.unlock();
  buffer.assign(bytes.begin(), bytes.end());
  lock.lock();
  pictures_.push_back({std::move(buffer), 1});
  lock.unlock();
  wake_.notify_all();
  return true;
}

bool Mp4Output::writeSound(const std::int16_t* samples, std::uint32_t frames) {
  if (broken_) return false;
  bool full = false;
  {
    std::lock_guard lock(mutex_);
    full = sound_.size() + 2 * std::size_t{frames} > soundLimit_;
    if (!full) sound_.insert(sound_.end(), samples, samples + 2 * std::size_t{frames});
  }
  if (!full) {
    wake_.notify_all();
    return true;
  }
  OutputFailure f;
  f.kind = OutputFailure::Kind::ProgramStuck;
  f.detail = "ffmpeg took none of the sound for " + std::to_string(static_cast<int>(kSoundQueueSeconds)) + " s";
  ffmpeg_->kill();
  f.lastLines = ffmpeg_->lastLines();
  fail(std::move(f));
  return false;
}

void Mp4Output::pictureLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return broken_ || closing_ || !pictures_.empty(); });
    if (broken_ || pictures_.empty()) break;
    // The front stays in the queue while it is written: a repeat may still
    // be counted on it.
    Picture& picture = pictures_.front();
    if (!picture.bytes.empty()) {
      // From now on it is the picture a repeat writes again.
      if (!last_.empty()) spare_.push_back(std::move(last_));
      last_ = std::move(picture.bytes);
      picture.bytes.clear();
    }
    lock.unlock();
    const PipeResult r = last_.empty() ? PipeResult::Done : picturePipe_->write(last_.data(), last_.size(), limits_.stalled);
    if (r != PipeResult::Done) {
      pipeFailed(r, "pictures");
      lock.lock();
      break;
    }
    lock.lock();
    if (--picture.times == 0) pictures_.pop_front();
    wake_.notify_all();
  }
  lock.unlock();
  picturePipe_->close();
}

void Mp4Output::soundLoop() {
  // ffmpeg opens the sound's pipe once it has read the first picture.
  const auto deadline = SteadyClock::now() + std::chrono::duration<double>(limits_.start);
  for (;;) {
    const PipeResult r = soundPipe_->connect(kConnectPoll);
    if (r == PipeResult::Done) break;
    if (r == PipeResult::Cancelled) return;
    if (r != PipeResult::TimedOut || ffmpeg_->wait(0)) {
      pipeFailed(PipeResult::Broken, "sound");
      return;
    }
    if (SteadyClock::now() >= deadline) {
      OutputFailure f;
      f.kind = OutputFailure::Kind::ProgramStuck;
      f.detail = "ffmpeg did not open the sound's pipe within " + std::to_string(static_cast<int>(limits_.start)) +
                 " s";
      ffmpeg_->kill();
      f.lastLines = ffmpeg_->lastLines();
      fail(std::move(f));
      return;
    }
  }
  std::vector<std::int16_t> piece;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return broken_ || closing_ || !sound_.empty(); });
    if (broken_ || sound_.empty()) break;
    const std::size_t n = std::min(sound_.size(), 2 * kSoundPiece);
    piece.assign(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(n));
    sound_.erase(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(n));
    lock.unlock();
    const PipeResult r = soundPipe_->write(piece.data(), piece.size() * sizeof(std::int16_t), limits_.stalled);
    if (r != PipeResult::Done) {
      pipeFailed(r, "sound");
      lock.lock();
      break;
    }
    lock.lock();
  }
  lock.unlock();
  soundPipe_->close();
}

void Mp4Output::pipeFailed(PipeResult result, const char* what) {
  // A cancel is ours: the output broke already, or is going.
  if (result == PipeResult::Cancelled) return;
  OutputFailure f;
  if (result == PipeResult::TimedOut) {
    f.kind = OutputFailure::Kind::ProgramStuck;
    f.detail = std::string("ffmpeg took nothing of the ") + what + " for " +
               std::to_string(static_cast<int>(limits_.stalled)) + " s";
    ffmpeg_->kill();
  } else {
    // It closed the pipe: it has ended, or is about to.
    f.kind = OutputFailure::Kind::ProgramFailed;
    f.detail = exitText(ffmpeg_->wait(2.0)) + " in the middle of the recording";
  }
  f.lastLines = ffmpeg_->lastLines();
  if (diskFull()) f.kind = OutputFailure::Kind::DiskFull;
  fail(std::move(f));
}

void Mp4Output::fail(OutputFailure failure) {
  {
    std::lock_guard lock(mutex_);
    if (failure_.kind == OutputFailure::Kind::None) failure_ = std::move(failure);
    broken_ = true;
  }
  wake_.notify_all();
  picturePipe_->cancel();
  if (soundPipe_) soundPipe_->cancel();
}

bool Mp4Output::diskFull() const {
  if (saysDiskFull(ffmpeg_->lastLines())) return true;
  const std::optional<std::uint64_t> room = programs_.freeBytes(request_.path);
  return room && *room < kFullDisk;
}

bool Mp4Output::awaitExit() {
  std::optional<int> code = ffmpeg_->wait(limits_.ending);
  if (!code) {
    ffmpeg_->kill();
    static_cast<void>(ffmpeg_->wait(limits_.ending));
  }
  if (code == 0) return true;
  OutputFailure f;
  f.kind = code ? OutputFailure::Kind::ProgramFailed : OutputFailure::Kind::ProgramStuck;
  f.detail = code ? exitText(code) + " at the end of the movie"
                  : "ffmpeg did not end within " + std::to_string(static_cast<int>(limits_.ending)) +
                        " s of the movie's end, and was ended";
  f.lastLines = ffmpeg_->lastLines();
  if (diskFull()) f.kind = OutputFailure::Kind::DiskFull;
  fail(std::move(f));
  return false;
}

bool Mp4Output::finishMovie() {
  const std::string finished = request_.path + ".finishing";
  const double bytes = static_cast<double>(files_.size(request_.path).value_or(0));
  const double seconds = limits_.finishing + bytes / limits_.finishingBytesPerSecond;
  const ProgramRun run = runProgram(programs_, request_.ffmpeg, finishArgs(request_.path, finished), seconds);
  if (run.exitCode == 0 && files_.replace(finished, request_.path)) return true;
  static_cast<void>(files_.remove(finished));
  OutputFailure f;
  f.kind = OutputFailure::Kind::NotFinished;
  if (!run.started) f.detail = "ffmpeg could not be started again (" + run.error + ")";
  else if (saysDiskFull(run.lastLines)) f.detail = "the disk is full";
  else if (run.exitCode == 0) f.detail = "the finished movie could not take the place of the recorded one";
  else f.detail = run.exitCode ? exitText(run.exitCode) : "ffmpeg took longer than " +
                                                             std::to_string(static_cast<int>(seconds)) + " s";
  f.lastLines = run.lastLines;
  std::lock_guard lock(mutex_);
  failure_ = std::move(f);
  return false;
}

bool Mp4Output::close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  if (pictureThread_.joinable()) pictureThread_.join();
  if (soundThread_.joinable()) soundThread_.join();
  const bool recorded = awaitExit() && !broken_;
  return recorded && (!request_.finish || finishMovie());
}

AviStreamInfo Mp4Output::streamInfo() const {
  AviStreamInfo info{};
  info.dwScale = 1;
  info.dwRate = request_.rate;
  return info;
}

OutputFailure Mp4Output::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

std::int64_t Mp4Output::framesRepeated() const {
  std::lock_guard lock(mutex_);
  return repeated_;
}

}  // namespace ks
