// A ZMBV encoder that fails from its nth picture on: it makes no bytes (for
// good, or once), or throws std::bad_alloc as memory running out would.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "media/movie.h"
#include "media/zmbv_encoder.h"

namespace ks::test {

enum class EncoderFailure { ForGood, Once, OutOfMemory };

class FailingEncoder final : public FrameEncoder {
 public:
  FailingEncoder(const BitmapInfoHeader& format, std::uint32_t rate, int from, EncoderFailure how)
      : inner_(format.biWidth, format.biHeight, options(rate)), from_(from), how_(how) {}
  EncodedFrame encode(const std::uint8_t* bits) override {
    const int picture = ++calls_;
    const bool fails = how_ == EncoderFailure::Once ? picture == from_ : picture >= from_;
    if (!fails) return inner_.encode(bits);
    if (how_ == EncoderFailure::OutOfMemory) throw std::bad_alloc();
    inner_.restart();  // as zlib failing leaves it
    return {};
  }
  void restart() override { inner_.restart(); }

 private:
  static ZmbvOptions options(std::uint32_t rate) {
    ZmbvOptions o;
    o.keyInterval = 2 * rate;
    return o;
  }
  ZmbvEncoder inner_;
  int from_;
  EncoderFailure how_;
  int calls_ = 0;  // encode calls, repeats included
};

inline Movie::EncoderFactory failingEncoders(int from, EncoderFailure how) {
  return [from, how](const BitmapInfoHeader& format, std::uint32_t rate) {
    return std::make_unique<FailingEncoder>(format, rate, from, how);
  };
}

}  // namespace ks::test
