#include "platform/headless/memory_settings_store.h"

namespace ks {

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
