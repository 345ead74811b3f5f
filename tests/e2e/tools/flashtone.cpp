// Test tool: flashes and beeps together, for measuring how far a recording's
// sound is from its pictures.
//
//   flashtone.exe X Y W H SECONDS
// shows a borderless topmost black window at X Y W H. At each whole second
// from its start (while SECONDS allow a whole flash) it turns white for
// 200 ms and, at the same moment, plays a 200 ms 1 kHz tone (48 kHz 16-bit
// stereo) through waveOut on the default output. The device is opened, the
// tone built and 300 ms of silence played through it before the first flash
// (the sound server's first stream of a run starts late, once), so each
// tone's write starts at once.
//
// Prints "start T" and then "flash N T" for each flash, T in seconds of the
// performance counter (QueryPerformanceCounter) at the moment the white
// picture was painted and the tone handed to the device.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include <mmsystem.h>

namespace {

constexpr int kRate = 48000;
constexpr double kFlashSeconds = 0.2;
bool g_white = false;
double g_frequency = 1;

double nowSeconds() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / g_frequency;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(g_white ? WHITE_BRUSH : BLACK_BRUSH)));
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// Handles the window's messages until `until`: sleeps in the message wait
// while more than 2 ms remain, then spins on the counter.
bool pumpUntil(double until) {
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return false;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const double left = until - nowSeconds();
    if (left <= 0) return true;
    if (left > 0.002) MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>((left - 0.002) * 1000), QS_ALLINPUT);
  }
}

void show(HWND hwnd, bool white) {
  g_white = white;
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);
  GdiFlush();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: flashtone X Y W H SECONDS\n");
    return 2;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]), w = std::atoi(argv[3]), h = std::atoi(argv[4]);
  const double seconds = std::atof(argv[5]);
  if (w <= 0 || h <= 0 || seconds <= 0) {
    std::fprintf(stderr, "flashtone: bad rectangle or duration\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  g_frequency = static_cast<double>(frequency.QuadPart);
  timeBeginPeriod(1);

  std::vector<std::int16_t> tone(static_cast<std::size_t>(kFlashSeconds * kRate) * 2);
  for (std::size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<std::int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i / 2) / kRate));
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
  HWAVEOUT out = nullptr;
  if (waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    std::fprintf(stderr, "flashtone: no sound output\n");
    return 1;
  }
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(tone.data());
  header.dwBufferLength = static_cast<DWORD>(tone.size() * sizeof(std::int16_t));
  waveOutPrepareHeader(out, &header, sizeof header);
  std::vector<std::int16_t> silence(static_cast<std::size_t>(0.3 * kRate) * 2, 0);
  WAVEHDR warmup{};
  warmup.lpData = reinterpret_cast<LPSTR>(silence.data());
  warmup.dwBufferLength = static_cast<DWORD>(silence.size() * sizeof(std::int16_t));
  waveOutPrepareHeader(out, &warmup, sizeof warmup);
  waveOutWrite(out, &warmup, sizeof warmup);
  for (int waited = 0; !(warmup.dwFlags & WHDR_DONE) && waited < 3000; waited += 10) Sleep(10);
  if (!(warmup.dwFlags & WHDR_DONE)) {
    std::fprintf(stderr, "flashtone: the sound output did not play 300 ms of silence within 3 s\n");
    return 1;
  }
  waveOutUnprepareHeader(out, &warmup, sizeof warmup);

  WNDCLASSW wc{};
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = L"ks_flashtone";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"flashtone", WS_POPUP | WS_VISIBLE,
                              x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
  if (!hwnd) {
    std::fprintf(stderr, "flashtone: no window\n");
    return 1;
  }
  show(hwnd, false);

  const double start = nowSeconds();
  std::printf("start %.6f\n", start);
  std::fflush(stdout);
  int rc = 0;
  for (int n = 1; n + kFlashSeconds <= seconds; ++n) {
    if (!pumpUntil(start + n)) break;
    show(hwnd, true);
    // The last tone ended 800 ms ago: the buffer is the device's again.
    const MMRESULT wrote = waveOutWrite(out, &header, sizeof header);
    const double at = nowSeconds();
    if (wrote != MMSYSERR_NOERROR) {
      std::fprintf(stderr, "flashtone: the tone of flash %d could not be played\n", n);
      rc = 1;
    }
    std::printf("flash %d %.6f\n", n, at);
    std::fflush(stdout);
    if (!pumpUntil(start + n + kFlashSeconds)) break;
    show(hwnd, false);
  }
  if (!pumpUntil(std::max(nowSeconds(), start + seconds))) rc = rc ? rc : 1;
  waveOutReset(out);
  waveOutUnprepareHeader(out, &header, sizeof header);
  waveOutClose(out);
  DestroyWindow(hwnd);
  timeEndPeriod(1);
  return rc;
}
