// frmFile: names the new movie's file before each recording.
#pragma once

#include <memory>
#include <string>

#include "frame/form.h"
#include "media/movie_format.h"
#include "settings/folder_lists.h"

namespace ks {

class TextBox;
class Button;
class ComboBox;
class FileSystem;

// The Format list's items and what the store keeps for each, in order.
inline constexpr const char* kFormatItems[] = {"Uncompressed AVI", "Lossless AVI (ZMBV)", "Animated GIF",
                                               "MP4 (H.264)"};
inline constexpr const char* kCompressionValues[] = {"None", "ZMBV", "GIF", "MP4"};

inline constexpr const char* kOverwriteQuestion =
    "This file already exists.  Are you sure you want to over-write this file?";
inline constexpr const char* kNoFolder =
    "No folder can be opened for the movie. Insert the disk or connect to the network, then choose a folder in "
    "the lists above.";

class FrmFile final : public Form {
 public:
  explicit FrmFile(App& app);
  void load();
  // Moves the drive and folder lists to the stored default movie folder.
  void fixpaths();
  // Reads the drives again before the dialog is shown and when the system
  // announces a change of drives.
  void refreshDrives();

  // The accepted movie path, or empty when none was chosen.
  std::string FileName;
  // How the movie stores its frames: the Format list's choice.
  MovieFormat movieFormat() const;

  std::unique_ptr<DriveList> Drv;
  std::unique_ptr<DirList> Dir;
  std::unique_ptr<FileList> filList;
  TextBox* txtFileName = nullptr;
  Button* cmdOK = nullptr;
  Button* cmdCancel = nullptr;
  ComboBox* cboFormat = nullptr;

 private:
  void driveChanged();
  void folderChanged();
  void ok();
  void cancel();
  void formatSelected();
  // The file list shows the files of the chosen format.
  void showFormatFiles();
  // An MP4 chosen: the look for ffmpeg starts now, so that Record need not
  // wait for it.
  void lookForFfmpegIfMp4();
};

// True when an ordinary file (not a folder, not hidden, not system) is at
// the path.
bool FileExists(const FileSystem& files, const std::string& path);

// The movie path OK builds from the folder and the name as typed: the
// format's extension is added unless the name ends in it (in any case).
std::string moviePath(const std::string& folder, const std::string& name,
                      MovieFormat format = MovieFormat::Uncompressed);

}  // namespace ks
