// Test tool run inside the same Wine desktop as the program: reports the
// program's top-level windows so an end-to-end test can compare the screen
// with where the windows really are.
//
//   wininfo.exe list TITLE   one line per visible top-level window of the
//                            process that owns the window titled TITLE:
//                            "x y w h clientx clienty clientw clienth topmost enabled caption"
//   wininfo.exe wait TITLE S waits up to S seconds for that window; exit 0 when found
//   wininfo.exe controls TITLE
//                            one line per child control of the windows titled
//                            TITLE: "class x y w h enabled text", then its
//                            items ("  item: ...") for list and combo boxes
//   wininfo.exe focus TITLE  the keyboard focus of the thread that owns the
//                            window titled TITLE: "ACTIVE-CAPTION|CLASS|TEXT"
//   wininfo.exe define D: TARGET
//                            makes drive D: stand for the folder TARGET, as a
//                            stick plugged in makes a drive, without a word
//   wininfo.exe announce D:  tells every top-level window that volume D:
//                            arrived (WM_DEVICECHANGE), as the system does
#include <windows.h>
#include <dbt.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>

namespace {

struct Search {
  DWORD pid;
};

BOOL CALLBACK printWindow(HWND hwnd, LPARAM param) {
  const auto* search = reinterpret_cast<const Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid || !IsWindowVisible(hwnd)) return TRUE;
  RECT r{}, c{};
  GetWindowRect(hwnd, &r);
  GetClientRect(hwnd, &c);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  wchar_t title[256] = L"";
  GetWindowTextW(hwnd, title, 256);
  char utf8[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, nullptr, nullptr);
  const bool topmost = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  std::printf("%ld %ld %ld %ld %ld %ld %ld %ld %d %d %s\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
              origin.x, origin.y, c.right, c.bottom, topmost ? 1 : 0, IsWindowEnabled(hwnd) ? 1 : 0,
              utf8[0] ? utf8 : "-");
  return TRUE;
}

std::string narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  return s;
}

BOOL CALLBACK printControl(HWND child, LPARAM) {
  wchar_t cls[64] = L"";
  GetClassNameW(child, cls, 64);
  wchar_t text[512] = L"";
  GetWindowTextW(child, text, 512);
  RECT r{};
  GetWindowRect(child, &r);
  std::printf("%s %ld %ld %ld %ld %d %s\n", narrow(cls).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top,
              IsWindowEnabled(child) ? 1 : 0, narrow(text).c_str());
  const std::wstring kind = cls;
  const bool list = kind == L"ListBox", combo = kind == L"ComboBox";
  if (list || combo) {
    const LRESULT count = SendMessageW(child, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
    const LRESULT selected = SendMessageW(child, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t item[512] = L"";
      SendMessageW(child, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
      std::printf("  item%s: %s\n", i == selected ? "*" : "", narrow(item).c_str());
    }
  }
  return TRUE;
}

std::wstring widen(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wininfo list|wait|controls|focus TITLE [SECONDS] | define D: TARGET | announce D:\n");
    return 2;
  }
  SetProcessDPIAware();  // report physical pixels, as the program sees them
  const std::string verb = argv[1];
  const std::wstring title = widen(argv[2]);
  if (verb == "wait") {
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 20;
    for (int i = 0; i < seconds * 10; ++i) {
      if (FindWindowW(nullptr, title.c_str())) return 0;
      Sleep(100);
    }
    return 1;
  }
  if (verb == "controls") {
    // Every window of that title: the frame's own has no controls, and may
    // lie above a message box of the same title.
    HWND hwnd = nullptr;
    bool found = false;
    while ((hwnd = FindWindowExW(nullptr, hwnd, nullptr, title.c_str())) != nullptr) {
      found = true;
      EnumChildWindows(hwnd, printControl, 0);
    }
    std::fflush(stdout);
    return found ? 0 : 1;
  }
  if (verb == "focus") {
    HWND hwnd = FindWindowW(nullptr, title.c_str());
    if (!hwnd) return 1;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) return 1;
    wchar_t active[256] = L"", cls[64] = L"", text[512] = L"";
    if (info.hwndActive) GetWindowTextW(info.hwndActive, active, 256);
    if (info.hwndFocus) {
      GetClassNameW(info.hwndFocus, cls, 64);
      GetWindowTextW(info.hwndFocus, text, 512);
    }
    std::printf("%s|%s|%s\n", narrow(active).c_str(), narrow(cls).c_str(), narrow(text).c_str());
    std::fflush(stdout);
    return 0;
  }
  if (verb == "define" && argc > 3) return DefineDosDeviceW(0, title.c_str(), widen(argv[3]).c_str()) ? 0 : 1;
  if (verb == "announce") {
    if (title.size() != 2 || title[1] != L':') return 2;
    static DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (towupper(title[0]) - L'A');
    // Sent to each top-level window, as the system sends it; Wine's
    // BroadcastSystemMessage does not reach the windows of a named desktop.
    EnumWindows(
        [](HWND hwnd, LPARAM) -> BOOL {
          DWORD_PTR result = 0;
          SendMessageTimeoutW(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume),
                              SMTO_ABORTIFHUNG, 5000, &result);
          return TRUE;
        },
        0);
    return 0;
  }
  if (verb == "list") {
    HWND hwnd = FindWindowW(nullptr, title.c_str());
    if (!hwnd) return 1;
    Search search{};
    GetWindowThreadProcessId(hwnd, &search.pid);
    EnumWindows(printWindow, reinterpret_cast<LPARAM>(&search));
    std::fflush(stdout);
    return 0;
  }
  return 2;
}
