// The sound of one recording: the sources the user chose, running from
// Record to the end of the run, and the one track their packets make.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/sound_track.h"
#include "platform/audio_source.h"

namespace ks {

// A source that went away while the recording ran.
struct SoundLoss {
  std::string source;      // its name
  double at = 0;           // recorded seconds when it went
  std::string reason;
};

class SoundCapture {
 public:
  SoundCapture();
  SoundCapture(const SoundCapture&) = delete;
  SoundCapture& operator=(const SoundCapture&) = delete;
  // Stops every source.
  ~SoundCapture();

  // Starts `source` into a lane of its own. False, with the reason, when it
  // cannot be opened; it is dropped then.
  [[nodiscard]] bool add(std::unique_ptr<AudioSource> source, std::string& reason);
  bool empty() const { return sources_.empty(); }

  // Sample 0 lies at `start`, the first frame's due time (Clock seconds).
  void begin(double start) { track_.begin(start); }
  void pause(double at) { track_.pause(at); }
  void resume(double at) { track_.resume(at); }

  // The mixed samples from what was taken up to `end` sample frames of the
  // track; appended to `out`, their count returned.
  std::size_t take(std::int64_t end, std::vector<std::int16_t>& out) { return track_.take(end, out); }
  std::int64_t taken() const { return track_.taken(); }
  double recorded(double t) const { return track_.recorded(t); }

  // Stops the sources, once: nothing more reaches the track.
  void stop();
  std::vector<SoundLoss> losses() const;
  // A packet found no memory on its source's thread: the recording cannot
  // keep its sound.
  bool outOfMemory() const { return outOfMemory_; }

 private:
  class Lane;

  SoundTrack track_;
  std::vector<std::unique_ptr<Lane>> lanes_;
  std::vector<std::unique_ptr<AudioSource>> sources_;
  bool stopped_ = false;
  std::atomic<bool> outOfMemory_{false};
  mutable std::mutex lossMutex_;
  std::vector<SoundLoss> losses_;
};

}  // namespace ks
