// The movie the recorder writes into: one open movie at a time, its stream
// description and the position of the next frame.
//
// Frames are written behind the caller: WriteFrame copies the picture and
// hands it to a writing thread, so the next grab runs while the disk takes
// the previous frame. A write that failed is found by the next WriteFrame,
// which repeats that frame before it takes a new one; until it goes through,
// WriteFrame returns false and takes nothing. Frames reach the file in the
// order they were given, each exactly once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/avi_format.h"
#include "media/avi_writer.h"

namespace ks {

class Movie {
 public:
  explicit Movie(AviWriterOptions options = {});
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;
  ~Movie();

  // Starts a movie of `frameFormat` frames at `rate` frames per second in a
  // sink the caller created (null fails).
  [[nodiscard]] bool OpenMovie(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, int rate);
  // Takes the picture at pBits, frameFormat.biSizeImage bytes, as the next
  // frame; the caller may reuse its buffer at once. False when the size is
  // not the one opened, or when an earlier frame still cannot be written
  // (the disk is full): nothing was taken, and FrameNumber stays, so a
  // repeated call tries again.
  [[nodiscard]] bool WriteFrame(const void* pBits, const BitmapInfoHeader& frameFormat);
  // Waits for the frame in flight and repeats a refused one once more. True
  // when every frame taken is in the file; a caller retries while the disk
  // is full, with the same limit as any other write.
  [[nodiscard]] bool Flush();
  // Waits for the frame in flight, then writes the indexes. A frame that
  // could not be written is left out, and FrameNumber then counts only the
  // frames the file holds.
  void CloseMovie();

  bool IsOpen() const { return writer_.isOpen(); }
  const AviStreamInfo& StreamInfo() const { return streamInfo_; }
  // Frames taken since the open.
  std::int32_t FrameNumber() const { return frameNumber_; }

 private:
  using Frame = std::vector<std::uint8_t>;

  bool opened(const BitmapInfoHeader& frameFormat);
  void startWorker();
  void stopWorker();
  // Waits until the writing thread holds no frame.
  void waitIdle();
  // Writes `frame` now, on the calling thread; true when it went through.
  bool writeNow(const Frame& frame);
  void workerLoop();

  AviStreamInfo streamInfo_{};
  std::int32_t frameNumber_ = 0;
  std::uint32_t frameBytes_ = 0;
  AviWriter writer_;  // the writing thread's while a frame is in flight

  // Two buffers: the writing thread reads one while the next picture is
  // copied into the other.
  Frame buffers_[2];
  int next_ = 0;               // the buffer the next picture goes into
  Frame* inFlight_ = nullptr;  // handed to the writing thread, not yet done
  Frame* failed_ = nullptr;    // came back refused; waits to be repeated
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread worker_;
};

}  // namespace ks
