#include <gtest/gtest.h>

#include "about/maker.h"
#include "app/app_fixture.h"

namespace ks::test {
namespace {

TEST_F(AppTest, AboutOpensFreshAtItsDesignPositionEveryTime) {
  start();
  float left = 0, top = 0;
  ws.queueModalAnswer([&](Window& box) {
    left = box.left();
    top = box.top();
    EXPECT_TRUE(box.topmost());
    input.dragWindowTo(box, left + 3000, top + 1500);
    input.click(*app->frmAbout().cmdClose);
  });
  input.click(*bar().cmdAbout);
  EXPECT_FALSE(app->frmAboutLoaded()) << "Close unloads the box";
  ws.queueModalAnswer([&](Window& box) {
    EXPECT_EQ(box.left(), left);
    EXPECT_EQ(box.top(), top);
    input.requestClose(box);  // the title bar's close button does the same
  });
  input.click(*bar().cmdAbout);
  EXPECT_FALSE(app->frmAboutLoaded());
  EXPECT_EQ(ws.unansweredModals(), 0);
  EXPECT_FALSE(ws.ended()) << "closing the box does not end the program";
}

TEST_F(AppTest, AboutFocusStartsOnCloseAndTabVisitsOnlyTheButtons) {
  start();
  ws.queueModalAnswer([&](Window& box) {
    FrmAbout& about = app->frmAbout();
    EXPECT_TRUE(about.cmdClose->hasFocus());
    input.pressTab(box, false);
    EXPECT_TRUE(about.cmdHelp->hasFocus());
    input.pressTab(box, false);
    EXPECT_TRUE(about.cmdClose->hasFocus()) << "labels take no focus";
    input.pressTab(box, true);
    EXPECT_TRUE(about.cmdHelp->hasFocus());
    input.click(*about.cmdClose);
  });
  input.click(*bar().cmdAbout);
}

TEST_F(AppTest, HelpAndTheLinkOpenTheMakersPagesAndFailSilently) {
  start();
  for (bool browser : {true, false}) {
    SCOPED_TRACE(browser ? "with a browser" : "without a browser");
    services.shell.opened.clear();
    services.shell.succeed = browser;
    ws.queueModalAnswer([&](Window& box) {
      input.click(*app->frmAbout().cmdHelp);
      input.click(*app->frmAbout().lblqvlink);
      EXPECT_TRUE(box.visible()) << "the box stays open";
      input.click(*app->frmAbout().cmdClose);
    });
    input.click(*bar().cmdAbout);
    EXPECT_EQ(services.shell.opened,
              (std::vector<std::string>{maker::kHelpPage, maker::kHomePage}));
    EXPECT_TRUE(ws.warnings().empty());
  }
  EXPECT_EQ(std::string(maker::kHelpPage).find("/help/kestrascope"), std::string(maker::kHelpPage).size() - 17);
}

TEST_F(AppTest, WhileTheAboutBoxIsOpenTheBarTakesNoInput) {
  start();
  ws.queueModalAnswer([&](Window&) {
    input.click(*bar().cmdSettings);
    input.click(*bar().cmdExit);
    EXPECT_FALSE(settings().window().visible());
    EXPECT_FALSE(ws.ended());
    input.click(*app->frmAbout().cmdClose);
  });
  input.click(*bar().cmdAbout);
  input.click(*bar().cmdExit);
  EXPECT_TRUE(ws.ended()) << "after Close the bar works again";
}

}  // namespace
}  // namespace ks::test
