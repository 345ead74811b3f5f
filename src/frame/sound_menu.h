// The sound sources a recording takes its track from, as frmtop's system
// menu offers them: "System sound", a check item, and a radio group of "No
// microphone" and each capture device. The choice is kept in the settings
// store ("SoundSystem": "True"/"False", "SoundInput": a device's friendly
// name, empty for none) and taken by the next recording.
#pragma once

#include <string>
#include <vector>

#include "platform/window_system.h"
#include "recorder/recording_settings.h"

namespace ks {

class AudioDevices;
class SettingsStore;

// The stored choice.
SoundChoice storedSoundChoice(const SettingsStore& settings);

class SoundMenu {
 public:
  // The menu ids it uses: kFirstId to kLastId.
  static constexpr int kFirstId = 200;
  static constexpr int kLastId = 255;

  // Without devices, the menu shows no source to choose.
  SoundMenu(AudioDevices* audio, SettingsStore& settings) : audio_(audio), settings_(settings) {}

  // The "Sound" submenu, each source probed now: one that cannot be opened
  // is greyed and says so, and a stored device that is not present says it
  // is not connected.
  MenuItem menu();
  // Acts on one of its items; false when `id` is not one.
  bool chosen(int id);

 private:
  static constexpr int kSystemId = kFirstId;
  static constexpr int kNoInputId = kFirstId + 1;
  static constexpr int kFirstInputId = kFirstId + 2;

  AudioDevices* audio_;
  SettingsStore& settings_;
  std::vector<std::string> inputs_;  // the devices as the menu last listed them
};

}  // namespace ks
