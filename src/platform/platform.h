// Everything the forms get from the operating system, in one bundle the App
// is built with.
#pragma once

namespace ks {

class WindowSystem;
class SettingsStore;
class FileSystem;
class Clock;
class ScreenGrabber;
class Shell;
class MovieFiles;
class AudioDevices;
class MouseWatch;
class KeyWatch;
class TextPainter;
class Programs;

struct Platform {
  WindowSystem& windows;
  SettingsStore& settings;
  FileSystem& files;
  Clock& clock;
  ScreenGrabber& grabber;
  Shell& shell;
  MovieFiles& movies;
  // The sound sources; none on a platform without sound.
  AudioDevices* audio = nullptr;
  // Where clicks to mark come from; none on a platform without a mouse.
  MouseWatch* mouse = nullptr;
  // Other programs (the user's ffmpeg); none where no program can be run.
  Programs* programs = nullptr;
  // Where shortcuts to caption come from, and the text they are drawn in;
  // none on a platform without a keyboard.
  KeyWatch* keys = nullptr;
  TextPainter* text = nullptr;
};

}  // namespace ks
