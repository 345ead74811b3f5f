// The Win32 backend's top-level windows and the window system that owns
// them: what the window and window-system parts share. A window's system
// menu, focus and mouse routing are parts of their own that it owns.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/stored_line.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_focus.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_mouse_routing.h"
#include "platform/win32/win32_native.h"
#include "platform/win32/win32_system_menu.h"
#include "platform/win32/win32_window_system.h"

namespace ks::win32 {

constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED (Windows 8.1)

class Win32WindowSystem;
class Win32Window;
struct FileDialog;

// The window property that leads from the hidden owner to its system.
inline constexpr const wchar_t* kSystemProperty = L"kestrascope.system";

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class Win32Line final : public StoredLine {
 public:
  Win32Line(Win32Window& owner, const LineDesign& design) : StoredLine(design), owner_(owner) {}
  Rgb color() const override;

 private:
  void changed() override;

  Win32Window& owner_;
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
  void messageBoxInformation(const std::string& text) override;
  std::optional<std::string> chooseFileToOpen(const OpenFileRequest& request) override;
  std::optional<std::string> chooseFileToSave(const SaveFileRequest& request) override;
  void doEvents() override;
  void waitForEvents(double maxSeconds) override;
  void setPreciseWaits(bool on) override;
  PixelRect workArea(const Window& window) const override;
  bool registerHotkey(int id, const Hotkey& hotkey) override;
  void unregisterHotkey(int id) override;
  void hotkeyPressed(int id);
  // The id a combination is registered under, or 0.
  int hotkeyId(const Hotkey& hotkey) const;
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
  // Shows the Open or Save dialog over the active window of ours, the
  // others disabled meanwhile.
  std::optional<std::string> showFileDialog(FileDialog& dialog, bool save);
  // The window of ours that a message goes to, or one of its controls.
  Win32Window* windowOf(HWND hwnd) const;
  void dispatch(const MSG& message);
  void quitReceived(const MSG& message);
  // Waits for and dispatches messages while goOn() holds, until the program
  // ends or its quit message arrives.
  template <typename While>
  void pump(While goOn);

  Win32Options options_;
  HINSTANCE instance_ = GetModuleHandleW(nullptr);
  win32::ScreenMetrics metrics_;
  WindowClass class_;
  UniqueWindow owner_;
  std::vector<ModalFrame> modal_;
  std::vector<std::pair<int, Hotkey>> hotkeys_;
  // Precise waits: a high-resolution waitable timer where Windows offers one
  // (Windows 10 1803 and later), else the system timer raised to 1 ms.
  UniqueKernelHandle preciseTimer_;
  bool raisedTimerResolution_ = false;
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
  void setLeft(float twips) override;
  void setTop(float twips) override;
  void setWidth(float twips) override;
  void setHeight(float twips) override;
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
  Slider& addSlider(const SliderDesign& design) override {
    return add<Slider>(win32::createSlider(*this, nextControlId(), design));
  }
  ProgressBar& addProgressBar(const ProgressDesign& design) override {
    return add<ProgressBar>(win32::createProgressBar(*this, nextControlId(), design));
  }
  Control* focusedControl() const override {
    ControlNode* node = focus_.focused();
    return node ? &node->control() : nullptr;
  }
  void setSystemMenu(const std::vector<MenuItem>& items) override;
  void showSystemMenu() override;

  HWND handle() const { return hwnd_.get(); }
  void attach(HWND hwnd) { hwnd_.reset(hwnd); }
  void invalidate() {
    if (hwnd_) InvalidateRect(hwnd_.get(), nullptr, TRUE);
  }
  // True when the message is handled here, with its result.
  bool handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Keys the window handles before the focused control sees them (Tab,
  // Enter, Esc); true when the key was used.
  bool translateKey(const MSG& message) { return hwnd_ && focus_.translateKey(message); }
  // A key down (WM_KEYDOWN, WM_SYSKEYDOWN) for the window or one of its
  // controls, before anything else sees it: true when KeyDown consumed it.
  bool previewKey(const MSG& message);
  // WM_GETMINMAXINFO: the design's smallest client area, framed.
  void limitTracking(MINMAXINFO& info) const;

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
  void optionSelected(const ControlNode& option) override { focus_.optionSelected(option); }
  void focusLeaving(const ControlNode& control) override { focus_.leaving(hwnd_.get(), control); }

  template <typename Kind>
  Kind& add(std::unique_ptr<ControlNode> node) {
    auto& control = static_cast<Kind&>(node->control());
    if (!node->handle()) {
      paintOrder_.push_back(PaintItem{nullptr, node.get()});
      mouse_.add(*node);
    }
    focus_.add(*node);
    controls_.push_back(std::move(node));
    return control;
  }
  int nextControlId() { return kFirstControlId + static_cast<int>(controls_.size()); }
  ControlNode* nodeWithHandle(HWND hwnd) const { return win32::nodeWithHandle(controls_, hwnd); }

  // handleMessage by concern; each is true when the message is handled,
  // with its result.
  bool geometryMessage(HWND hwnd, UINT message, WPARAM wParam);
  bool paintMessage(HWND hwnd, UINT message, WPARAM wParam, LRESULT& result);
  bool controlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool scrollMessage(LPARAM lParam);
  bool focusMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool mouseMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  bool systemMenuMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool deviceMessage(WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool lifetimeMessage(HWND hwnd, UINT message);

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
  // The big and small icons from the program's icon resource.
  void setIcons(int resource);
  // Changes the outer rectangle; that of a minimised window is where it
  // will be restored.
  template <typename Change>
  void place(Change change);
  void setRestoredRect(HWND hwnd, const RECT& rect);
  void paint(HWND hwnd);
  void drawLine(HDC dc, const LineDesign& line) const;
  void sized(HWND hwnd, WPARAM kind);
  // One of the program's items in the system menu was chosen: raises its
  // id; false for any other command.
  bool systemMenuCommand(UINT command);
  void closeRequested();

  static constexpr int kFirstControlId = 1000;

  Win32WindowSystem& system_;
  std::string caption_;
  SIZE minClient_{0, 0};  // pixels; 0: no limit
  UniqueBrush background_;
  Font font_;
  // Fonts outlive the controls that use them.
  std::vector<std::pair<Font, UniqueFont>> fonts_;
  std::vector<std::unique_ptr<Win32Line>> lines_;
  std::vector<std::unique_ptr<ControlNode>> controls_;
  std::vector<PaintItem> paintOrder_;
  // Routes the mouse to the windowless controls or the window itself.
  MouseRouting mouse_;
  // Tab order, Enter and Esc, focus hand-off and memory, option groups.
  WindowFocus focus_{controls_};
  bool shown_ = false;    // events flow only after the first show
  bool showing_ = false;  // inside ShowWindow: activation arrives mid-show
  std::optional<SizeKey> lastSize_;
  SystemMenu systemMenu_;  // the program's items in it
  UniqueWindow hwnd_;
};


}  // namespace ks::win32
