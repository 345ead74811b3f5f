#include "frame/marks_menu.h"

#include <utility>

#include "platform/settings_store.h"
#include "settings/settings_keys.h"

namespace ks {

MarksChoice storedMarksChoice(const SettingsStore& settings) {
  MarksChoice choice;
  choice.showClicks = GetSetting(settings, kAppName, kSection, "ShowClicks", "False") == "True";
  choice.showKeys = GetSetting(settings, kAppName, kSection, "ShowKeys", "False") == "True";
  choice.recordPointer = GetSetting(settings, kAppName, kSection, "RecordPointer", "True") != "False";
  return choice;
}

namespace {

struct Mark {
  int id;
  const char* text;
  const char* key;
  bool MarksChoice::*choice;
};
constexpr Mark kMarks[] = {
    {MarksMenu::kShowClicksId, "Show clicks", "ShowClicks", &MarksChoice::showClicks},
    {MarksMenu::kShowKeysId, "Show keys", "ShowKeys", &MarksChoice::showKeys},
    {MarksMenu::kRecordPointerId, "Record the pointer", "RecordPointer", &MarksChoice::recordPointer},
};

}  // namespace

std::vector<MenuItem> MarksMenu::items() const {
  const MarksChoice choice = storedMarksChoice(settings_);
  std::vector<MenuItem> items;
  for (const Mark& mark : kMarks) {
    MenuItem item{mark.id, mark.text, true, {}};
    item.checked = choice.*mark.choice;
    items.push_back(std::move(item));
  }
  return items;
}

bool MarksMenu::chosen(int id) {
  const MarksChoice choice = storedMarksChoice(settings_);
  for (const Mark& mark : kMarks) {
    if (mark.id != id) continue;
    static_cast<void>(SaveSetting(settings_, kAppName, kSection, mark.key, choice.*mark.choice ? "False" : "True"));
    return true;
  }
  return false;
}

}  // namespace ks
