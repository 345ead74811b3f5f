// What only the in-memory file system has: drives and their state set up
// by the test, and the Windows refusals when a tree is built.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/memory_file_system.h"

namespace ks {
namespace {

std::vector<std::string> names(const std::optional<std::vector<FileEntry>>& entries) {
  std::vector<std::string> out;
  if (entries)
    for (const FileEntry& e : *entries) out.push_back(e.name);
  return out;
}

TEST(MemoryFileSystem, DrivesAreListedInLetterOrderWhateverTheirState) {
  MemoryFileSystem fs;
  EXPECT_TRUE(fs.addDrive("Z:", true, "root"));
  EXPECT_TRUE(fs.addDrive("c:", true, "System"));
  EXPECT_TRUE(fs.addDrive("E:", false));
  for (const char* refused : {"C:", "z:", "CD", "C:\\", "", "1:", "\\\\server\\share"})
    EXPECT_FALSE(fs.addDrive(refused)) << refused;
  // A share has no letter: it is no drive.
  EXPECT_TRUE(fs.addShare("\\\\server\\share"));
  for (const char* refused : {"\\\\SERVER\\Share", "\\\\server", "\\\\server\\", "\\\\server\\other\\", "D:", ""})
    EXPECT_FALSE(fs.addShare(refused)) << refused;
  EXPECT_EQ(fs.drives(), (std::vector<std::string>{"C:", "E:", "Z:"}));
  // Unplugged, and plugged in again.
  EXPECT_TRUE(fs.removeDrive("e:"));
  for (const char* refused : {"E:", "Q:", "E:\\", ""}) EXPECT_FALSE(fs.removeDrive(refused)) << refused;
  EXPECT_EQ(fs.drives(), (std::vector<std::string>{"C:", "Z:"}));
  EXPECT_TRUE(fs.addDrive("E:", false));
  EXPECT_EQ(fs.drives(), (std::vector<std::string>{"C:", "E:", "Z:"}));
  EXPECT_EQ(fs.volumeLabel("C:"), "System");
  EXPECT_EQ(fs.volumeLabel("Q:"), "");

  const std::pair<const char*, bool> ready[] = {{"C:", true}, {"c:", true}, {"E:", false}, {"Q:", false},
                                                {"C:\\", false}, {"", false},
                                                {"\\\\server\\share", false}};
  for (const auto& [drive, expected] : ready) EXPECT_EQ(fs.driveReady(drive), expected) << drive;
}

TEST(MemoryFileSystem, ADriveWithoutAMediumShowsNothingUntilItIsBack) {
  MemoryFileSystem fs;
  fs.addDrive("E:", true);
  ASSERT_TRUE(fs.addFile("E:\\Clips\\one.avi"));
  ASSERT_TRUE(fs.setCurrentFolder("E:", "E:\\Clips"));

  ASSERT_TRUE(fs.setDriveReady("E:", false));
  EXPECT_FALSE(fs.driveReady("E:"));
  EXPECT_FALSE(fs.stat("E:\\Clips\\one.avi").has_value());
  EXPECT_FALSE(fs.stat("E:\\").has_value());
  EXPECT_FALSE(fs.list("E:\\").has_value());
  EXPECT_EQ(fs.currentFolder("E:"), "E:\\");
  EXPECT_EQ(fs.drives(), (std::vector<std::string>{"E:"}));

  ASSERT_TRUE(fs.setDriveReady("E:", true));
  EXPECT_EQ(fs.currentFolder("E:"), "E:\\Clips");
  EXPECT_EQ(names(fs.list("E:\\Clips")), (std::vector<std::string>{"one.avi"}));

  // A share out of reach, and back.
  ASSERT_TRUE(fs.addShare("\\\\server\\share"));
  ASSERT_TRUE(fs.addFile("\\\\server\\share\\Clips\\two.avi"));
  ASSERT_TRUE(fs.setDriveReady("\\\\server\\share", false));
  EXPECT_FALSE(fs.stat("\\\\server\\share\\").has_value());
  EXPECT_FALSE(fs.list("\\\\SERVER\\share\\Clips").has_value());
  ASSERT_TRUE(fs.setDriveReady("\\\\Server\\Share", true));
  EXPECT_EQ(names(fs.list("\\\\SERVER\\share\\Clips")), (std::vector<std::string>{"two.avi"}));
  EXPECT_EQ(fs.currentFolder("\\\\server\\share"), "") << "a share has no current folder";
  EXPECT_FALSE(fs.setCurrentFolder("\\\\server\\share", "\\\\server\\share\\Clips"));
}

TEST(MemoryFileSystem, EachDriveHasItsOwnCurrentFolder) {
  MemoryFileSystem fs;
  fs.addDrive("C:");
  fs.addDrive("D:");
  ASSERT_TRUE(fs.addFolder("D:\\Movies\\2024"));
  ASSERT_TRUE(fs.addFile("D:\\Movies\\clip.avi"));
  EXPECT_EQ(fs.currentFolder("D:"), "D:\\");
  EXPECT_EQ(fs.currentFolder("Q:"), "Q:\\");

  EXPECT_TRUE(fs.setCurrentFolder("D:", "D:\\Movies"));
  EXPECT_FALSE(fs.setCurrentFolder("D:", "D:\\Missing"));
  EXPECT_FALSE(fs.setCurrentFolder("D:", "D:\\Movies\\clip.avi"));
  EXPECT_FALSE(fs.setCurrentFolder("C:", "D:\\Movies"));
  EXPECT_EQ(fs.currentFolder("D:"), "D:\\Movies");
  EXPECT_EQ(fs.currentFolder("C:"), "C:\\");

  // "D:name" is relative to D's current folder, as in Win32.
  const std::optional<FileEntry> relative = fs.stat("D:clip.avi");
  ASSERT_TRUE(relative.has_value());
  EXPECT_EQ(relative->name, "clip.avi");
  EXPECT_EQ(names(fs.list("D:")), (std::vector<std::string>{"2024", "clip.avi"}));
  EXPECT_EQ(names(fs.list("D:..")), (std::vector<std::string>{"Movies"}));

  EXPECT_TRUE(fs.setCurrentFolder("D:", "d:\\"));
  EXPECT_EQ(fs.currentFolder("D:"), "D:\\");
}

TEST(MemoryFileSystem, RefusesWhatWindowsRefuses) {
  MemoryFileSystem fs;
  fs.addDrive("D:");
  ASSERT_TRUE(fs.addFile("D:\\Movies\\clip.avi"));
  const char* refusedFiles[] = {"Q:\\clip.avi",           "D:\\Movies\\clip.avi\\inner.avi",
                                "D:\\Movies\\a|b.avi",    "D:\\Movies\\nul.avi",
                                "D:\\Movies\\CON .avi",   "D:\\Movies\\COM1",
                                "D:\\",                   "D:\\Movies\\x\"y.avi",
                                "D:\\Movies\\lpt2\\x.avi", "relative\\clip.avi"};
  for (const char* path : refusedFiles) EXPECT_FALSE(fs.addFile(path)) << path;
  EXPECT_FALSE(fs.addFolder("D:\\Movies\\clip.avi")) << "a file is in the way";
  EXPECT_FALSE(fs.addFolder("D:\\Movies\\clip.avi\\sub"));
  EXPECT_FALSE(fs.addFile("D:\\Movies", true)) << "a folder is in the way";
  EXPECT_FALSE(fs.addFile("D:\\" + std::string(256, 'n')));
  EXPECT_TRUE(fs.addFile("D:\\" + std::string(255, 'n')));
  // Nothing half-made is left behind.
  EXPECT_EQ(names(fs.list("D:\\Movies")), (std::vector<std::string>{"clip.avi"}));
}

TEST(MemoryFileSystem, KeepsTheFirstSpellingOfAName) {
  MemoryFileSystem fs;
  fs.addDrive("D:");
  ASSERT_TRUE(fs.addFile("D:\\Movies\\Clip.AVI"));
  ASSERT_TRUE(fs.addFile("d:\\MOVIES\\clip.avi", true, false));
  ASSERT_TRUE(fs.addFolder("D:\\movies"));
  const std::optional<std::vector<FileEntry>> root = fs.list("D:\\");
  ASSERT_TRUE(root.has_value());
  ASSERT_EQ(root->size(), 1u);
  EXPECT_EQ(root->front().name, "Movies");
  const std::optional<std::vector<FileEntry>> movies = fs.list("D:\\Movies");
  ASSERT_TRUE(movies.has_value());
  ASSERT_EQ(movies->size(), 1u);
  EXPECT_EQ(movies->front().name, "Clip.AVI");
  EXPECT_TRUE(movies->front().hidden) << "a second add changes the attributes";
}

TEST(MemoryFileSystem, RemovesFilesAndWholeFolders) {
  MemoryFileSystem fs;
  fs.addDrive("D:");
  ASSERT_TRUE(fs.addFile("D:\\Movies\\old\\a.avi"));
  ASSERT_TRUE(fs.addFile("D:\\Movies\\clip.avi"));
  EXPECT_TRUE(fs.remove("D:\\movies\\CLIP.AVI"));
  EXPECT_FALSE(fs.stat("D:\\Movies\\clip.avi").has_value());
  EXPECT_TRUE(fs.remove("D:\\Movies\\old"));
  EXPECT_FALSE(fs.stat("D:\\Movies\\old\\a.avi").has_value());
  EXPECT_EQ(names(fs.list("D:\\Movies")), std::vector<std::string>{});
  for (const char* refused : {"D:\\", "D:\\Movies\\missing", "Q:\\Movies"}) EXPECT_FALSE(fs.remove(refused)) << refused;
  ASSERT_TRUE(fs.stat("D:\\").has_value());
  EXPECT_TRUE(fs.stat("D:\\")->folder);
}

}  // namespace
}  // namespace ks
