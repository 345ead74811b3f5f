#include "media/movie.h"

#include <cstring>
#include <exception>

namespace ks {

Movie::Movie(AviWriterOptions options) : writer_(std::move(options)) {}

Movie::~Movie() { CloseMovie(); }

bool Movie::OpenMovie(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, int rate) {
  CloseMovie();
  if (rate <= 0 || !sink) return false;
  if (!writer_.open(std::move(sink), frameFormat, static_cast<std::uint32_t>(rate))) return false;
  return opened(frameFormat);
}

bool Movie::opened(const BitmapInfoHeader& frameFormat) {
  streamInfo_ = writer_.streamInfo();
  frameNumber_ = 0;
  frameBytes_ = frameFormat.biSizeImage;
  try {
    for (Frame& buffer : buffers_) buffer.resize(frameFormat.biSizeImage);
    startWorker();
  } catch (const std::exception&) {
    // No memory for the buffers or no thread: the movie cannot be recorded.
    static_cast<void>(writer_.close());
    return false;
  }
  return true;
}

bool Movie::WriteFrame(const void* pBits, const BitmapInfoHeader& frameFormat) {
  // Every frame of an uncompressed stream has the size of the format opened.
  if (!writer_.isOpen() || !pBits || frameFormat.biSizeImage != frameBytes_) return false;
  waitIdle();
  if (failed_) {
    if (!writeNow(*failed_)) return false;
    failed_ = nullptr;
  }
  Frame& buffer = buffers_[next_];
  next_ = 1 - next_;
  std::memcpy(buffer.data(), pBits, frameFormat.biSizeImage);
  {
    std::lock_guard lock(mutex_);
    inFlight_ = &buffer;
  }
  wake_.notify_all();
  ++frameNumber_;
  return true;
}

bool Movie::Flush() {
  if (!writer_.isOpen()) return false;
  waitIdle();
  if (failed_ && !writeNow(*failed_)) return false;
  failed_ = nullptr;
  return true;
}

void Movie::CloseMovie() {
  if (!writer_.isOpen()) return;
  waitIdle();
  stopWorker();
  // One last try for a refused frame; the file is whole without it, and
  // the count follows the file.
  if (failed_ && !writeNow(*failed_)) --frameNumber_;
  failed_ = nullptr;
  // The file is valid with every frame written, however the close went.
  static_cast<void>(writer_.close());
  for (Frame& buffer : buffers_) Frame().swap(buffer);
}

bool Movie::writeNow(const Frame& frame) {
  return writer_.writeFrame(frame.data(), static_cast<std::uint32_t>(frame.size()));
}

void Movie::waitIdle() {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return inFlight_ == nullptr; });
}

void Movie::startWorker() {
  if (worker_.joinable()) return;
  quit_ = false;
  worker_ = std::thread([this] { workerLoop(); });
}

void Movie::stopWorker() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

void Movie::workerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || inFlight_ != nullptr; });
    if (inFlight_) {
      Frame* frame = inFlight_;
      lock.unlock();
      const bool ok = writeNow(*frame);
      lock.lock();
      if (!ok) failed_ = frame;
      inFlight_ = nullptr;
      wake_.notify_all();
      continue;
    }
    if (quit_) return;
  }
}

}  // namespace ks
