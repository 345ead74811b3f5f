#include "recorder/sound_capture.h"

#include <algorithm>
#include <new>
#include <utility>

namespace ks {

class SoundCapture::Lane final : public SoundSink {
 public:
  Lane(SoundCapture& owner, int lane, std::string name) : owner_(owner), lane_(lane), name_(std::move(name)) {}

  // On the source's thread, where nothing may escape: a packet the track has
  // no memory for is dropped, and the recording hears of it.
  void packet(const SoundPacket& packet) override {
    try {
      owner_.track_.add(lane_, packet);
    } catch (const std::bad_alloc&) {
      owner_.outOfMemory_ = true;
    }
  }
  void lost(double time, const std::string& reason) override {
    const double at = std::max(0.0, owner_.track_.recorded(time));
    std::lock_guard lock(owner_.lossMutex_);
    owner_.losses_.push_back({name_, at, reason});
  }

 private:
  SoundCapture& owner_;
  int lane_;
  std::string name_;
};

SoundCapture::SoundCapture() = default;
SoundCapture::~SoundCapture() { stop(); }

bool SoundCapture::add(std::unique_ptr<AudioSource> source, std::string& reason) {
  if (!source) return false;
  auto lane = std::make_unique<Lane>(*this, track_.addLane(), source->name());
  if (!source->start(*lane, reason)) return false;
  lanes_.push_back(std::move(lane));
  sources_.push_back(std::move(source));
  return true;
}

void SoundCapture::stop() {
  // The engine stops the sound when its recording ends, the session after a
  // calibration that recorded nothing, the destructor in any case: the
  // sources once.
  if (stopped_) return;
  stopped_ = true;
  for (auto& source : sources_) source->stop();
}

std::vector<SoundLoss> SoundCapture::losses() const {
  std::lock_guard lock(lossMutex_);
  return losses_;
}

}  // namespace ks
