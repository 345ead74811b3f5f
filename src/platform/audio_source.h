// Sound sources: the system's sound (what the speakers play) and capture
// devices such as microphones. A running source delivers timestamped packets
// of 48 kHz 16-bit stereo PCM on a thread of its own; placing them on the
// recording's clock, mixing and following a drifting device clock are the
// media layer's work.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ks {

// The one format every source delivers, converting when its device has
// another.
inline constexpr std::uint32_t kSoundRate = 48000;
inline constexpr std::uint16_t kSoundChannels = 2;
inline constexpr std::uint16_t kSoundBits = 16;

struct SoundPacket {
  // When the first sample frame was captured, in the seconds of the Clock
  // the recording runs on.
  double time = 0;
  // `frames` sample frames, left and right interleaved; null when the device
  // reported silence for the span.
  const std::int16_t* samples = nullptr;
  std::uint32_t frames = 0;
};

// Where a running source delivers; called on the source's thread.
class SoundSink {
 public:
  virtual ~SoundSink() = default;
  virtual void packet(const SoundPacket& packet) = 0;
  // The device went away (unplugged, disabled); no packet follows. `time`
  // is the Clock's time of the loss.
  virtual void lost(double time, const std::string& reason) = 0;
};

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // The name the user knows the source by.
  virtual std::string name() const = 0;
  // Opens the device and starts capturing. False, with a reason the user
  // can read, when it cannot be opened; nothing reaches the sink then.
  [[nodiscard]] virtual bool start(SoundSink& sink, std::string& reason) = 0;
  // Stops capturing; once it returns, the sink hears nothing more.
  virtual void stop() = 0;
};

class AudioDevices {
 public:
  virtual ~AudioDevices() = default;
  // The active capture devices' friendly names, in the system's order.
  virtual std::vector<std::string> inputNames() = 0;
  // Whether the source can be opened now, and why not (for the menu, which
  // probes when it opens).
  virtual bool probeSystemSound(std::string& reason) = 0;
  virtual bool probeInput(const std::string& name, std::string& reason) = 0;
  // The default output device's sound, and the capture device of that
  // friendly name (null when no active device has it).
  virtual std::unique_ptr<AudioSource> systemSound() = 0;
  virtual std::unique_ptr<AudioSource> input(const std::string& name) = 0;
};

}  // namespace ks
