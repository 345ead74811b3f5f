#include "base/yuv420.h"

#include "base/pixels.h"

namespace ks::pixels {

namespace {

// BT.709 at limited range, in 1/65536: Y = 16 + (Kr R + Kg G + Kb B) * 219 / 255,
// Cb = 128 + (B - Y') * 224 / 255 / 1.8556, Cr = 128 + (R - Y') * 224 / 255 / 1.5748.
constexpr int kYr = 11966, kYg = 40254, kYb = 4064;
constexpr int kUr = -6596, kUg = -22189, kUb = 28785;
constexpr int kVr = 28785, kVg = -26145, kVb = -2640;

inline std::uint8_t luma(const std::uint8_t* bgr) {
  return static_cast<std::uint8_t>((kYr * bgr[2] + kYg * bgr[1] + kYb * bgr[0] + (16 << 16) + (1 << 15)) >> 16);
}

// From the sums of four pixels' channels.
inline std::uint8_t chroma(int cr, int cg, int cb, int r, int g, int b) {
  return static_cast<std::uint8_t>((cr * r + cg * g + cb * b + (128 << 18) + (1 << 17)) >> 18);
}

}  // namespace

void toYuv420(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::uint8_t* out) {
  const Yuv420Size size = yuv420Size(width, height);
  const std::size_t stride = dibStride(width);
  const auto w2 = static_cast<std::size_t>(size.width);
  std::uint8_t* yPlane = out;
  std::uint8_t* uPlane = out + w2 * static_cast<std::size_t>(size.height);
  std::uint8_t* vPlane = uPlane + (w2 / 2) * static_cast<std::size_t>(size.height / 2);
  const std::int32_t lastColumn = width - 1;
  for (std::int32_t y = 0; y < size.height; y += 2) {
    // Top-down row y is DIB row height - 1 - y; the padding row repeats the last.
    const std::int32_t y1 = y + 1 < height ? y + 1 : height - 1;
    const std::uint8_t* top = dib + static_cast<std::size_t>(height - 1 - y) * stride;
    const std::uint8_t* bottom = dib + static_cast<std::size_t>(height - 1 - y1) * stride;
    std::uint8_t* yTop = yPlane + static_cast<std::size_t>(y) * w2;
    std::uint8_t* yBottom = yTop + w2;
    std::uint8_t* u = uPlane + static_cast<std::size_t>(y / 2) * (w2 / 2);
    std::uint8_t* v = vPlane + static_cast<std::size_t>(y / 2) * (w2 / 2);
    for (std::int32_t x = 0; x < size.width; x += 2) {
      const std::int32_t x1 = x + 1 <= lastColumn ? x + 1 : lastColumn;
      const std::uint8_t* a = top + 3 * x;
      const std::uint8_t* b = top + 3 * x1;
      const std::uint8_t* c = bottom + 3 * x;
      const std::uint8_t* d = bottom + 3 * x1;
      yTop[x] = luma(a);
      yTop[x + 1] = luma(b);
      yBottom[x] = luma(c);
      yBottom[x + 1] = luma(d);
      const int sb = a[0] + b[0] + c[0] + d[0];
      const int sg = a[1] + b[1] + c[1] + d[1];
      const int sr = a[2] + b[2] + c[2] + d[2];
      u[x / 2] = chroma(kUr, kUg, kUb, sr, sg, sb);
      v[x / 2] = chroma(kVr, kVg, kVb, sr, sg, sb);
    }
  }
}

}  // namespace ks::pixels
