// Test tool: a borderless window that paints the time, so recorded frames
// show when they were grabbed. Top half: red and green carry the
// milliseconds since start / 10 (16 bits), blue is 0x40; bottom half: pure
// blue, so a flipped frame is caught.
//
//   pattern.exe X Y W H SECONDS
#include <windows.h>

#include <cstdlib>

namespace {

ULONGLONG g_start = 0;

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
      const ULONGLONG code = ((GetTickCount64() - g_start) / 10) & 0xFFFF;
      RECT top = r, bottom = r;
      top.bottom = r.bottom / 2;
      bottom.top = top.bottom;
      HBRUSH a = CreateSolidBrush(RGB(code >> 8, code & 0xFF, 0x40));
      HBRUSH b = CreateSolidBrush(RGB(0, 0, 255));
      FillRect(dc, &top, a);
      FillRect(dc, &bottom, b);
      DeleteObject(a);
      DeleteObject(b);
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
  if (argc < 6) return 2;
  SetProcessDPIAware();
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]), w = std::atoi(argv[3]), h = std::atoi(argv[4]);
  const UINT seconds = static_cast<UINT>(std::atoi(argv[5]));
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  wc.lpszClassName = L"ks.pattern";
  RegisterClassW(&wc);
  g_start = GetTickCount64();
  HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"pattern", WS_POPUP | WS_VISIBLE, x, y, w, h,
                              nullptr, nullptr, wc.hInstance, nullptr);
  SetTimer(hwnd, 1, 10, nullptr);
  SetTimer(hwnd, 2, seconds * 1000, [](HWND h, UINT, UINT_PTR, DWORD) { DestroyWindow(h); });
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}
