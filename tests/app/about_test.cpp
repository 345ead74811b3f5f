#include <gtest/gtest.h>

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
    // The help page lies under the home page's host; the home page is its root.
    EXPECT_EQ(services.shell.opened, (std::vector<std::string>{"https://www.example.com/help/kestrascope",
                                                               "https://www.example.com/"}));
    EXPECT_TRUE(ws.warnings().empty());
  }
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

// The box as designed, stated as numbers and texts: place and size in twips,
// the font, and the text colour (nothing: the system's label colour).
TEST_F(AppTest, AboutBoxControlsAsDesigned) {
  start();
  const Rgb blue{80, 94, 148};
  struct Case {
    const char* name;
    Control* control;
    const char* text;  // nullptr: the maker's own wording
    float left, top, width, height;
    float size;
    bool bold, underline;
    std::optional<Rgb> colour;  // labels only
  };
  ws.queueModalAnswer([&](Window& box) {
    FrmAbout& a = app->frmAbout();
    EXPECT_EQ(box.caption(), "About kestrascope");
    EXPECT_EQ(box.scaleWidth(), 8250);
    EXPECT_EQ(box.scaleHeight(), 2835);
    // The client area's first place on the screen: the frame is as wide on
    // the left as below.
    const float frame = (box.width() - box.scaleWidth()) / 2;
    EXPECT_EQ(box.left() + frame, 2550);
    EXPECT_EQ(box.top() + box.height() - box.scaleHeight() - frame, 2940);
    const Case cases[] = {
        {"cmdClose", a.cmdClose, "Close", 7260, 2400, 735, 315, 0, false, false, std::nullopt},
        {"Label1", a.Label1, "kestrascope", 420, 120, 3435, 555, 24, true, false, blue},
        {"Label2", a.Label2, nullptr, 1140, 1020, 2475, 255, 9.75f, true, false, blue},
        {"lblqvlink", a.lblqvlink, nullptr, 2640, 1020, 1995, 255, 11.25f, true, true, blue},
        {"Label4", a.Label4, nullptr, 2640, 1260, 2475, 315, 11.25f, true, false, blue},
        {"Label5", a.Label5, nullptr, 2640, 1560, 2475, 255, 11.25f, true, false, blue},
        {"Label6", a.Label6, nullptr, 2640, 1860, 2475, 255, 8.25f, true, false, blue},
        {"Label7", a.Label7, nullptr, 2640, 2100, 2475, 255, 8.25f, true, false, blue},
        {"Label8", a.Label8, nullptr, 3720, 60, 435, 375, 14.25f, true, false, blue},
        {"cmdHelp", a.cmdHelp, "Help", 6420, 2400, 795, 315, 0, false, false, std::nullopt},
        {"Label3", a.Label3, nullptr, 4920, 900, 3195, 1395, 8.25f, false, false, Rgb{0, 0, 0}},
        {"Label9", a.Label9,
         "Note: The creator and/or distributor are not responsible for the usage or misusage of this product", 240,
         2340, 5895, 435, 8.25f, false, false, std::nullopt},
        {"Label10", a.Label10, "version 2.0.0.1", 2640, 720, 1575, 255, 9.75f, true, false, blue},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(c.control->left(), c.left);
      EXPECT_EQ(c.control->top(), c.top);
      EXPECT_EQ(c.control->width(), c.width);
      EXPECT_EQ(c.control->height(), c.height);
      if (auto* button = dynamic_cast<Button*>(c.control)) {
        EXPECT_EQ(button->caption(), c.text);
        continue;
      }
      auto* label = dynamic_cast<Label*>(c.control);
      ASSERT_NE(label, nullptr);
      if (c.text) {
        EXPECT_EQ(label->caption(), c.text);
      } else {
        EXPECT_FALSE(label->caption().empty());
      }
      const std::optional<LabelDesign> design = headlessLabelDesign(*label);
      ASSERT_TRUE(design);
      ASSERT_TRUE(design->font);
      EXPECT_EQ(design->font->name, "Tahoma");
      EXPECT_EQ(design->font->size, c.size);
      EXPECT_EQ(design->font->bold, c.bold);
      EXPECT_EQ(design->font->underline, c.underline);
      EXPECT_EQ(design->foreColor, c.colour);
      EXPECT_FALSE(design->backColor) << "labels draw no background of their own";
    }
    input.click(*a.cmdClose);
  });
  input.click(*bar().cmdAbout);
}

}  // namespace
}  // namespace ks::test
