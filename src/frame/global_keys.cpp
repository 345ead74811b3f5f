#include "frame/global_keys.h"

#include <string>

#include "platform/settings_store.h"
#include "settings/settings_keys.h"

namespace ks {

namespace {

struct KeySetting {
  GlobalKeys::Id id;
  const char* storeKey;
  const char* standard;
  const char* what;
};
constexpr KeySetting kKeySettings[] = {
    {GlobalKeys::kRecord, "HotkeyRecord", "Ctrl+Shift+F9", "Record, Pause, Resume"},
    {GlobalKeys::kStop, "HotkeyStop", "Ctrl+Shift+F10", "Stop"},
};

}  // namespace

GlobalKeys::GlobalKeys(WindowSystem& windows, SettingsStore& settings) : windows_(windows), settings_(settings) {}

GlobalKeys::~GlobalKeys() {
  if (!registered_) return;
  windows_.onHotkey = {};
  for (const KeySetting& s : kKeySettings) windows_.unregisterHotkey(s.id);
}

void GlobalKeys::registerKeys() {
  for (const KeySetting& s : kKeySettings) {
    const std::string text = GetSetting(settings_, kAppName, kSection, s.storeKey, s.standard);
    Key& k = keys_[s.id - 1];
    k.key = parseHotkey(text).value_or(*parseHotkey(s.standard));
    k.available = windows_.registerHotkey(s.id, k.key);
  }
  registered_ = true;
  windows_.onHotkey = [this](int id) { pressed(id); };
}

void GlobalKeys::pressed(int id) {
  const std::function<void()>& action = id == kRecord ? onRecord : onStop;
  if ((id == kRecord || id == kStop) && action) action();
}

std::vector<MenuItem> GlobalKeys::menuLines() const {
  std::vector<MenuItem> lines;
  for (const KeySetting& s : kKeySettings) {
    const Key& k = key(s.id);
    const std::string text = hotkeyText(k.key) + ": " + s.what;
    lines.push_back(MenuItem{0, k.available ? text : text + " (unavailable: another program uses it)", false, {}});
  }
  return lines;
}

}  // namespace ks
