#include "media/movie.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "media/file_outputs.h"

namespace ks {

namespace {

// Slots: one being filled, one being written, and for a compressed movie one
// being encoded in between.
constexpr std::size_t kUncompressedSlots = 2;
constexpr std::size_t kCompressedSlots = 3;

}  // namespace

void Movie::WriteFaults::keep(WriteFault fault) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (first_.cause == WriteCause::None) first_ = fault;
}

WriteFault Movie::WriteFaults::first() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return first_;
}

namespace {

// The movie's sink, passing on each call, and keeping the cause of the first
// that fails where the movie can read it after the output has gone.
class FaultKeepingSink final : public FileSink {
 public:
  FaultKeepingSink(std::unique_ptr<FileSink> sink, std::shared_ptr<Movie::WriteFaults> faults)
      : sink_(std::move(sink)), faults_(std::move(faults)) {}

  bool write(std::span<const ConstBuffer> parts) override { return kept(sink_->write(parts)); }
  bool seek(std::uint64_t offset) override { return kept(sink_->seek(offset)); }
  std::uint64_t tell() const override { return sink_->tell(); }
  bool truncate(std::uint64_t size) override { return kept(sink_->truncate(size)); }
  bool flush() override { return kept(sink_->flush()); }
  bool sync() override { return kept(sink_->sync()); }
  bool close() override { return kept(sink_->close()); }

 private:
  bool kept(bool ok) {
    if (!ok) {
      const WriteFault fault = sink_->fault();
      faults_->keep(fault.cause == WriteCause::None ? WriteFault{WriteCause::Other, 0} : fault);
    }
    return ok;
  }
  std::unique_ptr<FileSink> sink_;
  std::shared_ptr<Movie::WriteFaults> faults_;
};

}  // namespace

Movie::Movie(AviWriterOptions options) : options_(std::move(options)) {}

Movie::~Movie() { static_cast<void>(CloseMovie()); }  // the file is valid however the close went

bool Movie::OpenMovie(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, int rate,
                      MovieFormat format, bool sound) {
  static_cast<void>(CloseMovie());  // the previous movie is valid however its close went
  if (rate <= 0 || !sink) return false;
  auto faults = std::make_shared<WriteFaults>();
  std::unique_ptr<MovieOutput> output =
      openFileOutput(std::make_unique<FaultKeepingSink>(std::move(sink), faults), format, frameFormat,
                     static_cast<std::uint32_t>(rate), sound, options_);
  const bool open = output && OpenMovie(std::move(output), frameFormat, rate);
  writeFaults_ = std::move(faults);  // the sink's, also when the movie could not be started in it
  return open;
}

bool Movie::OpenMovie(std::unique_ptr<MovieOutput> output, const BitmapInfoHeader& frameFormat, int rate) {
  static_cast<void>(CloseMovie());
  if (rate <= 0 || !output) return false;
  const auto r = static_cast<std::uint32_t>(rate);
  output_ = std::move(output);
  streamInfo_ = output_->streamInfo();
  sound_ = output_->hasSound();
  soundFrames_ = 0;
  frameNumber_ = 0;
  frameBytes_ = frameFormat.biSizeImage;
  fill_ = encode_ = write_ = 0;
  failed_ = quit_ = false;
  fault_ = MovieFault::None;
  closedFailure_ = {};
  closedRepeated_ = 0;
  writeFaults_ = std::make_shared<WriteFaults>();
  try {
    encoder_ = output_->makeEncoder(frameFormat);
    if (encoder_ && encoderFactory_) encoder_ = encoderFactory_(frameFormat, r);
    const bool compressed = encoded();
    slots_ = std::vector<Slot>(compressed ? kCompressedSlots : kUncompressedSlots);
    for (Slot& slot : slots_) slot.picture.resize(frameFormat.biSizeImage);
    if (compressed) encoderThread_ = std::thread([this] { encoderLoop(); });
    writerThread_ = std::thread([this] { writerLoop(); });
  } catch (const std::exception&) {
    // No memory for the slots or no thread: the movie cannot be recorded.
    stopThreads();
    static_cast<void>(output_->close());
    output_.reset();
    slots_.clear();
    encoder_.reset();
    return false;
  }
  return true;
}

OutputFailure Movie::OutputProblem() const { return output_ ? output_->failure() : closedFailure_; }

std::int64_t Movie::FramesRepeated() const { return output_ ? output_->framesRepeated() : closedRepeated_; }

MovieFault Movie::Fault() const {
  std::lock_guard lock(mutex_);
  return fault_;
}

bool Movie::drained() const {
  return std::all_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.state == Slot::State::Free; });
}

bool Movie::write(const Slot& slot) {
  if (slot.isSound) return output_->writeSound(slot.sound.data(), static_cast<std::uint32_t>(slot.sound.size() / 2));
  if (!encoded()) return output_->writeFrame(slot.index, slot.picture, true);
  return output_->writeFrame(slot.index, slot.chunk, slot.keyFrame);
}

void Movie::refused() {
  if (output_->broken() && fault_ == MovieFault::None) fault_ = MovieFault::Output;
}

bool Movie::repeatFailed(std::unique_lock<std::mutex>& lock) {
  Slot& slot = slots_[write_];
  lock.unlock();
  bool ok = false;
  try {
    ok = write(slot);
  } catch (const std::bad_alloc&) {
    lock.lock();
    fault_ = MovieFault::Memory;
    return false;
  }
  lock.lock();
  if (!ok) {
    refused();
    return false;
  }
  slot.state = Slot::State::Free;
  write_ = after(write_);
  failed_ = false;
  wake_.notify_all();
  return true;
}

bool Movie::waitForSlot(std::unique_lock<std::mutex>& lock) {
  for (;;) {
    if (fault_ != MovieFault::None) return false;
    if (failed_) {
      if (!repeatFailed(lock)) return false;
      continue;
    }
    if (slots_[fill_].state == Slot::State::Free) return true;
    wake_.wait(lock);
  }
}

bool Movie::WriteFrame(const void* pBits, const BitmapInfoHeader& frameFormat) {
  // Every frame has the size of the pictures the movie was opened for.
  if (!IsOpen() || !pBits) return false;
  if (frameFormat.biSizeImage != frameBytes_) {
    writeFaults_->keep({WriteCause::WrongSize, 0});
    return false;
  }
  std::unique_lock lock(mutex_);
  if (!waitForSlot(lock)) return false;
  Slot& slot = slots_[fill_];
  // No other thread touches a free slot.
  lock.unlock();
  std::memcpy(slot.picture.data(), pBits, frameBytes_);
  slot.isSound = false;
  slot.index = frameNumber_;
  lock.lock();
  slot.state = encoded() ? Slot::State::Taken : Slot::State::Encoded;
  fill_ = after(fill_);
  ++frameNumber_;
  lock.unlock();
  wake_.notify_all();
  return true;
}

bool Movie::WriteSound(const std::int16_t* samples, std::uint32_t frames) {
  if (!IsOpen() || !sound_ || !samples || frames == 0) return false;
  std::unique_lock lock(mutex_);
  if (!waitForSlot(lock)) return false;
  Slot& slot = slots_[fill_];
  lock.unlock();
  try {
    slot.sound.assign(samples, samples + 2 * std::size_t{frames});
  } catch (const std::bad_alloc&) {
    lock.lock();
    fault_ = MovieFault::Memory;
    wake_.notify_all();
    return false;
  }
  slot.isSound = true;
  lock.lock();
  // Sound needs no encoding; the encoder passes it on in its turn.
  slot.state = encoded() ? Slot::State::Taken : Slot::State::Encoded;
  fill_ = after(fill_);
  soundFrames_ += frames;
  lock.unlock();
  wake_.notify_all();
  return true;
}

bool Movie::Flush() {
  if (!IsOpen()) return false;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return failed_ || fault_ != MovieFault::None || drained(); });
    if (fault_ != MovieFault::None) return false;
    if (!failed_) return true;
    if (!repeatFailed(lock)) return false;
  }
}

bool Movie::Checkpoint() {
  if (!Flush()) return false;
  // The pipeline is idle and only this thread gives it frames: the writing
  // thread waits, and the writer is ours until the next frame.
  std::lock_guard lock(mutex_);
  try {
    return output_->checkpoint();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Movie::CloseMovie() {
  if (!IsOpen()) return true;
  // One last try for a refused frame and the ones behind it; the file is
  // whole without them.
  static_cast<void>(Flush());
  stopThreads();
  // The count follows the file.
  for (const Slot& s : slots_) {
    if (s.state == Slot::State::Free) continue;
    if (s.isSound) {
      soundFrames_ -= static_cast<std::int64_t>(s.sound.size() / 2);
    } else {
      --frameNumber_;
    }
  }
  bool closed = false;
  try {
    closed = output_->close();
  } catch (const std::bad_alloc&) {
    // The writer's destructor closes the file with what it holds.
  }
  closedFailure_ = output_->failure();
  closedRepeated_ = output_->framesRepeated();
  output_.reset();
  slots_.clear();
  encoder_.reset();
  return closed;
}

void Movie::stopThreads() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (encoderThread_.joinable()) encoderThread_.join();
  if (writerThread_.joinable()) writerThread_.join();
}

// Runs on the encoder thread without the lock; the chunk stays empty when the
// frame cannot be made.
void Movie::encodeSlot(Slot& slot) {
  EncodedFrame frame = encoder_->encode(slot.picture.data());
  if (frame.bytes.empty() && !frame.unchanged) {
    // Once more from a key frame, which depends on nothing the failure broke.
    encoder_->restart();
    frame = encoder_->encode(slot.picture.data());
  }
  slot.chunk.assign(frame.bytes.begin(), frame.bytes.end());
  slot.keyFrame = frame.keyFrame;
  slot.unchanged = frame.unchanged;
}

void Movie::encoderLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Pictures already taken are encoded even when the movie is closing, so
    // the encoder never stops half-way through one.
    wake_.wait(lock, [this] {
      return quit_ || fault_ != MovieFault::None || slots_[encode_].state == Slot::State::Taken;
    });
    if (fault_ != MovieFault::None || slots_[encode_].state != Slot::State::Taken) return;
    Slot& slot = slots_[encode_];
    if (slot.isSound) {
      slot.state = Slot::State::Encoded;
      encode_ = after(encode_);
      wake_.notify_all();
      continue;
    }
    lock.unlock();
    MovieFault fault = MovieFault::None;
    try {
      encodeSlot(slot);
      if (slot.chunk.empty() && !slot.unchanged) fault = MovieFault::Encoder;
    } catch (const std::bad_alloc&) {
      fault = MovieFault::Memory;
    } catch (const std::exception&) {
      fault = MovieFault::Encoder;
    }
    lock.lock();
    if (fault != MovieFault::None) {
      // The slot stays taken: the frame never reaches the file, and the
      // close counts it out.
      fault_ = fault;
      wake_.notify_all();
      return;
    }
    slot.state = Slot::State::Encoded;
    encode_ = after(encode_);
    wake_.notify_all();
  }
}

void Movie::writerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || (!failed_ && slots_[write_].state == Slot::State::Encoded); });
    if (failed_ || slots_[write_].state != Slot::State::Encoded) return;
    Slot& slot = slots_[write_];
    lock.unlock();
    bool ok = false, memory = false;
    try {
      ok = write(slot);
    } catch (const std::exception&) {
      // The writer's containers throw nothing but std::bad_alloc.
      memory = true;
    }
    lock.lock();
    if (memory) {
      fault_ = MovieFault::Memory;
      wake_.notify_all();
      return;
    }
    if (ok) {
      slot.state = Slot::State::Free;
      write_ = after(write_);
    } else {
      failed_ = true;
      refused();
    }
    wake_.notify_all();
  }
}

}  // namespace ks
