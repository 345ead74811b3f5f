#include "screen_clips.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>

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

// The Interface clip: a file manager's window on the desktop, 1280x720.
constexpr std::int32_t kUiW = 1280, kUiH = 720;
constexpr std::int32_t kUiTitleH = 30, kUiMenuH = 22, kUiToolH = 40, kUiStatusH = 22;
constexpr std::int32_t kUiBodyTop = kUiTitleH + kUiMenuH + kUiToolH;
constexpr std::int32_t kTreeW = 260, kUiRowH = 22, kHeaderH = 24;
constexpr std::int32_t kListRows = (kUiH - kUiBodyTop - kUiStatusH - kHeaderH) / kUiRowH;
constexpr std::int32_t kMenuX = 48, kMenuItemH = 24, kMenuW = 200;
constexpr std::int32_t kDialogW = 420, kDialogH = 170;
constexpr std::int32_t kFieldX = 20, kFieldY = 62, kFieldW = 380, kFieldH = 26;
constexpr int kUiCycle = 120;

constexpr Rgb kDesktop{0, 99, 177}, kFace{243, 243, 243}, kLine{204, 204, 204}, kSelect{0, 120, 215},
    kHover{229, 241, 251}, kHoverLine{204, 232, 255}, kRowAlt{248, 249, 251}, kGrey{109, 109, 109},
    kFolder{255, 202, 40}, kFolderDark{224, 160, 20};

const char* const kMenuItems[] = {"Undo", "Redo", "Cut", "Copy", "Paste", "Select all", "Find...", "Replace..."};
constexpr int kFindItem = 6;
const char kTyped[] = "quarterly report 2026";

void outline(Canvas& c, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, Rgb colour) {
  c.fill(x, y, w, 1, colour);
  c.fill(x, y + h - 1, w, 1, colour);
  c.fill(x, y, 1, h, colour);
  c.fill(x + w - 1, y, 1, h, colour);
}

// A soft shadow below and right of a box, fading over 6 pixels.
void shadow(Canvas& c, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  for (int k = 1; k <= 6; ++k) {
    const int alpha = (7 - k) * 12;
    for (std::int32_t i = x + k; i < x + w + k; ++i) c.blend(i, y + h - 1 + k, Rgb{0, 0, 0}, alpha);
    for (std::int32_t j = y + k; j < y + h - 1 + k; ++j) c.blend(x + w - 1 + k, j, Rgb{0, 0, 0}, alpha);
  }
}

// A round icon with a soft edge.
void disc(Canvas& c, std::int32_t cx, std::int32_t cy, int radius, Rgb colour) {
  for (int dy = -radius - 1; dy <= radius + 1; ++dy)
    for (int dx = -radius - 1; dx <= radius + 1; ++dx) {
      const double d = std::sqrt(double(dx * dx + dy * dy)) - radius;
      if (d < 1) c.blend(cx + dx, cy + dy, colour, d <= 0 ? 255 : static_cast<int>(255 * (1 - d)));
    }
}

std::string fileName(int row) {
  static const char* const kWords[] = {"budget", "notes", "report", "invoice", "photo", "draft", "summary",
                                       "plan", "letter", "backup", "scan", "minutes"};
  static const char* const kKinds[] = {".docx", ".xlsx", ".pdf", ".png", ".txt", ".zip"};
  const std::uint32_t h = mix(static_cast<std::uint32_t>(row) * 0x9E3779B9u + 5);
  return std::string(kWords[h % 12]) + "_" + std::to_string(2019 + h / 12 % 8) + kKinds[h / 96 % 6];
}

void drawListRow(Canvas& c, std::int32_t ox, std::int32_t oy, int row, bool selected) {
  const std::int32_t x = ox + kTreeW + 1, y = oy + kUiBodyTop + kHeaderH + row * kUiRowH, w = kUiW - kTreeW - 1;
  c.fill(x, y, w, kUiRowH, selected ? kSelect : row % 2 ? kRowAlt : kWhite);
  const Rgb ink = selected ? kWhite : kInk;
  const std::uint32_t h = mix(static_cast<std::uint32_t>(row) * 0x9E3779B9u + 5);
  c.fill(x + 8, y + 4, 12, 14, selected ? kWhite : Rgb{90, 140, 210});
  c.fill(x + 10, y + 7, 8, 1, selected ? kSelect : kWhite);
  drawText(c, x + 28, y + 1, fileName(row), ink);
  drawText(c, x + 380, y + 1, std::to_string(1 + h % 900) + " KB", ink);
  static const char* const kTypes[] = {"Document", "Spreadsheet", "PDF file", "PNG image", "Text file", "Archive"};
  drawText(c, x + 500, y + 1, kTypes[h / 96 % 6], ink);
  drawText(c, x + 680, y + 1, std::to_string(1 + h % 28) + "/" + std::to_string(1 + h / 28 % 12) + "/2026 " +
                                  std::to_string(8 + h % 10) + ":" + std::to_string(10 + h % 50), ink);
}

void drawUiStatus(Canvas& c, std::int32_t ox, std::int32_t oy, const std::string& text) {
  c.fill(ox, oy + kUiH - kUiStatusH, kUiW, kUiStatusH, kFace);
  c.fill(ox, oy + kUiH - kUiStatusH, kUiW, 1, kLine);
  drawText(c, ox + 10, oy + kUiH - kUiStatusH, text, kInk);
}

// The still window: title, menus, toolbar with a search field, a folder
// tree, the file list and the status bar.
void drawWindow(Canvas& c, std::int32_t ox, std::int32_t oy) {
  shadow(c, ox, oy, kUiW, kUiH);
  c.fill(ox, oy, kUiW, kUiTitleH, kWhite);
  disc(c, ox + 16, oy + 15, 7, kFolder);
  drawText(c, ox + 32, oy + 6, "Documents - Files", kInk);
  for (int b = 0; b < 3; ++b) {
    const std::int32_t x = ox + kUiW - 46 * (3 - b) + 18;
    c.fill(x, oy + 14, 10, 1, kInk);
    if (b == 1) outline(c, x, oy + 9, 10, 10, kInk);
  }
  c.fill(ox, oy + kUiTitleH, kUiW, kUiMenuH, kWhite);
  drawText(c, ox + 8, oy + kUiTitleH - 2, "File   Edit   View   Tools   Window   Help", kInk);
  c.fill(ox, oy + kUiTitleH + kUiMenuH, kUiW, kUiToolH, kFace);
  const Rgb icons[] = {{220, 70, 60}, {60, 160, 80}, {40, 110, 210}, {230, 170, 30}, {130, 80, 190}};
  for (int i = 0; i < 12; ++i) {
    const std::int32_t x = ox + 10 + i * 38, y = oy + kUiTitleH + kUiMenuH + 4;
    if (i == 4 || i == 9) {
      c.fill(x - 4, y + 4, 1, 24, kLine);
      continue;
    }
    disc(c, x + 16, y + 16, 9, icons[i % 5]);
    c.fill(x + 12, y + 15, 9, 3, kWhite);
  }
  const std::int32_t searchX = ox + kUiW - 320, searchY = oy + kUiTitleH + kUiMenuH + 7;
  c.fill(searchX, searchY, 300, 26, kWhite);
  outline(c, searchX, searchY, 300, 26, kLine);
  drawText(c, searchX + 8, searchY + 2, "Search Documents", kGrey);
  // Folder tree.
  const std::int32_t bodyH = kUiH - kUiBodyTop - kUiStatusH;
  c.fill(ox, oy + kUiBodyTop, kTreeW, bodyH, kWhite);
  c.fill(ox + kTreeW, oy + kUiBodyTop, 1, bodyH, kLine);
  static const char* const kFolders[] = {"Desktop", "Documents", "Invoices", "Reports", "2025", "2026",
                                         "Letters", "Downloads", "Music", "Pictures", "Holiday", "Scans",
                                         "Videos", "Projects", "kestrascope", "Backups"};
  static const int kDepth[] = {0, 0, 1, 1, 2, 2, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0};
  for (int i = 0; i < 16; ++i) {
    const std::int32_t x = ox + 12 + 16 * kDepth[i], y = oy + kUiBodyTop + 6 + i * kUiRowH;
    if (i == 5) c.fill(ox + 1, y, kTreeW - 2, kUiRowH, kHover), outline(c, ox + 1, y, kTreeW - 2, kUiRowH, kHoverLine);
    const bool open = i + 1 < 16 && kDepth[i + 1] > kDepth[i];
    for (int k = 0; k < 4; ++k)
      c.fill(x + (open ? k : 1 + k / 2), y + 8 + (open ? k : k), open ? 7 - 2 * k : 1, 1, kGrey);
    c.fill(x + 12, y + 5, 16, 12, kFolder);
    c.fill(x + 12, y + 5, 7, 2, kFolderDark);
    drawText(c, x + 34, y + 1, kFolders[i], kInk);
  }
  // File list: column heads, rows.
  c.fill(ox + kTreeW + 1, oy + kUiBodyTop, kUiW - kTreeW - 1, bodyH, kWhite);
  c.fill(ox + kTreeW + 1, oy + kUiBodyTop + kHeaderH - 1, kUiW - kTreeW - 1, 1, kLine);
  const std::int32_t columns[] = {28, 380, 500, 680};
  const char* const heads[] = {"Name", "Size", "Type", "Date modified"};
  for (int k = 0; k < 4; ++k) {
    drawText(c, ox + kTreeW + 1 + columns[k], oy + kUiBodyTop + 2, heads[k], kGrey);
    if (k) c.fill(ox + kTreeW + columns[k] - 10, oy + kUiBodyTop + 4, 1, kHeaderH - 8, kLine);
  }
  for (int row = 0; row < kListRows; ++row) drawListRow(c, ox, oy, row, false);
  drawUiStatus(c, ox, oy, std::to_string(kListRows) + " items");
}

void drawMenu(Canvas& c, std::int32_t ox, std::int32_t oy, int hovered) {
  const std::int32_t x = ox + kMenuX, y = oy + kUiTitleH + kUiMenuH, h = 8 * kMenuItemH + 8;
  c.fill(x - 4, oy + kUiTitleH, 48, kUiMenuH, kHover);
  drawText(c, ox + 8, oy + kUiTitleH - 2, "       Edit", kInk);
  shadow(c, x, y, kMenuW, h);
  c.fill(x, y, kMenuW, h, kWhite);
  outline(c, x, y, kMenuW, h, kLine);
  for (int i = 0; i < 8; ++i) {
    const std::int32_t iy = y + 4 + i * kMenuItemH;
    if (i == hovered) c.fill(x + 3, iy, kMenuW - 6, kMenuItemH, kHover);
    drawText(c, x + 28, iy + 2, kMenuItems[i], i == 1 ? kGrey : kInk);
    if (i == 2 || i == 5) c.fill(x + 8, iy, kMenuW - 16, 1, kLine);
  }
}

void drawDialog(Canvas& c, std::int32_t ox, std::int32_t oy, std::size_t typed, bool caret, bool pressed) {
  const std::int32_t x = ox + (kUiW - kDialogW) / 2, y = oy + (kUiH - kDialogH) / 2;
  shadow(c, x, y, kDialogW, kDialogH);
  c.fill(x, y, kDialogW, kDialogH, kFace);
  outline(c, x, y, kDialogW, kDialogH, kSelect);
  c.fill(x + 1, y + 1, kDialogW - 2, 30, kWhite);
  drawText(c, x + 12, y + 6, "Find", kInk);
  drawText(c, x + kDialogW - 30, y + 6, "x", kInk);
  drawText(c, x + kFieldX, y + 38, "Find what:", kInk);
  c.fill(x + kFieldX, y + kFieldY, kFieldW, kFieldH, kWhite);
  outline(c, x + kFieldX, y + kFieldY, kFieldW, kFieldH, kSelect);
  const std::string text(kTyped, typed);
  drawText(c, x + kFieldX + 6, y + kFieldY + 2, text, kInk);
  if (caret) c.fill(x + kFieldX + 7 + static_cast<std::int32_t>(typed) * kCellW, y + kFieldY + 5, 1, 16, kInk);
  c.fill(x + kFieldX, y + 100, 14, 14, kWhite);
  outline(c, x + kFieldX, y + 100, 14, 14, kGrey);
  drawText(c, x + kFieldX + 22, y + 96, "Match case", kInk);
  const char* const buttons[] = {"Find Next", "Cancel"};
  for (int b = 0; b < 2; ++b) {
    const std::int32_t bx = x + kDialogW - 220 + b * 104, by = y + kDialogH - 40;
    c.fill(bx, by, 96, 28, b == 0 ? (pressed ? Rgb{0, 84, 153} : kSelect) : kWhite);
    outline(c, bx, by, 96, 28, b == 0 ? Rgb{0, 84, 153} : kLine);
    drawText(c, bx + 10, by + 3, buttons[b], b == 0 ? kWhite : kInk);
  }
}

// Where the pointer is at step t of the cycle: straight moves between
// stops, eased.
void pointerAt(int t, std::int32_t& x, std::int32_t& y) {
  struct Stop {
    int t;
    std::int32_t x, y;
  };
  static const Stop kStops[] = {{0, 760, 420},  {6, 70, 41},    {7, 70, 41},    {12, 100, 216},
                                {13, 100, 216}, {18, 560, 360}, {60, 560, 360}, {63, 700, 476},
                                {68, 700, 476}, {80, 820, 300}, {100, 600, 520}, {120, 760, 420}};
  for (std::size_t i = 0; i + 1 < std::size(kStops); ++i)
    if (t < kStops[i + 1].t) {
      const Stop a = kStops[i], b = kStops[i + 1];
      const double s = double(t - a.t) / (b.t - a.t), e = s * s * (3 - 2 * s);
      x = a.x + static_cast<std::int32_t>(std::lround((b.x - a.x) * e));
      y = a.y + static_cast<std::int32_t>(std::lround((b.y - a.y) * e));
      return;
    }
  x = kStops[0].x, y = kStops[0].y;
}

// Step t of the cycle: the pointer goes to Edit, the menu opens and the
// pointer runs down it to Find..., the Find dialog comes up and a word is
// typed, Find Next is pressed, then the selection walks down the list.
void drawInterface(Canvas& c, std::int32_t ox, std::int32_t oy, int index) {
  const int t = index % kUiCycle;
  if (t >= 6 && t < 13) drawMenu(c, ox, oy, t < 8 ? -1 : std::min(kFindItem, t - 7));
  const std::size_t typed = std::min<std::size_t>(t < 16 ? 0 : (t - 16) / 2 + 1, std::strlen(kTyped));
  if (t >= 13 && t < 66) drawDialog(c, ox, oy, typed, (t / 8) % 2 == 0, t >= 62);
  if (t >= 66) {
    const int row = 3 + (t - 66) / 4;
    drawListRow(c, ox, oy, row, true);
    drawUiStatus(c, ox, oy, std::to_string(kListRows) + " items   1 selected   " + fileName(row));
  }
  std::int32_t px = 0, py = 0;
  pointerAt(t, px, py);
  drawPointer(c, ox + px, oy + py);
}

}  // namespace

std::string clipName(Clip clip) {
  switch (clip) {
    case Clip::Editor: return "editor";
    case Clip::Scroll: return "scroll";
    case Clip::Video: return "video";
    case Clip::Interface: return "interface";
  }
  return "?";
}

ClipPlayer::ClipPlayer(Clip clip, std::int32_t width, std::int32_t height)
    : clip_(clip), width_(width), height_(height),
      stride_((3u * static_cast<std::uint32_t>(width) + 3u) & ~3u) {
  const bool ui = clip == Clip::Interface;
  sceneW_ = std::max(ui ? kUiW : kSceneW, width), sceneH_ = std::max(ui ? kUiH : kSceneH, height);
  const std::int32_t sw = sceneW_, sh = sceneH_;
  page_.assign(std::size_t(sw) * sh * 3, 255);
  Canvas page{page_.data(), sw, sh};
  scene_.resize(page_.size());
  picture_.assign(std::size_t{stride_} * static_cast<std::uint32_t>(height), 0);
  if (ui) {
    // The window in the middle of a larger desktop; a small picture looks
    // at the Find dialog's text field.
    page.fill(0, 0, sw, sh, kDesktop);
    windowX_ = (sw - kUiW) / 2, windowY_ = (sh - kUiH) / 2;
    drawWindow(page, windowX_, windowY_);
    const std::int32_t fx = windowX_ + (kUiW - kDialogW) / 2 + kFieldX + kFieldW / 2,
                       fy = windowY_ + (kUiH - kDialogH) / 2 + kFieldY;
    originX_ = std::clamp(fx - width / 2, 0, sw - width);
    originY_ = std::clamp(fy - height / 2, 0, sh - height);
    return;
  }
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
    case Clip::Interface: break;
  }
  originX_ = std::clamp(fx - width / 2, 0, sw - width);
  originY_ = std::clamp(fy - height / 2, 0, sh - height);
}

void ClipPlayer::drawScene(int index) {
  const std::int32_t sw = sceneW_, sh = sceneH_;
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
    case Clip::Interface:
      drawInterface(c, windowX_, windowY_, index);
      break;
  }
}

const std::vector<std::uint8_t>& ClipPlayer::frame(int index) {
  drawScene(index);
  const std::int32_t sw = sceneW_;
  for (std::int32_t r = 0; r < height_; ++r) {
    const std::int32_t sy = originY_ + (height_ - 1 - r);
    std::memcpy(picture_.data() + std::size_t{stride_} * r,
                scene_.data() + (std::size_t(sy) * sw + originX_) * 3, std::size_t(width_) * 3);
  }
  return picture_;
}

}  // namespace ks::clips
