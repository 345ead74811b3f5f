// What only the real file system has: the machine's drives, the per-drive
// current folders of the process, and the program's own folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/path_rules.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_native.h"

namespace ks {
namespace {

bool underWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string windowsDrive() {
  wchar_t folder[MAX_PATH] = {};
  GetWindowsDirectoryW(folder, MAX_PATH);
  return driveOf(win32::fromWide(folder));
}

// A letter no drive uses, from the end of the alphabet.
std::optional<char> unusedLetter() {
  const DWORD used = GetLogicalDrives();
  for (int bit = 24; bit >= 3; --bit)
    if (!(used & (DWORD{1} << bit))) return static_cast<char>('A' + bit);
  return std::nullopt;
}

// Restores the process's current folder and a drive's remembered one.
class CurrentFolderScope {
 public:
  explicit CurrentFolderScope(wchar_t letter) : variable_{L'=', letter, L':'} {
    std::wstring folder(32768, L'\0');
    if (GetCurrentDirectoryW(32768, folder.data())) process_ = folder.c_str();
    const DWORD length = GetEnvironmentVariableW(variable_.c_str(), folder.data(), 32768);
    if (length > 0 && length < 32768) remembered_ = folder.c_str();
  }
  CurrentFolderScope(const CurrentFolderScope&) = delete;
  CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;
  ~CurrentFolderScope() {
    if (!process_.empty()) SetCurrentDirectoryW(process_.c_str());
    SetEnvironmentVariableW(variable_.c_str(), remembered_ ? remembered_->c_str() : nullptr);
  }

 private:
  std::wstring variable_;
  std::wstring process_;
  std::optional<std::wstring> remembered_;
};

TEST(Win32FileSystem, ListsTheMachinesDrivesInOrder) {
  Win32FileSystem fs;
  const std::vector<std::string> drives = fs.drives();
  ASSERT_FALSE(drives.empty());
  for (const std::string& d : drives) {
    EXPECT_EQ(d.size(), 2u) << d;
    EXPECT_TRUE(d[0] >= 'A' && d[0] <= 'Z' && d[1] == ':') << d;
  }
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  const std::string system = windowsDrive();
  EXPECT_NE(std::find(drives.begin(), drives.end(), system), drives.end()) << system;
  EXPECT_TRUE(fs.driveReady(system));
  EXPECT_TRUE(fs.driveReady("c:") || system != "C:");
  if (underWine()) {
    // Wine maps the Unix root to Z:.
    EXPECT_NE(std::find(drives.begin(), drives.end(), "Z:"), drives.end());
    EXPECT_TRUE(fs.driveReady("Z:"));
  }
  const std::optional<char> free = unusedLetter();
  ASSERT_TRUE(free.has_value());
  EXPECT_FALSE(fs.driveReady({*free, ':'}));
  for (const char* bogus : {"", "C", "C:\\", "CC:", "1:"}) EXPECT_FALSE(fs.driveReady(bogus)) << bogus;
}

// A drive letter substituted for a folder that does not exist: listed, but
// nothing can be read from it, as from an empty card reader.
TEST(Win32FileSystem, ADriveThatCannotBeReadIsNotReady) {
  const std::optional<char> letter = unusedLetter();
  ASSERT_TRUE(letter.has_value());
  const std::wstring device = {static_cast<wchar_t>(*letter), L':'};
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring missing = std::wstring(temp) + L"ks-no-such-folder-" + std::to_wstring(GetCurrentProcessId());
  if (!DefineDosDeviceW(0, device.c_str(), missing.c_str()))
    GTEST_SKIP() << "DefineDosDeviceW failed (" << GetLastError() << "); no drive could be made not ready";
  struct Undefine {
    std::wstring device, target;
    ~Undefine() {
      DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, device.c_str(), target.c_str());
    }
  } undefine{device, missing};

  Win32FileSystem fs;
  const std::string drive = {*letter, ':'};
  const std::vector<std::string> drives = fs.drives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), drive), drives.end());
  EXPECT_FALSE(fs.driveReady(drive));
  EXPECT_EQ(fs.currentFolder(drive), drive + "\\");
  EXPECT_FALSE(fs.list(drive + "\\").has_value());
  EXPECT_FALSE(fs.stat(drive + "\\clip.avi").has_value());
}

TEST(Win32FileSystem, CurrentFolderIsTheOneTheDriveRemembers) {
  Win32FileSystem fs;
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
  std::string tempFolder = win32::fromWide(temp);
  if (!isDriveRoot(tempFolder) && tempFolder.back() == '\\') tempFolder.pop_back();
  const std::string tempDrive = driveOf(tempFolder);
  ASSERT_FALSE(tempDrive.empty());
  {
    // The process's own drive: its current folder.
    const CurrentFolderScope restore(static_cast<wchar_t>(tempDrive[0]));
    ASSERT_TRUE(SetCurrentDirectoryW(win32::toWide(tempFolder)->c_str()));
    EXPECT_TRUE(equalsIgnoreCase(fs.currentFolder(tempDrive), tempFolder)) << fs.currentFolder(tempDrive);
  }
  if (!underWine()) return;
  {
    // Another drive: what "=Z:" holds, as a command prompt leaves it, and
    // the root once nothing is remembered.
    const CurrentFolderScope restore(L'Z');
    ASSERT_TRUE(SetCurrentDirectoryW(temp));
    ASSERT_TRUE(SetEnvironmentVariableW(L"=Z:", L"Z:\\tmp"));
    EXPECT_EQ(fs.currentFolder("Z:"), "Z:\\tmp");
    ASSERT_TRUE(SetEnvironmentVariableW(L"=Z:", nullptr));
    EXPECT_EQ(fs.currentFolder("Z:"), "Z:\\");
  }
  EXPECT_EQ(fs.currentFolder("not a drive"), "");
}

TEST(Win32FileSystem, ProgramFolderHoldsThisProgram) {
  Win32FileSystem fs;
  const std::string folder = fs.programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_FALSE(driveOf(folder).empty()) << folder;
  EXPECT_TRUE(isDriveRoot(folder) || folder.back() != '\\') << folder;
  const std::optional<FileEntry> self = fs.stat(joinPath(folder, "ks_store_fs_win_tests.exe"));
  ASSERT_TRUE(self.has_value()) << folder;
  EXPECT_FALSE(self->folder);
  const std::optional<FileEntry> holder = fs.stat(folder);
  ASSERT_TRUE(holder.has_value());
  EXPECT_TRUE(holder->folder);
}

TEST(Win32FileSystem, RootsAreFolders) {
  Win32FileSystem fs;
  const std::string root = windowsDrive() + "\\";
  const std::optional<FileEntry> entry = fs.stat(root);
  ASSERT_TRUE(entry.has_value());
  EXPECT_TRUE(entry->folder);
  EXPECT_EQ(entry->name, "");
  const std::optional<std::vector<FileEntry>> entries = fs.list(root);
  ASSERT_TRUE(entries.has_value());
  EXPECT_TRUE(std::any_of(entries->begin(), entries->end(),
                          [](const FileEntry& e) { return e.folder && equalsIgnoreCase(e.name, "windows"); }));
}

}  // namespace
}  // namespace ks
