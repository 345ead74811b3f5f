// The Windows sound sources, through WASAPI in shared mode: the loopback of
// the default output device (what the speakers play) and the active capture
// devices. Each running source captures on a thread of its own, polling the
// device every few milliseconds, and converts to 48 kHz 16-bit stereo where
// the device's mix format differs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/audio_source.h"
#include "platform/clock.h"

namespace ks {

class WasapiAudioDevices final : public AudioDevices {
 public:
  // Packet times are in `clock`'s seconds; it must outlive the sources.
  explicit WasapiAudioDevices(const Clock& clock) : clock_(clock) {}

  std::vector<std::string> inputNames() override;
  bool probeSystemSound(std::string& reason) override;
  bool probeInput(const std::string& name, std::string& reason) override;
  std::unique_ptr<AudioSource> systemSound() override;
  std::unique_ptr<AudioSource> input(const std::string& name) override;

 private:
  const Clock& clock_;
};

}  // namespace ks
