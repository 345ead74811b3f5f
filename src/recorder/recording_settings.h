// What a recording is to be, taken once when Record is confirmed: the forms
// build it from their controls, and the session never asks them again.
#pragma once

#include <string>
#include <vector>

#include "base/geometry.h"
#include "media/movie_format.h"
#include "platform/hotkey.h"

namespace ks {

// The sound sources a recording takes its track from.
struct SoundChoice {
  bool system = false;  // what the speakers play
  std::string input;    // a capture device's friendly name; empty for none
  bool any() const { return system || !input.empty(); }
};

struct RecordingSettings {
  std::string path;
  // Frames per second.
  double rate = 1;
  MovieFormat format = MovieFormat::Uncompressed;
  // Measure the rate the machine sustains first, and record at that.
  bool calibrate = false;
  // With calibrate: only measure; the session ends once the rate is chosen.
  bool calibrateOnly = false;
  // The rates a calibration chooses from, ascending (the rate list's items).
  std::vector<double> rates;
  // The capture region in screen pixels; its size is every frame's.
  PixelRect region;
  // No source: a silent movie, as without sound at all.
  SoundChoice sound;
  // Rings where mouse buttons are pressed, sized for the screen's DPI.
  bool showClicks = false;
  int dpi = 96;
  // Captions of the shortcuts pressed, leaving out `ownKeys`, the program's
  // global keys.
  bool showKeys = false;
  std::vector<Hotkey> ownKeys;
  // The mouse pointer drawn into the pictures.
  bool recordPointer = true;
  // The ffmpeg the user chose for MP4 movies; empty: looked for.
  std::string ffmpegPath;
};

}  // namespace ks
