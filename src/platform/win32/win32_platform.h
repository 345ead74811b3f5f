// The real Windows platform in one piece: what the program, and the
// benchmarks that drive it, run on.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/key_watch.h"
#include "platform/mouse_watch.h"
#include "platform/movie_files.h"
#include "platform/platform.h"
#include "platform/screen_grabber.h"
#include "platform/text_painter.h"
#include "platform/win32/programs_win32.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/wasapi_audio.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_window_system.h"

namespace ks {

class Win32Platform {
 public:
  // Settings go to the current user's registry unless `settings` is given.
  explicit Win32Platform(const Win32Options& options = {}, SettingsStore* settings = nullptr);
  Platform platform();
  WindowSystem& windows() { return *windows_; }
  AudioDevices& audio() { return audio_; }

 private:
  std::unique_ptr<WindowSystem> windows_;
  RegistrySettingsStore registry_;
  SettingsStore& settings_;
  Win32FileSystem files_;
  SteadyClock clock_;
  WasapiAudioDevices audio_{clock_};
  std::unique_ptr<ScreenGrabber> grabber_;
  std::unique_ptr<MouseWatch> mouse_;
  std::unique_ptr<KeyWatch> keys_;
  std::unique_ptr<TextPainter> text_;
  Win32Shell shell_;
  DiskMovieFiles movies_;
  Win32Programs programs_;
};

}  // namespace ks
