// Turns a capture device's samples into the one format the sources deliver
// (48 kHz, 16-bit, stereo): integer or float samples of any width the shared
// mode offers, any channel count, any rate (linear interpolation, carried
// across packets so the joins do not click).
#pragma once

#include <cstdint>
#include <vector>

namespace ks::win32 {

struct SampleLayout {
  std::uint32_t rate = 48000;
  std::uint16_t channels = 2;
  // Bytes of one sample in the stream: 1 (unsigned 8-bit), 2, 3 (packed 24-bit),
  // 4 (integer, left-aligned, or float), 8 (float).
  std::uint16_t containerBytes = 2;
  bool isFloat = false;
  // Which speaker each channel feeds (the WAVEFORMATEXTENSIBLE bits, in
  // channel order); 0 for the usual order of `channels` speakers.
  std::uint32_t channelMask = 0;
};

// Whether the layout is one the converter reads.
bool convertible(const SampleLayout& layout);

class SoundConverter {
 public:
  explicit SoundConverter(const SampleLayout& layout);

  struct Output {
    // Null for silence: `frames` frames of it.
    const std::int16_t* samples = nullptr;
    std::uint32_t frames = 0;
    // Where the first output frame lies after the packet's first input frame,
    // in seconds (negative: between the last packet's end and this one).
    double delay = 0;
  };

  // `frames` input frames at `data`, or silence when `data` is null. The
  // output stays valid until the next call.
  Output convert(const std::uint8_t* data, std::uint32_t frames);
  // Forgets the previous packet: the next one starts a new stream (after a
  // gap the device reported).
  void reset();

  // True when input passes through unchanged.
  bool passthrough() const { return passthrough_; }

 private:
  void readFrame(const std::uint8_t* frame, float& left, float& right) const;
  float readSample(const std::uint8_t* sample) const;

  SampleLayout layout_;
  bool passthrough_ = false;
  std::vector<float> leftGain_, rightGain_;
  double step_ = 1;  // input frames per output frame
  // Position of the next output frame in input frames from the start of the
  // next packet; -1 ≤ phase_ means between prevLeft_/prevRight_ and it.
  double phase_ = 0;
  bool havePrevious_ = false;
  float prevLeft_ = 0, prevRight_ = 0;
  std::vector<float> stereo_;
  std::vector<std::int16_t> out_;
};

}  // namespace ks::win32
