#include "trim/trim_menu.h"

#include "app/app.h"
#include "base/path_rules.h"
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
  request.filterName = "Movies (*.avi, *.gif)";
  request.patterns = "*.avi;*.gif";
  request.folder = !last.empty() ? parentFolder(last)
                                 : GetSetting(app_.platform().settings, kAppName, kSection, "folder",
                                              app_.platform().files.programFolder());
  const std::optional<std::string> path = app_.windows().chooseFileToOpen(request);
  if (!path) return true;
  ReadResult<std::unique_ptr<TrimSource>> movie = openTrimSource(*path);
  if (!movie) {
    app_.windows().messageBoxWarning(fileNameOf(*path) + " cannot be trimmed: " + movie.error() + ".");
    return true;
  }
  app_.openFrmTrim(*path, std::move(movie.value()));
  return true;
}

}  // namespace ks
