// One sound track from one or more sources, on the recording's clock.
//
// Sample frame k of the track belongs to recorded time k / kSoundRate, where
// recorded time starts at the first frame's due time and stands still while
// the recording is paused. Each source is a lane: its packets are placed by
// their timestamps, so a gap (a device that sends nothing while nothing
// plays, a late first packet, a lost device) stays silent, and what was
// captured before the start or during a pause is dropped. A device whose
// clock runs fast or slow is followed by dropping or repeating single
// samples, which keeps every sample within about half a millisecond of its
// timestamp. Steering follows the lane's offset averaged over a few packets,
// so timestamps that jitter by some milliseconds (Wine's do, by about a
// packet) move nothing back and forth. The lanes are summed with
// saturation.
//
// Packets arrive on the sources' threads; the recording's thread takes the
// mixed samples. Both go through one lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_source.h"

namespace ks {

class SoundTrack {
 public:
  // A lane's samples that land this far from where its earlier ones put it
  // are placed anew by their timestamp instead of being steered there.
  static constexpr std::int64_t kResyncFrames = kSoundRate / 40;  // 25 ms
  // Steering starts once a lane is this far off its timestamps.
  static constexpr std::int64_t kSteerFrames = kSoundRate / 2000;  // 0.5 ms
  // Packets further ahead of what was taken than this are not kept.
  static constexpr std::int64_t kMaxAheadFrames = 10 * std::int64_t{kSoundRate};

  // A lane for one more source; its number.
  int addLane();

  // The recording's first frame is due at `start` (Clock seconds). Packets
  // before this call are dropped.
  void begin(double start);
  void pause(double at);
  void resume(double at);
  // Recorded seconds at Clock time t (a paused span counts as its start);
  // 0 before begin().
  double recorded(double t) const;

  // From lane `lane`'s source thread.
  void add(int lane, const SoundPacket& packet);

  // Appends to `out` (interleaved left, right) the mixed sample frames up to
  // frame `end` of the track, silence where no lane has any; returns how
  // many. Packets for what was taken come too late and are dropped.
  std::size_t take(std::int64_t end, std::vector<std::int16_t>& out);
  // Sample frames taken so far.
  std::int64_t taken() const;

 private:
  struct Lane {
    bool placed = false;     // its next sample's position is known
    std::int64_t next = 0;   // track frame where its next sample goes
    double offset = 0;       // how late its samples land, averaged (frames)
  };
  struct Span {
    double from, to;  // Clock seconds
  };

  double recordedLocked(double t) const;
  bool pausedAt(double t) const;
  void place(Lane& lane, const std::int16_t* samples, std::uint32_t frames, double time);
  void put(std::int64_t at, const std::int16_t* samples, std::uint32_t frames);

  mutable std::mutex mutex_;
  std::vector<Lane> lanes_;
  bool begun_ = false;
  double start_ = 0;
  std::vector<Span> pauses_;
  bool paused_ = false;
  double pausedAt_ = 0;
  std::int64_t base_ = 0;          // frames taken
  // Two values per frame; frame base_ at index front_, what lies before it
  // was taken.
  std::vector<std::int32_t> mix_;
  std::size_t front_ = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> cuts_;  // add()'s scratch
};

}  // namespace ks
