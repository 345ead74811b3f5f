#include <gtest/gtest.h>

#include "app/app_fixture.h"

namespace ks::test {
namespace {

TEST_F(AppTest, FirstRunWithAnEmptyStore) {
  start();
  FrmSettings& s = settings();
  EXPECT_EQ(s.window().caption(), "Settings");
  EXPECT_EQ(file().window().caption(), "Create New Movie");
  EXPECT_EQ(items(*s.cboFrames),
            (std::vector<std::string>{"1", "2", "3", "4", "5", "10", "15", "20", "30", "40", "50", "60"}));
  EXPECT_TRUE(s.optSystem->value());
  EXPECT_FALSE(s.optUser->value());
  EXPECT_EQ(s.cboFrames->text(), "1");
  EXPECT_FALSE(s.cboFrames->enabled());
  EXPECT_FALSE(s.lblfps->enabled());
  EXPECT_EQ(s.Dir->path(), kProgramFolder);
  EXPECT_EQ(stored("folder"), kProgramFolder);
  EXPECT_EQ(stored("SysSetting"), "True");
  EXPECT_EQ(stored("UserSetting"), "False");
  EXPECT_EQ(stored("fps"), "1");
  EXPECT_FALSE(s.window().visible()) << "loaded on first touch, hidden";
  EXPECT_TRUE(s.window().topmost());
}

TEST_F(AppTest, StoredOptionsAndRates) {
  struct Case {
    const char* what;
    const char* user;
    const char* sys;
    const char* fps;
    bool expectUser, expectSystem;
    const char* expectRate;
    const char* storedUser;
    const char* storedSys;
  } cases[] = {
      {"both True: the system option wins", "True", "True", "30", false, true, "30", "False", "True"},
      {"both False: nothing selected", "False", "False", "15", false, false, "15", "False", "False"},
      {"user rate", "True", "False", "60", true, false, "60", "True", "False"},
      {"any letter case", "TRUE", "false", "5", true, false, "5", "True", "False"},
      {"unreadable truth values give the defaults", "yes", "1", "10", false, true, "10", "False", "True"},
      {"empty rate", "True", "False", "", true, false, "1", "True", "False"},
      {"rate 0", "True", "False", "0", true, false, "1", "True", "False"},
      {"rate 7 is not listed", "True", "False", "7", true, false, "1", "True", "False"},
      {"rate abc", "True", "False", "abc", true, false, "1", "True", "False"},
      {"rate 1000", "True", "False", "1000", true, false, "1", "True", "False"},
      {"rate with a leading blank", "True", "False", " 15", true, false, "1", "True", "False"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    services.settings = MemorySettingsStore();
    store("UserSetting", c.user);
    store("SysSetting", c.sys);
    store("fps", c.fps);
    start();
    FrmSettings& s = settings();
    EXPECT_EQ(s.optUser->value(), c.expectUser);
    EXPECT_EQ(s.optSystem->value(), c.expectSystem);
    EXPECT_EQ(s.cboFrames->text(), c.expectRate);
    EXPECT_EQ(s.cboFrames->enabled(), c.expectUser);
    EXPECT_EQ(s.lblfps->enabled(), c.expectUser);
    EXPECT_EQ(stored("UserSetting"), c.storedUser);
    EXPECT_EQ(stored("SysSetting"), c.storedSys);
    EXPECT_EQ(stored("fps"), c.expectRate);
  }
}

TEST_F(AppTest, ChoicesAreWrittenTheMomentTheyChange) {
  start();
  FrmSettings& s = settings();
  s.window().show();
  input.click(*s.optUser);
  EXPECT_TRUE(s.cboFrames->enabled());
  EXPECT_EQ(stored("UserSetting"), "True");
  EXPECT_EQ(stored("SysSetting"), "False");
  input.selectItem(*s.cboFrames, 8);
  EXPECT_EQ(stored("fps"), "30");
  input.click(*s.optSystem);
  EXPECT_FALSE(s.cboFrames->enabled());
  EXPECT_EQ(s.cboFrames->text(), "30") << "greying keeps the selection";
  EXPECT_EQ(stored("SysSetting"), "True");
}

TEST_F(AppTest, ClosingKeepsTheDialogAndItsStateWithoutRereading) {
  start();
  bar().window();
  ws.queueModalAnswer([&](Window&) {
    input.click(*settings().optUser);
    input.selectItem(*settings().cboFrames, 6);
    input.requestClose(settings().window());
  });
  input.click(*bar().cmdSettings);
  EXPECT_FALSE(settings().window().visible());
  store("fps", "60");  // changed behind the dialog's back: not re-read
  ws.queueModalAnswer([&](Window&) { input.click(*settings().cmdClose); });
  input.click(*bar().cmdSettings);
  EXPECT_EQ(settings().cboFrames->text(), "15");
  EXPECT_TRUE(settings().optUser->value());
  EXPECT_EQ(ws.unansweredModals(), 0);
}

TEST_F(AppTest, BadStoredFolderFallsBackToTheProgramFolder) {
  services.files.addFile("D:\\Movies\\notes.txt");
  services.files.addDrive("E:", false);
  struct Case {
    const char* what;
    const char* folder;
  } cases[] = {
      {"missing folder", "D:\\Gone\\Away"},
      {"drive not ready", "E:\\Movies"},
      {"a file, not a folder", "D:\\Movies\\notes.txt"},
      {"no such drive", "Q:\\x"},
      {"not a path", "garbage"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    services.settings = MemorySettingsStore();
    store("folder", c.folder);
    start();
    EXPECT_EQ(settings().Dir->path(), kProgramFolder);
    EXPECT_EQ(file().Dir->path(), kProgramFolder);
    EXPECT_EQ(stored("folder"), kProgramFolder);
  }
}

TEST_F(AppTest, PickingADriveThatIsNotReadyGoesBackToThePreviousDrive) {
  services.files.addDrive("E:", false);
  services.files.setCurrentFolder("D:", "D:\\Movies");
  start();
  FrmSettings& s = settings();
  s.window().show();
  const auto pick = [&](const char* drive) {
    for (int i = 0; i < s.Drv->control.listCount(); ++i)
      if (s.Drv->control.list(i) == drive) input.selectItem(s.Drv->control, i);
  };
  pick("D:");
  EXPECT_EQ(s.Dir->path(), "D:\\Movies") << "a drive opens at its current folder";
  EXPECT_EQ(stored("folder"), "D:\\Movies");
  EXPECT_EQ(file().Dir->path(), "D:\\Movies") << "the movie dialog follows";
  pick("E:");
  EXPECT_EQ(s.Drv->drive(), "D:");
  EXPECT_EQ(s.Dir->path(), "D:\\Movies");
  EXPECT_EQ(stored("folder"), "D:\\Movies");
}

TEST_F(AppTest, FolderListOpensOnDoubleClickOnly) {
  services.files.addFolder("D:\\Movies\\Holiday");
  services.files.addFolder("D:\\Movies\\Work");
  store("folder", "D:\\Movies");
  start();
  DirList& dir = *settings().Dir;
  settings().window().show();
  // Root, Movies (current), then its subfolders.
  ASSERT_EQ(dir.control.listCount(), 4);
  EXPECT_EQ(dir.control.list(0), "D:\\");
  input.selectItem(dir.control, 2);
  EXPECT_EQ(dir.path(), "D:\\Movies") << "a single click only highlights";
  input.doubleClickItem(dir.control, 2);
  EXPECT_EQ(dir.path(), "D:\\Movies\\Holiday");
  EXPECT_EQ(stored("folder"), "D:\\Movies\\Holiday");
  input.doubleClickItem(dir.control, 0);
  EXPECT_EQ(dir.path(), "D:\\") << "a drive's root keeps its backslash";
  EXPECT_EQ(stored("folder"), "D:\\");
}

}  // namespace
}  // namespace ks::test
