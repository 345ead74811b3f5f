// Where a movie's frames and sound go once the pipeline has them: a file of
// one format, or a program that makes the movie. One output per movie; the
// movie's writing thread is the only one to call it, except while the
// pipeline is idle.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/avi_format.h"
#include "media/frame_encoder.h"

namespace ks {

// Why an output stopped taking the movie, or could not finish it, for the
// message its user sees.
struct OutputFailure {
  enum class Kind {
    None,
    ProgramFailed,  // the program that makes the movie ended or refused it
    ProgramStuck,   // it stopped reading what we send, and was ended
    DiskFull,       // the disk it writes to is full
    NotFinished,    // the last step failed: the movie plays as it was recorded
  };
  Kind kind = Kind::None;
  std::string detail;                  // what went wrong, in a few words
  std::vector<std::string> lastLines;  // what the program said last
};

class MovieOutput {
 public:
  virtual ~MovieOutput() = default;

  // What makes its frames from the grabbed pictures (24-bit, bottom-up, of
  // `frameFormat`), on the movie's encoder thread; null when the pictures go
  // in as grabbed.
  virtual std::unique_ptr<FrameEncoder> makeEncoder(const BitmapInfoHeader& frameFormat) = 0;
  // Frame `index` (0, 1, ...): the encoder's bytes, empty for a picture
  // that adds nothing, or the picture itself. On false nothing has changed,
  // and the same call may be repeated, unless broken().
  [[nodiscard]] virtual bool writeFrame(std::int32_t index, std::span<const std::uint8_t> bytes, bool keyFrame) = 0;
  // The next sound chunk: `frames` sample frames of 48 kHz 16-bit stereo.
  // The same contract as writeFrame.
  [[nodiscard]] virtual bool writeSound(const std::int16_t* samples, std::uint32_t frames) = 0;
  // Brings what a player reads of the movie up to date with the frames
  // written, for a pause with nothing to write.
  [[nodiscard]] virtual bool checkpoint() = 0;
  // Ends the movie. True when all of it could be finished; the movie plays
  // with the frames written even when it could not.
  [[nodiscard]] virtual bool close() = 0;

  virtual bool hasSound() const = 0;
  // Its rate as a stream header states it.
  virtual AviStreamInfo streamInfo() const = 0;
  // Set once it cannot take anything more: a repeated write fails too.
  virtual bool broken() const { return false; }
  // Why it broke, or why its close failed.
  virtual OutputFailure failure() const { return {}; }
  // Frames it could not take in time, which it wrote as copies of the frame
  // before: the movie keeps its length, and loses these pictures only.
  virtual std::int64_t framesRepeated() const { return 0; }
};

}  // namespace ks
