#include "media/gif_trim.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "media/gif_lzw.h"

namespace ks {
namespace {

// One colour is left for the transparent index.
constexpr std::size_t kMaxColours = 255;
constexpr std::uint32_t kUnpainted = ~0u;

std::uint32_t colourOf(const pixels::Bgra& p) { return std::uint32_t(p.r) << 16 | std::uint32_t(p.g) << 8 | p.b; }

void put16(std::vector<std::uint8_t>& out, std::int32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

struct Box {
  std::int32_t left, top, right, bottom;  // right and bottom included
};

// The canvas as one frame. Its colours are numbered in the order they first
// appear; each kMaxColours of them make an image of their pixels, shown for
// no time and left in place, the last covering the whole picture (so its
// disposal acts on all of it) and taking the delay.
void appendCanvas(const GifCanvas& canvas, std::int32_t w, std::int32_t h, std::uint16_t delay, GifDisposal disposal,
                  std::vector<std::uint8_t>& out) {
  std::unordered_map<std::uint32_t, std::uint32_t> numberOf;
  std::vector<std::uint32_t> colours, numbers(canvas.size(), kUnpainted);
  for (std::size_t i = 0; i < canvas.size(); ++i)
    if (canvas[i].a) {
      const auto [at, added] = numberOf.try_emplace(colourOf(canvas[i]), static_cast<std::uint32_t>(colours.size()));
      if (added) colours.push_back(colourOf(canvas[i]));
      numbers[i] = at->second;
    }
  const std::size_t images = std::max<std::size_t>(1, (colours.size() + kMaxColours - 1) / kMaxColours);
  std::vector<Box> boxes(images, Box{w, h, -1, -1});
  for (std::size_t i = 0; i < canvas.size(); ++i)
    if (numbers[i] != kUnpainted) {
      Box& b = boxes[numbers[i] / kMaxColours];
      const std::int32_t x = static_cast<std::int32_t>(i % std::size_t(w)), y = static_cast<std::int32_t>(i / std::size_t(w));
      b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y)};
    }
  boxes.back() = {0, 0, w - 1, h - 1};
  std::vector<std::uint8_t> indices;
  for (std::size_t image = 0; image < images; ++image) {
    const Box& b = boxes[image];
    const std::size_t first = image * kMaxColours, count = std::min(kMaxColours, colours.size() - first);
    indices.clear();
    bool transparent = false;
    for (std::int32_t y = b.top; y <= b.bottom; ++y)
      for (std::int32_t x = b.left; x <= b.right; ++x) {
        const std::uint32_t n = numbers[std::size_t(y) * w + x];
        const bool mine = n != kUnpainted && n / kMaxColours == image;
        transparent |= !mine;
        indices.push_back(static_cast<std::uint8_t>(mine ? n - first : count));
      }
    int bits = 1;
    while ((std::size_t{1} << bits) < count + (transparent ? 1 : 0)) ++bits;
    const bool last = image + 1 == images;
    const int packed = static_cast<int>(last ? disposal : GifDisposal::Keep) << 2 | (transparent ? 1 : 0);
    for (const int v : {0x21, 0xF9, 0x04, packed}) out.push_back(static_cast<std::uint8_t>(v));
    put16(out, last ? delay : 0);
    out.push_back(static_cast<std::uint8_t>(transparent ? count : 0));
    out.push_back(0);
    out.push_back(0x2C);
    for (const std::int32_t v : {b.left, b.top, b.right - b.left + 1, b.bottom - b.top + 1}) put16(out, v);
    out.push_back(static_cast<std::uint8_t>(0x80 | (bits - 1)));
    for (std::size_t e = 0; e < (std::size_t{1} << bits); ++e)
      for (const int shift : {16, 8, 0})
        out.push_back(e < count ? static_cast<std::uint8_t>(colours[first + e] >> shift) : 0);
    appendGifImageData(indices, std::max(2, bits), out);
  }
}

}  // namespace

bool trimGif(GifReader& source, std::size_t firstFrame, std::size_t lastFrame, FileSink& out, std::string& error) {
  const std::vector<GifFrameInfo>& frames = source.frames();
  if (firstFrame > lastFrame || lastFrame >= frames.size()) {
    error = "the movie has no frames " + std::to_string(firstFrame + 1) + " to " + std::to_string(lastFrame + 1);
    return false;
  }
  std::vector<std::uint8_t> bytes(source.header().begin(), source.header().end());
  bytes.insert(bytes.end(), source.loopExtension().begin(), source.loopExtension().end());
  std::size_t k = firstFrame;
  for (;; ++k) {
    const GifCanvas* canvas = source.decode(k);
    if (!canvas) {
      error = source.error();
      return false;
    }
    // A whole picture cleared by its disposal leaves nothing behind for the
    // next one written again; once a frame leaves the canvas as shown, the
    // source's next frame is drawn on what it was drawn on there.
    const bool settled = source.leavesCanvas() || k == lastFrame;
    appendCanvas(*canvas, source.width(), source.height(), frames[k].delay,
                 settled ? GifDisposal::Keep : GifDisposal::Background, bytes);
    if (settled) break;
  }
  const std::span<const std::uint8_t> all = source.bytes();
  const std::span<const std::uint8_t> copied =
      k < lastFrame ? all.subspan(frames[k + 1].begin, frames[lastFrame].end - frames[k + 1].begin) : all.first(0);
  const std::uint8_t trailer = 0x3B;
  const ConstBuffer parts[] = {{bytes.data(), bytes.size()}, {copied.data(), copied.size()}, {&trailer, 1}};
  if (!out.write(parts) || !out.flush()) {
    error = "the trimmed movie could not be written";
    return false;
  }
  return true;
}

}  // namespace ks
