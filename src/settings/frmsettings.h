// frmSettings: the frame-rate choice and the default movie folder. Once
// loaded it holds the live choice; every change is written to the settings
// store at once, and Close only hides it.
#pragma once

#include <memory>
#include <string>

#include "frame/form.h"
#include "settings/folder_lists.h"

namespace ks {

class Label;
class OptionButton;
class ComboBox;
class Button;

// The rate list's items, in order.
inline constexpr const char* kRateItems[] = {"1", "2", "3", "4", "5", "10", "15", "20", "30", "40", "50", "60"};

class FrmSettings final : public Form {
 public:
  explicit FrmSettings(App& app);
  void load();
  // Makes the dialog topmost where it stands.
  void PutonTop();
  // Reads the drives again before the dialog is shown and when the system
  // announces a change of drives.
  void refreshDrives();

  Label* Label1 = nullptr;
  OptionButton* optSystem = nullptr;
  OptionButton* optUser = nullptr;
  ComboBox* cboFrames = nullptr;
  Label* lblfps = nullptr;
  Button* cmdClose = nullptr;
  std::unique_ptr<DirList> Dir;
  std::unique_ptr<DriveList> Drv;
  Label* Label2 = nullptr;

 private:
  void optionSelected();
  void rateSelected();
  void driveChanged();
  void folderChanged();
  std::string get(const char* key, const std::string& defaultText) const;
  void save(const char* key, const std::string& text);
  // While the lists give way to a fallback, "folder" keeps its value.
  bool keepStoredFolder_ = false;
};

// "True"/"False" in any letter case; anything else gives the default.
bool readTruth(const std::string& text, bool defaultValue);

}  // namespace ks
