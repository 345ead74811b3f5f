// Test tool: a borderless window under the capture region.
//
//   pattern.exe X Y W H SECONDS [STEP_MS]
// paints the time, so recorded frames show when they were grabbed. Top
// half: red and green carry the milliseconds since start / STEP_MS (16 bits,
// STEP_MS 10 by default), blue is 0x40; bottom half: pure blue, so a flipped
// frame is caught. With STEP_MS 1 the window repaints about every
// millisecond, so a frame's time tells when it was grabbed to a millisecond.
//
//   pattern.exe desktop X Y W H SECONDS
// paints what a desktop looks like: a text editor's page with lines of text
// and one line being typed.
//
//   pattern.exe noise X Y W H SECONDS
// paints new random pixels at every repaint: pictures that no lossless
// coding makes smaller.
//
//   pattern.exe bars X Y W H SECONDS [STEP_MS]
// paints the same time code as 16 black and white bars, the lowest bit
// left, over the top half, and the bars inverted over the bottom half: a
// code that lossy coding keeps readable, and whose halves tell a frame torn
// between two codes (lib/timecode.py reads it).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

ULONGLONG g_start = 0;
ULONGLONG g_step = 10;
bool g_desktop = false;
bool g_noise = false;
bool g_bars = false;

void paintNoise(HDC dc, const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  static std::uint32_t seed = 12345;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (std::uint32_t& p : pixels) {
    seed = seed * 1664525u + 1013904223u;
    p = seed >> 8;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, r.left, r.top, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0, static_cast<UINT>(h),
                    pixels.data(), &info, DIB_RGB_COLORS);
}

void paintTime(HDC dc, const RECT& r) {
  const ULONGLONG code = ((GetTickCount64() - g_start) / g_step) & 0xFFFF;
  RECT top = r, bottom = r;
  top.bottom = r.bottom / 2;
  bottom.top = top.bottom;
  HBRUSH a = CreateSolidBrush(RGB(code >> 8, code & 0xFF, 0x40));
  HBRUSH b = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(dc, &top, a);
  FillRect(dc, &bottom, b);
  DeleteObject(a);
  DeleteObject(b);
}

// Drawn off screen and put on it in one copy, so that a grab seldom
// catches half of a change.
void paintBars(HDC dc, const RECT& r) {
  const ULONGLONG code = ((GetTickCount64() - g_start) / g_step) & 0xFFFF;
  const LONG half = r.bottom / 2;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  for (int bit = 0; bit < 16; ++bit) {
    const bool on = (code >> bit) & 1;
    const RECT top{r.right * bit / 16, 0, r.right * (bit + 1) / 16, half};
    const RECT bottom{top.left, half, top.right, r.bottom};
    FillRect(memory, &top, static_cast<HBRUSH>(GetStockObject(on ? WHITE_BRUSH : BLACK_BRUSH)));
    FillRect(memory, &bottom, static_cast<HBRUSH>(GetStockObject(on ? BLACK_BRUSH : WHITE_BRUSH)));
  }
  BitBlt(dc, 0, 0, r.right, r.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

// A page of source text; the last line grows by a character every 120 ms.
void paintDesktop(HDC dc, const RECT& r) {
  static const char* const kLines[] = {
      "#include <cstdio>",
      "",
      "// Prints the frames a recording would hold at each rate.",
      "int main() {",
      "  const int rates[] = {1, 2, 3, 4, 5, 10, 15, 20, 30, 40, 50, 60};",
      "  for (int rate : rates) {",
      "    std::printf(\"%2d fps: %5d frames a minute\\n\", rate, rate * 60);",
      "  }",
      "  return 0;",
      "}",
  };
  static const char kTyped[] = "  // The movie follows the clock: late frames are copies of the last picture.";
  HBRUSH desk = CreateSolidBrush(RGB(0, 99, 132));
  FillRect(dc, &r, desk);
  DeleteObject(desk);
  RECT page{r.left + 40, r.top + 30, r.right - 40, r.bottom - 30};
  RECT title{page.left, page.top, page.right, page.top + 24};
  HBRUSH bar = CreateSolidBrush(RGB(45, 45, 48));
  FillRect(dc, &title, bar);
  DeleteObject(bar);
  RECT text{page.left, title.bottom, page.right, page.bottom};
  FillRect(dc, &text, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  HFONT font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, L"Courier New");
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, RGB(230, 230, 230));
  TextOutA(dc, title.left + 8, title.top + 4, "main.cpp - editor", 17);
  int y = text.top + 8;
  for (const char* line : kLines) {
    SetTextColor(dc, line[0] == '/' || std::strstr(line, "//") ? RGB(0, 128, 0) : RGB(20, 20, 120));
    TextOutA(dc, text.left + 12, y, line, static_cast<int>(std::strlen(line)));
    y += 20;
  }
  const auto typed = static_cast<int>(((GetTickCount64() - g_start) / 120) % (sizeof kTyped));
  SetTextColor(dc, RGB(0, 128, 0));
  TextOutA(dc, text.left + 12, y, kTyped, typed);
  SelectObject(dc, old);
  DeleteObject(font);
}

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      if (g_desktop) paintDesktop(dc, r);
      else if (g_noise) paintNoise(dc, r);
      else if (g_bars) paintBars(dc, r);
      else paintTime(dc, r);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
  int at = 1;
  if (argc > 1 && (std::string(argv[1]) == "desktop" || std::string(argv[1]) == "noise" ||
                   std::string(argv[1]) == "bars")) {
    g_desktop = std::string(argv[1]) == "desktop";
    g_noise = std::string(argv[1]) == "noise";
    g_bars = std::string(argv[1]) == "bars";
    ++at;
  }
  if (argc < at + 5) return 2;
  SetProcessDPIAware();
  const int x = std::atoi(argv[at]), y = std::atoi(argv[at + 1]), w = std::atoi(argv[at + 2]),
            h = std::atoi(argv[at + 3]);
  const UINT seconds = static_cast<UINT>(std::atoi(argv[at + 4]));
  if (!g_desktop && !g_noise && argc > at + 5) g_step = std::max(1, std::atoi(argv[at + 5]));
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  wc.lpszClassName = L"ks.pattern";
  RegisterClassW(&wc);
  g_start = GetTickCount64();
  HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"pattern", WS_POPUP | WS_VISIBLE, x, y, w, h,
                              nullptr, nullptr, wc.hInstance, nullptr);
  SetTimer(hwnd, 2, seconds * 1000, [](HWND window, UINT, UINT_PTR, DWORD) { DestroyWindow(window); });
  if (g_step >= 10 || g_desktop || g_noise) {
    SetTimer(hwnd, 1, 10, nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    return 0;
  }
  // Millisecond steps: repaint as often as the time code changes, waiting
  // a millisecond between repaints.
  timeBeginPeriod(1);
  for (;;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        timeEndPeriod(1);
        return 0;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}
