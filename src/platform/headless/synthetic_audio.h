// Sound sources for tests: samples made up on the clock a test drives, from
// a device whose clock may run fast or slow, that may start late, fall
// silent for a while, deliver late or go away.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_source.h"
#include "platform/clock.h"

namespace ks {

struct SyntheticSound {
  std::string name;
  // The device's clock runs this many parts per million fast (+) or slow.
  double ppm = 0;
  // Its first sample is captured this long after start().
  double firstSampleAfter = 0;
  double packetSeconds = 0.01;
  // Packets reach the sink this long after their last sample.
  double latency = 0;
  // Clock spans (seconds since start()) in which no packet comes: the
  // samples of such a span are never delivered.
  std::vector<std::pair<double, double>> gaps;
  // The device goes away this long after start().
  std::optional<double> lostAfter;
  // start() fails with this reason when not empty; probes too.
  std::string refusal;
  // Sample value of device frame k (from 0) on channel c; by default frame
  // k carries its own number k + 1, the low 15 bits left and the next 15
  // right, so that a test can tell where each sample landed.
  std::function<std::int16_t(std::int64_t k, int c)> wave;
};

// The device frame number carried by a sample frame of the default wave;
// -1 for silence.
std::int64_t syntheticFrameOf(std::int16_t left, std::int16_t right);

class SyntheticAudioDevices final : public AudioDevices {
 public:
  explicit SyntheticAudioDevices(const Clock& clock) : clock_(clock) {}

  // What systemSound() and input(name) give; a system sound without a
  // name is absent.
  SyntheticSound system;
  std::vector<SyntheticSound> inputs;

  std::vector<std::string> inputNames() override;
  bool probeSystemSound(std::string& reason) override;
  bool probeInput(const std::string& name, std::string& reason) override;
  std::unique_ptr<AudioSource> systemSound() override;
  std::unique_ptr<AudioSource> input(const std::string& name) override;

  // Delivers, on the caller's thread, what every running source has
  // captured by the clock's time.
  void pump();
  // Calls of a source's stop(), the one a recording makes included.
  int stopCalls = 0;

  class Source;

 private:
  const Clock& clock_;
  std::vector<Source*> running_;
  std::vector<Source*> delivering_;  // pump()'s copy of running_
};

}  // namespace ks
