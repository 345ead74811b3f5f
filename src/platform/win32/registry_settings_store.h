// The settings store in the current user's registry:
// HKEY_CURRENT_USER\<root>\<app>\<section>, one REG_SZ value per key. Every
// read and write goes to the registry; nothing is cached.
#pragma once

#include <optional>
#include <string>

#include "platform/settings_store.h"

namespace ks {

class RegistrySettingsStore final : public SettingsStore {
 public:
  // `root` is the subkey of HKEY_CURRENT_USER that holds the applications;
  // tests give a scratch key of their own.
  explicit RegistrySettingsStore(std::wstring root = L"Software");

  // Nothing for a missing key or value, and for a value that is not a string.
  std::optional<std::string> read(const std::string& app, const std::string& section,
                                  const std::string& key) const override;
  // False for text that is not UTF-8 or holds a NUL, for names that would
  // address another key, and when the registry refuses.
  bool write(const std::string& app, const std::string& section, const std::string& key,
             const std::string& value) override;

 private:
  std::optional<std::wstring> keyPath(const std::string& app, const std::string& section) const;

  std::wstring root_;
};

}  // namespace ks
