// The trim window: a movie's frame at the position, a slider over all its
// frames, the position's time and the chosen span, and Set start, Set end,
// Save as… and Close. The keys are those of video editors: Right and Left a
// frame, Page Down and Page Up a second, Home and End, I and O the start and
// the end here, Ctrl+S Save as…, Esc Close. Saving runs beside the window's
// events with a progress bar and can be cancelled; the movie itself is never
// changed.
#pragma once

#include <memory>
#include <string>

#include "frame/form.h"
#include "media/trim_source.h"
#include "trim/trim_timeline.h"

namespace ks {

class Button;
class Image;
class Label;
class ProgressBar;
class Slider;
struct KeyEvent;

class FrmTrim final : public Form {
 public:
  FrmTrim(App& app, std::string path, std::unique_ptr<TrimSource> movie);
  void load();

  const TrimSpan& span() const { return span_; }
  bool saving() const { return saving_; }

  Image* picture = nullptr;
  Slider* sldFrame = nullptr;
  Label* lblPosition = nullptr;
  Label* lblSpan = nullptr;
  ProgressBar* barSaving = nullptr;
  Button* cmdStart = nullptr;
  Button* cmdEnd = nullptr;
  Button* cmdSave = nullptr;
  Button* cmdClose = nullptr;

 private:
  bool keyDown(const KeyEvent& key);
  void layout();
  // Shows the position: the slider, the frame and the texts.
  void show();
  void saveAs();
  // Runs the save while the events go on; the outcome for its message.
  TrimOutcome runSave(const std::string& path);
  void close();

  std::string path_;
  std::unique_ptr<TrimSource> movie_;
  TrimSpan span_;
  bool saving_ = false;
  bool cancelRequested_ = false;
  bool showing_ = false;
};

// "NAME-trim.EXT" for the movie at `path` (its name only).
std::string trimmedName(const std::string& path, const std::string& extension);

}  // namespace ks
