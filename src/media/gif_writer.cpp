#include "media/gif_writer.h"

#include <algorithm>
#include <array>

namespace ks {
namespace {

constexpr std::uint8_t kTrailer = 0x3B;
// Every frame starts with a graphic control extension; its delay follows the
// introducer, the label, the block size and the packed byte.
constexpr std::size_t kDelayAt = 4;
constexpr std::uint64_t kMinDelay = 2;
constexpr std::uint64_t kMaxDelay = 65535;

// A delay as the file stores it: centiseconds, little-endian.
std::array<std::uint8_t, 2> delayBytes(std::uint64_t cs) {
  return {static_cast<std::uint8_t>(cs), static_cast<std::uint8_t>(cs >> 8)};
}

bool startsWithControlExtension(std::span<const std::uint8_t> frame) {
  return frame.size() > kDelayAt + 2 && frame[0] == 0x21 && frame[1] == 0xF9 && frame[2] == 0x04;
}

}  // namespace

GifFrameEncoder::GifFrameEncoder(std::int32_t width, std::int32_t height, std::uint32_t rate)
    : encoder_(width, height), rate_(std::max<std::uint32_t>(rate, 1)) {}

EncodedFrame GifFrameEncoder::encode(const std::uint8_t* bits) {
  const std::uint64_t index = next_++;
  if (shown_ && gifCentiseconds(index, rate_) < gifCentiseconds(*shown_, rate_) + kMinDelay)
    return {.bytes = {}, .keyFrame = false, .unchanged = true};  // merged into the shown one
  const GifFrame frame = encoder_.encode(bits);
  if (frame.bytes.empty()) return {.bytes = {}, .keyFrame = false, .unchanged = true};
  // The movie repeats a refused frame's bytes, so the picture is the base of
  // the next frame from here on.
  encoder_.accept();
  const bool key = whole_;
  whole_ = false;
  shown_ = index;
  return {.bytes = frame.bytes, .keyFrame = key};
}

// The count goes on: the pictures keep their times.
void GifFrameEncoder::restart() {
  encoder_.restart();
  whole_ = true;
}

GifWriter::~GifWriter() {
  if (sink_) (void)close();
}

bool GifWriter::open(std::unique_ptr<FileSink> sink, std::int32_t width, std::int32_t height, std::uint32_t rate) {
  if (sink_) (void)close();
  if (!sink || width < 1 || height < 1 || width > 32767 || height > 32767 || rate < 1 || rate > 1000) return false;
  // Signature, logical screen (no global colour table, background 0, square
  // pixels) and the extension that loops the movie forever.
  std::uint8_t h[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0,
                      0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0, 0, 0};
  h[6] = static_cast<std::uint8_t>(width), h[7] = static_cast<std::uint8_t>(width >> 8);
  h[8] = static_cast<std::uint8_t>(height), h[9] = static_cast<std::uint8_t>(height >> 8);
  if (!sink->seek(0) || !sink->write(h, sizeof h)) {
    (void)sink->truncate(0);
    (void)sink->close();
    return false;
  }
  sink_ = std::move(sink);
  rate_ = rate;
  shownIndex_.reset();
  lastIndex_.reset();
  wholeEnd_ = sizeof h;
  return true;
}

bool GifWriter::cutBack() { return sink_->truncate(wholeEnd_) && sink_->seek(wholeEnd_); }

bool GifWriter::setShownDelay(std::uint64_t delay) {
  const auto bytes = delayBytes(std::min(delay, kMaxDelay));
  const bool ok = sink_->seek(shownDelayAt_) && sink_->write(bytes.data(), bytes.size());
  return sink_->seek(wholeEnd_) && ok;
}

bool GifWriter::writeFrame(std::uint64_t index, std::span<const std::uint8_t> frame) {
  if (!sink_ || (lastIndex_ && index <= *lastIndex_)) return false;
  if (frame.empty()) {
    if (!shownIndex_) return false;  // nothing shown to last longer
    lastIndex_ = index;
    return true;
  }
  if (!startsWithControlExtension(frame)) return false;
  if (shownIndex_ && !setShownDelay(centiseconds(index) - centiseconds(*shownIndex_))) return false;
  // Until the next frame comes, this one lasts one picture.
  const auto delay = delayBytes(std::clamp(centiseconds(index + 1) - centiseconds(index), kMinDelay, kMaxDelay));
  const std::array<ConstBuffer, 3> parts{ConstBuffer{frame.data(), kDelayAt}, ConstBuffer{delay.data(), 2},
                                         ConstBuffer{frame.data() + kDelayAt + 2, frame.size() - kDelayAt - 2}};
  if (!sink_->write(parts)) {
    (void)cutBack();
    return false;
  }
  shownDelayAt_ = wholeEnd_ + kDelayAt;
  wholeEnd_ = sink_->tell();
  shownIndex_ = lastIndex_ = index;
  return true;
}

bool GifWriter::close() {
  if (!sink_) return false;
  bool ok = true;
  if (shownIndex_) {
    // The last frame lasts until the picture after the last one given.
    const std::uint64_t end = std::max(centiseconds(*lastIndex_ + 1), centiseconds(*shownIndex_) + kMinDelay);
    ok = setShownDelay(end - centiseconds(*shownIndex_));
  }
  if (!sink_->write(&kTrailer, 1)) {
    ok = false;
    // Cut back to the last whole frame; the space given back takes the trailer.
    if (!cutBack() || !sink_->write(&kTrailer, 1)) ok = false;
  }
  ok = sink_->flush() && ok;
  ok = sink_->close() && ok;
  sink_.reset();
  shownIndex_.reset();
  lastIndex_.reset();
  return ok;
}

}  // namespace ks
