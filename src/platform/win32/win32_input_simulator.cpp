// A user's input as the messages Windows would deliver for it. The messages
// are sent straight to the window, so what the system does for a real user
// (dropping input to a disabled window) is done here.
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_keys.h"
#include "platform/win32/win32_native.h"
#include "platform/win32/win32_system_menu.h"
#include "platform/win32/win32_window.h"
#include "platform/win32/win32_window_system.h"

// After <windows.h>, which they need.
#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace ks {
namespace {

using win32::ControlKind;
using win32::ControlNode;

UINT downMessage(int buttons) {
  return (buttons & kLeftButton) ? WM_LBUTTONDOWN : (buttons & kRightButton) ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
}

UINT upMessage(int buttons) {
  return (buttons & kLeftButton) ? WM_LBUTTONUP : (buttons & kRightButton) ? WM_RBUTTONUP : WM_MBUTTONUP;
}

LPARAM pointParam(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

WPARAM keyFlags(int buttons) {
  return ((buttons & kLeftButton) ? MK_LBUTTON : 0) | ((buttons & kRightButton) ? MK_RBUTTON : 0) |
         ((buttons & kMiddleButton) ? MK_MBUTTON : 0);
}

class Win32InputSimulator final : public InputSimulator {
 public:
  explicit Win32InputSimulator(WindowSystem& windows) : windows_(windows) {}

  void dragWindowTo(Window& window, float left, float top) override {
    HWND hwnd = takesInput(window);
    if (!hwnd) return;
    // Moving is not an event of the program's own.
    SetWindowPos(hwnd, nullptr, pixelsX(left), pixelsY(top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void activate(Window& window) override {
    HWND hwnd = takesInput(window);
    if (!hwnd) return;
    if (!SetForegroundWindow(hwnd) || GetActiveWindow() != hwnd) SetActiveWindow(hwnd);
    windows_.doEvents();
  }

  void mouseDown(Window& window, const MouseEvent& e) override {
    sendMouse(window, downMessage(e.button), keyFlags(e.button), e);
  }

  void mouseMove(Window& window, const MouseEvent& e) override {
    sendMouse(window, WM_MOUSEMOVE, keyFlags(e.button), e);
  }

  void mouseUp(Window& window, const MouseEvent& e) override {
    // The released button is no longer held.
    sendMouse(window, upMessage(e.button), 0, e);
  }

  void requestClose(Window& window) override {
    if (HWND hwnd = takesInput(window)) SendMessageW(hwnd, WM_CLOSE, 0, 0);
  }

  void minimize(Window& window) override { showAs(window, SW_MINIMIZE); }
  void restore(Window& window) override { showAs(window, SW_RESTORE); }

  void click(Control& control) override {
    ControlNode* node = takesInput(control);
    if (!node) return;
    switch (node->kind()) {
      case ControlKind::Button:
      case ControlKind::OptionButton:
        // The button presses and releases itself under the pointer and
        // reports BN_CLICKED.
        SendMessageW(node->handle(), BM_CLICK, 0, 0);
        break;
      case ControlKind::Label:
      case ControlKind::Image: {
        // Windowless: the window gets the clicks at the control's centre.
        const RECT r = node->pixelRect();
        const LPARAM at = pointParam((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(node->parentHandle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(node->parentHandle(), WM_LBUTTONUP, 0, at);
        break;
      }
      default: {
        RECT r{};
        GetClientRect(node->handle(), &r);
        const LPARAM at = pointParam(r.right / 2, r.bottom / 2);
        SendMessageW(node->handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(node->handle(), WM_LBUTTONUP, 0, at);
        break;
      }
    }
  }

  void selectItem(ItemList& list, int index) override {
    ControlNode* node = takesInput(list);
    if (!node || index < 0 || index >= list.listCount()) return;
    if (node->kind() == ControlKind::ComboBox) {
      // A pick from the dropped list: the selection, then the
      // notifications the list sends as it closes.
      SendMessageW(node->handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      notify(*node, CBN_SELCHANGE);
      notify(*node, CBN_SELENDOK);
      return;
    }
    SendMessageW(node->handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    notify(*node, LBN_SELCHANGE);
  }

  void doubleClickItem(ItemList& list, int index) override {
    ControlNode* node = takesInput(list);
    if (!node) return;
    // The first click picks the item, the second one reports the double
    // click; a drop-down list knows no double click.
    selectItem(list, index);
    if (node->kind() == ControlKind::ListBox && index >= 0 && index < list.listCount()) notify(*node, LBN_DBLCLK);
  }

  // Select all, then the typed text replaces it: one change, as a paste
  // makes; the box's length limit applies as it does to typing.
  void typeText(TextBox& box, const std::string& text) override {
    ControlNode* node = takesInput(box);
    if (!node) return;
    const std::wstring wide = win32::toWideShown(text);
    SendMessageW(node->handle(), EM_SETSEL, 0, -1);
    SendMessageW(node->handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
  }

  void mouseDown(Image& image, const MouseEvent& e) override {
    sendImageMouse(image, downMessage(e.button), keyFlags(e.button), e);
  }
  void mouseMove(Image& image, const MouseEvent& e) override {
    sendImageMouse(image, WM_MOUSEMOVE, keyFlags(e.button), e);
  }
  void mouseUp(Image& image, const MouseEvent& e) override { sendImageMouse(image, upMessage(e.button), 0, e); }

  void pressTab(Window& window, bool shift) override { pressKey(window, KeyEvent{kKeyTab, false, false, shift}); }

  void chooseSystemMenuItem(Window& window, int id) override {
    HWND hwnd = takesInput(window);
    if (!hwnd || id <= 0) return;
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (!menu) return;
    // As when the user opens it: the window sets its items first.
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    const UINT command = win32::menuCommandOf(id);
    if (!choosable(menu, command)) return;
    SendMessageW(hwnd, WM_SYSCOMMAND, command, 0);
    windows_.doEvents();
  }

  void pressHotkey(const Hotkey& hotkey) override {
    auto* system = dynamic_cast<win32::Win32WindowSystem*>(&windows_);
    const int id = system ? system->hotkeyId(hotkey) : 0;
    if (id == 0) return;
    PostMessageW(system->hiddenOwner(), WM_HOTKEY, static_cast<WPARAM>(id), MAKELPARAM(0, hotkey.key));
    windows_.doEvents();
  }
  void pressEnter(Window& window) override { pressKey(window, KeyEvent{kKeyEnter}); }
  void pressEscape(Window& window) override { pressKey(window, KeyEvent{kKeyEscape}); }

  // Pressed and released in the window, with the modifiers as the window
  // will read them (GetKeyState) when the key arrives. With Alt held the
  // system sends the key as a system key, Alt in its context bit.
  void pressKey(Window& window, const KeyEvent& key) override {
    HWND hwnd = takesInput(window);
    const UINT virtualKey = win32::virtualKeyOf(key.key);
    if (!hwnd || virtualKey == 0) return;
    // The key goes to the focused control, or to the window when none of
    // its controls has the focus.
    HWND target = GetFocus();
    if (!target || GetAncestor(target, GA_ROOT) != hwnd) target = hwnd;
    BYTE keys[256]{};
    GetKeyboardState(keys);
    BYTE before[256];
    std::copy(std::begin(keys), std::end(keys), before);
    keys[VK_SHIFT] = key.shift ? 0x80 : 0;
    keys[VK_CONTROL] = key.ctrl ? 0x80 : 0;
    keys[VK_MENU] = key.alt ? 0x80 : 0;
    SetKeyboardState(keys);
    const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = static_cast<LPARAM>(1 | (scanCode << 16) | (key.alt ? 1u << 29 : 0));
    PostMessageW(target, key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, down);
    PostMessageW(target, key.alt ? WM_SYSKEYUP : WM_KEYUP, virtualKey, down | static_cast<LPARAM>(3u << 30));
    windows_.doEvents();
    SetKeyboardState(before);
  }

  // As the system sends it to the top-level windows: a volume arrived.
  void announceDrivesChanged() override {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('E' - 'A');
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM found) -> BOOL {
          reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd : windows)
      if (IsWindow(hwnd)) SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume));
  }

 private:
  // The command is on the menu, not greyed, nor in a greyed submenu.
  static bool choosable(HMENU menu, UINT command) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
      if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED))) continue;
      if (HMENU sub = GetSubMenu(menu, i)) {
        if (choosable(sub, command)) return true;
      } else if (GetMenuItemID(menu, i) == command) {
        return true;
      }
    }
    return false;
  }

  // The control's node when the control and its window take input.
  static ControlNode* takesInput(Control& control) {
    ControlNode* node = win32::nodeOf(control);
    if (!node || !control.enabled() || !control.visible()) return nullptr;
    HWND parent = node->parentHandle();
    if (!parent || !IsWindowEnabled(parent)) return nullptr;
    if (node->kind() != ControlKind::Label && node->kind() != ControlKind::Image && !node->handle()) return nullptr;
    return node;
  }

  static void notify(const ControlNode& node, WORD code) {
    HWND hwnd = node.handle();
    SendMessageW(node.parentHandle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
  }

  // Windowless: the window gets the mouse at the image's place.
  void sendImageMouse(Image& image, UINT message, WPARAM keys, const MouseEvent& e) {
    ControlNode* node = takesInput(image);
    if (!node) return;
    const RECT r = node->pixelRect();
    SendMessageW(node->parentHandle(), message, keys, pointParam(r.left + pixelsX(e.x), r.top + pixelsY(e.y)));
  }

  static HWND takesInput(const Window& window) {
    HWND hwnd = nativeHandle(window);
    return hwnd && IsWindowEnabled(hwnd) ? hwnd : nullptr;
  }

  int pixelsX(float twips) const { return win32::toPixels(twips, windows_.twipsPerPixelX()); }
  int pixelsY(float twips) const { return win32::toPixels(twips, windows_.twipsPerPixelY()); }

  void sendMouse(Window& window, UINT message, WPARAM keys, const MouseEvent& e) {
    HWND hwnd = takesInput(window);
    if (!hwnd) return;
    SendMessageW(hwnd, message, keys, pointParam(pixelsX(e.x), pixelsY(e.y)));
  }

  void showAs(Window& window, int command) {
    // From the taskbar or the title bar: works on a disabled window too.
    if (HWND hwnd = nativeHandle(window)) ShowWindow(hwnd, command);
    windows_.doEvents();
  }

  WindowSystem& windows_;
};

}  // namespace

std::unique_ptr<InputSimulator> makeWin32InputSimulator(WindowSystem& windows) {
  return std::make_unique<Win32InputSimulator>(windows);
}

}  // namespace ks
