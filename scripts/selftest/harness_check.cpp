// A tiny Win32 program for checking the Wine harness: a red window titled
// "harness-check" that prints what it sees and exits on WM_CLOSE.
//
//   harness_check.exe [--exit-code N] [--close-after-ms N] [--size WxH]
//
// The exit code after WM_CLOSE is N (default 0), so the harness can prove
// that it passes exit codes through.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Options {
    int exitCode = 0;
    UINT closeAfterMs = 0;
    int width = 320;
    int height = 200;
};

constexpr UINT_PTR kCloseTimer = 1;

// Owns a GDI brush; move-only.
class Brush {
public:
    explicit Brush(COLORREF colour) : handle_(CreateSolidBrush(colour)) {}
    Brush(Brush&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Brush& operator=(Brush&&) = delete;
    Brush(const Brush&) = delete;
    ~Brush() { if (handle_) DeleteObject(handle_); }
    HBRUSH get() const { return handle_; }

private:
    HBRUSH handle_;
};

// Owns the screen DC for the scope that reads it.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() { if (dc_) ReleaseDC(nullptr, dc_); }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER:
        if (wp == kCloseTimer) {
            KillTimer(hwnd, kCloseTimer);
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        std::printf("WM_CLOSE received\n");
        std::fflush(stdout);
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: {
        auto* opts = reinterpret_cast<const Options*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        PostQuitMessage(opts ? opts->exitCode : 0);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

Options parse(int argc, wchar_t** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--exit-code") == 0)
            o.exitCode = _wtoi(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--close-after-ms") == 0)
            o.closeAfterMs = static_cast<UINT>(_wtoi(argv[i + 1]));
        else if (std::wcscmp(argv[i], L"--size") == 0)
            std::swscanf(argv[i + 1], L"%dx%d", &o.width, &o.height);
    }
    return o;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options opts = parse(argc, argv);
    HINSTANCE inst = GetModuleHandleW(nullptr);

    // A red class brush: the screenshot check looks for this colour.
    Brush red(RGB(255, 0, 0));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = red.get();
    wc.lpszClassName = L"HarnessCheck";
    if (!RegisterClassExW(&wc))
        return 90;

    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"harness-check", WS_OVERLAPPEDWINDOW,
                                40, 40, opts.width, opts.height, nullptr, nullptr, inst, nullptr);
    if (!hwnd)
        return 91;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&opts));
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);

    {
        ScreenDc screen;
        std::printf("harness-check up: logpixels=%d screen=%dx%d\n",
                    GetDeviceCaps(screen.get(), LOGPIXELSX), GetSystemMetrics(SM_CXSCREEN),
                    GetSystemMetrics(SM_CYSCREEN));
        std::fflush(stdout);
    }

    if (opts.closeAfterMs)
        SetTimer(hwnd, kCloseTimer, opts.closeAfterMs, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
