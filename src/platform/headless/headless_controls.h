// The headless backend's controls. They keep whole pixels like real ones and
// take part in their window's keyboard navigation; the window system and the
// input simulator reach their state through ControlState.
#pragma once

#include <memory>

#include "platform/controls.h"
#include "platform/navigator.h"

namespace ks {

class HeadlessWindow;

struct PixelBox {
  int x = 0, y = 0, w = 0, h = 0;
};

int toPixels(float twips, float twipsPerPixel);

// What every headless control shares.
class ControlState : public Navigable {
 public:
  ControlState(HeadlessWindow& owner, const ControlDesign& design);
  virtual ~ControlState() = default;
  HeadlessWindow& owner;
  PixelBox box;
  bool enabled;
  bool visible;
  int tabIndex;
  int refreshes = 0;
  // Enabled and visible on a window that takes input now.
  bool acceptsInput() const;
  virtual Control& asControl() = 0;
  // A key the window's own keys left to the focused control.
  virtual void key(const KeyEvent&) {}

  int tabPosition() const override { return tabIndex; }
  bool takesFocus() const override { return focusKind() && tabIndex >= 0 && enabled && visible; }

 protected:
  // Labels and images never take the keyboard focus.
  virtual bool focusKind() const { return true; }
};

std::unique_ptr<ControlState> makeHeadlessButton(HeadlessWindow& owner, const ButtonDesign& design);
std::unique_ptr<ControlState> makeHeadlessLabel(HeadlessWindow& owner, const LabelDesign& design);
std::unique_ptr<ControlState> makeHeadlessImage(HeadlessWindow& owner, const ImageDesign& design);
std::unique_ptr<ControlState> makeHeadlessListBox(HeadlessWindow& owner, const ListDesign& design);
std::unique_ptr<ControlState> makeHeadlessComboBox(HeadlessWindow& owner, const ListDesign& design);
std::unique_ptr<ControlState> makeHeadlessOptionButton(HeadlessWindow& owner, const OptionButtonDesign& design);
std::unique_ptr<ControlState> makeHeadlessTextBox(HeadlessWindow& owner, const TextBoxDesign& design);
std::unique_ptr<ControlState> makeHeadlessSlider(HeadlessWindow& owner, const SliderDesign& design);
std::unique_ptr<ControlState> makeHeadlessProgressBar(HeadlessWindow& owner, const ProgressDesign& design);

}  // namespace ks
