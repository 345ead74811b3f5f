#include "platform/headless/headless_window.h"

#include <algorithm>

#include "platform/handlers.h"
#include "platform/stored_line.h"

namespace ks {

namespace {

// Where a real system parks a minimised window, and its size there.
constexpr int kIconicPosition = -32000;
constexpr int kIconicWidth = 160;
constexpr int kIconicHeight = 28;

}  // namespace

class HeadlessLine final : public StoredLine {
 public:
  HeadlessLine(const LineDesign& design, std::function<void()> changed)
      : StoredLine(design), changed_(std::move(changed)) {}
  Rgb color() const override { return design().systemWindowText ? kBlack : design().color; }

 private:
  void changed() override { changed_(); }

  std::function<void()> changed_;
};

HeadlessWindow::HeadlessWindow(HeadlessWindowSystem& system, const WindowDesign& design)
    : system_(system), design_(design) {
  const auto& o = system.options();
  if (design.border != Border::None) {
    insetLeft_ = insetRight_ = insetBottom_ = o.borderPixels;
    insetTop_ = o.borderPixels + o.captionPixels;
  }
  const int cx = toPixels(design.clientLeft, o.twipsPerPixelX);
  const int cy = toPixels(design.clientTop, o.twipsPerPixelY);
  const int cw = toPixels(design.clientWidth, o.twipsPerPixelX);
  const int ch = toPixels(design.clientHeight, o.twipsPerPixelY);
  box_ = {cx - insetLeft_, cy - insetTop_, cw + insetLeft_ + insetRight_, ch + insetTop_ + insetBottom_};
  if (design.centered) {
    box_.x = (o.screenWidth - box_.w) / 2;
    box_.y = (o.screenHeight - box_.h) / 2;
  }
}

HeadlessWindow::~HeadlessWindow() { system_.forget(this); }

float HeadlessWindow::scaleWidth() const {
  return state_ == kStateMinimized ? 0.0f : static_cast<float>(std::max(0, box_.w - insetLeft_ - insetRight_)) * tx();
}

float HeadlessWindow::scaleHeight() const {
  return state_ == kStateMinimized ? 0.0f : static_cast<float>(std::max(0, box_.h - insetTop_ - insetBottom_)) * ty();
}

void HeadlessWindow::setWindowState(int state) {
  if (state == state_ || destroyed_) return;
  if (state == kStateMinimized) {
    if (state_ == kStateNormal) normalBox_ = box_;
    state_ = kStateMinimized;
    box_ = {kIconicPosition, kIconicPosition, kIconicWidth, kIconicHeight};
    system_.deactivate(this);
    if (shown_) fireUnlessEnded(system_.ended(), events.onResize);
  } else {
    const bool wasMinimized = state_ == kStateMinimized;
    state_ = state;
    if (wasMinimized) box_ = normalBox_;
    if (shown_) fireUnlessEnded(system_.ended(), events.onResize);
    if (visible_) {
      system_.activate(this);
      system_.schedulePaint(this);
    }
  }
}

void HeadlessWindow::show() {
  if (destroyed_) return;
  visible_ = true;
  if (!shown_) {
    shown_ = true;
    fireUnlessEnded(system_.ended(), events.onResize);
  }
  system_.activate(this);
  system_.schedulePaint(this);
}

void HeadlessWindow::hide() {
  visible_ = false;
  system_.deactivate(this);
}

void HeadlessWindow::makeTopmost() {
  topmost_ = true;
  system_.raiseTopmost(this);
  if (visible_ && state_ != kStateMinimized) system_.activate(this);
}

Line& HeadlessWindow::addLine(const LineDesign& design) {
  lines_.push_back(std::make_unique<HeadlessLine>(design, [this] {
    if (visible_) system_.schedulePaint(this);
  }));
  return *lines_.back();
}

template <class I>
I& HeadlessWindow::add(std::unique_ptr<ControlState> control) {
  ControlState& state = *control;
  navigator_.add(state);
  controls_.push_back(std::move(control));
  return dynamic_cast<I&>(state.asControl());
}

Button& HeadlessWindow::addButton(const ButtonDesign& d) { return add<Button>(makeHeadlessButton(*this, d)); }
Label& HeadlessWindow::addLabel(const LabelDesign& d) { return add<Label>(makeHeadlessLabel(*this, d)); }
Image& HeadlessWindow::addImage(const ImageDesign& d) { return add<Image>(makeHeadlessImage(*this, d)); }
ListBox& HeadlessWindow::addListBox(const ListDesign& d) { return add<ListBox>(makeHeadlessListBox(*this, d)); }
ComboBox& HeadlessWindow::addComboBox(const ListDesign& d) { return add<ComboBox>(makeHeadlessComboBox(*this, d)); }
OptionButton& HeadlessWindow::addOptionButton(const OptionButtonDesign& d) {
  return add<OptionButton>(makeHeadlessOptionButton(*this, d));
}
TextBox& HeadlessWindow::addTextBox(const TextBoxDesign& d) { return add<TextBox>(makeHeadlessTextBox(*this, d)); }
Slider& HeadlessWindow::addSlider(const SliderDesign& d) { return add<Slider>(makeHeadlessSlider(*this, d)); }
ProgressBar& HeadlessWindow::addProgressBar(const ProgressDesign& d) {
  return add<ProgressBar>(makeHeadlessProgressBar(*this, d));
}

Control* HeadlessWindow::focusedControl() const { return focus() ? &focus()->asControl() : nullptr; }

void HeadlessWindow::focusLeaving(ControlState& control) {
  if (focus() == &control) navigator_.setFocus(navigator_.handOff(control));
}

void HeadlessWindow::keyPressed(const KeyEvent& key) {
  if (!acceptsInput() || system_.ended()) return;
  if (events.onKeyDown && events.onKeyDown(key)) return;
  if (key.key == kKeyTab && !key.ctrl && !key.alt) return tabFocus(key.shift);
  if (key.key == kKeyEnter || key.key == kKeyEscape) {
    Navigable* target = key.key == kKeyEnter ? navigator_.enterTarget() : navigator_.escapeTarget();
    if (auto* button = target ? dynamic_cast<Button*>(&static_cast<ControlState*>(target)->asControl()) : nullptr)
      fireUnlessEnded(system_.ended(), button->onClick);
    return;
  }
  if (ControlState* focused = focus()) focused->key(key);
}

int HeadlessWindow::minOuterWidth() const {
  if (design_.border == Border::None || design_.minClientWidth <= 0) return 0;
  return toPixels(design_.minClientWidth, tx()) + insetLeft_ + insetRight_;
}

int HeadlessWindow::minOuterHeight() const {
  if (design_.border == Border::None || design_.minClientHeight <= 0) return 0;
  return toPixels(design_.minClientHeight, ty()) + insetTop_ + insetBottom_;
}

void HeadlessWindow::moveTo(int x, int y) {
  if (state_ == kStateMinimized) {
    normalBox_.x = x;
    normalBox_.y = y;
    return;
  }
  box_.x = x;
  box_.y = y;
}

void HeadlessWindow::resizeTo(int w, int h) {
  w = std::max(w, minOuterWidth());
  h = std::max(h, minOuterHeight());
  PixelBox& target = state_ == kStateMinimized ? normalBox_ : box_;
  if (target.w == w && target.h == h) return;
  target.w = w;
  target.h = h;
  if (shown_ && state_ != kStateMinimized) fireUnlessEnded(system_.ended(), events.onResize);
}

bool HeadlessWindow::closeRequested() {
  if (destroyed_) return false;
  if (events.onCloseRequest && !events.onCloseRequest()) return false;
  fireUnlessEnded(system_.ended(), events.onUnload);
  destroyed_ = true;
  visible_ = false;
  system_.deactivate(this);
  return true;
}

}  // namespace ks
