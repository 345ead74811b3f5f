// The window-system interface every form is written against.
//
// Geometry is in twips (1/1440 inch) as float, in screen coordinates. A real
// window system keeps whole pixels, so a value written reads back rounded to a
// whole pixel expressed in twips. Events run synchronously on the one
// user-interface thread: a size change made by the program runs the window's
// Resize handler before the setter returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "platform/hotkey.h"

namespace ks {

struct ButtonDesign;
struct LabelDesign;
struct ImageDesign;
struct ListDesign;
struct OptionButtonDesign;
struct TextBoxDesign;
struct SliderDesign;
struct ProgressDesign;
class Button;
class Label;
class Image;
class ListBox;
class ComboBox;
class OptionButton;
class TextBox;
class Slider;
class ProgressBar;
class Control;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};

// Window states as the forms see them.
inline constexpr int kStateNormal = 0;
inline constexpr int kStateMinimized = 1;
inline constexpr int kStateMaximized = 2;

// Mouse button bits in a MouseEvent.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

struct MouseEvent {
  int button = 0;  // buttons held (move) or the button that changed (down/up)
  float x = 0;     // pointer position relative to the window's client area or
  float y = 0;     // the control, in twips
};

// Keys as the forms see them: the letters are their uppercase ASCII codes
// ('A' to 'Z'), the others these.
inline constexpr int kKeyTab = 9;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyEscape = 27;
inline constexpr int kKeyLeft = 0x100;
inline constexpr int kKeyRight = 0x101;
inline constexpr int kKeyUp = 0x102;
inline constexpr int kKeyDown = 0x103;
inline constexpr int kKeyPageUp = 0x104;
inline constexpr int kKeyPageDown = 0x105;
inline constexpr int kKeyHome = 0x106;
inline constexpr int kKeyEnd = 0x107;

struct KeyEvent {
  int key = 0;
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
  friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// Handlers a form installs; any may be left empty.
struct WindowEvents {
  std::function<void()> onActivate;
  std::function<void()> onResize;
  std::function<void()> onPaint;
  std::function<void(const MouseEvent&)> onMouseDown;
  std::function<void(const MouseEvent&)> onMouseMove;
  std::function<void(const MouseEvent&)> onMouseUp;
  // A close request (title-bar close, Alt+F4, WM_CLOSE). Return false to refuse;
  // an empty handler accepts. An accepted request unloads the window.
  std::function<bool()> onCloseRequest;
  std::function<void()> onUnload;
  // The system announced that a drive or medium arrived or went (a stick
  // plugged in or pulled out, a disc inserted); every top-level window hears
  // it, shown or hidden.
  std::function<void()> onDrivesChanged;
  // The system menu (title-bar icon, Alt+Space) is about to open: the
  // handler may set its items anew. Then the user chose one of them.
  std::function<void()> onSystemMenuOpening;
  std::function<void(int id)> onSystemMenu;
  // Alt+Space while this window or one of its controls has the keyboard:
  // set, it takes the place of the window's own system menu.
  std::function<void()> onMenuKey;
  // A key of those above pressed while this window or one of its controls
  // has the keyboard, before the focused control or the window's own keys
  // (Tab, Enter, Esc) see it: true consumes it, false lets them have it.
  // An open drop-down list keeps its keys.
  std::function<bool(const KeyEvent&)> onKeyDown;
};

// An item of a window's system menu.
struct MenuItem {
  int id = 0;          // what onSystemMenu gets: 1 to 255; 0 for a line that does nothing
  std::string text;    // empty: a separator
  bool enabled = true; // a greyed item cannot be chosen
  std::vector<MenuItem> items;  // a submenu's
  bool checked = false;  // shows a check mark, or with `radio` a dot
  bool radio = false;    // one of a group of which one is chosen
};

enum class Border {
  None,         // no border, no title bar
  FixedSingle,  // title bar, thin frame, not resizable by the user
  FixedDialog,  // dialog frame, title bar, not resizable
  Sizable,      // title bar, frame the user can resize
};

struct WindowDesign {
  std::string caption;
  Border border = Border::None;
  bool showInTaskbar = false;
  bool controlBox = true;  // system menu and close button (titled windows)
  bool minButton = false;
  bool maxButton = false;
  Rgb background = kRed;
  std::string fontName = "Tahoma";
  float fontSize = 8.25f;  // points
  // Where the client area goes when the window is first shown, in twips.
  float clientLeft = 0, clientTop = 0, clientWidth = 0, clientHeight = 0;
  int iconResource = 0;  // program icon resource id (Win32), 0 for none
  // Centred on the screen's work area when first shown, instead of at the
  // design client position.
  bool centered = false;
  // The smallest client area the user or the program can size a titled
  // window to, in twips; 0: no limit.
  float minClientWidth = 0, minClientHeight = 0;
};

// A line drawn on a window's client area; coordinates in twips relative to
// the client area's top-left corner. The end points may lie beyond the
// client area: the line is clipped there.
struct LineDesign {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  Rgb color = kBlack;
  bool systemWindowText = false;  // use the system's window-text colour
  int widthPixels = 1;
};

class Line {
 public:
  virtual ~Line() = default;
  virtual float x1() const = 0;
  virtual float y1() const = 0;
  virtual float x2() const = 0;
  virtual float y2() const = 0;
  virtual void setX1(float twips) = 0;
  virtual void setY1(float twips) = 0;
  virtual void setX2(float twips) = 0;
  virtual void setY2(float twips) = 0;
  virtual int widthPixels() const = 0;
  virtual Rgb color() const = 0;
};

// A rectangle in twips: a window's on the screen, a control's on its
// window's client area.
class Placed {
 public:
  virtual float left() const = 0;
  virtual float top() const = 0;
  virtual float width() const = 0;
  virtual float height() const = 0;
  virtual void setLeft(float twips) = 0;
  virtual void setTop(float twips) = 0;
  virtual void setWidth(float twips) = 0;
  virtual void setHeight(float twips) = 0;

 protected:
  ~Placed() = default;
};

// Placed: the outer rectangle, title bar and border included.
class Window : public Placed {
 public:
  virtual ~Window() = default;

  // Client area size, twips.
  virtual float scaleWidth() const = 0;
  virtual float scaleHeight() const = 0;

  virtual int windowState() const = 0;  // kStateNormal/Minimized/Maximized
  virtual void setWindowState(int state) = 0;

  virtual bool visible() const = 0;
  // Shows the window modelessly, without an owner. The first show raises
  // Resize; showing activates the window (Activate) and paints it (Paint,
  // possibly later, when pending events are delivered).
  virtual void show() = 0;
  virtual void hide() = 0;

  virtual bool enabled() const = 0;
  virtual void setEnabled(bool enabled) = 0;

  // Joins the topmost band at the top of it without moving or resizing, and
  // activates the window when it is visible.
  virtual void makeTopmost() = 0;
  virtual bool topmost() const = 0;

  virtual std::string caption() const = 0;

  // Lines and controls belong to the window and live as long as it does
  // (platform/controls.h).
  virtual Line& addLine(const LineDesign& design) = 0;
  virtual Button& addButton(const ButtonDesign& design) = 0;
  virtual Label& addLabel(const LabelDesign& design) = 0;
  virtual Image& addImage(const ImageDesign& design) = 0;
  virtual ListBox& addListBox(const ListDesign& design) = 0;
  virtual ComboBox& addComboBox(const ListDesign& design) = 0;
  virtual OptionButton& addOptionButton(const OptionButtonDesign& design) = 0;
  virtual TextBox& addTextBox(const TextBoxDesign& design) = 0;
  virtual Slider& addSlider(const SliderDesign& design) = 0;
  virtual ProgressBar& addProgressBar(const ProgressDesign& design) = 0;

  // The control that has the keyboard focus, or nullptr.
  virtual Control* focusedControl() const = 0;

  // Items shown above the window's usual system menu items, replacing those
  // set before.
  virtual void setSystemMenu(const std::vector<MenuItem>& items) = 0;
  // Opens the system menu below the window's top-left corner, for the
  // keyboard, leaving the active window as it is; the choice arrives as
  // onSystemMenu, or does what the system's own items do.
  virtual void showSystemMenu() = 0;

  WindowEvents events;
};

enum class MsgButton { Yes, No, Cancel };

// What the system's Open dialog asks for: one existing file.
struct OpenFileRequest {
  std::string title;
  std::string filterName;  // "Programs"
  std::string patterns;    // "*.exe", several joined by ';'
  std::string folder;      // where it starts; empty: where the system likes
};

// What the system's Save dialog asks for: a file name to write. The program
// asks its own question before it replaces a file, so the dialog asks none.
struct SaveFileRequest {
  std::string title;
  std::string filterName;        // "AVI movies"
  std::string patterns;          // "*.avi", several joined by ';'
  std::string folder;            // where it starts; empty: where the system likes
  std::string fileName;          // proposed, without a folder
  std::string defaultExtension;  // "avi": added to a name typed without one
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  virtual std::unique_ptr<Window> createWindow(const WindowDesign& design) = 0;

  // Twips per pixel of the screen, per axis (15 at 96 DPI).
  virtual float twipsPerPixelX() const = 0;
  virtual float twipsPerPixelY() const = 0;
  // The part of the screen the window is on that windows may cover (no task
  // bar), in pixels.
  virtual PixelRect workArea(const Window& window) const = 0;

  // A key combination that works while another program has the keyboard
  // focus: pressing it raises onHotkey with the id. False when another
  // program holds the combination.
  [[nodiscard]] virtual bool registerHotkey(int id, const Hotkey& hotkey) = 0;
  virtual void unregisterHotkey(int id) = 0;
  std::function<void(int id)> onHotkey;

  // Shows a window modally, without an owner; returns when it is hidden or
  // unloaded. Other windows take no input meanwhile.
  virtual void showModal(Window& window) = 0;

  // Message box with Yes, No and Cancel, the application's title as caption,
  // no icon.
  virtual MsgButton messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) = 0;
  // Message box with an OK button and a warning icon, for problems the user
  // must act on.
  virtual void messageBoxWarning(const std::string& text) = 0;
  // Message box with an OK button and an information icon.
  virtual void messageBoxInformation(const std::string& text) = 0;
  // The system's Open dialog, modal to all of the program's windows and on
  // top of them: the full path of the file chosen, nothing when cancelled.
  virtual std::optional<std::string> chooseFileToOpen(const OpenFileRequest& request) = 0;
  // The system's Save dialog, modal and on top in the same way: the full path
  // of the file to write, nothing when cancelled.
  virtual std::optional<std::string> chooseFileToSave(const SaveFileRequest& request) = 0;

  // Runs the handlers of the events that have arrived, then returns.
  virtual void doEvents() = 0;

  // Blocks until an event arrives or maxSeconds have passed, whichever is
  // first; runs no handler. Lets a loop wait instead of spinning.
  virtual void waitForEvents(double maxSeconds) = 0;
  // While on, a wait ends within about a millisecond of its time, whatever
  // the system's timer tick; a calibration or recording turns it on for its
  // run, since a frame grabbed a tick late can miss a new picture.
  virtual void setPreciseWaits(bool on) = 0;

  // Runs the event loop until the program ends; returns the exit code.
  virtual int run() = 0;

  // Ends the program at once: no window is notified.
  virtual void endProgram() = 0;
  virtual bool ended() const = 0;
};

}  // namespace ks
