#include "screen_clips.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace ks::clips {
namespace {

constexpr std::int32_t kSceneW = 1920, kSceneH = 1080;
constexpr std::int32_t kTitleH = 30, kMenuH = 22, kToolH = 28;
constexpr std::int32_t kTextTop = kTitleH + kMenuH + kToolH;
constexpr std::int32_t kStatusH = 24, kScrollW = 17, kGutterW = 60, kTextLeft = 68;
constexpr std::int32_t kLineH = 20, kCellW = 9;
constexpr std::int32_t kGlyphW = 7, kGlyphH = 12;
constexpr std::int32_t kScrollStep = 12;
constexpr std::int32_t kVideoX = 560, kVideoY = 280, kVideoW = 854, kVideoH = 480;
constexpr int kTypedRow = 24;  // the Editor's typed line, counted from the top of the page
constexpr int kTypedIndent = 4;

struct Rgb {
  std::uint8_t r, g, b;
};

constexpr Rgb kWhite{255, 255, 255}, kTitle{222, 225, 230}, kMenu{240, 240, 240},
    kTool{230, 232, 236}, kGutter{245, 245, 245}, kLineNo{140, 140, 140}, kStatus{0, 122, 204},
    kTrack{240, 240, 240}, kThumb{192, 192, 192}, kInk{30, 30, 30}, kKeyword{0, 0, 255},
    kType{43, 145, 175}, kString{163, 21, 21}, kComment{0, 128, 0}, kNumber{9, 134, 88};

// Canvas: 3 bytes a pixel (blue, green, red), rows top first.
struct Canvas {
  std::uint8_t* bits;
  std::int32_t width, height;
  void put(std::int32_t x, std::int32_t y, Rgb c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::uint8_t* p = bits + (std::size_t(y) * width + x) * 3;
    p[0] = c.b, p[1] = c.g, p[2] = c.r;
  }
  void blend(std::int32_t x, std::int32_t y, Rgb c, int alpha) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::uint8_t* p = bits + (std::size_t(y) * width + x) * 3;
    p[0] = static_cast<std::uint8_t>(p[0] + (c.b - p[0]) * alpha / 255);
    p[1] = static_cast<std::uint8_t>(p[1] + (c.g - p[1]) * alpha / 255);
    p[2] = static_cast<std::uint8_t>(p[2] + (c.r - p[2]) * alpha / 255);
  }
  void fill(std::int32_t x0, std::int32_t y0, std::int32_t w, std::int32_t h, Rgb c) {
    for (std::int32_t y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
      for (std::int32_t x = std::max(0, x0); x < std::min(width, x0 + w); ++x) put(x, y, c);
  }
};

std::uint32_t mix(std::uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352du;
  v ^= v >> 15;
  v *= 0x846ca68bu;
  v ^= v >> 16;
  return v;
}

// Anti-aliased glyph shapes: a few strokes per character, soft edges.
using GlyphMap = std::array<std::uint8_t, kGlyphW * kGlyphH>;

const std::array<GlyphMap, 128>& glyphs() {
  static const std::array<GlyphMap, 128> maps = [] {
    std::array<GlyphMap, 128> all{};
    for (int ch = 33; ch < 127; ++ch) {
      int core[kGlyphH][kGlyphW] = {};
      const std::uint32_t h = mix(static_cast<std::uint32_t>(ch) * 2654435761u);
      const bool lower = ch >= 'a' && ch <= 'z';
      const int top = lower ? 4 : 1, bottom = 11;
      auto stroke = [&](int x0, int y0, int x1, int y1) {
        const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= n; ++i) {
          const int x = n ? x0 + (x1 - x0) * i / n : x0, y = n ? y0 + (y1 - y0) * i / n : y0;
          if (x >= 0 && x < kGlyphW && y >= 0 && y < kGlyphH) core[y][x] = 1;
        }
      };
      if (ch == '.' || ch == ',' || ch == ':' || ch == ';') {
        stroke(3, 10, 3, 11);
        if (ch == ':' || ch == ';') stroke(3, 5, 3, 6);
      } else if (ch == '(' || ch == ')' || ch == '[' || ch == ']' || ch == '{' || ch == '}') {
        const int x = (ch == '(' || ch == '[' || ch == '{') ? 2 : 4;
        stroke(x, 1, x, 11);
        stroke(x, 1, x + (x == 2 ? 2 : -2), 0);
        stroke(x, 11, x + (x == 2 ? 2 : -2), 12);
      } else if (ch == '=' || ch == '-' || ch == '+') {
        stroke(1, 6, 5, 6);
        if (ch == '=') stroke(1, 8, 5, 8);
        if (ch == '+') stroke(3, 4, 3, 8);
      } else {
        if (h & 1) stroke(1, top, 1, bottom);
        if (h & 2) stroke(5, top, 5, bottom);
        if (h & 4) stroke(1, top, 5, top);
        if (h & 8) stroke(1, bottom, 5, bottom);
        if (h & 16) stroke(1, (top + bottom) / 2, 5, (top + bottom) / 2);
        if (h & 32) stroke(1, bottom, 5, top);
        if (h & 64) stroke(3, top, 3, bottom);
        if ((h & 0x7F) == 0 || (h & 0x43) == 0) stroke(1, top, 5, bottom);
        if (lower && (h & 128)) stroke(1, 1, 1, top);
      }
      GlyphMap& m = all[static_cast<std::size_t>(ch)];
      for (int y = 0; y < kGlyphH; ++y)
        for (int x = 0; x < kGlyphW; ++x) {
          int a = core[y][x] * 255;
          if (!a) {
            int n = 0;
            for (int dy = -1; dy <= 1; ++dy)
              for (int dx = -1; dx <= 1; ++dx) {
                const int yy = y + dy, xx = x + dx;
                if (yy >= 0 && yy < kGlyphH && xx >= 0 && xx < kGlyphW) n += core[yy][xx] * (dx && dy ? 1 : 2);
              }
            a = std::min(200, n * 40);
          }
          m[static_cast<std::size_t>(y * kGlyphW + x)] = static_cast<std::uint8_t>(a);
        }
    }
    return all;
  }();
  return maps;
}

void drawChar(Canvas& c, std::int32_t x, std::int32_t y, char ch, Rgb ink) {
  const auto u = static_cast<unsigned char>(ch);
  if (u < 33 || u >= 127) return;
  const GlyphMap& m = glyphs()[u];
  for (int gy = 0; gy < kGlyphH; ++gy)
    for (int gx = 0; gx < kGlyphW; ++gx) {
      const int a = m[static_cast<std::size_t>(gy * kGlyphW + gx)];
      if (a) c.blend(x + 1 + gx, y + 4 + gy, ink, a);
    }
}

// One line of text: characters with a colour each.
struct TextLine {
  std::string text;
  std::vector<Rgb> colours;
  void add(const std::string& s, Rgb c) {
    text += s;
    colours.insert(colours.end(), s.size(), c);
  }
};

void drawText(Canvas& c, std::int32_t x, std::int32_t y, const TextLine& line, std::size_t count) {
  for (std::size_t i = 0; i < line.text.size() && i < count; ++i)
    drawChar(c, x + static_cast<std::int32_t>(i) * kCellW, y, line.text[i], line.colours[i]);
}

void drawText(Canvas& c, std::int32_t x, std::int32_t y, const std::string& s, Rgb ink) {
  for (std::size_t i = 0; i < s.size(); ++i) drawChar(c, x + static_cast<std::int32_t>(i) * kCellW, y, s[i], ink);
}

// Code-like lines: indented statements of keywords, names, strings, numbers
// and comments; blank lines between blocks.
TextLine documentLine(int index) {
  TextLine line;
  std::uint32_t seed = mix(static_cast<std::uint32_t>(index) * 0x9E3779B9u + 17);
  auto next = [&seed](std::uint32_t n) {
    seed = mix(seed + 0x632BE5ABu);
    return seed % n;
  };
  if (index % 9 == 8) return line;
  const int depth = static_cast<int>((index / 3) % 4) + (index % 9 == 0 ? 0 : 1);
  line.add(std::string(static_cast<std::size_t>(4 * depth), ' '), kInk);
  static const char* const kKeywords[] = {"if", "for", "return", "const", "auto", "while", "static"};
  static const char* const kTypes[] = {"int", "Frame", "std::vector", "Buffer", "size_t", "Block"};
  static const char* const kNames[] = {"width", "height", "stride", "rows", "count", "pixels",
                                       "encoder", "offset", "picture", "level", "index", "total"};
  if (next(7) == 0) {
    line.add("// ", kComment);
    const int words = 3 + static_cast<int>(next(8));
    for (int w = 0; w < words; ++w) line.add(std::string(kNames[next(12)]) + " ", kComment);
    return line;
  }
  const int tokens = 3 + static_cast<int>(next(9));
  for (int t = 0; t < tokens; ++t) {
    switch (next(6)) {
      case 0: line.add(kKeywords[next(7)], kKeyword); break;
      case 1: line.add(kTypes[next(6)], kType); break;
      case 2: line.add("\"" + std::string(kNames[next(12)]) + "\"", kString); break;
      case 3: line.add(std::to_string(next(4096)), kNumber); break;
      default: line.add(kNames[next(12)], kInk); break;
    }
    line.add(t + 1 == tokens ? ";" : (next(3) ? " " : (next(2) ? " = " : "(")), kInk);
  }
  return line;
}

TextLine typedLine() {
  TextLine line;
  line.add(std::string(kTypedIndent * 1, ' '), kInk);
  line.add("const", kKeyword);
  line.add(" ", kInk);
  line.add("Block", kType);
  line.add(" next = encoder.search(picture, ", kInk);
  line.add("16", kNumber);
  line.add(");  ", kInk);
  line.add("// the nearest match first", kComment);
  return line;
}

// The page around the text: title, menu, toolbar, gutter, scroll bar, status.
void drawChrome(Canvas& c) {
  c.fill(0, 0, c.width, kTitleH, kTitle);
  drawText(c, 40, 6, "encoder.cpp - kestrascope - Editor", kInk);
  for (int b = 0; b < 3; ++b) {
    const std::int32_t x = c.width - 46 * (3 - b) + 18;
    c.fill(x, 14, 10, 1, kInk);
    if (b == 1) c.fill(x, 9, 10, 1, kInk), c.fill(x, 9, 1, 6, kInk), c.fill(x + 9, 9, 1, 6, kInk);
  }
  c.fill(0, kTitleH, c.width, kMenuH, kMenu);
  drawText(c, 10, kTitleH - 2, "File   Edit   Selection   View   Go   Run   Terminal   Help", kInk);
  c.fill(0, kTitleH + kMenuH, c.width, kToolH, kTool);
  for (int i = 0; i < 14; ++i) {
    const Rgb colours[] = {{200, 60, 60}, {60, 140, 60}, {60, 90, 200}, {220, 170, 40}};
    c.fill(12 + i * 30, kTitleH + kMenuH + 6, 16, 16, colours[i % 4]);
    c.fill(16 + i * 30, kTitleH + kMenuH + 10, 8, 8, kWhite);
  }
  c.fill(0, kTextTop, kGutterW, c.height - kTextTop - kStatusH, kGutter);
  c.fill(c.width - kScrollW, kTextTop, kScrollW, c.height - kTextTop - kStatusH, kTrack);
  c.fill(0, c.height - kStatusH, c.width, kStatusH, kStatus);
  drawText(c, 12, c.height - kStatusH, "main   UTF-8   LF   C++", kWhite);
}

void drawStatus(Canvas& c, const std::string& position) {
  c.fill(c.width - 300, c.height - kStatusH, 200, kStatusH, kStatus);
  drawText(c, c.width - 290, c.height - kStatusH, position, kWhite);
}

void drawThumb(Canvas& c, std::int32_t offset) {
  c.fill(c.width - kScrollW, kTextTop, kScrollW, c.height - kTextTop - kStatusH, kTrack);
  c.fill(c.width - kScrollW + 3, kTextTop + offset, kScrollW - 6, 120, kThumb);
}

// Text lines with their numbers; `first` is the document line at row 0.
void drawLines(Canvas& c, std::int32_t top, int first, int count, bool gutter) {
  for (int i = 0; i < count; ++i) {
    const std::int32_t y = top + i * kLineH;
    if (gutter) {
      const std::string n = std::to_string(first + i + 1);
      drawText(c, kGutterW - 10 - static_cast<std::int32_t>(n.size()) * kCellW, y, n, kLineNo);
    }
    drawText(c, kTextLeft, y, documentLine(first + i), std::string::npos);
  }
}

void drawPointer(Canvas& c, std::int32_t x, std::int32_t y) {
  static const char* const kArrow[] = {
      "X", "XX", "X.X", "X..X", "X...X", "X....X", "X.....X", "X......X", "X.......X",
      "X........X", "X.........X", "X......XXXXX", "X...X..X", "X..XX..X", "X.X X..X",
      "XX   X..X", "X    X..X", "      X..X", "       XX"};
  for (int r = 0; r < 19; ++r)
    for (int k = 0; kArrow[r][k]; ++k) {
      if (kArrow[r][k] == 'X') c.put(x + k, y + r, Rgb{0, 0, 0});
      if (kArrow[r][k] == '.') c.put(x + k, y + r, kWhite);
    }
}

std::array<int, 1024> sineTable() {
  std::array<int, 1024> t{};
  for (int i = 0; i < 1024; ++i) t[static_cast<std::size_t>(i)] = static_cast<int>(std::lround(127.5 + 127.5 * std::sin(i * 6.283185307179586 / 1024)));
  return t;
}

// Camera-like pictures: smooth moving colour fields, a moving ball, grain.
void drawVideo(Canvas& c, int f) {
  static const std::array<int, 1024> s = sineTable();
  const int ballX = 100 + (f * 7) % 660;
  const int ballY = 240 + static_cast<int>(std::lround(110 * std::sin(f * 0.11)));
  for (int y = 0; y < kVideoH; ++y) {
    std::uint8_t* row = c.bits + (std::size_t(kVideoY + y) * c.width + kVideoX) * 3;
    for (int x = 0; x < kVideoW; ++x) {
      const int v1 = s[static_cast<std::size_t>((x * 2 + f * 6) & 1023)];
      const int v2 = s[static_cast<std::size_t>((y * 3 - f * 4) & 1023)];
      const int v3 = s[static_cast<std::size_t>((x + y + f * 9) & 1023)];
      const int detail = s[static_cast<std::size_t>((x * 23 + y * 17 - f * 21) & 1023)] / 5;
      int r = (v1 + v2) / 2 - detail / 2, g = (v2 + v3) / 2 + detail / 3, b = (v1 + v3 + 64) / 3 + detail / 2;
      const int dx = x - ballX, dy = y - ballY, d2 = dx * dx + dy * dy;
      if (d2 < 70 * 70) {
        const int shade = 255 - d2 / 25;
        r = shade, g = shade * 3 / 4, b = 40;
      }
      const std::uint32_t n = mix(static_cast<std::uint32_t>(f) * 0x01000193u ^
                                  static_cast<std::uint32_t>(y * kVideoW + x) * 0x9E3779B1u);
      auto grain = [n](int v, int shift) {
        return static_cast<std::uint8_t>(std::clamp(v + static_cast<int>((n >> shift) % 13) - 6, 0, 255));
      };
      row[3 * x + 0] = grain(b, 0);
      row[3 * x + 1] = grain(g, 8);
      row[3 * x + 2] = grain(r, 16);
    }
  }
}

}  // namespace

std::string clipName(Clip clip) {
  switch (clip) {
    case Clip::Editor: return "editor";
    case Clip::Scroll: return "scroll";
    case Clip::Video: return "video";
  }
  return "?";
}

ClipPlayer::ClipPlayer(Clip clip, std::int32_t width, std::int32_t height)
    : clip_(clip), width_(width), height_(height),
      stride_((3u * static_cast<std::uint32_t>(width) + 3u) & ~3u) {
  const std::int32_t sw = std::max(kSceneW, width), sh = std::max(kSceneH, height);
  page_.assign(std::size_t(sw) * sh * 3, 255);
  Canvas page{page_.data(), sw, sh};
  drawChrome(page);
  const int rows = (sh - kTextTop - kStatusH) / kLineH;
  if (clip == Clip::Scroll) {
    // Text for 400 frames of scrolling, then it starts again from the top.
    const int lines = rows + 400 * kScrollStep / kLineH + 2;
    document_.assign(std::size_t(sw - kScrollW) * lines * kLineH * 3, 255);
    Canvas doc{document_.data(), sw - kScrollW, lines * kLineH};
    doc.fill(0, 0, kGutterW, doc.height, kGutter);
    drawLines(doc, 0, 0, lines, true);
  } else {
    for (int i = 0; i < rows; ++i) {
      page.fill(0, kTextTop + i * kLineH, kGutterW, kLineH, kGutter);
    }
    drawLines(page, kTextTop, 0, kTypedRow, true);
    drawLines(page, kTextTop + (kTypedRow + 1) * kLineH, kTypedRow + 1, rows - kTypedRow - 1, true);
    drawText(page, kGutterW - 10 - 2 * kCellW, kTextTop + kTypedRow * kLineH, std::to_string(kTypedRow + 1), kLineNo);
    drawThumb(page, 0);
    drawStatus(page, "Ln 25, Col 5");
  }
  // A small picture looks where the clip changes.
  std::int32_t fx = 0, fy = 0;
  switch (clip) {
    case Clip::Editor:
      fx = kTextLeft + kTypedIndent * kCellW + width / 3, fy = kTextTop + kTypedRow * kLineH + 8;
      break;
    case Clip::Scroll: fx = 400, fy = 500; break;
    case Clip::Video: fx = kVideoX, fy = kVideoY + kVideoH / 2; break;
  }
  originX_ = std::clamp(fx - width / 2, 0, sw - width);
  originY_ = std::clamp(fy - height / 2, 0, sh - height);
  scene_.resize(page_.size());
  picture_.assign(std::size_t{stride_} * static_cast<std::uint32_t>(height), 0);
}

void ClipPlayer::drawScene(int index) {
  const std::int32_t sw = std::max(kSceneW, width_), sh = std::max(kSceneH, height_);
  Canvas c{scene_.data(), sw, sh};
  std::memcpy(scene_.data(), page_.data(), page_.size());
  switch (clip_) {
    case Clip::Editor: {
      const TextLine line = typedLine();
      const std::size_t typed = std::min<std::size_t>(static_cast<std::size_t>(kTypedIndent) + index / 2, line.text.size());
      const std::int32_t y = kTextTop + kTypedRow * kLineH;
      drawText(c, kTextLeft, y, line, typed);
      c.fill(kTextLeft + static_cast<std::int32_t>(typed) * kCellW, y + 2, 2, 16, kInk);
      drawStatus(c, "Ln 25, Col " + std::to_string(typed + 1));
      const double t = index;
      drawPointer(c, static_cast<std::int32_t>(std::lround(900 + 420 * std::sin(t * 0.07))),
                  static_cast<std::int32_t>(std::lround(560 + 230 * std::sin(t * 0.045 + 1))));
      break;
    }
    case Clip::Scroll: {
      const std::int32_t viewH = sh - kTextTop - kStatusH;
      const std::int32_t docH = static_cast<std::int32_t>(document_.size() / (std::size_t(sw - kScrollW) * 3));
      const std::int32_t maxScroll = docH - viewH;
      const std::int32_t scroll = static_cast<std::int32_t>((std::int64_t{index} * kScrollStep) % (maxScroll + 1));
      const std::size_t rowBytes = std::size_t(sw - kScrollW) * 3;
      for (std::int32_t y = 0; y < viewH; ++y)
        std::memcpy(scene_.data() + (std::size_t(kTextTop + y) * sw) * 3,
                    document_.data() + std::size_t(scroll + y) * rowBytes, rowBytes);
      drawThumb(c, scroll * (viewH - 120) / maxScroll);
      drawStatus(c, "Ln " + std::to_string(scroll / kLineH + 1) + ", Col 1");
      break;
    }
    case Clip::Video:
      drawVideo(c, index);
      break;
  }
}

const std::vector<std::uint8_t>& ClipPlayer::frame(int index) {
  drawScene(index);
  const std::int32_t sw = std::max(kSceneW, width_);
  for (std::int32_t r = 0; r < height_; ++r) {
    const std::int32_t sy = originY_ + (height_ - 1 - r);
    std::memcpy(picture_.data() + std::size_t{stride_} * r,
                scene_.data() + (std::size_t(sy) * sw + originX_) * 3, std::size_t(width_) * 3);
  }
  return picture_;
}

}  // namespace ks::clips
