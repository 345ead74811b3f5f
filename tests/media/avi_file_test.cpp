// Real files read back by ffprobe/ffmpeg: stream parameters, pixels, files
// cut off at any point, a writer killed mid-recording, a full filesystem.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "avi_reader.h"
#include "command_output.h"
#include "media/avi_movie_reader.h"
#include "media/avi_writer.h"
#include "media/movie_pictures.h"
#include "memory_sink.h"
#include "test_files.h"
#include "test_pictures.h"

extern char** environ;

namespace ks {
namespace {

using test::commandOutput;

using test::makePicture;
using test::parseAvi;
using test::readAll;
using test::TempDir;

using test::joined;

bool haveFfmpeg() {
  return std::system("command -v ffprobe >/dev/null 2>&1 && command -v ffmpeg >/dev/null 2>&1") == 0;
}

std::string shellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}


// ffprobe's view of the first video stream, frames counted by decoding (or
// of the first sound stream with `sound`).
std::map<std::string, std::string> probe(const std::string& path, bool sound = false) {
  const std::string out = commandOutput(
      std::string("ffprobe -v error -count_frames -show_entries ") +
      (sound ? "stream=codec_name,sample_rate,channels -select_streams a:0 "
             : "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames -select_streams v:0 ") +
      "-of default=noprint_wrappers=1 " + shellQuoted(path) + " 2>/dev/null");
  std::map<std::string, std::string> m;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return m;
}

int framesReadBack(const std::string& path) {
  const auto m = probe(path);
  const auto it = m.find("nb_read_frames");
  if (it == m.end() || it->second.empty() ||
      it->second.find_first_not_of("0123456789") != std::string::npos)
    return 0;  // nothing decodable ("N/A")
  return std::stoi(it->second);
}

// Frame counts of many files at once; ffprobe's start-up dominates, so the
// files are probed a few at a time.
std::map<std::string, int> framesReadBack(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& p : paths) list += p + '\n';
  const std::string out = commandOutput(
      "printf '%s' " + shellQuoted(list) +
      " | xargs -d '\\n' -P 4 -I{} sh -c 'echo \"$(ffprobe -v error -select_streams v:0 "
      "-count_frames -show_entries stream=nb_read_frames -of csv=p=0 \"$1\" 2>/dev/null) $1\"' _ {}");
  std::map<std::string, int> counts;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const auto sp = line.find(' ');
    if (sp == std::string::npos) continue;
    const std::string n = line.substr(0, sp);
    counts[line.substr(sp + 1)] =
        !n.empty() && n.find_first_not_of("0123456789") == std::string::npos ? std::stoi(n) : 0;
  }
  return counts;
}

// ffmpeg's decoded pictures, top row first, no row padding.
std::string decode(const std::string& path) {
  return commandOutput("ffmpeg -v error -i " + shellQuoted(path) + " -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
}

// ffmpeg's decoded sound, 16-bit little-endian samples.
std::string decodeSound(const std::string& path) {
  return commandOutput("ffmpeg -v error -i " + shellQuoted(path) + " -map 0:a -f s16le - 2>/dev/null");
}

// What ffmpeg complains about while decoding every stream; empty when nothing.
std::string decodeErrors(const std::string& path) {
  return commandOutput("ffmpeg -v error -i " + shellQuoted(path) + " -map 0 -f null - 2>&1");
}

// Our picture as ffmpeg hands it back: rows flipped, padding dropped.
std::string asDecoded(std::int32_t w, std::int32_t h, int seed) {
  const auto bits = makePicture(w, h, seed);
  const std::uint32_t stride = dibStride(w);
  std::string out;
  for (std::int32_t y = h - 1; y >= 0; --y)
    out.append(reinterpret_cast<const char*>(bits.data()) + std::size_t{stride} * y, 3 * std::size_t(w));
  return out;
}

void expectDecodedSeeds(const std::string& path, std::int32_t w, std::int32_t h, int count) {
  const std::string decoded = decode(path);
  const std::size_t frameBytes = 3 * std::size_t(w) * h;
  ASSERT_EQ(decoded.size(), frameBytes * count);
  for (int i = 0; i < count; ++i)
    ASSERT_TRUE(decoded.compare(frameBytes * i, frameBytes, asDecoded(w, h, i)) == 0) << "frame " << i;
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::size_t n) {
  std::ofstream out(test::pathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
}

struct ProbeCase {
  std::int32_t width, height;
  std::uint32_t rate;
  int frames;
  std::uint64_t riffLimit;
  std::uint32_t sound = 0;  // sample frames after each frame; 0: no sound
};

class FfprobeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(FfprobeTest, ReadsTheStreamAndEveryPixelBack) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  const ProbeCase c = GetParam();
  TempDir dir;
  const std::string path = dir.file("probe.avi");
  AviWriterOptions opt;
  opt.riffLimit = c.riffLimit;
  if (c.riffLimit < (1u << 30)) opt.superIndexCapacity = 64;  // a header well below the limit
  AviWriter writer(opt);
  const BitmapInfoHeader fmt = makeFrameFormat(c.width, c.height);
  ASSERT_TRUE(writer.open(openFileSink(path), fmt, c.rate, c.sound ? std::optional(WaveFormat{}) : std::nullopt));
  std::string samples;
  for (int i = 0; i < c.frames; ++i) {
    const auto pic = makePicture(c.width, c.height, i);
    ASSERT_TRUE(writer.writeFrame(pic.data(), fmt.biSizeImage));
    if (!c.sound) continue;
    const auto sound = test::makeSound(c.sound + i % 5, i);
    ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())));
    samples.append(sound.begin(), sound.end());
  }
  const std::uint64_t soundFrames = writer.soundFrames();
  const int riffs = writer.riffCount();
  ASSERT_TRUE(writer.close());
  if (c.riffLimit < (1u << 30)) {
    EXPECT_GE(riffs, 3);
  }

  auto m = probe(path);
  EXPECT_EQ(m["codec_name"], "rawvideo");
  EXPECT_EQ(m["pix_fmt"], "bgr24");
  EXPECT_EQ(m["width"], std::to_string(c.width));
  EXPECT_EQ(m["height"], std::to_string(c.height));
  EXPECT_EQ(m["r_frame_rate"], std::to_string(c.rate) + "/1");
  EXPECT_EQ(m["nb_read_frames"], std::to_string(c.frames));
  expectDecodedSeeds(path, c.width, c.height, c.frames);
  if (!c.sound) return;
  m = probe(path, true);
  EXPECT_EQ(m["codec_name"], "pcm_s16le");
  EXPECT_EQ(m["sample_rate"], "48000");
  EXPECT_EQ(m["channels"], "2");
  EXPECT_EQ(decodeErrors(path), "");
  const std::string decoded = decodeSound(path);
  EXPECT_EQ(decoded.size() / 4, soundFrames);
  EXPECT_TRUE(decoded == samples) << "the decoded sound differs from what was written";
}

INSTANTIATE_TEST_SUITE_P(Widths, FfprobeTest,
                         ::testing::Values(ProbeCase{1, 1, 15, 4, 1u << 30},
                                           ProbeCase{101, 3, 30, 5, 1u << 30},
                                           ProbeCase{641, 5, 60, 3, 1u << 30},
                                           ProbeCase{1, 7, 1, 50, 1024},
                                           ProbeCase{101, 9, 25, 40, 30000},
                                           ProbeCase{641, 5, 15, 30, 40000},
                                           ProbeCase{101, 3, 30, 5, 1u << 30, 1600},
                                           ProbeCase{101, 9, 25, 40, 30000, 1920}));

// The number of whole frame chunks in the first `cut` bytes of a file.
int wholeFramesBefore(const test::AviFile& f, std::uint64_t cut) {
  int n = 0;
  for (const test::Frame& fr : f.frames)
    if (fr.offset + 8 + fr.size <= cut) ++n;
  return n;
}

// The movie without sound, or with a sound chunk after every frame (param
// true), as long as the frame: ffmpeg reads a file whose streams drift apart
// by seconds by its index alone, not past it.
class CutOffFiles : public ::testing::TestWithParam<bool> {};

TEST_P(CutOffFiles, KeepEveryWholeFrameBeforeTheCut) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  const bool withSound = GetParam();
  TempDir dir;
  const std::string cutPath = dir.file("cut.avi");
  const std::int32_t w = 33, h = 9;
  const BitmapInfoHeader fmt = makeFrameFormat(w, h);

  // A movie written at 10 frames a second, so a checkpoint every 10 frames,
  // with RIFFs of a few frames each. Snapshots of it while open, and the
  // finished file, are cut at offsets spread over their length.
  auto file = std::make_shared<test::MemoryFile>();
  auto now = std::make_shared<std::chrono::steady_clock::time_point>();
  AviWriterOptions opt;
  opt.clock = [now] { return *now; };
  opt.riffLimit = 16384;
  opt.superIndexCapacity = 64;
  AviWriter writer(opt);
  const WaveFormat stereo8k{1, 2, 8000, 32000, 4, 16};
  ASSERT_TRUE(writer.open(test::memorySink(file), fmt, 10, withSound ? std::optional(stereo8k) : std::nullopt));
  std::vector<std::vector<std::uint8_t>> images;
  for (int i = 0; i < 80; ++i) {
    *now += std::chrono::milliseconds(100);
    const auto pic = makePicture(w, h, i);
    ASSERT_TRUE(writer.writeFrame(pic.data(), fmt.biSizeImage));
    const auto sound = test::makeSound(799 + i % 3, i);
    if (withSound) {
      ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size())));
    }
    if (i == 24 || i == 57) images.push_back(file->bytes);  // mid-way between checkpoints
  }
  ASSERT_TRUE(writer.close());
  images.push_back(file->bytes);

  const test::AviFile finished = parseAvi(file->bytes);
  const std::uint64_t firstFrame = finished.frames.at(0).offset;
  std::vector<std::string> paths;
  std::map<std::string, int> expected;
  for (std::size_t k = 0; k < images.size(); ++k) {
    const std::vector<std::uint8_t>& image = images[k];
    for (int step = 0; step <= 12; ++step) {
      // The file as cut is a prefix of the image; its frames sit where they
      // sit in the finished file.
      const std::uint64_t cut = firstFrame + (image.size() - firstFrame) * step / 12 + step % 3;
      const std::string path = dir.file("cut_" + std::to_string(k) + "_" + std::to_string(cut) + ".avi");
      writeFile(path, image, std::min<std::uint64_t>(cut, image.size()));
      paths.push_back(path);
      expected[path] = wholeFramesBefore(finished, std::min<std::uint64_t>(cut, image.size()));
    }
  }
  const std::map<std::string, int> counts = framesReadBack(paths);
  for (const std::string& p : paths) {
    const auto it = counts.find(p);
    ASSERT_NE(it, counts.end()) << p;
    EXPECT_EQ(it->second, expected[p]) << p;
  }
  // Pixels too, for one cut in the middle of the last RIFF of a snapshot.
  writeFile(cutPath, images[1], images[1].size() - 100);
  const int n = wholeFramesBefore(parseAvi(file->bytes), images[1].size() - 100);
  ASSERT_GT(n, 50);
  expectDecodedSeeds(cutPath, w, h, n);
  if (!withSound) return;
  // The sound of that cut: every whole chunk before it, in order.
  std::string samples;
  for (const test::Frame& c : finished.sound.chunks)
    if (c.offset + 8 + c.size <= images[1].size() - 100)
      samples.append(reinterpret_cast<const char*>(file->bytes.data()) + c.offset + 8, c.size);
  ASSERT_GT(samples.size(), 50u * 3200);
  EXPECT_EQ(decodeErrors(cutPath), "");
  const std::string decoded = decodeSound(cutPath);
  EXPECT_EQ(decoded.size() / 4, samples.size() / 4) << "sample frames";
  EXPECT_TRUE(decoded == samples) << "the decoded sound differs from what was written";
}

INSTANTIATE_TEST_SUITE_P(Sound, CutOffFiles, ::testing::Values(false, true));

// The writer's frames uncompressed, or ZMBV chunks (param true).
class CrashSafety : public ::testing::TestWithParam<bool> {};

TEST_P(CrashSafety, AKilledWriterLeavesEveryFrameOlderThanASecond) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  TempDir dir;
  const std::string path = dir.file("killed.avi");
  const std::int32_t w = 64, h = 48;
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::string prog = KS_ENDLESS_WRITER, ws = std::to_string(w), hs = std::to_string(h), rate = "30",
              codec = "zmbv";
  char* argv[] = {prog.data(), const_cast<char*>(path.c_str()), ws.data(), hs.data(), rate.data(),
                  GetParam() ? codec.data() : nullptr, nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, prog.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);

  // Follow the writer's announcements for three seconds, then kill it.
  using Clock = std::chrono::steady_clock;
  std::vector<std::pair<Clock::time_point, int>> seen;
  const auto start = Clock::now();
  std::string pending;
  while (Clock::now() - start < std::chrono::seconds(3)) {
    char buf[4096];
    const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
    if (n > 0) {
      pending.append(buf, static_cast<std::size_t>(n));
      std::size_t nl;
      while ((nl = pending.find('\n')) != std::string::npos) {
        int count = 0;
        if (std::sscanf(pending.c_str(), "frames %d", &count) == 1) seen.emplace_back(Clock::now(), count);
        pending.erase(0, nl + 1);
      }
    } else {
      ::usleep(2000);
    }
  }
  const auto killedAt = Clock::now();
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(pipeFds[0]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
  ASSERT_FALSE(seen.empty());

  int olderThanASecond = 0;
  for (const auto& [t, count] : seen)
    if (killedAt - t >= std::chrono::seconds(1)) olderThanASecond = count;
  const int lastSeen = seen.back().second;
  ASSERT_GT(olderThanASecond, 30);

  const int readBack = framesReadBack(path);
  EXPECT_GE(readBack, olderThanASecond);
  EXPECT_LE(readBack, lastSeen + 1);
  const test::AviFile f = parseAvi(readAll(test::pathFromUtf8(path)));
  EXPECT_GE(f.riffs.size(), 2u) << "the kill came after the first RIFF was done";
  expectDecodedSeeds(path, w, h, readBack);

  // Our own reader recovers as much, every picture as it was written.
  auto source = openByteFile(path);
  ASSERT_TRUE(source) << source.error();
  auto reader = AviMovieReader::open(std::move(source.value()));
  ASSERT_TRUE(reader) << reader.error();
  EXPECT_TRUE(reader.value().recovered());
  auto pictures = MoviePictures::open(reader.value());
  ASSERT_TRUE(pictures) << pictures.error();
  EXPECT_GE(pictures.value().frameCount(), static_cast<std::size_t>(olderThanASecond));
  EXPECT_LE(pictures.value().frameCount(), static_cast<std::size_t>(lastSeen + 1));
  for (std::size_t i = 0; i < pictures.value().frameCount(); ++i) {
    ASSERT_TRUE(pictures.value().seek(i)) << "frame " << i;
    ASSERT_EQ(pictures.value().picture(), test::makePicture(w, h, static_cast<int>(i))) << "frame " << i;
  }
  std::printf("killed %s writer: %d frames announced, %d a second before the kill, %d read back\n",
              GetParam() ? "ZMBV" : "uncompressed", lastSeen, olderThanASecond, readBack);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CrashSafety, ::testing::Values(false, true));

// A file whose large parts (the pixels) are holes: a movie past 4 GiB costs
// only its headers, indexes and sound on disk.
class HoleSink final : public FileSink {
 public:
  explicit HoleSink(std::unique_ptr<FileSink> file) : file_(std::move(file)) {}
  bool write(std::span<const ConstBuffer> parts) override {
    for (const ConstBuffer& p : parts)
      if (!(p.size >= (1u << 20) ? file_->seek(file_->tell() + p.size) : file_->write(p.data, p.size))) return false;
    return true;
  }
  bool seek(std::uint64_t offset) override { return file_->seek(offset); }
  std::uint64_t tell() const override { return file_->tell(); }
  bool truncate(std::uint64_t size) override { return file_->truncate(size); }
  bool flush() override { return file_->flush(); }
  bool sync() override { return file_->sync(); }
  bool close() override { return file_->close(); }

 private:
  std::unique_ptr<FileSink> file_;
};

TEST(BigFile, PastFourGibBothStreamsStayIndexed) {
  TempDir dir;
  const std::string path = dir.file("big.avi");
  const BitmapInfoHeader fmt = makeFrameFormat(1920, 1080);
  const std::vector<std::uint8_t> pic(fmt.biSizeImage);  // never read: a hole
  const int frames = static_cast<int>((std::uint64_t{4608} << 20) / fmt.biSizeImage + 1);  // 4.5 GiB
  AviWriter writer;
  ASSERT_TRUE(writer.open(std::make_unique<HoleSink>(openFileSink(path)), fmt, 30, WaveFormat{}));
  for (int i = 0; i < frames; ++i) {
    const auto sound = test::makeSound(1600, i);
    ASSERT_TRUE(writer.writeSound(sound.data(), static_cast<std::uint32_t>(sound.size()))) << i;
    ASSERT_TRUE(writer.writeFrame(pic.data(), fmt.biSizeImage)) << i;
  }
  const std::uint64_t soundFrames = writer.soundFrames();
  ASSERT_TRUE(writer.close());

  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const auto size = static_cast<std::size_t>(::lseek(fd, 0, SEEK_END));
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  ASSERT_NE(map, MAP_FAILED);
  const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(map), size);
  const test::AviFile f = parseAvi(bytes);
  EXPECT_GT(size, std::uint64_t{4} << 30);
  EXPECT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, true).empty()) << joined(checkIndexes(f, true));
  EXPECT_GE(f.riffs.size(), 5u);
  EXPECT_EQ(f.frames.size(), static_cast<std::size_t>(frames));
  ASSERT_EQ(f.sound.chunks.size(), static_cast<std::size_t>(frames));
  const test::Frame& last = f.sound.chunks.back();
  EXPECT_GT(last.offset, std::uint64_t{4} << 30);
  const auto lastSound = test::makeSound(1600, frames - 1);
  EXPECT_TRUE(std::equal(lastSound.begin(), lastSound.end(), bytes.begin() + static_cast<std::ptrdiff_t>(last.offset + 8)));
  ::munmap(map, size);
  if (!haveFfmpeg()) return;
  std::string samples;
  for (int i = 0; i < frames; ++i) {
    const auto sound = test::makeSound(1600, i);
    samples.append(sound.begin(), sound.end());
  }
  // ffmpeg finds the sound through the indexes, skipping the pixels.
  const std::string decoded = decodeSound(path);
  EXPECT_EQ(decoded.size() / 4, soundFrames) << "sample frames ffmpeg decodes";
  EXPECT_TRUE(decoded == samples) << "the decoded sound differs from what was written";
}

// A real filesystem that runs out of space.
class SmallTmpfs {
 public:
  SmallTmpfs() {
    char tmpl[] = "/tmp/ks_avi_full_XXXXXX";
    if (!::mkdtemp(tmpl)) return;
    dir_ = tmpl;
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=2m") == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    if (!dir_.empty()) ::rmdir(dir_.c_str());
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  bool mounted() const { return mounted_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
  bool mounted_ = false;
};

class FullDiskTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(FullDiskTest, AFullFilesystemKeepsEveryFrameWrittenBeforeIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  SmallTmpfs fs;
  if (!fs.mounted()) GTEST_SKIP() << "could not mount a 2 MiB tmpfs";
  const std::string path = fs.file("full.avi");
  const std::int32_t w = 100, h = 100;
  const BitmapInfoHeader fmt = makeFrameFormat(w, h);
  AviWriterOptions opt;
  opt.riffLimit = GetParam();
  AviWriter writer(opt);
  std::unique_ptr<FileSink> sink = openFileSink(path);
  const FileSink* disk = sink.get();  // the writer's until its close
  ASSERT_TRUE(writer.open(std::move(sink), fmt, 30));
  int written = 0;
  for (int i = 0; i < 1000; ++i) {
    const auto pic = makePicture(w, h, i);
    bool ok = false;
    for (int t = 0; t < 3 && !ok; ++t) ok = writer.writeFrame(pic.data(), fmt.biSizeImage);
    if (!ok) break;
    ++written;
  }
  ASSERT_LT(written, 1000) << "the filesystem never filled up";
  ASSERT_GT(written, 10);
  EXPECT_EQ(writer.frameNumber(), written);
  EXPECT_EQ(disk->fault().cause, WriteCause::DiskFull) << "kept: the retries failed for the same cause";
  EXPECT_EQ(disk->fault().code, ENOSPC);
  const bool closed = writer.close();

  const auto bytes = readAll(test::pathFromUtf8(path));
  const test::AviFile f = parseAvi(bytes);
  ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
  EXPECT_TRUE(checkIndexes(f, closed).empty()) << joined(checkIndexes(f, closed));
  EXPECT_EQ(f.frames.size(), static_cast<std::size_t>(written));
  std::printf("full tmpfs (RIFF limit %llu): %d frames, %zu bytes, %d RIFFs, indexes %s\n",
              static_cast<unsigned long long>(GetParam()), written, bytes.size(),
              static_cast<int>(f.riffs.size()), closed ? "written" : "left out");
  if (haveFfmpeg()) {
    EXPECT_EQ(framesReadBack(path), written);
    expectDecodedSeeds(path, w, h, written);
  }
}

INSTANTIATE_TEST_SUITE_P(RiffLimits, FullDiskTest,
                         ::testing::Values(std::uint64_t{1} << 30, std::uint64_t{200000}));

}  // namespace
}  // namespace ks
