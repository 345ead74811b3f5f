// The trim window on the headless platform: opened from frmtop's menu with a
// movie on the disk, driven by the keys of video editors, saved into the
// program's movie files.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <functional>

#include "app/app_fixture.h"
#include "media/avi_movie_reader.h"
#include "media/avi_writer.h"
#include "media/byte_source.h"
#include "media/gif_reader.h"
#include "media/movie.h"
#include "media/memory_sink.h"
#include "media/test_files.h"
#include "trim/frmtrim.h"
#include "trim/trim_menu.h"

namespace ks::test {
namespace {

constexpr std::int32_t kWidth = 160, kHeight = 90;
constexpr int kFrames = 200;

// 200 frames at 30 fps, each filled with its number, and 1600 sample frames
// of sound a frame.
void writeMovie(const std::string& path) {
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer;
  ASSERT_TRUE(writer.open(memorySink(file), makeFrameFormat(kWidth, kHeight), 30, WaveFormat{}));
  const BitmapInfoHeader f = makeFrameFormat(kWidth, kHeight);
  std::vector<std::uint8_t> sound(1600 * 4, 9);
  for (int i = 0; i < kFrames; ++i) {
    const std::vector<std::uint8_t> picture(f.biSizeImage, static_cast<std::uint8_t>(i));
    ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())));
    ASSERT_TRUE(writer.writeFrame(picture.data(), f.biSizeImage));
  }
  ASSERT_TRUE(writer.close());
  std::ofstream(pathFromUtf8(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(file->bytes.data()), static_cast<std::streamsize>(file->bytes.size()));
}

class TrimWindowTest : public AppTest {
 public:
  TempDir dir;
  std::string movie = dir.file("source.avi");

  void SetUp() override {
    writeMovie(movie);
    start();
  }
  // "Trim a movie…" from frmtop's menu, the Open dialog answering `path`.
  void openTrim(const std::string& path) {
    ws.queueOpenFileAnswer(path);
    input.chooseSystemMenuItem(app->frmtop().window(), TrimMenu::kTrimId);
  }
  void keys(const std::vector<KeyEvent>& pressed) {
    for (const KeyEvent& k : pressed) input.pressKey(app->frmTrim()->window(), k);
  }
};

KeyEvent key(int k) { return KeyEvent{k}; }
const KeyEvent kCtrlS{'S', true};

TEST_F(TrimWindowTest, KeysChooseTheSpanAndSaveAsWritesItBesideTheMovie) {
  struct Case {
    const char* what;
    std::vector<KeyEvent> keys;
    std::optional<std::string> saveAs;  // relative to the folder; nothing: the dialog is cancelled
    std::uint64_t capacity = UINT64_MAX;
    const char* span;
    int frames;  // in the saved movie; 0: none saved
    const char* message;
  };
  const Case cases[] = {
      {"2 s to 5 s", {key(kKeyPageDown), key(kKeyPageDown), key('I'), key(kKeyPageDown), key(kKeyPageDown),
                      key(kKeyPageDown), key(kKeyLeft), key('O'), kCtrlS},
       "source-trim.avi", UINT64_MAX, "from 00:02.00 to 00:05.00: 3.00 s, 90 frames", 90,
       "source-trim.avi is saved: 90 frames, 3.00 s."},
      {"the last frame alone", {key(kKeyEnd), key('I'), key(kKeyRight), kCtrlS}, "last.avi", UINT64_MAX,
       "from 00:06.63 to 00:06.67: 0.03 s, 1 frame", 1, "last.avi is saved: 1 frame, 0.03 s."},
      {"the dialog cancelled", {key(kKeyHome), kCtrlS}, std::nullopt, UINT64_MAX,
       "from 00:00.00 to 00:06.67: 6.67 s, 200 frames", 0, ""},
      {"over the movie itself", {kCtrlS}, "source.avi", UINT64_MAX, "from 00:00.00 to 00:06.67: 6.67 s, 200 frames",
       0, "A trimmed movie cannot replace the movie it is cut from.\n\nChoose another name; source.avi stays as it is."},
      {"a full disk", {key(kKeyPageDown), key('O'), kCtrlS}, "full.avi", 600000,
       "from 00:00.00 to 00:01.03: 1.03 s, 31 frames", 0,
       "full.avi could not be saved: the disk did not take the new movie (it may be full, or gone).\n\n"
       "No file was left, and source.avi is unchanged."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    openTrim(movie);
    ASSERT_NE(app->frmTrim(), nullptr);
    const FrmTrim& trim = *app->frmTrim();
    EXPECT_EQ(trim.lblSpan->caption(), "from 00:00.00 to 00:06.67: 6.67 s, 200 frames") << "it opens on all of it";
    EXPECT_EQ(trim.sldFrame->value(), 0);
    EXPECT_EQ(trim.sldFrame->max(), kFrames - 1);
    services.movies.capacity = c.capacity;
    services.movies.files.clear();
    const std::size_t told = ws.informations().size() + ws.warnings().size();
    ws.queueSaveFileAnswer(c.saveAs ? std::optional(dir.file(*c.saveAs)) : std::nullopt);
    keys(c.keys);
    EXPECT_EQ(trim.lblSpan->caption(), c.span);
    EXPECT_EQ(trim.sldFrame->value(), trim.span().position());
    const SaveFileRequest& asked = ws.saveFileRequests().back();
    EXPECT_EQ(asked.fileName, "source-trim.avi");
    EXPECT_EQ(asked.folder, utf8Of(dir.path()));
    EXPECT_EQ(asked.patterns, "*.avi");
    const std::string path = c.saveAs ? dir.file(*c.saveAs) : "";
    if (c.frames) {
      ASSERT_EQ(services.movies.files.count(path), 1u);
      auto saved = AviMovieReader::open(std::make_unique<MemoryByteSource>(services.movies.files[path]->bytes));
      ASSERT_TRUE(saved) << saved.error();
      EXPECT_EQ(saved.value().picture().frames.size(), static_cast<std::size_t>(c.frames));
    } else {
      EXPECT_TRUE(services.movies.files.empty()) << "a file was left";
    }
    EXPECT_EQ(ws.informations().size() + ws.warnings().size(), told + (*c.message ? 1 : 0));
    if (*c.message) {
      const std::string said = c.frames ? ws.informations().back() : ws.warnings().back();
      EXPECT_EQ(said, c.message);
    }
    keys({key(kKeyEscape)});
    EXPECT_EQ(app->frmTrim(), nullptr) << "Esc closes it";
  }
}

TEST_F(TrimWindowTest, TheOpenDialogStartsInTheMoviesFolderAndAFileThatIsNoMovieIsRefused) {
  store("folder", utf8Of(dir.path()));
  const std::string notes = dir.file("notes.avi");
  std::ofstream(pathFromUtf8(notes)) << "not a movie";
  openTrim(notes);
  EXPECT_EQ(ws.openFileRequests().back().folder, utf8Of(dir.path()));
  EXPECT_EQ(ws.openFileRequests().back().patterns, "*.avi;*.gif;*.mp4");
  EXPECT_EQ(app->frmTrim(), nullptr);
  ASSERT_FALSE(ws.warnings().empty());
  EXPECT_EQ(ws.warnings().back(),
            "notes.avi cannot be trimmed: it is not a movie kestrascope writes (an AVI, a GIF or an MP4).");
  // An MP4 needs ffmpeg, which this platform's programs do not have.
  const std::string clip = dir.file("clip.mp4");
  ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -f lavfi -i color=s=64x48:r=30:d=0.2 -c:v libx264 '" + clip +
                         "'").c_str()),
            0);
  openTrim(clip);
  EXPECT_EQ(app->frmTrim(), nullptr);
  EXPECT_EQ(ws.warnings().back().rfind("clip.mp4 cannot be trimmed: an MP4 movie is trimmed by ffmpeg.\n\nMP4 movies "
                                       "are made by ffmpeg.exe, which was not found.",
                                       0),
            0u)
      << ws.warnings().back();
  // The system menu's item, with T as its access key, last.
  EXPECT_EQ(app->frmtop().systemMenuItems().back().text, "&Trim a movie\xE2\x80\xA6");
}

TEST_F(TrimWindowTest, AGifIsTrimmedIntoAGif) {
  // 20 frames at 10 a second, each its own grey.
  auto file = std::make_shared<MemoryFile>();
  {
    Movie gif;
    const BitmapInfoHeader f = makeFrameFormat(kWidth, kHeight);
    ASSERT_TRUE(gif.OpenMovie(memorySink(file), f, 10, MovieFormat::Gif));
    for (int i = 0; i < 20; ++i) {
      const std::vector<std::uint8_t> picture(f.biSizeImage, static_cast<std::uint8_t>(10 * i));
      ASSERT_TRUE(gif.WriteFrame(picture.data(), f));
    }
    ASSERT_TRUE(gif.CloseMovie());
  }
  const std::string path = dir.file("anim.gif");
  std::ofstream(pathFromUtf8(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(file->bytes.data()), static_cast<std::streamsize>(file->bytes.size()));
  openTrim(path);
  ASSERT_NE(app->frmTrim(), nullptr);
  EXPECT_EQ(app->frmTrim()->lblSpan->caption(), "from 00:00.00 to 00:02.00: 2.00 s, 20 frames");
  ws.queueSaveFileAnswer(dir.file("cut.gif"));
  keys({key(kKeyRight), key(kKeyRight), key('I'), key(kKeyPageDown), key('O'), kCtrlS});
  EXPECT_EQ(app->frmTrim()->lblSpan->caption(), "from 00:00.20 to 00:01.30: 1.10 s, 11 frames");
  EXPECT_EQ(ws.saveFileRequests().back().fileName, "anim-trim.gif");
  EXPECT_EQ(ws.saveFileRequests().back().patterns, "*.gif");
  ASSERT_EQ(services.movies.files.count(dir.file("cut.gif")), 1u);
  MemorySource saved(services.movies.files[dir.file("cut.gif")]->bytes);
  GifReader reader;
  ASSERT_TRUE(reader.open(saved)) << reader.error();
  ASSERT_EQ(reader.frames().size(), 11u);
  const GifCanvas* first = reader.decode(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ((*first)[0].b, 20) << "it starts with the source's third frame";
  EXPECT_EQ(ws.informations().back(), "cut.gif is saved: 11 frames, 1.10 s.");
}

// A movie of grey pictures that counts them, and whose save waits until
// the window has been resized while it runs.
class WatchedMovie final : public TrimSource {
 public:
  std::atomic<int> pictures{0};
  std::atomic<bool> inSave{false}, resized{false};
  std::int32_t width() const override { return kWidth; }
  std::int32_t height() const override { return kHeight; }
  const FrameTimes& times() const override { return times_; }
  std::string extension() const override { return "avi"; }
  ReadResult<const std::vector<std::uint8_t>*> picture(std::int64_t) override {
    ++pictures;
    return &dib_;
  }
  TrimOutcome save(std::int64_t first, std::int64_t last, const std::string&, std::unique_ptr<FileSink> sink,
                   const TrimProgress&) override {
    inSave = true;
    for (int k = 0; k < 1000 && !resized; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TrimOutcome o;
    o.frames = last - first + 1;
    if (!sink->close()) o.kind = TrimOutcome::Kind::WriteFailed;
    return o;
  }

 private:
  FrameTimes times_ = FrameTimes::constantRate(30, 30, 1);
  std::vector<std::uint8_t> dib_ = std::vector<std::uint8_t>(dibStride(kWidth) * kHeight, 80);
};

TEST_F(TrimWindowTest, AResizeWhileSavingLeavesTheMovieToTheSave) {
  auto owned = std::make_unique<WatchedMovie>();
  WatchedMovie& movieSeen = *owned;
  app->openFrmTrim(movie, std::move(owned));
  ASSERT_NE(app->frmTrim(), nullptr);
  int picturesBefore = 0;
  ws.setIdleWait([&](double seconds) {
    services.clock.advance(seconds);
    if (movieSeen.inSave && !movieSeen.resized) {
      picturesBefore = movieSeen.pictures;
      app->frmTrim()->window().setWidth(app->frmTrim()->window().width() + 600);
      movieSeen.resized = true;
    }
  });
  ws.queueSaveFileAnswer(dir.file("cut.avi"));
  keys({kCtrlS});
  ASSERT_TRUE(movieSeen.resized) << "the save ended before the resize";
  EXPECT_EQ(movieSeen.pictures, picturesBefore) << "a picture was decoded beside the save";
  EXPECT_EQ(ws.informations().back(), "cut.avi is saved: 30 frames, 1.00 s.");
}

}  // namespace
}  // namespace ks::test
