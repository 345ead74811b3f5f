// Finding the user's ffmpeg and what it can do: the stored path first, then
// the folder of our own program, then each folder of PATH; the first that
// answers -version is the one. Then its version, its H.264 encoders, and a
// short trial of each hardware encoder it lists, all at once, each run with
// a time limit.
#pragma once

#include <string>
#include <vector>

#include "media/ffmpeg_command.h"

namespace ks {

class Programs;

enum class FfmpegProblem {
  None,
  NotFound,    // no file at any place we looked
  DoesNotRun,  // one is there, but it does not answer -version
  TooOld,      // older than ffmpeg 4.0
  NoH264,      // no H.264 encoder, or none that works
};

struct FfmpegProbe {
  FfmpegProblem problem = FfmpegProblem::NotFound;
  std::string path;  // the program found (or the first that did not run)
  FfmpegVersion version;
  std::string encoder;                    // the H.264 encoder chosen
  std::vector<std::string> failedTrials;  // encoders that failed their trial
  std::vector<std::string> looked;        // every place we looked, in order
  std::string detail;                     // what it said when it did not run
  bool usable() const { return problem == FfmpegProblem::None; }
};

// Each run of ffmpeg may take this long.
inline constexpr double kFfmpegProbeSeconds = 15;

FfmpegProbe probeFfmpeg(Programs& programs, const std::string& storedPath, double seconds = kFfmpegProbeSeconds);

}  // namespace ks
