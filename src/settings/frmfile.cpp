#include "settings/frmfile.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "app/app.h"
#include "base/path_rules.h"
#include "platform/controls.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "recorder/mod_avi.h"
#include "settings/settings_keys.h"

namespace ks {

namespace {

// Sizable, with the program icon in the title bar; centred.
WindowDesign fileDesign() {
  return {.caption = "Create New Movie", .border = Border::Sizable, .controlBox = true, .background = kRed,
          .fontName = "MS Sans Serif", .fontSize = 8.0f, .clientWidth = 4545, .clientHeight = 4110,
          .iconResource = 1, .centered = true};
}

std::string nameProblem(NameError error, const std::string& name) {
  switch (error) {
    case NameError::kNone:
      return {};
    case NameError::kBadCharacter:
      return "A file name cannot contain any of these characters:\n\\ / : * ? \" < > |\n\nType the name only; "
             "choose the folder in the list above.";
    case NameError::kReservedName:
      return "\"" + name + "\" is a name Windows keeps for a device. Please choose another name.";
    case NameError::kTrailingDotOrBlank:
      return "A file name cannot end with a dot or a blank.";
    case NameError::kNameTooLong:
    case NameError::kPathTooLong:
      return "The name is too long for this folder. Please choose a shorter name.";
    case NameError::kEmpty:
    case NameError::kInvalidText:
      break;
  }
  return "This name cannot be used for a file. Please choose another name.";
}

}  // namespace

bool FileExists(const FileSystem& files, const std::string& path) {
  const auto entry = files.stat(path);
  return entry && !entry->folder && !entry->hidden && !entry->system;
}

namespace {

// What the file list shows for a format; its extension (lower case, dot
// included) follows the star.
const char* patternOf(MovieFormat format) {
  switch (format) {
    case MovieFormat::Gif:
      return "*.gif";
    case MovieFormat::Mp4:
      return "*.mp4";
    case MovieFormat::Uncompressed:
    case MovieFormat::Zmbv:
      break;
  }
  return "*.avi";
}

}  // namespace

std::string moviePath(const std::string& folder, const std::string& name, MovieFormat format) {
  const std::string base = withTrailingBackslash(folder);
  const std::string extension = patternOf(format) + 1;
  std::string last4 = name.size() >= 4 ? name.substr(name.size() - 4) : name;
  for (char& c : last4) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return last4 == extension ? base + name : base + name + extension;
}

FrmFile::FrmFile(App& app) : Form(app, fileDesign()) {
  Window& w = *window_;
  const FileSystem& files = app.platform().files;
  Drv = std::make_unique<DriveList>(w.addComboBox(placed<ListDesign>(240, 120, 3975, 315, 0)), files);
  Dir = std::make_unique<DirList>(w.addListBox(placed<ListDesign>(240, 540, 3975, 1440, 1)), files);
  filList = std::make_unique<FileList>(w.addListBox(placed<ListDesign>(240, 2100, 3975, 870, 5)), files,
                                     patternOf(MovieFormat::Uncompressed));
  txtFileName = &w.addTextBox(placed<TextBoxDesign>(240, 3120, 3975, 315, 2));
  auto ok = placed<ButtonDesign>(2640, 3600, 735, 315, 3);
  ok.caption = "OK";
  cmdOK = &w.addButton(ok);
  auto cancel = placed<ButtonDesign>(3480, 3600, 735, 315, 4);
  cancel.caption = "Cancel";
  cmdCancel = &w.addButton(cancel);
  // In the free space left of OK, on its row: no designed control moves.
  auto format = placed<ListDesign>(240, 3600, 2295, 315, 6);
  format.items = {std::begin(kFormatItems), std::end(kFormatItems)};
  cboFormat = &w.addComboBox(format);
}

void FrmFile::load() {
  Drv->onChange = [this] { driveChanged(); };
  Dir->onChange = [this] { folderChanged(); };
  filList->onClick = [this] { txtFileName->setText(filList->fileName()); };
  cmdOK->onClick = [this] { ok(); };
  cmdCancel->onClick = [this] { cancel(); };
  // A close request ends the dialog as Cancel does, and the window goes:
  // the next showing loads it afresh.
  window_->events.onCloseRequest = [this] {
    FileName.clear();
    return true;
  };
  window_->events.onUnload = [this] { app_.unloadFrmFile(); };
  {
    // The stored choice is shown, not written again; an unknown one is the
    // uncompressed movie.
    const MutedClick muted(*cboFormat);
    const std::string stored = GetSetting(app_.platform().settings, kAppName, kSection, "Compression", "None");
    const auto found = std::find(std::begin(kCompressionValues), std::end(kCompressionValues), stored);
    cboFormat->setListIndex(found == std::end(kCompressionValues)
                                ? 0
                                : static_cast<int>(found - std::begin(kCompressionValues)));
    showFormatFiles();
  }
  cboFormat->onClick = [this] { formatSelected(); };
  lookForFfmpegIfMp4();
  window_->events.onDrivesChanged = [this] { refreshDrives(); };
  fixpaths();
}

MovieFormat FrmFile::movieFormat() const {
  switch (cboFormat->listIndex()) {
    case 1:
      return MovieFormat::Zmbv;
    case 2:
      return MovieFormat::Gif;
    case 3:
      return MovieFormat::Mp4;
    default:
      return MovieFormat::Uncompressed;
  }
}

void FrmFile::showFormatFiles() { filList->setPattern(patternOf(movieFormat())); }

void FrmFile::lookForFfmpegIfMp4() {
  if (movieFormat() == MovieFormat::Mp4)
    app_.modAVI().lookForFfmpeg(GetSetting(app_.platform().settings, kAppName, kSection, "FFmpegPath", ""));
}

void FrmFile::formatSelected() {
  const int index = cboFormat->listIndex();
  if (index < 0) return;
  showFormatFiles();
  // A store that refuses it is not reported: the list holds the choice for
  // this run all the same.
  static_cast<void>(SaveSetting(app_.platform().settings, kAppName, kSection, "Compression",
                                kCompressionValues[static_cast<std::size_t>(index)]));
  lookForFfmpegIfMp4();
}

void FrmFile::fixpaths() {
  const FileSystem& files = app_.platform().files;
  const std::string programFolder = files.programFolder();
  const std::string folder =
      GetSetting(app_.platform().settings, kAppName, kSection, "folder", programFolder);
  openFolder(*Drv, *Dir, folder, programFolder);
}

void FrmFile::refreshDrives() {
  const FileSystem& files = app_.platform().files;
  const std::string programFolder = files.programFolder();
  refreshLists(*Drv, *Dir,
               {GetSetting(app_.platform().settings, kAppName, kSection, "folder", programFolder), programFolder});
}

void FrmFile::driveChanged() { followDrive(*Drv, *Dir, volumeOf(app_.platform().files.programFolder())); }

void FrmFile::folderChanged() {
  txtFileName->setText("");
  filList->setPath(Dir->path());
}

void FrmFile::ok() {
  const std::string name = txtFileName->text();
  if (name.empty()) return;
  FileName.clear();
  if (Dir->path().empty()) {
    app_.windows().messageBoxWarning(kNoFolder);
    return;
  }
  const std::string path = moviePath(Dir->path(), name, movieFormat());
  // Names the file system would reject never reach the recording.
  const std::string fileName = path.substr(withTrailingBackslash(Dir->path()).size());
  const NameError problem = validateNewFileName(Dir->path(), fileName);
  if (problem != NameError::kNone) {
    app_.windows().messageBoxWarning(nameProblem(problem, name));
    return;
  }
  if (FileExists(app_.platform().files, path) &&
      app_.windows().messageBoxYesNoCancel(kOverwriteQuestion, MsgButton::Cancel) != MsgButton::Yes)
    return;
  FileName = path;
  window_->hide();
}

void FrmFile::cancel() {
  FileName.clear();
  window_->hide();
}

}  // namespace ks
