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
  start();
  struct Case {
    const char* folder;
    const char* name;
    const char* path;
  } cases[] = {
      {"D:\\Movies", "clip", "D:\\Movies\\clip.avi"},
      {"D:\\Movies", "clip.AVI", "D:\\Movies\\clip.AVI"},
      {"D:\\Movies", "clip.Avi", "D:\\Movies\\clip.Avi"},
      {"D:\\Movies", "clip.mpg", "D:\\Movies\\clip.mpg.avi"},
      {"D:\\Movies", "clip.avi ", "D:\\Movies\\clip.avi .avi"},
      {"D:\\Movies", "  ", "D:\\Movies\\  .avi"},
      {"D:\\", "clip", "D:\\clip.avi"},
      {"D:\\Movies", "folder.avi", "D:\\Movies\\folder.avi"},  // a folder is no existing file
      {"D:\\Movies", "r\xC3\xA9sum\xC3\xA9 \xE5\xBD\x95\xE7\x94\xBB", "D:\\Movies\\r\xC3\xA9sum\xC3\xA9 \xE5\xBD\x95\xE7\x94\xBB.avi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(file().Dir->setPath(c.folder));
    EXPECT_EQ(accept(c.name), c.path);
    EXPECT_FALSE(file().window().visible());
  }
  EXPECT_TRUE(ws.messageBoxTexts().empty());
  EXPECT_TRUE(ws.warnings().empty());
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
  start();
  struct Case {
    const char* name;
    std::optional<MsgButton> answer;
    const char* fileName;
    bool asked;
  } cases[] = {
      {"clip", MsgButton::No, "", true},
      {"clip", MsgButton::Cancel, "", true},
      {"CLIP.avi", MsgButton::Yes, "D:\\Movies\\CLIP.avi", true},
      {"secret", std::nullopt, "D:\\Movies\\secret.avi", false},
      {"sys", std::nullopt, "D:\\Movies\\sys.avi", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
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
  const char* names[] = {"a|b", "a<b", "a>b", "a\"b", "a*b", "a?b", "a:b", "CON", "nul", "com1.avi", "LPT9",
                         "D:\\Other\\clip", "sub\\clip", std::string(300, 'x').c_str()};
  const std::string longName(300, 'x');
  for (const char* n : names) {
    const std::string name = std::string(n).size() == 300 ? longName : std::string(n);
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

TEST_F(FileDialogTest, CancelAndCloseAfterAnAcceptedOkLeaveNoFile) {
  start();
  EXPECT_EQ(accept("first"), "D:\\Movies\\first.avi");
  file().window().show();
  input.click(*file().cmdCancel);
  EXPECT_EQ(file().FileName, "");
  EXPECT_EQ(accept("second"), "D:\\Movies\\second.avi");
  file().window().show();
  input.requestClose(file().window());
  EXPECT_FALSE(app->frmFileLoaded()) << "closed, not hidden";
  EXPECT_EQ(file().FileName, "") << "the next touch loads it afresh";
  EXPECT_EQ(file().txtFileName->text(), "");
  EXPECT_EQ(file().Dir->path(), "D:\\Movies");
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

}  // namespace
}  // namespace ks::test
