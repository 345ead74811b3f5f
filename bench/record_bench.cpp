// Recording under the real Windows platform (run under Wine here):
//   record_720p30_new_frames  share of frames that are new pictures, not
//                             copies, recording 1280x720 at 30 fps
//   calibrate_1080p           the rate the calibration selects at 1920x1080
//                             (the third in a row; the first is printed as
//                             calibrate_1080p_first)
//   record_1fps_cpu           CPU time of the process while recording at
//                             1 fps, in % of one core, against a spinning
//                             loop over the same time
// With KS_BENCH_PARTS set it also prints what one calibration pass costs at
// 1080p, step by step (capture, write, label, events).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"
#include "frame/region.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/headless/memory_settings_store.h"
#include "platform/win32/win32_platform.h"
#include "recorder/mod_avi.h"
#include "settings/frmsettings.h"
#include "settings/settings_keys.h"

namespace {

thread_local ks::ModAvi* t_stopTarget = nullptr;

void CALLBACK stopRecording(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (t_stopTarget) t_stopTarget->Recording = false;
}

double processSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](FILETIME t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// Places the frame so the capture region is exactly w x h pixels at (x, y).
void placeRegion(ks::App& app, int x, int y, int w, int h) {
  ks::Window& top = app.frmtop().window();
  const float tx = app.windows().twipsPerPixelX(), ty = app.windows().twipsPerPixelY();
  const float side = app.frmleft().window().width();
  top.setWidth(w * tx + 2 * side);
  top.setLeft(x * tx - side);
  top.setTop(y * ty - top.height());
  ks::fixborders(app);
  app.frmbot().window().setTop((y + h) * ty);
  ks::fixborders(app);
}

void selectRate(ks::App& app, const char* rate) {
  ks::ComboBox& list = *app.frmSettings().cboFrames;
  for (int i = 0; i < list.listCount(); ++i)
    if (list.list(i) == rate) list.setListIndex(i);
}

}  // namespace

int main() {
  // The user's own settings stay as they are.
  ks::MemorySettingsStore settings;
  ks::Win32Platform real(ks::Win32Options{false}, &settings);
  ks::App app(real.platform());
  ks::WindowSystem* windows = &real.windows();
  ks::Clock& clock = app.platform().clock;
  ks::Main(app);
  ks::ModAvi& avi = app.modAVI();
  t_stopTarget = &avi;

  // 1280x720 at 30 fps for 10 seconds.
  placeRegion(app, 100, 100, 1280, 720);
  const ks::PixelRect r720 = ks::regionPixels(app);
  selectRate(app, "30");
  SetTimer(nullptr, 0, 10000, stopRecording);
  avi.RecordMovie("bench-720p30.avi");
  const int total = avi.newPictures + avi.copies;
  std::printf("record_720p30_new_frames: %.1f %% (%d new pictures of %d frames, region %dx%d)\n",
              total ? 100.0 * avi.newPictures / total : 0.0, avi.newPictures, total, r720.width, r720.height);
  std::fflush(stdout);

  // 308x256, the first frame's region, at 60 fps for 5 seconds: new
  // pictures only if every wait ends on time.
  placeRegion(app, 150, 171, 308, 256);
  selectRate(app, "60");
  SetTimer(nullptr, 0, 5000, stopRecording);
  avi.RecordMovie("bench-60fps.avi");
  const int total60 = avi.newPictures + avi.copies;
  std::printf("record_60fps_new_frames: %.1f %% (%d new pictures of %d frames)\n",
              total60 ? 100.0 * avi.newPictures / total60 : 0.0, avi.newPictures, total60);
  std::printf("record_60fps_grab_delay: %.1f ms (median, after the frame fell due)\n",
              avi.grabDelays.median() * 1000);
  std::fflush(stdout);

  // Calibration at 1920x1080, writing to the page cache.
  placeRegion(app, 0, 0, 1920, 1080);
  if (std::getenv("KS_BENCH_PARTS")) {
    auto time = [&](const char* what, auto&& step) {
      const double t0 = clock.now();
      int failed = 0;
      for (int i = 0; i < 50; ++i) failed += step() ? 0 : 1;
      std::printf("part %s: %.2f ms (%d of 50 failed)\n", what, (clock.now() - t0) * 1000 / 50, failed);
    };
    if (avi.CaptureFrame()) {
      app.platform().grabber.prepare(1920, 1080, 0, 0);
      time("capture", [&] { return avi.CaptureFrame(); });
      if (avi.OpenMovie("bench-parts.avi")) {
        time("write", [&] { return avi.WriteFrame(); });
        avi.CloseMovie();
      } else {
        std::printf("part write: the movie could not be opened\n");
      }
    } else {
      std::printf("part capture: the screen could not be grabbed\n");
    }
    time("label", [&] {
      app.frmbot().lblUpto->setCaption(std::to_string(clock.now()));
      app.frmbot().lblUpto->refresh();
      return true;
    });
    time("events", [&] {
      windows->doEvents();
      return true;
    });
  }
  const ks::PixelRect r1080 = ks::regionPixels(app);
  // Three calibrations in a row, each movie removed before the next. The
  // first writes into memory the system has never used since it started,
  // which on this virtual machine costs several times more per frame than
  // writing into page-cache memory used before; the last is the steady case.
  for (int run = 1; run <= 3; ++run) {
    avi.Recording = true;
    avi.MeasureFrameRate("bench-1080p-calibration.avi");
    avi.Recording = false;
    DeleteFileW(L"bench-1080p-calibration.avi");
    if (run == 2) continue;
    std::printf("%s: %s fps (n = %d pictures in 5 s, region %dx%d, calibration %d of 3)\n",
                run == 1 ? "calibrate_1080p_first" : "calibrate_1080p", app.frmSettings().cboFrames->text().c_str(),
                avi.calibrationFrames, r1080.width, r1080.height, run);
    std::fflush(stdout);
  }

  // 1 fps for 10 seconds: the loop should sleep between frames.
  placeRegion(app, 100, 100, 640, 480);
  selectRate(app, "1");
  const double cpu0 = processSeconds(), wall0 = clock.now();
  SetTimer(nullptr, 0, 10000, stopRecording);
  avi.RecordMovie("bench-1fps.avi");
  const double cpu = processSeconds() - cpu0, wall = clock.now() - wall0;
  // Baseline: a loop that only delivers events over the same time.
  const double spin0 = processSeconds(), spinWall0 = clock.now();
  while (clock.now() - spinWall0 < 2.0) windows->doEvents();
  const double spin = (processSeconds() - spin0) / (clock.now() - spinWall0);
  std::printf("record_1fps_cpu: %.2f %% vs spinning_loop %.1f %% = %.3fx\n", 100.0 * cpu / wall, 100.0 * spin,
              spin > 0 ? (cpu / wall) / spin : 0.0);
  DeleteFileW(L"bench-720p30.avi");
  DeleteFileW(L"bench-60fps.avi");
  DeleteFileW(L"bench-1080p-calibration.avi");
  DeleteFileW(L"bench-1fps.avi");
  return 0;
}
