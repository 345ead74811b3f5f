#include "frame/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ks::pictures {

namespace {

Picture blank(int w, int h, Rgb fill) {
  Picture p;
  p.width = w;
  p.height = h;
  p.bgra.resize(static_cast<std::size_t>(w) * h * 4);
  for (std::size_t i = 0; i < p.bgra.size(); i += 4) {
    p.bgra[i] = fill.b;
    p.bgra[i + 1] = fill.g;
    p.bgra[i + 2] = fill.r;
    p.bgra[i + 3] = 255;
  }
  return p;
}

void put(Picture& p, int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= p.width || y >= p.height) return;
  const std::size_t i = (static_cast<std::size_t>(y) * p.width + x) * 4;
  p.bgra[i] = c.b;
  p.bgra[i + 1] = c.g;
  p.bgra[i + 2] = c.r;
  p.bgra[i + 3] = 255;
}

void rect(Picture& p, int x, int y, int w, int h, Rgb c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) put(p, i, j, c);
}

Rgb mix(Rgb a, Rgb b, double t) {
  auto m = [t](std::uint8_t u, std::uint8_t v) {
    return static_cast<std::uint8_t>(std::lround(u + (v - u) * std::clamp(t, 0.0, 1.0)));
  };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

}  // namespace

Picture questionMark() {
  Picture p = blank(16, 16, {212, 208, 200});
  const Rgb yellow{255, 214, 0}, shade{150, 110, 0};
  // The hook, the stem and the dot, each with a darker lower-right edge so the
  // mark reads on grey.
  const char* rows[16] = {
      "................", ".....#####......", "....##...##.....", "...##.....##....",
      "...##.....##....", "..........##....", ".........##.....", "........##......",
      ".......##.......", ".......##.......", ".......##.......", "................",
      ".......##.......", ".......##.......", "................", "................",
  };
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (rows[y][x] == '#') {
        put(p, x + 1, y + 1, shade);
      }
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (rows[y][x] == '#') put(p, x, y, yellow);
  return p;
}

Picture barLeftEdge() { return blank(2, 29, kBlack); }

Picture barBottomEdge() { return blank(8, 2, kBlack); }

Picture cornerGrip() {
  Picture p = blank(27, 30, kRed);
  rect(p, 0, 28, 27, 2, kBlack);  // bottom edge
  rect(p, 25, 0, 2, 30, kBlack);  // right edge
  // Three nested right angles, corner towards the lower right.
  for (int k = 0; k < 3; ++k) {
    const int corner_x = 22 - 5 * k, corner_y = 25 - 5 * k, arm = 6 + 3 * k;
    rect(p, corner_x - arm, corner_y, arm + 1, 2, kWhite);
    rect(p, corner_x, corner_y - arm, 2, arm + 2, kWhite);
  }
  return p;
}

Picture aboutBackground() {
  Picture p = blank(550, 192, kWhite);
  const Rgb pale{226, 232, 246}, deep{80, 94, 148};
  // A soft band behind the title, fading to white.
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 550; ++x) {
      const double t = std::min(1.0, (x / 550.0) * 0.6 + (y / 60.0) * 0.7);
      if (y < 60) put(p, x, y, mix(pale, kWhite, t));
    }
  // A thin rule under the title and a frame of arcs on the right, like the
  // sweep of a kestrel's wing.
  rect(p, 28, 46, 230, 2, deep);
  for (int r = 0; r < 4; ++r) {
    const double radius = 150 + r * 14;
    for (int a = 0; a <= 900; ++a) {
      const double angle = 3.14159265358979 * (0.5 + a / 1800.0);
      const int x = static_cast<int>(std::lround(560 + radius * std::cos(angle)));
      const int y = static_cast<int>(std::lround(200 - radius * std::sin(angle)));
      put(p, x, y, mix(deep, kWhite, 0.55 + r * 0.1));
    }
  }
  return p;
}

}  // namespace ks::pictures
