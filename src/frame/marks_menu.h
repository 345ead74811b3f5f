// What a recording marks in its pictures, as frmtop's system menu offers it:
// "Show clicks", "Show keys" and "Record the pointer", check items kept in
// the settings store ("ShowClicks" and "ShowKeys", "False" unless set;
// "RecordPointer", "True" unless set) and taken by the next recording.
#pragma once

#include <vector>

#include "platform/window_system.h"

namespace ks {

class SettingsStore;

struct MarksChoice {
  bool showClicks = false;
  bool showKeys = false;
  bool recordPointer = true;
};

MarksChoice storedMarksChoice(const SettingsStore& settings);

class MarksMenu {
 public:
  static constexpr int kShowClicksId = 30;
  static constexpr int kRecordPointerId = 31;
  static constexpr int kShowKeysId = 32;

  explicit MarksMenu(SettingsStore& settings) : settings_(settings) {}

  // The check items, checked as stored.
  std::vector<MenuItem> items() const;
  // Turns one of its items over; false when `id` is not one.
  bool chosen(int id);

 private:
  SettingsStore& settings_;
};

}  // namespace ks
