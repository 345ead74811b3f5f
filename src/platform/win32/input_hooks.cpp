#include "platform/win32/input_hooks.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "platform/bounded_thread.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_native.h"

namespace ks {

namespace {

// A low-level hook on a thread of its own: the system calls the hook
// procedure from that thread's message loop. The system installs and
// removes a hook at once; a thread that does not answer within 5 seconds is
// left behind, so that it cannot hold up Record or Stop: it removes its hook
// itself once it runs again, and its procedure finds no watch running by then.
class HookThread {
 public:
  bool start(int idHook, HOOKPROC procedure) {
    auto threadId = std::make_shared<std::atomic<DWORD>>(0);
    std::string failure;
    return thread_.start([threadId, idHook, procedure](
                             BoundedThread::Link& link) { run(link, *threadId, idHook, procedure); },
                         [threadId] {
                           if (const DWORD id = threadId->load()) PostThreadMessageW(id, WM_QUIT, 0, 0);
                         },
                         failure) == BoundedThread::Start::Started;
  }

  void stop() { thread_.stop(); }

 private:
  static void run(BoundedThread::Link& link, std::atomic<DWORD>& threadId, int idHook, HOOKPROC procedure) {
    MSG msg;
    // The thread's message queue, so that WM_QUIT can reach it, before
    // its id is known.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    threadId.store(GetCurrentThreadId());
    HHOOK hook = SetWindowsHookExW(idHook, procedure, GetModuleHandleW(nullptr), 0);
    link.answer(hook != nullptr);
    if (!hook) return;
    // stop() may have come before the queue had an id to post to.
    if (!link.stopping()) {
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    }
    UnhookWindowsHookEx(hook);
  }

  BoundedThread thread_{std::chrono::seconds(5)};
};

// A watch of one hook kind. A hook procedure has no context argument: each
// kind has its one running watch, `running`, which `Self::procedure` reads.
template <class Self, class Watch, int kIdHook>
class HookedWatch : public Watch {
 public:
  ~HookedWatch() override { stop(); }

  bool start(typename Watch::Handler handler) override {
    HookedWatch* none = nullptr;
    if (!running.compare_exchange_strong(none, this)) return false;
    handler_ = std::move(handler);
    if (thread_.start(kIdHook, &Self::procedure)) return true;
    running.store(nullptr);
    return false;
  }

  void stop() override {
    HookedWatch* self = this;
    if (!running.compare_exchange_strong(self, nullptr)) return;
    thread_.stop();
    handler_ = nullptr;
  }

 protected:
  static inline std::atomic<HookedWatch*> running{nullptr};
  // The running watch of this kind, if any.
  static Self* runningWatch() { return static_cast<Self*>(running.load()); }
  typename Watch::Handler handler_;

 private:
  HookThread thread_;
};

class MouseHook final : public HookedWatch<MouseHook, MouseWatch, WH_MOUSE_LL> {
 public:
  static LRESULT CALLBACK procedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
      MouseHook* hook = runningWatch();
      const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
      if (hook && info) hook->report(static_cast<UINT>(wParam), {info->pt.x, info->pt.y});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

 private:
  void report(UINT message, PixelPoint at) {
    switch (message) {
      case WM_LBUTTONDOWN: return handler_(at, MouseButton::Left, true);
      case WM_LBUTTONUP: return handler_(at, MouseButton::Left, false);
      case WM_RBUTTONDOWN: return handler_(at, MouseButton::Right, true);
      case WM_RBUTTONUP: return handler_(at, MouseButton::Right, false);
      case WM_MBUTTONDOWN: return handler_(at, MouseButton::Middle, true);
      case WM_MBUTTONUP: return handler_(at, MouseButton::Middle, false);
      default: return;
    }
  }
};

class KeyboardHook final : public HookedWatch<KeyboardHook, KeyWatch, WH_KEYBOARD_LL> {
 public:
  std::string keyName(const KeyStroke& stroke) const override {
    UINT scan = static_cast<UINT>(stroke.scanCode);
    if (scan == 0) scan = MapVirtualKeyW(static_cast<UINT>(stroke.key), MAPVK_VK_TO_VSC);
    if (scan == 0) return {};
    const LONG lParam = static_cast<LONG>((scan & 0xFF) << 16 | (stroke.extended ? 1u << 24 : 0u));
    wchar_t name[64];
    const int length = GetKeyNameTextW(lParam, name, 64);
    return length > 0 ? win32::fromWide({name, static_cast<std::size_t>(length)}) : std::string();
  }

  static LRESULT CALLBACK procedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
      KeyboardHook* hook = runningWatch();
      const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
      const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
      const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
      if (hook && info && (down || up)) {
        // A key going down carries the system's state of the modifiers
        // (the current key's own is not updated yet when the hook runs).
        const auto held = [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; };
        const unsigned modifiers = !down ? 0u
                                         : (held(VK_CONTROL) ? kCtrlHeld : 0u) | (held(VK_MENU) ? kAltHeld : 0u) |
                                               (held(VK_SHIFT) ? kShiftHeld : 0u) |
                                               (held(VK_LWIN) || held(VK_RWIN) ? kWinHeld : 0u);
        hook->handler_(KeyStroke{static_cast<int>(info->vkCode), static_cast<int>(info->scanCode),
                                 (info->flags & LLKHF_EXTENDED) != 0, down, down, modifiers});
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};

}  // namespace

std::unique_ptr<MouseWatch> makeMouseHook() { return std::make_unique<MouseHook>(); }
std::unique_ptr<KeyWatch> makeKeyboardHook() { return std::make_unique<KeyboardHook>(); }

}  // namespace ks
