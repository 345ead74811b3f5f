// Programs in memory, for the forms' tests: each full path that is known
// answers its runs at once from a script, and the runs are kept. Pipes
// cannot be made, so a program that needs them fails to start its work.
// Paths follow Windows' rules.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/programs.h"

namespace ks {

class ScriptedPrograms final : public Programs {
 public:
  struct Answer {
    int exitCode = 0;
    std::string output;
  };
  using Script = std::function<Answer(const std::vector<std::string>& args)>;

  // An ffmpeg that calls itself `version` (with its libraries `avformat`,
  // `avcodec`, as "58.24"), lists `encoders` as H.264 ones and passes the
  // trials of those in `working`.
  static Script ffmpeg(const std::string& version, const std::string& avformat, const std::string& avcodec,
                       std::vector<std::string> encoders, std::vector<std::string> working);

  std::map<std::string, Script> programs;  // by full path
  std::vector<std::string> path;           // the folders of PATH
  std::string own = "C:\\Program Files\\kestrascope";
  // The path and arguments of each start, in order.
  std::vector<std::vector<std::string>> runs;

  std::unique_ptr<ProgramPipe> createPipe(std::string& error) override;
  std::unique_ptr<ProgramPipe> createReadPipe(std::string& error) override { return createPipe(error); }
  std::unique_ptr<RunningProgram> start(const std::string& program, const std::vector<std::string>& args,
                                        std::string& error) override;
  std::vector<std::string> searchPath() const override { return path; }
  std::string ownFolder() const override { return own; }
  std::string executableIn(const std::string& folder, const std::string& name) const override;
  bool isFile(const std::string& path) const override;
  std::optional<std::uint64_t> freeBytes(const std::string&) const override { return std::nullopt; }
};

}  // namespace ks
