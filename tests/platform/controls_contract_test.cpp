// What every backend's controls must do for the forms: the same assertions
// run against the headless backend and against real Win32 controls.
// Positions are given in pixels of the backend and converted with its twips
// per pixel.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "support/test_platform.h"

namespace ks {
namespace {

class ControlsContract : public ::testing::Test {
 protected:
  test::TestPlatform platform = test::makeTestPlatform();
  WindowSystem& windows = *platform.windows;
  InputSimulator& input = *platform.input;
  const float tx = windows.twipsPerPixelX();
  const float ty = windows.twipsPerPixelY();

  // A titled window with a 400 x 300 pixel client area, shown, with the
  // events of showing delivered.
  std::unique_ptr<Window> shownWindow() {
    WindowDesign design;
    design.caption = "controls";
    design.border = Border::FixedSingle;
    design.clientLeft = 100 * tx;
    design.clientTop = 120 * ty;
    design.clientWidth = 400 * tx;
    design.clientHeight = 300 * ty;
    auto window = windows.createWindow(design);
    window->show();
    windows.doEvents();
    return window;
  }

  // A design placed in pixels.
  template <typename Design>
  Design at(double x, double y, double w, double h, int tabIndex = -1) const {
    Design design;
    design.left = static_cast<float>(x * tx);
    design.top = static_cast<float>(y * ty);
    design.width = static_cast<float>(w * tx);
    design.height = static_cast<float>(h * ty);
    design.tabIndex = tabIndex;
    return design;
  }

  float px(float twips, bool horizontal = true) const { return twips / (horizontal ? tx : ty); }
};

enum class Kind { Button, Label, Image, ListBox, ComboBox, OptionButton, TextBox, Slider, ProgressBar };

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::Button:
      return "button";
    case Kind::Label:
      return "label";
    case Kind::Image:
      return "image";
    case Kind::ListBox:
      return "list box";
    case Kind::ComboBox:
      return "combo box";
    case Kind::OptionButton:
      return "option button";
    case Kind::TextBox:
      return "text box";
    case Kind::Slider:
      return "slider";
    case Kind::ProgressBar:
      return "progress bar";
  }
  return "?";
}

Picture solidPicture(int width, int height, std::uint8_t alpha = 255) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.bgra.assign(static_cast<std::size_t>(width * height) * 4, 0);
  for (std::size_t i = 3; i < picture.bgra.size(); i += 4) picture.bgra[i] = alpha;
  return picture;
}

TEST_F(ControlsContract, ClickRaisesOneClickUnlessTheControlOrWindowTakesNoInput) {
  struct Case {
    Kind kind;
    bool controlEnabled;
    bool controlVisible;
    bool windowEnabled;
    int clicks;
  };
  const Case cases[] = {
      {Kind::Button, true, true, true, 1},        {Kind::Button, false, true, true, 0},
      {Kind::Button, true, false, true, 0},       {Kind::Button, true, true, false, 0},
      {Kind::Label, true, true, true, 1},         {Kind::Label, false, true, true, 0},
      {Kind::Label, true, true, false, 0},        {Kind::OptionButton, true, true, true, 1},
      {Kind::OptionButton, false, true, true, 0}, {Kind::OptionButton, true, true, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(kindName(c.kind)) + (c.controlEnabled ? "" : ", disabled") +
                 (c.controlVisible ? "" : ", hidden") + (c.windowEnabled ? "" : ", window disabled"));
    auto window = shownWindow();
    int clicks = 0;
    Control* control = nullptr;
    if (c.kind == Kind::Button) {
      auto design = at<ButtonDesign>(20, 20, 80, 24, 0);
      design.caption = "Record";
      Button& button = window->addButton(design);
      button.onClick = [&] { ++clicks; };
      control = &button;
    } else if (c.kind == Kind::Label) {
      auto design = at<LabelDesign>(20, 20, 80, 16);
      design.caption = "link";
      Label& label = window->addLabel(design);
      label.onClick = [&] { ++clicks; };
      control = &label;
    } else {
      auto design = at<OptionButtonDesign>(20, 20, 120, 36, 0);
      design.caption = "assign a value";
      OptionButton& option = window->addOptionButton(design);
      option.onClick = [&] { ++clicks; };
      control = &option;
    }
    control->setEnabled(c.controlEnabled);
    control->setVisible(c.controlVisible);
    window->setEnabled(c.windowEnabled);
    windows.doEvents();

    input.click(*control);
    windows.doEvents();
    EXPECT_EQ(clicks, c.clicks);
  }
}

TEST_F(ControlsContract, CaptionsAndTextsRoundTripAsUtf8) {
  const std::string texts[] = {
      "Frame Rate",
      "",
      "Gr\xC3\xB6\xC3\x9F" "e \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC",  // Größe – 日本
      "\xF0\x9F\x8E\xA5 movie",                                          // outside the BMP
      "two words  and\ttab",
  };
  auto window = shownWindow();
  Label& label = window->addLabel(at<LabelDesign>(10, 10, 200, 16));
  Button& button = window->addButton(at<ButtonDesign>(10, 40, 120, 24));
  TextBox& box = window->addTextBox(at<TextBoxDesign>(10, 80, 200, 21));
  for (const std::string& text : texts) {
    SCOPED_TRACE("\"" + text + "\"");
    label.setCaption(text);
    button.setCaption(text);
    box.setText(text);
    EXPECT_EQ(label.caption(), text);
    EXPECT_EQ(button.caption(), text);
    EXPECT_EQ(box.text(), text);

    // As given at creation.
    auto labelDesign = at<LabelDesign>(10, 120, 200, 16);
    labelDesign.caption = text;
    auto optionDesign = at<OptionButtonDesign>(10, 140, 200, 30);
    optionDesign.caption = text;
    auto boxDesign = at<TextBoxDesign>(10, 180, 200, 21);
    boxDesign.text = text;
    EXPECT_EQ(window->addLabel(labelDesign).caption(), text);
    EXPECT_EQ(window->addOptionButton(optionDesign).caption(), text);
    EXPECT_EQ(window->addTextBox(boxDesign).text(), text);
  }
}

TEST_F(ControlsContract, ComboBoxKeepsItsItemsInOrderAndRaisesClickWithTheNewSelection) {
  const std::vector<std::string> rates = {"1", "2", "3", "4", "5", "10", "15", "20", "30", "40", "50", "60"};
  enum class Action { SetIndex, UserPick, UserPickWhileDisabled };
  struct Step {
    const char* what;
    Action action;
    int index;
    int clicks;          // raised by this step
    int expectedIndex;   // afterwards, and already inside the handler
    const char* expectedText;
  };
  const Step steps[] = {
      {"program selects", Action::SetIndex, 5, 1, 5, "10"},
      {"program selects the same again", Action::SetIndex, 5, 1, 5, "10"},
      {"program selects none", Action::SetIndex, -1, 1, -1, ""},
      {"user picks", Action::UserPick, 8, 1, 8, "30"},
      {"user picks the last", Action::UserPick, 11, 1, 11, "60"},
      {"user picks on a disabled list", Action::UserPickWhileDisabled, 0, 0, 11, "60"},
  };

  auto window = shownWindow();
  auto design = at<ListDesign>(150, 90, 45, 19, 3);
  design.items = rates;
  ComboBox& combo = window->addComboBox(design);
  ASSERT_EQ(combo.listCount(), 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(combo.list(i), rates[static_cast<std::size_t>(i)]) << "item " << i;
  EXPECT_EQ(combo.listIndex(), -1);
  EXPECT_EQ(combo.text(), "");

  int clicks = 0;
  int indexSeen = -2;
  std::string textSeen;
  combo.onClick = [&] {
    ++clicks;
    indexSeen = combo.listIndex();
    textSeen = combo.text();
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    clicks = 0;
    indexSeen = -2;
    switch (step.action) {
      case Action::SetIndex:
        combo.setListIndex(step.index);
        break;
      case Action::UserPick:
        input.selectItem(combo, step.index);
        break;
      case Action::UserPickWhileDisabled:
        combo.setEnabled(false);
        input.selectItem(combo, step.index);
        combo.setEnabled(true);
        break;
    }
    windows.doEvents();
    EXPECT_EQ(clicks, step.clicks);
    EXPECT_EQ(combo.listIndex(), step.expectedIndex);
    EXPECT_EQ(combo.text(), step.expectedText);
    if (step.clicks > 0) {
      EXPECT_EQ(indexSeen, step.expectedIndex);
      EXPECT_EQ(textSeen, step.expectedText);
    }
  }

  // Items are appended, not sorted.
  combo.addItem("0");
  EXPECT_EQ(combo.listCount(), 13);
  EXPECT_EQ(combo.list(12), "0");
  EXPECT_EQ(combo.list(0), "1");
}

TEST_F(ControlsContract, ListBoxRaisesClickOnEachSelectionAndDblClickOnADoubleClick) {
  enum class Action { SetIndex, UserPick, UserDoubleClick, Clear };
  struct Step {
    const char* what;
    Action action;
    int index;
    int clicks;
    int dblClicks;
    int expectedIndex;
  };
  const Step steps[] = {
      {"program selects", Action::SetIndex, 2, 1, 0, 2},
      {"user picks", Action::UserPick, 1, 1, 0, 1},
      {"user double-clicks another item", Action::UserDoubleClick, 3, 1, 1, 3},
      {"clearing raises nothing", Action::Clear, 0, 0, 0, -1},
  };
  auto window = shownWindow();
  auto design = at<ListDesign>(20, 20, 200, 96, 1);
  design.items = {"C:\\", "Movies", "\xC3\x9C" "bung", "clip.avi"};  // Übung
  ListBox& list = window->addListBox(design);
  ASSERT_EQ(list.listCount(), 4);
  EXPECT_EQ(list.list(2), "\xC3\x9C" "bung");
  EXPECT_EQ(list.listIndex(), -1);

  int clicks = 0;
  int dblClicks = 0;
  int indexAtDblClick = -2;
  list.onClick = [&] { ++clicks; };
  list.onDblClick = [&] {
    ++dblClicks;
    indexAtDblClick = list.listIndex();
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    clicks = dblClicks = 0;
    switch (step.action) {
      case Action::SetIndex:
        list.setListIndex(step.index);
        break;
      case Action::UserPick:
        input.selectItem(list, step.index);
        break;
      case Action::UserDoubleClick:
        input.doubleClickItem(list, step.index);
        break;
      case Action::Clear:
        list.clear();
        break;
    }
    windows.doEvents();
    EXPECT_EQ(clicks, step.clicks);
    EXPECT_EQ(dblClicks, step.dblClicks);
    EXPECT_EQ(list.listIndex(), step.expectedIndex);
    if (step.dblClicks > 0) {
      EXPECT_EQ(indexAtDblClick, step.index);
    }
  }
  EXPECT_EQ(list.listCount(), 0);
}

TEST_F(ControlsContract, OptionButtonsOfAGroupExcludeEachOther) {
  enum class Action { Select, Deselect, UserClick, UserClickWhileDisabled };
  struct Step {
    const char* what;
    Action action;
    int target;
    bool values[3];  // a and b form group 1, c is alone in group 2
    int clicks[3];   // raised by this step
  };
  const Step steps[] = {
      {"program selects a", Action::Select, 0, {true, false, false}, {1, 0, 0}},
      {"program selects b: a lets go, silently", Action::Select, 1, {false, true, false}, {0, 1, 0}},
      {"another group is independent", Action::Select, 2, {false, true, true}, {0, 0, 1}},
      {"program deselects b: no Click", Action::Deselect, 1, {false, false, true}, {0, 0, 0}},
      {"user clicks a", Action::UserClick, 0, {true, false, true}, {1, 0, 0}},
      {"user clicks b", Action::UserClick, 1, {false, true, true}, {0, 1, 0}},
      {"user clicks a disabled a", Action::UserClickWhileDisabled, 0, {false, true, true}, {0, 0, 0}},
  };
  auto window = shownWindow();
  OptionButton* options[3];
  int clicks[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    auto design = at<OptionButtonDesign>(20, 20 + 40 * i, 160, 36, i);
    design.caption = std::string("option ") + static_cast<char>('a' + i);
    design.group = i < 2 ? 1 : 2;
    design.backColor = kRed;
    options[i] = &window->addOptionButton(design);
    options[i]->onClick = [&clicks, i] { ++clicks[i]; };
    EXPECT_FALSE(options[i]->value());
  }
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    for (int& count : clicks) count = 0;
    OptionButton& target = *options[step.target];
    switch (step.action) {
      case Action::Select:
        target.setValue(true);
        break;
      case Action::Deselect:
        target.setValue(false);
        break;
      case Action::UserClick:
        input.click(target);
        break;
      case Action::UserClickWhileDisabled:
        target.setEnabled(false);
        input.click(target);
        target.setEnabled(true);
        break;
    }
    windows.doEvents();
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(options[i]->value(), step.values[i]) << "option " << i;
      EXPECT_EQ(clicks[i], step.clicks[i]) << "option " << i;
    }
  }
}

TEST_F(ControlsContract, TextBoxRaisesChangeWhenTheProgramOrTheUserChangesItsText) {
  enum class Action { SetText, Type, TypeWhileDisabled };
  struct Step {
    const char* what;
    Action action;
    std::string text;
    std::string expected;
    bool changes;
  };
  const Step steps[] = {
      {"program sets", Action::SetText, "clip", "clip", true},
      {"program sets non-ASCII", Action::SetText, "Gr\xC3\xB6\xC3\x9F" "e \xF0\x9F\x8E\xA5", "Gr\xC3\xB6\xC3\x9F" "e \xF0\x9F\x8E\xA5", true},
      {"program empties", Action::SetText, "", "", true},
      {"user types", Action::Type, "my movie", "my movie", true},
      {"user types over it", Action::Type, "\xE6\x97\xA5\xE6\x9C\xAC.avi", "\xE6\x97\xA5\xE6\x9C\xAC.avi", true},
      {"user types into a disabled box", Action::TypeWhileDisabled, "lost", "\xE6\x97\xA5\xE6\x9C\xAC.avi", false},
      {"typing stops at the length limit", Action::Type, "abcdefghijklmnopqrstuvwxyz0123456789", "abcdefghijklmnopqrstuvwxyz0123", true},
  };
  auto window = shownWindow();
  auto design = at<TextBoxDesign>(16, 208, 265, 21, 2);
  design.maxLength = 30;
  TextBox& box = window->addTextBox(design);
  int changes = 0;
  std::string seen;
  box.onChange = [&] {
    ++changes;
    seen = box.text();
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    changes = 0;
    switch (step.action) {
      case Action::SetText:
        box.setText(step.text);
        // Change runs before the setter returns.
        EXPECT_EQ(changes, 1);
        break;
      case Action::Type:
        input.typeText(box, step.text);
        break;
      case Action::TypeWhileDisabled:
        box.setEnabled(false);
        input.typeText(box, step.text);
        box.setEnabled(true);
        break;
    }
    windows.doEvents();
    EXPECT_EQ(box.text(), step.expected);
    if (step.changes) {
      EXPECT_GE(changes, 1);
      EXPECT_EQ(seen, step.expected) << "the last Change sees the final text";
    } else {
      EXPECT_EQ(changes, 0);
    }
  }
}

// The program's moves and the trackbar's own keys alike: one Change per new
// value, none for a value that stays. Page Up lowers, as on a trackbar.
TEST_F(ControlsContract, SliderStaysInItsRangeAndRaisesChangeOncePerNewValue) {
  enum class Action { Set, Range, LargeStep, Key };
  struct Step {
    const char* what;
    Action action;
    int a, b;
    int value;
    int changes;
  };
  const Step steps[] = {
      {"program sets", Action::Set, 40, 0, 40, 1},
      {"the same again", Action::Set, 40, 0, 40, 0},
      {"beyond max", Action::Set, 500, 0, 100, 1},
      {"Left: a small step down", Action::Key, kKeyLeft, 0, 97, 1},
      {"Right", Action::Key, kKeyRight, 0, 100, 1},
      {"Right at max", Action::Key, kKeyRight, 0, 100, 0},
      {"Page Up: a large step down", Action::Key, kKeyPageUp, 0, 75, 1},
      {"Page Down", Action::Key, kKeyPageDown, 0, 100, 1},
      {"Home", Action::Key, kKeyHome, 0, 0, 1},
      {"Up lowers, at min", Action::Key, kKeyUp, 0, 0, 0},
      {"Down raises", Action::Key, kKeyDown, 0, 3, 1},
      {"End", Action::Key, kKeyEnd, 0, 100, 1},
      {"a narrower range moves it", Action::Range, 10, 60, 60, 1},
      {"a range beyond 16 bits", Action::Range, 0, 200000, 60, 0},
      {"far along it", Action::Set, 150000, 0, 150000, 1},
      {"a new large step", Action::LargeStep, 1000, 0, 150000, 0},
      {"Page Down by it", Action::Key, kKeyPageDown, 0, 151000, 1},
      {"a max below min: one value", Action::Range, 5, 2, 5, 1},
  };
  auto window = shownWindow();
  auto design = at<SliderDesign>(20, 20, 300, 30, 0);
  design.smallStep = 3;
  design.largeStep = 25;
  Slider& slider = window->addSlider(design);
  int changes = 0, seen = -1;
  slider.onChange = [&] {
    ++changes;
    seen = slider.value();
  };
  input.activate(*window);
  slider.setFocus();
  windows.doEvents();
  ASSERT_TRUE(slider.hasFocus());
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    changes = 0;
    if (step.action == Action::Set) slider.setValue(step.a);
    else if (step.action == Action::Range) slider.setRange(step.a, step.b);
    else if (step.action == Action::LargeStep) slider.setLargeStep(step.a);
    else input.pressKey(*window, KeyEvent{step.a});
    windows.doEvents();
    EXPECT_EQ(slider.value(), step.value);
    EXPECT_EQ(changes, step.changes);
    if (step.changes > 0) {
      EXPECT_EQ(seen, step.value) << "Change sees the new value";
    }
  }
  EXPECT_EQ(slider.min(), 5);
  EXPECT_EQ(slider.max(), 5);
}

TEST_F(ControlsContract, ProgressBarKeepsItsValueBetweenZeroAndMaxAndTakesNoFocus) {
  struct Step {
    const char* what;
    bool setMax;
    int arg;
    int value, max;
  };
  const Step steps[] = {
      {"a value", false, 30, 30, 100},
      {"beyond max", false, 150, 100, 100},
      {"below zero", false, -5, 0, 100},
      {"a max beyond 16 bits", true, 100000, 0, 100000},
      {"far along it", false, 70000, 70000, 100000},
      {"a smaller max takes the value down", true, 50, 50, 50},
      {"max 0 is taken as 1", true, 0, 1, 1},
  };
  auto window = shownWindow();
  ProgressBar& bar = window->addProgressBar(at<ProgressDesign>(20, 60, 300, 20, 0));
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.setMax) bar.setMax(step.arg);
    else bar.setValue(step.arg);
    EXPECT_EQ(bar.value(), step.value);
    EXPECT_EQ(bar.max(), step.max);
  }
  bar.setFocus();
  EXPECT_FALSE(bar.hasFocus());
}

// KeyDown sees a key before the focused control and the window's own keys
// (Tab, Enter, Esc); what it consumes goes no further.
TEST_F(ControlsContract, KeyDownSeesKeysFirstAndWhatItConsumesGoesNoFurther) {
  struct Case {
    const char* what;
    int focused;  // 0 the button, 1 the slider
    KeyEvent key;
    bool consume;
    int value;     // the slider's afterwards
    int clicks;    // of both buttons
    int focusedAfter;
  };
  const Case cases[] = {
      {"Right on the slider, consumed", 1, {kKeyRight}, true, 50, 0, 1},
      {"Right on the slider, passed on", 1, {kKeyRight}, false, 51, 0, 1},
      {"Shift+Home on the slider, passed on", 1, {kKeyHome, false, false, true}, false, 0, 0, 1},
      {"Enter on the button, consumed", 0, {kKeyEnter}, true, 50, 0, 0},
      {"Enter on the button, passed on", 0, {kKeyEnter}, false, 50, 1, 0},
      {"Escape on the slider, passed on: Cancel", 1, {kKeyEscape}, false, 50, 1, 1},
      {"Tab, consumed: the focus stays", 0, {kKeyTab}, true, 50, 0, 0},
      {"Tab, passed on", 0, {kKeyTab}, false, 50, 0, 1},
      {"Ctrl+S on the button", 0, {'S', true}, false, 50, 0, 0},
      {"Alt+E on the slider, consumed", 1, {'E', false, true}, true, 50, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto window = shownWindow();
    int clicks = 0;
    auto buttonDesign = at<ButtonDesign>(20, 20, 80, 24, 0);
    buttonDesign.caption = "Set start";
    Button& button = window->addButton(buttonDesign);
    auto sliderDesign = at<SliderDesign>(20, 60, 300, 30, 1);
    sliderDesign.value = 50;
    Slider& slider = window->addSlider(sliderDesign);
    auto cancelDesign = at<ButtonDesign>(120, 20, 80, 24, 2);
    cancelDesign.caption = "Close";
    cancelDesign.isCancel = true;
    Button& cancel = window->addButton(cancelDesign);
    button.onClick = cancel.onClick = [&] { ++clicks; };
    std::vector<KeyEvent> seen;
    window->events.onKeyDown = [&](const KeyEvent& e) {
      seen.push_back(e);
      return c.consume;
    };
    Control* controls[] = {&button, &slider};
    input.activate(*window);
    controls[c.focused]->setFocus();
    windows.doEvents();
    input.pressKey(*window, c.key);
    windows.doEvents();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0] == c.key) << "the key and modifiers pressed";
    EXPECT_EQ(slider.value(), c.value);
    EXPECT_EQ(clicks, c.clicks);
    EXPECT_EQ(window->focusedControl(), controls[c.focusedAfter]);
  }
}

TEST_F(ControlsContract, TabFollowsTabIndexAndSkipsControlsThatTakeNoFocus) {
  auto window = shownWindow();
  // Created out of tab order on purpose.
  auto makeButton = [&](int tab, int y) -> Control& {
    auto design = at<ButtonDesign>(250, y, 80, 24, tab);
    design.caption = "tab " + std::to_string(tab);
    return window->addButton(design);
  };
  Control& three = makeButton(3, 10);
  Control& box = window->addTextBox(at<TextBoxDesign>(10, 10, 200, 21, 0));
  window->addLabel(at<LabelDesign>(10, 40, 200, 16, 1));  // labels take no focus
  Control& disabledOption = window->addOptionButton(at<OptionButtonDesign>(10, 60, 200, 24, 2));
  disabledOption.setEnabled(false);
  Control& noTabCombo = window->addComboBox(at<ListDesign>(10, 90, 100, 21, -1));
  Control& list = window->addListBox(at<ListDesign>(10, 120, 200, 80, 4));
  Control& hidden = makeButton(5, 40);
  hidden.setVisible(false);
  Control& six = makeButton(6, 70);
  Control& slider = window->addSlider(at<SliderDesign>(10, 210, 200, 30, 7));
  window->addProgressBar(at<ProgressDesign>(10, 250, 200, 20, 8));  // takes no focus
  windows.doEvents();

  struct Case {
    const char* what;
    bool shift;
    std::vector<Control*> visits;
  };
  const Case cases[] = {
      {"Tab", false, {&three, &list, &six, &slider, &box, &three}},
      {"Shift+Tab", true, {&slider, &six, &list, &three, &box, &slider}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    input.activate(*window);
    box.setFocus();
    windows.doEvents();
    ASSERT_EQ(window->focusedControl(), &box);
    for (std::size_t i = 0; i < c.visits.size(); ++i) {
      input.pressTab(*window, c.shift);
      windows.doEvents();
      EXPECT_EQ(window->focusedControl(), c.visits[i]) << "after key " << i + 1;
      EXPECT_TRUE(c.visits[i]->hasFocus()) << "after key " << i + 1;
    }
  }
  EXPECT_FALSE(noTabCombo.hasFocus());
  EXPECT_FALSE(disabledOption.hasFocus());
}

TEST_F(ControlsContract, SetFocusGivesTheKeyboardFocusToFocusableControlsOnly) {
  auto window = shownWindow();
  input.activate(*window);
  Control& button = window->addButton(at<ButtonDesign>(10, 10, 80, 24, 0));
  Control& list = window->addListBox(at<ListDesign>(10, 40, 120, 60, 1));
  Control& combo = window->addComboBox(at<ListDesign>(10, 110, 120, 21, 2));
  Control& option = window->addOptionButton(at<OptionButtonDesign>(10, 140, 120, 24, 3));
  Control& box = window->addTextBox(at<TextBoxDesign>(10, 170, 120, 21, 4));
  Control& label = window->addLabel(at<LabelDesign>(10, 200, 120, 16, 5));
  Control& disabled = window->addButton(at<ButtonDesign>(200, 10, 80, 24, 6));
  disabled.setEnabled(false);
  Control& noTab = window->addButton(at<ButtonDesign>(200, 40, 80, 24, -1));
  windows.doEvents();

  struct Case {
    const char* what;
    Control* target;
    Control* expected;  // focused afterwards
  };
  const Case cases[] = {
      {"button", &button, &button},
      {"list box", &list, &list},
      {"combo box", &combo, &combo},
      {"option button", &option, &option},
      {"text box", &box, &box},
      {"a label keeps it where it was", &label, &box},
      {"a disabled button keeps it where it was", &disabled, &box},
      {"a control outside the tab order keeps it where it was", &noTab, &box},
  };
  auto* optionButton = dynamic_cast<OptionButton*>(&option);
  ASSERT_NE(optionButton, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.target->setFocus();
    windows.doEvents();
    EXPECT_EQ(window->focusedControl(), c.expected);
    EXPECT_TRUE(c.expected->hasFocus());
    if (c.target != c.expected) {
      EXPECT_FALSE(c.target->hasFocus());
    }
  }
  EXPECT_FALSE(optionButton->value()) << "focus alone selects no option";
}

// The focused control disabled or hidden: the focus goes on to the next
// control in tab order, as Tab would take it, and nowhere when none is left.
TEST_F(ControlsContract, TheFocusMovesOnWhenTheFocusedControlIsDisabledOrHidden) {
  struct Case {
    const char* what;
    int focused;                 // index into the controls below
    std::vector<int> disabled;   // beforehand
    int leaving;                 // disabled or hidden now
    bool hide;
    int expected;                // -1: no control has the focus
  };
  const Case cases[] = {
      {"disabled: the next one", 1, {}, 1, false, 2},
      {"hidden: the next one", 2, {}, 2, true, 3},
      {"the last one wraps to the first", 3, {}, 3, false, 0},
      {"a disabled one is skipped", 1, {2}, 1, false, 3},
      {"none left: no control", 0, {1, 2, 3}, 0, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto window = shownWindow();
    std::vector<Control*> controls;
    for (int i = 0; i < 3; ++i) {
      auto design = at<ButtonDesign>(10, 10 + 30 * i, 80, 24, i);
      design.caption = "button " + std::to_string(i);
      controls.push_back(&window->addButton(design));
    }
    controls.push_back(&window->addTextBox(at<TextBoxDesign>(10, 100, 200, 21, 3)));
    windows.doEvents();
    input.activate(*window);
    for (int i : c.disabled) controls[static_cast<std::size_t>(i)]->setEnabled(false);
    controls[static_cast<std::size_t>(c.focused)]->setFocus();
    windows.doEvents();
    ASSERT_EQ(window->focusedControl(), controls[static_cast<std::size_t>(c.focused)]);
    Control& leaving = *controls[static_cast<std::size_t>(c.leaving)];
    if (c.hide) leaving.setVisible(false);
    else leaving.setEnabled(false);
    windows.doEvents();
    Control* expected = c.expected < 0 ? nullptr : controls[static_cast<std::size_t>(c.expected)];
    EXPECT_EQ(window->focusedControl(), expected);
    EXPECT_FALSE(leaving.hasFocus());
    if (expected) {
      EXPECT_TRUE(expected->hasFocus());
    }
  }
}

// Enter presses the focused button, else the default one; Escape the cancel
// button; neither presses a disabled one.
TEST_F(ControlsContract, EnterAndEscapePressTheFocusedDefaultAndCancelButtons) {
  struct Case {
    const char* what;
    bool escape;
    int focused;   // 0 OK, 1 Cancel, 2 other button, 3 text box
    int disabled;  // -1 none
    int pressed;   // -1 none
  };
  const Case cases[] = {
      {"Enter in the text box: the default button", false, 3, -1, 0},
      {"Enter on another button: that button", false, 2, -1, 2},
      {"Escape: the cancel button", true, 3, -1, 1},
      {"Escape on another button: the cancel button", true, 2, -1, 1},
      {"Enter with the default button disabled: nothing", false, 3, 0, -1},
      {"Escape with the cancel button disabled: nothing", true, 3, 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto window = shownWindow();
    int clicks[3] = {0, 0, 0};
    std::vector<Control*> controls;
    for (int i = 0; i < 3; ++i) {
      auto design = at<ButtonDesign>(10 + 90 * i, 200, 80, 24, i + 1);
      design.caption = i == 0 ? "OK" : i == 1 ? "Cancel" : "Other";
      design.isDefault = i == 0;
      design.isCancel = i == 1;
      Button& button = window->addButton(design);
      button.onClick = [&clicks, i] { ++clicks[i]; };
      controls.push_back(&button);
    }
    controls.push_back(&window->addTextBox(at<TextBoxDesign>(10, 10, 200, 21, 0)));
    windows.doEvents();
    input.activate(*window);
    if (c.disabled >= 0) controls[static_cast<std::size_t>(c.disabled)]->setEnabled(false);
    controls[static_cast<std::size_t>(c.focused)]->setFocus();
    windows.doEvents();
    ASSERT_TRUE(controls[static_cast<std::size_t>(c.focused)]->hasFocus());
    if (c.escape) input.pressEscape(*window);
    else input.pressEnter(*window);
    windows.doEvents();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(clicks[i], i == c.pressed ? 1 : 0) << "button " << i;
  }
}

TEST_F(ControlsContract, ShowingAWindowFocusesItsFirstControlInTabOrder) {
  WindowDesign design;
  design.caption = "About";
  design.border = Border::FixedDialog;
  design.clientLeft = 170 * tx;
  design.clientTop = 196 * ty;
  design.clientWidth = 550 * tx;
  design.clientHeight = 189 * ty;
  auto window = windows.createWindow(design);
  window->addButton(at<ButtonDesign>(428, 160, 53, 21, 9));
  window->addLabel(at<LabelDesign>(28, 8, 229, 37, 1));
  Control& close = window->addButton(at<ButtonDesign>(484, 160, 49, 21, 0));
  window->show();
  windows.doEvents();
  EXPECT_EQ(window->focusedControl(), &close);
}

TEST_F(ControlsContract, ControlGeometryReadsBackInWholePixelsRoundedToNearestEven) {
  const Kind kinds[] = {Kind::Button,       Kind::Label,   Kind::Image,   Kind::ListBox,
                        Kind::OptionButton, Kind::TextBox, Kind::ComboBox, Kind::Slider, Kind::ProgressBar};
  struct Values {
    double left, top, width, height;  // pixels asked for
    int expected[4];                  // pixels read back
  };
  const Values created{10.5, 21.5, 100.4, 30.6, {10, 22, 100, 31}};
  const Values changed{33.5, 40.5, 80.5, 24.5, {34, 40, 80, 24}};
  for (Kind kind : kinds) {
    SCOPED_TRACE(kindName(kind));
    auto window = shownWindow();
    Control* control = nullptr;
    const double x = created.left, y = created.top, w = created.width, h = created.height;
    switch (kind) {
      case Kind::Button:
        control = &window->addButton(at<ButtonDesign>(x, y, w, h));
        break;
      case Kind::Label:
        control = &window->addLabel(at<LabelDesign>(x, y, w, h));
        break;
      case Kind::Image: {
        auto design = at<ImageDesign>(x, y, w, h);
        design.picture = solidPicture(27, 30);
        control = &window->addImage(design);
        break;
      }
      case Kind::ListBox:
        control = &window->addListBox(at<ListDesign>(x, y, w, h));
        break;
      case Kind::ComboBox:
        control = &window->addComboBox(at<ListDesign>(x, y, w, h));
        break;
      case Kind::OptionButton:
        control = &window->addOptionButton(at<OptionButtonDesign>(x, y, w, h));
        break;
      case Kind::TextBox:
        control = &window->addTextBox(at<TextBoxDesign>(x, y, w, h));
        break;
      case Kind::Slider:
        control = &window->addSlider(at<SliderDesign>(x, y, w, h));
        break;
      case Kind::ProgressBar:
        control = &window->addProgressBar(at<ProgressDesign>(x, y, w, h));
        break;
    }
    auto check = [&](const Values& v, const char* when) {
      SCOPED_TRACE(when);
      EXPECT_FLOAT_EQ(control->left(), static_cast<float>(v.expected[0]) * tx);
      EXPECT_FLOAT_EQ(control->top(), static_cast<float>(v.expected[1]) * ty);
      EXPECT_FLOAT_EQ(control->width(), static_cast<float>(v.expected[2]) * tx);
      EXPECT_FLOAT_EQ(control->height(), static_cast<float>(v.expected[3]) * ty);
    };
    check(created, "as created");
    control->setLeft(static_cast<float>(changed.left * tx));
    control->setTop(static_cast<float>(changed.top * ty));
    control->setWidth(static_cast<float>(changed.width * tx));
    control->setHeight(static_cast<float>(changed.height * ty));
    check(changed, "after the setters");
  }
}

TEST_F(ControlsContract, ImageMouseEventsCarryImageRelativeTwipsAndTheButtons) {
  enum class Event { Down, Move, Up };
  struct Step {
    const char* what;
    Event event;
    int button;  // as given to the simulator
    int x, y;    // pixels, relative to the image
    int reportedButton;
  };
  const Step steps[] = {
      {"left down", Event::Down, kLeftButton, 5, 6, kLeftButton},
      {"drag", Event::Move, kLeftButton, 20, 25, kLeftButton},
      {"drag off the image keeps reporting", Event::Move, kLeftButton, -15, 80, kLeftButton},
      {"release off the image", Event::Up, kLeftButton, -15, 80, kLeftButton},
      {"move with no button", Event::Move, 0, 7, 8, 0},
      {"right down", Event::Down, kRightButton, 10, 11, kRightButton},
      {"right up", Event::Up, kRightButton, 10, 11, kRightButton},
      {"both held", Event::Move, kLeftButton | kRightButton, 3, 4, kLeftButton | kRightButton},
  };
  auto window = shownWindow();
  auto design = at<ImageDesign>(300, 200, 27, 30);
  design.picture = solidPicture(27, 30);
  Image& image = window->addImage(design);
  struct Seen {
    Event event;
    MouseEvent e;
  };
  std::vector<Seen> seen;
  image.onMouseDown = [&](const MouseEvent& e) { seen.push_back({Event::Down, e}); };
  image.onMouseMove = [&](const MouseEvent& e) { seen.push_back({Event::Move, e}); };
  image.onMouseUp = [&](const MouseEvent& e) { seen.push_back({Event::Up, e}); };
  int windowEvents = 0;
  window->events.onMouseDown = [&](const MouseEvent&) { ++windowEvents; };
  window->events.onMouseMove = [&](const MouseEvent&) { ++windowEvents; };
  window->events.onMouseUp = [&](const MouseEvent&) { ++windowEvents; };

  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    seen.clear();
    const MouseEvent e{step.button, static_cast<float>(step.x) * tx, static_cast<float>(step.y) * ty};
    switch (step.event) {
      case Event::Down:
        input.mouseDown(image, e);
        break;
      case Event::Move:
        input.mouseMove(image, e);
        break;
      case Event::Up:
        input.mouseUp(image, e);
        break;
    }
    windows.doEvents();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].event, step.event);
    EXPECT_EQ(seen[0].e.button, step.reportedButton);
    EXPECT_FLOAT_EQ(seen[0].e.x, static_cast<float>(step.x) * tx);
    EXPECT_FLOAT_EQ(seen[0].e.y, static_cast<float>(step.y) * ty);
  }
  EXPECT_EQ(windowEvents, 0) << "the image's events are not the window's";

  // A disabled image takes no mouse input.
  seen.clear();
  image.setEnabled(false);
  input.mouseDown(image, MouseEvent{kLeftButton, 5 * tx, 5 * ty});
  input.mouseUp(image, MouseEvent{kLeftButton, 5 * tx, 5 * ty});
  windows.doEvents();
  EXPECT_TRUE(seen.empty());
}

TEST_F(ControlsContract, WaitingForEventsRunsNoHandler) {
  WindowDesign design;
  design.caption = "wait";
  design.border = Border::FixedSingle;
  design.clientLeft = 100 * tx;
  design.clientTop = 100 * ty;
  design.clientWidth = 200 * tx;
  design.clientHeight = 100 * ty;
  auto window = windows.createWindow(design);
  int paints = 0;
  window->events.onPaint = [&] { ++paints; };
  window->show();  // its Paint may wait for the events to be delivered
  const int paintsBefore = paints;
  windows.waitForEvents(0.05);
  windows.waitForEvents(0);
  EXPECT_EQ(paints, paintsBefore);
  windows.doEvents();
  EXPECT_GE(paints, 1);
}

}  // namespace
}  // namespace ks
