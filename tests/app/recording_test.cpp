// The record command end to end on the in-memory platform, with a clock the
// test drives: the dialog, the controls through calibration and recording,
// Stop, and what the user is told when a run fails.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app_fixture.h"
#include "base/click_marks.h"
#include "frame/global_keys.h"
#include "frame/region.h"
#include "media/avi_reader.h"
#include "platform/headless/headless_window.h"
#include "support/failing_encoder.h"
#include "support/timed_grabber.h"
#include "support/watchdog.h"

namespace ks::test {
namespace {

class RecordingTest : public AppTest {
 public:
  TimedGrabber* grabber = nullptr;
  double stopAt = 1e18;
  bool stopPosted = false;
  std::function<void()> atStop;
  // Every test here waits for a recording to end.
  Watchdog bound{"the recording", 120};

  RecordingTest() {
    services.screen.setCursorVisible(false);
    auto g = std::make_unique<TimedGrabber>(services.screen, services.clock);
    grabber = g.get();
    services.grabber = std::move(g);
    store("folder", "D:\\Movies");
    // A wait ends early when the Stop click arrives, as a real one would.
    ws.setIdleWait([this](double seconds) {
      const double now = services.clock.now();
      services.clock.advance(stopPosted ? seconds : std::max(0.0, std::min(seconds, stopAt - now)));
      timePassed();
    });
    grabber->timePassed = [this] { timePassed(); };
  }
  void timePassed() {
    services.audio.pump();
    if (!stopPosted && services.clock.now() >= stopAt) {
      stopPosted = true;
      ws.post([this] {
        if (atStop) atStop();
        input.click(*bar().cmdStop);
      });
    }
  }
  void userRate(const char* fps) {
    store("UserSetting", "True");
    store("SysSetting", "False");
    store("fps", fps);
  }
  // Record, naming the file `name`, and press Stop `seconds` after Record.
  void record(const std::string& name, double seconds) {
    stopAt = services.clock.now() + seconds;
    stopPosted = false;
    ws.queueModalAnswer([this, name](Window&) {
      input.typeText(*file().txtFileName, name);
      input.click(*file().cmdOK);
    });
    input.click(*bar().cmdtest);
  }
  AviFile movie(const std::string& path) {
    auto it = services.movies.files.find(path);
    if (it == services.movies.files.end()) return {};
    return parseAvi(it->second->bytes);
  }
  void expectIdle() {
    EXPECT_TRUE(bar().cmdtest->enabled());
    EXPECT_TRUE(bar().cmdAbout->enabled());
    EXPECT_TRUE(bar().cmdSettings->enabled());
    EXPECT_TRUE(bar().cmdExit->enabled());
    EXPECT_FALSE(bar().cmdStop->enabled());
    EXPECT_TRUE(app->frmtop().window().enabled());
    EXPECT_FALSE(app->modAVI().MovieOpen());
    EXPECT_EQ(services.grabber->buffersHeld(), 0);
  }
};

TEST_F(RecordingTest, CancelLeavesEverythingIdleAndWritesNothing) {
  userRate("10");
  start();
  ws.queueModalAnswer([this](Window&) { input.click(*file().cmdCancel); });
  input.click(*bar().cmdtest);
  EXPECT_EQ(services.movies.created, 0);
  EXPECT_FALSE(app->modAVI().Recording());
  expectIdle();
}

// A recording that cannot start says why, and leaves no file: a screen that
// cannot be read, a movie that cannot be created (which file and why), a
// movie whose headers its new file will not take.
TEST_F(RecordingTest, AFailedStartSaysWhy) {
  struct Case {
    const char* what;
    bool captureFails;
    FileProblem refusal;
    const char* message;
    std::uint64_t capacity = UINT64_MAX;  // of the new file
    long writeError = 112;                // a write past it fails with
  };
  const Case cases[] = {
      {"the first capture fails", true, FileProblem::None,
       "The screen could not be read, so nothing was recorded.\n\n"
       "This happens while the screen is locked, or while Windows shows a secure desktop such as a "
       "User Account Control prompt. Record again once the desktop shows."},
      {"the disk takes no header", false, FileProblem::None,
       "The movie could not be started:\n\nD:\\Movies\\nope.avi\n\n"
       "The disk is full. Make room on the disk, or choose another folder, and record again.",
       100},
      {"the drive is gone before the header", false, FileProblem::None,
       "The movie could not be started:\n\nD:\\Movies\\nope.avi\n\n"
       "Its drive or network folder could not be reached (system error 21). Connect it again, or choose another "
       "folder, and record again.",
       100, 21},
      {"a folder has the movie's name", false, FileProblem::IsFolder,
       "The movie could not be created:\n\nD:\\Movies\\nope.avi\n\n"
       "A folder of that name is in the way. Choose another name and record again."},
      {"the folder went away", false, FileProblem::NoFolder,
       "The movie could not be created:\n\nD:\\Movies\\nope.avi\n\n"
       "Its folder does not exist (any more). Choose another folder and record again."},
      {"no right to write", false, FileProblem::AccessDenied,
       "The movie could not be created:\n\nD:\\Movies\\nope.avi\n\n"
       "There is no right to write there, or the disk is read-only. Choose another folder and record again."},
      {"another program holds the file", false, FileProblem::InUse,
       "The movie could not be created:\n\nD:\\Movies\\nope.avi\n\n"
       "Another program is using the file. Close it there, or choose another name, and record again."},
      {"the system refuses for another reason", false, FileProblem::Other,
       "The movie could not be created:\n\nD:\\Movies\\nope.avi\n\n"
       "The system would not create it. Choose another folder or name and record again."},
  };
  userRate("10");
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Watchdog caseBound(c.what, 30);
    const int grabs = grabber->grabs;
    grabber->failFrom = c.captureFails ? grabs + 1 : 0;
    services.movies.refuseCreate = c.refusal != FileProblem::None;
    services.movies.refusal = c.refusal;
    services.movies.capacity = c.capacity;
    services.movies.writeError = c.writeError;
    const std::size_t warnings = ws.warnings().size();
    record("nope", 2);
    expectIdle();
    EXPECT_EQ(services.movies.files.count("D:\\Movies\\nope.avi"), 0u);
    EXPECT_EQ(grabber->grabs, grabs + 1) << "the first capture, then nothing more";
    ASSERT_EQ(ws.warnings().size(), warnings + 1);
    EXPECT_EQ(ws.warnings().back(), c.message);
  }
}

TEST_F(RecordingTest, RecordingStateDisablesTheFrameAndTheRecordButtonPauses) {
  userRate("5");
  start();
  bool checked = false;
  atStop = [&] {
    checked = true;
    EXPECT_TRUE(bar().cmdtest->enabled());
    EXPECT_EQ(bar().cmdtest->caption(), "Pause");
    EXPECT_FALSE(bar().cmdAbout->enabled());
    EXPECT_FALSE(bar().cmdSettings->enabled());
    EXPECT_FALSE(bar().cmdExit->enabled());
    EXPECT_TRUE(bar().cmdStop->enabled());
    EXPECT_FALSE(app->frmtop().window().enabled());
    EXPECT_FALSE(app->frmleft().window().enabled());
    EXPECT_FALSE(app->frmright().window().enabled());
    EXPECT_TRUE(app->frmbot().window().enabled());
    // The grip does nothing now: every frame keeps the size of the open.
    const float width = app->frmtop().window().width();
    input.mouseDown(*bar().imgbotcorner, {kLeftButton, 200, 200});
    input.mouseMove(*bar().imgbotcorner, {kLeftButton, 1700, 200});
    input.mouseUp(*bar().imgbotcorner, {kLeftButton, 1700, 200});
    EXPECT_EQ(app->frmtop().window().width(), width);
    // The record button pauses and resumes; it starts no second recording.
    input.click(*bar().cmdtest);
    EXPECT_TRUE(app->modAVI().Paused());
    EXPECT_EQ(bar().cmdtest->caption(), "Resume");
    input.click(*bar().cmdtest);
    EXPECT_FALSE(app->modAVI().Paused());
    EXPECT_EQ(bar().cmdtest->caption(), "Pause");
  };
  record("busy", 2.0);
  EXPECT_TRUE(checked);
  EXPECT_EQ(services.movies.created, 1);
  EXPECT_EQ(bar().cmdtest->caption(), "Record");
  expectIdle();
}

// The record button through a run: disabled while the calibration runs,
// Pause and Resume while the recording runs, Record again after; Stop ends
// a paused recording with a complete movie. The global keys do what the
// buttons do, and only where the buttons could.
TEST_F(RecordingTest, TheRecordButtonAndTheGlobalKeysThroughARun) {
  start();  // system-assigned rate: a calibration first
  grabber->cost = 0.05;
  const Hotkey recordKey{true, false, true, false, 0x78}, stopKey{true, false, true, false, 0x79};
  ASSERT_TRUE(app->globalKeys().key(GlobalKeys::kRecord).available);
  EXPECT_EQ(app->globalKeys().key(GlobalKeys::kRecord).key, recordKey);
  EXPECT_EQ(app->globalKeys().key(GlobalKeys::kStop).key, stopKey);
  std::vector<std::string> seen;  // caption, enabled, paused after each step
  auto note = [&](const char* step) {
    seen.push_back(std::string(step) + ": " + bar().cmdtest->caption() + (bar().cmdtest->enabled() ? " on" : " off") +
                   (app->modAVI().Paused() ? " paused" : ""));
  };
  // Steps run as events arrive, one per pass of the running loop.
  std::deque<std::function<void()>> steps = {
      [&] { note("calibrating"); },
      [&] {
        input.pressHotkey(recordKey);  // ignored: a calibration cannot pause
        note("calibrating, record key");
      },
  };
  bool recording = false;
  std::function<void()> watch = [&] {
    if (!recording && app->modAVI().RecordingRuns()) {
      recording = true;
      steps.push_back([&] { note("recording"); });
      steps.push_back([&] {
        input.pressHotkey(recordKey);
        note("record key");
      });
      steps.push_back([&] {
        input.pressHotkey(recordKey);
        note("record key again");
      });
      steps.push_back([&] {
        input.click(*bar().cmdtest);
        note("button");
      });
      steps.push_back([&] { input.pressHotkey(stopKey); });  // Stop while paused
    }
    if (!steps.empty() && (recording || app->modAVI().Recording())) {
      auto step = std::move(steps.front());
      steps.pop_front();
      step();
    }
    if (app->modAVI().Recording()) ws.post(watch);
  };
  ws.queueModalAnswer([this, &watch](Window&) {
    input.typeText(*file().txtFileName, "keys");
    input.click(*file().cmdOK);
    ws.post(watch);
  });
  input.pressHotkey(stopKey);  // idle: nothing to stop
  EXPECT_EQ(services.movies.created, 0);
  input.pressHotkey(recordKey);  // idle: as the Record button
  EXPECT_EQ(seen, (std::vector<std::string>{"calibrating: Record off", "calibrating, record key: Record off",
                                            "recording: Pause on", "record key: Resume on paused",
                                            "record key again: Pause on", "button: Resume on paused"}));
  const AviFile f = movie("D:\\Movies\\keys.avi");
  EXPECT_TRUE(checkIndexes(f, true).empty()) << "Stop while paused leaves a complete movie";
  EXPECT_EQ(bar().cmdtest->caption(), "Record");
  expectIdle();
  // While a dialog is open the keys do nothing.
  ws.queueModalAnswer([&](Window& box) {
    input.pressHotkey(recordKey);
    EXPECT_FALSE(file().window().visible()) << "no New movie dialog over the About box";
    input.requestClose(box);
  });
  input.click(*bar().cmdAbout);
  EXPECT_EQ(services.movies.created, 2) << "the calibration and the recording, nothing more";
}

// Keys from the store; one that cannot be read gives the standard one, and
// one another program holds is unavailable, which the system menu says.
TEST_F(RecordingTest, GlobalKeysFromTheStoreAndTheirLinesInTheSystemMenu) {
  store("HotkeyRecord", "Alt+F9");
  store("HotkeyStop", "F10");  // no modifier: not read
  ws.takeHotkey(Hotkey{false, true, false, false, 0x78});
  start();
  EXPECT_EQ(app->globalKeys().key(GlobalKeys::kRecord).key, (Hotkey{false, true, false, false, 0x78}));
  EXPECT_FALSE(app->globalKeys().key(GlobalKeys::kRecord).available);
  EXPECT_EQ(app->globalKeys().key(GlobalKeys::kStop).key, (Hotkey{true, false, true, false, 0x79}));
  EXPECT_TRUE(app->globalKeys().key(GlobalKeys::kStop).available);
  const std::vector<MenuItem>& menu = ws.openSystemMenu(app->frmtop().window());
  ASSERT_EQ(menu.size(), 10u);
  EXPECT_EQ(menu[5].text, "Show keys");
  EXPECT_EQ(menu[7].text, "Sound");
  EXPECT_EQ(menu[8].text, "Choose ffmpeg.exe\xE2\x80\xA6");
  EXPECT_EQ(menu[9].text, "&Trim a movie\xE2\x80\xA6");
  EXPECT_EQ(menu[2].text, "Alt+F9: Record, Pause, Resume (unavailable: another program uses it)");
  EXPECT_EQ(menu[3].text, "Ctrl+Shift+F10: Stop");
  EXPECT_FALSE(menu[2].enabled);
  EXPECT_FALSE(menu[3].enabled);
}

// "Choose ffmpeg.exe…" opens the Open dialog where the stored one lies (or
// in the program's folder), keeps a choice that answers as ffmpeg and says
// what MP4 movies will use, and keeps nothing for Cancel or another program.
TEST_F(RecordingTest, ChoosingFfmpegKeepsOneThatAnswersAndSaysWhatItCanDo) {
  services.programs.programs["C:\\Tools\\ffmpeg.exe"] =
      ScriptedPrograms::ffmpeg("7.1", "61.7", "61.19", {"libx264", "h264_nvenc"}, {});
  services.programs.programs["C:\\Old\\ffmpeg.exe"] =
      ScriptedPrograms::ffmpeg("3.4", "57.83", "57.107", {"libx264"}, {});
  services.programs.programs["C:\\Tools\\notepad.exe"] = [](auto&) { return ScriptedPrograms::Answer{1, ""}; };
  struct Case {
    std::optional<std::string> chosen;
    const char* folder;  // where the dialog starts
    const char* stored;  // "FFmpegPath" after it
    const char* told;    // the message; nullptr: none
    bool warning;
  };
  const Case cases[] = {
      {std::nullopt, kProgramFolder, "<absent>", nullptr, false},
      {"C:\\Tools\\notepad.exe", kProgramFolder, "<absent>",
       "C:\\Tools\\notepad.exe does not work as ffmpeg: it ended with exit code 1.\n\n"
       "Nothing was changed; choose ffmpeg.exe itself.", true},
      {"C:\\Tools\\ffmpeg.exe", kProgramFolder, "C:\\Tools\\ffmpeg.exe",
       "MP4 movies will be made by C:\\Tools\\ffmpeg.exe (ffmpeg 7.1) with its encoder libx264.", false},
      {"C:\\Old\\ffmpeg.exe", "C:\\Tools", "C:\\Old\\ffmpeg.exe",
       "C:\\Old\\ffmpeg.exe (ffmpeg 3.4) is too old for MP4 movies", true},
  };
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen.value_or("Cancel"));
    const std::size_t warnings = ws.warnings().size(), informations = ws.informations().size();
    ws.queueOpenFileAnswer(c.chosen);
    Window& top = app->frmtop().window();
    const std::vector<MenuItem> menu = ws.openSystemMenu(top);
    const MenuItem& choose = menu[menu.size() - 2];
    ASSERT_EQ(choose.text, "Choose ffmpeg.exe\xE2\x80\xA6");
    input.chooseSystemMenuItem(top, choose.id);
    ASSERT_FALSE(ws.openFileRequests().empty());
    EXPECT_EQ(ws.openFileRequests().back().folder, c.folder);
    EXPECT_EQ(ws.openFileRequests().back().patterns, "*.exe");
    EXPECT_EQ(stored("FFmpegPath"), c.stored);
    const std::vector<std::string>& said = c.warning ? ws.warnings() : ws.informations();
    EXPECT_EQ(said.size(), (c.warning ? warnings : informations) + (c.told ? 1 : 0));
    if (c.told) {
      EXPECT_EQ(said.back().substr(0, std::string(c.told).size()), c.told);
    }
  }
  // The trial of NVENC failed; libx264 needs none.
  int trials = 0;
  for (const auto& run : services.programs.runs)
    trials += std::find(run.begin(), run.end(), "null") != run.end();
  EXPECT_EQ(trials, 1);
}

TEST_F(RecordingTest, CalibrationSelectsStoresAndIsReplacedByTheRecording) {
  start();  // empty store: system-assigned rate
  ASSERT_TRUE(settings().optSystem->value());
  grabber->cost = 0.05;  // 100 pictures in five seconds: m = 18.8
  record("calibrated", 8.0);
  EXPECT_EQ(settings().cboFrames->text(), "15");
  EXPECT_EQ(stored("fps"), "15");
  const AviFile f = movie("D:\\Movies\\calibrated.avi");
  EXPECT_EQ(f.strh.rate, 15u) << "the movie at the path is the recording, not the calibration";
  EXPECT_EQ(services.movies.created, 2);
  expectIdle();
}

TEST_F(RecordingTest, TheCalibrationsCountHasRoomOnTheBar) {
  start();
  grabber->cost = 0.5;
  std::vector<std::string> captions;
  bool settingsShownDuringCalibration = false, settingsHiddenWhileRecording = false;
  float calibrationLabelRight = 0, recordingLabelWidth = 0;
  ws.queueModalAnswer([&](Window&) {
    input.typeText(*file().txtFileName, "count");
    input.click(*file().cmdOK);
  });
  // Reads the label after every pass of the calibration, and stops as soon
  // as the recording proper shows its elapsed time.
  int passes = 0;
  std::function<void()> watch = [&] {
    const std::string c = bar().lblUpto->caption();
    if (c.rfind('-', 0) == 0) {
      captions.push_back(c);
      settingsShownDuringCalibration |= bar().cmdSettings->visible();
      calibrationLabelRight = bar().lblUpto->left() + bar().lblUpto->width();
    } else if (!captions.empty()) {
      settingsHiddenWhileRecording = !bar().cmdSettings->visible();
      recordingLabelWidth = bar().lblUpto->width();
      input.click(*bar().cmdStop);
      return;
    }
    if (++passes < 1000) ws.post(watch);
  };
  ws.post(watch);
  input.click(*bar().cmdtest);
  ASSERT_FALSE(captions.empty());
  // The count is wider than the label, part of which lies under the
  // Settings button: meanwhile the (disabled) button is out of the way and
  // the label reaches up to Exit.
  EXPECT_FALSE(settingsShownDuringCalibration);
  EXPECT_EQ(calibrationLabelRight, bar().cmdExit->left());
  EXPECT_EQ(recordingLabelWidth, 855);
  EXPECT_FALSE(settingsHiddenWhileRecording);
  EXPECT_TRUE(bar().cmdSettings->visible());
  EXPECT_TRUE(bar().cmdSettings->enabled());
}

TEST_F(RecordingTest, StopDuringTheCalibrationCancelsTheWholeCommand) {
  store("fps", "30");
  start();
  grabber->cost = 0.05;
  record("cancelled", 2.0);
  EXPECT_EQ(settings().cboFrames->text(), "30") << "the rate list keeps its selection";
  EXPECT_EQ(stored("fps"), "30");
  EXPECT_EQ(services.movies.created, 1) << "no recording follows";
  expectIdle();
}

// A recording that cannot go on ends with one message naming its cause,
// and what was recorded until then plays.
TEST_F(RecordingTest, ARecordingThatCannotGoOnEndsWithOneMessage) {
  struct Case {
    const char* what;
    const char* format;  // stored "Compression"
    std::function<void(RecordingTest&)> fault;
    const char* message;
  };
  const Case cases[] = {
      {"the disk is full", "None", [](RecordingTest& t) { t.services.movies.capacity = 12 * 1024 * 1024; },
       "The disk could not take any more of the movie, so the recording stopped.\n\n"
       "The frames recorded until then are saved and play."},
      {"the drive is pulled out: writes fail with the system's \"device not ready\"", "None",
       [](RecordingTest& t) {
         t.services.movies.capacity = 12 * 1024 * 1024;
         t.services.movies.writeError = 21;
       },
       "The drive or network folder of the movie could not be reached any more (system error 21), so the "
       "recording stopped.\n\nConnect it again: the frames written until then are in the file, which may lack its end."},
      {"the encoder cannot compress a frame", "ZMBV",
       [](RecordingTest& t) {
         t.app->modAVI().setEncoderFactory(failingEncoders(12, EncoderFailure::ForGood));
       },
       "A frame could not be compressed, so the recording stopped.\n\n"
       "The frames recorded until then are saved and play."},
      {"memory runs out in the encoder", "ZMBV",
       [](RecordingTest& t) {
         t.app->modAVI().setEncoderFactory(failingEncoders(12, EncoderFailure::OutOfMemory));
       },
       "The computer ran out of memory, so the recording stopped.\n\n"
       "The frames recorded until then are saved and play."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Watchdog caseBound(c.what, 60);
    app.reset();
    services.movies.files.clear();
    services.movies.capacity = UINT64_MAX;
    services.movies.writeError = 112;
    userRate("10");
    store("Compression", c.format);
    start();
    c.fault(*this);
    const std::size_t warnings = ws.warnings().size();
    record("full", 1e6);
    const AviFile f = movie("D:\\Movies\\full.avi");
    EXPECT_GE(f.frames.size(), 10u);
    std::vector<bool> keys;  // empty: every frame is one
    if (std::string(c.format) == "ZMBV")
      for (std::size_t k = 0; k < f.frames.size(); ++k) keys.push_back(k % 20 == 0);  // two seconds at 10 fps
    EXPECT_TRUE(checkIndexes(f, true, keys).empty());
    ASSERT_EQ(ws.warnings().size(), warnings + 1);
    EXPECT_EQ(ws.warnings().back(), c.message);
    expectIdle();
  }
}

// An MP4 that cannot be made says which movie, what is wrong with ffmpeg or
// what ffmpeg said, and what to do; nothing is recorded and no file is left.
// A working ffmpeg is looked for once a run.
TEST_F(RecordingTest, AnMp4ThatCannotBeMadeSaysWhyAndWhatToDo) {
  const std::string movie = "D:\\Movies\\talk.mp4";
  struct Case {
    const char* what;
    std::function<void(ScriptedPrograms&)> install;
    std::vector<std::string> said;  // parts of the message, in order
    bool looksAgain;                // the next Record runs ffmpeg again to look
  };
  const Case cases[] = {
      {"no ffmpeg anywhere", [](ScriptedPrograms&) {},
       {"The movie could not be recorded:\n\n    " + movie + "\n\n",
        "ffmpeg.exe, which was not found. Looked for it at:\n    C:\\Stored\\ffmpeg.exe\n"
        "    C:\\Program Files\\kestrascope\\ffmpeg.exe\n    C:\\Tools\\ffmpeg.exe\n    C:\\Windows\\ffmpeg.exe",
        "put ffmpeg.exe in kestrascope's folder, or choose it with \"Choose ffmpeg.exe\xE2\x80\xA6\" in the frame's "
        "menu (Alt+Space).",
        "Nothing was recorded."}, false},
      {"one that does not run",
       [](ScriptedPrograms& p) { p.programs["C:\\Tools\\ffmpeg.exe"] = [](auto&) { return ScriptedPrograms::Answer{1, "bad image\n"}; }; },
       {"C:\\Tools\\ffmpeg.exe does not work as ffmpeg: it ended with exit code 1:\nbad image.", "Nothing was recorded."}, true},
      {"one too old",
       [](ScriptedPrograms& p) { p.programs["C:\\Tools\\ffmpeg.exe"] = ScriptedPrograms::ffmpeg("3.4.8", "57.83", "57.107", {"libx264"}, {}); },
       {"C:\\Tools\\ffmpeg.exe (ffmpeg 3.4.8) is too old for MP4 movies: they need ffmpeg 4.0 or newer."}, true},
      {"no H.264 encoder",
       [](ScriptedPrograms& p) { p.programs["C:\\Tools\\ffmpeg.exe"] = ScriptedPrograms::ffmpeg("6.1", "60.16", "60.31", {}, {}); },
       {"C:\\Tools\\ffmpeg.exe (ffmpeg 6.1) has no H.264 encoder that works."}, true},
      {"its only H.264 encoder fails its trial",
       [](ScriptedPrograms& p) { p.programs["C:\\Tools\\ffmpeg.exe"] = ScriptedPrograms::ffmpeg("6.1", "60.16", "60.31", {"h264_nvenc"}, {}); },
       {"has no H.264 encoder that works (tried: h264_nvenc)."}, true},
      {"a working one that cannot take the movie",
       [](ScriptedPrograms& p) { p.programs["C:\\Stored\\ffmpeg.exe"] = ScriptedPrograms::ffmpeg("4.1", "58.20", "58.35", {"libx264", "h264_qsv"}, {"h264_qsv"}); },
       {"ffmpeg could not start the movie:\n\n    " + movie + "\n\nno pipe to ffmpeg could be made (there are no pipes in memory).",
        "Nothing was recorded. Choose another folder, or another ffmpeg"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Watchdog caseBound(c.what, 30);
    app.reset();
    services.programs = ScriptedPrograms{};
    services.programs.path = {"C:\\Tools", "C:\\Windows", "C:\\Tools"};
    c.install(services.programs);
    services.movies.files.clear();
    userRate("10");
    store("Compression", "MP4");
    store("FFmpegPath", "C:\\Stored\\ffmpeg.exe");
    start();
    const std::size_t warnings = ws.warnings().size();
    record("talk", 2);
    ASSERT_EQ(ws.warnings().size(), warnings + 1) << "ended as " << static_cast<int>(app->modAVI().lastOutcome().end);
    std::size_t at = 0;
    for (const std::string& part : c.said) {
      const std::size_t found = ws.warnings().back().find(part, at);
      ASSERT_NE(found, std::string::npos) << "missing: " << part << "\nin:\n" << ws.warnings().back();
      at = found + part.size();
    }
    EXPECT_EQ(services.movies.files.count(movie), 0u) << "no file is left";
    expectIdle();
    // A second Record looks again unless the first found one that works.
    const std::size_t runs = services.programs.runs.size();
    record("talk", 2);
    EXPECT_EQ(services.programs.runs.size() > runs, c.looksAgain);
  }
}

// A calibration that cannot finish says so and why, records nothing, and
// leaves the rate list as it was.
TEST_F(RecordingTest, ACalibrationThatCannotFinishSaysWhyAndRecordsNothing) {
  struct Case {
    const char* what;
    int failFrom;
    std::uint64_t capacity;
    const char* message;
  };
  const Case cases[] = {
      {"the screen cannot be read", 5, UINT64_MAX,
       "The calibration could not be completed: the screen could not be read.\n\nNothing was recorded."},
      {"the disk is full", 0, 2 * 1024 * 1024,
       "The calibration could not be completed: the disk could not take the calibration movie.\n\n"
       "Nothing was recorded. Make room on the disk, or choose another folder, and record again."},
  };
  store("fps", "30");
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    grabber->failFrom = c.failFrom ? grabber->grabs + c.failFrom : 0;
    services.movies.capacity = c.capacity;
    const std::size_t warnings = ws.warnings().size();
    record("blind", 1e6);
    ASSERT_EQ(ws.warnings().size(), warnings + 1);
    EXPECT_EQ(ws.warnings().back(), c.message);
    EXPECT_EQ(settings().cboFrames->text(), "30");
    EXPECT_EQ(stored("fps"), "30");
    EXPECT_EQ(services.movies.files.count("D:\\Movies\\blind.avi"), 0u);
    expectIdle();
  }
}

// Pictures that could not be captured (a locked screen) repeat the one
// before; the recording goes on and ends with a notice of how many and when.
TEST_F(RecordingTest, PicturesThatCouldNotBeCapturedAreReportedAtTheEnd) {
  struct Case {
    int failFrom, failTo;  // grabs after the first
    const char* message;   // nullptr: none
  };
  const Case cases[] = {
      {0, 0, nullptr},
      {12, 12,
       "1 picture of the movie could not be captured, at 00:01. The movie shows the picture before it in its "
       "place.\n\nThis usually happens while the screen is locked, or while Windows shows a secure desktop such "
       "as a User Account Control prompt."},
      {12, 31,
       "20 pictures of the movie could not be captured, from 00:01 to 00:02. The movie shows the picture before "
       "them in their place.\n\nThis usually happens while the screen is locked, or while Windows shows a secure "
       "desktop such as a User Account Control prompt."},
  };
  userRate("10");
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failTo - c.failFrom);
    grabber->failFrom = c.failFrom ? grabber->grabs + c.failFrom : 0;
    grabber->failTo = c.failTo ? grabber->grabs + c.failTo : 0;
    const std::size_t warnings = ws.warnings().size();
    record("locked", 5.0);
    EXPECT_GE(movie("D:\\Movies\\locked.avi").frames.size(), 45u) << "the recording went on";
    ASSERT_EQ(ws.warnings().size(), warnings + (c.message ? 1 : 0));
    if (c.message) {
      EXPECT_EQ(ws.warnings().back(), c.message);
    }
    expectIdle();
  }
}

TEST_F(RecordingTest, EndingTheProgramMidRecordingLeavesAPlayableMovie) {
  userRate("10");
  start();
  atStop = [&] { app->endProgram(); };
  record("ended", 2.0);
  const AviFile f = movie("D:\\Movies\\ended.avi");
  EXPECT_TRUE(services.movies.files.at("D:\\Movies\\ended.avi")->closed);
  EXPECT_TRUE(checkIndexes(f, true).empty());
  EXPECT_GE(f.frames.size(), 20u);
  EXPECT_TRUE(ws.ended());
}

// frmtop's Sound menu: what it offers follows the devices present and the
// store, probed as it opens; choosing stores, and the next Record takes it.
// One program per row of a table.
struct RecordingRig final : RecordingTest {
  void TestBody() override {}
};

// The two marks items of frmtop's menu: stored, turned over by choosing, and
// taken by the next recording, whose pictures show a ring from the first
// frame after a press (here pressed and released between two frames) and
// the pointer only when it is recorded. A watch that cannot run records
// the movie unmarked. Nothing is drawn where the press was before it.
TEST(RecordingMarks, ClicksAndThePointerAsTheMenuChoseThem) {
  struct Case {
    const char* what;
    const char* showClicks;  // stored; nullptr: nothing stored
    const char* recordPointer;
    MouseButton button;
    bool watchRefuses;
    bool ring, pointer;  // in the frame after the press
    pixels::Bgra colour;
  };
  const Case cases[] = {
      {"nothing stored: the pointer, no ring", nullptr, nullptr, MouseButton::Left, false, false, true, {}},
      {"clicks shown, left button", "True", nullptr, MouseButton::Left, false, true, true, kLeftClickColour},
      {"right button, the pointer left out", "True", "False", MouseButton::Right, false, true, false,
       kRightClickColour},
      {"the watch cannot run", "True", "True", MouseButton::Left, true, false, true, {}},
  };
  const pixels::Bgra white{255, 255, 255, 255};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingRig t;
    if (c.showClicks) t.store("ShowClicks", c.showClicks);
    if (c.recordPointer) t.store("RecordPointer", c.recordPointer);
    t.userRate("1");
    t.start();
    // The items, and choosing each twice leaves them as stored.
    Window& top = t.app->frmtop().window();
    const std::vector<MenuItem> menu = t.ws.openSystemMenu(top);
    ASSERT_GE(menu.size(), 6u);
    const MenuItem& clicksItem = menu[menu.size() - 6];
    const MenuItem& pointerItem = menu[menu.size() - 4];
    EXPECT_EQ(clicksItem.text, "Show clicks");
    EXPECT_EQ(clicksItem.checked, c.showClicks != nullptr);
    EXPECT_EQ(pointerItem.text, "Record the pointer");
    EXPECT_EQ(pointerItem.checked, c.recordPointer == nullptr || std::string(c.recordPointer) == "True");
    for (const MenuItem* item : {&clicksItem, &clicksItem, &pointerItem, &pointerItem}) {
      t.ws.openSystemMenu(top);
      t.input.chooseSystemMenuItem(top, item->id);
    }
    // Alt+Space on the bar opens frmtop's menu.
    ASSERT_TRUE(t.app->frmbot().window().events.onMenuKey);
    t.app->frmbot().window().events.onMenuKey();
    EXPECT_EQ(static_cast<HeadlessWindow&>(top).menusShown, 1);
    EXPECT_EQ(t.stored("ShowClicks"), c.showClicks ? c.showClicks : "False");
    EXPECT_EQ(t.stored("RecordPointer"), c.recordPointer ? c.recordPointer : "True");

    const PixelRect region = regionPixels(*t.app);
    const PixelPoint at{region.x + region.width / 2, region.y + region.height / 2};
    t.services.screen.setCursor({2, 2, 0, 0, {white, white, white, white}});
    t.services.screen.setPointer(static_cast<std::int32_t>(at.x), static_cast<std::int32_t>(at.y));
    t.services.screen.setCursorVisible(true);
    t.services.mouse.refuse = c.watchRefuses;
    int grabs = 0;
    t.grabber->timePassed = [&] {
      t.timePassed();
      if (++grabs == 3) {
        EXPECT_EQ(t.services.mouse.running(), c.ring) << "the hook runs only while the recording does";
        t.services.mouse.press(at, c.button);
        t.services.mouse.release(at, c.button);
      }
    };
    t.record("marks", 6.0);
    EXPECT_FALSE(t.services.mouse.running());
    const AviFile f = t.movie("D:\\Movies\\marks.avi");
    ASSERT_GE(f.frames.size(), 4u);
    const std::vector<std::uint8_t>& bytes = t.services.movies.files.at("D:\\Movies\\marks.avi")->bytes;
    const auto pixel = [&](std::size_t frame, std::int64_t x, std::int64_t y) {
      const std::uint8_t* p = bytes.data() + f.frames[frame].offset + 8 +
                              static_cast<std::size_t>(region.height - 1 - y) * dibStride(region.width) +
                              static_cast<std::size_t>(x) * 3;
      return pixels::Bgra{p[0], p[1], p[2], 255};
    };
    const auto same = [](pixels::Bgra a, pixels::Bgra b) { return a.b == b.b && a.g == b.g && a.r == b.r; };
    const std::int64_t cx = at.x - region.x, cy = at.y - region.y;
    // Frame 1 was grabbed before the press, frame 2 after it.
    EXPECT_EQ(same(pixel(2, cx + 16, cy), c.colour), c.ring) << "the ring, 16 pixels from the press";
    EXPECT_FALSE(same(pixel(1, cx + 16, cy), kLeftClickColour) || same(pixel(1, cx + 16, cy), kRightClickColour));
    EXPECT_EQ(same(pixel(1, cx, cy), white), c.pointer) << "the pointer";
    EXPECT_FALSE(same(pixel(f.frames.size() - 1, cx + 16, cy), c.colour) && c.ring) << "faded out";
  }
}

// "Show keys" in frmtop's menu, beside "Show clicks": stored, turned over by
// choosing, and taken by the next recording, whose frame after a shortcut
// shows its caption at the bottom, gone by the end. The program's own keys
// and a watch that cannot run leave the movie uncaptioned.
TEST(RecordingMarks, ShortcutsCaptionedAsTheMenuChose) {
  struct Case {
    const char* what;
    const char* showKeys;  // stored; nullptr: nothing stored
    bool watchRefuses;
    int key;  // pressed with Ctrl and Shift
    bool caption;
  };
  const Case cases[] = {
      {"nothing stored", nullptr, false, 'S', false},
      {"keys shown", "True", false, 'S', true},
      {"the program's Record key", "True", false, 0x78, false},
      {"the watch cannot run", "True", true, 'S', false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingRig t;
    if (c.showKeys) t.store("ShowKeys", c.showKeys);
    t.userRate("1");
    t.start();
    Window& top = t.app->frmtop().window();
    const std::vector<MenuItem> menu = t.ws.openSystemMenu(top);
    ASSERT_GE(menu.size(), 6u);
    const MenuItem& keysItem = menu[menu.size() - 5];
    EXPECT_EQ(menu[menu.size() - 6].text, "Show clicks");
    EXPECT_EQ(keysItem.text, "Show keys");
    EXPECT_EQ(keysItem.checked, c.showKeys != nullptr);
    for (int k = 0; k < 2; ++k) {
      t.ws.openSystemMenu(top);
      t.input.chooseSystemMenuItem(top, keysItem.id);
      EXPECT_EQ(t.stored("ShowKeys"), (k == 0) == (c.showKeys != nullptr) ? "False" : "True");
    }
    t.services.keys.refuse = c.watchRefuses;
    int grabs = 0;
    t.grabber->timePassed = [&] {
      t.timePassed();
      if (++grabs == 3) {
        EXPECT_EQ(t.services.keys.running(), c.showKeys && !c.watchRefuses) << "the hook runs only while recording";
        for (int key : {0xA2, 0xA0, c.key}) t.services.keys.press(key);
        for (int key : {c.key, 0xA0, 0xA2}) t.services.keys.release(key);
      }
    };
    t.record("keys", 6.0);
    EXPECT_FALSE(t.services.keys.running());
    const PixelRect region = regionPixels(*t.app);
    const AviFile f = t.movie("D:\\Movies\\keys.avi");
    ASSERT_GE(f.frames.size(), 5u);
    const std::vector<std::uint8_t>& bytes = t.services.movies.files.at("D:\\Movies\\keys.avi")->bytes;
    // Each picture is one colour, the time of its grab, but where a caption
    // is: the middle of its plate, 24 pixels above the bottom, 32 high.
    const auto captioned = [&](std::size_t frame) {
      const std::uint8_t* picture = bytes.data() + f.frames[frame].offset + 8;
      const std::uint8_t* middle = picture + 40 * dibStride(region.width) + static_cast<std::size_t>(region.width / 2) * 3;
      return !std::equal(middle, middle + 3, picture);
    };
    // Frame 1 was grabbed before the press, frame 2 after it.
    EXPECT_FALSE(captioned(1));
    EXPECT_EQ(captioned(2), c.caption) << "the caption";
    EXPECT_FALSE(captioned(f.frames.size() - 1)) << "faded out";
  }
}

TEST(RecordingSound, TheSoundMenuOffersThePresentSourcesAndStoresTheChoice) {
  struct Item {
    std::string text;
    bool enabled, checked;
  };
  struct Case {
    const char* what;
    const char* soundSystem;  // stored; nullptr: nothing stored
    const char* soundInput;
    std::string systemRefusal;
    std::vector<Item> items;  // after the separator
    Item system;
  };
  const Case cases[] = {
      {"nothing stored", nullptr, nullptr, "",
       {{"No microphone", true, true}, {"Headset", true, false}, {"Line in", false, false}},
       {"System sound", true, false}},
      {"both chosen", "True", "Headset", "",
       {{"No microphone", true, false}, {"Headset", true, true}, {"Line in", false, false}},
       {"System sound", true, true}},
      {"a device not connected, system sound that cannot be opened", "True", "USB mic", "loopback refused",
       {{"No microphone", true, false}, {"Headset", true, false}, {"Line in", false, false},
        {"USB mic (not connected)", false, true}},
       {"System sound (unavailable)", false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingRig t;
    if (c.soundSystem) t.store("SoundSystem", c.soundSystem);
    if (c.soundInput) t.store("SoundInput", c.soundInput);
    t.services.audio.system.name = "System sound";
    t.services.audio.system.refusal = c.systemRefusal;
    t.services.audio.inputs.resize(2);
    t.services.audio.inputs[0].name = "Headset";
    t.services.audio.inputs[1].name = "Line in";
    t.services.audio.inputs[1].refusal = "in use";
    t.start();
    const std::vector<MenuItem> menu = t.ws.openSystemMenu(t.app->frmtop().window());
    ASSERT_EQ(menu[menu.size() - 3].text, "Sound");
    const std::vector<MenuItem>& items = menu[menu.size() - 3].items;
    ASSERT_EQ(items.size(), c.items.size() + 2);
    EXPECT_EQ(items[0].text, c.system.text);
    EXPECT_EQ(items[0].enabled, c.system.enabled);
    EXPECT_EQ(items[0].checked, c.system.checked);
    EXPECT_FALSE(items[0].radio);
    EXPECT_TRUE(items[1].text.empty()) << "a separator";
    for (std::size_t k = 0; k < c.items.size(); ++k) {
      const MenuItem& item = items[k + 2];
      const std::string expected = c.items[k].text == "Line in" ? "Line in (unavailable)" : c.items[k].text;
      EXPECT_EQ(item.text, expected);
      EXPECT_EQ(item.enabled, c.items[k].enabled) << expected;
      EXPECT_EQ(item.checked, c.items[k].checked) << expected;
      EXPECT_TRUE(item.radio) << expected;
    }
    // Choosing: System sound toggles; a device, then No microphone.
    Window& top = t.app->frmtop().window();
    const bool wasOn = t.stored("SoundSystem") == "True";
    t.input.chooseSystemMenuItem(top, items[0].id);
    EXPECT_EQ(t.stored("SoundSystem"), c.system.enabled ? (wasOn ? "False" : "True") : (wasOn ? "True" : "<absent>"));
    t.input.chooseSystemMenuItem(top, items[3].id);
    EXPECT_EQ(t.stored("SoundInput"), "Headset");
    EXPECT_EQ(t.app->frmbot().recordingSettings("x.avi").sound.input, "Headset");
    t.ws.openSystemMenu(top);
    t.input.chooseSystemMenuItem(top, items[2].id);
    EXPECT_EQ(t.stored("SoundInput"), "");
    const SoundChoice taken = t.app->frmbot().recordingSettings("x.avi").sound;
    EXPECT_EQ(taken.input, "");
    EXPECT_EQ(taken.system, t.stored("SoundSystem") == "True");
  }
}

// A source that cannot be opened is named before anything is recorded:
// Yes records without it, No records nothing. A source lost while recording
// is named at the end with the time it went; the movie keeps its picture.
TEST(RecordingSound, SoundSourcesThatCannotBeOpenedOrGoAwayAreNamed) {
  struct Case {
    const char* what;
    std::string refusal;
    std::optional<double> lostAfter;
    MsgButton answer;
    int movies;
    std::vector<std::string> warnings;
    bool sound = false;  // the movie has a sound stream
    bool connected = true;
    int stops = 0;  // of the source: once, when it ran
  };
  const Case cases[] = {
      {"recorded with it", "", {}, MsgButton::Yes, 1, {}, true, true, 1},
      {"refused, recorded without it", "in use", {}, MsgButton::Yes, 1, {}},
      {"refused, nothing recorded", "in use", {}, MsgButton::No, 0, {}},
      {"not connected: a silent movie, without a word", "", {}, MsgButton::Yes, 1, {}, false, false},
      {"lost after 3.5 s",
       "",
       3.5,
       MsgButton::Yes,
       1,
       {"The sound source \xE2\x80\x9CHeadset\xE2\x80\x9D was lost at 00:03 of the movie (the device was removed).\n\n"
        "The movie has silence from then on in its place; the picture went on."},
       true, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingRig t;
    t.userRate("10");
    t.store("SoundInput", "Headset");
    t.services.audio.inputs.resize(1);
    t.services.audio.inputs[0].name = c.connected ? "Headset" : "USB mic";
    t.services.audio.inputs[0].lostAfter = c.lostAfter;
    t.services.audio.inputs[0].refusal = c.refusal;
    t.start();
    if (!c.refusal.empty()) t.ws.queueMessageBoxAnswer(c.answer);
    t.record("voice", 6.02);
    EXPECT_EQ(t.services.movies.created, c.movies);
    if (!c.refusal.empty()) {
      ASSERT_EQ(t.ws.messageBoxTexts().size(), 1u);
      EXPECT_EQ(t.ws.messageBoxTexts()[0],
                "The sound source \xE2\x80\x9CHeadset\xE2\x80\x9D cannot be opened: in use.\n\nRecord without it?\n\n"
                "Yes records without that sound; No and Cancel record nothing.");
    }
    EXPECT_EQ(t.ws.warnings(), c.warnings);
    EXPECT_EQ(t.services.audio.stopCalls, c.stops);
    if (c.movies) {
      const AviFile f = t.movie("D:\\Movies\\voice.avi");
      EXPECT_TRUE(f.problems.empty()) << f.problems.front();
      EXPECT_NEAR(static_cast<double>(f.frames.size()), 60, 2) << "the picture goes on";
      EXPECT_EQ(f.hasSound, c.sound);
    }
    t.expectIdle();
  }
}

}  // namespace
}  // namespace ks::test
