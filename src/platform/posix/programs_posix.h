// Programs and pipes on POSIX: fork and exec, FIFOs in a private folder.
// The native tests run Debian's ffmpeg through it.
#pragma once

#include "platform/programs.h"

namespace ks {

class PosixPrograms final : public Programs {
 public:
  // A reader that went away makes writes fail instead of raising SIGPIPE,
  // which is ignored from here on in the whole process.
  PosixPrograms();

  std::unique_ptr<ProgramPipe> createPipe(std::string& error) override;
  std::unique_ptr<ProgramPipe> createReadPipe(std::string& error) override;
  std::unique_ptr<RunningProgram> start(const std::string& program, const std::vector<std::string>& args,
                                        std::string& error) override;
  std::vector<std::string> searchPath() const override;
  std::string ownFolder() const override;
  std::string executableIn(const std::string& folder, const std::string& name) const override;
  bool isFile(const std::string& path) const override;
  std::optional<std::uint64_t> freeBytes(const std::string& path) const override;

 private:
  std::unique_ptr<ProgramPipe> newPipe(bool inbound, std::string& error);
};

}  // namespace ks
