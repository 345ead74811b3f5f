#include "frame/sound_menu.h"

#include <algorithm>

#include "platform/audio_source.h"
#include "platform/settings_store.h"
#include "settings/settings_keys.h"

namespace ks {

SoundChoice storedSoundChoice(const SettingsStore& settings) {
  SoundChoice choice;
  choice.system = GetSetting(settings, kAppName, kSection, "SoundSystem", "False") == "True";
  choice.input = GetSetting(settings, kAppName, kSection, "SoundInput", "");
  return choice;
}

MenuItem SoundMenu::menu() {
  const SoundChoice choice = storedSoundChoice(settings_);
  MenuItem sound{0, "Sound", true, {}};
  std::string reason;
  const bool system = audio_ && audio_->probeSystemSound(reason);
  MenuItem systemItem{kSystemId, system ? "System sound" : "System sound (unavailable)", system, {}};
  systemItem.checked = choice.system;
  sound.items.push_back(systemItem);
  sound.items.push_back({0, "", true, {}});

  inputs_ = audio_ ? audio_->inputNames() : std::vector<std::string>{};
  const auto last = static_cast<std::size_t>(kLastId - kFirstInputId + 1);
  if (inputs_.size() > last) inputs_.resize(last);
  const bool present = std::find(inputs_.begin(), inputs_.end(), choice.input) != inputs_.end();
  MenuItem none{kNoInputId, "No microphone", true, {}};
  none.radio = true;
  none.checked = choice.input.empty();
  sound.items.push_back(none);
  for (std::size_t k = 0; k < inputs_.size(); ++k) {
    const bool opens = audio_->probeInput(inputs_[k], reason);
    MenuItem item{kFirstInputId + static_cast<int>(k), opens ? inputs_[k] : inputs_[k] + " (unavailable)", opens, {}};
    item.radio = true;
    item.checked = inputs_[k] == choice.input;
    sound.items.push_back(item);
  }
  if (!choice.input.empty() && !present) {
    // Kept, so that it records again once the device is back.
    MenuItem gone{0, choice.input + " (not connected)", false, {}};
    gone.radio = true;
    gone.checked = true;
    sound.items.push_back(gone);
  }
  return sound;
}

bool SoundMenu::chosen(int id) {
  if (id < kFirstId || id > kLastId) return false;
  if (id == kSystemId) {
    const bool on = !storedSoundChoice(settings_).system;
    static_cast<void>(SaveSetting(settings_, kAppName, kSection, "SoundSystem", on ? "True" : "False"));
  } else if (id == kNoInputId) {
    static_cast<void>(SaveSetting(settings_, kAppName, kSection, "SoundInput", ""));
  } else if (const auto k = static_cast<std::size_t>(id - kFirstInputId); k < inputs_.size()) {
    static_cast<void>(SaveSetting(settings_, kAppName, kSection, "SoundInput", inputs_[k]));
  }
  return true;
}

}  // namespace ks
