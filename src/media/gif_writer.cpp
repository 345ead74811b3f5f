#include "media/gif_writer.h"

#include <algorithm>

namespace ks {
namespace {

constexpr std::uint8_t kTrailer = 0x3B;


}  // namespace

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
  encoder_ = std::make_unique<GifEncoder>(width, height);
  rate_ = rate;
  held_.clear();
  heldIndex_.reset();
  firstIndex_.reset();
  wholeEnd_ = sizeof h;
  framesWritten_ = 0;
  return true;
}

bool GifWriter::cutBack() {
  return sink_->truncate(wholeEnd_) && sink_->seek(wholeEnd_);
}

bool GifWriter::writeHeld(std::uint64_t delay) {
  const auto cs = static_cast<std::uint16_t>(std::min<std::uint64_t>(delay, 65535));
  held_[heldDelayAt_] = static_cast<std::uint8_t>(cs);
  held_[heldDelayAt_ + 1] = static_cast<std::uint8_t>(cs >> 8);
  if (!sink_->write(held_.data(), held_.size())) {
    (void)cutBack();
    return false;
  }
  wholeEnd_ = sink_->tell();
  ++framesWritten_;
  return true;
}

bool GifWriter::writePicture(std::uint64_t index, const std::uint8_t* bits) {
  if (!sink_ || (firstIndex_ && index <= lastIndex_)) return false;
  if (heldIndex_ && centiseconds(index) < centiseconds(*heldIndex_) + 2) {
    lastIndex_ = index;  // merged into the shown one
    return true;
  }
  const GifFrame frame = encoder_->encode(bits);
  if (frame.bytes.empty() && heldIndex_) {
    lastIndex_ = index;
    return true;
  }
  if (heldIndex_ && !writeHeld(centiseconds(index) - centiseconds(*heldIndex_))) return false;
  encoder_->accept();
  held_.assign(frame.bytes.begin(), frame.bytes.end());
  heldDelayAt_ = frame.delayAt;
  heldIndex_ = index;
  if (!firstIndex_) firstIndex_ = index;
  lastIndex_ = index;
  return true;
}

bool GifWriter::close() {
  if (!sink_) return false;
  bool ok = true;
  if (heldIndex_) {
    // The last frame lasts until the picture after the last one given.
    const std::uint64_t end = std::max(centiseconds(lastIndex_ + 1), centiseconds(*heldIndex_) + 2);
    ok = writeHeld(end - centiseconds(*heldIndex_));
  }
  if (!sink_->write(&kTrailer, 1)) {
    ok = false;
    // Cut back to the last whole frame; the space given back takes the trailer.
    if (!cutBack() || !sink_->write(&kTrailer, 1)) ok = false;
  }
  ok = sink_->flush() && ok;
  ok = sink_->close() && ok;
  sink_.reset();
  encoder_.reset();
  heldIndex_.reset();
  return ok;
}

}  // namespace ks
