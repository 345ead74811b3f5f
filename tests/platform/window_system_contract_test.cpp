// What every window-system backend must do for the forms: the same
// assertions run against the headless backend and against real Win32
// windows. Pixel sizes come from the backend's twips per pixel.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless_window_system.h"
#include "support/test_platform.h"

namespace ks {
namespace {

using Getter = float (Window::*)() const;
using Setter = void (Window::*)(float);

class WindowSystemContract : public ::testing::Test {
 protected:
  test::TestPlatform platform = test::makeTestPlatform();
  WindowSystem& windows = *platform.windows;
  InputSimulator& input = *platform.input;
  const float tx = windows.twipsPerPixelX();
  const float ty = windows.twipsPerPixelY();

  // Client area at (x, y), w × h, all in pixels.
  WindowDesign design(Border border, int x = 100, int y = 120, int w = 240, int h = 160) const {
    WindowDesign s;
    s.caption = "contract";
    s.border = border;
    s.minButton = true;
    s.clientLeft = static_cast<float>(x) * tx;
    s.clientTop = static_cast<float>(y) * ty;
    s.clientWidth = static_cast<float>(w) * tx;
    s.clientHeight = static_cast<float>(h) * ty;
    return s;
  }

  std::unique_ptr<Window> make(Border border) { return windows.createWindow(design(border)); }

  // Shown, with the events of showing delivered.
  std::unique_ptr<Window> shown(Border border) {
    auto window = make(border);
    window->show();
    windows.doEvents();
    return window;
  }
};

const char* borderName(Border border) {
  switch (border) {
    case Border::None:
      return "None";
    case Border::FixedSingle:
      return "FixedSingle";
    case Border::FixedDialog:
      return "FixedDialog";
    case Border::Sizable:
      return "Sizable";
  }
  return "?";
}

TEST_F(WindowSystemContract, GeometryReadsBackInWholePixelsRoundedToNearestEven) {
  struct Case {
    const char* property;
    Setter set;
    Getter get;
    bool horizontal;
    double pixels;  // what the program asks for
    int expected;   // whole pixels the window ends up with
  };
  const Case cases[] = {
      {"left", &Window::setLeft, &Window::left, true, 200.4, 200},
      {"left", &Window::setLeft, &Window::left, true, 200.5, 200},
      {"left", &Window::setLeft, &Window::left, true, 201.5, 202},
      {"left", &Window::setLeft, &Window::left, true, 200.6, 201},
      {"left", &Window::setLeft, &Window::left, true, -20.5, -20},
      {"left", &Window::setLeft, &Window::left, true, -21.5, -22},
      {"top", &Window::setTop, &Window::top, false, 150.5, 150},
      {"top", &Window::setTop, &Window::top, false, 151.5, 152},
      {"top", &Window::setTop, &Window::top, false, 151.4, 151},
      {"width", &Window::setWidth, &Window::width, true, 300.4, 300},
      {"width", &Window::setWidth, &Window::width, true, 300.5, 300},
      {"width", &Window::setWidth, &Window::width, true, 301.5, 302},
      {"height", &Window::setHeight, &Window::height, false, 6.5, 6},
      {"height", &Window::setHeight, &Window::height, false, 7.5, 8},
      {"height", &Window::setHeight, &Window::height, false, 180.6, 181},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.property) + " set to " + std::to_string(c.pixels) + " px");
    const float tpp = c.horizontal ? tx : ty;
    auto window = make(Border::None);
    (window.get()->*c.set)(static_cast<float>(c.pixels * tpp));
    EXPECT_FLOAT_EQ((window.get()->*c.get)(), static_cast<float>(c.expected) * tpp);
  }
}

TEST_F(WindowSystemContract, NewWindowPutsItsClientAreaWhereTheDesignSays) {
  // A caption strip 6 px high must not be enlarged to a minimum size.
  for (Border border : {Border::None, Border::FixedSingle, Border::FixedDialog}) {
    SCOPED_TRACE(borderName(border));
    auto window = windows.createWindow(design(border, 150, 200, 316, 6));
    EXPECT_FLOAT_EQ(window->scaleWidth(), 316 * tx);
    EXPECT_FLOAT_EQ(window->scaleHeight(), 6 * ty);

    // The frame around the client area, in pixels, on each side.
    const float frameLeft = 150 - window->left() / tx;
    const float frameRight = (window->left() + window->width()) / tx - (150 + 316);
    const float frameTop = 200 - window->top() / ty;
    const float frameBottom = (window->top() + window->height()) / ty - (200 + 6);
    EXPECT_FLOAT_EQ(frameLeft, frameRight);
    EXPECT_GE(frameLeft, 0);
    EXPECT_GE(frameBottom, 0);
    if (border == Border::None) {
      EXPECT_FLOAT_EQ(frameLeft, 0);
      EXPECT_FLOAT_EQ(frameTop, 0);
      EXPECT_FLOAT_EQ(frameBottom, 0);
    } else {
      EXPECT_GT(frameTop, frameBottom) << "title bar above the client area";
    }
  }
}

TEST_F(WindowSystemContract, ProgramSizeChangeRunsResizeBeforeTheSetterReturns) {
  struct Case {
    const char* property;
    Setter set;
    Getter get;
    float pixels;
    bool horizontal;
  };
  const Case cases[] = {
      {"width", &Window::setWidth, &Window::width, 340, true},
      {"height", &Window::setHeight, &Window::height, 210, false},
  };
  for (Border border : {Border::None, Border::FixedSingle, Border::Sizable}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(borderName(border)) + " " + c.property);
      const float tpp = c.horizontal ? tx : ty;
      auto window = shown(border);
      Window& w = *window;
      int resizes = 0;
      float seenInHandler = -1;
      w.events.onResize = [&] {
        ++resizes;
        seenInHandler = (w.*c.get)();
      };

      (w.*c.set)(c.pixels * tpp);
      EXPECT_EQ(resizes, 1) << "Resize ran before the setter returned";
      EXPECT_FLOAT_EQ(seenInHandler, c.pixels * tpp) << "the handler sees the new size";

      // The same size again, or a value rounding to it: nothing changes.
      (w.*c.set)(c.pixels * tpp);
      (w.*c.set)((c.pixels + 0.3f) * tpp);
      windows.doEvents();
      EXPECT_EQ(resizes, 1);

      // Moving is not resizing.
      w.setLeft(w.left() + 10 * tx);
      w.setTop(w.top() + 10 * ty);
      windows.doEvents();
      EXPECT_EQ(resizes, 1);
    }
  }
}

// Sizing stops at the smallest client area the design allows.
TEST_F(WindowSystemContract, ASizableWindowKeepsItsSmallestClientArea) {
  WindowDesign d = design(Border::Sizable);
  d.minClientWidth = 200 * tx;
  d.minClientHeight = 120 * ty;
  auto window = windows.createWindow(d);
  window->show();
  windows.doEvents();
  const float frameWidth = window->width() - window->scaleWidth();
  const float frameHeight = window->height() - window->scaleHeight();
  struct Case {
    bool horizontal;
    float client, expected;  // pixels
  };
  for (const Case& c : {Case{true, 150, 200}, Case{true, 260, 260}, Case{false, 80, 120}, Case{false, 170, 170}}) {
    SCOPED_TRACE(std::string(c.horizontal ? "width " : "height ") + std::to_string(c.client));
    if (c.horizontal) window->setWidth(frameWidth + c.client * tx);
    else window->setHeight(frameHeight + c.client * ty);
    EXPECT_FLOAT_EQ(c.horizontal ? window->scaleWidth() : window->scaleHeight(), c.expected * (c.horizontal ? tx : ty));
  }
}

// The forms' tests answer the headless Save dialog from a queue, in turn,
// and read what it was asked.
TEST(HeadlessSaveDialog, AnswersInTurnAndRecordsTheRequests) {
  HeadlessWindowSystem ws;
  ws.queueSaveFileAnswer("C:\\Movies\\clip.avi");
  ws.queueSaveFileAnswer(std::nullopt);
  const SaveFileRequest request{"Save as", "AVI movies", "*.avi", "C:\\Movies", "clip.avi", "avi"};
  EXPECT_EQ(ws.chooseFileToSave(request), "C:\\Movies\\clip.avi");
  EXPECT_EQ(ws.chooseFileToSave(request), std::nullopt) << "cancelled";
  EXPECT_EQ(ws.chooseFileToSave(request), std::nullopt) << "nothing queued: cancelled";
  ASSERT_EQ(ws.saveFileRequests().size(), 3u);
  EXPECT_EQ(ws.saveFileRequests()[2].fileName, "clip.avi");
  EXPECT_TRUE(ws.openFileRequests().empty()) << "the Open dialog has a queue of its own";
}

TEST_F(WindowSystemContract, FirstShowRaisesResizeThenActivateThenPaintOnce) {
  for (Border border : {Border::None, Border::FixedSingle, Border::FixedDialog}) {
    SCOPED_TRACE(borderName(border));
    auto window = make(border);
    std::vector<std::string> log;
    window->events.onResize = [&] { log.push_back("Resize"); };
    window->events.onActivate = [&] { log.push_back("Activate"); };
    window->events.onPaint = [&] { log.push_back("Paint"); };

    window->show();
    EXPECT_TRUE(window->visible());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Resize");
    EXPECT_EQ(log[1], "Activate");

    // Paint may wait for the pending events.
    windows.doEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"Resize", "Activate", "Paint"}));
  }
}

TEST_F(WindowSystemContract, MinimiseAndRestoreChangeTheStateAndRaiseResize) {
  struct Case {
    const char* how;
    bool byUser;
  };
  for (const Case& c : {Case{"by the user", true}, Case{"by the program", false}}) {
    SCOPED_TRACE(c.how);
    auto window = shown(Border::FixedSingle);
    Window& w = *window;
    const float left = w.left(), top = w.top(), width = w.width(), height = w.height();
    std::vector<int> statesSeen;
    w.events.onResize = [&] { statesSeen.push_back(w.windowState()); };

    if (c.byUser)
      input.minimize(w);
    else
      w.setWindowState(kStateMinimized);
    windows.doEvents();
    EXPECT_EQ(w.windowState(), kStateMinimized);
    EXPECT_EQ(statesSeen, std::vector<int>{kStateMinimized});
    // Parked off-screen as Windows does, so windows laid out from it follow
    // it out of sight; no client area.
    EXPECT_FLOAT_EQ(w.left(), -32000 * tx);
    EXPECT_FLOAT_EQ(w.top(), -32000 * ty);
    EXPECT_FLOAT_EQ(w.scaleWidth(), 0);
    EXPECT_FLOAT_EQ(w.scaleHeight(), 0);

    if (c.byUser)
      input.restore(w);
    else
      w.setWindowState(kStateNormal);
    windows.doEvents();
    EXPECT_EQ(w.windowState(), kStateNormal);
    EXPECT_EQ(statesSeen, (std::vector<int>{kStateMinimized, kStateNormal}));
    EXPECT_FLOAT_EQ(w.left(), left);
    EXPECT_FLOAT_EQ(w.top(), top);
    EXPECT_FLOAT_EQ(w.width(), width);
    EXPECT_FLOAT_EQ(w.height(), height);
  }
}

TEST_F(WindowSystemContract, PlacingAMinimisedWindowChangesWhereItIsRestored) {
  auto window = shown(Border::FixedSingle);
  Window& w = *window;
  const float left = w.left() + 40 * tx, top = w.top() + 30 * ty;
  const float width = w.width() + 50 * tx, height = w.height() + 20 * ty;
  w.setWindowState(kStateMinimized);
  int resizes = 0;
  w.events.onResize = [&] { ++resizes; };

  w.setLeft(left);
  w.setTop(top);
  w.setWidth(width);
  w.setHeight(height);
  windows.doEvents();
  EXPECT_EQ(w.windowState(), kStateMinimized);
  EXPECT_FLOAT_EQ(w.left(), -32000 * tx);
  EXPECT_EQ(resizes, 0);

  w.setWindowState(kStateNormal);
  windows.doEvents();
  EXPECT_EQ(resizes, 1);
  EXPECT_FLOAT_EQ(w.left(), left);
  EXPECT_FLOAT_EQ(w.top(), top);
  EXPECT_FLOAT_EQ(w.width(), width);
  EXPECT_FLOAT_EQ(w.height(), height);
}

TEST_F(WindowSystemContract, CloseRequestCanBeRefusedAndAnAcceptedOneUnloads) {
  enum class Answer { NoHandler, Accept, Refuse };
  struct Case {
    const char* name;
    Answer answer;
    bool unloads;
  };
  const Case cases[] = {
      {"no handler accepts", Answer::NoHandler, true},
      {"handler accepts", Answer::Accept, true},
      {"handler refuses", Answer::Refuse, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto window = shown(Border::FixedSingle);
    int requests = 0, unloads = 0;
    if (c.answer != Answer::NoHandler) {
      window->events.onCloseRequest = [&] {
        ++requests;
        return c.answer == Answer::Accept;
      };
    }
    window->events.onUnload = [&] { ++unloads; };

    input.requestClose(*window);
    windows.doEvents();
    EXPECT_EQ(requests, c.answer == Answer::NoHandler ? 0 : 1);
    EXPECT_EQ(unloads, c.unloads ? 1 : 0);
    EXPECT_EQ(window->visible(), !c.unloads);
  }
}

// The system's word that a drive arrived or went reaches every window once,
// whether shown, hidden or disabled.
TEST_F(WindowSystemContract, EveryWindowHearsThatTheDrivesChanged) {
  auto visible = shown(Border::FixedSingle);
  auto disabled = shown(Border::None);
  disabled->setEnabled(false);
  auto hidden = shown(Border::Sizable);
  hidden->hide();
  auto neverShown = make(Border::FixedDialog);
  auto withoutHandler = shown(Border::FixedSingle);
  const struct {
    const char* name;
    Window& window;
  } hearing[] = {{"shown", *visible}, {"disabled", *disabled}, {"hidden", *hidden}, {"never shown", *neverShown}};
  int heard[4] = {};
  for (int i = 0; i < 4; ++i) hearing[i].window.events.onDrivesChanged = [&heard, i] { ++heard[i]; };

  input.announceDrivesChanged();
  windows.doEvents();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(heard[i], 1) << hearing[i].name;
  EXPECT_TRUE(withoutHandler->visible());
}

TEST_F(WindowSystemContract, ShowModalReturnsWhenTheDialogHidesItself) {
  enum class HideOn { Activate, Paint };
  struct Case {
    const char* name;
    HideOn hideOn;
  };
  for (const Case& c : {Case{"hidden on Activate", HideOn::Activate}, Case{"hidden on Paint", HideOn::Paint}}) {
    SCOPED_TRACE(c.name);
    auto other = shown(Border::None);
    auto alreadyDisabled = shown(Border::None);
    alreadyDisabled->setEnabled(false);
    auto dialog = make(Border::FixedDialog);

    int clicksOnOther = 0;
    other->events.onMouseDown = [&](const MouseEvent&) { ++clicksOnOther; };
    bool otherEnabledMeanwhile = true;
    int finishes = 0;
    auto finish = [&] {
      if (finishes++ > 0) return;
      otherEnabledMeanwhile = other->enabled();
      input.mouseDown(*other, MouseEvent{kLeftButton, 5 * tx, 5 * ty});
      input.mouseUp(*other, MouseEvent{kLeftButton, 5 * tx, 5 * ty});
      dialog->hide();
    };
    if (c.hideOn == HideOn::Activate)
      dialog->events.onActivate = finish;
    else
      dialog->events.onPaint = finish;

    windows.showModal(*dialog);
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(dialog->visible());
    EXPECT_FALSE(otherEnabledMeanwhile) << "other windows take no input during the modal show";
    EXPECT_EQ(clicksOnOther, 0);
    EXPECT_TRUE(other->enabled()) << "re-enabled afterwards";
    EXPECT_FALSE(alreadyDisabled->enabled()) << "a window disabled before stays disabled";
  }
}

TEST_F(WindowSystemContract, WindowsFarFromTheOriginKeepTheirPosition) {
  // Beyond 32767 twips and left of or above the screen: second monitors and
  // high resolutions put windows there.
  struct Case {
    int x, y;
  };
  const Case cases[] = {{-150, -90}, {2500, 2300}, {-3000, 2200}, {4000, -2500}};
  for (Border border : {Border::None, Border::FixedSingle, Border::Sizable}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(borderName(border)) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
      auto window = shown(border);
      const float width = window->width(), height = window->height();
      window->setLeft(static_cast<float>(c.x) * tx);
      window->setTop(static_cast<float>(c.y) * ty);
      windows.doEvents();
      EXPECT_FLOAT_EQ(window->left(), static_cast<float>(c.x) * tx);
      EXPECT_FLOAT_EQ(window->top(), static_cast<float>(c.y) * ty);
      EXPECT_FLOAT_EQ(window->width(), width);
      EXPECT_FLOAT_EQ(window->height(), height);
    }
  }
}

TEST_F(WindowSystemContract, MakeTopmostKeepsThePlaceAndActivatesOnlyAVisibleWindow) {
  for (bool visible : {true, false}) {
    SCOPED_TRACE(visible ? "visible" : "hidden");
    auto window = make(Border::FixedSingle);
    if (visible) {
      window->show();
      windows.doEvents();
    }
    auto activeOne = shown(Border::None);  // takes the activation away
    int activations = 0;
    window->events.onActivate = [&] { ++activations; };
    const float left = window->left(), top = window->top(), width = window->width(), height = window->height();
    EXPECT_FALSE(window->topmost());

    window->makeTopmost();
    windows.doEvents();
    EXPECT_TRUE(window->topmost());
    EXPECT_EQ(window->visible(), visible);
    EXPECT_EQ(activations, visible ? 1 : 0);
    EXPECT_FLOAT_EQ(window->left(), left);
    EXPECT_FLOAT_EQ(window->top(), top);
    EXPECT_FLOAT_EQ(window->width(), width);
    EXPECT_FLOAT_EQ(window->height(), height);
  }
}

TEST_F(WindowSystemContract, ShowingAgainActivatesAndChangingALineRepaints) {
  auto window = shown(Border::None);
  LineDesign design;
  design.x2 = 100 * tx;
  Line& line = window->addLine(design);
  auto other = shown(Border::None);  // takes the activation away
  windows.doEvents();
  int activations = 0, paints = 0;
  window->events.onActivate = [&] { ++activations; };
  window->events.onPaint = [&] { ++paints; };

  window->show();
  windows.doEvents();
  EXPECT_EQ(activations, 1);

  paints = 0;
  line.setY1(20 * ty);
  line.setY2(40 * ty);
  windows.doEvents();
  EXPECT_GE(paints, 1) << "a moved line is redrawn";
  EXPECT_FLOAT_EQ(line.y1(), 20 * ty);
  EXPECT_FLOAT_EQ(line.y2(), 40 * ty);
}

TEST_F(WindowSystemContract, DisabledWindowTakesNoMouseInput) {
  auto window = shown(Border::None);
  int downs = 0, ups = 0;
  window->events.onMouseDown = [&](const MouseEvent&) { ++downs; };
  window->events.onMouseUp = [&](const MouseEvent&) { ++ups; };
  const MouseEvent click{kLeftButton, 10 * tx, 10 * ty};

  window->setEnabled(false);
  EXPECT_FALSE(window->enabled());
  input.mouseDown(*window, click);
  input.mouseUp(*window, click);
  EXPECT_EQ(downs + ups, 0);

  window->setEnabled(true);
  EXPECT_TRUE(window->enabled());
  input.mouseDown(*window, click);
  input.mouseUp(*window, click);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ups, 1);
}

TEST_F(WindowSystemContract, MouseEventsCarryClientTwipsAndTheButtons) {
  struct Seen {
    char kind;
    MouseEvent event;
  };
  for (Border border : {Border::None, Border::FixedSingle}) {
    for (int button : {kLeftButton, kRightButton, kMiddleButton}) {
      SCOPED_TRACE(std::string(borderName(border)) + " button " + std::to_string(button));
      auto window = shown(border);
      std::vector<Seen> seen;
      window->events.onMouseDown = [&](const MouseEvent& e) { seen.push_back({'d', e}); };
      window->events.onMouseMove = [&](const MouseEvent& e) { seen.push_back({'m', e}); };
      window->events.onMouseUp = [&](const MouseEvent& e) { seen.push_back({'u', e}); };

      // Press, drag out of the client area to its upper left, release there.
      input.mouseDown(*window, MouseEvent{button, 30 * tx, 4 * ty});
      input.mouseMove(*window, MouseEvent{button, 45 * tx, 9 * ty});
      input.mouseMove(*window, MouseEvent{button, -12 * tx, -5 * ty});
      input.mouseUp(*window, MouseEvent{button, -12 * tx, -5 * ty});
      input.mouseMove(*window, MouseEvent{0, 20 * tx, 7 * ty});

      const Seen expected[] = {
          {'d', {button, 30 * tx, 4 * ty}},   {'m', {button, 45 * tx, 9 * ty}},
          {'m', {button, -12 * tx, -5 * ty}}, {'u', {button, -12 * tx, -5 * ty}},
          {'m', {0, 20 * tx, 7 * ty}},
      };
      ASSERT_EQ(seen.size(), std::size(expected));
      for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(seen[i].kind, expected[i].kind);
        EXPECT_EQ(seen[i].event.button, expected[i].event.button);
        EXPECT_FLOAT_EQ(seen[i].event.x, expected[i].event.x);
        EXPECT_FLOAT_EQ(seen[i].event.y, expected[i].event.y);
      }
    }
  }
}

// The program's system-menu items: the window sets them as the menu opens,
// a chosen item raises its id once, a greyed one (or one in a greyed
// submenu) nothing; a disabled window's menu cannot be used at all.
TEST_F(WindowSystemContract, SystemMenuItemsRaiseTheirIdsUnlessGreyed) {
  auto window = shown(Border::FixedSingle);
  int openings = 0;
  std::vector<int> chosen;
  window->events.onSystemMenuOpening = [&] {
    ++openings;
    window->setSystemMenu({{0, "Sizes", true, {{3, "small", true, {}}, {4, "large", false, {}}}},
                           {0, "Greyed sizes", false, {{6, "inside", true, {}}}},
                           {5, "Top level", true, {}},
                           {0, "A line", false, {}}});
  };
  window->events.onSystemMenu = [&](int id) { chosen.push_back(id); };
  for (int id : {3, 4, 5, 6, 7}) input.chooseSystemMenuItem(*window, id);
  EXPECT_EQ(chosen, (std::vector<int>{3, 5}));
  EXPECT_GE(openings, 5) << "the menu is set anew each time it opens";
  window->setEnabled(false);
  input.chooseSystemMenuItem(*window, 3);
  EXPECT_EQ(chosen.size(), 2u);
}

// A global key combination raises its id; one held elsewhere cannot be
// had again, and a released one raises nothing.
TEST_F(WindowSystemContract, GlobalKeysRaiseTheirIds) {
  const Hotkey a{true, true, true, false, 'K'}, b{true, true, true, false, 'J'};
  std::vector<int> pressed;
  windows.onHotkey = [&](int id) { pressed.push_back(id); };
  ASSERT_TRUE(windows.registerHotkey(7, a));
  ASSERT_TRUE(windows.registerHotkey(8, b));
  EXPECT_FALSE(windows.registerHotkey(9, a)) << "taken already";
  input.pressHotkey(b);
  input.pressHotkey(a);
  windows.unregisterHotkey(7);
  input.pressHotkey(a);
  EXPECT_EQ(pressed, (std::vector<int>{8, 7}));
  windows.unregisterHotkey(8);
  windows.onHotkey = {};
}

TEST_F(WindowSystemContract, EndingTheProgramFromAHandlerEndsRunWithoutNotifyingWindows) {
  // Two windows, the last shown active; the program ends in its Paint.
  std::unique_ptr<Window> both[] = {shown(Border::FixedSingle), make(Border::FixedSingle)};
  int notifications = 0;
  for (auto& window : both) {
    window->events.onActivate = [&] { ++notifications; };
    window->events.onResize = [&] { ++notifications; };
    window->events.onUnload = [&] { ++notifications; };
    window->events.onCloseRequest = [&] {
      ++notifications;
      return true;
    };
  }
  both[1]->show();
  notifications = 0;
  both[1]->events.onPaint = [&] { windows.endProgram(); };

  EXPECT_EQ(windows.run(), 0);
  EXPECT_TRUE(windows.ended());
  windows.doEvents();
  EXPECT_EQ(notifications, 0);
}

}  // namespace
}  // namespace ks
