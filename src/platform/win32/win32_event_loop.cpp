// The message pump, modal showing and the program's end.
#include "platform/win32/win32_window.h"

#include <algorithm>

namespace ks::win32 {

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

// Keys go to the window's KeyDown first, then to its Tab, Enter and Esc,
// then to the focused control; the system's own Alt keys (Alt+Space, Alt+F4)
// follow from WM_SYSKEYDOWN as usual when KeyDown lets them pass.
void Win32WindowSystem::dispatch(const MSG& message) {
  if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
    Win32Window* window = windowOf(message.hwnd);
    if (window && window->previewKey(message)) return;
    // Found again: KeyDown may have unloaded the window.
    window = windowOf(message.hwnd);
    if (window && message.message == WM_KEYDOWN && window->translateKey(message)) return;
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

}  // namespace ks::win32
