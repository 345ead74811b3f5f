// The window system: the message pump, modal showing, message boxes and the
// program's end.
#include "platform/win32/win32_window.h"

#include "platform/win32/wide_text.h"

#include <algorithm>
#include <cmath>

// After <windows.h>, which they need.
#include <commctrl.h>
#include <mmsystem.h>

namespace ks::win32 {

Win32WindowSystem::Win32WindowSystem(const Win32Options& options) : options_(options) {
  win32::becomeDpiAware();
  metrics_ = win32::screenMetrics();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  // A class per window system, so several can live in one process (tests).
  const std::wstring name = L"kestrascope.Window." + std::to_wstring(reinterpret_cast<std::uintptr_t>(this));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name.c_str();
  class_ = WindowClass(instance_, RegisterClassExW(&wc));
}

Win32WindowSystem::~Win32WindowSystem() {
  setPreciseWaits(false);
  while (!hotkeys_.empty()) unregisterHotkey(hotkeys_.front().first);
  if (owner_) RemovePropW(owner_.get(), kSystemProperty);
  // A quit message left behind would end the next loop on this thread.
  if (quitQueued_) {
    MSG message;
    PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
}

std::unique_ptr<Window> Win32WindowSystem::createWindow(const WindowDesign& design) {
  return std::make_unique<Win32Window>(*this, design);
}

// The hidden owner also receives the global key combinations: a window of
// our own, so that a combination pressed while a message box runs its own
// loop still reaches our window procedure (and is ignored there) instead of
// being lost as a thread message.
HWND Win32WindowSystem::hiddenOwner() {
  if (!owner_ && class_.atom()) {
    owner_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, className(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 instance_, nullptr));
    if (owner_) SetPropW(owner_.get(), kSystemProperty, this);
  }
  return owner_.get();
}

PixelRect Win32WindowSystem::workArea(const Window& window) const {
  const auto* w = dynamic_cast<const Win32Window*>(&window);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = MonitorFromWindow(w ? w->handle() : nullptr, MONITOR_DEFAULTTOPRIMARY);
  if (!monitor || !GetMonitorInfoW(monitor, &info)) return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const RECT& r = info.rcWork;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool Win32WindowSystem::registerHotkey(int id, const Hotkey& hotkey) {
  HWND owner = hiddenOwner();
  if (!owner) return false;
  unregisterHotkey(id);
  UINT modifiers = (hotkey.ctrl ? MOD_CONTROL : 0u) | (hotkey.alt ? MOD_ALT : 0u) | (hotkey.shift ? MOD_SHIFT : 0u) |
                   (hotkey.win ? MOD_WIN : 0u);
  constexpr UINT kNoRepeat = 0x4000;  // MOD_NOREPEAT (Windows 7): one press, one message
  if (!RegisterHotKey(owner, id, modifiers | kNoRepeat, static_cast<UINT>(hotkey.key)) &&
      !RegisterHotKey(owner, id, modifiers, static_cast<UINT>(hotkey.key)))
    return false;
  hotkeys_.emplace_back(id, hotkey);
  return true;
}

void Win32WindowSystem::unregisterHotkey(int id) {
  const auto before = hotkeys_.size();
  std::erase_if(hotkeys_, [id](const auto& entry) { return entry.first == id; });
  if (hotkeys_.size() != before && owner_) UnregisterHotKey(owner_.get(), id);
}

int Win32WindowSystem::hotkeyId(const Hotkey& hotkey) const {
  for (const auto& [id, key] : hotkeys_)
    if (key == hotkey) return id;
  return 0;
}

void Win32WindowSystem::hotkeyPressed(int id) {
  if (ended_ || !onHotkey) return;
  const auto handler = onHotkey;  // a handler may replace it
  handler(id);
}

std::vector<HWND> Win32WindowSystem::ourTopLevelWindows() const {
  struct Search {
    ATOM atom;
    HWND exclude;
    std::vector<HWND> found;
  } search{class_.atom(), owner_.get(), {}};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        if (hwnd != s.exclude && static_cast<ATOM>(GetClassLongPtrW(hwnd, GCW_ATOM)) == s.atom)
          s.found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Win32WindowSystem::disableOurWindowsBut(HWND keep) const {
  std::vector<HWND> disabled;
  for (HWND other : ourTopLevelWindows()) {
    if (other == keep || !IsWindowEnabled(other)) continue;
    EnableWindow(other, FALSE);
    disabled.push_back(other);
  }
  return disabled;
}

void Win32WindowSystem::enableAgain(const std::vector<HWND>& windows) {
  for (HWND hwnd : windows)
    if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
}

void Win32WindowSystem::releaseModal(HWND dialog) {
  for (auto& frame : modal_) {
    if (frame.dialog != dialog || frame.released) continue;
    enableAgain(frame.disabled);
    frame.released = true;
  }
}

void Win32WindowSystem::showModal(Window& window) {
  auto* dialog = dynamic_cast<Win32Window*>(&window);
  if (!dialog || !dialog->handle() || ended_) return;
  const HWND hwnd = dialog->handle();
  const HWND previous = GetActiveWindow();

  modal_.push_back(ModalFrame{hwnd, disableOurWindowsBut(hwnd), false});

  dialog->show();
  // The handle, not the object: a handler may delete the dialog's object.
  pump([hwnd] { return IsWindow(hwnd) && IsWindowVisible(hwnd); });

  releaseModal(hwnd);
  modal_.erase(std::find_if(modal_.begin(), modal_.end(), [&](const ModalFrame& f) { return f.dialog == hwnd; }));
  // Back to the window that was active, as when a dialog box ends.
  if (!ended_ && previous && previous != hwnd && IsWindow(previous) && IsWindowVisible(previous) &&
      GetActiveWindow() != previous)
    SetForegroundWindow(previous);
}

MsgButton Win32WindowSystem::messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) {
  const UINT defaultFlag = defaultButton == MsgButton::Yes  ? MB_DEFBUTTON1
                           : defaultButton == MsgButton::No ? MB_DEFBUTTON2
                                                            : MB_DEFBUTTON3;
  const int answer = showMessageBox(text, MB_YESNOCANCEL | defaultFlag);
  if (answer == IDYES) return MsgButton::Yes;
  if (answer == IDNO) return MsgButton::No;
  return MsgButton::Cancel;
}

void Win32WindowSystem::messageBoxWarning(const std::string& text) {
  showMessageBox(text, MB_OK | MB_ICONWARNING);
}

// A box modal to all of the program's windows. Its owner is the window the
// user was working in, so that answering it activates that window again and
// the keyboard focus returns there: a box without an owner hands the
// activation to whatever window comes next, often another program's, as our
// own are still disabled when it goes. MessageBox disables the owner; the
// other windows are disabled here for as long as the box is up.
int Win32WindowSystem::showMessageBox(const std::string& text, UINT type) {
  HWND active = GetActiveWindow();
  const HWND owner = windowOf(active) ? active : nullptr;
  const std::vector<HWND> disabled = disableOurWindowsBut(owner);
  const int answer = MessageBoxW(owner, toWideShown(text).c_str(), options_.appTitle.c_str(),
                                 type | MB_TASKMODAL | MB_TOPMOST);
  enableAgain(disabled);
  return answer;
}

Win32Window* Win32WindowSystem::windowOf(HWND hwnd) const {
  HWND root = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
  if (!root || static_cast<ATOM>(GetClassLongPtrW(root, GCW_ATOM)) != class_.atom()) return nullptr;
  return reinterpret_cast<Win32Window*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

void Win32WindowSystem::dispatch(const MSG& message) {
  if (message.message == WM_KEYDOWN) {
    Win32Window* window = windowOf(message.hwnd);
    if (window && window->translateKey(message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32WindowSystem::quitReceived(const MSG& message) {
  ended_ = true;
  quitQueued_ = false;
  exitCode_ = static_cast<int>(message.wParam);
}

void Win32WindowSystem::doEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitReceived(message);
      return;
    }
    dispatch(message);
  }
}

void Win32WindowSystem::waitForEvents(double maxSeconds) {
  if (ended_ || !(maxSeconds > 0)) return;
  if (preciseTimer_) {
    // Relative due time in 100 ns units. Setting the manual-reset timer
    // also clears a signal left by an earlier wait that input ended first.
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(1, std::llround(std::min(maxSeconds, 3600.0) * 1e7));
    if (SetWaitableTimer(preciseTimer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
      HANDLE timer = preciseTimer_.get();
      MsgWaitForMultipleObjectsEx(1, &timer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      return;
    }
  }
  // Whole milliseconds, to nearest; a shorter wait still waits one.
  const double ms = std::min(std::nearbyint(maxSeconds * 1000.0), static_cast<double>(INFINITE - 1));
  const auto timeout = static_cast<DWORD>(std::max(ms, 1.0));
  MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32WindowSystem::setPreciseWaits(bool on) {
  if (on && !preciseTimer_ && !raisedTimerResolution_) {
    // Older systems refuse the high-resolution flag; they get the timer
    // resolution raised for the run instead, which affects the whole
    // system and so is given back afterwards.
    constexpr DWORD kHighResolution = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
    preciseTimer_.reset(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET | kHighResolution,
                                               TIMER_MODIFY_STATE | SYNCHRONIZE));
    if (!preciseTimer_) raisedTimerResolution_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  } else if (!on) {
    preciseTimer_.reset();
    if (raisedTimerResolution_) timeEndPeriod(1);
    raisedTimerResolution_ = false;
  }
}

template <typename While>
void Win32WindowSystem::pump(While goOn) {
  MSG message;
  while (!ended_ && goOn()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      quitReceived(message);
      return;
    }
    if (got < 0) return;
    dispatch(message);
  }
}

int Win32WindowSystem::run() {
  pump([] { return true; });
  return exitCode_;
}

void Win32WindowSystem::endProgram() {
  if (options_.exitProcessOnEnd) ExitProcess(0);
  if (ended_) return;
  // Ended first: hiding activates other windows, and no handler may run.
  ended_ = true;
  PostQuitMessage(0);
  quitQueued_ = true;
  for (HWND hwnd : ourTopLevelWindows()) ShowWindow(hwnd, SW_HIDE);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HOTKEY) {
    if (auto* system = static_cast<Win32WindowSystem*>(GetPropW(hwnd, kSystemProperty))) {
      try {
        system->hotkeyPressed(static_cast<int>(wParam));
      } catch (...) {
        // As for every event: dropped, and the program goes on.
      }
      return 0;
    }
  }
  if (message == WM_GETMINMAXINFO) {
    // Arrives before WM_NCCREATE. The program sizes its windows itself,
    // down to a caption strip a few pixels high; the default minimum
    // tracking size would enlarge a captioned window. The default maximum
    // (about the screen's size) would stop a frame around a whole screen:
    // frmtop is then wider than the screen by the side windows.
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize = POINT{1, 1};
    info->ptMaxTrackSize = POINT{32767, 32767};
    return 0;
  }
  if (message == WM_NCCREATE) {
    auto* window = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (window) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
      window->attach(hwnd);
    }
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    LRESULT result = 0;
    if (window->handleMessage(hwnd, message, wParam, lParam, result)) return result;
  } catch (...) {
    // An exception must not unwind through user32's frames; the event is
    // dropped and the program goes on.
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ks::win32

namespace ks {

std::unique_ptr<WindowSystem> makeWin32WindowSystem(const Win32Options& options) {
  return std::make_unique<win32::Win32WindowSystem>(options);
}

HWND nativeHandle(const Window& window) {
  const auto* win32Window = dynamic_cast<const win32::Win32Window*>(&window);
  return win32Window ? win32Window->handle() : nullptr;
}

}  // namespace ks
