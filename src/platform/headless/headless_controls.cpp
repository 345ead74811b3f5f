#include "platform/headless/headless_controls.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless_window.h"

namespace ks {

int toPixels(float twips, float twipsPerPixel) {
  return static_cast<int>(std::nearbyint(static_cast<double>(twips) / twipsPerPixel));
}

ControlState::ControlState(HeadlessWindow& w, const ControlDesign& design)
    : owner(w), enabled(design.enabled), visible(design.visible), tabIndex(design.tabIndex) {
  const float tx = w.system().twipsPerPixelX(), ty = w.system().twipsPerPixelY();
  box = {toPixels(design.left, tx), toPixels(design.top, ty), std::max(0, toPixels(design.width, tx)),
         std::max(0, toPixels(design.height, ty))};
}

bool ControlState::acceptsInput() const { return enabled && visible && owner.acceptsInput(); }

namespace {

// I is the control interface the control implements.
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
  void setEnabled(bool e) override {
    if (!e) owner.focusLeaving(*this);
    ControlState::enabled = e;
  }
  bool visible() const override { return ControlState::visible; }
  void setVisible(bool v) override {
    if (!v) owner.focusLeaving(*this);
    ControlState::visible = v;
  }
  int tabIndex() const override { return ControlState::tabIndex; }
  bool hasFocus() const override { return owner.focus() == this; }
  void setFocus() override {
    if (takesFocus()) owner.setFocusTo(this);
  }
  void refresh() override { ++refreshes; }
  Control& asControl() override { return *this; }

 protected:
  bool handlersRun() const override { return !owner.system().ended(); }

 private:
  float tx() const { return owner.system().twipsPerPixelX(); }
  float ty() const { return owner.system().twipsPerPixelY(); }
};

class HeadlessButton final : public HeadlessControl<Button> {
 public:
  HeadlessButton(HeadlessWindow& owner, const ButtonDesign& design)
      : HeadlessControl(owner, design), caption_(design.caption), picture_(design.picture),
        isDefault_(design.isDefault), isCancel_(design.isCancel) {}
  std::string caption() const override { return caption_; }
  void setCaption(const std::string& c) override { caption_ = c; }
  bool isButton() const override { return true; }
  bool isDefault() const override { return isDefault_; }
  bool isCancel() const override { return isCancel_; }
  const Picture& picture() const { return picture_; }

 private:
  std::string caption_;
  Picture picture_;
  bool isDefault_;
  bool isCancel_;
};

class HeadlessLabel final : public HeadlessControl<Label> {
 public:
  HeadlessLabel(HeadlessWindow& owner, const LabelDesign& design)
      : HeadlessControl(owner, design), caption_(design.caption), design_(design) {}
  std::string caption() const override { return caption_; }
  void setCaption(const std::string& c) override { caption_ = c; }
  const LabelDesign& design() const { return design_; }

 protected:
  bool focusKind() const override { return false; }

 private:
  std::string caption_;
  LabelDesign design_;
};

class HeadlessImage final : public HeadlessControl<Image> {
 public:
  HeadlessImage(HeadlessWindow& owner, const ImageDesign& design) : HeadlessControl(owner, design), picture_(design.picture) {}
  void setPicture(const Picture& p) override { picture_ = p; }
  const Picture& picture() const { return picture_; }

 protected:
  bool focusKind() const override { return false; }

 private:
  Picture picture_;
};

template <class I>
class HeadlessItemList : public HeadlessControl<I> {
 public:
  HeadlessItemList(HeadlessWindow& owner, const ListDesign& design) : HeadlessControl<I>(owner, design), items_(design.items) {}
  int listCount() const override { return static_cast<int>(items_.size()); }
  std::string list(int i) const override { return i >= 0 && i < listCount() ? items_[static_cast<std::size_t>(i)] : std::string(); }
  void clear() override {
    items_.clear();
    index_ = -1;
  }
  void addItem(const std::string& text) override { items_.push_back(text); }
  int listIndex() const override { return index_; }

 protected:
  bool showSelection(int i) override {
    index_ = i;
    return true;
  }
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
  bool isOption() const override { return true; }
  int optionGroup() const override { return group_; }

 protected:
  bool showValue(bool selected) override {
    if (selected)
      for (Navigable* mate : owner.navigator().groupMates(*this)) static_cast<HeadlessOptionButton*>(mate)->value_ = false;
    value_ = selected;
    return true;
  }

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
    std::string next = maxLength_ > 0 && t.size() > static_cast<std::size_t>(maxLength_) ? t.substr(0, static_cast<std::size_t>(maxLength_)) : t;
    if (next == text_) return;
    text_ = std::move(next);
    if (onChange) onChange();
  }

 private:
  std::string text_;
  int maxLength_;
};

// What a trackbar does with its keys: Left and Up count as line up, which
// lowers the value, Page Up lowers it by a page.
class HeadlessSlider final : public HeadlessControl<Slider> {
 public:
  HeadlessSlider(HeadlessWindow& owner, const SliderDesign& design)
      : HeadlessControl(owner, design), min_(design.min), max_(std::max(design.min, design.max)),
        value_(std::clamp(design.value, min_, max_)), smallStep_(design.smallStep), largeStep_(design.largeStep) {}
  int value() const override { return value_; }
  int min() const override { return min_; }
  int max() const override { return max_; }
  void setLargeStep(int step) override { largeStep_ = step; }

  void key(const KeyEvent& e) override {
    switch (e.key) {
      case kKeyLeft:
      case kKeyUp:
        return setValue(value_ - smallStep_);
      case kKeyRight:
      case kKeyDown:
        return setValue(value_ + smallStep_);
      case kKeyPageUp:
        return setValue(value_ - largeStep_);
      case kKeyPageDown:
        return setValue(value_ + largeStep_);
      case kKeyHome:
        return setValue(min_);
      case kKeyEnd:
        return setValue(max_);
      default:
        return;
    }
  }

 protected:
  bool showValue(int v) override {
    value_ = v;
    return true;
  }
  bool showRange(int lo, int hi) override {
    min_ = lo;
    max_ = hi;
    return true;
  }

 private:
  int min_, max_, value_, smallStep_, largeStep_;
};

class HeadlessProgressBar final : public HeadlessControl<ProgressBar> {
 public:
  HeadlessProgressBar(HeadlessWindow& owner, const ProgressDesign& design)
      : HeadlessControl(owner, design), max_(std::max(1, design.max)) {}
  void setValue(int v) override { value_ = std::clamp(v, 0, max_); }
  int value() const override { return value_; }
  void setMax(int m) override {
    max_ = std::max(1, m);
    value_ = std::min(value_, max_);
  }
  int max() const override { return max_; }

 protected:
  bool focusKind() const override { return false; }

 private:
  int max_;
  int value_ = 0;
};

}  // namespace

std::unique_ptr<ControlState> makeHeadlessSlider(HeadlessWindow& owner, const SliderDesign& design) {
  return std::make_unique<HeadlessSlider>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessProgressBar(HeadlessWindow& owner, const ProgressDesign& design) {
  return std::make_unique<HeadlessProgressBar>(owner, design);
}

std::unique_ptr<ControlState> makeHeadlessButton(HeadlessWindow& owner, const ButtonDesign& design) {
  return std::make_unique<HeadlessButton>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessLabel(HeadlessWindow& owner, const LabelDesign& design) {
  return std::make_unique<HeadlessLabel>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessImage(HeadlessWindow& owner, const ImageDesign& design) {
  return std::make_unique<HeadlessImage>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessListBox(HeadlessWindow& owner, const ListDesign& design) {
  return std::make_unique<HeadlessListBox>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessComboBox(HeadlessWindow& owner, const ListDesign& design) {
  return std::make_unique<HeadlessComboBox>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessOptionButton(HeadlessWindow& owner, const OptionButtonDesign& design) {
  return std::make_unique<HeadlessOptionButton>(owner, design);
}
std::unique_ptr<ControlState> makeHeadlessTextBox(HeadlessWindow& owner, const TextBoxDesign& design) {
  return std::make_unique<HeadlessTextBox>(owner, design);
}

std::optional<LabelDesign> headlessLabelDesign(const Control& control) {
  const auto* label = dynamic_cast<const HeadlessLabel*>(&control);
  if (!label) return std::nullopt;
  return label->design();
}

Picture headlessPicture(const Control& control) {
  if (const auto* button = dynamic_cast<const HeadlessButton*>(&control)) return button->picture();
  if (const auto* image = dynamic_cast<const HeadlessImage*>(&control)) return image->picture();
  return {};
}

int headlessRefreshCount(const Control& control) {
  const auto* state = dynamic_cast<const ControlState*>(&control);
  return state ? state->refreshes : 0;
}

}  // namespace ks
