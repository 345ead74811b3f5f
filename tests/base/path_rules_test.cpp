#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/path_rules.h"
#include "base/text.h"

namespace ks {
namespace {

struct PieceCase {
  const char* path;
  const char* drive;
  bool root;
  const char* parent;
  const char* name;
  const char* volume;
  bool anyRoot;  // a drive's or a share's
};

TEST(PathRules, SplitsPathsIntoDriveParentAndName) {
  const PieceCase cases[] = {
      {"D:\\Movies\\clip.avi", "D:", false, "D:\\Movies", "clip.avi", "D:", false},
      {"D:\\Movies", "D:", false, "D:\\", "Movies", "D:", false},
      {"D:\\Movies\\", "D:", false, "D:\\", "Movies", "D:", false},
      {"D:\\Movies\\\\clip.avi", "D:", false, "D:\\Movies", "clip.avi", "D:", false},
      {"d:/Movies/clip.avi", "D:", false, "d:/Movies", "clip.avi", "D:", false},
      {"D:\\", "D:", true, "", "", "D:", true},
      {"d:/", "D:", true, "", "", "D:", true},
      {"D:", "D:", false, "", "", "D:", false},
      {"D:clip.avi", "D:", false, "D:", "clip.avi", "D:", false},
      {"C:\\clip.avi", "C:", false, "C:\\", "clip.avi", "C:", false},
      {"\\\\?\\D:\\Movies\\clip.avi", "D:", false, "\\\\?\\D:\\Movies", "clip.avi", "D:", false},
      {"\\\\server\\share\\clip.avi", "", false, "\\\\server\\share\\", "clip.avi", "\\\\server\\share", false},
      {"\\\\server\\share\\", "", false, "", "", "\\\\server\\share", true},
      {"\\\\?\\UNC\\server\\share\\x\\clip.avi", "", false, "\\\\?\\UNC\\server\\share\\x", "clip.avi", "\\\\server\\share", false},
      {"\\Movies\\clip.avi", "", false, "\\Movies", "clip.avi", "", false},
      {"clip.avi", "", false, "", "clip.avi", "", false},
      {"1:\\clip.avi", "", false, "1:", "clip.avi", "", false},
      {"", "", false, "", "", "", false},
      {"D:\\Filme\\Überblick\\映画 😀.avi", "D:", false, "D:\\Filme\\Überblick", "映画 😀.avi", "D:", false},
      {"\\\\server\\share", "", false, "", "", "\\\\server\\share", false},
      {"\\\\Server\\Share\\tools", "", false, "\\\\Server\\Share\\", "tools", "\\\\Server\\Share", false},
      {"//server/share/tools", "", false, "//server/share/", "tools", "\\\\server\\share", false},
      {"\\\\?\\UNC\\server\\share\\", "", false, "", "", "\\\\server\\share", false},
      {"\\\\server", "", false, "", "", "", false},
      {"\\\\server\\", "", false, "", "", "", false},
      {"\\\\?\\D:\\", "D:", false, "", "", "D:", false},
  };
  for (const PieceCase& c : cases) {
    EXPECT_EQ(driveOf(c.path), c.drive) << c.path;
    EXPECT_EQ(isDriveRoot(c.path), c.root) << c.path;
    EXPECT_EQ(parentFolder(c.path), c.parent) << c.path;
    EXPECT_EQ(fileNameOf(c.path), c.name) << c.path;
    EXPECT_EQ(volumeOf(c.path), c.volume) << c.path;
    EXPECT_EQ(isRoot(c.path), c.anyRoot) << c.path;
  }
}

struct JoinCase {
  const char* folder;
  const char* name;
  const char* joined;
  const char* withBackslash;
};

TEST(PathRules, JoinsWithExactlyOneBackslash) {
  const JoinCase cases[] = {
      {"D:\\Movies", "clip.avi", "D:\\Movies\\clip.avi", "D:\\Movies\\"},
      {"D:\\", "clip.avi", "D:\\clip.avi", "D:\\"},
      {"D:\\Movies\\", "clip.avi .avi", "D:\\Movies\\clip.avi .avi", "D:\\Movies\\"},
      // Only a backslash counts as the last character.
      {"D:/Movies/", "clip.avi", "D:/Movies/clip.avi", "D:/Movies/\\"},
      {"", "clip.avi", "clip.avi", "\\"},
  };
  for (const JoinCase& c : cases) {
    EXPECT_EQ(joinPath(c.folder, c.name), c.joined) << c.folder;
    EXPECT_EQ(withTrailingBackslash(c.folder), c.withBackslash) << c.folder;
  }
}

struct LongCase {
  std::string path;
  std::string longForm;
  std::string shown;  // the long form undone
};

TEST(PathRules, LongPathsTakeTheExtendedForm) {
  const std::string x244(244, 'x');  // after "D:\\", 247 units: the longest plain folder
  std::string e244;  // 244 units in 488 bytes
  for (int i = 0; i < 244; ++i) e244 += "é";
  const LongCase cases[] = {
      {"D:\\Movies", "D:\\Movies", "D:\\Movies"},
      {"D:\\" + x244, "D:\\" + x244, "D:\\" + x244},
      {"D:\\" + x244 + "y", "\\\\?\\D:\\" + x244 + "y", "D:\\" + x244 + "y"},
      {"D:\\" + e244, "D:\\" + e244, "D:\\" + e244},
      {"D:\\" + e244 + "é", "\\\\?\\D:\\" + e244 + "é", "D:\\" + e244 + "é"},
      {"\\\\server\\share\\" + x244, "\\\\?\\UNC\\server\\share\\" + x244, "\\\\server\\share\\" + x244},
      {"\\\\?\\D:\\" + x244 + "y", "\\\\?\\D:\\" + x244 + "y", "D:\\" + x244 + "y"},
  };
  for (const LongCase& c : cases) {
    EXPECT_EQ(longPathForm(c.path), c.longForm) << c.path;
    EXPECT_EQ(withoutLongPathForm(c.longForm), c.shown) << c.path;
  }
}

struct CaseCase {
  const char* a;
  const char* b;
  bool equal;
};

TEST(PathRules, IgnoresLetterCaseAsNtfsDoes) {
  const CaseCase cases[] = {
      {"clip.AVI", "CLIP.avi", true},
      {"D:\\Movies", "d:\\movies", true},
      {"Überblick", "üBERBLICK", true},
      {"ÿ", "Ÿ", true},
      {"Łódź", "ŁÓDŹ", true},
      {"Αθήνα", "ΑΘΉΝΑ", true},
      {"σς", "ΣΣ", true},
      {"москва ёж", "МОСКВА ЁЖ", true},
      {"ｆｕｌｌ", "ＦＵＬＬ", true},
      {"straße", "STRASSE", false},  // no expansions
      {"clip1", "clip2", false},
      {"clip", "clip ", false},
      {"a", "a\xFF", false},
      {"÷", "×", false},  // neighbours of the Latin-1 letters
  };
  for (const CaseCase& c : cases) {
    EXPECT_EQ(equalsIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(equalsIgnoreCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

TEST(PathRules, OrdersNamesAsAnNtfsListing) {
  std::vector<std::string> names = {"b.avi",  "A_B.avi", "ab.avi", "Clip2.avi", "clip.avi", "Zeta",   "éclair",
                                    "eclair", "_first",  "10.avi", "9.avi",     "ｚ.avi",   "😀.avi"};
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compareIgnoreCase(a, b) < 0; });
  // Upper-cased UTF-16 units: "_" (0x5F) after the capitals, the emoji's
  // surrogates (0xD83D) before the full-width letters (0xFF3A).
  const std::vector<std::string> expected = {"10.avi",  "9.avi", "ab.avi", "A_B.avi", "b.avi",  "clip.avi", "Clip2.avi",
                                             "eclair", "Zeta",  "_first", "éclair",  "😀.avi", "ｚ.avi"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(compareIgnoreCase("CLIP.avi", "clip.AVI"), 0);
}

TEST(PathRules, KnowsTheReservedDeviceNames) {
  const std::pair<const char*, bool> cases[] = {
      {"CON", true},        {"con", true},        {"Con.avi", true},    {"nul.avi", true},
      {"NUL.tar.avi", true}, {"CON .avi", true},  {"con  .avi", true},  {"AUX..avi", true},
      {"prn.AVI", true},    {"conin$.avi", true}, {"CONOUT$", true},    {"COM1.avi", true},
      {"com9.avi", true},   {"lPt5.avi", true},   {"COM¹.avi", true},   {"lpt³.avi", true},
      {"COM0.avi", false},  {"LPT0.avi", false},  {"COM10.avi", false}, {"con1.avi", false},
      {"nullify.avi", false}, {"x.con.avi", false}, {" con.avi", false}, {"CONSOLE.avi", false},
      {"com.avi", false},   {"COM¹x.avi", false}, {"clip.avi", false},  {"", false},
  };
  for (const auto& [name, reserved] : cases) EXPECT_EQ(isReservedDeviceName(name), reserved) << name;
}

struct NameCase {
  std::string folder;
  std::string name;
  NameError expected;
};

std::string repeat(const std::string& unit, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += unit;
  return out;
}

TEST(PathRules, ValidatesTheFinalNameOfANewFile) {
  const std::string movies = "D:\\Movies";
  // "C:\" + 150 letters + "\" leaves 105 units of the 259 for the name.
  const std::string deep = "C:\\" + std::string(150, 'a');
  const std::string deepAccented = "C:\\" + repeat("é", 150);
  std::vector<NameCase> cases = {
      {movies, "clip.avi", NameError::kNone},
      {movies, "clip.avi .avi", NameError::kNone},  // "clip.avi " typed, ".avi" added
      {movies, "clip.mpg.avi", NameError::kNone},
      {movies, " clip.avi", NameError::kNone},
      {movies, "COM0.avi", NameError::kNone},
      {movies, "Überraschung 映画 😀.avi", NameError::kNone},
      {"D:\\", "clip.avi", NameError::kNone},
      {movies, "", NameError::kEmpty},
      {movies, "clip\xFF.avi", NameError::kInvalidText},
      {movies, "C:\\other\\clip.avi", NameError::kBadCharacter},  // a path typed as the name
      {movies, "sub/clip.avi", NameError::kBadCharacter},
      {movies, "clip.avi ", NameError::kTrailingDotOrBlank},
      {movies, "clip.", NameError::kTrailingDotOrBlank},
      {movies, "nul.avi", NameError::kReservedName},
      {movies, "CON .avi", NameError::kReservedName},
      {movies, "Lpt1.AVI", NameError::kReservedName},
      {"C:\\", std::string(251, 'n') + ".avi", NameError::kNone},
      {"C:\\", std::string(252, 'n') + ".avi", NameError::kNameTooLong},
      // 128 characters but 256 UTF-16 units.
      {"C:\\", repeat("😀", 128), NameError::kNameTooLong},
      {deep, std::string(101, 'n') + ".avi", NameError::kNone},
      {deep, std::string(102, 'n') + ".avi", NameError::kPathTooLong},
      // 259 units though far more bytes.
      {deepAccented, repeat("é", 101) + ".avi", NameError::kNone},
      {deepAccented, repeat("é", 102) + ".avi", NameError::kPathTooLong},
  };
  for (char bad : std::string("<>:\"/\\|?*\t\x01\x1F"))
    cases.push_back({movies, std::string("clip") + bad + ".avi", NameError::kBadCharacter});
  for (const NameCase& c : cases)
    EXPECT_EQ(validateNewFileName(c.folder, c.name), c.expected) << c.folder << " + [" << c.name << "]";
}

}  // namespace
}  // namespace ks
