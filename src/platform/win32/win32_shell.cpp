#include "platform/win32/win32_shell.h"

#include <windows.h>
#include <shellapi.h>

#include "base/path_rules.h"
#include "base/text.h"

namespace ks {

bool Win32Shell::open(const std::string& address) {
  const auto wide = utf8ToUtf16(address);
  if (!wide) return false;
  const std::wstring text(wide->begin(), wide->end());
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", text.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

}  // namespace ks
