// The Win32 message boxes: modal to every window of the program while they
// are up, and the window the user was working in is active again after the
// answer, so the keyboard focus goes back to it rather than to another
// program's window.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/win32/wide_text.h"
#include "platform/window_system.h"
#include "support/test_platform.h"

namespace ks::test {
namespace {

WindowDesign titled(const std::string& caption, float left) {
  WindowDesign d;
  d.caption = caption;
  d.border = Border::FixedSingle;
  d.controlBox = true;
  d.clientLeft = left;
  d.clientTop = 1500;
  d.clientWidth = 3000;
  d.clientHeight = 2000;
  return d;
}

// Answers the program's box from another thread, once it is up, with the
// button `answer`, and notes meanwhile whether the given windows took input.
class Answerer {
 public:
  Answerer(HWND a, HWND b, int answer)
      : thread_([this, a, b, answer] {
          for (int i = 0; i < 200; ++i) {
            if (HWND box = FindWindowW(L"#32770", L"kestrascope")) {
              Sleep(200);  // let the box settle as a user would see it
              aEnabled = IsWindowEnabled(a) != 0;
              bEnabled = IsWindowEnabled(b) != 0;
              seen = true;
              PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
              return;
            }
            Sleep(50);
          }
        }) {}
  ~Answerer() { thread_.join(); }
  std::atomic<bool> seen{false}, aEnabled{true}, bEnabled{true};

 private:
  std::thread thread_;
};

TEST(Win32MessageBox, IsModalToEveryWindowAndGivesTheActivationBack) {
  struct Case {
    const char* name;
    bool question;  // Yes/No/Cancel, else the warning with OK
    int activeWindow;
  };
  const Case cases[] = {
      {"question over the first window", true, 0},
      {"warning over the second window", false, 1},
  };
  TestPlatform platform = makeTestPlatform();
  WindowSystem& ws = *platform.windows;
  auto first = ws.createWindow(titled("message box test one", 1500));
  auto second = ws.createWindow(titled("message box test two", 5500));
  first->show();
  second->show();
  ws.doEvents();
  const HWND handles[] = {FindWindowW(nullptr, win32::toWideShown(first->caption()).c_str()),
                          FindWindowW(nullptr, win32::toWideShown(second->caption()).c_str())};
  ASSERT_TRUE(handles[0] && handles[1]);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HWND active = handles[c.activeWindow];
    SetForegroundWindow(active);
    SetActiveWindow(active);
    ws.doEvents();
    ASSERT_EQ(GetActiveWindow(), active);
    {
      Answerer answerer(handles[0], handles[1], c.question ? IDNO : IDOK);
      if (c.question)
        EXPECT_EQ(ws.messageBoxYesNoCancel("Go on?", MsgButton::Cancel), MsgButton::No);
      else
        ws.messageBoxWarning("Something went wrong.");
      ws.doEvents();
      EXPECT_TRUE(answerer.seen) << "the box never came up";
      EXPECT_FALSE(answerer.aEnabled) << "the first window took input under the box";
      EXPECT_FALSE(answerer.bEnabled) << "the second window took input under the box";
    }
    EXPECT_EQ(GetActiveWindow(), active) << "the activation did not come back";
    EXPECT_TRUE(IsWindowEnabled(handles[0]));
    EXPECT_TRUE(IsWindowEnabled(handles[1]));
  }
}

}  // namespace
}  // namespace ks::test
