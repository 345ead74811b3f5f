// Recording under the real Windows platform (run under Wine here):
//   record_720p30_new_frames  share of frames that are new pictures, not
//                             copies, recording 1280x720 at 30 fps
//   calibrate_1080p           the rate the calibration selects at 1920x1080
//                             (the third in a row; the first is printed as
//                             calibrate_1080p_first)
//   record_1fps_cpu           CPU time of the process while recording at
//                             1 fps, in % of one core, against a spinning
//                             loop over the same time
//   record_1080p30_sound_new_frames
//                             the 1080p30 share with a microphone recorded
//                             too (the first capture device; under the
//                             harness with --sound the null sink's monitor,
//                             fed by a tone another process plays)
//   record_sound_cpu          what recording that microphone adds to the
//                             CPU time of a 1 fps recording, in % of one core
//   record_1080p30_mp4_new_frames
//                             the 1080p30 share as an MP4 through the npm
//                             ffmpeg.exe (build/tools, from scripts/deps):
//                             new pictures that ffmpeg also took in time
//   mp4_pipe_mb_per_s         yuv420p 1080p pictures through a named pipe
//                             into ffmpeg.exe as fast as it reads them, into
//                             nothing and into our libx264 settings
// With KS_BENCH_PARTS set it also prints what one calibration pass costs at
// 1080p, step by step (capture, write, label, events).
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"
#include "frame/region.h"
#include "platform/audio_source.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/headless/memory_settings_store.h"
#include "platform/programs.h"
#include "platform/win32/programs_win32.h"
#include "platform/win32/win32_platform.h"
#include "media/ffmpeg_command.h"
#include "media/movie.h"
#include "recorder/mod_avi.h"
#include "recorder/recording_engine.h"
#include "settings/frmfile.h"
#include "settings/frmsettings.h"
#include "settings/settings_keys.h"

namespace {

thread_local ks::ModAvi* t_stopTarget = nullptr;

void CALLBACK stopRecording(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (t_stopTarget) t_stopTarget->stop();
}

// The recording the bar would start into `path`, without its dialog.
void recordInto(ks::App& app, const char* path) {
  ks::RecordingSettings settings = app.frmbot().recordingSettings(path);
  settings.calibrate = false;
  app.modAVI().start(settings);
}

// A host for timing the steps of a run apart: no events, no waits.

// One of the journeys' tools (in tests/ beside bench/), started with
// `arguments`.
PROCESS_INFORMATION startTool(const wchar_t* tool, const wchar_t* arguments) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir(self);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  std::wstring command = L"\"" + dir + L"..\\tests\\" + tool + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    std::printf("record_bench: %ls did not start (%lu)\n", tool, GetLastError());
  return process;
}

void endTool(PROCESS_INFORMATION& process) {
  if (!process.hProcess) return;
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  process = {};
}

// The pattern tool painting an editor's page over the screen.
PROCESS_INFORMATION startDesktopScene() { return startTool(L"pattern.exe", L"desktop 0 0 1920 1080 60"); }

// The flash-and-tone tool in a corner: a tone each second through the
// default output, from a process of its own.
PROCESS_INFORMATION startTones() { return startTool(L"flashtone.exe", L"1900 1060 8 8 120"); }

// Moves the pointer along a slow circle, as a hand on the mouse would.
void CALLBACK movePointer(HWND, UINT, UINT_PTR, DWORD) {
  static int step = 0;
  const double angle = ++step * 0.05;
  SetCursorPos(960 + static_cast<int>(300 * std::cos(angle)), 540 + static_cast<int>(200 * std::sin(angle)));
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

// The npm ffmpeg.exe that scripts/deps puts into build/tools, from the
// benchmark's own folder (build/windows/bench); empty when it is not there.
std::string benchFfmpeg() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path.resize(path.find_last_of(L"\\/") + 1);
  path += L"..\\..\\tools\\ffmpeg-win32\\ffmpeg.exe";
  wchar_t full[MAX_PATH];
  if (!GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr) ||
      GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES)
    return {};
  char utf8[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, full, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// `frames` 1080p yuv420p pictures into ffmpeg.exe through a named pipe as
// fast as it takes them, coded by `videoArgs` (empty: into nothing); MB a
// second, 0 when ffmpeg could not be run.
double pipeThroughput(const std::string& ffmpeg, const std::vector<std::string>& videoArgs, int frames,
                      double& fps) {
  ks::Win32Programs programs;
  std::string error;
  auto pipe = programs.createPipe(error);
  if (!pipe) return 0;
  std::vector<std::string> args{"-hide_banner", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt",
                                "yuv420p", "-video_size", "1920x1080", "-framerate", "30", "-i", pipe->path()};
  args.insert(args.end(), videoArgs.begin(), videoArgs.end());
  args.insert(args.end(), {"-f", "null", "-"});
  auto ffmpegRun = programs.start(ffmpeg, args, error);
  if (!ffmpegRun || pipe->connect(30) != ks::PipeResult::Done) return 0;
  std::vector<std::uint8_t> picture(1920 * 1080 * 3 / 2);
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7 + i / 1920);
  const ULONGLONG t0 = GetTickCount64();
  int written = 0;
  for (; written < frames; ++written) {
    picture[static_cast<std::size_t>(written) % picture.size()] ^= 0xFF;  // every picture differs
    if (pipe->write(picture.data(), picture.size(), 30) != ks::PipeResult::Done) break;
  }
  pipe->close();
  ffmpegRun->wait(60);
  const double seconds = static_cast<double>(GetTickCount64() - t0) / 1000.0;
  fps = written / seconds;
  return static_cast<double>(written) * static_cast<double>(picture.size()) / seconds / 1e6;
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
  // The microphone the sound figures record, as the Sound menu stores it.
  // The null sink's monitor where there is one (under the harness).
  std::vector<std::string> inputs = real.audio().inputNames();
  for (const std::string& name : inputs)
    if (name == "Monitor of Null Output") inputs = {name};
  auto useMicrophone = [&settings](const std::string& name) {
    static_cast<void>(settings.write(ks::kAppName, ks::kSection, "SoundInput", name));
  };

  // 1280x720 at 30 fps for 10 seconds.
  placeRegion(app, 100, 100, 1280, 720);
  const ks::PixelRect r720 = ks::regionPixels(app);
  selectRate(app, "30");
  SetTimer(nullptr, 0, 10000, stopRecording);
  recordInto(app, "bench-720p30.avi");
  const ks::RunFigures& figures = avi.figures();
  const int total = figures.newPictures + figures.copies;
  std::printf("record_720p30_new_frames: %.1f %% (%d new pictures of %d frames, region %dx%d)\n",
              total ? 100.0 * figures.newPictures / total : 0.0, figures.newPictures, total, r720.width, r720.height);
  std::fflush(stdout);

  // 308x256, the first frame's region, at 60 fps for 5 seconds: new
  // pictures only if every wait ends on time.
  placeRegion(app, 150, 171, 308, 256);
  selectRate(app, "60");
  SetTimer(nullptr, 0, 5000, stopRecording);
  recordInto(app, "bench-60fps.avi");
  const int total60 = figures.newPictures + figures.copies;
  std::printf("record_60fps_new_frames: %.1f %% (%d new pictures of %d frames)\n",
              total60 ? 100.0 * figures.newPictures / total60 : 0.0, figures.newPictures, total60);
  std::printf("record_60fps_grab_delay: %.1f ms (median, after the frame fell due)\n",
              figures.grabDelays.median() * 1000);
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
    // The grabber and the movie as a run drives them.
    ks::ScreenGrabber& grabber = app.platform().grabber;
    const ks::PixelRect region = ks::regionPixels(app);
    auto capture = [&] { return grabber.grabRect(region.width, region.height, region.x, region.y); };
    if (capture()) {
      grabber.prepare(region.width, region.height, region.x, region.y);
      time("capture", capture);
      const ks::CapturedPicture p = grabber.picture();
      const ks::BitmapInfoHeader format = ks::makeFrameFormat(p.width, p.height);
      ks::FileProblem problem = ks::FileProblem::None;
      ks::Movie movie;
      if (movie.OpenMovie(app.platform().movies.create("bench-parts.avi", problem), format, 30)) {
        time("write", [&] { return movie.WriteFrame(grabber.picture().bits, format); });
        static_cast<void>(movie.CloseMovie());
      } else {
        std::printf("part write: the movie could not be opened\n");
      }
      grabber.freeCapture();
      DeleteFileW(L"bench-parts.avi");
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
  int calibrationFrames = 0;
  for (int run = 1; run <= 3; ++run) {
    // The bar's own calibration, alone.
    ks::RecordingSettings calibration = app.frmbot().recordingSettings("bench-1080p-calibration.avi");
    calibration.calibrate = true;
    calibration.calibrateOnly = true;
    avi.start(calibration);
    calibrationFrames = avi.figures().calibrationFrames;
    DeleteFileW(L"bench-1080p-calibration.avi");
    if (run == 2) continue;
    std::printf("%s: %s fps (n = %d pictures in 5 s, region %dx%d, calibration %d of 3)\n",
                run == 1 ? "calibrate_1080p_first" : "calibrate_1080p", app.frmSettings().cboFrames->text().c_str(),
                calibrationFrames, r1080.width, r1080.height, run);
    std::fflush(stdout);
  }

  // 1920x1080 at 30 fps over an editor's page with a line being typed and
  // the pointer moving: a lossless movie against an uncompressed one of the
  // same scene and length.
  {
    PROCESS_INFORMATION scene = startDesktopScene();
    Sleep(1500);
    placeRegion(app, 0, 0, 1920, 1080);
    selectRate(app, "30");
    struct Result {
      int newPictures = 0, total = 0;
      unsigned long long bytes = 0;
    };
    auto recordScene = [&](int format, const wchar_t* file) {
      app.frmFile().cboFormat->setListIndex(format);
      SetTimer(nullptr, 0, 5000, stopRecording);
      const UINT_PTR pointer = SetTimer(nullptr, 0, 40, movePointer);
      char path[64];
      std::snprintf(path, sizeof path, "%ls", file);
      recordInto(app, path);
      KillTimer(nullptr, pointer);
      Result r;
      r.newPictures = figures.newPictures;
      r.total = figures.newPictures + figures.copies;
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (GetFileAttributesExW(file, GetFileExInfoStandard, &data))
        r.bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      DeleteFileW(file);
      return r;
    };
    const Result lossless = recordScene(1, L"bench-1080p30-lossless.avi");
    const Result plain = recordScene(0, L"bench-1080p30-uncompressed.avi");
    // The uncompressed one again, with the first capture device's sound.
    Result sound;
    std::int64_t soundFrames = 0;
    if (!inputs.empty()) {
      PROCESS_INFORMATION tones = startTones();
      Sleep(1000);
      useMicrophone(inputs.front());
      sound = recordScene(0, L"bench-1080p30-sound.avi");
      soundFrames = avi.lastOutcome().soundFrames;
      useMicrophone("");
      endTool(tones);
    }
    // And as an MP4 through the npm ffmpeg.exe, without sound and with it.
    const std::string ffmpeg = benchFfmpeg();
    Result mp4, mp4Sound;
    std::int64_t mp4Repeated = 0, mp4SoundRepeated = 0;
    if (!ffmpeg.empty()) {
      static_cast<void>(settings.write(ks::kAppName, ks::kSection, "FFmpegPath", ffmpeg));
      mp4 = recordScene(3, L"bench-1080p30.mp4");
      mp4Repeated = avi.lastOutcome().framesRepeated;
      if (!inputs.empty()) {
        PROCESS_INFORMATION tones = startTones();
        Sleep(1000);
        useMicrophone(inputs.front());
        mp4Sound = recordScene(3, L"bench-1080p30-sound.mp4");
        mp4SoundRepeated = avi.lastOutcome().framesRepeated;
        useMicrophone("");
        endTool(tones);
      }
    }
    app.frmFile().cboFormat->setListIndex(0);
    endTool(scene);
    if (ffmpeg.empty()) {
      std::printf("record_1080p30_mp4_new_frames: no ffmpeg.exe in build/tools (scripts/deps fetches it)\n");
    } else {
      auto share = [](const Result& r, std::int64_t repeated) {
        return r.total ? 100.0 * static_cast<double>(r.newPictures - repeated) / r.total : 0.0;
      };
      std::printf("record_1080p30_mp4_new_frames: %.1f %% (%d new pictures of %d frames, %lld of them repeats for "
                  "want of room in ffmpeg's queue; %.1f kB a second) vs uncompressed %.1f %%; with sound %.1f %%\n",
                  share(mp4, mp4Repeated), mp4.newPictures, mp4.total, static_cast<long long>(mp4Repeated),
                  mp4.bytes / 5.0 / 1e3, plain.total ? 100.0 * plain.newPictures / plain.total : 0.0,
                  share(mp4Sound, mp4SoundRepeated));
      double nullFps = 0, codedFps = 0;
      const double intoNothing = pipeThroughput(ffmpeg, {}, 150, nullFps);
      const double intoX264 =
          pipeThroughput(ffmpeg, ks::videoArgs(ks::kSoftwareEncoder, 30, ks::FfmpegVersion{}), 150, codedFps);
      std::printf("mp4_pipe_mb_per_s: %.0f MB/s (%.1f pictures a second) into nothing, %.0f MB/s (%.1f pictures a "
                  "second) into libx264 as we set it vs 30 a second needed = %.2fx\n",
                  intoNothing, nullFps, intoX264, codedFps, codedFps / 30);
    }
    std::fflush(stdout);
    std::printf("record_1080p30_lossless_new_frames: %.1f %% (%d new pictures of %d frames) vs uncompressed %.1f %%\n",
                lossless.total ? 100.0 * lossless.newPictures / lossless.total : 0.0, lossless.newPictures,
                lossless.total, plain.total ? 100.0 * plain.newPictures / plain.total : 0.0);
    // Bytes a frame, so that a different frame count does not skew it.
    const double perLossless = lossless.total ? static_cast<double>(lossless.bytes) / lossless.total : 0;
    const double perPlain = plain.total ? static_cast<double>(plain.bytes) / plain.total : 0;
    if (inputs.empty()) {
      std::printf("record_1080p30_sound_new_frames: no capture device (run under the harness with --sound)\n");
    } else {
      std::printf("record_1080p30_sound_new_frames: %.1f %% (%d new pictures of %d frames, %lld sample frames of "
                  "sound from \"%s\" for %.0f expected) vs without sound %.1f %%\n",
                  sound.total ? 100.0 * sound.newPictures / sound.total : 0.0, sound.newPictures, sound.total,
                  static_cast<long long>(soundFrames), inputs.front().c_str(), sound.total * 48000.0 / 30,
                  plain.total ? 100.0 * plain.newPictures / plain.total : 0.0);
    }
    std::printf("record_1080p30_lossless_bytes_per_frame: %.0f bytes vs uncompressed %.0f bytes = %.4fx (%.0f times smaller)\n",
                perLossless, perPlain, perPlain > 0 ? perLossless / perPlain : 0.0,
                perLossless > 0 ? perPlain / perLossless : 0.0);
    std::fflush(stdout);
  }

  // 1 fps for 10 seconds: the loop should sleep between frames. Tones play
  // meanwhile from another process, so that the recording with sound below
  // runs in the same surroundings.
  placeRegion(app, 100, 100, 640, 480);
  selectRate(app, "1");
  PROCESS_INFORMATION tones = inputs.empty() ? PROCESS_INFORMATION{} : startTones();
  Sleep(500);
  const double cpu0 = processSeconds(), wall0 = clock.now();
  SetTimer(nullptr, 0, 10000, stopRecording);
  recordInto(app, "bench-1fps.avi");
  const double cpu = processSeconds() - cpu0, wall = clock.now() - wall0;
  if (!inputs.empty()) {
    useMicrophone(inputs.front());
    const double soundCpu0 = processSeconds(), soundWall0 = clock.now();
    SetTimer(nullptr, 0, 10000, stopRecording);
    recordInto(app, "bench-1fps-sound.avi");
    const double soundCpu = processSeconds() - soundCpu0, soundWall = clock.now() - soundWall0;
    useMicrophone("");
    // The capture alone, with no recording: the sound system's share.
    struct Counting final : ks::SoundSink {
      std::atomic<long long> frames{0};
      void packet(const ks::SoundPacket& p) override { frames += p.frames; }
      void lost(double, const std::string&) override {}
    } counting;
    double captureOnly = 0;
    long long captured = 0;
    if (auto source = real.audio().input(inputs.front())) {
      std::string reason;
      const double c0 = processSeconds(), w0 = clock.now();
      if (source->start(counting, reason)) {
        Sleep(10000);
        source->stop();
        captureOnly = (processSeconds() - c0) / (clock.now() - w0);
        captured = counting.frames;
      }
    }
    const double added = 100.0 * (soundCpu / soundWall - cpu / wall);
    std::printf("record_sound_capture_cpu: %.2f %% of one core for capturing alone (%lld sample frames in 10 s), "
                "the rest of what sound adds %.2f %%\n",
                100.0 * captureOnly, captured, added - 100.0 * captureOnly);
    std::printf("record_sound_cpu: %.2f %% of one core added by the microphone (1 fps: %.2f %% with sound vs %.2f %% "
                "without) vs budget 1 %% = %.3fx\n",
                added, 100.0 * soundCpu / soundWall, 100.0 * cpu / wall, added / 1.0);
  }
  endTool(tones);
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
  DeleteFileW(L"bench-1fps-sound.avi");
  DeleteFileW(L"bench-1080p30-sound.avi");
  return 0;
}
