#include "trim/trim_menu.h"

#include "app/app.h"
#include "base/path_rules.h"
#include "frame/mp4_messages.h"
#include "media/mp4_trim_source.h"
#include "media/trim_source.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "recorder/mod_avi.h"
#include "settings/settings_keys.h"

namespace ks {

bool TrimMenu::chosen(int id) {
  if (id != kTrimId) return false;
  // Where the last movie of this run went, else the movies' folder.
  const std::string last = app_.modAVI().lastOutcome().path;
  OpenFileRequest request;
  request.title = "Trim a movie";
  request.filterName = "Movies (*.avi, *.gif, *.mp4)";
  request.patterns = "*.avi;*.gif;*.mp4";
  request.folder = !last.empty() ? parentFolder(last)
                                 : GetSetting(app_.platform().settings, kAppName, kSection, "folder",
                                              app_.platform().files.programFolder());
  const std::optional<std::string> path = app_.windows().chooseFileToOpen(request);
  if (!path) return true;
  // An MP4's pictures come from ffmpeg, looked for as a recording does.
  const FfmpegFinder ffmpeg = [this]() -> ReadResult<FfmpegTool> {
    Programs* programs = app_.platform().programs;
    if (!programs) return ReadFailure{"an MP4 movie is trimmed by ffmpeg, which cannot be run here"};
    const FfmpegProbe& probe =
        app_.modAVI().ffmpeg(GetSetting(app_.platform().settings, kAppName, kSection, "FFmpegPath", ""));
    if (!probe.usable()) return ReadFailure{"an MP4 movie is trimmed by ffmpeg.\n\n" + ffmpegProbeText(probe)};
    return FfmpegTool{programs, probe.path, probe.version, probe.encoder};
  };
  ReadResult<std::unique_ptr<TrimSource>> movie = openTrimSource(*path, ffmpeg);
  if (!movie) {
    const std::string& why = movie.error();
    app_.windows().messageBoxWarning(fileNameOf(*path) + " cannot be trimmed: " + why + (why.ends_with('.') ? "" : "."));
    return true;
  }
  app_.openFrmTrim(*path, std::move(movie.value()));
  return true;
}

}  // namespace ks
