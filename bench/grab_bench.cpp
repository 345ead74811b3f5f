// Grabs of a 1920 x 1080 region at (0, 0) by the screen grabber, against one
// plain BitBlt of the same region into a DIB section, measured in the same
// run on the same screen:
//   grab_1080p: X grabs/s vs single_bitblt Y grabs/s = Z.ZZx
//
//   grab_bench [--seconds S]   measure for about S seconds each (default 6)
//   grab_bench --explore       also time the ways of copying the screen
//   grab_bench --sweep R,R,..  time 1080p copies in bands of R rows
//   grab_bench --snapshot F    show a test pattern, put the pointer on it
//                              and save one grab as the BMP file F
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/gdi_grabber.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_native.h"

namespace {

using Clock = std::chrono::steady_clock;
using ks::win32::UniqueHandle;

struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = UniqueHandle<HDC, DcDeleter>;
using UniqueBitmap = UniqueHandle<HBITMAP, ks::win32::GdiObjectDeleter>;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A memory DC holding a DIB section (top-down when height < 0) or, with
// bitCount 0, a bitmap compatible with the screen.
class Target {
 public:
  Target(int width, int height, int bitCount) {
    const ks::win32::WindowDc screen(nullptr);
    dc_.reset(CreateCompatibleDC(screen.get()));
    if (bitCount == 0) {
      bitmap_.reset(CreateCompatibleBitmap(screen.get(), width, std::abs(height)));
    } else {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      info.bmiHeader.biWidth = width;
      info.bmiHeader.biHeight = height;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = static_cast<WORD>(bitCount);
      info.bmiHeader.biCompression = BI_RGB;
      bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
    }
    previous_ = SelectObject(dc_.get(), bitmap_.get());
  }
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;
  ~Target() { SelectObject(dc_.get(), previous_); }
  HDC dc() const { return dc_.get(); }
  HBITMAP bitmap() const { return bitmap_.get(); }
  bool ok() const { return dc_ && bitmap_; }

 private:
  UniqueBitmap bitmap_;
  UniqueDc dc_;
  HGDIOBJ previous_ = nullptr;
  void* bits_ = nullptr;
};

// Runs `once` repeatedly for about `seconds` (at least 3 times); calls per second.
double rate(double seconds, const std::function<bool()>& once) {
  int calls = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  Clock::time_point now;
  do {
    if (!once()) return 0;
    ++calls;
    now = Clock::now();
  } while (now < end || calls < 3);
  return calls / std::chrono::duration<double>(now - start).count();
}

// One plain BitBlt per grab, in bands of `rows` (the whole height when 0).
bool blitScreen(const Target& target, int width, int height, int rows) {
  const ks::win32::WindowDc screen(nullptr);
  if (rows <= 0) rows = height;
  for (int top = 0; top < height; top += rows) {
    if (!BitBlt(target.dc(), 0, top, width, std::min(rows, height - top), screen.get(), 0, top, SRCCOPY)) {
      return false;
    }
  }
  GdiFlush();
  return true;
}

struct Timing {
  double bestMs = 0, meanMs = 0;
  int calls = 0;
};

// Per-call times of `once` over about `seconds`: the best and the mean.
Timing timeCalls(double seconds, const std::function<bool()>& once) {
  double best = 1e9, total = 0;
  int calls = 0;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  do {
    const auto start = Clock::now();
    if (!once()) return {};
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    best = std::min(best, ms);
    total += ms;
    ++calls;
  } while (Clock::now() < end || calls < 3);
  return {best, total / calls, calls};
}

// The whole 1080p region in bands, the screen DC from GetDC or CreateDC.
void sweepBands(double seconds, const std::vector<int>& bandRows) {
  std::printf("# 1920x1080 at (0, 0) into a 24-bit DIB section: best and mean ms per grab\n");
  const Target target(kWidth, kHeight, 24);
  for (const int rows : bandRows) {
    const Timing getDc = timeCalls(seconds, [&] { return blitScreen(target, kWidth, kHeight, rows); });
    const UniqueDc display(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    const Timing createDc = timeCalls(seconds, [&] {
      for (int top = 0; top < kHeight; top += rows) {
        if (!BitBlt(target.dc(), 0, top, kWidth, std::min(rows, kHeight - top), display.get(), 0, top, SRCCOPY)) {
          return false;
        }
      }
      GdiFlush();
      return true;
    });
    std::printf("sweep_rows%d: getdc best %.2f mean %.2f ms (%d grabs), createdc_display best %.2f mean %.2f ms (%d grabs)\n",
                rows, getDc.bestMs, getDc.meanMs, getDc.calls, createDc.bestMs, createDc.meanMs, createDc.calls);
  }
}

void explore(double seconds) {
  std::printf("# milliseconds per grab, region at (0, 0)\n");
  auto report = [](const char* what, int width, int height, int rows, int bits, double perSecond) {
    std::printf("explore_%s_%dx%d_rows%d_%dbpp: %.2f ms\n", what, width, height, rows, bits,
                perSecond > 0 ? 1000.0 / perSecond : -1.0);
  };
  // One BitBlt of growing height: the time per row is not constant.
  for (const int height : {16, 32, 64, 128, 256, 512, 1080}) {
    const Target target(kWidth, height, 24);
    report("bitblt", kWidth, height, height, 24,
           rate(seconds, [&] { return blitScreen(target, kWidth, height, 0); }));
  }
  {
    const Target target(640, 480, 24);
    report("bitblt", 640, 480, 480, 24, rate(seconds, [&] { return blitScreen(target, 640, 480, 0); }));
  }
  // The whole 1080p region in bands, into 24- and 32-bit DIB sections.
  for (const int bits : {24, 32}) {
    const Target target(kWidth, kHeight, bits);
    for (const int rows : {1, 4, 8, 16, 24, 32, 48, 64, 128, 270, 1080}) {
      report("bands", kWidth, kHeight, rows, bits,
             rate(seconds, [&] { return blitScreen(target, kWidth, kHeight, rows); }));
    }
  }
  // Fixed costs, on a small region.
  {
    const Target target(64, 48, 24);
    report("bitblt_getdc", 64, 48, 48, 24, rate(seconds, [&] { return blitScreen(target, 64, 48, 0); }));
    const ks::win32::WindowDc screen(nullptr);
    report("bitblt_dc_held", 64, 48, 48, 24, rate(seconds, [&] {
             return BitBlt(target.dc(), 0, 0, 64, 48, screen.get(), 0, 0, SRCCOPY) != FALSE;
           }));
    report("getcursorinfo", 64, 48, 48, 24, rate(seconds, [&] {
             CURSORINFO info{};
             info.cbSize = sizeof(info);
             return GetCursorInfo(&info) != FALSE;
           }));
    const HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    report("drawiconex", 64, 48, 48, 24, rate(seconds, [&] {
             return DrawIconEx(target.dc(), 5, 5, arrow, 0, 0, 0, nullptr, DI_NORMAL) != FALSE;
           }));
    report("virtual_screen_metrics", 64, 48, 48, 24, rate(seconds, [&] {
             return GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_YVIRTUALSCREEN) +
                        GetSystemMetrics(SM_CXVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN) > 0;
           }));
    auto grabber = ks::makeGdiGrabber();
    report("grabber_same_size", 64, 48, 48, 24, rate(seconds, [&] { return grabber->grabRect(64, 48, 0, 0); }));
    int i = 0;
    report("grabber_new_size", 64, 48, 48, 24,
           rate(seconds, [&] { return grabber->grabRect(64 + (++i % 2), 48, 0, 0); }));
  }
  // A bitmap compatible with the screen, then GetDIBits to 24 bits.
  {
    const Target target(kWidth, kHeight, 0);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(ks::dibStride(kWidth)) * kHeight);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    for (const int rows : {32, 1080}) {
      report("compatible_getdibits", kWidth, kHeight, rows, 24, rate(seconds, [&] {
               return blitScreen(target, kWidth, kHeight, rows) &&
                      GetDIBits(target.dc(), target.bitmap(), 0, kHeight, pixels.data(), &info,
                                DIB_RGB_COLORS) == kHeight;
             }));
    }
  }
}

// A window with coloured quadrants and a white cross at its centre.
LRESULT CALLBACK patternProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    ks::win32::PaintScope paint(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    const int midX = client.right / 2, midY = client.bottom / 2;
    const struct {
      RECT rect;
      COLORREF colour;
    } quadrants[] = {{{0, 0, midX, midY}, RGB(255, 0, 0)},
                     {{midX, 0, client.right, midY}, RGB(0, 255, 0)},
                     {{0, midY, midX, client.bottom}, RGB(0, 0, 255)},
                     {{midX, midY, client.right, client.bottom}, RGB(255, 255, 0)}};
    for (const auto& q : quadrants) {
      const ks::win32::UniqueBrush brush(CreateSolidBrush(q.colour));
      FillRect(paint.dc(), &q.rect, brush.get());
    }
    const ks::win32::UniqueBrush white(CreateSolidBrush(RGB(255, 255, 255)));
    const RECT across{midX - 40, midY - 1, midX + 41, midY + 2};
    const RECT down{midX - 1, midY - 40, midX + 2, midY + 41};
    FillRect(paint.dc(), &across, white.get());
    FillRect(paint.dc(), &down, white.get());
    SetBkMode(paint.dc(), TRANSPARENT);
    SetTextColor(paint.dc(), RGB(255, 255, 255));
    RECT text{10, 10, midX, 40};
    DrawTextW(paint.dc(), L"top-left: red", -1, &text, DT_LEFT);
    return 0;
  }
  if (message == WM_SETCURSOR) {
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_IBEAM)));
    return TRUE;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void pump(int milliseconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (Clock::now() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool writeBmp(const std::string& path, const ks::CapturedPicture& picture) {
  const std::uint32_t imageSize = picture.stride * static_cast<std::uint32_t>(picture.height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = picture.width;
  info.biHeight = picture.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = imageSize;
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
  return out && std::fwrite(&file, sizeof(file), 1, out.get()) == 1 &&
         std::fwrite(&info, sizeof(info), 1, out.get()) == 1 &&
         std::fwrite(picture.bits, 1, imageSize, out.get()) == imageSize;
}

int snapshot(const std::string& path) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = patternProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"grab_bench_pattern";
  const ks::win32::WindowClass windowClass(wc.hInstance, RegisterClassExW(&wc));
  // 400 x 300 at (300, 200); the pointer at its centre, where the cross is.
  const ks::win32::UniqueWindow window(CreateWindowExW(WS_EX_TOPMOST, windowClass.name(), L"grab pattern",
                                                       WS_POPUP | WS_VISIBLE, 300, 200, 400, 300, nullptr,
                                                       nullptr, wc.hInstance, nullptr));
  SetForegroundWindow(window.get());
  SetCursorPos(500, 350);
  pump(1500);
  auto grabber = ks::makeGdiGrabber();
  if (!grabber->grabRect(kWidth, kHeight, 0, 0) || !writeBmp(path, grabber->picture())) {
    std::fprintf(stderr, "grab_bench: no snapshot written\n");
    return 1;
  }
  CURSORINFO cursor{};
  cursor.cbSize = sizeof(cursor);
  GetCursorInfo(&cursor);
  ICONINFO icon{};
  if (cursor.hCursor && GetIconInfo(cursor.hCursor, &icon)) {
    const UniqueBitmap mask(icon.hbmMask), colour(icon.hbmColor);
  }
  std::printf("snapshot: pointer at %ld,%ld, cursor hotspot %lu,%lu, showing %d, written to %s\n",
              cursor.ptScreenPos.x, cursor.ptScreenPos.y, icon.xHotspot, icon.yHotspot,
              (cursor.flags & CURSOR_SHOWING) ? 1 : 0, path.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ks::win32::becomeDpiAware();
  double seconds = 6;
  bool wantExplore = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::max(0.5, std::atof(argv[++i]));
    } else if (arg == "--explore") {
      wantExplore = true;
    } else if (arg == "--sweep" && i + 1 < argc) {
      std::vector<int> rows;
      for (const char* p = argv[++i]; *p;) {
        char* next = nullptr;
        rows.push_back(static_cast<int>(std::strtol(p, &next, 10)));
        p = *next == ',' ? next + 1 : next;
      }
      sweepBands(std::max(0.3, seconds / 10), rows);
      return 0;
    } else if (arg == "--snapshot" && i + 1 < argc) {
      return snapshot(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: grab_bench [--seconds S] [--explore] [--snapshot FILE.bmp]\n");
      return 2;
    }
  }

  const Target plain(kWidth, kHeight, 24);
  auto grabber = ks::makeGdiGrabber(ks::GdiGrabberOptions{});
  if (!plain.ok()) return 1;
  // The grabber's first grabs time the band heights; the figure is the
  // steady state after that.
  const auto tuneStart = Clock::now();
  int tuningGrabs = 0;
  while (grabber->bandRows() == 0) {
    if (!grabber->grabRect(kWidth, kHeight, 0, 0)) {
      std::fprintf(stderr, "grab_bench: grab failed\n");
      return 1;
    }
    ++tuningGrabs;
  }
  const double tuneMs = std::chrono::duration<double, std::milli>(Clock::now() - tuneStart).count();

  // Alternate the two in rounds so that both see the same machine.
  constexpr int kRounds = 3;
  double grabs = 0, blits = 0;
  for (int round = 0; round < kRounds; ++round) {
    blits += rate(seconds / (2 * kRounds), [&] { return blitScreen(plain, kWidth, kHeight, 0); });
    grabs += rate(seconds / (2 * kRounds), [&] { return grabber->grabRect(kWidth, kHeight, 0, 0); });
  }
  grabs /= kRounds;
  blits /= kRounds;
  std::printf("grab_1080p: %.1f grabs/s vs single_bitblt %.1f grabs/s = %.2fx\n", grabs, blits,
              blits > 0 ? grabs / blits : 0.0);
  std::printf("grab_1080p_band_rows: %d rows\n", grabber->bandRows());
  std::printf("grab_1080p_tuning: %.0f ms over %d grabs\n", tuneMs, tuningGrabs);
  if (wantExplore) explore(std::max(0.3, seconds / 10));
  return 0;
}
