#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/app_fixture.h"
#include "platform/headless/headless_window.h"

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
      {"the first item", "True", "False", "1", true, false, "1", "True", "False"},
      {"the last item", "True", "False", "60", true, false, "60", "True", "False"},
      {"rate with a trailing blank", "True", "False", "30 ", true, false, "1", "True", "False"},
      {"a listed rate written as a decimal", "True", "False", "30.0", true, false, "1", "True", "False"},
      {"a listed rate with a leading zero", "True", "False", "05", true, false, "1", "True", "False"},
      {"a negative rate", "True", "False", "-5", true, false, "1", "True", "False"},
      {"a rate above the last item", "True", "False", "61", true, false, "1", "True", "False"},
      {"a rate with a unit", "True", "False", "20fps", true, false, "1", "True", "False"},
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
  // The item already selected leaves the rate as it is; no item at all
  // writes nothing.
  input.selectItem(*s.cboFrames, 8);
  EXPECT_EQ(stored("fps"), "30");
  const int writes = services.settings.writes();
  s.cboFrames->setListIndex(-1);
  EXPECT_EQ(services.settings.writes(), writes);
  EXPECT_EQ(stored("fps"), "30");
  input.selectItem(*s.cboFrames, 11);
  EXPECT_EQ(stored("fps"), "60");
  input.selectItem(*s.cboFrames, 8);
  input.click(*s.optSystem);
  EXPECT_FALSE(s.cboFrames->enabled());
  EXPECT_EQ(s.cboFrames->text(), "30") << "greying keeps the selection";
  EXPECT_EQ(stored("SysSetting"), "True");
}

// However the dialog is closed it is only hidden: the next showing finds
// the same window with its choices, folder and greying as they were left,
// and reads nothing from the store again.
TEST_F(AppTest, ClosingKeepsTheDialogAndItsStateWithoutRereading) {
  services.files.addFolder("D:\\Movies");
  services.files.addFolder("D:\\Movies\\Holiday");
  struct Case {
    const char* what;
    std::function<void(AppTest&)> close;
  } cases[] = {
      {"the close control", [](AppTest& t) { t.input.requestClose(t.settings().window()); }},
      {"the Close button", [](AppTest& t) { t.input.click(*t.settings().cmdClose); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    services.settings = MemorySettingsStore();
    store("folder", "D:\\Movies");
    start();
    bar().window();
    ws.queueModalAnswer([&](Window&) {
      input.click(*settings().optUser);
      input.selectItem(*settings().cboFrames, 6);
      input.doubleClickItem(settings().Dir->control, 2);
      c.close(*this);
    });
    input.click(*bar().cmdSettings);
    EXPECT_FALSE(settings().window().visible());
    // A headless window that was destroyed would still show again.
    EXPECT_FALSE(static_cast<HeadlessWindow&>(settings().window()).destroyed()) << "the close is refused";
    EXPECT_FALSE(ws.ended());
    // Changed behind the dialog's back: not re-read.
    store("fps", "60");
    store("UserSetting", "False");
    store("folder", "D:\\Movies");
    ws.queueModalAnswer([&](Window&) { input.click(*settings().cmdClose); });
    input.click(*bar().cmdSettings);
    EXPECT_EQ(std::count(app->creationOrder().begin(), app->creationOrder().end(), "frmSettings"), 1)
        << "the same dialog, not a new one";
    EXPECT_EQ(settings().cboFrames->text(), "15");
    EXPECT_TRUE(settings().optUser->value());
    EXPECT_FALSE(settings().optSystem->value());
    EXPECT_TRUE(settings().cboFrames->enabled());
    EXPECT_TRUE(settings().lblfps->enabled());
    EXPECT_EQ(settings().Dir->path(), "D:\\Movies\\Holiday");
    EXPECT_EQ(ws.unansweredModals(), 0);
  }
}

TEST_F(AppTest, BadStoredFolderFallsBackToTheProgramFolder) {
  services.files.addFile("D:\\Movies\\notes.txt");
  services.files.addDrive("E:", false);
  services.files.addShare("\\\\server\\share");
  struct Case {
    const char* what;
    const char* folder;
  } cases[] = {
      {"missing folder", "D:\\Gone\\Away"},
      {"drive not ready", "E:\\Movies"},
      {"a file, not a folder", "D:\\Movies\\notes.txt"},
      {"no such drive", "Q:\\x"},
      {"not a path", "garbage"},
      {"a share out of reach", "\\\\gone\\share\\Movies"},
      {"a server without a share", "\\\\server"},
      {"a share without that folder", "\\\\server\\share\\Gone"},
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
  services.files.addFolder("D:\\Movies\\Holiday");
  start();
  FrmSettings& s = settings();
  s.window().show();
  pickDrive(*s.Drv, "D:");
  EXPECT_EQ(s.Dir->path(), "D:\\Movies") << "a drive opens at its current folder";
  EXPECT_EQ(stored("folder"), "D:\\Movies");
  EXPECT_EQ(file().Dir->path(), "D:\\Movies") << "the movie dialog follows";
  pickDrive(*s.Drv, "E:");
  EXPECT_EQ(s.Drv->drive(), "D:");
  EXPECT_EQ(s.Dir->path(), "D:\\Movies");
  EXPECT_EQ(stored("folder"), "D:\\Movies");

  // Away from the drive's current folder, the folder list stays where it
  // was, and nothing is stored.
  input.doubleClickItem(s.Dir->control, 2);
  ASSERT_EQ(s.Dir->path(), "D:\\Movies\\Holiday");
  int writes = services.settings.writes();
  pickDrive(*s.Drv, "E:");
  EXPECT_EQ(s.Drv->drive(), "D:");
  EXPECT_EQ(s.Drv->control.text(), "D:");
  EXPECT_EQ(s.Dir->path(), "D:\\Movies\\Holiday");
  EXPECT_EQ(stored("folder"), "D:\\Movies\\Holiday");
  EXPECT_EQ(services.settings.writes(), writes);
  EXPECT_EQ(file().Dir->path(), "D:\\Movies\\Holiday");
  input.click(*s.cmdClose);

  // The same in the New movie dialog, whose name box keeps the name.
  FrmFile& f = file();
  f.window().show();
  input.typeText(*f.txtFileName, "clip");
  writes = services.settings.writes();
  pickDrive(*f.Drv, "E:");
  EXPECT_EQ(f.Drv->drive(), "D:");
  EXPECT_EQ(f.Drv->control.text(), "D:");
  EXPECT_EQ(f.Dir->path(), "D:\\Movies\\Holiday");
  EXPECT_EQ(f.txtFileName->text(), "clip");
  EXPECT_EQ(services.settings.writes(), writes);
  EXPECT_EQ(settings().Dir->path(), "D:\\Movies\\Holiday");
  // A ready drive still moves both lists to its current folder.
  pickDrive(*f.Drv, "C:");
  EXPECT_EQ(f.Dir->path(), "C:\\");
  EXPECT_EQ(f.txtFileName->text(), "");
}

// A stick plugged in while the program runs can be picked: the Settings
// button and Record read the drives again, and so does the system's
// announcement, without moving a list or storing anything.
TEST_F(AppTest, DrivesThatComeLaterCanBePicked) {
  services.files.addFolder("D:\\Movies\\Holiday");
  store("folder", "D:\\Movies\\Holiday");
  start();
  FrmSettings& s = settings();
  FrmFile& f = file();
  const auto expectUnmoved = [&](int writes) {
    for (DriveList* drives : {s.Drv.get(), f.Drv.get()}) {
      EXPECT_EQ(drives->drive(), "D:");
      EXPECT_EQ(drives->control.text(), "D:");
    }
    EXPECT_EQ(s.Dir->path(), "D:\\Movies\\Holiday");
    EXPECT_EQ(f.Dir->path(), "D:\\Movies\\Holiday");
    EXPECT_EQ(f.txtFileName->text(), "clip");
    EXPECT_EQ(services.settings.writes(), writes);
  };
  f.window().show();
  input.typeText(*f.txtFileName, "clip");
  input.click(*f.cmdCancel);

  services.files.addDrive("F:");
  int writes = services.settings.writes();
  std::vector<std::string> seen;
  ws.queueModalAnswer([&](Window&) {
    seen = items(s.Drv->control);
    input.click(*s.cmdClose);
  });
  input.click(*bar().cmdSettings);
  EXPECT_EQ(seen, (std::vector<std::string>{"C:", "D:", "F:"})) << "shown by the Settings button";
  expectUnmoved(writes);

  services.files.addDrive("G:");
  ws.queueModalAnswer([&](Window&) {
    seen = items(f.Drv->control);
    input.click(*f.cmdCancel);
  });
  input.click(*bar().cmdtest);
  EXPECT_EQ(seen, (std::vector<std::string>{"C:", "D:", "F:", "G:"})) << "shown by Record";
  expectUnmoved(writes);

  services.files.addDrive("H:");
  services.files.removeDrive("F:");
  input.announceDrivesChanged();
  for (DriveList* drives : {s.Drv.get(), f.Drv.get()})
    EXPECT_EQ(items(drives->control), (std::vector<std::string>{"C:", "D:", "G:", "H:"})) << "announced";
  expectUnmoved(writes);
  s.window().show();
  pickDrive(*s.Drv, "H:");
  EXPECT_EQ(s.Dir->path(), "H:\\");
  EXPECT_EQ(stored("folder"), "H:\\");
  EXPECT_EQ(f.Dir->path(), "H:\\");
}

// The drive of the default folder goes (the stick pulled out, the card
// taken out of its reader): the lists give way to the program's folder, and
// the stored folder stays for when the drive is back.
TEST_F(AppTest, ADriveThatGoesWithTheFolderLeavesTheStoredFolderAsItWas) {
  struct Case {
    const char* what;
    bool unplugged;  // else only its medium goes
    std::vector<std::string> drives;
  } cases[] = {
      {"stick pulled out", true, {"C:", "D:"}},
      {"card taken out", false, {"C:", "D:", "F:"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    services.files.removeDrive("F:");
    services.files.addDrive("F:");
    services.files.addFolder("F:\\Clips");
    services.settings = MemorySettingsStore();
    store("folder", "F:\\Clips");
    start();
    ASSERT_EQ(settings().Dir->path(), "F:\\Clips");
    ASSERT_EQ(file().Dir->path(), "F:\\Clips");
    if (c.unplugged) {
      services.files.removeDrive("F:");
    } else {
      services.files.setDriveReady("F:", false);
    }
    input.announceDrivesChanged();
    const struct {
      const char* dialog;
      DriveList& drives;
      DirList& folders;
    } lists[] = {{"Settings", *settings().Drv, *settings().Dir}, {"New movie", *file().Drv, *file().Dir}};
    for (const auto& l : lists) {
      EXPECT_EQ(l.folders.path(), kProgramFolder) << l.dialog;
      EXPECT_EQ(l.drives.drive(), "C:") << l.dialog;
      EXPECT_EQ(l.drives.control.text(), "C:") << l.dialog;
      EXPECT_EQ(items(l.drives.control), c.drives) << l.dialog;
    }
    EXPECT_EQ(stored("folder"), "F:\\Clips");
  }
}

// Run from a network folder, the program's folder is the default one, and
// the share works as a drive does.
TEST_F(AppTest, ANetworkFolderWorksAsADriveFolderDoes) {
  services.files.addShare("\\\\server\\share");
  services.files.addFolder("\\\\server\\share\\tools\\Clips");
  services.files.setProgramFolder("\\\\server\\share\\tools");
  services.files.setCurrentFolder("D:", "D:\\Movies");
  start();
  FrmSettings& s = settings();
  EXPECT_EQ(s.Dir->path(), "\\\\server\\share\\tools");
  EXPECT_EQ(stored("folder"), "\\\\server\\share\\tools");
  EXPECT_EQ(items(s.Dir->control), (std::vector<std::string>{"\\\\server\\share\\", "  tools", "    Clips"}));
  EXPECT_EQ(s.Dir->control.listIndex(), 1);
  for (DriveList* drives : {s.Drv.get(), file().Drv.get()}) {
    EXPECT_EQ(items(drives->control), (std::vector<std::string>{"C:", "D:", "\\\\server\\share"}));
    EXPECT_EQ(drives->control.text(), "\\\\server\\share");
  }
  EXPECT_EQ(file().Dir->path(), "\\\\server\\share\\tools");

  s.window().show();
  input.doubleClickItem(s.Dir->control, 2);
  EXPECT_EQ(stored("folder"), "\\\\server\\share\\tools\\Clips");
  input.doubleClickItem(s.Dir->control, 0);
  EXPECT_EQ(s.Dir->path(), "\\\\server\\share\\") << "a share's root keeps its backslash";
  EXPECT_EQ(stored("folder"), "\\\\server\\share\\");
  EXPECT_EQ(file().Dir->path(), "\\\\server\\share\\");
  pickDrive(*s.Drv, "D:");
  EXPECT_EQ(stored("folder"), "D:\\Movies");
  pickDrive(*s.Drv, "\\\\server\\share");
  EXPECT_EQ(s.Dir->path(), "\\\\server\\share\\") << "a share opens at its root";
  EXPECT_EQ(stored("folder"), "\\\\server\\share\\");

  // Out of reach, the share is picked in vain, as a drive without a medium.
  pickDrive(*s.Drv, "D:");
  services.files.setDriveReady("\\\\server\\share", false);
  pickDrive(*s.Drv, "\\\\server\\share");
  EXPECT_EQ(s.Drv->control.text(), "D:");
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
