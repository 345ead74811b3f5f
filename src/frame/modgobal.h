// Start-up, the frame's layout and keeping windows on top.
#pragma once

#include <cstdint>

#include "base/geometry.h"

namespace ks {

class App;
class Window;

// Creates, places and shows the four frame windows, then returns.
void Main(App& app);

// Re-attaches the side windows and the control bar to frmtop, from the
// positions read back from the windows.
void fixborders(App& app);

// Puts a window at the top of the topmost band and, unless it is minimised or
// maximised, at (x, y) twips. Positions are 32-bit so frames on a second
// monitor or far right on a 4K screen keep working.
void StayOnTop(Window& form, std::int32_t x, std::int32_t y);

// StayOnTop with the window's own rounded position.
void stayOnTopInPlace(Window& form);

}  // namespace ks
