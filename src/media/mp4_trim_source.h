// An MP4 opened for trimming. Its index is read by us; its pictures are
// decoded, and the trimmed movie coded, by the user's ffmpeg.
#pragma once

#include <memory>
#include <string>

#include "media/ffmpeg_command.h"
#include "media/mp4_index.h"
#include "media/trim_source.h"
#include "platform/programs.h"

namespace ks {

// The ffmpeg to run, as the probe found it.
struct FfmpegTool {
  Programs* programs = nullptr;
  std::string path;
  FfmpegVersion version;
  std::string encoder = kSoftwareEncoder;
};

// How long ffmpeg may give nothing, neither a picture nor progress, before
// it is taken for stuck.
inline constexpr double kFfmpegSilenceSeconds = 20;

std::unique_ptr<TrimSource> openMp4TrimSource(const std::string& path, Mp4Index index, FfmpegTool ffmpeg);

}  // namespace ks
