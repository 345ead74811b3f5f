#include "platform/win32/win32_controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <utility>

#include "base/pixels.h"
#include "platform/handlers.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_dpi.h"

namespace ks::win32 {

COLORREF colorRef(Rgb color) { return RGB(color.r, color.g, color.b); }

UniqueFont createFont(const Font& font, UINT dpiY) {
  LOGFONTW logFont{};
  logFont.lfHeight = -static_cast<LONG>(std::lrint(static_cast<double>(font.size) * dpiY / 72.0));
  logFont.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  logFont.lfUnderline = font.underline ? TRUE : FALSE;
  logFont.lfCharSet = DEFAULT_CHARSET;
  logFont.lfOutPrecision = OUT_DEFAULT_PRECIS;
  logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  logFont.lfQuality = DEFAULT_QUALITY;
  logFont.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::wstring face = toWideShown(font.name);
  wcsncpy(logFont.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  return UniqueFont(CreateFontIndirectW(&logFont));
}

namespace {

std::wstring windowText(HWND hwnd) {
  if (!hwnd) return {};
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

std::size_t pixelCount(const Picture& picture) {
  return static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
}

bool validPicture(const Picture& picture) { return !picture.empty() && picture.bgra.size() >= pixelCount(picture) * 4; }

// A 32-bit top-down DIB section; *bits receives its pixels.
UniqueBitmap createDib(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return UniqueBitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

pixels::Bgra bgraOf(COLORREF color) { return {GetBValue(color), GetGValue(color), GetRValue(color), 255}; }

// Pictures are drawn for 96 DPI (15 twips a pixel); on a denser screen they
// are enlarged by the same factor as everything else.
int scaledToScreen(int pixels, float twipsPerPixel) {
  return static_cast<int>(std::lround(pixels * 15.0 / twipsPerPixel));
}

// The picture with premultiplied alpha, as AlphaBlend wants it.
UniqueBitmap premultipliedBitmap(const Picture& picture) {
  if (!validPicture(picture)) return {};
  void* bits = nullptr;
  UniqueBitmap bitmap = createDib(picture.width, picture.height, &bits);
  if (!bitmap || !bits) return {};
  pixels::premultiplied(picture.bgra.data(), pixelCount(picture), static_cast<std::uint8_t*>(bits));
  GdiFlush();
  return bitmap;
}

// The picture laid over a solid colour, opaque: the system draws it on a
// button as it is.
UniqueBitmap opaqueBitmap(const Picture& picture, COLORREF under) {
  if (!validPicture(picture)) return {};
  void* bits = nullptr;
  UniqueBitmap bitmap = createDib(picture.width, picture.height, &bits);
  if (!bitmap || !bits) return {};
  pixels::overColour(picture.bgra.data(), pixelCount(picture), bgraOf(under), static_cast<std::uint8_t*>(bits));
  GdiFlush();
  return bitmap;
}

// The picture as a disabled button shows it: embossed, the way the system
// greys disabled text. What differs from the picture's background (its
// transparent pixels, or the colour of its top-left pixel) is drawn grey,
// with a light copy a pixel down and to the right; the rest is button face.
UniqueBitmap embossedBitmap(const Picture& picture) {
  if (!validPicture(picture)) return {};
  void* bits = nullptr;
  UniqueBitmap bitmap = createDib(picture.width, picture.height, &bits);
  if (!bitmap || !bits) return {};
  pixels::embossed(picture.bgra.data(), picture.width, picture.height, bgraOf(GetSysColor(COLOR_BTNFACE)),
                   bgraOf(GetSysColor(COLOR_GRAYTEXT)), bgraOf(GetSysColor(COLOR_3DHILIGHT)),
                   static_cast<std::uint8_t*>(bits));
  GdiFlush();
  return bitmap;
}

// The Control interface on top of either kind of control.
template <typename Interface>
class ControlBase : public Interface, public ControlNode {
 public:
  ControlBase(ControlHost& host, const ControlDesign& design, ControlKind kind)
      : host_(host), kind_(kind), tabIndex_(design.tabIndex) {}

  float left() const override { return toTwips(pixelRect().left, host_.twipsPerPixelX()); }
  float top() const override { return toTwips(pixelRect().top, host_.twipsPerPixelY()); }
  float width() const override {
    const RECT r = pixelRect();
    return toTwips(r.right - r.left, host_.twipsPerPixelX());
  }
  float height() const override {
    const RECT r = pixelRect();
    return toTwips(r.bottom - r.top, host_.twipsPerPixelY());
  }
  void setLeft(float twips) override {
    const int x = toPixels(twips, host_.twipsPerPixelX());
    place([x](RECT& r) { OffsetRect(&r, x - r.left, 0); });
  }
  void setTop(float twips) override {
    const int y = toPixels(twips, host_.twipsPerPixelY());
    place([y](RECT& r) { OffsetRect(&r, 0, y - r.top); });
  }
  void setWidth(float twips) override {
    const int width = std::max(0, toPixels(twips, host_.twipsPerPixelX()));
    place([width](RECT& r) { r.right = r.left + width; });
  }
  void setHeight(float twips) override {
    const int height = std::max(0, toPixels(twips, host_.twipsPerPixelY()));
    place([height](RECT& r) { r.bottom = r.top + height; });
  }
  int tabIndex() const override { return tabIndex_; }

  ControlKind kind() const override { return kind_; }
  Control& control() override { return *this; }
  const Control& control() const override { return *this; }
  HWND parentHandle() const override { return host_.hostHandle(); }

 protected:
  bool handlersRun() const override { return !host_.handlersStopped(); }
  // Moves or resizes to the changed rectangle, if it changed.
  template <typename Change>
  void place(Change change) {
    const RECT current = pixelRect();
    RECT changed = current;
    change(changed);
    if (!EqualRect(&changed, &current)) applyRect(changed);
  }
  virtual void applyRect(const RECT& rect) = 0;

  ControlHost& host_;

 private:
  ControlKind kind_;
  int tabIndex_;
};

// A child window of a system control class.
template <typename Interface>
class ChildControl : public ControlBase<Interface> {
  using Base = ControlBase<Interface>;

 public:
  ChildControl(ControlHost& host, const ControlDesign& design, ControlKind kind) : Base(host, design, kind) {}

  bool enabled() const override { return hwnd_ && IsWindowEnabled(hwnd_.get()); }
  void setEnabled(bool enabled) override {
    if (!hwnd_ || enabled == this->enabled()) return;
    if (!enabled && hasFocus()) host().focusLeaving(*this);
    EnableWindow(hwnd_.get(), enabled ? TRUE : FALSE);
  }
  // The control's own visibility, whether or not its window is shown.
  bool visible() const override {
    return hwnd_ && (GetWindowLongPtrW(hwnd_.get(), GWL_STYLE) & WS_VISIBLE) != 0;
  }
  void setVisible(bool visible) override {
    if (!hwnd_ || visible == this->visible()) return;
    if (!visible && hasFocus()) host().focusLeaving(*this);
    ShowWindow(hwnd_.get(), visible ? SW_SHOWNA : SW_HIDE);
  }
  bool hasFocus() const override { return hwnd_ && GetFocus() == hwnd_.get(); }
  void setFocus() override {
    if (takesFocus() && IsWindowVisible(host().hostHandle())) SetFocus(hwnd_.get());
  }
  void refresh() override {
    if (hwnd_)
      RedrawWindow(hwnd_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }

  HWND handle() const override { return hwnd_.get(); }
  RECT pixelRect() const override {
    RECT r{};
    if (!hwnd_) return r;
    GetWindowRect(hwnd_.get(), &r);
    MapWindowPoints(HWND_DESKTOP, host().hostHandle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  bool takesFocus() const override { return hwnd_ && this->tabIndex() >= 0 && enabled() && visible(); }
  void forgetHandle() override { hwnd_.release(); }

 protected:
  ControlHost& host() const { return this->host_; }

  void create(LPCWSTR className, const std::wstring& text, DWORD style, DWORD exStyle, const ControlDesign& design,
              int id, int extraHeight = 0) {
    HWND parent = host().hostHandle();
    if (!parent) return;
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (design.visible) style |= WS_VISIBLE;
    if (!design.enabled) style |= WS_DISABLED;
    if (design.tabIndex >= 0) style |= WS_TABSTOP;
    const float tx = host().twipsPerPixelX();
    const float ty = host().twipsPerPixelY();
    hwnd_.reset(CreateWindowExW(exStyle, className, text.c_str(), style, toPixels(design.left, tx),
                                toPixels(design.top, ty), std::max(0, toPixels(design.width, tx)),
                                std::max(0, toPixels(design.height, ty)) + extraHeight, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), host().instance(), nullptr));
    if (hwnd_) send(WM_SETFONT, reinterpret_cast<WPARAM>(host().font(design.font)), FALSE);
  }

  void applyRect(const RECT& r) override {
    if (hwnd_)
      SetWindowPos(hwnd_.get(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }

  LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return hwnd_ ? SendMessageW(hwnd_.get(), message, wParam, lParam) : 0;
  }

  UniqueWindow hwnd_;
};

// A control the window paints itself.
template <typename Interface>
class WindowlessControl : public ControlBase<Interface> {
  using Base = ControlBase<Interface>;

 public:
  WindowlessControl(ControlHost& host, const ControlDesign& design, ControlKind kind)
      : Base(host, design, kind), enabled_(design.enabled), visible_(design.visible) {
    const float tx = host.twipsPerPixelX();
    const float ty = host.twipsPerPixelY();
    rect_.left = toPixels(design.left, tx);
    rect_.top = toPixels(design.top, ty);
    rect_.right = rect_.left + std::max(0, toPixels(design.width, tx));
    rect_.bottom = rect_.top + std::max(0, toPixels(design.height, ty));
    invalidate();
  }

  bool enabled() const override { return enabled_; }
  void setEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    invalidate();
  }
  bool visible() const override { return visible_; }
  void setVisible(bool visible) override {
    if (visible == visible_) return;
    visible_ = visible;
    invalidate();
  }
  bool hasFocus() const override { return false; }
  void setFocus() override {}
  void refresh() override { this->host_.repaint(rect_, true); }

  HWND handle() const override { return nullptr; }
  RECT pixelRect() const override { return rect_; }

 protected:
  void applyRect(const RECT& rect) override {
    invalidate();
    rect_ = rect;
    invalidate();
  }
  void invalidate() { this->host_.repaint(rect_, false); }

  MouseEvent mouseEvent(int button, POINT point) const {
    return MouseEvent{button, toTwips(point.x - rect_.left, this->host_.twipsPerPixelX()),
                      toTwips(point.y - rect_.top, this->host_.twipsPerPixelY())};
  }

  RECT rect_{};
  bool enabled_;
  bool visible_;
};

// --- Button ----------------------------------------------------------------

class Win32Button final : public ChildControl<Button> {
 public:
  Win32Button(ControlHost& host, int id, const ButtonDesign& design)
      : ChildControl(host, design, ControlKind::Button), isDefault_(design.isDefault), isCancel_(design.isCancel) {
    if (validPicture(design.picture)) {
      // Drawn here, so that the disabled picture stays recognisable: the
      // system's greying turns an opaque picture into a grey block.
      picture_ = opaqueBitmap(design.picture, GetSysColor(COLOR_BTNFACE));
      disabledPicture_ = embossedBitmap(design.picture);
      pictureWidth_ = design.picture.width;
      pictureHeight_ = design.picture.height;
    }
    const DWORD style = picture_ ? BS_OWNERDRAW : design.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    create(L"BUTTON", toWideShown(design.caption), style, 0, design, id);
  }

  std::string caption() const override { return fromWide(windowText(hwnd_.get())); }
  void setCaption(const std::string& caption) override {
    if (hwnd_) SetWindowTextW(hwnd_.get(), toWideShown(caption).c_str());
  }

  void command(WORD code) override {
    if (code == BN_CLICKED) fireUnlessEnded(host_.handlersStopped(), onClick);
  }
  bool drawItem(const DRAWITEMSTRUCT& item) override {
    if (!picture_) return false;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    if (isDefault_) {
      FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    HBITMAP picture = disabled && disabledPicture_ ? disabledPicture_.get() : picture_.get();
    UniqueDc source(CreateCompatibleDC(dc));
    if (source) {
      SelectScope select(source.get(), picture);
      const int offset = pushed ? 1 : 0;
      const int shownWidth = scaledToScreen(pictureWidth_, host_.twipsPerPixelX());
      const int shownHeight = scaledToScreen(pictureHeight_, host_.twipsPerPixelY());
      const int x = (r.left + r.right - shownWidth) / 2 + offset;
      const int y = (r.top + r.bottom - shownHeight) / 2 + offset;
      // Inside the frame only.
      RECT inner = r;
      InflateRect(&inner, -2, -2);
      const int saved = SaveDC(dc);
      IntersectClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchBlt(dc, x, y, shownWidth, shownHeight, source.get(), 0, 0, pictureWidth_, pictureHeight_, SRCCOPY);
      RestoreDC(dc, saved);
    }
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
      RECT focus = r;
      InflateRect(&focus, -3, -3);
      DrawFocusRect(dc, &focus);
    }
    return true;
  }
  bool isDefault() const override { return isDefault_; }
  bool isCancel() const override { return isCancel_; }
  void press() override { fireUnlessEnded(host_.handlersStopped(), onClick); }

 private:
  bool isDefault_;
  bool isCancel_;
  UniqueBitmap picture_;
  UniqueBitmap disabledPicture_;
  int pictureWidth_ = 0;
  int pictureHeight_ = 0;
};

// --- Label -----------------------------------------------------------------

class Win32Label final : public WindowlessControl<Label> {
 public:
  Win32Label(ControlHost& host, const LabelDesign& design)
      : WindowlessControl(host, design, ControlKind::Label),
        caption_(toWideShown(design.caption)),
        font_(design.font),
        foreColor_(design.foreColor),
        wordWrap_(design.wordWrap),
        align_(design.align) {
    if (design.backColor) back_.reset(CreateSolidBrush(colorRef(*design.backColor)));
  }

  std::string caption() const override { return fromWide(caption_); }
  void setCaption(const std::string& caption) override {
    std::wstring text = toWideShown(caption);
    if (text == caption_) return;
    caption_ = std::move(text);
    invalidate();
  }

  void paint(HDC dc) override {
    if (!visible_) return;
    if (back_) FillRect(dc, &rect_, back_.get());
    if (caption_.empty()) return;
    SelectScope select(dc, host_.font(font_));
    SetBkMode(dc, TRANSPARENT);
    UINT format = DT_NOPREFIX | DT_EXPANDTABS;
    if (wordWrap_) format |= DT_WORDBREAK;
    format |= align_ == Align::Center ? DT_CENTER : align_ == Align::Right ? DT_RIGHT : DT_LEFT;
    RECT r = rect_;
    const int length = static_cast<int>(caption_.size());
    if (enabled_) {
      // The system's colour is read at each paint: the user may change it.
      SetTextColor(dc, foreColor_ ? colorRef(*foreColor_) : GetSysColor(COLOR_WINDOWTEXT));
      DrawTextW(dc, caption_.c_str(), length, &r, format);
      return;
    }
    // Greyed as the system greys disabled text: a light copy, offset by a
    // pixel, under a grey one.
    OffsetRect(&r, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
    DrawTextW(dc, caption_.c_str(), length, &r, format);
    r = rect_;
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, caption_.c_str(), length, &r, format);
  }

  bool wantsMouse() const override { return true; }
  void mouse(UINT message, int /*button*/, POINT point) override {
    // Click: the primary button pressed and released over the label.
    if (message == WM_LBUTTONDOWN) {
      pressed_ = true;
    } else if (message == WM_LBUTTONUP && pressed_) {
      pressed_ = false;
      if (PtInRect(&rect_, point)) fireUnlessEnded(host_.handlersStopped(), onClick);
    }
  }

 private:
  std::wstring caption_;
  std::optional<Font> font_;
  std::optional<Rgb> foreColor_;
  bool wordWrap_;
  Align align_;
  UniqueBrush back_;
  bool pressed_ = false;
};

// --- Image -----------------------------------------------------------------

class Win32Image final : public WindowlessControl<Image> {
 public:
  Win32Image(ControlHost& host, const ImageDesign& design)
      : WindowlessControl(host, design, ControlKind::Image), stretch_(design.stretch) {
    setPicture(design.picture);
  }

  void setPicture(const Picture& picture) override {
    bitmap_ = premultipliedBitmap(picture);
    width_ = bitmap_ ? picture.width : 0;
    height_ = bitmap_ ? picture.height : 0;
    invalidate();
  }

  void paint(HDC dc) override {
    if (!visible_ || !bitmap_) return;
    UniqueDc source(CreateCompatibleDC(dc));
    if (!source) return;
    SelectScope select(source.get(), bitmap_.get());
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const int boxWidth = rect_.right - rect_.left;
    const int boxHeight = rect_.bottom - rect_.top;
    if (stretch_) {
      if (boxWidth > 0 && boxHeight > 0)
        GdiAlphaBlend(dc, rect_.left, rect_.top, boxWidth, boxHeight, source.get(), 0, 0, width_, height_, blend);
      return;
    }
    // At its own size (for this screen's density) at the top-left corner,
    // cut off at the control's edges.
    const int shownWidth = scaledToScreen(width_, host_.twipsPerPixelX());
    const int shownHeight = scaledToScreen(height_, host_.twipsPerPixelY());
    const int w = std::min(shownWidth, boxWidth);
    const int h = std::min(shownHeight, boxHeight);
    if (w <= 0 || h <= 0) return;
    const int sourceWidth = std::max(1, static_cast<int>(std::lround(static_cast<double>(w) * width_ / shownWidth)));
    const int sourceHeight = std::max(1, static_cast<int>(std::lround(static_cast<double>(h) * height_ / shownHeight)));
    GdiAlphaBlend(dc, rect_.left, rect_.top, w, h, source.get(), 0, 0, sourceWidth, sourceHeight, blend);
  }

  bool wantsMouse() const override { return true; }
  void mouse(UINT message, int button, POINT point) override {
    const MouseEvent e = mouseEvent(button, point);
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        fireUnlessEnded(host_.handlersStopped(), onMouseDown, e);
        break;
      case WM_MOUSEMOVE:
        fireUnlessEnded(host_.handlersStopped(), onMouseMove, e);
        break;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        fireUnlessEnded(host_.handlersStopped(), onMouseUp, e);
        break;
      default:
        break;
    }
  }

 private:
  bool stretch_;
  UniqueBitmap bitmap_;
  int width_ = 0;
  int height_ = 0;
};

// --- List box and drop-down list ------------------------------------------

struct ListBoxMessages {
  static constexpr UINT add = LB_ADDSTRING, count = LB_GETCOUNT, text = LB_GETTEXT, textLength = LB_GETTEXTLEN,
                        reset = LB_RESETCONTENT, getSelection = LB_GETCURSEL, setSelection = LB_SETCURSEL;
  static constexpr WORD selectionChanged = LBN_SELCHANGE, doubleClicked = LBN_DBLCLK;
};

struct ComboBoxMessages {
  static constexpr UINT add = CB_ADDSTRING, count = CB_GETCOUNT, text = CB_GETLBTEXT, textLength = CB_GETLBTEXTLEN,
                        reset = CB_RESETCONTENT, getSelection = CB_GETCURSEL, setSelection = CB_SETCURSEL;
  static constexpr WORD selectionChanged = CBN_SELCHANGE, doubleClicked = CBN_DBLCLK;
};

template <typename Interface, typename Messages>
class ListControl : public ChildControl<Interface> {
  using Base = ChildControl<Interface>;

 public:
  using Base::Base;

  int listCount() const override { return static_cast<int>(this->send(Messages::count)); }
  std::string list(int index) const override {
    if (index < 0 || index >= listCount()) return {};
    const LRESULT length = this->send(Messages::textLength, static_cast<WPARAM>(index));
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = this->send(Messages::text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
    return fromWide(text);
  }
  void clear() override { this->send(Messages::reset); }
  void addItem(const std::string& text) override {
    const std::wstring wide = toWideShown(text);
    this->send(Messages::add, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  int listIndex() const override {
    const LRESULT index = this->send(Messages::getSelection);
    return index < 0 ? -1 : static_cast<int>(index);
  }

  void command(WORD code) override {
    if (code == Messages::selectionChanged) fireUnlessEnded(this->host_.handlersStopped(), this->onClick);
    else if (code == Messages::doubleClicked) fireUnlessEnded(this->host_.handlersStopped(), this->onDblClick);
  }

 protected:
  // The system sends no notification for a change made by the program; the
  // Click comes from ItemList::setListIndex.
  bool showSelection(int index) override {
    if (!this->hwnd_) return false;
    this->send(Messages::setSelection, static_cast<WPARAM>(index));
    return true;
  }
  void addItems(const std::vector<std::string>& items) {
    for (const auto& item : items) addItem(item);
  }
};

class Win32ListBox final : public ListControl<ListBox, ListBoxMessages> {
 public:
  Win32ListBox(ControlHost& host, int id, const ListDesign& design)
      : ListControl(host, design, ControlKind::ListBox) {
    // Not integral: the list keeps the height it is given.
    create(L"LISTBOX", L"", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE, design, id);
    addItems(design.items);
  }
  void setTopIndex(int index) override { send(LB_SETTOPINDEX, static_cast<WPARAM>(std::max(index, 0))); }
};

class Win32ComboBox final : public ListControl<ComboBox, ComboBoxMessages> {
 public:
  Win32ComboBox(ControlHost& host, int id, const ListDesign& design)
      : ListControl(host, design, ControlKind::ComboBox) {
    create(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL, 0, design, id, dropPixels());
    setFieldHeight(std::max(0, toPixels(design.height, host.twipsPerPixelY())));
    addItems(design.items);
  }

  std::string text() const override { return list(listIndex()); }

 protected:
  // The window's height is that of the closed field plus its dropped list;
  // the field's follows its item height.
  void applyRect(const RECT& r) override {
    if (!hwnd_) return;
    SetWindowPos(hwnd_.get(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top + dropPixels(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    setFieldHeight(r.bottom - r.top);
  }

 private:
  int dropPixels() const { return toPixels(8 * 195.0f, host_.twipsPerPixelY()); }

  void setFieldHeight(int pixels) {
    // The frame around the item height depends on the system and its theme,
    // so measure and correct. The height read back is not always the one
    // set (Wine adds its padding to the value it stores), so corrections
    // build on the value set, not on a fresh reading.
    if (!hwnd_) return;
    LRESULT item = send(CB_GETITEMHEIGHT, static_cast<WPARAM>(-1));
    if (item < 0) return;
    for (int attempt = 0; attempt < 3; ++attempt) {
      const RECT r = pixelRect();
      const int current = r.bottom - r.top;
      if (current == pixels) return;
      item = std::max<LRESULT>(1, item + pixels - current);
      send(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
    }
  }
};

// --- Option button ---------------------------------------------------------

class Win32OptionButton final : public ChildControl<OptionButton> {
 public:
  Win32OptionButton(ControlHost& host, int id, const OptionButtonDesign& design)
      : ChildControl(host, design, ControlKind::OptionButton), group_(design.group) {
    // Not an automatic radio button: the group is kept here, and a Click
    // raised, the same way whether the user or the program selects.
    create(L"BUTTON", toWideShown(design.caption), BS_RADIOBUTTON | BS_MULTILINE, 0, design, id);
    if (design.backColor) brush_.reset(CreateSolidBrush(colorRef(*design.backColor)));
    if (hwnd_) SetWindowSubclass(hwnd_.get(), subclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
  }
  ~Win32OptionButton() override {
    if (hwnd_) RemoveWindowSubclass(hwnd_.get(), subclassProc, 0);
  }

  std::string caption() const override { return fromWide(windowText(hwnd_.get())); }
  bool value() const override { return send(BM_GETCHECK) == BST_CHECKED; }

  void command(WORD code) override {
    // A radio button may report a click when it merely gets the focus.
    if (code == BN_CLICKED && !focusArriving_) setValue(true);
  }
  HBRUSH ctlColor(HDC dc) override {
    HBRUSH brush = brush_ ? brush_.get() : host_.backgroundBrush();
    LOGBRUSH info{};
    if (GetObjectW(brush, sizeof info, &info)) SetBkColor(dc, info.lbColor);
    return brush;
  }
  int optionGroup() const override { return group_; }
  void deselect() override { send(BM_SETCHECK, BST_UNCHECKED); }

 protected:
  bool showValue(bool selected) override {
    if (!hwnd_) return false;
    if (selected) host_.optionSelected(*this);
    send(BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED);
    return true;
  }

 private:
  static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
    if (message != WM_SETFOCUS) return DefSubclassProc(hwnd, message, wParam, lParam);
    auto* self = reinterpret_cast<Win32OptionButton*>(data);
    self->focusArriving_ = true;
    const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    self->focusArriving_ = false;
    return result;
  }

  int group_;
  UniqueBrush brush_;
  bool focusArriving_ = false;
};

// --- Text box --------------------------------------------------------------

class Win32TextBox final : public ChildControl<TextBox> {
 public:
  Win32TextBox(ControlHost& host, int id, const TextBoxDesign& design) : ChildControl(host, design, ControlKind::TextBox) {
    create(L"EDIT", toWideShown(design.text), ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, design, id);
    if (design.maxLength > 0) send(EM_LIMITTEXT, static_cast<WPARAM>(design.maxLength));
  }

  std::string text() const override { return fromWide(windowText(hwnd_.get())); }
  // EN_CHANGE, and with it Change, arrives before this returns.
  void setText(const std::string& text) override {
    if (hwnd_) SetWindowTextW(hwnd_.get(), toWideShown(text).c_str());
  }

  void command(WORD code) override {
    if (code == EN_CHANGE) fireUnlessEnded(host_.handlersStopped(), onChange);
  }
};

// --- Slider ----------------------------------------------------------------

class Win32Slider final : public ChildControl<Slider> {
 public:
  Win32Slider(ControlHost& host, int id, const SliderDesign& design) : ChildControl(host, design, ControlKind::Slider) {
    create(TRACKBAR_CLASSW, L"", TBS_HORZ | TBS_NOTICKS, 0, design, id);
    showRange(design.min, std::max(design.min, design.max));
    send(TBM_SETLINESIZE, 0, design.smallStep);
    send(TBM_SETPAGESIZE, 0, design.largeStep);
    showValue(std::clamp(design.value, min(), max()));
  }

  int value() const override { return static_cast<int>(send(TBM_GETPOS)); }
  int min() const override { return static_cast<int>(send(TBM_GETRANGEMIN)); }
  int max() const override { return static_cast<int>(send(TBM_GETRANGEMAX)); }
  void setLargeStep(int step) override { send(TBM_SETPAGESIZE, 0, step); }

  // A key's move arrives as its step and again as the end of tracking, a
  // drag as each position and then the last again: one Change per new value.
  void scrolled() override {
    const int now = value();
    if (now == reported_) return;
    reported_ = now;
    fireUnlessEnded(host_.handlersStopped(), onChange);
  }
  HBRUSH ctlColor(HDC) override { return host_.backgroundBrush(); }

 protected:
  // The trackbar notifies nothing of the program's changes; Change comes
  // from Slider.
  bool showValue(int v) override {
    if (!hwnd_) return false;
    send(TBM_SETPOS, TRUE, v);
    reported_ = value();
    return true;
  }
  // The ends one by one: TBM_SETRANGE carries 16 bits each, too few for the
  // frames of a long movie.
  bool showRange(int lo, int hi) override {
    if (!hwnd_) return false;
    send(TBM_SETRANGEMIN, FALSE, lo);
    send(TBM_SETRANGEMAX, TRUE, hi);
    reported_ = value();
    return true;
  }

 private:
  int reported_ = 0;  // the value the program knows of
};

// --- Progress bar ----------------------------------------------------------

class Win32ProgressBar final : public ChildControl<ProgressBar> {
 public:
  Win32ProgressBar(ControlHost& host, int id, const ProgressDesign& design)
      : ChildControl(host, design, ControlKind::ProgressBar) {
    create(PROGRESS_CLASSW, L"", PBS_SMOOTH, 0, design, id);
    send(PBM_SETRANGE32, 0, std::max(1, design.max));
  }

  void setValue(int v) override { send(PBM_SETPOS, static_cast<WPARAM>(std::clamp(v, 0, max()))); }
  int value() const override { return static_cast<int>(send(PBM_GETPOS)); }
  void setMax(int m) override {
    m = std::max(1, m);
    const int v = std::min(value(), m);
    send(PBM_SETRANGE32, 0, m);
    send(PBM_SETPOS, static_cast<WPARAM>(v));
  }
  int max() const override { return static_cast<int>(send(PBM_GETRANGE, FALSE)); }
  bool takesFocus() const override { return false; }
};

}  // namespace

ControlNode* nodeOf(Control& control) { return dynamic_cast<ControlNode*>(&control); }

ControlNode* nodeWithHandle(const std::vector<std::unique_ptr<ControlNode>>& nodes, HWND hwnd) {
  if (!hwnd) return nullptr;
  for (const auto& node : nodes)
    if (node->handle() == hwnd) return node.get();
  return nullptr;
}

std::unique_ptr<ControlNode> createButton(ControlHost& host, int id, const ButtonDesign& design) {
  return std::make_unique<Win32Button>(host, id, design);
}
std::unique_ptr<ControlNode> createLabel(ControlHost& host, const LabelDesign& design) {
  return std::make_unique<Win32Label>(host, design);
}
std::unique_ptr<ControlNode> createImage(ControlHost& host, const ImageDesign& design) {
  return std::make_unique<Win32Image>(host, design);
}
std::unique_ptr<ControlNode> createListBox(ControlHost& host, int id, const ListDesign& design) {
  return std::make_unique<Win32ListBox>(host, id, design);
}
std::unique_ptr<ControlNode> createComboBox(ControlHost& host, int id, const ListDesign& design) {
  return std::make_unique<Win32ComboBox>(host, id, design);
}
std::unique_ptr<ControlNode> createOptionButton(ControlHost& host, int id, const OptionButtonDesign& design) {
  return std::make_unique<Win32OptionButton>(host, id, design);
}
std::unique_ptr<ControlNode> createTextBox(ControlHost& host, int id, const TextBoxDesign& design) {
  return std::make_unique<Win32TextBox>(host, id, design);
}
std::unique_ptr<ControlNode> createSlider(ControlHost& host, int id, const SliderDesign& design) {
  return std::make_unique<Win32Slider>(host, id, design);
}
std::unique_ptr<ControlNode> createProgressBar(ControlHost& host, int id, const ProgressDesign& design) {
  return std::make_unique<Win32ProgressBar>(host, id, design);
}

}  // namespace ks::win32
