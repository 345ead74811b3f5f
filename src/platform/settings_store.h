// The per-user settings store: text values addressed by application,
// section and key. Nothing is ever deleted.
#pragma once

#include <optional>
#include <string>

namespace ks {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or nothing when the key is absent or cannot be read.
  virtual std::optional<std::string> read(const std::string& app, const std::string& section,
                                          const std::string& key) const = 0;
  // Creates or replaces the value; false when the store refused it.
  [[nodiscard]] virtual bool write(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

// The stored text, or the default when the key is absent.
std::string GetSetting(const SettingsStore& store, const std::string& app, const std::string& section,
                       const std::string& key, const std::string& defaultText);
[[nodiscard]] bool SaveSetting(SettingsStore& store, const std::string& app, const std::string& section, const std::string& key,
                 const std::string& text);

}  // namespace ks
