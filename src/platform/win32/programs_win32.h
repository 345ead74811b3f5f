// Programs and pipes on Windows: CreateProcessW into a job object that ends
// every program with us, and named pipes that only the current user can
// open, each under a name nobody can guess.
#pragma once

#include <memory>

#include "platform/programs.h"

namespace ks {

class Win32Programs final : public Programs {
 public:
  Win32Programs();
  ~Win32Programs() override;

  std::unique_ptr<ProgramPipe> createPipe(std::string& error) override;
  std::unique_ptr<ProgramPipe> createReadPipe(std::string& error) override;
  // Only the program's standard handles are inherited. A program that
  // cannot join the job is not left running: it is ended and this fails.
  std::unique_ptr<RunningProgram> start(const std::string& program, const std::vector<std::string>& args,
                                        std::string& error) override;
  // Quotes around a folder are dropped, as the shell drops them.
  std::vector<std::string> searchPath() const override;
  std::string ownFolder() const override;
  std::string executableIn(const std::string& folder, const std::string& name) const override;
  bool isFile(const std::string& path) const override;
  std::optional<std::uint64_t> freeBytes(const std::string& path) const override;

 private:
  std::unique_ptr<ProgramPipe> newPipe(bool inbound, std::string& error);
  class Job;
  std::unique_ptr<Job> job_;
};

}  // namespace ks
