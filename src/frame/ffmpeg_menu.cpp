#include "frame/ffmpeg_menu.h"

#include "app/app.h"
#include "base/path_rules.h"
#include "frame/mp4_messages.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "recorder/mod_avi.h"
#include "settings/settings_keys.h"

namespace ks {

MenuItem FfmpegMenu::item() const { return {kChooseId, kChooseFfmpegItem, true, {}}; }

bool FfmpegMenu::chosen(int id) {
  if (id != kChooseId) return false;
  SettingsStore& settings = app_.platform().settings;
  const std::string stored = GetSetting(settings, kAppName, kSection, "FFmpegPath", "");
  OpenFileRequest request;
  request.title = "Choose ffmpeg.exe";
  request.filterName = "Programs (*.exe)";
  request.patterns = "*.exe";
  request.folder = stored.empty() ? app_.platform().files.programFolder() : parentFolder(stored);
  const std::optional<std::string> path = app_.windows().chooseFileToOpen(request);
  if (!path) return true;
  const FfmpegProbe& probe = app_.modAVI().ffmpeg(*path);
  // A program that does not answer is passed over for the next place, whose
  // answer is not about the choice.
  const bool answered = probe.path == *path && probe.problem != FfmpegProblem::DoesNotRun;
  if (!answered) {
    const std::string why = probe.path == *path ? probe.detail : "it did not answer -version";
    app_.windows().messageBoxWarning(*path + " does not work as ffmpeg: " + why +
                                     ".\n\nNothing was changed; choose ffmpeg.exe itself.");
    return true;
  }
  static_cast<void>(SaveSetting(settings, kAppName, kSection, "FFmpegPath", *path));
  if (probe.usable()) app_.windows().messageBoxInformation(ffmpegProbeText(probe));
  else app_.windows().messageBoxWarning(ffmpegProbeText(probe));
  return true;
}

}  // namespace ks
