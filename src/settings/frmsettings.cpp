#include "settings/frmsettings.h"

#include "app/app.h"
#include "base/path_rules.h"
#include "frame/modgobal.h"
#include "platform/controls.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "settings/frmfile.h"
#include "settings/settings_keys.h"

namespace ks {

namespace {

// Sizable, with the program icon in the title bar; centred.
WindowDesign settingsDesign() {
  return {.caption = "Settings", .border = Border::Sizable, .controlBox = true, .background = kRed,
          .fontName = "Tahoma", .fontSize = 8.25f, .clientWidth = 4545, .clientHeight = 4710,
          .iconResource = 1, .centered = true};
}

LabelDesign label(const char* caption, float left, float top, float width, float height, int tab) {
  auto s = placed<LabelDesign>(left, top, width, height, tab);
  s.caption = caption;
  return s;
}

OptionButtonDesign option(const char* caption, float left, float top, float width, float height, int tab) {
  auto s = placed<OptionButtonDesign>(left, top, width, height, tab);
  s.caption = caption;
  s.backColor = kRed;
  return s;
}

}  // namespace

bool readTruth(const std::string& text, bool defaultValue) {
  if (equalsIgnoreCase(text, "True")) return true;
  if (equalsIgnoreCase(text, "False")) return false;
  return defaultValue;
}

FrmSettings::FrmSettings(App& app) : Form(app, settingsDesign()) {
  Window& w = *window_;
  Label1 = &w.addLabel(label("Frame Rate", 240, 180, 1215, 195, 0));
  optSystem = &w.addOptionButton(option("let the system assign max possible value", 420, 480, 1815, 555, 1));
  optUser = &w.addOptionButton(option("assign a value", 420, 1200, 1815, 555, 2));
  auto rates = placed<ListDesign>(2220, 1380, 675, 285, 3);
  rates.items.assign(std::begin(kRateItems), std::end(kRateItems));
  rates.font = Font{"Tahoma", 6.75f};
  cboFrames = &w.addComboBox(rates);
  lblfps = &w.addLabel(label("frames per second", 3000, 1440, 1395, 195, 4));
  auto close = placed<ButtonDesign>(3600, 4260, 735, 315, 5);
  close.caption = "Close";
  cmdClose = &w.addButton(close);
  Dir = std::make_unique<DirList>(w.addListBox(placed<ListDesign>(360, 2640, 3975, 1440, 6)), app.platform().files);
  Drv = std::make_unique<DriveList>(w.addComboBox(placed<ListDesign>(360, 2220, 3975, 315, 7)), app.platform().files);
  Label2 = &w.addLabel(label("Default Movie Folder", 240, 1920, 1635, 195, 8));
  // Until Load reads the store, the system-assigned rate is the choice.
  optSystem->setValue(true);
}

std::string FrmSettings::get(const char* key, const std::string& defaultText) const {
  return GetSetting(app_.platform().settings, kAppName, kSection, key, defaultText);
}

void FrmSettings::save(const char* key, const std::string& text) {
  // A store that refuses a change is not reported: the dialog holds the
  // choice for this run all the same.
  static_cast<void>(SaveSetting(app_.platform().settings, kAppName, kSection, key, text));
}

void FrmSettings::load() {
  optSystem->onClick = [this] { optionSelected(); };
  optUser->onClick = [this] { optionSelected(); };
  cboFrames->onClick = [this] { rateSelected(); };
  Drv->onChange = [this] { driveChanged(); };
  Dir->onChange = [this] { folderChanged(); };
  cmdClose->onClick = [this] { window_->hide(); };
  window_->events.onCloseRequest = [this] {
    window_->hide();
    return false;
  };
  window_->events.onDrivesChanged = [this] { refreshDrives(); };

  PutonTop();

  // A stored folder that is gone, on a drive that is not ready, or that
  // names a file gives way to the program's folder.
  const std::string programFolder = app_.platform().files.programFolder();
  const std::string folder = get("folder", programFolder);
  openFolder(*Drv, *Dir, folder, programFolder);

  // Both are read before either is applied: selecting one writes both keys.
  const bool user = readTruth(get("UserSetting", "False"), false);
  const bool system = readTruth(get("SysSetting", "True"), true);
  optUser->setValue(user);
  optSystem->setValue(system);

  // A stored rate that is not one of the items gives the first, "1".
  const std::string fps = get("fps", "1");
  int index = 0;
  for (int k = 0; k < cboFrames->listCount(); ++k)
    if (cboFrames->list(k) == fps) index = k;
  cboFrames->setListIndex(index);

  cboFrames->setEnabled(optUser->value());
  lblfps->setEnabled(optUser->value());
}

void FrmSettings::PutonTop() { stayOnTopInPlace(*window_); }

void FrmSettings::optionSelected() {
  cboFrames->setEnabled(optUser->value());
  lblfps->setEnabled(optUser->value());
  save("SysSetting", optSystem->value() ? "True" : "False");
  save("UserSetting", optUser->value() ? "True" : "False");
}

void FrmSettings::rateSelected() {
  if (cboFrames->listIndex() >= 0) save("fps", cboFrames->text());
}

void FrmSettings::refreshDrives() {
  // The default folder's drive may have gone only for now (a stick pulled
  // out): the lists show another folder, and the stored one stays.
  keepStoredFolder_ = true;
  refreshLists(*Drv, *Dir, {app_.platform().files.programFolder()});
  keepStoredFolder_ = false;
}

void FrmSettings::driveChanged() { followDrive(*Drv, *Dir, volumeOf(app_.platform().files.programFolder())); }

void FrmSettings::folderChanged() {
  if (keepStoredFolder_) return;
  save("folder", Dir->path());
  app_.frmFile().fixpaths();
}

}  // namespace ks
