#include "platform/win32/gdi_text_painter.h"

#include <cstring>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace ks {

namespace {

class GdiTextPainter final : public TextPainter {
 public:
  TextMask paint(const std::string& utf8, int pixelHeight) override {
    TextMask mask;
    const std::wstring text = win32::toWideShown(utf8);
    if (text.empty() || pixelHeight <= 0) return mask;
    win32::UniqueDc dc(CreateCompatibleDC(nullptr));
    // Segoe UI where there is one; Windows substitutes its nearest otherwise.
    win32::UniqueFont font(CreateFontW(-pixelHeight, 0, 0, 0, FW_SEMIBOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                       DEFAULT_PITCH | FF_SWISS, L"Segoe UI"));
    if (!dc || !font) return mask;
    const win32::SelectScope withFont(dc.get(), font.get());
    SIZE size{};
    if (!GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size) || size.cx <= 0 ||
        size.cy <= 0) {
      return mask;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::UniqueBitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return mask;
    const std::size_t pixels = static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy);
    std::memset(bits, 0, pixels * 4);
    {
      const win32::SelectScope withBitmap(dc.get(), bitmap.get());
      SetBkMode(dc.get(), TRANSPARENT);
      SetTextColor(dc.get(), RGB(255, 255, 255));
      TextOutW(dc.get(), 0, 0, text.c_str(), static_cast<int>(text.size()));
      GdiFlush();
    }
    mask.width = size.cx;
    mask.height = size.cy;
    mask.coverage.resize(pixels);
    const auto* bgrx = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < pixels; ++i) mask.coverage[i] = bgrx[i * 4 + 1];  // green
    return mask;
  }
};

}  // namespace

std::unique_ptr<TextPainter> makeGdiTextPainter() { return std::make_unique<GdiTextPainter>(); }

}  // namespace ks
