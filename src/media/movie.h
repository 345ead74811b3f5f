// The movie the recorder writes into: one open movie at a time, its stream
// description and the position of the next frame.
//
// Frames go through a pipeline behind the caller: WriteFrame copies the
// picture into a free slot and returns; a compressed movie's encoder thread
// compresses the slots in order, and a writing thread puts them into the
// file in order. The caller waits only when every slot is busy: a full
// pipeline holds it back as a slow disk would. A write that failed is found
// by the next WriteFrame, which repeats that frame before it takes a new
// one; until it goes through, WriteFrame returns false and takes nothing.
// Frames reach the file in the order they were given, each exactly once.
// A frame the encoder cannot make, or memory that runs out on either
// thread, ends the movie for good: Fault() then says which, and the file
// keeps the frames before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/avi_format.h"
#include "media/avi_writer.h"
#include "media/frame_encoder.h"
#include "media/movie_format.h"
#include "media/movie_output.h"

namespace ks {

// What ended a movie before its close; a disk that refuses a write is not
// one of them, since the write is repeated.
enum class MovieFault {
  None,
  Encoder,  // a frame could not be compressed
  Memory,   // memory ran out in the pipeline
  Output,   // the output cannot take anything more (it is broken())
};

class Movie {
 public:
  explicit Movie(AviWriterOptions options = {});
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;
  ~Movie();

  // Starts a movie of `frameFormat` pictures (24-bit, as grabbed) at `rate`
  // frames per second in a sink the caller created (null fails).
  // With `sound`, an AVI has a second stream: 48 kHz 16-bit stereo PCM; a
  // GIF has no sound, and HasSound() says so.
  [[nodiscard]] bool OpenMovie(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, int rate,
                               MovieFormat format = MovieFormat::Uncompressed, bool sound = false);
  // The same for an output opened already, for `frameFormat` pictures at
  // `rate` a second; its hasSound() says whether the movie takes sound.
  [[nodiscard]] bool OpenMovie(std::unique_ptr<MovieOutput> output, const BitmapInfoHeader& frameFormat, int rate);
  // Takes the picture at pBits, frameFormat.biSizeImage bytes, as the next
  // frame; the caller may reuse its buffer at once. False when the size is
  // not the one opened, or when an earlier frame still cannot be written
  // (the disk is full): nothing was taken, and FrameNumber stays, so a
  // repeated call tries again.
  [[nodiscard]] bool WriteFrame(const void* pBits, const BitmapInfoHeader& frameFormat);
  // Takes `frames` sample frames (left, right) of a movie opened with sound
  // as its next sound chunk, in order with the pictures; the same as
  // WriteFrame otherwise.
  [[nodiscard]] bool WriteSound(const std::int16_t* samples, std::uint32_t frames);
  // Waits until every frame taken is in the file, repeating a refused one
  // once more. False when one still cannot be written; a caller retries
  // while the disk is full, with the same limit as any other write.
  [[nodiscard]] bool Flush();
  // Brings the file's headers up to date with every frame taken, once the
  // pipeline has written them: for a caller with no frames to give for a
  // while (a pause), so a file cut off meanwhile keeps them all. False when
  // the file would not take it.
  [[nodiscard]] bool Checkpoint();
  // Waits for the frames in the pipeline, then writes the indexes. Frames
  // that could not be written are left out, and FrameNumber then counts
  // only the frames the file holds. False when the indexes or the final
  // headers could not be written: the file plays with the frames it holds,
  // without an index where it has none.
  bool CloseMovie();

  // Set once the movie cannot go on; WriteFrame and Flush then fail at once.
  MovieFault Fault() const;
  // Why writing the file failed first, a picture of another size included:
  // of the open movie, or of the last one after its close.
  WriteFault WriteProblem() const { return writeFaults_->first(); }

  // Where the first write failure's cause is kept, from any thread.
  class WriteFaults {
   public:
    void keep(WriteFault fault);
    WriteFault first() const;

   private:
    mutable std::mutex mutex_;
    WriteFault first_;
  };

  // Compressed movies get their encoder from here instead of making their
  // own: tests give encoders that fail.
  using EncoderFactory = std::function<std::unique_ptr<FrameEncoder>(const BitmapInfoHeader&, std::uint32_t rate)>;
  void setEncoderFactory(EncoderFactory factory) { encoderFactory_ = std::move(factory); }

  bool IsOpen() const { return output_ != nullptr; }
  const AviStreamInfo& StreamInfo() const { return streamInfo_; }
  // Why the output broke or could not finish, and the frames it wrote as
  // copies: of the open movie, or of the last one after its close.
  OutputFailure OutputProblem() const;
  std::int64_t FramesRepeated() const;
  // Frames taken since the open.
  std::int32_t FrameNumber() const { return frameNumber_; }
  bool HasSound() const { return sound_; }
  // Sample frames taken since the open.
  std::int64_t SoundFrames() const { return soundFrames_; }

 private:
  struct Slot {
    enum class State { Free, Taken, Encoded };
    std::vector<std::uint8_t> picture;  // the picture as taken
    std::vector<std::uint8_t> chunk;    // a compressed movie's frame
    std::vector<std::int16_t> sound;    // a sound chunk's samples, when `isSound`
    std::int32_t index = 0;             // the picture's number in the movie
    bool isSound = false;
    bool unchanged = false;             // a picture that adds nothing to the frame before
    bool keyFrame = true;
    State state = State::Free;
  };

  std::size_t after(std::size_t slot) const { return (slot + 1) % slots_.size(); }
  bool drained() const;
  // Whether frames go through the encoder thread.
  bool encoded() const { return encoder_ != nullptr; }
  // Waits for the slot at fill_ to be free; false when the movie cannot
  // take anything now.
  bool waitForSlot(std::unique_lock<std::mutex>& lock);
  // The refused frame, written again on the caller's thread while the
  // writing thread waits; false when it is refused again.
  bool repeatFailed(std::unique_lock<std::mutex>& lock);
  bool write(const Slot& slot);
  void encodeSlot(Slot& slot);
  void encoderLoop();
  void writerLoop();
  void stopThreads();
  // The fault of a write that was refused: a broken output ends the movie.
  void refused();

  AviWriterOptions options_;
  AviStreamInfo streamInfo_{};
  OutputFailure closedFailure_;  // of the movie closed last
  std::shared_ptr<WriteFaults> writeFaults_ = std::make_shared<WriteFaults>();
  std::int64_t closedRepeated_ = 0;
  std::int32_t frameNumber_ = 0;
  std::uint32_t frameBytes_ = 0;
  bool sound_ = false;
  std::int64_t soundFrames_ = 0;
  // The writing thread's, except while the pipeline is idle or stopped.
  std::unique_ptr<MovieOutput> output_;
  EncoderFactory encoderFactory_;
  std::unique_ptr<FrameEncoder> encoder_;  // the encoder thread's

  std::vector<Slot> slots_;
  std::size_t fill_ = 0;    // where the caller puts the next picture
  std::size_t encode_ = 0;  // what the encoder takes next
  std::size_t write_ = 0;   // what the writing thread takes next
  bool failed_ = false;     // slots_[write_] was refused and waits to be repeated
  MovieFault fault_ = MovieFault::None;
  bool quit_ = false;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread encoderThread_;
  std::thread writerThread_;
};

}  // namespace ks
