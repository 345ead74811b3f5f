#include <gtest/gtest.h>

#include "app/app_fixture.h"

namespace ks::test {
namespace {

class FileDialogTest : public AppTest {
 public:
  void SetUp() override {
    store("folder", "D:\\Movies");
    services.files.addFolder("D:\\Movies\\clip.avi folder");
  }
  // Types a name, presses OK, answers the overwrite question if asked.
  std::string accept(const std::string& name, std::optional<MsgButton> answer = std::nullopt) {
    FrmFile& f = file();
    f.window().show();
    input.typeText(*f.txtFileName, name);
    if (answer) ws.queueMessageBoxAnswer(*answer);
    input.click(*f.cmdOK);
    return f.FileName;
  }
};

TEST_F(FileDialogTest, OkBuildsThePathFromFolderAndName) {
  services.files.addFolder("D:\\Movies\\folder.avi");
  services.files.addShare("\\\\server\\share");
  services.files.addFolder("\\\\server\\share\\Movies");
  start();
  struct Case {
    const char* folder;
    const char* name;
    const char* path;
    int format = 0;  // the Format list's item
  } cases[] = {
      {"D:\\Movies", "clip", "D:\\Movies\\clip.avi"},
      {"D:\\Movies", "clip.AVI", "D:\\Movies\\clip.AVI"},
      {"D:\\Movies", "clip.Avi", "D:\\Movies\\clip.Avi"},
      {"D:\\Movies", "clip.mpg", "D:\\Movies\\clip.mpg.avi"},
      {"D:\\Movies", "clip.avi ", "D:\\Movies\\clip.avi .avi"},
      {"D:\\Movies", "  ", "D:\\Movies\\  .avi"},
      {"D:\\", "clip", "D:\\clip.avi"},
      {"\\\\server\\share\\movies", "clip", "\\\\server\\share\\Movies\\clip.avi"},
      {"\\\\server\\share", "clip", "\\\\server\\share\\clip.avi"},
      {"D:\\Movies", "folder.avi", "D:\\Movies\\folder.avi"},  // a folder is no existing file
      {"D:\\Movies", "r\xC3\xA9sum\xC3\xA9 \xE5\xBD\x95\xE7\x94\xBB", "D:\\Movies\\r\xC3\xA9sum\xC3\xA9 \xE5\xBD\x95\xE7\x94\xBB.avi"},
      {"D:\\Movies", "clip", "D:\\Movies\\clip.avi", 1},
      {"D:\\Movies", "clip", "D:\\Movies\\clip.gif", 2},
      {"D:\\Movies", "clip.GIF", "D:\\Movies\\clip.GIF", 2},
      {"D:\\Movies", "clip.avi", "D:\\Movies\\clip.avi.gif", 2},
      {"D:\\Movies", "clip.gif ", "D:\\Movies\\clip.gif .gif", 2},
      {"D:\\Movies", "clip.gif", "D:\\Movies\\clip.gif.avi", 0},
      {"D:\\Movies", "clip", "D:\\Movies\\clip.mp4", 3},
      {"D:\\Movies", "clip.Mp4", "D:\\Movies\\clip.Mp4", 3},
      {"D:\\Movies", "clip.avi", "D:\\Movies\\clip.avi.mp4", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(file().Dir->setPath(c.folder));
    file().cboFormat->setListIndex(c.format);
    EXPECT_EQ(accept(c.name), c.path);
    EXPECT_FALSE(file().window().visible());
  }
  EXPECT_TRUE(ws.messageBoxTexts().empty());
  EXPECT_TRUE(ws.warnings().empty());
}

// No folder at all can be opened (the program's share is out of reach and
// nothing else is stored): OK says so and builds no path.
TEST_F(FileDialogTest, WithoutAnyFolderOkSaysSoAndAcceptsNothing) {
  services.files.addShare("\\\\server\\share", false);
  services.files.setProgramFolder("\\\\server\\share\\tools");
  services.settings = MemorySettingsStore();
  start();
  ASSERT_EQ(file().Dir->path(), "");
  EXPECT_EQ(stored("folder"), "<absent>");
  file().FileName = "D:\\Movies\\earlier.avi";
  EXPECT_EQ(accept("clip"), "");
  EXPECT_TRUE(file().window().visible()) << "stays in the dialog";
  ASSERT_EQ(ws.warnings().size(), 1u);
  EXPECT_EQ(ws.warnings().back(), kNoFolder);
  EXPECT_TRUE(ws.messageBoxTexts().empty());
}

TEST_F(FileDialogTest, EmptyNameDoesNothing) {
  start();
  file().FileName = "D:\\Movies\\earlier.avi";
  EXPECT_EQ(accept(""), "D:\\Movies\\earlier.avi");
  EXPECT_TRUE(file().window().visible());
  EXPECT_TRUE(ws.warnings().empty());
}

TEST_F(FileDialogTest, ExistingFileAsksBeforeOverwriting) {
  services.files.addFile("D:\\Movies\\clip.avi");
  services.files.addFile("D:\\Movies\\secret.avi", /*hidden=*/true);
  services.files.addFile("D:\\Movies\\sys.avi", false, /*system=*/true);
  services.files.addFile("D:\\Movies\\loop.gif");
  services.files.addFile("D:\\Movies\\talk.mp4");
  start();
  struct Case {
    const char* name;
    std::optional<MsgButton> answer;
    const char* fileName;
    bool asked;
    int format = 0;  // the Format list's item
  } cases[] = {
      {"clip", MsgButton::No, "", true},
      {"clip", MsgButton::Cancel, "", true},
      {"CLIP.avi", MsgButton::Yes, "D:\\Movies\\CLIP.avi", true},
      {"secret", std::nullopt, "D:\\Movies\\secret.avi", false},
      {"sys", std::nullopt, "D:\\Movies\\sys.avi", false},
      {"loop", MsgButton::No, "", true, 2},
      {"LOOP.gif", MsgButton::Yes, "D:\\Movies\\LOOP.gif", true, 2},
      {"clip", std::nullopt, "D:\\Movies\\clip.gif", false, 2},
      {"loop", std::nullopt, "D:\\Movies\\loop.avi", false, 1},
      {"talk", MsgButton::No, "", true, 3},
      {"TALK.MP4", MsgButton::Yes, "D:\\Movies\\TALK.MP4", true, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    file().cboFormat->setListIndex(c.format);
    const std::size_t before = ws.messageBoxTexts().size();
    EXPECT_EQ(accept(c.name, c.answer), c.fileName);
    EXPECT_EQ(ws.messageBoxTexts().size() - before, c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(ws.messageBoxTexts().back(),
                "This file already exists.  Are you sure you want to over-write this file?");
      EXPECT_EQ(ws.messageBoxDefaults().back(), MsgButton::Cancel);
    }
    EXPECT_EQ(file().window().visible(), std::string(c.fileName).empty());
  }
}

TEST_F(FileDialogTest, OverwriteQuestionDefaultsToCancel) {
  services.files.addFile("D:\\Movies\\clip.avi");
  start();
  EXPECT_EQ(accept("clip"), "") << "without an answer the default button, Cancel, wins";
}

TEST_F(FileDialogTest, NamesTheFileSystemRejectsAreReportedAndNeverAccepted) {
  start();
  const std::string names[] = {"a|b", "a<b", "a>b", "a\"b", "a*b", "a?b", "a:b", "CON", "nul", "com1.avi", "LPT9",
                               "D:\\Other\\clip", "sub\\clip", std::string(300, 'x')};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.substr(0, 20));
    const std::size_t before = ws.warnings().size();
    file().FileName = "";
    EXPECT_EQ(accept(name), "");
    EXPECT_TRUE(file().window().visible()) << "stays in the dialog";
    EXPECT_EQ(ws.warnings().size(), before + 1) << "one short message";
  }
  EXPECT_TRUE(ws.messageBoxTexts().empty()) << "no overwrite question for rejected names";
}

TEST_F(FileDialogTest, FileListShowsMovieFilesAndClickingOneNamesIt) {
  services.files.addFile("D:\\Movies\\b.AVI");
  services.files.addFile("D:\\Movies\\a.avi");
  services.files.addFile("D:\\Movies\\notes.txt");
  services.files.addFile("D:\\Movies\\hidden.avi", true);
  services.files.addFile("D:\\Movies\\system.avi", false, true);
  start();
  FileList& list = *file().filList;
  ASSERT_EQ(list.control.listCount(), 2);
  EXPECT_EQ(list.control.list(0), "a.avi");
  EXPECT_EQ(list.control.list(1), "b.AVI");
  file().window().show();
  input.selectItem(list.control, 1);
  EXPECT_EQ(file().txtFileName->text(), "b.AVI");
  ws.queueMessageBoxAnswer(MsgButton::Yes);
  input.click(*file().cmdOK);
  EXPECT_EQ(ws.messageBoxTexts().size(), 1u);
  EXPECT_EQ(file().FileName, "D:\\Movies\\b.AVI");
  // Choosing GIF lists the GIFs instead.
  services.files.addFile("D:\\Movies\\loop.Gif");
  file().window().show();
  input.selectItem(*file().cboFormat, 2);
  ASSERT_EQ(list.control.listCount(), 1);
  EXPECT_EQ(list.control.list(0), "loop.Gif");
  // And MP4 the MP4s.
  services.files.addFile("D:\\Movies\\talk.MP4");
  input.selectItem(*file().cboFormat, 3);
  ASSERT_EQ(list.control.listCount(), 1);
  EXPECT_EQ(list.control.list(0), "talk.MP4");
}

TEST_F(FileDialogTest, ChangingTheFolderEmptiesTheName) {
  services.files.addFolder("D:\\Movies\\Sub");
  start();
  file().window().show();
  input.typeText(*file().txtFileName, "clip");
  input.doubleClickItem(file().Dir->control, 3);
  EXPECT_EQ(file().Dir->path(), "D:\\Movies\\Sub");
  EXPECT_EQ(file().txtFileName->text(), "");
}

// Cancel and a close request after an accepted OK: no file either way.
// Cancel hides the dialog, which keeps its folder and name; a close request
// unloads it, and whatever touches it next (a showing, or a folder change in
// Settings, through fixpaths) loads it afresh on the stored folder.
TEST_F(FileDialogTest, CancelAndCloseAfterAnAcceptedOkLeaveNoFile) {
  services.files.addFolder("D:\\Movies\\Sub");
  services.files.addFolder("D:\\Other");
  services.files.addFile("D:\\Other\\old.avi");
  struct Case {
    const char* what;
    bool close;                 // a close request instead of Cancel
    bool settingsFolderChange;  // then the Settings dialog moves the folder to D:\Other
    bool loaded;                // the dialog is loaded after it all
    const char* folder;         // its folder list and file list
    const char* name;           // its name box
  } cases[] = {
      {"Cancel", false, false, true, "D:\\Movies\\Sub", "second"},
      {"a close request", true, false, false, "D:\\Movies", ""},
      {"Cancel, then a folder change in Settings", false, true, true, "D:\\Other", ""},
      {"a close request, then a folder change in Settings", true, true, true, "D:\\Other", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    services.settings = MemorySettingsStore();
    store("folder", "D:\\Movies");
    start();
    EXPECT_EQ(accept("first"), "D:\\Movies\\first.avi");
    file().window().show();
    input.doubleClickItem(file().Dir->control, 3);
    ASSERT_EQ(file().Dir->path(), "D:\\Movies\\Sub");
    input.typeText(*file().txtFileName, "second");
    if (c.close) {
      input.requestClose(file().window());
    } else {
      input.click(*file().cmdCancel);
      EXPECT_FALSE(file().window().visible());
      EXPECT_EQ(file().FileName, "");
    }
    if (c.settingsFolderChange) {
      ASSERT_TRUE(settings().Dir->setPath("D:\\Other"));
      EXPECT_EQ(stored("folder"), "D:\\Other");
    }
    EXPECT_EQ(app->frmFileLoaded(), c.loaded);
    EXPECT_EQ(file().FileName, "");
    EXPECT_EQ(file().Dir->path(), c.folder);
    EXPECT_EQ(file().filList->path(), c.folder);
    EXPECT_EQ(file().Drv->control.text(), "D:");
    EXPECT_EQ(file().txtFileName->text(), c.name);
    EXPECT_FALSE(file().window().visible());
  }
}

// "Path" is read once, by the bar's Load: a folder that opens moves the
// folder list (and only it), anything else leaves the stored folder.
TEST_F(FileDialogTest, StoredPathMovesTheFolderListAtStartUp) {
  services.files.addFolder("D:\\Movies\\Sub");
  services.files.addFolder("C:\\Clips");
  services.files.addShare("\\\\server\\share");
  services.files.addFolder("\\\\server\\share\\Clips");
  struct Case {
    const char* path;
    const char* folderList;
  } cases[] = {
      {"", "D:\\Movies"},
      {"C:\\Clips", "C:\\Clips"},
      {"d:\\movies\\sub\\", "D:\\Movies\\Sub"},
      {"C:\\", "C:\\"},
      {"\\\\server\\share\\clips", "\\\\server\\share\\Clips"},
      {"Q:\\Gone", "D:\\Movies"},
      {"D:\\Movies\\missing", "D:\\Movies"},
      {"relative", "D:\\Movies"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    services.settings = MemorySettingsStore();
    store("folder", "D:\\Movies");
    store("Path", c.path);
    start();
    EXPECT_EQ(file().Dir->path(), c.folderList);
    EXPECT_EQ(file().filList->path(), c.folderList);
    EXPECT_EQ(file().Drv->control.text(), "D:") << "the drive list stays on the stored folder's drive";
    EXPECT_EQ(stored("folder"), "D:\\Movies");
    EXPECT_EQ(stored("Path"), c.path);
  }
}

TEST_F(FileDialogTest, HiddenDialogKeepsFolderAndName) {
  start();
  EXPECT_EQ(accept("clip"), "D:\\Movies\\clip.avi");
  services.files.addFile("D:\\Movies\\clip.avi");  // the recording made it
  EXPECT_EQ(file().txtFileName->text(), "clip");
  ws.queueMessageBoxAnswer(MsgButton::Yes);
  file().window().show();
  input.click(*file().cmdOK);
  EXPECT_EQ(ws.messageBoxTexts().size(), 1u) << "pressing OK unchanged asks before overwriting";
}

// The Format list beside OK: what the store says is shown at Load without
// being written again; a pick is stored at once and survives a restart.
TEST_F(FileDialogTest, FormatListShowsAndStoresTheCompression) {
  struct Case {
    const char* stored;  // nullptr: absent
    int shown;
  };
  const Case cases[] = {{nullptr, 0}, {"None", 0}, {"ZMBV", 1}, {"zmbv", 0}, {"Lossless", 0}, {"", 0},
                        {"GIF", 2}, {"gif", 0}, {"MP4", 3}, {"mp4", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "absent");
    TestServices fresh;
    fresh.settings.write(kAppName, kSection, "folder", "D:\\Movies");
    if (c.stored) fresh.settings.write(kAppName, kSection, "Compression", c.stored);
    HeadlessWindowSystem windows;
    App program(fresh.platform(windows));
    Main(program);
    ComboBox& list = *program.frmFile().cboFormat;
    EXPECT_EQ(list.listIndex(), c.shown);
    EXPECT_EQ(fresh.settings.read(kAppName, kSection, "Compression"),
              c.stored ? std::optional<std::string>(c.stored) : std::nullopt)
        << "Load writes nothing";
  }
  start();
  ComboBox& list = *file().cboFormat;
  ASSERT_EQ(list.listCount(), 4);
  EXPECT_EQ(list.list(0), "Uncompressed AVI");
  EXPECT_EQ(list.list(1), "Lossless AVI (ZMBV)");
  EXPECT_EQ(list.list(2), "Animated GIF");
  EXPECT_EQ(list.list(3), "MP4 (H.264)");
  EXPECT_EQ(list.left(), 240);
  EXPECT_EQ(list.top(), 3600);
  EXPECT_EQ(list.width(), 2295);
  EXPECT_EQ(list.tabIndex(), 6);
  file().window().show();
  input.selectItem(list, 1);
  EXPECT_EQ(stored("Compression"), "ZMBV");
  EXPECT_EQ(file().movieFormat(), MovieFormat::Zmbv);
  input.selectItem(list, 2);
  EXPECT_EQ(stored("Compression"), "GIF");
  EXPECT_EQ(file().movieFormat(), MovieFormat::Gif);
  input.selectItem(list, 3);
  EXPECT_EQ(stored("Compression"), "MP4");
  EXPECT_EQ(file().movieFormat(), MovieFormat::Mp4);
  input.selectItem(list, 0);
  EXPECT_EQ(stored("Compression"), "None");
  input.selectItem(list, 1);
  // A restart on the same store shows the choice.
  app.reset();
  start();
  EXPECT_EQ(file().cboFormat->listIndex(), 1);
}

}  // namespace
}  // namespace ks::test
