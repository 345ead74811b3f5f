// Everything but the window system, in memory: settings, a file system with
// Windows rules, a clock the test moves, a painted screen, a shell that
// records, and movies kept as bytes.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/headless/headless_screen.h"
#include "platform/headless/memory_file_system.h"
#include "platform/platform.h"
#include "platform/shell.h"
#include "recorder/memory_sink.h"
#include "recorder/movie_files.h"
#include "settings/settings_store.h"

namespace ks::test {

class MemoryMovieFiles final : public MovieFiles {
 public:
  std::unique_ptr<FileSink> create(const std::string& path) override;
  bool remove(const std::string& path) override { return files.erase(path) > 0; }
  // Faults for files created from now on.
  std::uint64_t capacity = UINT64_MAX;
  bool refuseCreate = false;
  std::map<std::string, std::shared_ptr<MemoryFile>> files;
  int created = 0;
};

struct TestServices {
  TestServices();
  Platform platform(WindowSystem& windows);

  MemorySettingsStore settings;
  MemoryFileSystem files;
  FakeClock clock;
  HeadlessScreen screen;
  std::unique_ptr<ScreenGrabber> grabber;
  RecordingShell shell;
  MemoryMovieFiles movies;
};

inline constexpr const char* kProgramFolder = "C:\\Program Files\\kestrascope";

}  // namespace ks::test
