// The GDI grabber against a real screen (run under Wine): a window painted
// with a known pattern is grabbed and compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/gdi_grabber.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_native.h"

namespace ks {
namespace {

using UniqueBitmap = win32::UniqueHandle<HBITMAP, win32::GdiObjectDeleter>;

// A colour that differs between neighbouring pixels in every channel.
COLORREF patternAt(int x, int y) {
  return RGB(static_cast<BYTE>(x * 7 + y * 3 + 1), static_cast<BYTE>(x * 5 + y * 11 + 2),
             static_cast<BYTE>(200 - x * 3 - y * 13));
}

void pumpFor(std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}

// Moves the pointer and waits until the system reports it there: under Wine
// the X server's answer to an earlier move can arrive late and undo it.
void movePointer(int x, int y) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  POINT at{};
  do {
    SetCursorPos(x, y);
    pumpFor(std::chrono::milliseconds(30));
    GetCursorPos(&at);
  } while ((at.x != x || at.y != y) && std::chrono::steady_clock::now() < end);
  EXPECT_TRUE(at.x == x && at.y == y) << "the pointer would not move to " << x << "," << y;
}

// A topmost borderless window that paints the pattern over its client area
// (pattern coordinates relative to the window's top-left corner).
class PatternWindow {
 public:
  PatternWindow(int x, int y, int width, int height) : width_(width), height_(height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PatternWindow::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ks_grabber_test_pattern";
    class_ = win32::WindowClass(wc.hInstance, RegisterClassExW(&wc));
    pattern_.resize(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
      for (int column = 0; column < width; ++column) {
        const COLORREF c = patternAt(column, row);
        // 0x00RRGGBB, as a 32-bit top-down DIB holds it.
        pattern_[static_cast<std::size_t>(row) * width + column] =
            (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
      }
    }
    window_ = win32::UniqueWindow(CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, class_.name(), L"pattern",
                                                  WS_POPUP, x, y, width, height, nullptr, nullptr,
                                                  wc.hInstance, this));
    ShowWindow(window_.get(), SW_SHOW);
    SetForegroundWindow(window_.get());
    UpdateWindow(window_.get());
    waitUntilShown(x, y);
  }

  HWND get() const { return window_.get(); }

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PatternWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_PAINT && self) {
      win32::PaintScope paint(hwnd);
      self->paint(paint.dc());
      return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    // No class cursor: the cursor a test sets stays.
    if (message == WM_SETCURSOR) return TRUE;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void paint(HDC dc) const {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, width_, height_, 0, 0, 0, height_, pattern_.data(), &info,
                      DIB_RGB_COLORS);
  }

  // The screen shows the window once its corners have the pattern's colours.
  void waitUntilShown(int x, int y) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      pumpFor(std::chrono::milliseconds(20));
      const win32::WindowDc screen(nullptr);
      if (GetPixel(screen.get(), x, y) == patternAt(0, 0) &&
          GetPixel(screen.get(), x + width_ - 1, y + height_ - 1) == patternAt(width_ - 1, height_ - 1)) {
        return;
      }
    }
    ADD_FAILURE() << "the pattern window never showed on the screen";
  }

  int width_, height_;
  std::vector<std::uint32_t> pattern_;
  win32::WindowClass class_;
  win32::UniqueWindow window_;
};

struct Region {
  int width, height, x, y;
};

// What the picture must hold: bottom row first, B G R, zero padding; the
// pattern where the window is (at windowX, windowY), black off the screen.
// Other screen pixels show whatever the desktop has there and are not known.
struct Expected {
  std::vector<std::uint8_t> bytes;
  std::vector<bool> known;  // per byte: whether it must match
};

Expected expectedPicture(const Region& r, int windowX, int windowY, int windowWidth,
                         int windowHeight, const RECT& screen) {
  const std::size_t stride = (static_cast<std::size_t>(r.width) * 3 + 3) / 4 * 4;
  Expected e{std::vector<std::uint8_t>(stride * r.height, 0), std::vector<bool>(stride * r.height, true)};
  for (int row = 0; row < r.height; ++row) {
    const int sy = r.y + r.height - 1 - row;
    for (int column = 0; column < r.width; ++column) {
      const int sx = r.x + column;
      const std::size_t at = static_cast<std::size_t>(row) * stride + column * 3;
      const bool onScreen = sx >= screen.left && sx < screen.right && sy >= screen.top && sy < screen.bottom;
      const bool onWindow = sx >= windowX && sx < windowX + windowWidth && sy >= windowY &&
                            sy < windowY + windowHeight;
      if (onWindow && onScreen) {
        const COLORREF c = patternAt(sx - windowX, sy - windowY);
        e.bytes[at] = GetBValue(c);
        e.bytes[at + 1] = GetGValue(c);
        e.bytes[at + 2] = GetRValue(c);
      } else if (onScreen) {
        e.known[at] = e.known[at + 1] = e.known[at + 2] = false;
      }
    }
  }
  return e;
}

std::string pictureDiff(const CapturedPicture& picture, const Region& r, const Expected& e) {
  if (picture.width != r.width || picture.height != r.height) return "wrong size";
  if (static_cast<std::size_t>(picture.stride) * picture.height != e.bytes.size()) return "wrong stride";
  for (std::size_t i = 0; i < e.bytes.size(); ++i) {
    if (e.known[i] && picture.bits[i] != e.bytes[i]) {
      return "byte " + std::to_string(i) + " (row " + std::to_string(i / picture.stride) +
             " from the bottom, column byte " + std::to_string(i % picture.stride) + ") is " +
             std::to_string(picture.bits[i]) + ", expected " + std::to_string(e.bytes[i]);
    }
  }
  return {};
}

RECT virtualScreen() {
  const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

class GdiGrabberTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { win32::becomeDpiAware(); }

  void SetUp() override {
    screen_ = virtualScreen();
    // The pointer waits in the screen's bottom-right corner, away from the
    // window, unless a test moves it.
    movePointer(screen_.right - 1, screen_.bottom - 1);
  }

  RECT screen_{};
};

TEST_F(GdiGrabberTest, GrabsAPaintedWindowExactlyWhateverTheBands) {
  const int wx = screen_.left + 100, wy = screen_.top + 80;
  PatternWindow window(wx, wy, 641, 120);
  const Region regions[] = {
      {641, 120, wx, wy}, {101, 37, wx + 5, wy + 9}, {1, 1, wx + 640, wy + 119}, {1, 120, wx + 3, wy},
  };
  for (const std::int32_t bandRows : {0, 1, 7, 64, 4096}) {
    auto grabber = makeGdiGrabber(GdiGrabberOptions{bandRows});
    for (const Region& r : regions) {
      // Enough grabs for the band timing to finish when it is on.
      bool decided = false;
      for (int i = 0; i < 24; ++i) {
        ASSERT_TRUE(grabber->grabRect(r.width, r.height, r.x, r.y));
        EXPECT_EQ(pictureDiff(grabber->picture(), r, expectedPicture(r, wx, wy, 641, 120, screen_)), "")
            << "bands of " << bandRows << ", " << r.width << "x" << r.height << " grab " << i;
        decided = decided || grabber->bandRows() > 0;
      }
      EXPECT_TRUE(decided) << "the band timing never finished";
    }
  }
}

TEST_F(GdiGrabberTest, BlacksOutWhatLiesOffTheScreenEvenInAReusedBuffer) {
  const int wx = screen_.left, wy = screen_.top;
  PatternWindow window(wx, wy, 300, 200);
  const Region regions[] = {
      {120, 100, wx - 50, wy - 40},  // over the top-left corner
      {120, 100, wx - 200, wy},      // wholly left of the screen
      {120, 100, wx + 5, wy - 99},   // one row on the screen
  };
  for (const Region& r : regions) {
    auto grabber = makeGdiGrabber();
    // Fills both buffers; the next grab goes into the first again.
    ASSERT_TRUE(grabber->grabRect(r.width, r.height, wx + 10, wy + 10));
    const std::uint8_t* reused = grabber->picture().bits;
    ASSERT_TRUE(grabber->grabRect(r.width, r.height, wx + 10, wy + 10));
    ASSERT_TRUE(grabber->grabRect(r.width, r.height, r.x, r.y));
    EXPECT_EQ(grabber->picture().bits, reused);
    EXPECT_EQ(pictureDiff(grabber->picture(), r, expectedPicture(r, wx, wy, 300, 200, screen_)), "")
        << r.x << "," << r.y;
  }
}

struct CursorBox {
  int left, top, right, bottom;  // picture pixels that differ, top-down; empty when left >= right
};

CursorBox differingPixels(const CapturedPicture& a, const std::vector<std::uint8_t>& b) {
  CursorBox box{a.width, a.height, 0, 0};
  for (int row = 0; row < a.height; ++row) {
    for (int column = 0; column < a.width; ++column) {
      const std::size_t at = static_cast<std::size_t>(row) * a.stride + column * 3;
      if (std::memcmp(a.bits + at, b.data() + at, 3) == 0) continue;
      const int y = a.height - 1 - row;
      box.left = std::min(box.left, column);
      box.right = std::max(box.right, column + 1);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

struct CursorDeleter {
  void operator()(HCURSOR cursor) const { DestroyCursor(cursor); }
};
using UniqueCursor = win32::UniqueHandle<HCURSOR, CursorDeleter>;

// A 32 x 32 monochrome cursor that is transparent but for a white 3 x 3
// block centred on its hotspot (10, 12).
UniqueCursor dotCursor() {
  std::uint8_t andMask[32 * 4], xorMask[32 * 4];
  std::memset(andMask, 0xFF, sizeof(andMask));
  std::memset(xorMask, 0x00, sizeof(xorMask));
  for (int y = 11; y <= 13; ++y) {
    for (int x = 9; x <= 11; ++x) {
      andMask[y * 4 + x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
      xorMask[y * 4 + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  return UniqueCursor(CreateCursor(GetModuleHandleW(nullptr), 10, 12, 32, 32, andMask, xorMask));
}

TEST_F(GdiGrabberTest, DrawsTheCursorWithItsHotspotOnThePointerUnlessHidden) {
  const int wx = screen_.left + 200, wy = screen_.top + 150;
  PatternWindow window(wx, wy, 200, 160);
  const Region r{200, 160, wx, wy};
  auto grabber = makeGdiGrabber();

  ASSERT_TRUE(grabber->grabRect(r.width, r.height, r.x, r.y));
  const CapturedPicture plain = grabber->picture();
  const std::vector<std::uint8_t> without(plain.bits, plain.bits + plain.stride * plain.height);

  const UniqueCursor dot = dotCursor();
  ASSERT_TRUE(dot);
  struct Case {
    POINT pointer;  // relative to the region
    CursorBox box;  // the white block, clipped to the picture
  };
  const Case cases[] = {
      {{100, 80}, {99, 79, 102, 82}},
      {{0, 0}, {0, 0, 2, 2}},         // the block hangs out left and up
      {{199, 159}, {198, 158, 200, 160}},
      {{-1, 50}, {0, 49, 1, 52}},     // pointer just outside, one column inside
  };
  for (const Case& c : cases) {
    movePointer(r.x + c.pointer.x, r.y + c.pointer.y);
    SetCursor(dot.get());
    ASSERT_TRUE(grabber->grabRect(r.width, r.height, r.x, r.y));
    const CursorBox box = differingPixels(grabber->picture(), without);
    EXPECT_EQ(box.left, c.box.left) << "pointer " << c.pointer.x << "," << c.pointer.y;
    EXPECT_EQ(box.top, c.box.top) << "pointer " << c.pointer.x << "," << c.pointer.y;
    EXPECT_EQ(box.right, c.box.right) << "pointer " << c.pointer.x << "," << c.pointer.y;
    EXPECT_EQ(box.bottom, c.box.bottom) << "pointer " << c.pointer.x << "," << c.pointer.y;
    const CapturedPicture picture = grabber->picture();
    const std::uint8_t* hot = picture.bits +
                              static_cast<std::size_t>(r.height - 1 - c.box.top) * picture.stride +
                              c.box.left * 3;
    EXPECT_EQ(hot[0] + hot[1] + hot[2], 3 * 255) << "the block is not white";
  }

  movePointer(r.x + 100, r.y + 80);
  SetCursor(dot.get());
  ShowCursor(FALSE);
  ASSERT_TRUE(grabber->grabRect(r.width, r.height, r.x, r.y));
  const CursorBox hidden = differingPixels(grabber->picture(), without);
  ShowCursor(TRUE);
  EXPECT_GE(hidden.left, hidden.right) << "a hidden cursor was drawn";
  SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

TEST_F(GdiGrabberTest, ReusesOneBufferAndKeepsItWhenAGrabFails) {
  const int wx = screen_.left + 60, wy = screen_.top + 60;
  PatternWindow window(wx, wy, 150, 100);
  auto grabber = makeGdiGrabber();
  EXPECT_EQ(grabber->buffersHeld(), 0);
  EXPECT_FALSE(grabber->grabRect(0, 0, wx, wy));
  EXPECT_EQ(grabber->buffersHeld(), 0);

  // Each grab copies into the spare buffer and then shows it: two buffers,
  // taking turns, and no others.
  ASSERT_TRUE(grabber->grabRect(101, 50, wx, wy));
  ASSERT_TRUE(grabber->grabRect(101, 50, wx, wy));
  const std::uint8_t* pair[] = {grabber->picture().bits, nullptr};
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(grabber->grabRect(101, 50, wx + i, wy + i));
    if (i == 0) pair[1] = grabber->picture().bits;
    EXPECT_EQ(grabber->picture().bits, pair[(i + 1) % 2]) << "grab " << i;
    EXPECT_EQ(grabber->buffersHeld(), 2);
  }
  EXPECT_NE(pair[0], pair[1]);
  ASSERT_TRUE(grabber->grabRect(101, 50, wx, wy));
  const CapturedPicture before = grabber->picture();
  const std::vector<std::uint8_t> bytes(before.bits, before.bits + before.stride * before.height);

  const Region bad[] = {{0, 50, wx, wy}, {101, 0, wx, wy}, {-1, 50, wx, wy}, {101, -8, wx, wy},
                        {65536, 40000, wx, wy}};
  for (const Region& r : bad) {
    EXPECT_FALSE(grabber->grabRect(r.width, r.height, r.x, r.y)) << r.width << "x" << r.height;
    const CapturedPicture after = grabber->picture();
    EXPECT_EQ(after.bits, before.bits);
    EXPECT_EQ(after.width, 101);
    EXPECT_EQ(after.height, 50);
    EXPECT_EQ(after.stride, 304u);
    EXPECT_EQ(std::memcmp(after.bits, bytes.data(), bytes.size()), 0);
  }

  grabber->freeCapture();
  EXPECT_EQ(grabber->buffersHeld(), 0);
  EXPECT_EQ(grabber->picture().bits, nullptr);
  EXPECT_TRUE(grabber->grabRect(10, 10, wx, wy));
}

// Fails every band copy from the given one on (counted from 0, over all
// grabs); otherwise BitBlt.
int gBandsUntilFailure = -1;
BOOL WINAPI failingBlit(HDC to, int x, int y, int w, int h, HDC from, int fx, int fy, DWORD op) {
  if (gBandsUntilFailure == 0) return FALSE;
  if (gBandsUntilFailure > 0) --gBandsUntilFailure;
  return BitBlt(to, x, y, w, h, from, fx, fy, op);
}

// A screen that stops answering part-way through a copy (a secure desktop
// coming up) leaves the last picture whole, not bands of a new one over it.
TEST_F(GdiGrabberTest, ACopyThatFailsPartWayLeavesTheLastPictureWhole) {
  const int wx = screen_.left + 60, wy = screen_.top + 60;
  PatternWindow window(wx, wy, 150, 100);
  struct Row {
    int grabsBefore;  // whole grabs before the one that fails
    int failAtBand;   // of the failing grab's five
    Region failing;   // that grab's region (same size, or another)
  };
  const Row rows[] = {
      {1, 2, {101, 50, wx + 7, wy + 3}}, {1, 4, {101, 50, wx + 7, wy + 3}},
      {2, 1, {101, 50, wx + 9, wy + 1}}, {3, 0, {101, 50, wx + 2, wy + 2}},
      {2, 2, {101, 49, wx + 7, wy + 3}},
  };
  for (const Row& row : rows) {
    gBandsUntilFailure = -1;
    GdiGrabberOptions options;
    options.bandRows = 10;
    options.blit = &failingBlit;
    auto grabber = makeGdiGrabber(options);
    for (int i = 0; i < row.grabsBefore; ++i) ASSERT_TRUE(grabber->grabRect(101, 50, wx, wy));
    const CapturedPicture before = grabber->picture();
    const std::vector<std::uint8_t> bytes(before.bits, before.bits + before.stride * before.height);

    gBandsUntilFailure = row.failAtBand;
    EXPECT_FALSE(grabber->grabRect(row.failing.width, row.failing.height, row.failing.x, row.failing.y));
    const CapturedPicture after = grabber->picture();
    ASSERT_EQ(after.bits, before.bits) << "fails at band " << row.failAtBand;
    ASSERT_EQ(after.height, 50);
    EXPECT_EQ(std::memcmp(after.bits, bytes.data(), bytes.size()), 0)
        << "torn picture: fails at band " << row.failAtBand << " after " << row.grabsBefore << " grabs";

    // The region grabbed whole differs from the kept picture, so a torn one
    // would have shown.
    gBandsUntilFailure = -1;
    ASSERT_TRUE(grabber->grabRect(101, 50, row.failing.x, row.failing.y));
    const CapturedPicture moved = grabber->picture();
    EXPECT_NE(std::memcmp(moved.bits, bytes.data(), bytes.size()), 0);
  }
  gBandsUntilFailure = -1;
}

struct RegionDeleter {
  void operator()(HRGN region) const { DeleteObject(region); }
};

// How many more GDI objects the process can make now. Wine's GetGuiResources
// is a stub that answers 0; there this counts what its handle table has left.
std::size_t gdiRoom() {
  std::vector<win32::UniqueHandle<HRGN, RegionDeleter>> made;
  while (made.size() < (1u << 20)) {
    HRGN region = CreateRectRgn(0, 0, 1, 1);
    if (!region) break;
    made.emplace_back(region);
  }
  return made.size();
}

// Every grab here makes and frees a DC and a DIB section (the size changes)
// or reuses them, and asks for the hotspot of a cursor that changes each time.
TEST_F(GdiGrabberTest, TenThousandGrabsLeaveTheGdiObjectCountAsItWas) {
  const int wx = screen_.left + 40, wy = screen_.top + 40;
  PatternWindow window(wx, wy, 120, 90);
  const HCURSOR cursors[] = {LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)),
                             LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_IBEAM))};
  movePointer(wx + 30, wy + 30);
  auto grabber = makeGdiGrabber();
  auto grab = [&](int i) {
    SetCursor(cursors[i % 2]);
    // Sizes alternate for the first half (a new buffer each grab), then stay.
    const int width = i < 5000 ? 40 + i % 2 : 40;
    return grabber->grabRect(width, 30, wx, wy);
  };
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(grab(i));  // whatever GDI makes once
  const DWORD objectsBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const std::size_t roomBefore = objectsBefore ? 0 : gdiRoom();

  int failed = 0;
  for (int i = 0; i < 10000; ++i) failed += grab(i) ? 0 : 1;
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(grabber->buffersHeld(), 2);
  grabber->freeCapture();
  ASSERT_TRUE(grab(0));
  ASSERT_TRUE(grab(1));

  if (objectsBefore) {
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objectsBefore);
  } else {
    ASSERT_GT(roomBefore, 0u);
    EXPECT_EQ(gdiRoom(), roomBefore);
  }
}

}  // namespace
}  // namespace ks
