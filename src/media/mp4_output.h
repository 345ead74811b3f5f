// MP4 movies (H.264, AAC) made by the user's ffmpeg while we record.
//
// The pictures, converted to yuv420p on the movie's encoder thread, and the
// sound go to ffmpeg through two named pipes, each with a writer thread of
// its own behind a bounded queue: a slow or stuck ffmpeg never holds up the
// caller, and one pipe never waits for the other. When the picture queue is
// full, the frame is written as a copy of the one before it, so the movie
// keeps its length on the clock as when grabbing falls behind. ffmpeg writes
// fragmented MP4, so whatever happens to either program the file plays up
// to its last fragment; the close makes it an ordinary MP4 with its index
// in front by a copy that codes nothing again, and keeps the fragmented one
// when that copy fails.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/ffmpeg_command.h"
#include "media/movie_output.h"
#include "platform/movie_files.h"
#include "platform/programs.h"

namespace ks {

struct Mp4Request {
  std::string ffmpeg;  // its full path
  FfmpegVersion version;
  std::string encoder = kSoftwareEncoder;
  std::string path;  // the movie
  std::int32_t width = 0, height = 0;  // of the grabbed pictures
  std::uint32_t rate = 30;
  bool sound = false;
  // Make the ordinary MP4 at the close; a calibration's movie, which goes
  // anyway, stays fragmented.
  bool finish = true;
};

// How long each wait on ffmpeg may take, and how much waits for it.
struct Mp4Limits {
  double start = 30;     // from starting it to its opening the picture pipe
  double stalled = 15;   // a pipe that takes nothing for this long: ffmpeg is stuck
  double ending = 30;    // from the end of our pipes to its exit
  double finishing = 60;          // the final copy, plus one second for each
  double finishingBytesPerSecond = 20e6;  // this many bytes of the movie
  std::size_t pictureQueue = 0;  // frames; 0 sizes it by memory
};

class Mp4Output final : public MovieOutput {
 public:
  // Starts ffmpeg for the movie and waits until it opens the picture pipe.
  // Null, with the reason in `failure`, when it does not.
  static std::unique_ptr<Mp4Output> open(Programs& programs, MovieFiles& files, const Mp4Request& request,
                                         OutputFailure& failure, const Mp4Limits& limits = {});
  ~Mp4Output() override;

  std::unique_ptr<FrameEncoder> makeEncoder(const BitmapInfoHeader& frameFormat) override;
  bool writeFrame(std::int32_t index, std::span<const std::uint8_t> bytes, bool keyFrame) override;
  bool writeSound(const std::int16_t* samples, std::uint32_t frames) override;
  bool checkpoint() override { return !broken(); }
  bool close() override;
  bool hasSound() const override { return request_.sound; }
  AviStreamInfo streamInfo() const override;
  bool broken() const override { return broken_; }
  OutputFailure failure() const override;
  std::int64_t framesRepeated() const override;

  // The picture queue's length in frames.
  std::size_t pictureQueue() const { return pictureLimit_; }

 private:
  struct Picture {
    std::vector<std::uint8_t> bytes;  // empty: the picture written last
    std::int64_t times = 1;           // written this often: the copies behind it
  };

  Mp4Output(Programs& programs, MovieFiles& files, const Mp4Request& request, const Mp4Limits& limits);
  bool start(OutputFailure& failure);
  void pictureLoop();
  void soundLoop();
  // A pipe failed with `result`: the output breaks, and says why.
  void pipeFailed(PipeResult result, const char* what);
  void fail(OutputFailure failure);
  // Waits for ffmpeg's end; what went wrong when it did not end well.
  bool awaitExit();
  bool finishMovie();
  bool diskFull() const;

  Programs& programs_;
  MovieFiles& files_;
  Mp4Request request_;
  Mp4Limits limits_;
  std::size_t pictureBytes_ = 0;
  std::size_t pictureLimit_ = 1;
  std::size_t soundLimit_ = 0;  // samples

  std::unique_ptr<ProgramPipe> picturePipe_, soundPipe_;
  std::unique_ptr<RunningProgram> ffmpeg_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Picture> pictures_;
  std::vector<std::vector<std::uint8_t>> spare_;  // buffers of pictures written
  std::vector<std::uint8_t> last_;                // the picture written last (the writer's)
  std::deque<std::int16_t> sound_;
  bool closing_ = false;
  std::int64_t repeated_ = 0;
  OutputFailure failure_;
  std::atomic<bool> broken_{false};
  std::thread pictureThread_, soundThread_;
};

}  // namespace ks
