// The per-user settings store: text values addressed by application,
// section and key. Nothing is ever deleted.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

namespace ks {

inline constexpr const char* kAppName = "QVkestrascope";
inline constexpr const char* kSection = "Movie";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or nothing when the key is absent or cannot be read.
  virtual std::optional<std::string> read(const std::string& app, const std::string& section,
                                          const std::string& key) const = 0;
  // Creates or replaces the value; false when the store refused it.
  virtual bool write(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

// The stored text, or the default when the key is absent.
std::string GetSetting(const SettingsStore& store, const std::string& app, const std::string& section,
                       const std::string& key, const std::string& defaultText);
bool SaveSetting(SettingsStore& store, const std::string& app, const std::string& section, const std::string& key,
                 const std::string& text);

// In memory; used by tests and wherever nothing needs to persist.
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
