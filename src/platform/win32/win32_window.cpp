// Top-level windows: creation, geometry, showing, painting and their
// messages.
#include "platform/win32/win32_window.h"

#include "platform/handlers.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_keys.h"

#include <algorithm>
#include <cmath>

// After <windows.h>, which it needs.
#include <dbt.h>

namespace ks::win32 {
namespace {

// Where Windows puts a minimised window that the shell hides.
constexpr LONG kParked = -32000;

bool minimizedWindowsHidden() {
  MINIMIZEDMETRICS metrics{};
  metrics.cbSize = sizeof metrics;
  return SystemParametersInfoW(SPI_GETMINIMIZEDMETRICS, sizeof metrics, &metrics, 0) &&
         (metrics.iArrange & ARW_HIDE) != 0;
}

// GetWindowPlacement's rectangles are relative to the work area, except for
// tool windows.
POINT workspaceOffset(HWND hwnd) {
  if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return POINT{0, 0};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info)) return POINT{0, 0};
  return POINT{info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

Rgb rgbOf(COLORREF color) {
  return Rgb{GetRValue(color), GetGValue(color), GetBValue(color)};
}

// The window styles of a design's border and title bar.
struct FrameStyle {
  DWORD style = WS_CLIPCHILDREN;
  DWORD exStyle = 0;
  bool titled = true;
};

FrameStyle frameStyleOf(const WindowDesign& design) {
  FrameStyle frame;
  switch (design.border) {
    case Border::None:
      frame.style |= WS_POPUP;
      // A tool window stays out of the taskbar and Alt+Tab.
      frame.exStyle |= design.showInTaskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
      frame.titled = false;
      break;
    case Border::FixedSingle:
      frame.style |= WS_OVERLAPPED | WS_CAPTION;
      break;
    case Border::FixedDialog:
      frame.style |= WS_CAPTION | WS_DLGFRAME;
      frame.exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case Border::Sizable:
      frame.style |= WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME;
      break;
  }
  if (frame.titled) {
    if (design.controlBox) frame.style |= WS_SYSMENU;
    if (design.minButton) frame.style |= WS_MINIMIZEBOX;
    if (design.maxButton) frame.style |= WS_MAXIMIZEBOX;
    if (design.showInTaskbar) frame.exStyle |= WS_EX_APPWINDOW;
  }
  return frame;
}

}  // namespace

Rgb Win32Line::color() const {
  return design().systemWindowText ? rgbOf(GetSysColor(COLOR_WINDOWTEXT)) : design().color;
}

void Win32Line::changed() { owner_.invalidate(); }

// --- Win32Window ----------------------------------------------------------

Win32Window::Win32Window(Win32WindowSystem& system, const WindowDesign& design)
    : system_(system),
      caption_(design.caption),
      minClient_{win32::toPixels(design.minClientWidth, system.metrics().twipsPerPixelX),
                 win32::toPixels(design.minClientHeight, system.metrics().twipsPerPixelY)},
      background_(CreateSolidBrush(colorRef(design.background))),
      font_(Font{design.fontName, design.fontSize}) {
  const auto [style, exStyle, titled] = frameStyleOf(design);
  HWND owner = titled && !design.showInTaskbar ? system_.hiddenOwner() : nullptr;

  const auto& m = system_.metrics();
  int clientLeft = win32::toPixels(design.clientLeft, m.twipsPerPixelX);
  int clientTop = win32::toPixels(design.clientTop, m.twipsPerPixelY);
  const int clientWidth = win32::toPixels(design.clientWidth, m.twipsPerPixelX);
  const int clientHeight = win32::toPixels(design.clientHeight, m.twipsPerPixelY);
  RECT outer{clientLeft, clientTop, clientLeft + clientWidth, clientTop + clientHeight};
  win32::adjustWindowRect(outer, style, exStyle, m.dpiY);
  if (design.centered) {
    // Centred on the primary monitor's work area, frame included.
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int dx = (work.left + work.right - (outer.right - outer.left)) / 2 - outer.left;
    const int dy = (work.top + work.bottom - (outer.bottom - outer.top)) / 2 - outer.top;
    OffsetRect(&outer, dx, dy);
    clientLeft += dx;
    clientTop += dy;
  }

  // WM_NCCREATE attaches the handle to this object.
  CreateWindowExW(exStyle, system_.className(), toWideShown(design.caption).c_str(), style, outer.left, outer.top,
                  outer.right - outer.left, outer.bottom - outer.top, owner, nullptr, system_.instance(), this);
  if (!hwnd_) return;
  placeClientArea(clientLeft, clientTop, clientWidth, clientHeight);
  if (design.iconResource != 0) setIcons(design.iconResource);
}

void Win32Window::setIcons(int resource) {
  const auto id = MAKEINTRESOURCEW(resource);
  auto load = [&](int cx, int cy) {
    return static_cast<HICON>(LoadImageW(system_.instance(), id, IMAGE_ICON, cx, cy, LR_SHARED));
  };
  if (HICON largeIcon = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)))
    SendMessageW(hwnd_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon));
  if (HICON smallIcon = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)))
    SendMessageW(hwnd_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

Win32Window::~Win32Window() {
  if (HWND hwnd = hwnd_.get()) {
    // Detach first: destroying sends messages this half-destroyed object
    // must not see.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    system_.releaseModal(hwnd);
  }
  // The child windows go while their parent still exists.
  paintOrder_.clear();
  controls_.clear();
}

RECT Win32Window::windowRect() const {
  RECT r{};
  if (!hwnd_) return r;
  GetWindowRect(hwnd_.get(), &r);
  // Windows parks a minimised window off-screen when the shell hides them
  // (ARW_HIDE, the default). Some hosts report that setting but leave the
  // window on the desktop (Wine's virtual desktop); report the parked place
  // so a layout derived from a minimised window behaves alike everywhere.
  if (IsIconic(hwnd_.get()) && minimizedWindowsHidden()) OffsetRect(&r, kParked - r.left, kParked - r.top);
  return r;
}

RECT Win32Window::clientRect() const {
  RECT r{};
  if (hwnd_) GetClientRect(hwnd_.get(), &r);
  return r;
}

Win32Window::SizeKey Win32Window::currentSizeKey() const {
  SizeKey key;
  if (!hwnd_) return key;
  key.kind = IsIconic(hwnd_.get()) ? SIZE_MINIMIZED : IsZoomed(hwnd_.get()) ? SIZE_MAXIMIZED : SIZE_RESTORED;
  const RECT client = clientRect();
  key.width = client.right;
  key.height = client.bottom;
  return key;
}

// The frame computed from the style can differ from what the system draws
// (themes, a caption that wraps, another monitor's DPI); measure and correct.
void Win32Window::placeClientArea(int left, int top, int width, int height) {
  HWND hwnd = hwnd_.get();
  const RECT outer = windowRect();
  const RECT client = clientRect();
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  const int dx = left - origin.x;
  const int dy = top - origin.y;
  const int dw = width - client.right;
  const int dh = height - client.bottom;
  if (dx == 0 && dy == 0 && dw == 0 && dh == 0) return;
  SetWindowPos(hwnd, nullptr, outer.left + dx, outer.top + dy, outer.right - outer.left + dw,
               outer.bottom - outer.top + dh, SWP_NOZORDER | SWP_NOACTIVATE);
}


template <typename Change>
void Win32Window::place(Change change) {
  HWND hwnd = hwnd_.get();
  if (!hwnd) return;
  if (IsIconic(hwnd)) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd, &placement)) return;
    RECT restored = placement.rcNormalPosition;
    const POINT offset = workspaceOffset(hwnd);
    OffsetRect(&restored, offset.x, offset.y);
    RECT changed = restored;
    change(changed);
    if (!EqualRect(&changed, &restored)) setRestoredRect(hwnd, changed);
    return;
  }
  RECT r{};
  GetWindowRect(hwnd, &r);
  RECT changed = r;
  change(changed);
  const bool moves = changed.left != r.left || changed.top != r.top;
  const bool sizes = changed.right - changed.left != r.right - r.left || changed.bottom - changed.top != r.bottom - r.top;
  if (!moves && !sizes) return;
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!moves) flags |= SWP_NOMOVE;
  if (!sizes) flags |= SWP_NOSIZE;
  // WM_SIZE, and with it Resize, is sent before SetWindowPos returns.
  SetWindowPos(hwnd, nullptr, changed.left, changed.top, changed.right - changed.left, changed.bottom - changed.top,
               flags);
}
void Win32Window::setLeft(float twips) {
  const int x = toPixelsX(twips);
  place([x](RECT& r) { OffsetRect(&r, x - r.left, 0); });
}

void Win32Window::setTop(float twips) {
  const int y = toPixelsY(twips);
  place([y](RECT& r) { OffsetRect(&r, 0, y - r.top); });
}

void Win32Window::setWidth(float twips) {
  const int width = toPixelsX(twips);
  place([width](RECT& r) { r.right = r.left + width; });
}

void Win32Window::setHeight(float twips) {
  const int height = toPixelsY(twips);
  place([height](RECT& r) { r.bottom = r.top + height; });
}

void Win32Window::setRestoredRect(HWND hwnd, const RECT& rect) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(hwnd, &placement)) return;
  const POINT offset = workspaceOffset(hwnd);
  placement.rcNormalPosition = rect;
  OffsetRect(&placement.rcNormalPosition, -offset.x, -offset.y);
  // Stays minimised and inactive (or hidden).
  placement.showCmd = IsWindowVisible(hwnd) ? SW_SHOWMINNOACTIVE : SW_HIDE;
  SetWindowPlacement(hwnd, &placement);
}

int Win32Window::windowState() const {
  if (!hwnd_) return kStateNormal;
  if (IsIconic(hwnd_.get())) return kStateMinimized;
  if (IsZoomed(hwnd_.get())) return kStateMaximized;
  return kStateNormal;
}

void Win32Window::setWindowState(int state) {
  if (!hwnd_ || state == windowState()) return;
  const int command = state == kStateMinimized ? SW_MINIMIZE : state == kStateMaximized ? SW_MAXIMIZE : SW_RESTORE;
  ShowWindow(hwnd_.get(), command);
}

void Win32Window::show() {
  if (!hwnd_) return;
  if (!shown_) {
    // Resize comes first, before the window appears and is activated;
    // the WM_SIZE that the first ShowWindow sends reports the same size and
    // is dropped in sized().
    shown_ = true;
    lastSize_ = currentSizeKey();
    fireUnlessEnded(system_.ended(), events.onResize);
    if (!hwnd_) return;
  }
  HWND hwnd = hwnd_.get();
  if (IsWindowVisible(hwnd)) {
    // ShowWindow does nothing for a visible window; showing it again still
    // brings it to the front and activates it.
    if (GetForegroundWindow() != hwnd) SetForegroundWindow(hwnd);
    return;
  }
  showing_ = true;
  ShowWindow(hwnd, SW_SHOW);
  showing_ = false;
}

void Win32Window::hide() {
  if (!hwnd_) return;
  system_.releaseModal(hwnd_.get());
  ShowWindow(hwnd_.get(), SW_HIDE);
}

void Win32Window::makeTopmost() {
  if (!hwnd_) return;
  // Without SWP_NOACTIVATE the window is activated too, but a hidden window
  // must not become the active one.
  UINT flags = SWP_NOMOVE | SWP_NOSIZE;
  if (!IsWindowVisible(hwnd_.get())) flags |= SWP_NOACTIVATE;
  SetWindowPos(hwnd_.get(), HWND_TOPMOST, 0, 0, 0, 0, flags);
}

std::string Win32Window::caption() const {
  if (!hwnd_) return caption_;
  const int length = GetWindowTextLengthW(hwnd_.get());
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd_.get(), text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return fromWide(text);
}

Line& Win32Window::addLine(const LineDesign& design) {
  lines_.push_back(std::make_unique<Win32Line>(*this, design));
  paintOrder_.push_back(PaintItem{lines_.back().get(), nullptr});
  invalidate();
  return *lines_.back();
}

HFONT Win32Window::font(const std::optional<Font>& wanted) {
  const Font& f = wanted ? *wanted : font_;
  for (const auto& [key, font] : fonts_)
    if (key.name == f.name && key.size == f.size && key.bold == f.bold && key.underline == f.underline)
      return font.get();
  UniqueFont created = win32::createFont(f, system_.metrics().dpiY);
  if (!created) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_.emplace_back(f, std::move(created));
  return fonts_.back().second.get();
}

void Win32Window::repaint(const RECT& area, bool now) {
  HWND hwnd = hwnd_.get();
  if (!hwnd) return;
  if (!now || !IsWindowVisible(hwnd)) {
    // Not erased first: painting covers the whole area, so nothing flickers.
    InvalidateRect(hwnd, &area, FALSE);
    return;
  }
  RECT client = clientRect();
  RECT part{};
  if (!IntersectRect(&part, &area, &client)) return;
  ValidateRect(hwnd, &part);
  win32::WindowDc dc(hwnd);
  if (dc.get()) render(dc.get(), part);
}

void Win32Window::drawLine(HDC dc, const LineDesign& line) const {
  const COLORREF color = line.systemWindowText ? GetSysColor(COLOR_WINDOWTEXT) : colorRef(line.color);
  UniquePen pen(CreatePen(PS_SOLID, std::max(1, line.widthPixels), color));
  if (!pen) return;
  SelectScope select(dc, pen.get());
  MoveToEx(dc, toPixelsX(line.x1), toPixelsY(line.y1), nullptr);
  LineTo(dc, toPixelsX(line.x2), toPixelsY(line.y2));
}

void Win32Window::paint(HWND hwnd) {
  {
    // Validated here whatever the handler below does, so a handler that
    // moves other windows cannot start a paint storm.
    PaintScope scope(hwnd);
    RECT area{};
    if (scope.dc() && GetClipBox(scope.dc(), &area) != ERROR) render(scope.dc(), area);
  }
  if (shown_) fireUnlessEnded(system_.ended(), events.onPaint);
}

// Background, lines and windowless controls are composed off-screen first,
// so a label repainted every second does not flicker. The child windows are
// clipped out of the window's DC.
void Win32Window::render(HDC dc, const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  UniqueDc memory(CreateCompatibleDC(dc));
  UniqueBitmap bitmap(memory ? CreateCompatibleBitmap(dc, width, height) : nullptr);
  if (!bitmap) {
    FillRect(dc, &area, background_.get());
    drawItems(dc);
    return;
  }
  SelectScope select(memory.get(), bitmap.get());
  SetViewportOrgEx(memory.get(), -area.left, -area.top, nullptr);
  FillRect(memory.get(), &area, background_.get());
  drawItems(memory.get());
  BitBlt(dc, area.left, area.top, width, height, memory.get(), area.left, area.top, SRCCOPY);
}

void Win32Window::drawItems(HDC dc) {
  for (const PaintItem& item : paintOrder_) {
    if (item.line) drawLine(dc, item.line->design());
    else if (item.control) item.control->paint(dc);
  }
}

void Win32Window::sized(HWND hwnd, WPARAM kind) {
  if (!shown_ || kind > SIZE_MAXIMIZED) return;
  RECT client{};
  GetClientRect(hwnd, &client);
  const SizeKey key{kind, client.right, client.bottom};
  if (lastSize_ == key) return;
  lastSize_.emplace(key);
  fireUnlessEnded(system_.ended(), events.onResize);
}

void Win32Window::closeRequested() {
  bool accepted = true;
  if (events.onCloseRequest && !system_.ended()) {
    auto handler = events.onCloseRequest;
    accepted = handler();
  }
  if (!accepted) return;
  fireUnlessEnded(system_.ended(), events.onUnload);
  if (HWND hwnd = hwnd_.get()) {
    system_.releaseModal(hwnd);
    DestroyWindow(hwnd);  // WM_NCDESTROY lets go of the handle
  }
}

bool Win32Window::systemMenuCommand(UINT command) {
  const std::optional<int> item = SystemMenu::itemOf(command);
  if (!item) return false;
  fireUnlessEnded(system_.ended(), events.onSystemMenu, *item);
  return true;
}

void Win32Window::setSystemMenu(const std::vector<MenuItem>& items) { systemMenu_.set(hwnd_.get(), items); }

// The menu is tracked here rather than by the system's Alt+Space handling,
// which would activate this window first. Its owner is the window that has
// the keyboard, when it is one of this thread's, so that the menu closes as
// the user expects.
void Win32Window::showSystemMenu() {
  HWND hwnd = hwnd_.get();
  HMENU menu = hwnd ? GetSystemMenu(hwnd, FALSE) : nullptr;
  if (!menu) return;
  fireUnlessEnded(system_.ended(), events.onSystemMenuOpening);
  systemMenu_.rebuild(hwnd);
  POINT corner{0, 0};
  ClientToScreen(hwnd, &corner);
  HWND owner = GetForegroundWindow();
  if (!owner || GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) owner = hwnd;
  const UINT command = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY, corner.x, corner.y, 0, owner, nullptr));
  if (command == 0 || !hwnd_.get()) return;
  if (!systemMenuCommand(command & 0xFFF0)) PostMessageW(hwnd, WM_SYSCOMMAND, command, 0);
}

bool Win32Window::previewKey(const MSG& message) {
  if (!hwnd_ || !events.onKeyDown || system_.ended() || focus_.listDropped()) return false;
  const std::optional<int> key = formKey(message.wParam);
  if (!key) return false;
  const KeyEvent e{*key, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0, GetKeyState(VK_SHIFT) < 0};
  // A copy runs: it may replace itself or unload the window.
  auto handler = events.onKeyDown;
  try {
    return handler(e);
  } catch (...) {
    // It must not leave the message loop; dropped, as windowProc drops an
    // event.
    return true;
  }
}

void Win32Window::limitTracking(MINMAXINFO& info) const {
  HWND hwnd = hwnd_.get();
  if (!hwnd || (minClient_.cx <= 0 && minClient_.cy <= 0)) return;
  RECT outer{0, 0, minClient_.cx, minClient_.cy};
  if (IsIconic(hwnd)) {
    win32::adjustWindowRect(outer, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)),
                            static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)), system_.metrics().dpiY);
  } else {
    // The frame as the system draws it, which the style need not tell
    // (placeClientArea).
    RECT window{}, client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    outer.right += window.right - window.left - client.right;
    outer.bottom += window.bottom - window.top - client.bottom;
  }
  if (minClient_.cx > 0) info.ptMinTrackSize.x = outer.right - outer.left;
  if (minClient_.cy > 0) info.ptMinTrackSize.y = outer.bottom - outer.top;
}

bool Win32Window::handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_SIZE:
    case kDpiChanged:
      return geometryMessage(hwnd, message, wParam);
    case WM_ERASEBKGND:
    case WM_PAINT:
      return paintMessage(hwnd, message, wParam, result);
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
      return controlMessage(message, wParam, lParam, result);
    case WM_HSCROLL:
      return scrollMessage(lParam);
    case WM_ACTIVATE:
    case WM_SETFOCUS:
      return focusMessage(hwnd, message, wParam, lParam, result);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_CAPTURECHANGED:
      return mouseMessage(hwnd, message, wParam, lParam);
    case WM_INITMENUPOPUP:
    case WM_SYSCOMMAND:
      return systemMenuMessage(message, wParam, lParam);
    case WM_SYSCHAR:
      // Alt+Space; the system passes it up from the window's controls.
      if (wParam != ' ' || !events.onMenuKey) return false;
      fireUnlessEnded(system_.ended(), events.onMenuKey);
      return true;
    case WM_DEVICECHANGE:
      return deviceMessage(wParam, lParam, result);
    case WM_CLOSE:
    case WM_NCDESTROY:
      return lifetimeMessage(hwnd, message);
    default:
      return false;
  }
}

// Size and move, and DPI.
bool Win32Window::geometryMessage(HWND hwnd, UINT message, WPARAM wParam) {
  if (message == WM_SIZE) sized(hwnd, wParam);
  // kDpiChanged: geometry is kept in device pixels; the program places its
  // windows itself, so the suggested rectangle is not applied.
  return true;
}

// The window's own painting; the controls' is in controlMessage.
bool Win32Window::paintMessage(HWND hwnd, UINT message, WPARAM wParam, LRESULT& result) {
  if (message == WM_PAINT) {
    paint(hwnd);
    return true;
  }
  RECT client{};
  GetClientRect(hwnd, &client);
  FillRect(reinterpret_cast<HDC>(wParam), &client, background_.get());
  result = 1;
  return true;
}

// What the child-window controls send their window: notifications, and
// asking for their drawing and colours.
bool Win32Window::controlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    ControlNode* node = item ? nodeWithHandle(item->hwndItem) : nullptr;
    if (!node || !node->drawItem(*item)) return false;
    result = TRUE;
    return true;
  }
  ControlNode* node = nodeWithHandle(reinterpret_cast<HWND>(lParam));
  if (message == WM_CTLCOLORSTATIC) {
    HBRUSH brush = node ? node->ctlColor(reinterpret_cast<HDC>(wParam)) : nullptr;
    if (!brush) return false;
    result = reinterpret_cast<LRESULT>(brush);
    return true;
  }
  if (node) {
    node->command(HIWORD(wParam));  // may unload this window
    return true;
  }
  // Wine sends the items of a submenu of the system menu as menu commands
  // rather than system commands.
  if (lParam == 0 && HIWORD(wParam) == 0) return systemMenuCommand(LOWORD(wParam));
  return false;
}

// A slider moved; lParam is its window.
bool Win32Window::scrollMessage(LPARAM lParam) {
  ControlNode* node = nodeWithHandle(reinterpret_cast<HWND>(lParam));
  if (!node) return false;
  node->scrolled();  // may unload this window
  return true;
}

// Activation and the keyboard focus.
bool Win32Window::focusMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_SETFOCUS) {
    focus_.arrived();
    return true;
  }
  const bool active = LOWORD(wParam) != WA_INACTIVE;
  // Remember the focused control; activation gives it back.
  if (!active) focus_.deactivating();
  // Sets the focus to the window, which hands it on (WM_SETFOCUS).
  result = DefWindowProcW(hwnd, message, wParam, lParam);
  if (active && shown_ && (showing_ || IsWindowVisible(hwnd))) fireUnlessEnded(system_.ended(), events.onActivate);
  return true;
}

bool Win32Window::mouseMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CAPTURECHANGED) {
    mouse_.captureChanged(hwnd, reinterpret_cast<HWND>(lParam));
    return false;
  }
  mouseInput(hwnd, message, wParam, lParam);
  return true;
}

void Win32Window::mouseInput(HWND hwnd, UINT message, WPARAM keys, LPARAM position) {
  // Signed: while the mouse is captured the pointer may be left of or above
  // the client area.
  const POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  const std::optional<WindowMouse> own = mouse_.route(hwnd, message, keys, point);
  if (!own) return;
  const MouseEvent e{own->button, toTwipsX(point.x), toTwipsY(point.y)};
  switch (own->action) {
    case WindowMouse::Action::Down:
      fireUnlessEnded(system_.ended(), events.onMouseDown, e);
      break;
    case WindowMouse::Action::Up:
      fireUnlessEnded(system_.ended(), events.onMouseUp, e);
      break;
    case WindowMouse::Action::Move:
      fireUnlessEnded(system_.ended(), events.onMouseMove, e);
      break;
  }
}

bool Win32Window::systemMenuMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SYSCOMMAND) return systemMenuCommand(static_cast<UINT>(wParam & 0xFFF0));
  // WM_INITMENUPOPUP: the system menu is opening; its items may change
  // first.
  if (HIWORD(lParam) && shown_) {
    fireUnlessEnded(system_.ended(), events.onSystemMenuOpening);
    systemMenu_.rebuild(hwnd_.get());
  }
  return false;
}

// Sent to every top-level window when a volume (a drive letter, or a medium
// in one) arrives or goes.
bool Win32Window::deviceMessage(WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if ((wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) || !lParam ||
      reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_devicetype != DBT_DEVTYP_VOLUME)
    return false;
  fireUnlessEnded(system_.ended(), events.onDrivesChanged);
  result = TRUE;
  return true;
}

bool Win32Window::lifetimeMessage(HWND hwnd, UINT message) {
  if (message == WM_CLOSE) {
    closeRequested();
    return true;
  }
  // WM_NCDESTROY: the child windows are gone already.
  for (const auto& node : controls_) node->forgetHandle();
  focus_.forget();
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  hwnd_.release();
  return false;
}

}  // namespace ks::win32
