#include "platform/settings_store.h"

namespace ks {

std::string GetSetting(const SettingsStore& store, const std::string& app, const std::string& section,
                       const std::string& key, const std::string& defaultText) {
  return store.read(app, section, key).value_or(defaultText);
}

bool SaveSetting(SettingsStore& store, const std::string& app, const std::string& section, const std::string& key,
                 const std::string& text) {
  return store.write(app, section, key, text);
}

}  // namespace ks
