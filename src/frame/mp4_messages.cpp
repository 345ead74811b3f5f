#include "frame/mp4_messages.h"


namespace ks {

namespace {

// At most this many of the places looked in are listed.
constexpr std::size_t kPlacesListed = 8;

const std::string kHowToGet =
    "Get ffmpeg for Windows (ffmpeg.org lists builds; most have libx264), then put ffmpeg.exe in kestrascope's "
    "folder, or choose it with \"" + std::string(kChooseFfmpegItem) + "\" in the frame's menu (Alt+Space).";

std::string linesOf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n    " + line;
  return text;
}

std::string said(const OutputFailure& failure) {
  return failure.lastLines.empty() ? std::string() : "\n\nffmpeg said:" + linesOf(failure.lastLines);
}

std::string ffmpegName(const FfmpegProbe& probe) {
  return probe.version.name.empty() ? probe.path : probe.path + " (ffmpeg " + probe.version.name + ")";
}

std::string probeProblem(const FfmpegProbe& probe) {
  switch (probe.problem) {
    case FfmpegProblem::None:
      return {};
    case FfmpegProblem::NotFound: {
      std::string places;
      for (std::size_t k = 0; k < probe.looked.size() && k < kPlacesListed; ++k) places += "\n    " + probe.looked[k];
      if (probe.looked.size() > kPlacesListed)
        places += "\n    and " + std::to_string(probe.looked.size() - kPlacesListed) + " more folders of PATH";
      return "MP4 movies are made by ffmpeg.exe, which was not found. Looked for it at:" + places + "\n\n" +
             kHowToGet;
    }
    case FfmpegProblem::DoesNotRun:
      return probe.path + " does not work as ffmpeg: " + probe.detail + ".\n\n" + kHowToGet;
    case FfmpegProblem::TooOld:
      return ffmpegName(probe) + " is too old for MP4 movies: they need ffmpeg 4.0 or newer.\n\n" + kHowToGet;
    case FfmpegProblem::NoH264: {
      std::string tried;
      for (const std::string& e : probe.failedTrials) tried += (tried.empty() ? "" : ", ") + e;
      return ffmpegName(probe) + " has no H.264 encoder that works" +
             (tried.empty() ? std::string() : " (tried: " + tried + ")") + ".\n\n" + kHowToGet;
    }
  }
  return {};
}

std::string at(const SessionOutcome& outcome) {
  return outcome.calibrating ? "The calibration could not be completed" : "The recording stopped";
}

}  // namespace

std::string ffmpegProbeText(const FfmpegProbe& probe) {
  if (!probe.usable()) return probeProblem(probe);
  return "MP4 movies will be made by " + ffmpegName(probe) + " with its encoder " + probe.encoder + ".";
}

std::string mp4ProblemText(const SessionOutcome& outcome) {
  if (outcome.format != MovieFormat::Mp4) return {};
  const std::string movie = "\n\n    " + outcome.path + "\n\n";
  const OutputFailure& f = outcome.outputFailure;
  const bool nothing = outcome.frames == 0 || outcome.calibrating;
  switch (outcome.end) {
    case RunEnd::EncoderUnavailable:
      return "The movie could not be recorded:" + movie + probeProblem(outcome.ffmpeg) + "\n\nNothing was recorded.";
    case RunEnd::OutputFailed:
      if (nothing && !outcome.calibrating)
        return "ffmpeg could not start the movie:" + movie + f.detail + "." + said(f) +
               "\n\nNothing was recorded. Choose another folder, or another ffmpeg with \"" + kChooseFfmpegItem +
               "\" in the frame's menu, and record again.";
      if (f.kind == OutputFailure::Kind::DiskFull)
        return at(outcome) + ": the disk is full." + movie +
               (nothing ? "Nothing was recorded." : "The movie plays up to shortly before the disk filled.") +
               " Make room on the disk, or choose another folder, and record again.";
      return at(outcome) + ": ffmpeg stopped making the movie." + movie + f.detail + "." + said(f) +
             (nothing ? "\n\nNothing was recorded." : "\n\nThe movie plays up to shortly before that.");
    case RunEnd::CloseFailed:
      if (f.kind == OutputFailure::Kind::NotFinished) {
        std::string fix = outcome.path;
        if (fix.size() >= 4 && fix.compare(fix.size() - 4, 4, ".mp4") == 0) fix.resize(fix.size() - 4);
        fix += "-finished.mp4";
        return "The movie is saved and plays, but it could not be made into an ordinary MP4 (" + f.detail + "):" +
               movie +
               "It is kept as it was recorded, in fragments: browsers and most players play it, some editors do "
               "not." + said(f) + "\n\nTo make an ordinary MP4 of it" +
               (f.detail == "the disk is full" ? ", make room on the disk, then" : ",") + " run:\n    " +
               commandLine(outcome.ffmpeg.path,
                           {"-i", outcome.path, "-map", "0", "-c", "copy", "-movflags", "+faststart", fix});
      }
      return "ffmpeg did not end the movie well:" + movie + f.detail + "." + said(f) +
             "\n\nThe movie plays up to its last part that ffmpeg saved.";
    default:
      return {};
  }
}

}  // namespace ks
