#include "platform/win32/mouse_hook.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "platform/win32/win32_native.h"

namespace ks {

namespace {

class MouseHook;

// The hook procedure has no context argument: the one running hook.
std::atomic<MouseHook*> running{nullptr};

class MouseHook final : public MouseWatch {
 public:
  ~MouseHook() override { stop(); }

  bool start(Handler handler) override {
    if (thread_.joinable()) return false;
    MouseHook* none = nullptr;
    if (!running.compare_exchange_strong(none, this)) return false;
    handler_ = std::move(handler);
    std::promise<bool> installed;
    std::future<bool> answer = installed.get_future();
    thread_ = std::thread([this, &installed] { run(installed); });
    // The system installs a hook at once; a bound keeps a stuck thread from
    // holding up Record.
    const bool ok = answer.wait_for(std::chrono::seconds(5)) == std::future_status::ready && answer.get();
    if (!ok) stop();
    return ok;
  }

  void stop() override {
    if (!thread_.joinable()) return;
    PostThreadMessageW(threadId_.load(), WM_QUIT, 0, 0);
    thread_.join();
    handler_ = nullptr;
    running.store(nullptr);
  }

 private:
  void run(std::promise<bool>& installed) {
    threadId_.store(GetCurrentThreadId());
    MSG msg;
    // The thread's message queue, so that WM_QUIT can reach it.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, &MouseHook::procedure, GetModuleHandleW(nullptr), 0);
    installed.set_value(hook != nullptr);
    if (!hook) return;
    // The system calls the hook from this loop.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    UnhookWindowsHookEx(hook);
  }

  static LRESULT CALLBACK procedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
      MouseHook* hook = running.load();
      const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
      if (hook && info) hook->report(static_cast<UINT>(wParam), {info->pt.x, info->pt.y});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

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

  Handler handler_;
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
};

}  // namespace

std::unique_ptr<MouseWatch> makeMouseHook() { return std::make_unique<MouseHook>(); }

}  // namespace ks
