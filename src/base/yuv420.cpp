#include "base/yuv420.h"

#include "base/pixels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KS_YUV_SSSE3 1
#endif

namespace ks::pixels {

namespace {

// BT.709 at limited range, in 1/32768: Y = 16 + (Kr R + Kg G + Kb B) * 219 / 255,
// Cb = 128 + (B - Y') * 224 / 255 / 1.8556, Cr = 128 + (R - Y') * 224 / 255 / 1.5748.
// Each chroma row sums to 0, so greys have no colour.
constexpr int kYr = 5983, kYg = 20127, kYb = 2032;
constexpr int kUr = -3298, kUg = -11094, kUb = 14392;
constexpr int kVr = 14392, kVg = -13072, kVb = -1320;
// 16.5 in 1/32768 and 128.5 in 1/131072 (four pixels' sums), as products of
// two 16-bit factors, the way the vector code adds them.
constexpr int kYExtra = 33, kCExtra = 1028;
constexpr int kYOffset = kYExtra * 16384;
constexpr int kCOffset = kCExtra * 16384;

inline std::uint8_t luma(const std::uint8_t* bgr) {
  return static_cast<std::uint8_t>((kYr * bgr[2] + kYg * bgr[1] + kYb * bgr[0] + kYOffset) >> 15);
}

// From the sums of four pixels' channels.
inline std::uint8_t chroma(int cr, int cg, int cb, int r, int g, int b) {
  return static_cast<std::uint8_t>((cr * r + cg * g + cb * b + kCOffset) >> 17);
}

struct Rows {
  const std::uint8_t* top;
  const std::uint8_t* bottom;
  std::uint8_t* yTop;
  std::uint8_t* yBottom;
  std::uint8_t* u;
  std::uint8_t* v;
};

// Output columns [from, to) of two rows; `lastColumn` is repeated into the
// padding.
void rowsScalar(const Rows& r, std::int32_t from, std::int32_t to, std::int32_t lastColumn) {
  for (std::int32_t x = from; x < to; x += 2) {
    const std::int32_t x1 = x + 1 <= lastColumn ? x + 1 : lastColumn;
    const std::uint8_t* a = r.top + 3 * x;
    const std::uint8_t* b = r.top + 3 * x1;
    const std::uint8_t* c = r.bottom + 3 * x;
    const std::uint8_t* d = r.bottom + 3 * x1;
    r.yTop[x] = luma(a);
    r.yTop[x + 1] = luma(b);
    r.yBottom[x] = luma(c);
    r.yBottom[x + 1] = luma(d);
    const int sb = a[0] + b[0] + c[0] + d[0];
    const int sg = a[1] + b[1] + c[1] + d[1];
    const int sr = a[2] + b[2] + c[2] + d[2];
    r.u[x / 2] = chroma(kUr, kUg, kUb, sr, sg, sb);
    r.v[x / 2] = chroma(kVr, kVg, kVb, sr, sg, sb);
  }
}

#ifdef KS_YUV_SSSE3

// 16 pixels of blue, green, red, each as two halves of 16-bit lanes.
struct Channels {
  __m128i b[2], g[2], r[2];
};

// For channel c (blue 0, green 1, red 2) and each of the three 16-byte
// loads of 16 pixels, where each of its bytes goes: byte k of the channel
// lies at 3k + c of the 48.
struct Gather {
  alignas(16) std::int8_t mask[3][3][16];
};
constexpr Gather makeGather() {
  Gather g{};
  for (int c = 0; c < 3; ++c)
    for (int part = 0; part < 3; ++part)
      for (int k = 0; k < 16; ++k) {
        const int at = 3 * k + c - 16 * part;
        g.mask[c][part][k] = static_cast<std::int8_t>(at >= 0 && at < 16 ? at : -1);
      }
  return g;
}
constexpr Gather kGather = makeGather();

__attribute__((target("ssse3"))) __m128i gather(const __m128i* a, int c) {
  const __m128i p0 = _mm_shuffle_epi8(a[0], _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.mask[c][0])));
  const __m128i p1 = _mm_shuffle_epi8(a[1], _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.mask[c][1])));
  const __m128i p2 = _mm_shuffle_epi8(a[2], _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.mask[c][2])));
  return _mm_or_si128(_mm_or_si128(p0, p1), p2);
}

__attribute__((target("ssse3"))) Channels load16(const std::uint8_t* p) {
  const __m128i a[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
  const __m128i zero = _mm_setzero_si128();
  Channels ch;
  const __m128i b = gather(a, 0), g = gather(a, 1), r = gather(a, 2);
  ch.b[0] = _mm_unpacklo_epi8(b, zero), ch.b[1] = _mm_unpackhi_epi8(b, zero);
  ch.g[0] = _mm_unpacklo_epi8(g, zero), ch.g[1] = _mm_unpackhi_epi8(g, zero);
  ch.r[0] = _mm_unpacklo_epi8(r, zero), ch.r[1] = _mm_unpackhi_epi8(r, zero);
  return ch;
}

// (kr r + kg g + kb b + offset) >> shift for eight 16-bit lanes, as eight
// 16-bit results; the offset is `extra` * 16384.
__attribute__((target("ssse3"))) __m128i weighHalf(__m128i rgPairs, __m128i bcPairs, __m128i rg, __m128i bc,
                                                   __m128i count) {
  return _mm_sra_epi32(_mm_add_epi32(_mm_madd_epi16(rgPairs, rg), _mm_madd_epi16(bcPairs, bc)), count);
}

__attribute__((target("ssse3"))) __m128i weigh(__m128i r, __m128i g, __m128i b, int kr, int kg, int kb, int extra,
                                               int shift) {
  const __m128i rg = _mm_set1_epi32(static_cast<int>((static_cast<unsigned>(kg) << 16) | (kr & 0xFFFF)));
  const __m128i bc = _mm_set1_epi32(static_cast<int>((16384u << 16) | (kb & 0xFFFF)));
  const __m128i c = _mm_set1_epi16(static_cast<short>(extra));
  const __m128i count = _mm_cvtsi32_si128(shift);
  const __m128i lo = weighHalf(_mm_unpacklo_epi16(r, g), _mm_unpacklo_epi16(b, c), rg, bc, count);
  const __m128i hi = weighHalf(_mm_unpackhi_epi16(r, g), _mm_unpackhi_epi16(b, c), rg, bc, count);
  return _mm_packs_epi32(lo, hi);
}

__attribute__((target("ssse3"))) __m128i lumas(const Channels& c) {
  return _mm_packus_epi16(weigh(c.r[0], c.g[0], c.b[0], kYr, kYg, kYb, kYExtra, 15),
                          weigh(c.r[1], c.g[1], c.b[1], kYr, kYg, kYb, kYExtra, 15));
}

// Sums of horizontal pairs of 16-bit lanes: 16 lanes (two halves) give eight.
__attribute__((target("ssse3"))) __m128i pairSums(__m128i lo, __m128i hi) { return _mm_hadd_epi16(lo, hi); }

// Output columns [0, 16 * blocks) of two rows.
__attribute__((target("ssse3"))) void rowsSsse3(const Rows& r, std::int32_t blocks) {
  for (std::int32_t k = 0; k < blocks; ++k) {
    const Channels t = load16(r.top + 48 * k), b = load16(r.bottom + 48 * k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r.yTop + 16 * k), lumas(t));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r.yBottom + 16 * k), lumas(b));
    const __m128i sr = pairSums(_mm_add_epi16(t.r[0], b.r[0]), _mm_add_epi16(t.r[1], b.r[1]));
    const __m128i sg = pairSums(_mm_add_epi16(t.g[0], b.g[0]), _mm_add_epi16(t.g[1], b.g[1]));
    const __m128i sb = pairSums(_mm_add_epi16(t.b[0], b.b[0]), _mm_add_epi16(t.b[1], b.b[1]));
    const __m128i cb = weigh(sr, sg, sb, kUr, kUg, kUb, kCExtra, 17);
    const __m128i cr = weigh(sr, sg, sb, kVr, kVg, kVb, kCExtra, 17);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(r.u + 8 * k), _mm_packus_epi16(cb, cb));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(r.v + 8 * k), _mm_packus_epi16(cr, cr));
  }
}

bool haveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}

#endif

}  // namespace

void toYuv420(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::uint8_t* out) {
  toYuv420(dib, width, height, out, true);
}

void toYuv420(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::uint8_t* out, bool vectors) {
  const Yuv420Size size = yuv420Size(width, height);
  const std::size_t stride = dibStride(width);
  const auto w2 = static_cast<std::size_t>(size.width);
  std::uint8_t* yPlane = out;
  std::uint8_t* uPlane = out + w2 * static_cast<std::size_t>(size.height);
  std::uint8_t* vPlane = uPlane + (w2 / 2) * static_cast<std::size_t>(size.height / 2);
  // Whole blocks of 16 pixels whose 48 bytes lie inside the row.
  std::int32_t blocks = 0;
#ifdef KS_YUV_SSSE3
  if (vectors && haveSsse3()) blocks = width / 16;
#else
  static_cast<void>(vectors);
#endif
  for (std::int32_t y = 0; y < size.height; y += 2) {
    // Top-down row y is DIB row height - 1 - y; the padding row repeats the last.
    const std::int32_t y1 = y + 1 < height ? y + 1 : height - 1;
    Rows r;
    r.top = dib + static_cast<std::size_t>(height - 1 - y) * stride;
    r.bottom = dib + static_cast<std::size_t>(height - 1 - y1) * stride;
    r.yTop = yPlane + static_cast<std::size_t>(y) * w2;
    r.yBottom = r.yTop + w2;
    r.u = uPlane + static_cast<std::size_t>(y / 2) * (w2 / 2);
    r.v = vPlane + static_cast<std::size_t>(y / 2) * (w2 / 2);
#ifdef KS_YUV_SSSE3
    if (blocks > 0) rowsSsse3(r, blocks);
#endif
    rowsScalar(r, 16 * blocks, size.width, width - 1);
  }
}

}  // namespace ks::pixels
