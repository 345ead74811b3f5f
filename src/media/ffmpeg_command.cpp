#include "media/ffmpeg_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace ks {

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> wordsOf(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(std::move(word));
  return words;
}

// "libavformat    58. 24.101 / 58. 24.101": major and minor of the first.
bool readLibrary(const std::string& line, const std::string& library, int& major, int& minor) {
  if (line.rfind(library, 0) != 0 || line.size() == library.size() || line[library.size()] != ' ') return false;
  const char* p = line.c_str() + library.size();
  char* end = nullptr;
  const long a = std::strtol(p, &end, 10);
  if (end == p || *end != '.') return false;
  p = end + 1;
  const long b = std::strtol(p, &end, 10);
  if (end == p) return false;
  major = static_cast<int>(a);
  minor = static_cast<int>(b);
  return true;
}

bool isHardware(const std::string& encoder) {
  return std::find(std::begin(kHardwareEncoders), std::end(kHardwareEncoders), encoder) !=
         std::end(kHardwareEncoders);
}

bool listedIn(const std::vector<std::string>& listed, const std::string& name) {
  return std::find(listed.begin(), listed.end(), name) != listed.end();
}

// Quick Sync takes NV12, not planar chroma; ffmpeg converts on the way.
void addPixelFormat(std::vector<std::string>& args, const std::string& encoder) {
  args.insert(args.end(), {"-pix_fmt", encoder == "h264_qsv" ? "nv12" : "yuv420p"});
}

// Each encoder's words for quality on screen content at about the
// processor time of the fastest common software settings.
void addEncoderSettings(std::vector<std::string>& args, const std::string& encoder, const FfmpegVersion& version) {
  if (encoder == kSoftwareEncoder) {
    // The line users type (ultrafast, zerolatency: no delay, the least
    // time) with CABAC, 5-20 % fewer bytes for a few % more time, and crf
    // 28.3. encoder_bench's mp4_ rows, 500 frames of 1920x1080 against that
    // line (crf 28, a key frame each 250): the video clip 0.97x its bytes at
    // +0.27 dB PSNR; editor, scroll, interface +1.58, +0.87, +1.08 dB but
    // 3.3x, 1.4x, 1.65x the bytes, what our key frame each 2 s costs on
    // still screens (with 250 they take 0.69-0.97x the bytes, 0.2-0.4 dB
    // below it); processor time 1.07-1.16x over the four in four runs.
    // 4x4 intra prediction (superfast's) saved 10-13 % more on text for
    // 1.2-1.3x the time.
    args.insert(args.end(), {"-preset", "ultrafast", "-tune", "zerolatency", "-crf", "28.3", "-x264-params", "cabac=1"});
  } else if (encoder == "h264_nvenc") {
    if (version.nvencNewPresets()) args.insert(args.end(), {"-preset", "p4", "-tune", "ll"});
    else args.insert(args.end(), {"-preset", "llhq"});
    args.insert(args.end(), {"-rc", "vbr", "-cq", "23", "-b:v", "0", "-bf", "0"});
  } else if (encoder == "h264_qsv") {
    args.insert(args.end(), {"-preset", "veryfast", "-global_quality", "23", "-look_ahead", "0"});
  } else if (encoder == "h264_amf") {
    args.insert(args.end(), {"-usage", "lowlatency", "-quality", "balanced", "-rc", "cqp", "-qp_i", "23", "-qp_p",
                             "23"});
  }
}

}  // namespace

FfmpegVersion parseFfmpegVersion(const std::string& output) {
  FfmpegVersion version;
  for (const std::string& line : linesOf(output)) {
    const std::vector<std::string> words = wordsOf(line);
    if (version.name.empty() && words.size() >= 3 && words[0] == "ffmpeg" && words[1] == "version")
      version.name = words[2];
    static_cast<void>(readLibrary(line, "libavformat", version.avformatMajor, version.avformatMinor));
    static_cast<void>(readLibrary(line, "libavcodec", version.avcodecMajor, version.avcodecMinor));
  }
  return version;
}

std::vector<std::string> parseH264Encoders(const std::string& output) {
  // " V....D libx264    libx264 H.264 / AVC / ... (codec h264)"; an encoder
  // named after its codec says no "(codec ...)".
  std::vector<std::string> encoders;
  for (const std::string& line : linesOf(output)) {
    const std::vector<std::string> words = wordsOf(line);
    if (words.size() < 2 || words[0].size() != 6 || words[0][0] != 'V') continue;
    const std::string& name = words[1];
    const bool h264 = name == "h264" || line.find("(codec h264)") != std::string::npos;
    if (h264 && name != "libx264rgb" && !listedIn(encoders, name)) encoders.push_back(name);
  }
  return encoders;
}

EncoderPlan planEncoders(const std::vector<std::string>& listed) {
  EncoderPlan plan;
  for (const char* hardware : kHardwareEncoders)
    if (listedIn(listed, hardware)) plan.trials.emplace_back(hardware);
  if (listedIn(listed, kSoftwareEncoder)) {
    plan.fallback = kSoftwareEncoder;
    return plan;
  }
  for (const std::string& name : listed)
    if (!isHardware(name)) plan.trials.push_back(name);
  return plan;
}

std::vector<std::string> trialArgs(const std::string& encoder) {
  std::vector<std::string> args{"-hide_banner", "-nostdin", "-loglevel", "error",  "-f",       "lavfi",
                                "-i",           "color=c=gray:s=320x240:r=30:d=0.2", "-frames:v", "5",
                                "-c:v",         encoder};
  addPixelFormat(args, encoder);
  args.insert(args.end(), {"-f", "null", "-"});
  return args;
}

std::vector<std::string> videoArgs(const std::string& encoder, std::uint32_t rate, const FfmpegVersion& version) {
  std::vector<std::string> args{"-c:v", encoder};
  addEncoderSettings(args, encoder, version);
  addPixelFormat(args, encoder);
  // A key frame at least every 2 s; the tags say how our pictures were made.
  args.insert(args.end(), {"-g", std::to_string(2 * rate), "-colorspace", "bt709", "-color_primaries", "bt709",
                           "-color_trc", "bt709", "-color_range", "tv"});
  return args;
}

std::vector<std::string> recordArgs(const Mp4Job& job, const FfmpegVersion& version) {
  const std::string rate = std::to_string(job.rate);
  // The pictures are as big as a few MB each: a queue of about a second
  // between ffmpeg's reading and its coding keeps a burst from stalling
  // the pipe, and the sound, which lags the pictures, from holding them.
  const std::string pictureQueue = std::to_string(std::max<std::uint32_t>(8, job.rate));
  std::vector<std::string> args{"-hide_banner", "-nostdin", "-nostats", "-loglevel", "error",
                                // The inputs say all about themselves: no probing waits for data.
                                "-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt", "yuv420p",
                                "-video_size", std::to_string(job.width) + "x" + std::to_string(job.height),
                                "-framerate", rate, "-thread_queue_size", pictureQueue, "-i", job.videoPipe};
  if (!job.soundPipe.empty()) {
    args.insert(args.end(), {"-probesize", "32", "-analyzeduration", "0", "-f", "s16le", "-ar", "48000", "-ac", "2",
                             "-thread_queue_size", "256", "-i", job.soundPipe});
  }
  args.insert(args.end(), {"-map", "0:v:0"});
  if (!job.soundPipe.empty()) args.insert(args.end(), {"-map", "1:a:0"});
  const std::vector<std::string> video = videoArgs(job.encoder, job.rate, version);
  args.insert(args.end(), video.begin(), video.end());
  // The AAC encoder puts 1024 samples of its own in front, and its first
  // packet then starts 1024 samples before 0; a fragmented MP4 has no edit
  // list to take them out, and ffmpeg would move every stream later by as
  // much instead, the pictures after the first included. Leaving out as
  // many of ours, with their own times, starts the coded sound at 0 and
  // keeps both in step; they lie before the first frame's time has passed.
  if (!job.soundPipe.empty())
    args.insert(args.end(), {"-af", "atrim=start_sample=1024", "-c:a", "aac", "-b:a", "160k", "-ar", "48000", "-ac",
                             "2"});
  args.insert(args.end(), {"-max_muxing_queue_size", "4096", "-flush_packets", "1", "-f", "mp4", "-movflags",
                           "+frag_keyframe+empty_moov+default_base_moof", "-frag_duration", "1000000", "-y",
                           job.output});
  return args;
}

std::vector<std::string> finishArgs(const std::string& from, const std::string& to) {
  return {"-hide_banner", "-nostdin", "-nostats", "-loglevel", "error", "-i",       from,         "-map", "0",
          "-c",           "copy",     "-f",       "mp4",       "-movflags", "+faststart", "-y", to};
}

namespace {

// Every decoded picture passes, whatever the output's rate.
void addPassthrough(std::vector<std::string>& args, const FfmpegVersion& version) {
  // -fps_mode came with ffmpeg 5.1 (libavformat 59.27); -vsync, its old
  // name, is going.
  const bool fpsMode = version.avformatMajor > 59 || (version.avformatMajor == 59 && version.avformatMinor >= 27);
  if (fpsMode) args.insert(args.end(), {"-fps_mode", "passthrough"});
  else args.insert(args.end(), {"-vsync", "0"});
}

}  // namespace

std::vector<std::string> decodeArgs(const std::string& movie, const std::string& pipe, double seekSeconds,
                                    const FfmpegVersion& version) {
  std::vector<std::string> args{"-hide_banner", "-nostdin", "-nostats", "-loglevel", "error"};
  if (seekSeconds > 0) {
    char at[32];
    std::snprintf(at, sizeof at, "%.6f", seekSeconds);
    // From the key frame the seek lands on, not from the time asked.
    args.insert(args.end(), {"-noaccurate_seek", "-ss", at});
  }
  args.insert(args.end(), {"-i", movie, "-map", "0:v:0", "-vf", "vflip", "-pix_fmt", "bgr24"});
  addPassthrough(args, version);
  args.insert(args.end(), {"-f", "rawvideo", "-y", pipe});
  return args;
}

std::vector<std::string> cutArgs(const Mp4Cut& cut, const FfmpegVersion& version) {
  std::vector<std::string> args{"-hide_banner", "-nostdin", "-nostats", "-loglevel", "error", "-progress", "pipe:1",
                                "-i", cut.source, "-map", "0:v:0"};
  if (cut.sound) args.insert(args.end(), {"-map", "0:a:0"});
  // Frames and samples are counted from the start: exact, whatever the
  // streams' times.
  args.insert(args.end(), {"-vf", "trim=start_frame=" + std::to_string(cut.firstFrame) +
                                      ":end_frame=" + std::to_string(cut.endFrame) + ",setpts=PTS-STARTPTS"});
  addPassthrough(args, version);
  std::vector<std::string> video = videoArgs(cut.encoder, cut.rate, version);
  if (cut.encoder == kSoftwareEncoder) {
    // Coded once more, to be kept: x264's own defaults at a quality that
    // shows no loss on screen content.
    video = {"-c:v", kSoftwareEncoder, "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p"};
    const std::vector<std::string> tags = videoArgs(cut.encoder, cut.rate, version);
    const auto g = std::find(tags.begin(), tags.end(), "-g");
    video.insert(video.end(), g, tags.end());
  }
  args.insert(args.end(), video.begin(), video.end());
  if (cut.sound)
    args.insert(args.end(), {"-af",
                             "atrim=start_sample=" + std::to_string(cut.firstSample) +
                                 ":end_sample=" + std::to_string(cut.endSample) + ",asetpts=PTS-STARTPTS",
                             "-c:a", "aac", "-b:a", "192k"});
  args.insert(args.end(), {"-f", "mp4", "-movflags", "+faststart", "-y", cut.output});
  return args;
}

std::string commandLine(const std::string& program, const std::vector<std::string>& args) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about the
  // inlined copy in "\"" + a.
  std::string line;
  auto add = [&line](const std::string& a) {
    if (!line.empty()) line += ' ';
    const bool quote = a.empty() || a.find_first_of(" \t\"") != std::string::npos;
    if (quote) line += '"';
    line += a;
    if (quote) line += '"';
  };
  add(program);
  for (const std::string& a : args) add(a);
  return line;
}

}  // namespace ks
