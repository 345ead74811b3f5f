#include "settings/settings_store.h"

namespace ks {

std::string GetSetting(const SettingsStore& store, const std::string& app, const std::string& section,
                       const std::string& key, const std::string& defaultText) {
  return store.read(app, section, key).value_or(defaultText);
}

bool SaveSetting(SettingsStore& store, const std::string& app, const std::string& section, const std::string& key,
                 const std::string& text) {
  return store.write(app, section, key, text);
}

std::optional<std::string> MemorySettingsStore::read(const std::string& app, const std::string& section,
                                                     const std::string& key) const {
  auto it = values_.find({app, section, key});
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool MemorySettingsStore::write(const std::string& app, const std::string& section, const std::string& key,
                                const std::string& value) {
  if (readOnly_) return false;
  ++writes_;
  values_[{app, section, key}] = value;
  return true;
}

}  // namespace ks
