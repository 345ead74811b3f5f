// Top-level windows, their events, modal showing and the message pump on
// user32/gdi32.
#include "platform/win32/win32_window_system.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_native.h"

// After <windows.h>, which it needs.
#include <commctrl.h>

namespace ks {
namespace {

using win32::PaintScope;
using win32::SelectScope;
using win32::UniqueBrush;
using win32::UniquePen;
using win32::UniqueWindow;
using win32::WindowClass;
using win32::ControlKind;
using win32::ControlNode;
using win32::UniqueBitmap;
using win32::UniqueDc;
using win32::UniqueFont;
using win32::colorRef;
using win32::narrow;
using win32::widen;

constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED (Windows 8.1)

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

int buttonOfMessage(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      return kLeftButton;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return kRightButton;
    default:
      return kMiddleButton;
  }
}

int heldButtons(WPARAM keys) {
  return ((keys & MK_LBUTTON) ? kLeftButton : 0) | ((keys & MK_RBUTTON) ? kRightButton : 0) |
         ((keys & MK_MBUTTON) ? kMiddleButton : 0);
}

class Win32WindowSystem;
class Win32Window;

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class Win32Line final : public Line {
 public:
  Win32Line(Win32Window& owner, const LineDesign& design) : owner_(owner), design_(design) {}

  float x1() const override { return design_.x1; }
  float y1() const override { return design_.y1; }
  float x2() const override { return design_.x2; }
  float y2() const override { return design_.y2; }
  void setX1(float twips) override { set(design_.x1, twips); }
  void setY1(float twips) override { set(design_.y1, twips); }
  void setX2(float twips) override { set(design_.x2, twips); }
  void setY2(float twips) override { set(design_.y2, twips); }
  int widthPixels() const override { return design_.widthPixels; }
  Rgb color() const override {
    return design_.systemWindowText ? rgbOf(GetSysColor(COLOR_WINDOWTEXT)) : design_.color;
  }

  const LineDesign& design() const { return design_; }

 private:
  void set(float& field, float twips);

  Win32Window& owner_;
  LineDesign design_;
};

class Win32WindowSystem final : public WindowSystem {
 public:
  explicit Win32WindowSystem(const Win32Options& options);
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  std::unique_ptr<Window> createWindow(const WindowDesign& design) override;
  float twipsPerPixelX() const override { return metrics_.twipsPerPixelX; }
  float twipsPerPixelY() const override { return metrics_.twipsPerPixelY; }
  void showModal(Window& window) override;
  MsgButton messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) override;
  void messageBoxWarning(const std::string& text) override;
  void doEvents() override;
  void waitForEvents(double maxSeconds) override;
  int run() override;
  void endProgram() override;
  bool ended() const override { return ended_; }

  HINSTANCE instance() const { return instance_; }
  LPCWSTR className() const { return class_.name(); }
  const win32::ScreenMetrics& metrics() const { return metrics_; }
  // Owner of titled windows kept out of the taskbar: an unowned window
  // without WS_EX_TOOLWINDOW always gets a taskbar button.
  HWND hiddenOwner();
  int showMessageBox(const std::string& text, UINT type);
  // A modal dialog going away (hidden, closed or destroyed): give the other
  // windows their input back before the system picks the next active one.
  void releaseModal(HWND dialog);

 private:
  struct ModalFrame {
    HWND dialog = nullptr;
    std::vector<HWND> disabled;
    bool released = false;
  };

  std::vector<HWND> ourTopLevelWindows() const;
  // Disables the program's enabled top-level windows other than `keep`, and
  // returns them for enableAgain.
  std::vector<HWND> disableOurWindowsBut(HWND keep) const;
  static void enableAgain(const std::vector<HWND>& windows);
  // The window of ours that a message goes to, or one of its controls.
  Win32Window* windowOf(HWND hwnd) const;
  void dispatch(const MSG& message);
  void quitReceived(const MSG& message);

  Win32Options options_;
  HINSTANCE instance_ = GetModuleHandleW(nullptr);
  win32::ScreenMetrics metrics_;
  WindowClass class_;
  UniqueWindow owner_;
  std::vector<ModalFrame> modal_;
  bool ended_ = false;
  bool quitQueued_ = false;  // our WM_QUIT still waits in the thread's queue
  int exitCode_ = 0;
};

class Win32Window final : public Window, private win32::ControlHost {
 public:
  Win32Window(Win32WindowSystem& system, const WindowDesign& design);
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  float left() const override { return toTwipsX(windowRect().left); }
  float top() const override { return toTwipsY(windowRect().top); }
  float width() const override {
    const RECT r = windowRect();
    return toTwipsX(r.right - r.left);
  }
  float height() const override {
    const RECT r = windowRect();
    return toTwipsY(r.bottom - r.top);
  }
  void setLeft(float twips) override {
    const int x = toPixelsX(twips);
    place([x](RECT& r) { OffsetRect(&r, x - r.left, 0); });
  }
  void setTop(float twips) override {
    const int y = toPixelsY(twips);
    place([y](RECT& r) { OffsetRect(&r, 0, y - r.top); });
  }
  void setWidth(float twips) override {
    const int width = toPixelsX(twips);
    place([width](RECT& r) { r.right = r.left + width; });
  }
  void setHeight(float twips) override {
    const int height = toPixelsY(twips);
    place([height](RECT& r) { r.bottom = r.top + height; });
  }
  float scaleWidth() const override { return toTwipsX(clientRect().right); }
  float scaleHeight() const override { return toTwipsY(clientRect().bottom); }

  int windowState() const override;
  void setWindowState(int state) override;
  bool visible() const override { return hwnd_ && IsWindowVisible(hwnd_.get()); }
  void show() override;
  void hide() override;
  bool enabled() const override { return hwnd_ && IsWindowEnabled(hwnd_.get()); }
  void setEnabled(bool enabled) override {
    if (hwnd_) EnableWindow(hwnd_.get(), enabled ? TRUE : FALSE);
  }
  void makeTopmost() override;
  bool topmost() const override {
    return hwnd_ && (GetWindowLongPtrW(hwnd_.get(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  }
  std::string caption() const override;
  Line& addLine(const LineDesign& design) override;
  Button& addButton(const ButtonDesign& design) override {
    return add<Button>(win32::createButton(*this, nextControlId(), design));
  }
  Label& addLabel(const LabelDesign& design) override { return add<Label>(win32::createLabel(*this, design)); }
  Image& addImage(const ImageDesign& design) override { return add<Image>(win32::createImage(*this, design)); }
  ListBox& addListBox(const ListDesign& design) override {
    return add<ListBox>(win32::createListBox(*this, nextControlId(), design));
  }
  ComboBox& addComboBox(const ListDesign& design) override {
    return add<ComboBox>(win32::createComboBox(*this, nextControlId(), design));
  }
  OptionButton& addOptionButton(const OptionButtonDesign& design) override {
    return add<OptionButton>(win32::createOptionButton(*this, nextControlId(), design));
  }
  TextBox& addTextBox(const TextBoxDesign& design) override {
    return add<TextBox>(win32::createTextBox(*this, nextControlId(), design));
  }
  Control* focusedControl() const override {
    ControlNode* node = nodeWithHandle(GetFocus());
    return node ? &node->control() : nullptr;
  }

  HWND handle() const { return hwnd_.get(); }
  void attach(HWND hwnd) { hwnd_.reset(hwnd); }
  void invalidate() {
    if (hwnd_) InvalidateRect(hwnd_.get(), nullptr, TRUE);
  }
  // True when the message is handled here, with its result.
  bool handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Keys the window handles before the focused control sees them (Tab,
  // Enter, Esc); true when the key was used.
  bool translateKey(const MSG& message);

 private:
  // Something the window paints, in creation order: a line or a windowless
  // control.
  struct PaintItem {
    const Win32Line* line = nullptr;
    ControlNode* control = nullptr;
  };

  // ControlHost
  HWND hostHandle() const override { return hwnd_.get(); }
  HINSTANCE instance() const override { return system_.instance(); }
  float twipsPerPixelX() const override { return system_.metrics().twipsPerPixelX; }
  float twipsPerPixelY() const override { return system_.metrics().twipsPerPixelY; }
  bool handlersStopped() const override { return system_.ended(); }
  HFONT font(const std::optional<Font>& font) override;
  HBRUSH backgroundBrush() const override { return background_.get(); }
  void repaint(const RECT& area, bool now) override;
  void optionSelected(const ControlNode& option, int group) override;
  void focusLeaving(const ControlNode& control) override;

  template <typename Kind>
  Kind& add(std::unique_ptr<ControlNode> node) {
    auto& control = static_cast<Kind&>(node->control());
    if (!node->handle()) paintOrder_.push_back(PaintItem{nullptr, node.get()});
    controls_.push_back(std::move(node));
    return control;
  }
  int nextControlId() { return kFirstControlId + static_cast<int>(controls_.size()); }
  ControlNode* nodeWithHandle(HWND hwnd) const;
  // The windowless control at a client point that takes the mouse, or
  // nullptr for the window itself.
  ControlNode* hitTest(POINT point) const;
  // Controls that Tab visits, in tab order.
  std::vector<ControlNode*> tabOrder() const;
  void focus(ControlNode& control);
  void moveFocus(bool backward);
  ControlNode* buttonFor(bool (ControlNode::*role)() const) const;
  void mouseInput(HWND hwnd, UINT message, WPARAM keys, LPARAM position);
  void render(HDC dc, const RECT& area);
  void drawItems(HDC dc);

  // What a Resize reports: the state and the client size it happened at.
  struct SizeKey {
    WPARAM kind = SIZE_RESTORED;
    LONG width = 0;
    LONG height = 0;
    friend bool operator==(const SizeKey&, const SizeKey&) = default;
  };

  float toTwipsX(LONG pixels) const {
    return win32::toTwips(pixels, system_.metrics().twipsPerPixelX);
  }
  float toTwipsY(LONG pixels) const {
    return win32::toTwips(pixels, system_.metrics().twipsPerPixelY);
  }
  int toPixelsX(float twips) const {
    return win32::toPixels(twips, system_.metrics().twipsPerPixelX);
  }
  int toPixelsY(float twips) const {
    return win32::toPixels(twips, system_.metrics().twipsPerPixelY);
  }
  RECT windowRect() const;
  RECT clientRect() const;
  SizeKey currentSizeKey() const;
  void placeClientArea(int left, int top, int width, int height);
  // Changes the outer rectangle; that of a minimised window is where it
  // will be restored.
  template <typename Change>
  void place(Change change);
  void setRestoredRect(HWND hwnd, const RECT& rect);
  void paint(HWND hwnd);
  void focusArrived();
  void drawLine(HDC dc, const LineDesign& line) const;
  void sized(HWND hwnd, WPARAM kind);
  void closeRequested();
  MouseEvent mouseEvent(int button, LPARAM position) const;

  // Runs a handler unless the program has ended. A copy runs, so a handler
  // may replace itself.
  template <typename Handler, typename... Args>
  void fire(const Handler& handler, const Args&... args) {
    if (!handler || system_.ended()) return;
    Handler copy = handler;
    copy(args...);
  }

  static constexpr int kFirstControlId = 1000;

  Win32WindowSystem& system_;
  std::string caption_;
  UniqueBrush background_;
  Font font_;
  // Fonts outlive the controls that use them.
  std::vector<std::pair<Font, UniqueFont>> fonts_;
  std::vector<std::unique_ptr<Win32Line>> lines_;
  std::vector<std::unique_ptr<ControlNode>> controls_;
  std::vector<PaintItem> paintOrder_;
  // Who got the mouse button that is held (nullptr: the window itself);
  // empty while no button is held.
  std::optional<ControlNode*> pressed_;
  // The control that had the focus when the window was last deactivated.
  ControlNode* lastFocus_ = nullptr;
  bool keepFocus_ = false;  // the window itself takes the focus
  bool shown_ = false;    // events flow only after the first show
  bool showing_ = false;  // inside ShowWindow: activation arrives mid-show
  std::optional<SizeKey> lastSize_;
  UniqueWindow hwnd_;
};

void Win32Line::set(float& field, float twips) {
  if (field == twips) return;
  field = twips;
  owner_.invalidate();
}

// --- Win32Window ----------------------------------------------------------

Win32Window::Win32Window(Win32WindowSystem& system, const WindowDesign& design)
    : system_(system),
      caption_(design.caption),
      background_(CreateSolidBrush(colorRef(design.background))),
      font_(Font{design.fontName, design.fontSize}) {
  DWORD style = WS_CLIPCHILDREN;
  DWORD exStyle = 0;
  bool titled = true;
  switch (design.border) {
    case Border::None:
      style |= WS_POPUP;
      // A tool window stays out of the taskbar and Alt+Tab.
      exStyle |= design.showInTaskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
      titled = false;
      break;
    case Border::FixedSingle:
      style |= WS_OVERLAPPED | WS_CAPTION;
      break;
    case Border::FixedDialog:
      style |= WS_CAPTION | WS_DLGFRAME;
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case Border::Sizable:
      style |= WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME;
      break;
  }
  if (titled) {
    if (design.controlBox) style |= WS_SYSMENU;
    if (design.minButton) style |= WS_MINIMIZEBOX;
    if (design.maxButton) style |= WS_MAXIMIZEBOX;
    if (design.showInTaskbar) exStyle |= WS_EX_APPWINDOW;
  }
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
  CreateWindowExW(exStyle, system_.className(), widen(design.caption).c_str(), style, outer.left, outer.top,
                  outer.right - outer.left, outer.bottom - outer.top, owner, nullptr, system_.instance(), this);
  if (!hwnd_) return;
  placeClientArea(clientLeft, clientTop, clientWidth, clientHeight);

  if (design.iconResource != 0) {
    const auto id = MAKEINTRESOURCEW(design.iconResource);
    auto load = [&](int cx, int cy) {
      return static_cast<HICON>(LoadImageW(system_.instance(), id, IMAGE_ICON, cx, cy, LR_SHARED));
    };
    if (HICON largeIcon = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)))
      SendMessageW(hwnd_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon));
    if (HICON smallIcon = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)))
      SendMessageW(hwnd_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  }
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
    fire(events.onResize);
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
  return narrow(text);
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

void Win32Window::optionSelected(const ControlNode& option, int group) {
  for (const auto& node : controls_)
    if (node.get() != &option && node->kind() == ControlKind::OptionButton && node->optionGroup() == group)
      node->deselect();
}

void Win32Window::focusLeaving(const ControlNode& control) {
  // On to the next control in tab order, as Tab would go; to the window
  // itself when there is none.
  const auto order = tabOrder();
  const auto at = std::find(order.begin(), order.end(), &control);
  if (at != order.end() && order.size() > 1) {
    const std::size_t next = (static_cast<std::size_t>(at - order.begin()) + 1) % order.size();
    focus(*order[next]);
    return;
  }
  if (!hwnd_) return;
  // The window keeps it: no control to hand it on to.
  keepFocus_ = true;
  SetFocus(hwnd_.get());
  keepFocus_ = false;
}

ControlNode* Win32Window::nodeWithHandle(HWND hwnd) const {
  if (!hwnd) return nullptr;
  for (const auto& node : controls_)
    if (node->handle() == hwnd) return node.get();
  return nullptr;
}

ControlNode* Win32Window::hitTest(POINT point) const {
  for (auto item = paintOrder_.rbegin(); item != paintOrder_.rend(); ++item) {
    ControlNode* node = item->control;
    if (!node || !node->wantsMouse() || !node->control().visible() || !node->control().enabled()) continue;
    const RECT r = node->pixelRect();
    if (PtInRect(&r, point)) return node;
  }
  return nullptr;
}

std::vector<ControlNode*> Win32Window::tabOrder() const {
  std::vector<ControlNode*> order;
  for (const auto& node : controls_)
    if (node->takesFocus()) order.push_back(node.get());
  std::stable_sort(order.begin(), order.end(), [](const ControlNode* a, const ControlNode* b) {
    return a->control().tabIndex() < b->control().tabIndex();
  });
  return order;
}

void Win32Window::focus(ControlNode& control) {
  SetFocus(control.handle());
  // Tabbing into a text box selects its text, so typing replaces it.
  if (control.kind() == ControlKind::TextBox && GetFocus() == control.handle())
    SendMessageW(control.handle(), EM_SETSEL, 0, -1);
}

void Win32Window::moveFocus(bool backward) {
  const auto order = tabOrder();
  if (order.empty()) return;
  ControlNode* current = nodeWithHandle(GetFocus());
  const auto at = std::find(order.begin(), order.end(), current);
  std::size_t next = backward ? order.size() - 1 : 0;
  if (at != order.end()) {
    const auto index = static_cast<std::size_t>(at - order.begin());
    next = (index + (backward ? order.size() - 1 : 1)) % order.size();
  }
  focus(*order[next]);
}

// The window got the focus (activation, restoring): hand it on to the
// control that had it, else to the first one in tab order.
void Win32Window::focusArrived() {
  if (keepFocus_) return;
  ControlNode* target = lastFocus_ && lastFocus_->takesFocus() ? lastFocus_ : nullptr;
  if (!target) {
    const auto order = tabOrder();
    if (!order.empty()) target = order.front();
  }
  if (target) focus(*target);
}

ControlNode* Win32Window::buttonFor(bool (ControlNode::*role)() const) const {
  for (const auto& node : controls_)
    if (node->kind() == ControlKind::Button && (node.get()->*role)() && node->control().enabled() &&
        node->control().visible())
      return node.get();
  return nullptr;
}

bool Win32Window::translateKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || !hwnd_) return false;
  ControlNode* focused = nodeWithHandle(GetFocus());
  // An open drop-down list takes its own keys.
  if (focused && focused->kind() == ControlKind::ComboBox &&
      SendMessageW(focused->handle(), CB_GETDROPPEDSTATE, 0, 0))
    return false;
  switch (message.wParam) {
    case VK_TAB:
      if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
      moveFocus(GetKeyState(VK_SHIFT) < 0);
      return true;
    case VK_RETURN: {
      // Enter presses the focused button, else the default one.
      ControlNode* target = focused && focused->kind() == ControlKind::Button ? focused : buttonFor(&ControlNode::isDefault);
      if (!target) return false;
      target->press();  // may unload this window
      return true;
    }
    case VK_ESCAPE: {
      ControlNode* target = buttonFor(&ControlNode::isCancel);
      if (!target) return false;
      target->press();
      return true;
    }
    default:
      return false;
  }
}

void Win32Window::mouseInput(HWND hwnd, UINT message, WPARAM keys, LPARAM position) {
  // Signed: while the mouse is captured the pointer may be left of or above
  // the client area.
  const POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
  const bool up = message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP;
  if (!down && !up && heldButtons(keys) == 0) pressed_.reset();
  // Whoever got the press gets everything until the last button is up.
  ControlNode* target = pressed_ ? *pressed_ : hitTest(point);
  int button = heldButtons(keys);
  if (down) {
    // Captured, a drag that leaves the window keeps reporting to it.
    SetCapture(hwnd);
    pressed_ = target;
    button = buttonOfMessage(message);
  } else if (up) {
    button = buttonOfMessage(message);
    if (heldButtons(keys) == 0) {
      pressed_.reset();
      if (GetCapture() == hwnd) ReleaseCapture();
    }
  }
  if (target) {
    target->mouse(message, button, point);
    return;
  }
  const MouseEvent e = mouseEvent(button, position);
  if (down) fire(events.onMouseDown, e);
  else if (up) fire(events.onMouseUp, e);
  else fire(events.onMouseMove, e);
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
  if (shown_) fire(events.onPaint);
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
  lastSize_ = key;
  fire(events.onResize);
}

void Win32Window::closeRequested() {
  bool accepted = true;
  if (events.onCloseRequest && !system_.ended()) {
    auto handler = events.onCloseRequest;
    accepted = handler();
  }
  if (!accepted) return;
  fire(events.onUnload);
  if (HWND hwnd = hwnd_.get()) {
    system_.releaseModal(hwnd);
    DestroyWindow(hwnd);  // WM_NCDESTROY lets go of the handle
  }
}

MouseEvent Win32Window::mouseEvent(int button, LPARAM position) const {
  // Signed: while the mouse is captured the pointer may be left of or above
  // the client area.
  const auto x = static_cast<short>(LOWORD(position));
  const auto y = static_cast<short>(HIWORD(position));
  return MouseEvent{button, toTwipsX(x), toTwipsY(y)};
}

bool Win32Window::handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, background_.get());
      result = 1;
      return true;
    }
    case WM_PAINT:
      paint(hwnd);
      return true;
    case WM_SIZE:
      sized(hwnd, wParam);
      return true;
    case WM_ACTIVATE:
      // Remember the focused control; activation gives it back.
      if (LOWORD(wParam) == WA_INACTIVE) lastFocus_ = nodeWithHandle(GetFocus());
      // Sets the focus to the window, which hands it on (WM_SETFOCUS).
      result = DefWindowProcW(hwnd, message, wParam, lParam);
      if (LOWORD(wParam) != WA_INACTIVE && shown_ && (showing_ || IsWindowVisible(hwnd)))
        fire(events.onActivate);
      return true;
    case WM_SETFOCUS:
      focusArrived();
      return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      mouseInput(hwnd, message, wParam, lParam);
      return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hwnd) pressed_.reset();
      return false;
    case WM_COMMAND:
      if (ControlNode* node = nodeWithHandle(reinterpret_cast<HWND>(lParam))) {
        node->command(HIWORD(wParam));  // may unload this window
        return true;
      }
      return false;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      ControlNode* node = item ? nodeWithHandle(item->hwndItem) : nullptr;
      if (!node || !node->drawItem(*item)) return false;
      result = TRUE;
      return true;
    }
    case WM_CTLCOLORSTATIC:
      if (ControlNode* node = nodeWithHandle(reinterpret_cast<HWND>(lParam))) {
        if (HBRUSH brush = node->ctlColor(reinterpret_cast<HDC>(wParam))) {
          result = reinterpret_cast<LRESULT>(brush);
          return true;
        }
      }
      return false;
    case WM_CLOSE:
      closeRequested();
      return true;
    case kDpiChanged:
      // Geometry is kept in device pixels; the program places its windows
      // itself, so the suggested rectangle is not applied.
      return true;
    case WM_NCDESTROY:
      // The child windows are gone already.
      for (const auto& node : controls_) node->forgetHandle();
      lastFocus_ = nullptr;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_.release();
      return false;
    default:
      return false;
  }
}

// --- Win32WindowSystem ----------------------------------------------------

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
  // A quit message left behind would end the next loop on this thread.
  if (quitQueued_) {
    MSG message;
    PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
}

std::unique_ptr<Window> Win32WindowSystem::createWindow(const WindowDesign& design) {
  return std::make_unique<Win32Window>(*this, design);
}

HWND Win32WindowSystem::hiddenOwner() {
  if (!owner_ && class_.atom())
    owner_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, className(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 instance_, nullptr));
  return owner_.get();
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
  MSG message;
  while (!ended_ && IsWindow(hwnd) && IsWindowVisible(hwnd)) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      quitReceived(message);
      break;
    }
    if (got < 0) break;
    dispatch(message);
  }

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
  const int answer = MessageBoxW(owner, widen(text).c_str(), options_.appTitle.c_str(),
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
  // Whole milliseconds, to nearest; a shorter wait still waits one.
  const double ms = std::min(std::nearbyint(maxSeconds * 1000.0), static_cast<double>(INFINITE - 1));
  const auto timeout = static_cast<DWORD>(std::max(ms, 1.0));
  MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

int Win32WindowSystem::run() {
  MSG message;
  while (!ended_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      quitReceived(message);
      break;
    }
    if (got < 0) break;
    dispatch(message);
  }
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

}  // namespace

std::unique_ptr<WindowSystem> makeWin32WindowSystem(const Win32Options& options) {
  return std::make_unique<Win32WindowSystem>(options);
}

HWND nativeHandle(const Window& window) {
  const auto* win32Window = dynamic_cast<const Win32Window*>(&window);
  return win32Window ? win32Window->handle() : nullptr;
}

}  // namespace ks
