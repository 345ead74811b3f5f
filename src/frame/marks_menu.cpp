#include "frame/marks_menu.h"

#include "platform/settings_store.h"
#include "settings/settings_keys.h"

namespace ks {

MarksChoice storedMarksChoice(const SettingsStore& settings) {
  MarksChoice choice;
  choice.showClicks = GetSetting(settings, kAppName, kSection, "ShowClicks", "False") == "True";
  choice.recordPointer = GetSetting(settings, kAppName, kSection, "RecordPointer", "True") != "False";
  return choice;
}

std::vector<MenuItem> MarksMenu::items() const {
  const MarksChoice choice = storedMarksChoice(settings_);
  MenuItem clicks{kShowClicksId, "Show clicks", true, {}};
  clicks.checked = choice.showClicks;
  MenuItem pointer{kRecordPointerId, "Record the pointer", true, {}};
  pointer.checked = choice.recordPointer;
  return {clicks, pointer};
}

bool MarksMenu::chosen(int id) {
  const MarksChoice choice = storedMarksChoice(settings_);
  if (id == kShowClicksId) {
    static_cast<void>(SaveSetting(settings_, kAppName, kSection, "ShowClicks", choice.showClicks ? "False" : "True"));
  } else if (id == kRecordPointerId) {
    static_cast<void>(
        SaveSetting(settings_, kAppName, kSection, "RecordPointer", choice.recordPointer ? "False" : "True"));
  } else {
    return false;
  }
  return true;
}

}  // namespace ks
