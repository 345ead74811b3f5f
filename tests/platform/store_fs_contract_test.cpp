// The file-system behaviour the dialogs rely on, run against the in-memory
// file system natively and the real one on Windows: both must agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/path_rules.h"
#include "platform/store_fs_backend.h"

namespace ks {
namespace {

// Entries as text, so that a failure shows every field.
std::string show(const FileEntry& e) {
  return e.name + (e.folder ? " folder" : "") + (e.hidden ? " hidden" : "") + (e.system ? " system" : "");
}
std::vector<std::string> show(const std::vector<FileEntry>& entries) {
  std::vector<std::string> out;
  for (const FileEntry& e : entries) out.push_back(show(e));
  return out;
}

class FsContract : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = makeFsBackend();
    for (const char* name : {"b.avi", "A_B.avi", "ab.avi", "Clip2.avi", "clip.avi", "Überraschung.avi",
                             "映画.avi", "😀.avi"})
      ASSERT_TRUE(backend_->makeFile(at(name))) << name;
    ASSERT_TRUE(backend_->makeFile(at("hidden.avi"), true, false));
    ASSERT_TRUE(backend_->makeFile(at("sys.avi"), false, true));
    ASSERT_TRUE(backend_->makeFile(at("both.avi"), true, true));
    // A folder that looks like a movie.
    ASSERT_TRUE(backend_->makeFolder(at("sub\\clip.avi")));
    ASSERT_TRUE(backend_->makeFolder(at("Ёлка")));
  }

  std::string at(const std::string& relative) const { return joinPath(backend_->base(), relative); }
  FileSystem& fs() { return backend_->fs(); }

  std::unique_ptr<FsBackend> backend_;
};

FileEntry file(std::string name, bool hidden = false, bool system = false) {
  return FileEntry{std::move(name), false, hidden, system};
}
FileEntry folder(std::string name) { return FileEntry{std::move(name), true, false, false}; }

TEST_F(FsContract, ListsEveryEntryWithItsAttributesInNtfsOrder) {
  const std::optional<std::vector<FileEntry>> entries = fs().list(backend_->base());
  ASSERT_TRUE(entries.has_value());
  // Upper-cased UTF-16 order: "AB" before "A_B", "." before "2", and a
  // surrogate pair (the emoji) after every other character here.
  const std::vector<FileEntry> expected = {
      file("ab.avi"),         file("A_B.avi"),        file("b.avi"),   file("both.avi", true, true),
      file("clip.avi"),       file("Clip2.avi"),      file("hidden.avi", true), folder("sub"),
      file("sys.avi", false, true), file("Überraschung.avi"), folder("Ёлка"), file("映画.avi"),
      file("😀.avi")};
  EXPECT_EQ(show(*entries), show(expected));
}

struct StatCase {
  const char* asked;  // relative to the test's folder
  FileEntry expected;
};

TEST_F(FsContract, StatIgnoresLetterCaseAndGivesTheStoredName) {
  const StatCase cases[] = {
      {"CLIP.AVI", file("clip.avi")},
      {"clip2.AVI", file("Clip2.avi")},
      {"HIDDEN.avi", file("hidden.avi", true)},
      {"Sys.avi", file("sys.avi", false, true)},
      {"BOTH.AVI", file("both.avi", true, true)},
      {"sub\\CLIP.AVI", folder("clip.avi")},
      {"überraschung.AVI", file("Überraschung.avi")},
      {"ёЛКА", folder("Ёлка")},
      {"映画.AVI", file("映画.avi")},
      {"😀.Avi", file("😀.avi")},
      // Win32 drops the trailing dots and blanks of the last component.
      {"clip.avi. .", file("clip.avi")},
      {"sub/../clip.avi", file("clip.avi")},
      {"sub\\.\\clip.avi", folder("clip.avi")},
      {"sub\\", folder("sub")},
  };
  for (const StatCase& c : cases) {
    const std::optional<FileEntry> got = fs().stat(at(c.asked));
    ASSERT_TRUE(got.has_value()) << c.asked;
    EXPECT_EQ(show(*got), show(c.expected)) << c.asked;
  }
}

TEST_F(FsContract, WhatIsNotThereIsNothing) {
  for (const char* missing : {"missing.avi", "clip.avi\\inner.avi", "missing\\clip.avi", "cl*p.avi", "clip.av?",
                              "clip.avi .avi", "clip"})
    EXPECT_FALSE(fs().stat(at(missing)).has_value()) << missing;
  for (const char* unlistable : {"missing", "clip.avi", "sub\\missing"})
    EXPECT_FALSE(fs().list(at(unlistable)).has_value()) << unlistable;

  const std::optional<std::vector<FileEntry>> empty = fs().list(at("sub\\clip.avi"));
  ASSERT_TRUE(empty.has_value()) << "an empty folder lists as empty, not as unreadable";
  EXPECT_TRUE(empty->empty());
}

TEST_F(FsContract, PathsPastMaxPathWork) {
  const std::string part(100, 'x');
  const std::string deep = at(part + "\\" + part + "\\" + part);
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(backend_->makeFile(deep + "\\deep.avi"));

  const std::optional<FileEntry> got = fs().stat(deep + "\\DEEP.avi");
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(show(*got), show(file("deep.avi")));
  const std::optional<std::vector<FileEntry>> entries = fs().list(deep);
  ASSERT_TRUE(entries.has_value());
  EXPECT_EQ(show(*entries), show(std::vector<FileEntry>{file("deep.avi")}));
  const std::optional<std::vector<FileEntry>> parent = fs().list(parentFolder(deep));
  ASSERT_TRUE(parent.has_value());
  EXPECT_EQ(show(*parent), show(std::vector<FileEntry>{folder(part)}));
}

}  // namespace
}  // namespace ks
