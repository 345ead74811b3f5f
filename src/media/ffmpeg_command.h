// What we ask of the user's ffmpeg, and what we read from it: its version
// and encoders, the short trial of an encoder, the command that makes an MP4
// from our pipes, and the copy that finishes one. Pure text in and out, so
// the argument lists of every version are tested without running one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ks {

struct FfmpegVersion {
  std::string name;  // as it calls itself: "4.1.3", "N-92722-gf22fcd4483", "6.1.1-3ubuntu5"
  // Its libraries' versions, which a build from the development tree has
  // too: the options depend on these.
  int avformatMajor = 0, avformatMinor = 0;
  int avcodecMajor = 0, avcodecMinor = 0;
  bool known() const { return avformatMajor > 0 && avcodecMajor > 0; }
  // libavformat 58 came with ffmpeg 4.0, the oldest whose fragmented MP4
  // and input options all work as we use them.
  bool supported() const { return avformatMajor >= 58; }
  // NVENC's presets are p1 to p7 with a tune since libavcodec 58.91
  // (ffmpeg 4.3); before, they had names, kept since only as aliases.
  bool nvencNewPresets() const { return avcodecMajor > 58 || (avcodecMajor == 58 && avcodecMinor >= 91); }
};

// Reads what `ffmpeg -version` prints (or the banner of any other run).
FfmpegVersion parseFfmpegVersion(const std::string& output);

// The H.264 encoders that `ffmpeg -encoders` lists, in its order, leaving
// out those that take RGB (libx264rgb).
std::vector<std::string> parseH264Encoders(const std::string& output);

// The hardware encoders in the order we prefer them: NVENC, Quick Sync, AMF.
inline constexpr const char* kHardwareEncoders[] = {"h264_nvenc", "h264_qsv", "h264_amf"};
inline constexpr const char* kSoftwareEncoder = "libx264";

// How the choice among `listed` goes: the encoders to try, in order, before
// any is taken untried; and the one taken when every trial fails, empty when
// a trial must pass. Hardware ones are tried first; libx264 needs no trial;
// without it any other H.264 encoder is tried.
struct EncoderPlan {
  std::vector<std::string> trials;
  std::string fallback;
};
EncoderPlan planEncoders(const std::vector<std::string>& listed);

// A fraction of a second of a small picture through `encoder` into nothing:
// it passes when ffmpeg exits with 0.
std::vector<std::string> trialArgs(const std::string& encoder);

struct Mp4Job {
  std::string videoPipe;  // what ffmpeg opens for the pictures
  std::string soundPipe;  // and for the sound; empty: a movie without sound
  std::int32_t width = 0, height = 0;  // of the pictures sent: even
  std::uint32_t rate = 30;             // pictures a second
  std::string encoder = kSoftwareEncoder;
  std::string output;  // the movie's path
};

// Pictures arrive as yuv420p (BT.709, limited range) at a constant rate and
// sound as 48 kHz 16-bit stereo; the movie is fragmented MP4, a fragment at
// each key frame (at least every 2 s) and at least every second, flushed as
// it is made, so a movie cut off at any moment plays up to its last
// fragment.
std::vector<std::string> recordArgs(const Mp4Job& job, const FfmpegVersion& version);

// The part of recordArgs that codes the pictures: the encoder and its
// settings, the pixel format it takes, a key frame at least every 2 s and
// the BT.709 tags. The encoder benchmark measures it alone.
std::vector<std::string> videoArgs(const std::string& encoder, std::uint32_t rate, const FfmpegVersion& version);

// Copies the fragmented movie `from` into an ordinary MP4 `to`, its index at
// the front, without coding anything again.
std::vector<std::string> finishArgs(const std::string& from, const std::string& to);

// Decodes the pictures of the movie `movie` into `pipe` as 24-bit rows, the
// bottom row first, one picture after another, every one (none dropped or
// repeated). With `seekSeconds` > 0 it starts at the key frame at or before
// that time (from the movie's start), not at the first frame.
std::vector<std::string> decodeArgs(const std::string& movie, const std::string& pipe, double seekSeconds,
                                    const FfmpegVersion& version);

struct Mp4Cut {
  std::string source, output;
  std::int64_t firstFrame = 0, endFrame = 0;  // frames [firstFrame, endFrame) are kept
  bool sound = false;
  std::uint64_t firstSample = 0, endSample = 0;  // and sound samples [firstSample, endSample)
  std::string encoder = kSoftwareEncoder;
  std::uint32_t rate = 30;  // about how many frames a second: the key frame interval
};

// Codes frames firstFrame..endFrame-1 of the source again, at a quality
// meant to keep, and the sound of the same instants to the sample, into an
// ordinary MP4; its progress goes to the standard output as key=value lines.
std::vector<std::string> cutArgs(const Mp4Cut& cut, const FfmpegVersion& version);

// The command line a user could type for `args`, for messages.
std::string commandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace ks
