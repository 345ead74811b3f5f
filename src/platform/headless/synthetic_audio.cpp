#include "platform/headless/synthetic_audio.h"

#include <algorithm>
#include <cmath>

namespace ks {

std::int64_t syntheticFrameOf(std::int16_t left, std::int16_t right) {
  const std::int64_t n = (static_cast<std::int64_t>(right) << 15) | left;
  return n - 1;
}

class SyntheticAudioDevices::Source final : public AudioSource {
 public:
  Source(SyntheticAudioDevices& devices, SyntheticSound sound) : devices_(devices), sound_(std::move(sound)) {}
  ~Source() override { halt(); }

  std::string name() const override { return sound_.name; }
  bool start(SoundSink& sink, std::string& reason) override {
    if (!sound_.refusal.empty()) {
      reason = sound_.refusal;
      return false;
    }
    sink_ = &sink;
    started_ = devices_.clock_.now();
    devices_.running_.push_back(this);
    // A packet's samples: made here, so that delivering allocates nothing.
    samples_.resize(static_cast<std::size_t>(2 * std::llround(sound_.packetSeconds * kSoundRate)));
    return true;
  }
  void stop() override {
    ++devices_.stopCalls;
    halt();
  }
  void halt() {
    auto& running = devices_.running_;
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    sink_ = nullptr;
  }

  // Every packet whose delivery time has come.
  void pump(double now) {
    const double rate = kSoundRate * (1 + sound_.ppm * 1e-6);
    const auto perPacket = static_cast<std::int64_t>(std::llround(sound_.packetSeconds * kSoundRate));
    while (sink_) {
      const double first = started_ + sound_.firstSampleAfter + static_cast<double>(next_) / rate;
      const double last = first + static_cast<double>(perPacket) / rate;
      if (sound_.lostAfter && last + sound_.latency > started_ + *sound_.lostAfter) {
        if (now < started_ + *sound_.lostAfter) return;
        SoundSink* sink = sink_;
        halt();
        sink->lost(started_ + *sound_.lostAfter, "the device was removed");
        return;
      }
      if (last + sound_.latency > now) return;
      const double since = first - started_;
      const bool inGap = std::any_of(sound_.gaps.begin(), sound_.gaps.end(),
                                     [since](const auto& g) { return since >= g.first && since < g.second; });
      if (!inGap) {
        samples_.resize(static_cast<std::size_t>(2 * perPacket));
        for (std::int64_t i = 0; i < perPacket; ++i)
          for (int c = 0; c < 2; ++c) samples_[static_cast<std::size_t>(2 * i + c)] = value(next_ + i, c);
        sink_->packet({first, samples_.data(), static_cast<std::uint32_t>(perPacket)});
      }
      next_ += perPacket;
    }
  }

 private:
  std::int16_t value(std::int64_t k, int c) const {
    if (sound_.wave) return sound_.wave(k, c);
    const std::int64_t n = k + 1;
    return static_cast<std::int16_t>(c == 0 ? n & 0x7FFF : (n >> 15) & 0x7FFF);
  }

  SyntheticAudioDevices& devices_;
  SyntheticSound sound_;
  SoundSink* sink_ = nullptr;
  double started_ = 0;
  std::int64_t next_ = 0;
  std::vector<std::int16_t> samples_;
};

std::vector<std::string> SyntheticAudioDevices::inputNames() {
  std::vector<std::string> names;
  for (const SyntheticSound& s : inputs) names.push_back(s.name);
  return names;
}

bool SyntheticAudioDevices::probeSystemSound(std::string& reason) {
  reason = system.name.empty() ? "there is no output device" : system.refusal;
  return reason.empty();
}

bool SyntheticAudioDevices::probeInput(const std::string& name, std::string& reason) {
  for (const SyntheticSound& s : inputs)
    if (s.name == name) {
      reason = s.refusal;
      return reason.empty();
    }
  reason = "the device is not connected";
  return false;
}

std::unique_ptr<AudioSource> SyntheticAudioDevices::systemSound() {
  if (system.name.empty()) return nullptr;
  return std::make_unique<Source>(*this, system);
}

std::unique_ptr<AudioSource> SyntheticAudioDevices::input(const std::string& name) {
  for (const SyntheticSound& s : inputs)
    if (s.name == name) return std::make_unique<Source>(*this, s);
  return nullptr;
}

void SyntheticAudioDevices::pump() {
  const double now = clock_.now();
  // A source may stop (and leave the list) while it delivers. The copy keeps
  // its capacity: after the first pump, a pump allocates nothing itself
  // (what a sink does with the packets aside).
  delivering_ = running_;
  for (Source* s : delivering_)
    if (std::find(running_.begin(), running_.end(), s) != running_.end()) s->pump(now);
}

}  // namespace ks
