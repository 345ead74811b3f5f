#include "platform/win32/gdi_grabber.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "base/pixels.h"
#include "platform/band_tuner.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_native.h"

namespace ks {

namespace {

using win32::UniqueBitmap;
using win32::UniqueDc;

// Timed grabs per candidate band height.
constexpr int kTunerTrials = 5;

// A memory DC with a 24-bit bottom-up DIB section selected into it.
class CaptureBuffer {
 public:
  static std::unique_ptr<CaptureBuffer> create(HDC screen, std::int32_t width,
                                               std::int32_t height) {
    const auto size = pixels::dibImageSize(width, height);
    if (!size) return nullptr;
    UniqueDc dc(CreateCompatibleDC(screen));
    if (!dc) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = *size;
    void* bits = nullptr;
    UniqueBitmap dib(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return nullptr;
    HGDIOBJ previous = SelectObject(dc.get(), dib.get());
    if (!previous || previous == HGDI_ERROR) return nullptr;
    return std::unique_ptr<CaptureBuffer>(new CaptureBuffer(
        std::move(dib), std::move(dc), previous, static_cast<std::uint8_t*>(bits), width, height));
  }

  CaptureBuffer(const CaptureBuffer&) = delete;
  CaptureBuffer& operator=(const CaptureBuffer&) = delete;
  // The DIB section leaves the DC before either is deleted.
  ~CaptureBuffer() { SelectObject(dc_.get(), previous_); }

  HDC dc() const { return dc_.get(); }
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  pixels::DibView view() const { return {bits_, width_, height_, dibStride(width_)}; }

 private:
  CaptureBuffer(UniqueBitmap dib, UniqueDc dc, HGDIOBJ previous, std::uint8_t* bits,
                std::int32_t width, std::int32_t height)
      : dib_(std::move(dib)), dc_(std::move(dc)), previous_(previous), bits_(bits),
        width_(width), height_(height) {}

  UniqueBitmap dib_;  // declared before the DC, so deleted after it
  UniqueDc dc_;
  HGDIOBJ previous_;
  std::uint8_t* bits_;
  std::int32_t width_, height_;
};

// Draws the cursor the pointer shows, hotspot on the pointer; does nothing
// when it is hidden or cannot be had.
class CursorPainter {
 public:
  void draw(HDC dc, std::int32_t originX, std::int32_t originY) {
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetCursorInfo(&info) || !(info.flags & CURSOR_SHOWING) || !info.hCursor) return;
    const std::optional<PixelPoint> hot = hotspot(info.hCursor);
    if (!hot) return;
    const PixelPoint at = pixels::cursorDrawPoint(
        {info.ptScreenPos.x, info.ptScreenPos.y}, *hot, {originX, originY});
    // Far outside the picture: nothing of the cursor would show.
    constexpr std::int64_t kFar = 1 << 30;
    if (at.x < -kFar || at.x > kFar || at.y < -kFar || at.y > kFar) return;
    DrawIconEx(dc, static_cast<int>(at.x), static_cast<int>(at.y), info.hCursor, 0, 0, 0,
               nullptr, DI_NORMAL);
  }

 private:
  // GetIconInfo makes two bitmaps each time; the pointer mostly keeps its
  // cursor, so the last answer is kept.
  std::optional<PixelPoint> hotspot(HCURSOR cursor) {
    if (cursor != cached_) {
      ICONINFO icon{};
      if (!GetIconInfo(cursor, &icon)) return std::nullopt;
      const UniqueBitmap mask(icon.hbmMask);
      const UniqueBitmap colour(icon.hbmColor);
      cached_ = cursor;
      cachedHotspot_ = {static_cast<std::int64_t>(icon.xHotspot),
                        static_cast<std::int64_t>(icon.yHotspot)};
    }
    return cachedHotspot_;
  }

  HCURSOR cached_ = nullptr;
  PixelPoint cachedHotspot_;
};

// The virtual screen's rectangle. Under Wine the four queries take a third of
// a millisecond, so they are made again only once a second: a change of
// monitors reaches the blacking-out of off-screen parts up to a second late.
class VirtualScreen {
 public:
  PixelRect rect() {
    const auto now = std::chrono::steady_clock::now();
    if (!known_ || now - fetched_ > std::chrono::seconds(1)) {
      rect_ = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
               GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
      fetched_ = now;
      known_ = true;
    }
    return rect_;
  }

 private:
  PixelRect rect_;
  std::chrono::steady_clock::time_point fetched_;
  bool known_ = false;
};

class GdiGrabberImpl final : public GdiGrabber {
 public:
  explicit GdiGrabberImpl(const GdiGrabberOptions& options) : options_(options) {}

  bool grabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) override {
    if (!pixels::dibImageSize(w, h)) return false;
    const win32::WindowDc screen(nullptr);
    if (!screen.get()) return false;
    // The copy goes into the spare buffer, which becomes the picture only
    // once it is whole: a copy that fails part-way, or a new size whose
    // buffer cannot be made, leaves the previous picture as it was.
    if (!spare_ || spare_->width() != w || spare_->height() != h) {
      spare_ = CaptureBuffer::create(screen.get(), w, h);
      if (!spare_) return false;
    }
    if (!copyScreen(screen.get(), *spare_, x, y)) return false;
    if (hasOverlay()) {
      // The overlay writes the bits themselves, after the copy has landed.
      GdiFlush();
      drawOverlay(spare_->view(), {x, y});
    }
    if (drawsCursor()) cursor_.draw(spare_->dc(), x, y);
    // The writer reads the bits straight after: no GDI work may be pending.
    GdiFlush();
    std::swap(buffer_, spare_);
    return true;
  }

  void prepare(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) override {
    // Enough whole-region grabs for the tuner to decide; bounded in case
    // grabs keep failing.
    for (int i = 0; i < 60; ++i) {
      if (!grabRect(w, h, x, y)) return;
      if (options_.bandRows > 0 || (tuner_ && !tuner_->tuning() && tunedWidth_ == w && tunedHeight_ == h)) return;
    }
  }

  CapturedPicture picture() const override {
    if (!buffer_) return {};
    const pixels::DibView view = buffer_->view();
    return {view.width, view.height, view.stride, view.bits};
  }

  void freeCapture() override {
    buffer_.reset();
    spare_.reset();
  }
  int buffersHeld() const override { return (buffer_ ? 1 : 0) + (spare_ ? 1 : 0); }

  std::int32_t bandRows() const override {
    if (options_.bandRows > 0) return options_.bandRows;
    return tuner_ && !tuner_->tuning() ? tuner_->rows() : 0;
  }

 private:
  // One copy from the screen into the buffer, in bands of rows; what lies
  // off the virtual screen is blacked out, since BitBlt leaves it as it was.
  // A BitBlt that fails part-way leaves the bands before it written, so the
  // target is never the picture itself.
  bool copyScreen(HDC screen, const CaptureBuffer& target, std::int32_t x, std::int32_t y) {
    const std::int32_t w = target.width();
    const std::int32_t h = target.height();
    const PixelRect part = onScreenPart({x, y, w, h}, screenRect_.rect());
    const bool whole = part == PixelRect{0, 0, w, h};
    if (!whole) pixels::blackOutside(target.view(), part);
    if (part.empty()) return true;

    const std::int32_t rows = rowsPerCopy(w, h);
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t top = 0; top < part.height; top += rows) {
      const std::int64_t count = std::min<std::int64_t>(rows, part.height - top);
      if (!options_.blit(target.dc(), static_cast<int>(part.x), static_cast<int>(part.y + top),
                  static_cast<int>(part.width), static_cast<int>(count), screen,
                  static_cast<int>(x + part.x), static_cast<int>(y + part.y + top),
                  SRCCOPY)) {
        return false;
      }
    }
    // Only copies of the whole region are comparable with each other.
    if (tuner_ && whole) {
      GdiFlush();
      tuner_->record(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return true;
  }

  std::int32_t rowsPerCopy(std::int32_t w, std::int32_t h) {
    if (options_.bandRows > 0) return options_.bandRows;
    if (!tuner_ || tunedWidth_ != w || tunedHeight_ != h) {
      tuner_.emplace(pixels::bandCandidates(w, h), kTunerTrials);
      tunedWidth_ = w;
      tunedHeight_ = h;
    }
    return tuner_->rows();
  }

  GdiGrabberOptions options_;
  std::unique_ptr<CaptureBuffer> buffer_;  // the picture
  std::unique_ptr<CaptureBuffer> spare_;   // where the next grab copies to
  CursorPainter cursor_;
  VirtualScreen screenRect_;
  std::optional<pixels::BandTuner> tuner_;
  std::int32_t tunedWidth_ = 0, tunedHeight_ = 0;
};

}  // namespace

std::unique_ptr<ScreenGrabber> makeGdiGrabber() { return makeGdiGrabber(GdiGrabberOptions{}); }

std::unique_ptr<GdiGrabber> makeGdiGrabber(const GdiGrabberOptions& options) {
  return std::make_unique<GdiGrabberImpl>(options);
}

}  // namespace ks
