// Everything but the window system, in memory: settings, a file system with
// Windows rules, a clock the test moves, a painted screen, a shell that
// records, and movies kept as bytes.
#pragma once

#include <memory>
#include <string>

#include "platform/headless/fake_clock.h"
#include "platform/headless/headless_screen.h"
#include "platform/headless/memory_file_system.h"
#include "platform/headless/memory_settings_store.h"
#include "platform/headless/recording_shell.h"
#include "platform/headless/block_text_painter.h"
#include "platform/headless/scripted_key_watch.h"
#include "platform/headless/scripted_mouse_watch.h"
#include "platform/headless/scripted_programs.h"
#include "platform/headless/synthetic_audio.h"
#include "platform/platform.h"
#include "settings/settings_keys.h"
#include "support/memory_movie_files.h"

namespace ks::test {

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
  SyntheticAudioDevices audio{clock};
  ScriptedMouseWatch mouse;
  ScriptedKeyWatch keys;
  BlockTextPainter text;
  ScriptedPrograms programs;
};

inline constexpr const char* kProgramFolder = "C:\\Program Files\\kestrascope";

}  // namespace ks::test
