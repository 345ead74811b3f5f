// The Windows program: the real platform wired to the forms.
#include <windows.h>

#include "app/app.h"
#include "frame/modgobal.h"
#include "platform/clock.h"
#include "platform/movie_files.h"
#include "platform/win32/gdi_grabber.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_window_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  auto windows = ks::makeWin32WindowSystem(ks::Win32Options{});
  ks::RegistrySettingsStore settings;
  ks::Win32FileSystem files;
  ks::SteadyClock clock;
  auto grabber = ks::makeGdiGrabber();
  ks::Win32Shell shell;
  ks::DiskMovieFiles movies;
  ks::App app(ks::Platform{*windows, settings, files, clock, *grabber, shell, movies});
  ks::Main(app);
  return windows->run();
}
