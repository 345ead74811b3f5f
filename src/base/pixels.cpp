#include "base/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ks::pixels {

std::optional<std::uint32_t> dibImageSize(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  const std::uint64_t stride = (3ull * static_cast<std::uint64_t>(width) + 3ull) & ~3ull;
  const std::uint64_t size = stride * static_cast<std::uint64_t>(height);
  if (size > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(size);
}

void blackOutside(const DibView& dib, const PixelRect& keep) {
  const PixelRect inside = intersect(keep, {0, 0, dib.width, dib.height});
  for (std::int64_t y = 0; y < dib.height; ++y) {
    std::uint8_t* row = dib.row(y);
    if (inside.empty() || y < inside.y || y >= inside.bottom()) {
      std::memset(row, 0, dib.stride);
      continue;
    }
    const auto left = static_cast<std::size_t>(inside.x) * 3;
    const auto right = static_cast<std::size_t>(inside.right()) * 3;
    std::memset(row, 0, left);
    std::memset(row + right, 0, dib.stride - right);
  }
}

void copyFromScreen(const DibView& dib, std::int64_t dstX, std::int64_t dstY,
                    const ScreenView& screen, std::int64_t srcX, std::int64_t srcY,
                    std::int64_t width, std::int64_t height) {
  const auto bpp = static_cast<std::size_t>(screen.bytesPerPixel);
  for (std::int64_t line = 0; line < height; ++line) {
    const std::uint8_t* src = screen.bits + static_cast<std::size_t>(srcY + line) * screen.stride +
                              static_cast<std::size_t>(srcX) * bpp;
    std::uint8_t* dst = dib.row(dstY + line) + static_cast<std::size_t>(dstX) * 3;
    if (bpp == 3) {
      std::memcpy(dst, src, static_cast<std::size_t>(width) * 3);
      continue;
    }
    for (std::int64_t x = 0; x < width; ++x, src += bpp, dst += 3) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
    }
  }
}

namespace {

// (s * a + d * (255 - a)) / 255 to nearest; 255 is odd, so there are no ties.
std::uint8_t blendChannel(std::uint8_t source, std::uint8_t dest, std::uint8_t alpha) {
  const unsigned sum = source * alpha + dest * (255u - alpha);
  return static_cast<std::uint8_t>((sum + 127u) / 255u);
}

}  // namespace

void blendCursor(const DibView& dib, const CursorImage& cursor, PixelPoint at, double strength) {
  if (!(strength > 0)) return;
  // Alpha times strength in 1/65536ths, so that a fade needs no division.
  const auto weight = static_cast<unsigned>(std::lround(std::min(strength, 1.0) * 65536));
  // The overlap in 64 bits: `at` may lie anywhere.
  const std::int64_t left = std::max<std::int64_t>(at.x, 0);
  const std::int64_t top = std::max<std::int64_t>(at.y, 0);
  const std::int64_t right = std::min<std::int64_t>(at.x + cursor.width, dib.width);
  const std::int64_t bottom = std::min<std::int64_t>(at.y + cursor.height, dib.height);
  for (std::int64_t y = top; y < bottom; ++y) {
    std::uint8_t* dst = dib.row(y) + static_cast<std::size_t>(left) * 3;
    const Bgra* src = cursor.pixels.data() +
                      static_cast<std::size_t>(y - at.y) * static_cast<std::size_t>(cursor.width) +
                      static_cast<std::size_t>(left - at.x);
    for (std::int64_t x = left; x < right; ++x, ++src, dst += 3) {
      const auto alpha = static_cast<std::uint8_t>((src->a * weight + 32768u) >> 16);
      if (alpha == 0) continue;
      dst[0] = blendChannel(src->b, dst[0], alpha);
      dst[1] = blendChannel(src->g, dst[1], alpha);
      dst[2] = blendChannel(src->r, dst[2], alpha);
    }
  }
}

void drawRing(const DibView& dib, PixelPoint centre, std::int32_t radius, std::int32_t width,
              Bgra colour, double strength) {
  if (dib.bits == nullptr || dib.width <= 0 || dib.height <= 0) return;
  if (radius < 0 || width <= 0 || !(strength > 0)) return;
  const double peak = colour.a * std::min(strength, 1.0);
  // Coverage falls from 1 to 0 over the pixel either side of the line's
  // edge, so the ring's weight is its width; outside (inner, outer) it is 0.
  const double r = radius, half = width / 2.0;
  const double inner = std::max(r - half - 0.5, 0.0), outer = r + half + 0.5;
  const double inner2 = inner * inner, outer2 = outer * outer;
  // The box in doubles, clipped before it turns into indexes: the centre may
  // lie anywhere in 64 bits.
  const double cx = static_cast<double>(centre.x), cy = static_cast<double>(centre.y);
  const double reach = std::ceil(outer);
  const auto left = static_cast<std::int64_t>(std::clamp(cx - reach, 0.0, double(dib.width)));
  const auto right = static_cast<std::int64_t>(std::clamp(cx + reach + 1, 0.0, double(dib.width)));
  const auto top = static_cast<std::int64_t>(std::clamp(cy - reach, 0.0, double(dib.height)));
  const auto bottom = static_cast<std::int64_t>(std::clamp(cy + reach + 1, 0.0, double(dib.height)));
  for (std::int64_t y = top; y < bottom; ++y) {
    const double dy = static_cast<double>(y) - cy, dy2 = dy * dy;
    if (dy2 > outer2) continue;
    std::uint8_t* dst = dib.row(y) + static_cast<std::size_t>(left) * 3;
    for (std::int64_t x = left; x < right; ++x, dst += 3) {
      const double dx = static_cast<double>(x) - cx, d2 = dx * dx + dy2;
      if (d2 >= outer2 || (inner > 0 && d2 <= inner2)) continue;
      const double coverage = std::clamp(half + 0.5 - std::fabs(std::sqrt(d2) - r), 0.0, 1.0);
      const auto alpha = static_cast<std::uint8_t>(std::lround(peak * coverage));
      if (alpha == 0) continue;
      dst[0] = blendChannel(colour.b, dst[0], alpha);
      dst[1] = blendChannel(colour.g, dst[1], alpha);
      dst[2] = blendChannel(colour.r, dst[2], alpha);
    }
  }
}

void premultiplied(const std::uint8_t* bgra, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < 4 * count; i += 4) {
    for (int c = 0; c < 3; ++c) out[i + c] = blendChannel(bgra[i + c], 0, bgra[i + 3]);
    out[i + 3] = bgra[i + 3];
  }
}

void overColour(const std::uint8_t* bgra, std::size_t count, Bgra under, std::uint8_t* out) {
  const std::uint8_t back[3] = {under.b, under.g, under.r};
  for (std::size_t i = 0; i < 4 * count; i += 4) {
    for (int c = 0; c < 3; ++c) out[i + c] = blendChannel(bgra[i + c], back[c], bgra[i + 3]);
    out[i + 3] = 255;
  }
}

void embossed(const std::uint8_t* bgra, std::int32_t width, std::int32_t height, Bgra face, Bgra shadow, Bgra light,
              std::uint8_t* out) {
  auto ink = [&](std::int32_t x, std::int32_t y) {
    if (x < 0 || y < 0) return false;
    const std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 4];
    return p[3] != 0 && std::memcmp(p, bgra, 3) != 0;
  };
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x, out += 4) {
      const Bgra& c = ink(x, y) ? shadow : ink(x - 1, y - 1) ? light : face;
      out[0] = c.b, out[1] = c.g, out[2] = c.r, out[3] = 255;
    }
}

void scaledToBgra(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::int32_t outWidth,
                  std::int32_t outHeight, std::uint8_t* bgra) {
  if (width <= 0 || height <= 0 || outWidth <= 0 || outHeight <= 0) return;
  const std::size_t stride = dibStride(width);
  // The source columns each output column covers, worked out once.
  std::vector<std::int32_t> columns(static_cast<std::size_t>(outWidth) + 1);
  for (std::int32_t x = 0; x <= outWidth; ++x)
    columns[static_cast<std::size_t>(x)] =
        static_cast<std::int32_t>(std::int64_t{x} * width / outWidth);
  std::vector<std::uint32_t> sums(3 * static_cast<std::size_t>(outWidth));
  for (std::int32_t y = 0; y < outHeight; ++y) {
    const auto top = static_cast<std::int32_t>(std::int64_t{y} * height / outHeight);
    const std::int32_t bottom = std::max(top + 1, static_cast<std::int32_t>(std::int64_t{y + 1} * height / outHeight));
    std::fill(sums.begin(), sums.end(), 0u);
    for (std::int32_t row = top; row < bottom; ++row) {
      const std::uint8_t* line = dib + static_cast<std::size_t>(height - 1 - row) * stride;
      for (std::int32_t x = 0; x < outWidth; ++x) {
        const std::int32_t from = columns[static_cast<std::size_t>(x)];
        const std::int32_t to = std::max(from + 1, columns[static_cast<std::size_t>(x) + 1]);
        std::uint32_t* sum = &sums[3 * static_cast<std::size_t>(x)];
        for (std::int32_t c = from; c < to; ++c) {
          const std::uint8_t* p = line + 3 * static_cast<std::size_t>(c);
          sum[0] += p[0], sum[1] += p[1], sum[2] += p[2];
        }
      }
    }
    std::uint8_t* out = bgra + 4 * static_cast<std::size_t>(y) * static_cast<std::size_t>(outWidth);
    for (std::int32_t x = 0; x < outWidth; ++x) {
      const std::int32_t from = columns[static_cast<std::size_t>(x)];
      const auto n = static_cast<std::uint32_t>((bottom - top) * std::max(1, columns[static_cast<std::size_t>(x) + 1] - from));
      const std::uint32_t* sum = &sums[3 * static_cast<std::size_t>(x)];
      for (int k = 0; k < 3; ++k) out[4 * x + k] = static_cast<std::uint8_t>((sum[k] + n / 2) / n);
      out[4 * x + 3] = 255;
    }
  }
}

}  // namespace ks::pixels
