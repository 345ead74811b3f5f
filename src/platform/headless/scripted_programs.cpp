#include "platform/headless/scripted_programs.h"

#include <algorithm>
#include <sstream>

#include "base/path_rules.h"

namespace ks {

namespace {

// A program that has ended already, with its answer.
class EndedProgram final : public RunningProgram {
 public:
  explicit EndedProgram(ScriptedPrograms::Answer answer) : answer_(std::move(answer)) {}
  std::optional<int> wait(double) override { return answer_.exitCode; }
  void kill() override {}
  std::string output() const override { return answer_.output; }
  std::vector<std::string> lastLines() const override {
    std::vector<std::string> lines;
    std::istringstream in(answer_.output);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    if (lines.size() > kLastLines) lines.erase(lines.begin(), lines.end() - kLastLines);
    return lines;
  }

 private:
  ScriptedPrograms::Answer answer_;
};

bool hasArg(const std::vector<std::string>& args, const std::string& arg) {
  return std::find(args.begin(), args.end(), arg) != args.end();
}

}  // namespace

ScriptedPrograms::Script ScriptedPrograms::ffmpeg(const std::string& version, const std::string& avformat,
                                                  const std::string& avcodec, std::vector<std::string> encoders,
                                                  std::vector<std::string> working) {
  return [=](const std::vector<std::string>& args) -> Answer {
    if (hasArg(args, "-version"))
      return {0, "ffmpeg version " + version + " Copyright (c) the FFmpeg developers\nlibavcodec     " + avcodec +
                     ".100 / " + avcodec + ".100\nlibavformat    " + avformat + ".100 / " + avformat + ".100\n"};
    if (hasArg(args, "-encoders")) {
      std::string list = "Encoders:\n V..... = Video\n ------\n";
      for (const std::string& e : encoders) list += " V....D " + e + "  an encoder (codec h264)\n";
      return {0, list};
    }
    const auto c = std::find(args.begin(), args.end(), "-c:v");
    if (c != args.end() && c + 1 != args.end() && hasArg(args, "null")) {
      if (std::find(working.begin(), working.end(), *(c + 1)) != working.end()) return {0, ""};
      return {1, "Error while opening encoder for output stream #0:0\n"};
    }
    return {1, "Unrecognized option\n"};
  };
}

std::unique_ptr<ProgramPipe> ScriptedPrograms::createPipe(std::string& error) {
  error = "there are no pipes in memory";
  return nullptr;
}

std::unique_ptr<RunningProgram> ScriptedPrograms::start(const std::string& program,
                                                         const std::vector<std::string>& args, std::string& error) {
  std::vector<std::string> run{program};
  run.insert(run.end(), args.begin(), args.end());
  runs.push_back(std::move(run));
  const auto found = programs.find(program);
  if (found == programs.end()) {
    error = "no program at " + program;
    return nullptr;
  }
  return std::make_unique<EndedProgram>(found->second(args));
}

std::string ScriptedPrograms::executableIn(const std::string& folder, const std::string& name) const {
  return joinPath(folder, name + ".exe");
}

bool ScriptedPrograms::isFile(const std::string& path) const { return programs.count(path) > 0; }

}  // namespace ks
