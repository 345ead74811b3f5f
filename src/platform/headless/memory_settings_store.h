// A settings store in memory: for tests, and wherever nothing needs to
// persist.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "platform/settings_store.h"

namespace ks {

class MemorySettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> read(const std::string& app, const std::string& section,
                                  const std::string& key) const override;
  bool write(const std::string& app, const std::string& section, const std::string& key,
             const std::string& value) override;

  int writes() const { return writes_; }
  // Makes every later write fail, as a store that refuses changes would.
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

 private:
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
  int writes_ = 0;
  bool readOnly_ = false;
};

}  // namespace ks
