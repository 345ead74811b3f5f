// Waiting for events, for at most a given time, precisely when asked.
#include "platform/win32/win32_window.h"

#include <algorithm>
#include <cmath>

// After <windows.h>, which it needs.
#include <mmsystem.h>

namespace ks::win32 {

void Win32WindowSystem::waitForEvents(double maxSeconds) {
  if (ended_ || !(maxSeconds > 0)) return;
  if (preciseTimer_) {
    // Relative due time in 100 ns units. Setting the manual-reset timer
    // also clears a signal left by an earlier wait that input ended first.
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(1, std::llround(std::min(maxSeconds, 3600.0) * 1e7));
    if (SetWaitableTimer(preciseTimer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
      HANDLE timer = preciseTimer_.get();
      MsgWaitForMultipleObjectsEx(1, &timer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      return;
    }
  }
  // Whole milliseconds, to nearest; a shorter wait still waits one.
  const double ms = std::min(std::nearbyint(maxSeconds * 1000.0), static_cast<double>(INFINITE - 1));
  const auto timeout = static_cast<DWORD>(std::max(ms, 1.0));
  MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32WindowSystem::setPreciseWaits(bool on) {
  if (on && !preciseTimer_ && !raisedTimerResolution_) {
    // Older systems refuse the high-resolution flag; they get the timer
    // resolution raised for the run instead, which affects the whole
    // system and so is given back afterwards.
    constexpr DWORD kHighResolution = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
    preciseTimer_.reset(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET | kHighResolution,
                                               TIMER_MODIFY_STATE | SYNCHRONIZE));
    if (!preciseTimer_) raisedTimerResolution_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  } else if (!on) {
    preciseTimer_.reset();
    if (raisedTimerResolution_) timeEndPeriod(1);
    raisedTimerResolution_ = false;
  }
}

}  // namespace ks::win32
