#include "recorder/ffmpeg_probe.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/programs.h"

namespace ks {

namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// The candidates in order, each once (a folder on PATH twice, or our own).
std::vector<std::string> candidates(const Programs& programs, const std::string& storedPath) {
  std::vector<std::string> all;
  if (!storedPath.empty()) all.push_back(storedPath);
  all.push_back(programs.executableIn(programs.ownFolder(), "ffmpeg"));
  for (const std::string& folder : programs.searchPath()) all.push_back(programs.executableIn(folder, "ffmpeg"));
  std::vector<std::string> unique;
  for (std::string& c : all)
    if (std::find(unique.begin(), unique.end(), c) == unique.end()) unique.push_back(std::move(c));
  return unique;
}

// Runs every trial at once and takes the first in `trials`' order that
// passed; empty when none did.
std::string firstThatWorks(Programs& programs, const std::string& ffmpeg, const std::vector<std::string>& trials,
                           double seconds, std::vector<std::string>& failed) {
  std::vector<std::unique_ptr<RunningProgram>> running;
  for (const std::string& encoder : trials) {
    std::string error;
    running.push_back(programs.start(ffmpeg, trialArgs(encoder), error));
  }
  // One time limit for them all, since they run side by side.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::string chosen;
  for (std::size_t k = 0; k < trials.size(); ++k) {
    std::optional<int> code;
    const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    if (running[k]) code = running[k]->wait(std::max(0.0, left));
    if (code == 0 && chosen.empty()) chosen = trials[k];
    else if (code != 0) failed.push_back(trials[k]);
  }
  return chosen;
}

}  // namespace

FfmpegProbe probeFfmpeg(Programs& programs, const std::string& storedPath, double seconds) {
  FfmpegProbe probe;
  ProgramRun answer;
  for (const std::string& candidate : candidates(programs, storedPath)) {
    probe.looked.push_back(candidate);
    if (!programs.isFile(candidate)) continue;
    ProgramRun run = runProgram(programs, candidate, {"-version"}, seconds);
    if (run.exitCode == 0 && parseFfmpegVersion(run.output).known()) {
      probe.path = candidate;
      answer = std::move(run);
      break;
    }
    // The first one there that did not answer is the one to tell about.
    if (probe.problem == FfmpegProblem::NotFound) {
      probe.problem = FfmpegProblem::DoesNotRun;
      probe.path = candidate;
      probe.detail = !run.started    ? run.error
                     : run.exitCode ? "it ended with exit code " + std::to_string(*run.exitCode) +
                                          (run.lastLines.empty() ? "" : ":\n" + joined(run.lastLines))
                                    : "it did not answer within " + std::to_string(static_cast<int>(seconds)) + " s";
    }
  }
  if (!answer.started) return probe;

  probe.version = parseFfmpegVersion(answer.output);
  probe.detail.clear();
  if (!probe.version.supported()) {
    probe.problem = FfmpegProblem::TooOld;
    return probe;
  }
  const ProgramRun encoders = runProgram(programs, probe.path, {"-hide_banner", "-encoders"}, seconds);
  const EncoderPlan plan = planEncoders(encoders.exitCode == 0 ? parseH264Encoders(encoders.output)
                                                               : std::vector<std::string>{});
  probe.encoder = firstThatWorks(programs, probe.path, plan.trials, seconds, probe.failedTrials);
  if (probe.encoder.empty()) probe.encoder = plan.fallback;
  probe.problem = probe.encoder.empty() ? FfmpegProblem::NoH264 : FfmpegProblem::None;
  return probe;
}

}  // namespace ks
