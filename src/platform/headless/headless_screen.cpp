#include "platform/headless/headless_screen.h"

namespace ks {

namespace {

std::uint32_t screenStride(const HeadlessScreenDesign& design) {
  const std::uint32_t bytes = static_cast<std::uint32_t>(design.width) * (design.bitsPerPixel / 8);
  return (bytes + 3u) & ~3u;
}

class HeadlessGrabber final : public ScreenGrabber {
 public:
  explicit HeadlessGrabber(HeadlessScreen& screen) : screen_(screen) {}

  bool grabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) override {
    const auto size = pixels::dibImageSize(w, h);
    if (!size) return false;
    if (!held_ || w != width_ || h != height_) {
      buffer_ = std::vector<std::uint8_t>(*size);
      width_ = w;
      height_ = h;
      held_ = true;
    }
    const pixels::DibView dib{buffer_.data(), w, h, dibStride(w)};
    const PixelRect region{x, y, w, h};
    const PixelRect part = onScreenPart(
        region, {screen_.left(), screen_.top(), screen_.width(), screen_.height()});
    pixels::blackOutside(dib, part);
    if (!part.empty()) {
      pixels::copyFromScreen(dib, part.x, part.y, screen_.view(),
                             std::int64_t{region.x} + part.x - screen_.left(),
                             std::int64_t{region.y} + part.y - screen_.top(), part.width, part.height);
    }
    drawOverlay(dib, {x, y});
    if (drawsCursor() && screen_.cursorVisible()) {
      const pixels::CursorImage& cursor = screen_.cursor();
      pixels::blendCursor(dib, cursor,
                          pixels::cursorDrawPoint(screen_.pointer(),
                                                  {cursor.hotspotX, cursor.hotspotY}, {x, y}));
    }
    return true;
  }

  CapturedPicture picture() const override {
    if (!held_) return {};
    return {width_, height_, dibStride(width_), buffer_.data()};
  }

  void freeCapture() override {
    buffer_ = {};
    width_ = height_ = 0;
    held_ = false;
  }

  int buffersHeld() const override { return held_ ? 1 : 0; }

 private:
  HeadlessScreen& screen_;
  std::vector<std::uint8_t> buffer_;
  std::int32_t width_ = 0, height_ = 0;
  bool held_ = false;
};

}  // namespace

HeadlessScreen::HeadlessScreen(HeadlessScreenDesign design)
    : design_(design),
      stride_(screenStride(design)),
      bits_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(design.height)) {}

void HeadlessScreen::fill(Rgb colour) { fillRect(left(), top(), width(), height(), colour); }

void HeadlessScreen::fillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                              Rgb colour) {
  const PixelRect part = onScreenPart({x, y, w, h}, {left(), top(), width(), height()});
  const std::int64_t firstX = x + part.x - left();
  const std::int64_t firstY = y + part.y - top();
  const std::size_t bpp = static_cast<std::size_t>(design_.bitsPerPixel / 8);
  for (std::int64_t row = firstY; row < firstY + part.height; ++row) {
    std::uint8_t* p = bits_.data() + static_cast<std::size_t>(row) * stride_ +
                      static_cast<std::size_t>(firstX) * bpp;
    for (std::int64_t i = 0; i < part.width; ++i, p += bpp) {
      p[0] = colour.b;
      p[1] = colour.g;
      p[2] = colour.r;
    }
  }
}

void HeadlessScreen::setPixel(std::int32_t x, std::int32_t y, Rgb colour) {
  fillRect(x, y, 1, 1, colour);
}

Rgb HeadlessScreen::pixel(std::int32_t x, std::int32_t y) const {
  const std::int64_t column = std::int64_t{x} - left();
  const std::int64_t row = std::int64_t{y} - top();
  if (column < 0 || row < 0 || column >= width() || row >= height()) return kBlack;
  const std::uint8_t* p = bits_.data() + static_cast<std::size_t>(row) * stride_ +
                          static_cast<std::size_t>(column) * static_cast<std::size_t>(design_.bitsPerPixel / 8);
  return {p[2], p[1], p[0]};
}

pixels::ScreenView HeadlessScreen::view() const {
  return {bits_.data(), design_.width, design_.height, stride_, design_.bitsPerPixel / 8};
}

std::unique_ptr<ScreenGrabber> makeHeadlessGrabber(HeadlessScreen& screen) {
  return std::make_unique<HeadlessGrabber>(screen);
}

}  // namespace ks
