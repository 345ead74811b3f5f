#include "platform/win32/registry_settings_store.h"

#include <utility>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace ks {
namespace {

using win32::UniqueKey;

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::wstring root) : root_(std::move(root)) {}

// A backslash in the application or section would reach into another key,
// and an empty one would put the values a level up.
std::optional<std::wstring> RegistrySettingsStore::keyPath(const std::string& app,
                                                           const std::string& section) const {
  if (app.empty() || section.empty() || app.find('\\') != std::string::npos ||
      section.find('\\') != std::string::npos)
    return std::nullopt;
  const std::optional<std::wstring> wideApp = win32::toWide(app);
  const std::optional<std::wstring> wideSection = win32::toWide(section);
  if (!wideApp || !wideSection) return std::nullopt;
  std::wstring path = root_;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path + *wideApp + L'\\' + *wideSection;
}

std::optional<std::string> RegistrySettingsStore::read(const std::string& app, const std::string& section,
                                                       const std::string& key) const {
  const std::optional<std::wstring> path = keyPath(app, section);
  const std::optional<std::wstring> name = win32::toWide(key);
  // The empty name is the key's default value, not a setting.
  if (!path || !name || name->empty()) return std::nullopt;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return std::nullopt;
  const UniqueKey opened(raw);

  // Size first, then the data; another writer may grow the value between
  // the two calls, so try again a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(opened.get(), name->c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        !isStringType(type))
      return std::nullopt;
    // One unit more than the data, for a value stored without its NUL.
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LONG status = RegQueryValueExW(opened.get(), name->c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(text.data()), &got);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS || !isStringType(type)) return std::nullopt;
    text.resize(got / sizeof(wchar_t));
    if (const std::size_t nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return win32::fromWide(text);
  }
  return std::nullopt;
}

bool RegistrySettingsStore::write(const std::string& app, const std::string& section, const std::string& key,
                                  const std::string& value) {
  const std::optional<std::wstring> path = keyPath(app, section);
  const std::optional<std::wstring> name = win32::toWide(key);
  const std::optional<std::wstring> text = win32::toWide(value);
  // A NUL would end the text early when it is read back.
  if (!path || !name || name->empty() || !text || text->find(L'\0') != std::wstring::npos) return false;
  const std::size_t bytes = (text->size() + 1) * sizeof(wchar_t);
  if (bytes > 0x7FFFFFFF) return false;
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS)
    return false;
  const UniqueKey created(raw);
  return RegSetValueExW(created.get(), name->c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                        static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace ks
