// The file-system behaviour the dialogs rely on, run against the in-memory
// file system natively and the real one on Windows: both must agree, in a
// folder on a drive and in one on a network share alike.
#include <gtest/gtest.h>

#include <algorithm>
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
    bases_.push_back(backend_->base());
    if (!backend_->shareBase().empty()) bases_.push_back(backend_->shareBase());
    for (const std::string& base : bases_) {
      for (const char* name : {"b.avi", "A_B.avi", "ab.avi", "Clip2.avi", "clip.avi", "Überraschung.avi",
                               "映画.avi", "😀.avi"})
        ASSERT_TRUE(backend_->makeFile(at(base, name))) << base << " " << name;
      ASSERT_TRUE(backend_->makeFile(at(base, "hidden.avi"), true, false)) << base;
      ASSERT_TRUE(backend_->makeFile(at(base, "sys.avi"), false, true)) << base;
      ASSERT_TRUE(backend_->makeFile(at(base, "both.avi"), true, true)) << base;
      // A folder that looks like a movie.
      ASSERT_TRUE(backend_->makeFolder(at(base, "sub\\clip.avi"))) << base;
      ASSERT_TRUE(backend_->makeFolder(at(base, "Ёлка"))) << base;
    }
  }

  static std::string at(const std::string& base, const std::string& relative) { return joinPath(base, relative); }
  FileSystem& fs() { return backend_->fs(); }

  std::unique_ptr<FsBackend> backend_;
  // The drive folder, then the share folder where the platform has one.
  std::vector<std::string> bases_;
};

// The "\\?\" spelling of a full path, whatever its length.
std::string extendedForm(const std::string& path) {
  if (path.rfind("\\\\", 0) == 0) return "\\\\?\\UNC\\" + path.substr(2);
  return "\\\\?\\" + path;
}

FileEntry file(std::string name, bool hidden = false, bool system = false) {
  return FileEntry{std::move(name), false, hidden, system};
}
FileEntry folder(std::string name) { return FileEntry{std::move(name), true, false, false}; }

TEST_F(FsContract, ListsEveryEntryWithItsAttributesInNtfsOrder) {
  // Upper-cased UTF-16 order: "AB" before "A_B", "." before "2", and a
  // surrogate pair (the emoji) after every other character here.
  const std::vector<FileEntry> expected = {
      file("ab.avi"),         file("A_B.avi"),        file("b.avi"),   file("both.avi", true, true),
      file("clip.avi"),       file("Clip2.avi"),      file("hidden.avi", true), folder("sub"),
      file("sys.avi", false, true), file("Überraschung.avi"), folder("Ёлка"), file("映画.avi"),
      file("😀.avi")};
  for (const std::string& base : bases_) {
    const std::optional<std::vector<FileEntry>> entries = fs().list(base);
    ASSERT_TRUE(entries.has_value()) << base;
    EXPECT_EQ(show(*entries), show(expected)) << base;
  }
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
  for (const std::string& base : bases_) {
    for (const StatCase& c : cases) {
      const std::optional<FileEntry> got = fs().stat(at(base, c.asked));
      ASSERT_TRUE(got.has_value()) << at(base, c.asked);
      EXPECT_EQ(show(*got), show(c.expected)) << at(base, c.asked);
    }
    // The "\\?\" spelling names the same entries.
    for (const char* asked : {"CLIP.AVI", "sub\\CLIP.AVI", "ёЛКА"}) {
      const std::optional<FileEntry> got = fs().stat(extendedForm(at(base, asked)));
      ASSERT_TRUE(got.has_value()) << extendedForm(at(base, asked));
      EXPECT_EQ(show(*got), show(*fs().stat(at(base, asked)))) << extendedForm(at(base, asked));
    }
  }
}

TEST_F(FsContract, WhatIsNotThereIsNothing) {
  for (const std::string& base : bases_) {
    SCOPED_TRACE(base);
    for (const char* missing : {"missing.avi", "clip.avi\\inner.avi", "missing\\clip.avi", "cl*p.avi", "clip.av?",
                                "clip.avi .avi", "clip"})
      EXPECT_FALSE(fs().stat(at(base, missing)).has_value()) << missing;
    for (const char* unlistable : {"missing", "clip.avi", "sub\\missing"})
      EXPECT_FALSE(fs().list(at(base, unlistable)).has_value()) << unlistable;

    const std::optional<std::vector<FileEntry>> empty = fs().list(at(base, "sub\\clip.avi"));
    ASSERT_TRUE(empty.has_value()) << "an empty folder lists as empty, not as unreadable";
    EXPECT_TRUE(empty->empty());
  }
  // A share the share folder's server does not have is nothing.
  if (bases_.size() > 1) {
    const std::string share = volumeOf(bases_[1]);
    const std::string other = share.substr(0, share.find('\\', 2)) + "\\ks-no-such-share";
    for (const std::string& path : {other + "\\", other + "\\clip.avi"}) {
      EXPECT_FALSE(fs().stat(path).has_value()) << path;
      EXPECT_FALSE(fs().list(path).has_value()) << path;
    }
  }
}

TEST_F(FsContract, PathsPastMaxPathWork) {
  const std::string part(100, 'x');
  for (const std::string& base : bases_) {
    const std::string deep = at(base, part + "\\" + part + "\\" + part);
    SCOPED_TRACE(deep.substr(0, 60));
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
}

// A share's root is a folder as a drive's is, spelt with or without its
// backslash, and the way up from a share folder ends there.
TEST_F(FsContract, ShareRootsAreFolders) {
  if (bases_.size() < 2) GTEST_SKIP() << "no network share to write to on this machine";
  const std::string& base = bases_[1];
  const std::string share = volumeOf(base);
  std::string up = base;
  for (int i = 0; i < 40; ++i) up += "\\..";
  for (const std::string& root : {share + "\\", share, extendedForm(share + "\\"), up}) {
    const std::optional<FileEntry> entry = fs().stat(root);
    ASSERT_TRUE(entry.has_value()) << root;
    EXPECT_TRUE(entry->folder) << root;
    EXPECT_EQ(entry->name, "") << root;
  }
  // The root lists the first folder on the way down to the share folder.
  const std::string below = base.substr(rootLength(base));
  const std::string top = below.substr(0, below.find('\\'));
  const std::optional<std::vector<FileEntry>> entries = fs().list(share + "\\");
  ASSERT_TRUE(entries.has_value());
  EXPECT_TRUE(std::any_of(entries->begin(), entries->end(),
                          [&](const FileEntry& e) { return e.folder && equalsIgnoreCase(e.name, top); }))
      << top;
}

}  // namespace
}  // namespace ks
