#include "platform/headless/headless_window_system.h"

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

int toPixels(float twips, float twipsPerPixel) {
  return static_cast<int>(std::nearbyint(static_cast<double>(twips) / twipsPerPixel));
}

// Where a real system parks a minimised window, and its size there.
constexpr int kIconicPosition = -32000;
constexpr int kIconicWidth = 160;
constexpr int kIconicHeight = 28;

class HeadlessLine final : public Line {
 public:
  HeadlessLine(const LineDesign& design, std::function<void()> changed)
      : design_(design), changed_(std::move(changed)) {}
  float x1() const override { return design_.x1; }
  float y1() const override { return design_.y1; }
  float x2() const override { return design_.x2; }
  float y2() const override { return design_.y2; }
  void setX1(float v) override { set(design_.x1, v); }
  void setY1(float v) override { set(design_.y1, v); }
  void setX2(float v) override { set(design_.x2, v); }
  void setY2(float v) override { set(design_.y2, v); }
  int widthPixels() const override { return design_.widthPixels; }
  Rgb color() const override { return design_.systemWindowText ? kBlack : design_.color; }

 private:
  void set(float& field, float value) {
    field = value;
    changed_();
  }
  LineDesign design_;
  std::function<void()> changed_;
};

struct PixelBox {
  int x = 0, y = 0, w = 0, h = 0;
};

}  // namespace

class HeadlessWindow;
namespace {

// Shared state and behaviour of every headless control; I is the control
// interface it implements.
class ControlState {
 public:
  ControlState(HeadlessWindow& owner, const ControlDesign& design);
  virtual ~ControlState() = default;
  HeadlessWindow& owner;
  PixelBox box;
  bool enabled;
  bool visible;
  int tabIndex;
  int refreshes = 0;
  bool acceptsInput() const;
  // Labels and images never take the keyboard focus.
  virtual bool takesFocus() const { return tabIndex >= 0; }
  virtual Control& asControl() = 0;
};

template <class I>
class HeadlessControl : public I, public ControlState {
 public:
  HeadlessControl(HeadlessWindow& owner, const ControlDesign& design) : ControlState(owner, design) {}
  float left() const override { return box.x * tx(); }
  float top() const override { return box.y * ty(); }
  float width() const override { return box.w * tx(); }
  float height() const override { return box.h * ty(); }
  void setLeft(float v) override { box.x = toPixels(v, tx()); }
  void setTop(float v) override { box.y = toPixels(v, ty()); }
  void setWidth(float v) override { box.w = std::max(0, toPixels(v, tx())); }
  void setHeight(float v) override { box.h = std::max(0, toPixels(v, ty())); }
  bool enabled() const override { return ControlState::enabled; }
  void setEnabled(bool e) override;
  bool visible() const override { return ControlState::visible; }
  void setVisible(bool v) override;
  int tabIndex() const override { return ControlState::tabIndex; }
  bool hasFocus() const override;
  void setFocus() override;
  void refresh() override { ++refreshes; }
  Control& asControl() override { return *this; }

 private:
  float tx() const;
  float ty() const;
};

class HeadlessButton final : public HeadlessControl<Button> {
 public:
  HeadlessButton(HeadlessWindow& owner, const ButtonDesign& design) : HeadlessControl(owner, design), caption_(design.caption) {}
  std::string caption() const override { return caption_; }
  void setCaption(const std::string& c) override { caption_ = c; }

 private:
  std::string caption_;
};

class HeadlessLabel final : public HeadlessControl<Label> {
 public:
  HeadlessLabel(HeadlessWindow& owner, const LabelDesign& design) : HeadlessControl(owner, design), caption_(design.caption) {}
  bool takesFocus() const override { return false; }
  std::string caption() const override { return caption_; }
  void setCaption(const std::string& c) override { caption_ = c; }

 private:
  std::string caption_;
};

class HeadlessImage final : public HeadlessControl<Image> {
 public:
  HeadlessImage(HeadlessWindow& owner, const ImageDesign& design) : HeadlessControl(owner, design), picture_(design.picture) {}
  bool takesFocus() const override { return false; }
  void setPicture(const Picture& p) override { picture_ = p; }

 private:
  Picture picture_;
};

template <class I>
class HeadlessItemList : public HeadlessControl<I> {
 public:
  HeadlessItemList(HeadlessWindow& owner, const ListDesign& design) : HeadlessControl<I>(owner, design), items_(design.items) {}
  int listCount() const override { return static_cast<int>(items_.size()); }
  std::string list(int i) const override { return i >= 0 && i < listCount() ? items_[i] : std::string(); }
  void clear() override {
    items_.clear();
    index_ = -1;
  }
  void addItem(const std::string& text) override { items_.push_back(text); }
  int listIndex() const override { return index_; }
  void setListIndex(int i) override {
    if (i < -1 || i >= listCount()) return;
    index_ = i;
    if (this->onClick) this->onClick();
  }

 protected:
  std::vector<std::string> items_;
  int index_ = -1;
};

class HeadlessListBox final : public HeadlessItemList<ListBox> {
 public:
  using HeadlessItemList::HeadlessItemList;
  void setTopIndex(int) override {}
};

class HeadlessComboBox final : public HeadlessItemList<ComboBox> {
 public:
  using HeadlessItemList::HeadlessItemList;
  std::string text() const override { return list(index_); }
};

class HeadlessOptionButton final : public HeadlessControl<OptionButton> {
 public:
  HeadlessOptionButton(HeadlessWindow& owner, const OptionButtonDesign& design)
      : HeadlessControl(owner, design), caption_(design.caption), group_(design.group) {}
  std::string caption() const override { return caption_; }
  bool value() const override { return value_; }
  void setValue(bool selected) override;
  int group() const { return group_; }
  void deselect() { value_ = false; }

 private:
  std::string caption_;
  int group_;
  bool value_ = false;
};

class HeadlessTextBox final : public HeadlessControl<TextBox> {
 public:
  HeadlessTextBox(HeadlessWindow& owner, const TextBoxDesign& design)
      : HeadlessControl(owner, design), text_(design.text), maxLength_(design.maxLength) {}
  std::string text() const override { return text_; }
  void setText(const std::string& t) override {
    std::string next = maxLength_ > 0 && t.size() > static_cast<std::size_t>(maxLength_) ? t.substr(0, maxLength_) : t;
    if (next == text_) return;
    text_ = std::move(next);
    if (onChange) onChange();
  }

 private:
  std::string text_;
  int maxLength_;
};

}  // namespace

class HeadlessWindow final : public Window {
 public:
  HeadlessWindow(HeadlessWindowSystem& system, const WindowDesign& design) : system_(system), design_(design) {
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
  ~HeadlessWindow() override { system_.forget(this); }

  float left() const override { return box_.x * tx(); }
  float top() const override { return box_.y * ty(); }
  float width() const override { return box_.w * tx(); }
  float height() const override { return box_.h * ty(); }
  // While minimised, placing a window changes where it is restored.
  void setLeft(float v) override { moveTo(toPixels(v, tx()), placed().y); }
  void setTop(float v) override { moveTo(placed().x, toPixels(v, ty())); }
  void setWidth(float v) override { resizeTo(toPixels(v, tx()), placed().h); }
  void setHeight(float v) override { resizeTo(placed().w, toPixels(v, ty())); }

  float scaleWidth() const override {
    return state_ == kStateMinimized ? 0.0f : std::max(0, box_.w - insetLeft_ - insetRight_) * tx();
  }
  float scaleHeight() const override {
    return state_ == kStateMinimized ? 0.0f : std::max(0, box_.h - insetTop_ - insetBottom_) * ty();
  }

  int windowState() const override { return state_; }
  void setWindowState(int state) override {
    if (state == state_ || destroyed_) return;
    if (state == kStateMinimized) {
      if (state_ == kStateNormal) normalBox_ = box_;
      state_ = kStateMinimized;
      box_ = {kIconicPosition, kIconicPosition, kIconicWidth, kIconicHeight};
      system_.deactivate(this);
      if (shown_) fire(events.onResize);
    } else {
      const bool wasMinimized = state_ == kStateMinimized;
      state_ = state;
      if (wasMinimized) box_ = normalBox_;
      if (shown_) fire(events.onResize);
      if (visible_) {
        system_.activate(this);
        system_.schedulePaint(this);
      }
    }
  }

  bool visible() const override { return visible_; }
  void show() override {
    if (destroyed_) return;
    visible_ = true;
    if (!shown_) {
      shown_ = true;
      fire(events.onResize);
      // A window starts with the focus on its first control in tab order.
      if (!focus_) tabFocus(false);
    }
    system_.activate(this);
    system_.schedulePaint(this);
  }
  void hide() override {
    visible_ = false;
    system_.deactivate(this);
  }

  bool enabled() const override { return enabled_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }

  void makeTopmost() override {
    topmost_ = true;
    system_.raiseTopmost(this);
    if (visible_ && state_ != kStateMinimized) system_.activate(this);
  }
  bool topmost() const override { return topmost_; }

  std::string caption() const override { return design_.caption; }

  Line& addLine(const LineDesign& design) override {
    lines_.push_back(std::make_unique<HeadlessLine>(design, [this] {
      if (visible_) system_.schedulePaint(this);
    }));
    return *lines_.back();
  }

  Button& addButton(const ButtonDesign& design) override { return add<HeadlessButton>(design); }
  Label& addLabel(const LabelDesign& design) override { return add<HeadlessLabel>(design); }
  Image& addImage(const ImageDesign& design) override { return add<HeadlessImage>(design); }
  ListBox& addListBox(const ListDesign& design) override { return add<HeadlessListBox>(design); }
  ComboBox& addComboBox(const ListDesign& design) override { return add<HeadlessComboBox>(design); }
  OptionButton& addOptionButton(const OptionButtonDesign& design) override { return add<HeadlessOptionButton>(design); }
  TextBox& addTextBox(const TextBoxDesign& design) override { return add<HeadlessTextBox>(design); }
  Control* focusedControl() const override { return focus_ ? &focus_->asControl() : nullptr; }

  // --- used by the controls, the system and the input simulator ---
  HeadlessWindowSystem& system() const { return system_; }
  const std::vector<std::unique_ptr<ControlState>>& controls() const { return controls_; }
  ControlState* focus() const { return focus_; }
  void setFocusTo(ControlState* c) { focus_ = c; }
  // Moves the focus along the tab order, wrapping, skipping what cannot
  // take it.
  void tabFocus(bool backwards) {
    std::vector<ControlState*> order;
    for (auto& c : controls_)
      if (c->takesFocus() && c->acceptsInput()) order.push_back(c.get());
    if (order.empty()) return;
    std::stable_sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    auto it = std::find(order.begin(), order.end(), focus_);
    if (it == order.end()) {
      focus_ = backwards ? order.back() : order.front();
      return;
    }
    const auto n = static_cast<std::ptrdiff_t>(order.size());
    const std::ptrdiff_t i = it - order.begin();
    focus_ = order[static_cast<std::size_t>(((backwards ? i - 1 : i + 1) % n + n) % n)];
  }

  void fire(const std::function<void()>& handler) {
    if (handler && !system_.ended()) handler();
  }
  void firePaint() {
    if (visible_ && !destroyed_) fire(events.onPaint);
  }
  void moveTo(int x, int y) {
    if (state_ == kStateMinimized) {
      normalBox_.x = x;
      normalBox_.y = y;
      return;
    }
    box_.x = x;
    box_.y = y;
  }
  void resizeTo(int w, int h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    PixelBox& target = state_ == kStateMinimized ? normalBox_ : box_;
    if (target.w == w && target.h == h) return;
    target.w = w;
    target.h = h;
    if (shown_ && state_ != kStateMinimized) fire(events.onResize);
  }
  bool closeRequested() {
    if (destroyed_) return false;
    if (events.onCloseRequest && !events.onCloseRequest()) return false;
    fire(events.onUnload);
    destroyed_ = true;
    visible_ = false;
    system_.deactivate(this);
    return true;
  }
  bool acceptsInput() const { return enabled_ && visible_ && !destroyed_ && !system_.inputBlocked(this); }
  bool destroyed() const { return destroyed_; }

 private:
  const PixelBox& placed() const { return state_ == kStateMinimized ? normalBox_ : box_; }
  float tx() const { return system_.twipsPerPixelX(); }
  float ty() const { return system_.twipsPerPixelY(); }

  HeadlessWindowSystem& system_;
  WindowDesign design_;
  PixelBox box_;
  PixelBox normalBox_;
  int insetLeft_ = 0, insetTop_ = 0, insetRight_ = 0, insetBottom_ = 0;
  int state_ = kStateNormal;
  bool visible_ = false;
  bool shown_ = false;
  bool enabled_ = true;
  bool topmost_ = false;
  bool destroyed_ = false;
  std::vector<std::unique_ptr<HeadlessLine>> lines_;
  std::vector<std::unique_ptr<ControlState>> controls_;
  ControlState* focus_ = nullptr;

  template <class C, class Design>
  C& add(const Design& design) {
    auto control = std::make_unique<C>(*this, design);
    C& ref = *control;
    controls_.push_back(std::move(control));
    return ref;
  }
};

namespace {

ControlState::ControlState(HeadlessWindow& w, const ControlDesign& design)
    : owner(w), enabled(design.enabled), visible(design.visible), tabIndex(design.tabIndex) {
  const float tx = w.system().twipsPerPixelX(), ty = w.system().twipsPerPixelY();
  box = {toPixels(design.left, tx), toPixels(design.top, ty), std::max(0, toPixels(design.width, tx)),
         std::max(0, toPixels(design.height, ty))};
}

bool ControlState::acceptsInput() const { return enabled && visible && owner.acceptsInput(); }

template <class I>
float HeadlessControl<I>::tx() const {
  return owner.system().twipsPerPixelX();
}
template <class I>
float HeadlessControl<I>::ty() const {
  return owner.system().twipsPerPixelY();
}
template <class I>
void HeadlessControl<I>::setEnabled(bool e) {
  ControlState::enabled = e;
  if (!e && owner.focus() == this) owner.setFocusTo(nullptr);
}
template <class I>
void HeadlessControl<I>::setVisible(bool v) {
  ControlState::visible = v;
  if (!v && owner.focus() == this) owner.setFocusTo(nullptr);
}
template <class I>
bool HeadlessControl<I>::hasFocus() const {
  return owner.focus() == this;
}
template <class I>
void HeadlessControl<I>::setFocus() {
  if (ControlState::enabled && ControlState::visible && takesFocus()) owner.setFocusTo(this);
}

void HeadlessOptionButton::setValue(bool selected) {
  if (!selected) {
    value_ = false;
    return;
  }
  for (auto& c : owner.controls())
    if (auto* other = dynamic_cast<HeadlessOptionButton*>(c.get()); other && other != this && other->group() == group_)
      other->deselect();
  value_ = true;
  if (onClick) onClick();
}

}  // namespace

int headlessRefreshCount(const Control& control) {
  const auto* state = dynamic_cast<const ControlState*>(&control);
  return state ? state->refreshes : 0;
}

HeadlessWindowSystem::HeadlessWindowSystem(HeadlessOptions options) : options_(options) {}
HeadlessWindowSystem::~HeadlessWindowSystem() = default;

std::unique_ptr<Window> HeadlessWindowSystem::createWindow(const WindowDesign& design) {
  auto window = std::make_unique<HeadlessWindow>(*this, design);
  windows_.push_back(window.get());
  return window;
}

void HeadlessWindowSystem::showModal(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  // As on Windows, the other windows are disabled while the dialog is up and
  // exactly those are enabled again afterwards.
  std::vector<HeadlessWindow*> disabled;
  for (HeadlessWindow* other : windows_) {
    if (other != &w && other->enabled()) {
      other->setEnabled(false);
      disabled.push_back(other);
    }
  }
  modalStack_.push_back(&w);
  w.show();
  auto stillUp = [&] { return w.visible() && !w.destroyed() && !ended_; };
  if (stillUp() && !modalAnswers_.empty()) {
    auto answer = std::move(modalAnswers_.front());
    modalAnswers_.pop_front();
    answer(window);
  }
  while (stillUp() && (!posted_.empty() || !pendingPaints_.empty())) doEvents();
  if (stillUp()) {
    ++unansweredModals_;
    w.hide();
  }
  std::erase(modalStack_, &w);
  for (HeadlessWindow* other : disabled)
    if (std::find(windows_.begin(), windows_.end(), other) != windows_.end()) other->setEnabled(true);
}

MsgButton HeadlessWindowSystem::messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) {
  messageBoxTexts_.push_back(text);
  if (messageBoxAnswers_.empty()) return defaultButton;
  MsgButton answer = messageBoxAnswers_.front();
  messageBoxAnswers_.pop_front();
  return answer;
}

void HeadlessWindowSystem::waitForEvents(double maxSeconds) {
  ++waitCalls_;
  if (idleWait_) idleWait_(maxSeconds);
}

void HeadlessWindowSystem::doEvents() {
  ++doEventsCalls_;
  // Only what has arrived so far runs; events posted by these handlers wait
  // for the next call, as with a real queue.
  std::deque<std::function<void()>> batch;
  batch.swap(posted_);
  for (auto& event : batch) {
    if (ended_) return;
    event();
  }
  std::vector<HeadlessWindow*> paints;
  paints.swap(pendingPaints_);
  for (HeadlessWindow* w : paints) {
    if (ended_) return;
    w->firePaint();
  }
}

int HeadlessWindowSystem::run() {
  while (!ended_ && (!posted_.empty() || !pendingPaints_.empty())) doEvents();
  return 0;
}

void HeadlessWindowSystem::queueModalAnswer(std::function<void(Window&)> answer) {
  modalAnswers_.push_back(std::move(answer));
}
void HeadlessWindowSystem::queueMessageBoxAnswer(MsgButton answer) { messageBoxAnswers_.push_back(answer); }
void HeadlessWindowSystem::post(std::function<void()> event) { posted_.push_back(std::move(event)); }

Window* HeadlessWindowSystem::activeWindow() const { return active_; }

std::vector<Window*> HeadlessWindowSystem::topmostOrder() const {
  return {topmost_.begin(), topmost_.end()};
}

void HeadlessWindowSystem::activate(HeadlessWindow* window) {
  if (active_ == window) return;
  active_ = window;
  window->fire(window->events.onActivate);
}

void HeadlessWindowSystem::deactivate(HeadlessWindow* window) {
  if (active_ == window) active_ = nullptr;
}

void HeadlessWindowSystem::raiseTopmost(HeadlessWindow* window) {
  std::erase(topmost_, window);
  topmost_.push_back(window);
}

void HeadlessWindowSystem::forget(HeadlessWindow* window) {
  std::erase(windows_, window);
  std::erase(topmost_, window);
  std::erase(pendingPaints_, window);
  std::erase(modalStack_, window);
  if (active_ == window) active_ = nullptr;
}

void HeadlessWindowSystem::schedulePaint(HeadlessWindow* window) {
  if (std::find(pendingPaints_.begin(), pendingPaints_.end(), window) == pendingPaints_.end())
    pendingPaints_.push_back(window);
}

bool HeadlessWindowSystem::inputBlocked(const HeadlessWindow* window) const {
  return !modalStack_.empty() && modalStack_.back() != window;
}

// --- input ---

void HeadlessInputSimulator::dragWindowTo(Window& window, float left, float top) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput() || w.windowState() != kStateNormal) return;
  system_.activate(&w);
  const auto& o = system_.options();
  w.moveTo(toPixels(left, o.twipsPerPixelX), toPixels(top, o.twipsPerPixelY));
}

void HeadlessInputSimulator::activate(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) system_.activate(&w);
}

void HeadlessInputSimulator::mouseDown(Window& window, const MouseEvent& e) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput()) return;
  system_.activate(&w);
  if (w.events.onMouseDown && !system_.ended()) w.events.onMouseDown(e);
}

void HeadlessInputSimulator::mouseMove(Window& window, const MouseEvent& e) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput()) return;
  if (w.events.onMouseMove && !system_.ended()) w.events.onMouseMove(e);
}

void HeadlessInputSimulator::mouseUp(Window& window, const MouseEvent& e) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput()) return;
  if (w.events.onMouseUp && !system_.ended()) w.events.onMouseUp(e);
}

void HeadlessInputSimulator::requestClose(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) w.closeRequested();
}

void HeadlessInputSimulator::minimize(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) w.setWindowState(kStateMinimized);
}

void HeadlessInputSimulator::restore(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.destroyed() && w.visible()) w.setWindowState(kStateNormal);
}

namespace {

ControlState* inputTarget(Control& control) {
  auto* state = dynamic_cast<ControlState*>(&control);
  return state && state->acceptsInput() ? state : nullptr;
}

}  // namespace

void HeadlessInputSimulator::click(Control& control) {
  if (!inputTarget(control)) return;
  if (auto* b = dynamic_cast<Button*>(&control)) {
    control.setFocus();
    if (b->onClick) b->onClick();
  } else if (auto* o = dynamic_cast<OptionButton*>(&control)) {
    control.setFocus();
    o->setValue(true);
  } else if (auto* l = dynamic_cast<Label*>(&control)) {
    if (l->onClick) l->onClick();
  }
}

void HeadlessInputSimulator::selectItem(ItemList& list, int index) {
  if (!inputTarget(list) || index < 0 || index >= list.listCount()) return;
  list.setFocus();
  list.setListIndex(index);
}

void HeadlessInputSimulator::doubleClickItem(ItemList& list, int index) {
  if (!inputTarget(list) || index < 0 || index >= list.listCount()) return;
  list.setFocus();
  list.setListIndex(index);
  if (list.onDblClick) list.onDblClick();
}

void HeadlessInputSimulator::typeText(TextBox& box, const std::string& text) {
  if (!inputTarget(box)) return;
  box.setFocus();
  box.setText(text);
}

void HeadlessInputSimulator::mouseDown(Image& image, const MouseEvent& e) {
  if (inputTarget(image) && image.onMouseDown) image.onMouseDown(e);
}
void HeadlessInputSimulator::mouseMove(Image& image, const MouseEvent& e) {
  if (inputTarget(image) && image.onMouseMove) image.onMouseMove(e);
}
void HeadlessInputSimulator::mouseUp(Image& image, const MouseEvent& e) {
  if (inputTarget(image) && image.onMouseUp) image.onMouseUp(e);
}

void HeadlessInputSimulator::pressTab(Window& window, bool shift) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) w.tabFocus(shift);
}

}  // namespace ks
