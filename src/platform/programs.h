// Other programs the recorder runs, the user's ffmpeg above all: starting
// one by its full path, named pipes that it opens and reads, its output, its
// end. Every wait here has a bound, and a pipe that the program stops
// reading can be cancelled from another thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ks {

enum class PipeResult {
  Done,       // connected; every byte written
  Broken,     // the program closed its end or ended
  TimedOut,   // nothing moved for as long as the call allowed
  Cancelled,  // cancel() was called
};

// A pipe that another program opens by name, and reads (createPipe) or
// writes (createReadPipe). One thread uses it; cancel() may come from any
// thread.
class ProgramPipe {
 public:
  virtual ~ProgramPipe() = default;

  // What the program opens: a path, "\\.\pipe\NAME" on Windows. Nobody else
  // can connect to it first.
  virtual const std::string& path() const = 0;
  // Waits up to `seconds` for the program to open the pipe.
  [[nodiscard]] virtual PipeResult connect(double seconds) = 0;
  // Writes every byte of `data`, waiting while the program does not read,
  // but no longer than `seconds` without one byte moving.
  [[nodiscard]] virtual PipeResult write(const void* data, std::size_t size, double seconds) = 0;
  // Fills `data` with the next `size` bytes the program wrote, waiting while
  // it writes nothing, but no longer than `seconds` without one byte moving;
  // `got` says how many came. Broken once the program closed its end (or
  // ended) before `size` bytes came, and for a pipe that the program reads.
  [[nodiscard]] virtual PipeResult read(void* data, std::size_t size, double seconds, std::size_t& got) = 0;
  // Closes our end: the program reads to the end of what was written.
  virtual void close() = 0;
  // A connect or write that waits returns Cancelled at once, and every
  // later one too.
  virtual void cancel() = 0;
};

// A program that was started. Destroying it ends the program if it still
// runs, and waits for it.
class RunningProgram {
 public:
  // How much of its output is kept, from the start; the last lines are
  // kept besides, whatever the length.
  static constexpr std::size_t kOutputLimit = 1 << 20;
  static constexpr std::size_t kLastLines = 12;

  virtual ~RunningProgram() = default;

  // Its exit code once it has ended, waiting up to `seconds` for that;
  // nothing while it still runs.
  virtual std::optional<int> wait(double seconds) = 0;
  // Ends it at once (it may take a moment to go: wait() tells).
  virtual void kill() = 0;
  // What it wrote to its output and error output, mixed as it came, up to
  // kOutputLimit bytes.
  virtual std::string output() const = 0;
  // The last kLastLines lines of that, the newest last, without line ends.
  virtual std::vector<std::string> lastLines() const = 0;
};

class Programs {
 public:
  virtual ~Programs() = default;

  // A new pipe for the next program to open; null, with the reason in
  // `error`, when the system gives none.
  [[nodiscard]] virtual std::unique_ptr<ProgramPipe> createPipe(std::string& error) = 0;
  // The same for a pipe that the program writes, and we read.
  [[nodiscard]] virtual std::unique_ptr<ProgramPipe> createReadPipe(std::string& error) = 0;
  // Starts the program at the full path `program` with `args`, never looking
  // it up elsewhere. Its standard input is empty, its output and error
  // output are kept, it shows no console window, and it ends when this
  // process ends at the latest. Null, with the reason in `error`, when it
  // cannot be started.
  [[nodiscard]] virtual std::unique_ptr<RunningProgram> start(const std::string& program,
                                                              const std::vector<std::string>& args,
                                                              std::string& error) = 0;

  // The folders of the PATH environment variable, in order, empty ones
  // left out.
  virtual std::vector<std::string> searchPath() const = 0;
  // The folder of this program's own executable.
  virtual std::string ownFolder() const = 0;
  // The full path of the executable `name` ("ffmpeg") would have in
  // `folder`: "C:\Tools\ffmpeg.exe" on Windows.
  virtual std::string executableIn(const std::string& folder, const std::string& name) const = 0;
  // True when an ordinary file is at `path`.
  virtual bool isFile(const std::string& path) const = 0;
  // The room left on the disk that holds `path` (a file, or the folder of
  // one that does not exist yet), in bytes; nothing when it cannot be told.
  virtual std::optional<std::uint64_t> freeBytes(const std::string& path) const = 0;
};

// What a program that was run to its end did.
struct ProgramRun {
  bool started = false;
  std::string error;            // why it could not be started
  std::optional<int> exitCode;  // none when it ran out of time and was ended
  std::string output;
  std::vector<std::string> lastLines;
};

// Runs `program` to its end, for no longer than `seconds`; one that takes
// longer is ended.
ProgramRun runProgram(Programs& programs, const std::string& program, const std::vector<std::string>& args,
                      double seconds);

}  // namespace ks
