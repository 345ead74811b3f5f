#include "platform/programs.h"

namespace ks {

ProgramRun runProgram(Programs& programs, const std::string& program, const std::vector<std::string>& args,
                      double seconds) {
  ProgramRun run;
  std::unique_ptr<RunningProgram> running = programs.start(program, args, run.error);
  if (!running) return run;
  run.started = true;
  run.exitCode = running->wait(seconds);
  if (!run.exitCode) {
    running->kill();
    static_cast<void>(running->wait(seconds));
  }
  run.output = running->output();
  run.lastLines = running->lastLines();
  return run;
}

}  // namespace ks
