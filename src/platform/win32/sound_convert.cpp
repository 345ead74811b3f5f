#include "platform/win32/sound_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ks::win32 {
namespace {

constexpr std::uint32_t kOutRate = 48000;

// Speaker bits of WAVEFORMATEXTENSIBLE.dwChannelMask.
constexpr std::uint32_t kLeftSpeakers = 0x1 | 0x10 | 0x40 | 0x200 | 0x1000 | 0x8000;
constexpr std::uint32_t kRightSpeakers = 0x2 | 0x20 | 0x80 | 0x400 | 0x4000 | 0x20000;
constexpr std::uint32_t kCentreSpeakers = 0x4 | 0x100 | 0x800 | 0x2000 | 0x10000;

std::int16_t toInt16(float v) {
  const float scaled = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
  return static_cast<std::int16_t>(std::lround(scaled));
}

}  // namespace

bool convertible(const SampleLayout& layout) {
  if (layout.rate == 0 || layout.channels == 0) return false;
  if (layout.isFloat) return layout.containerBytes == 4 || layout.containerBytes == 8;
  return layout.containerBytes >= 1 && layout.containerBytes <= 4;
}

SoundConverter::SoundConverter(const SampleLayout& layout) : layout_(layout) {
  passthrough_ = layout.rate == kOutRate && layout.channels == 2 && layout.containerBytes == 2 && !layout.isFloat;
  step_ = static_cast<double>(layout.rate) / kOutRate;
  leftGain_.assign(layout.channels, 0.0f);
  rightGain_.assign(layout.channels, 0.0f);
  if (layout.channels == 1) {
    leftGain_[0] = rightGain_[0] = 1.0f;
    return;
  }
  std::uint32_t mask = layout.channelMask;
  if (mask == 0) mask = layout.channels >= 32 ? 0xFFFFFFFFu : (1u << layout.channels) - 1;
  // Channel i feeds the i-th speaker set in the mask; left and right speakers
  // go to their side, centre ones to both at -3 dB, the LFE nowhere.
  std::uint16_t channel = 0;
  for (std::uint32_t bit = 1; bit != 0 && channel < layout.channels; bit <<= 1) {
    if (!(mask & bit)) continue;
    if (bit & kLeftSpeakers) leftGain_[channel] = 1.0f;
    if (bit & kRightSpeakers) rightGain_[channel] = 1.0f;
    if (bit & kCentreSpeakers) leftGain_[channel] = rightGain_[channel] = 0.70710678f;
    ++channel;
  }
  // A full-scale signal on every channel must not clip.
  float left = 0, right = 0;
  for (std::uint16_t c = 0; c < layout.channels; ++c) {
    left += leftGain_[c];
    right += rightGain_[c];
  }
  const float most = std::max(left, right);
  if (most > 1.0f) {
    for (std::uint16_t c = 0; c < layout.channels; ++c) {
      leftGain_[c] /= most;
      rightGain_[c] /= most;
    }
  }
}

float SoundConverter::readSample(const std::uint8_t* s) const {
  if (layout_.isFloat) {
    if (layout_.containerBytes == 8) {
      double d;
      std::memcpy(&d, s, sizeof d);
      return static_cast<float>(d);
    }
    float f;
    std::memcpy(&f, s, sizeof f);
    return std::isfinite(f) ? f : 0.0f;
  }
  switch (layout_.containerBytes) {
    case 1: return (static_cast<int>(s[0]) - 128) / 128.0f;
    case 2: {
      std::int16_t v;
      std::memcpy(&v, s, sizeof v);
      return v / 32768.0f;
    }
    case 3: {
      const std::int32_t v = static_cast<std::int32_t>((static_cast<std::uint32_t>(s[0]) << 8) |
                                                       (static_cast<std::uint32_t>(s[1]) << 16) |
                                                       (static_cast<std::uint32_t>(s[2]) << 24));
      return static_cast<float>(v / 2147483648.0);
    }
    default: {
      std::int32_t v;
      std::memcpy(&v, s, sizeof v);
      return static_cast<float>(v / 2147483648.0);
    }
  }
}

void SoundConverter::readFrame(const std::uint8_t* frame, float& left, float& right) const {
  left = right = 0;
  for (std::uint16_t c = 0; c < layout_.channels; ++c) {
    const float v = readSample(frame + static_cast<std::size_t>(c) * layout_.containerBytes);
    left += v * leftGain_[c];
    right += v * rightGain_[c];
  }
}

SoundConverter::Output SoundConverter::convert(const std::uint8_t* data, std::uint32_t frames) {
  Output out;
  if (frames == 0) return out;
  if (passthrough_) {
    out.samples = reinterpret_cast<const std::int16_t*>(data);
    out.frames = frames;
    return out;
  }
  stereo_.assign(static_cast<std::size_t>(frames) * 2, 0.0f);
  if (data) {
    const std::size_t block = static_cast<std::size_t>(layout_.channels) * layout_.containerBytes;
    for (std::uint32_t i = 0; i < frames; ++i) readFrame(data + i * block, stereo_[2 * i], stereo_[2 * i + 1]);
  }
  out_.clear();
  if (layout_.rate == kOutRate) {
    out_.reserve(stereo_.size());
    for (float v : stereo_) out_.push_back(toInt16(v));
  } else {
    if (!havePrevious_) phase_ = std::max(phase_, 0.0);
    out.delay = phase_ / layout_.rate;
    const double last = frames - 1.0;
    while (phase_ <= last) {
      const double whole = std::floor(phase_);
      const auto index = static_cast<std::int64_t>(whole);
      const float frac = static_cast<float>(phase_ - whole);
      float l0 = prevLeft_, r0 = prevRight_;
      if (index >= 0) {
        l0 = stereo_[2 * index];
        r0 = stereo_[2 * index + 1];
      }
      float l1 = l0, r1 = r0;
      if (index + 1 < frames) {
        l1 = stereo_[2 * (index + 1)];
        r1 = stereo_[2 * (index + 1) + 1];
      }
      out_.push_back(toInt16(l0 + (l1 - l0) * frac));
      out_.push_back(toInt16(r0 + (r1 - r0) * frac));
      phase_ += step_;
    }
    phase_ -= frames;
    prevLeft_ = stereo_[2 * (frames - 1)];
    prevRight_ = stereo_[2 * (frames - 1) + 1];
    havePrevious_ = true;
  }
  out.frames = static_cast<std::uint32_t>(out_.size() / 2);
  out.samples = data && out.frames ? out_.data() : nullptr;
  return out;
}

void SoundConverter::reset() {
  phase_ = 0;
  havePrevious_ = false;
  prevLeft_ = prevRight_ = 0;
}

}  // namespace ks::win32
