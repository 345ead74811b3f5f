// The global key combinations, which work whichever program has the focus:
// one records, pauses and resumes, the other stops. This object registers
// them, hands their presses on and words their lines in frmtop's menu.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "platform/hotkey.h"
#include "platform/window_system.h"

namespace ks {

class SettingsStore;

class GlobalKeys {
 public:
  enum Id { kRecord = 1, kStop = 2 };
  struct Key {
    Hotkey key;
    bool available = false;  // false: another program holds it
  };

  GlobalKeys(WindowSystem& windows, SettingsStore& settings);
  // Gives the keys back to the system.
  ~GlobalKeys();
  GlobalKeys(const GlobalKeys&) = delete;
  GlobalKeys& operator=(const GlobalKeys&) = delete;

  // Reads the keys from the store ("HotkeyRecord", "HotkeyStop"; a text
  // that names no combination gives the standard one) and registers them;
  // a key another program holds is unavailable for this run.
  void registerKeys();
  const Key& key(Id id) const { return keys_[id - 1]; }

  // What the presses do.
  std::function<void()> onRecord;
  std::function<void()> onStop;

  // The menu's lines for the keys, one each, saying what it does.
  std::vector<MenuItem> menuLines() const;

 private:
  void pressed(int id);

  WindowSystem& windows_;
  SettingsStore& settings_;
  std::array<Key, 2> keys_{};
  bool registered_ = false;
};

}  // namespace ks
