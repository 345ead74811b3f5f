// Move-only owners of the Win32 handles and scopes this layer uses.
#pragma once

#include <utility>

#include "platform/win32/win32_native.h"

namespace ks::win32 {

template <typename Handle, typename Deleter>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  Handle release() { return std::exchange(handle_, nullptr); }
  void reset(Handle handle = nullptr) {
    if (Handle old = std::exchange(handle_, handle)) Deleter{}(old);
  }

 private:
  Handle handle_ = nullptr;
};

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct WindowDeleter {
  void operator()(HWND window) const { DestroyWindow(window); }
};
struct ModuleDeleter {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct FindDeleter {
  void operator()(HANDLE find) const { FindClose(find); }
};
struct KeyDeleter {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
struct KernelHandleDeleter {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

using UniqueBrush = UniqueHandle<HBRUSH, GdiObjectDeleter>;
using UniquePen = UniqueHandle<HPEN, GdiObjectDeleter>;
using UniqueFont = UniqueHandle<HFONT, GdiObjectDeleter>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiObjectDeleter>;
using UniqueWindow = UniqueHandle<HWND, WindowDeleter>;
using UniqueModule = UniqueHandle<HMODULE, ModuleDeleter>;
// A memory device context from CreateCompatibleDC.
using UniqueDc = UniqueHandle<HDC, DcDeleter>;
// A FindFirstFileW search.
using UniqueFind = UniqueHandle<HANDLE, FindDeleter>;
using UniqueKey = UniqueHandle<HKEY, KeyDeleter>;
// A timer, an event or another kernel object closed with CloseHandle.
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleDeleter>;


// A window's device context from GetDC (nullptr: the screen).
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint ... EndPaint; the update region is validated whatever happens.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { EndPaint(window_, &paint_); }
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class SelectScope {
 public:
  SelectScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;
  ~SelectScope() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A registered window class, unregistered when the owner goes.
class WindowClass {
 public:
  WindowClass() = default;
  WindowClass(HINSTANCE instance, ATOM atom) : instance_(instance), atom_(atom) {}
  WindowClass(WindowClass&& other) noexcept
      : instance_(other.instance_), atom_(std::exchange(other.atom_, ATOM{0})) {}
  WindowClass& operator=(WindowClass&& other) noexcept {
    if (this != &other) {
      unregister();
      instance_ = other.instance_;
      atom_ = std::exchange(other.atom_, ATOM{0});
    }
    return *this;
  }
  ~WindowClass() { unregister(); }

  ATOM atom() const { return atom_; }
  LPCWSTR name() const { return MAKEINTATOM(atom_); }

 private:
  void unregister() {
    if (atom_) UnregisterClassW(MAKEINTATOM(atom_), instance_);
    atom_ = 0;
  }
  HINSTANCE instance_ = nullptr;
  ATOM atom_ = 0;
};

// A function of a system DLL that older Windows versions lack.
template <typename Function>
Function loadProc(HMODULE module, const char* name) {
  if (!module) return nullptr;
  // Through void(*)() so the cast from FARPROC is a plain function-pointer cast.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace ks::win32
