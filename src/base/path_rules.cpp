#include "base/path_rules.h"

#include <algorithm>
#include <array>

#include "base/text.h"

namespace ks {
namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "\\?\" and "\\.\" turn Win32 parsing off; they carry a normal path after.
std::size_t devicePrefixLength(std::string_view path) {
  if (path.size() >= 4 && isPathSeparator(path[0]) && isPathSeparator(path[1]) &&
      (path[2] == '?' || path[2] == '.') && isPathSeparator(path[3]))
    return 4;
  return 0;
}

// The end of a path once separators trailing after its root are dropped.
std::size_t endWithoutTrailingSeparators(std::string_view path, std::size_t root) {
  std::size_t end = path.size();
  while (end > root && isPathSeparator(path[end - 1])) --end;
  return end;
}

std::size_t lastSeparator(std::string_view path, std::size_t from, std::size_t end) {
  for (std::size_t i = end; i > from; --i)
    if (isPathSeparator(path[i - 1])) return i - 1;
  return std::string_view::npos;
}

// Pairs of upper and lower case letters side by side: upper first when the
// upper letter's code is even (evenUpper), else the other way round.
char16_t upcasePairs(char16_t c, bool evenUpper) {
  const bool lower = ((c & 1) != 0) == evenUpper;
  return lower ? static_cast<char16_t>(c - 1) : c;
}

std::optional<std::u16string> upcased(std::string_view text) {
  std::optional<std::u16string> units = utf8ToUtf16(text);
  if (units)
    for (char16_t& u : *units) u = upcase(u);
  return units;
}

}  // namespace

bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

bool isBadNameCharacter(char c) {
  if (static_cast<unsigned char>(c) < 0x20) return true;
  switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

std::string driveOf(std::string_view path) {
  const std::string_view rest = path.substr(devicePrefixLength(path));
  if (rest.size() >= 2 && isAsciiLetter(rest[0]) && rest[1] == ':') return {asciiUpper(rest[0]), ':'};
  return {};
}

std::string volumeOf(std::string_view path) {
  std::string drive = driveOf(path);
  if (!drive.empty()) return drive;
  std::size_t at = 0;
  if (devicePrefixLength(path) == 0) {
    if (path.size() < 2 || !isPathSeparator(path[0]) || !isPathSeparator(path[1])) return {};
    at = 2;
  } else {
    const std::string_view rest = path.substr(4);
    if (path[2] != '?' || rest.size() < 4 || !equalsIgnoreCase(rest.substr(0, 3), "UNC") || !isPathSeparator(rest[3]))
      return {};
    at = 8;
  }
  std::string names[2];
  for (std::string& name : names) {
    while (at < path.size() && !isPathSeparator(path[at])) name += path[at++];
    if (name.empty()) return {};
    ++at;  // the separator after it
  }
  return "\\\\" + names[0] + "\\" + names[1];
}

bool isDriveRoot(std::string_view path) {
  return path.size() == 3 && isAsciiLetter(path[0]) && path[1] == ':' && isPathSeparator(path[2]);
}

bool isRoot(std::string_view path) {
  if (isDriveRoot(path)) return true;
  return !path.empty() && isPathSeparator(path.back()) && !volumeOf(path).empty() && devicePrefixLength(path) == 0 &&
         rootLength(path) == path.size();
}

std::size_t rootLength(std::string_view path) {
  std::size_t at = devicePrefixLength(path);
  const std::string_view rest = path.substr(at);
  if (rest.size() >= 2 && isAsciiLetter(rest[0]) && rest[1] == ':')
    return at + ((rest.size() >= 3 && isPathSeparator(rest[2])) ? 3 : 2);
  const bool unc = at == 0 ? (rest.size() >= 2 && isPathSeparator(rest[0]) && isPathSeparator(rest[1]))
                           : (rest.size() >= 4 && equalsIgnoreCase(rest.substr(0, 3), "UNC") &&
                              isPathSeparator(rest[3]));
  if (unc) {
    at += at == 0 ? 2 : 4;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !isPathSeparator(path[at])) ++at;
      if (at < path.size()) ++at;  // the separator after server and share
    }
    return at;
  }
  if (at == 0 && !path.empty() && isPathSeparator(path[0])) return 1;
  return at;
}


std::string withTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

std::string parentFolder(std::string_view path) {
  const std::size_t root = rootLength(path);
  const std::size_t end = endWithoutTrailingSeparators(path, root);
  if (end <= root) return {};
  std::size_t cut = lastSeparator(path, root, end);
  if (cut == std::string_view::npos) return std::string(path.substr(0, root));
  while (cut > root && isPathSeparator(path[cut - 1])) --cut;
  return std::string(path.substr(0, std::max(cut, root)));
}

std::string fileNameOf(std::string_view path) {
  const std::size_t root = rootLength(path);
  const std::size_t end = endWithoutTrailingSeparators(path, root);
  if (end <= root) return {};
  const std::size_t cut = lastSeparator(path, root, end);
  const std::size_t begin = cut == std::string_view::npos ? root : cut + 1;
  return std::string(path.substr(begin, end - begin));
}

std::string joinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string path(folder);
  if (!isPathSeparator(path.back())) path += '\\';
  path += name;
  return path;
}

std::string longPathForm(std::string_view fullPath) {
  const std::optional<std::u16string> units = utf8ToUtf16(fullPath);
  if (!units || units->size() < kLongFormUnits || devicePrefixLength(fullPath) > 0) return std::string(fullPath);
  if (fullPath.substr(0, 2) == "\\\\") return "\\\\?\\UNC\\" + std::string(fullPath.substr(2));
  return "\\\\?\\" + std::string(fullPath);
}

std::string withoutLongPathForm(std::string_view path) {
  if (path.substr(0, 8) == "\\\\?\\UNC\\") return "\\\\" + std::string(path.substr(8));
  if (path.substr(0, 4) == "\\\\?\\") return std::string(path.substr(4));
  return std::string(path);
}

char16_t upcase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  // Latin-1: à..þ less the division sign; ÿ has its capital in Latin Extended-A.
  if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return static_cast<char16_t>(c - 0x20);
  if (c == 0x00FF) return 0x0178;
  // Latin Extended-A, leaving out the letters without a simple capital
  // (ı ĸ ŉ ſ) and the capitals themselves.
  if ((c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177))
    return upcasePairs(c, true);
  if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) return upcasePairs(c, false);
  // Greek: final sigma is a sigma; the accented vowels have scattered capitals.
  if (c == 0x03C2) return 0x03A3;
  if ((c >= 0x03B1 && c <= 0x03C1) || (c >= 0x03C3 && c <= 0x03CB)) return static_cast<char16_t>(c - 0x20);
  if (c == 0x03AC) return 0x0386;
  if (c >= 0x03AD && c <= 0x03AF) return static_cast<char16_t>(c - 0x25);
  if (c == 0x03CC) return 0x038C;
  if (c == 0x03CD || c == 0x03CE) return static_cast<char16_t>(c - 0x3F);
  // Cyrillic.
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
  if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x052F))
    return upcasePairs(c, true);
  if (c >= 0x04C1 && c <= 0x04CE) return upcasePairs(c, false);
  if (c == 0x04CF) return 0x04C0;
  // Armenian and the full-width Latin letters.
  if (c >= 0x0561 && c <= 0x0586) return static_cast<char16_t>(c - 0x30);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) { return compareIgnoreCase(a, b) == 0; }

int compareIgnoreCase(std::string_view a, std::string_view b) {
  const std::optional<std::u16string> ua = upcased(a), ub = upcased(b);
  // Text that is not UTF-8 cannot name a file; it still needs an order.
  if (!ua || !ub) return a < b ? -1 : (b < a ? 1 : 0);
  return *ua < *ub ? -1 : (*ub < *ua ? 1 : 0);
}

// Before Windows 11, Win32 opens a device when the last component of a path,
// with ASCII letters upper-cased, everything from its first dot (or colon)
// dropped and then its trailing blanks dropped, is one of the names below:
// "nul.avi", "Con .avi" and "lpt1..avi" are all devices there. Windows 11
// drops only trailing dots and blanks, so "nul.avi" is a file on it; we keep
// the older, wider rule since the program runs on both. COM and LPT take
// the digits 1-9 and the superscripts ¹ ² ³; COM0 and LPT0 are ordinary
// names, whatever some lists say.
bool isReservedDeviceName(std::string_view name) {
  std::size_t end = name.find_first_of(".:");
  if (end == std::string_view::npos) end = name.size();
  while (end > 0 && name[end - 1] == ' ') --end;
  std::string base;
  for (char c : name.substr(0, end)) base += asciiUpper(c);

  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  if (base.size() < 4) return false;
  const std::string_view stem = std::string_view(base).substr(0, 3);
  if (stem != "COM" && stem != "LPT") return false;
  const std::string_view number = std::string_view(base).substr(3);
  if (number.size() == 1) return number[0] >= '1' && number[0] <= '9';
  // ¹ ² ³ in UTF-8.
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

NameError validateNewFileName(std::string_view folder, std::string_view name) {
  if (name.empty()) return NameError::kEmpty;
  const std::optional<std::u16string> units = utf8ToUtf16(name);
  if (!units) return NameError::kInvalidText;
  // Separators belong here too: a path typed as a name is not a name.
  if (std::any_of(name.begin(), name.end(), isBadNameCharacter)) return NameError::kBadCharacter;
  // Win32 drops trailing dots and blanks from the last component, so such a
  // name would create or overwrite a different file.
  if (name.back() == '.' || name.back() == ' ') return NameError::kTrailingDotOrBlank;
  if (isReservedDeviceName(name)) return NameError::kReservedName;
  if (units->size() > kMaxNameUnits) return NameError::kNameTooLong;
  // Long paths stay off: the movie file is opened without the "\\?\" form,
  // and players and Explorer without long-path support could not open it.
  const std::optional<std::u16string> full = utf8ToUtf16(joinPath(folder, name));
  if (!full || full->size() > kMaxPathUnits) return NameError::kPathTooLong;
  return NameError::kNone;
}

}  // namespace ks
