#include "platform/posix/programs_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/unique_descriptor.h"
#include "platform/program_output.h"

namespace ks {
namespace {

struct CloseDescriptor {
  int operator()(int fd) const { return ::close(fd); }
};
using Descriptor = UniqueDescriptor<CloseDescriptor>;

using SteadyTime = std::chrono::steady_clock::time_point;

SteadyTime after(double seconds) {
  return std::chrono::steady_clock::now() +
         std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// Milliseconds left until `deadline`, for poll: at least 0, at most a day.
int msLeft(SteadyTime deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 86'400'000));
}

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// A pipe whose read end wakes a poll when cancel() writes to it.
class Canceller {
 public:
  Canceller() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      read_ = Descriptor(fds[0]);
      write_ = Descriptor(fds[1]);
    }
  }
  bool ok() const { return read_.get() >= 0; }
  int fd() const { return read_.get(); }
  void cancel() {
    cancelled_ = true;
    const char byte = 1;
    static_cast<void>(::write(write_.get(), &byte, 1));
  }
  bool cancelled() const { return cancelled_; }

 private:
  Descriptor read_{-1};
  Descriptor write_{-1};
  std::atomic<bool> cancelled_{false};
};

// A FIFO alone in a folder that only this user may enter.
class PosixPipe final : public ProgramPipe {
 public:
  PosixPipe(std::string folder, std::string path, bool inbound)
      : folder_(std::move(folder)), path_(std::move(path)), inbound_(inbound) {}
  ~PosixPipe() override {
    fd_.reset();
    ::unlink(path_.c_str());
    ::rmdir(folder_.c_str());
  }

  const std::string& path() const override { return path_; }

  PipeResult connect(double seconds) override {
    if (inbound_) {
      // A read end opens at once; read() waits for the program to write.
      if (cancel_.cancelled()) return PipeResult::Cancelled;
      const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) return PipeResult::Broken;
      fd_ = Descriptor(fd);
      return PipeResult::Done;
    }
    const SteadyTime deadline = after(seconds);
    for (;;) {
      if (cancel_.cancelled()) return PipeResult::Cancelled;
      // A write end opened without blocking fails until a reader is there.
      const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        fd_ = Descriptor(fd);
        return PipeResult::Done;
      }
      if (errno != ENXIO && errno != EINTR) return PipeResult::Broken;
      if (msLeft(deadline) == 0) return PipeResult::TimedOut;
      pollfd p{cancel_.fd(), POLLIN, 0};
      static_cast<void>(::poll(&p, 1, std::min(5, msLeft(deadline))));
    }
  }

  PipeResult write(const void* data, std::size_t size, double seconds) override {
    if (cancel_.cancelled()) return PipeResult::Cancelled;
    if (fd_.get() < 0 || inbound_) return PipeResult::Broken;
    const auto* bytes = static_cast<const char*>(data);
    SteadyTime deadline = after(seconds);
    while (size > 0) {
      if (cancel_.cancelled()) return PipeResult::Cancelled;
      const ssize_t n = ::write(fd_.get(), bytes, size);
      if (n > 0) {
        bytes += n;
        size -= static_cast<std::size_t>(n);
        deadline = after(seconds);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return PipeResult::Broken;
      if (msLeft(deadline) == 0) return PipeResult::TimedOut;
      pollfd p[2] = {{fd_.get(), POLLOUT, 0}, {cancel_.fd(), POLLIN, 0}};
      static_cast<void>(::poll(p, 2, msLeft(deadline)));
      if ((p[0].revents & (POLLERR | POLLHUP)) != 0) return PipeResult::Broken;
    }
    return PipeResult::Done;
  }

  PipeResult read(void* data, std::size_t size, double seconds, std::size_t& got) override {
    got = 0;
    if (cancel_.cancelled()) return PipeResult::Cancelled;
    if (fd_.get() < 0 || !inbound_) return PipeResult::Broken;
    auto* bytes = static_cast<char*>(data);
    SteadyTime deadline = after(seconds);
    bool hungUp = false;
    while (got < size) {
      if (cancel_.cancelled()) return PipeResult::Cancelled;
      const ssize_t n = ::read(fd_.get(), bytes + got, size - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        deadline = after(seconds);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return PipeResult::Broken;
      // Nothing to read: before the program opens its end, poll waits; once
      // it has closed it, poll says so and the pipe is at its end.
      if (hungUp) return PipeResult::Broken;
      if (msLeft(deadline) == 0) return PipeResult::TimedOut;
      pollfd p[2] = {{fd_.get(), POLLIN, 0}, {cancel_.fd(), POLLIN, 0}};
      static_cast<void>(::poll(p, 2, msLeft(deadline)));
      hungUp = (p[0].revents & (POLLHUP | POLLERR)) != 0 && (p[0].revents & POLLIN) == 0;
    }
    return PipeResult::Done;
  }

  void close() override { fd_.reset(); }
  void cancel() override { cancel_.cancel(); }

 private:
  std::string folder_;
  std::string path_;
  bool inbound_;  // the program writes, we read
  Descriptor fd_{-1};
  Canceller cancel_;
};

class PosixProgram final : public RunningProgram {
 public:
  PosixProgram(pid_t pid, Descriptor output) : pid_(pid), output_(std::move(output)) {
    reader_ = std::thread([this] { readOutput(); });
  }
  ~PosixProgram() override {
    if (!wait(0)) {
      kill();
      static_cast<void>(wait(10));
    }
    stop_.cancel();
    reader_.join();
  }

  std::optional<int> wait(double seconds) override {
    const SteadyTime deadline = after(seconds);
    for (;;) {
      if (const std::optional<int> code = reap()) {
        // What it wrote just before its end is read before we answer.
        const SteadyTime drained = after(1.0);
        while (!outputEnded_ && msLeft(drained) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return code;
      }
      if (msLeft(deadline) == 0) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5, msLeft(deadline))));
    }
  }

  void kill() override {
    std::lock_guard lock(mutex_);
    if (!exitCode_) ::kill(pid_, SIGKILL);
  }

  std::string output() const override { return text_.text(); }
  std::vector<std::string> lastLines() const override { return text_.lastLines(); }

 private:
  // Its exit code once it has ended; the lock keeps kill() off a reaped pid.
  std::optional<int> reap() {
    std::lock_guard lock(mutex_);
    if (exitCode_) return exitCode_;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    else if (r < 0 && errno != EINTR) exitCode_ = -1;
    return exitCode_;
  }

  void readOutput() {
    char buffer[4096];
    for (;;) {
      pollfd p[2] = {{output_.get(), POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
      if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
      if (p[1].revents != 0) break;
      if (p[0].revents == 0) continue;
      const ssize_t n = ::read(output_.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text_.add(buffer, static_cast<std::size_t>(n));
    }
    outputEnded_ = true;
  }

  pid_t pid_;
  Descriptor output_;
  ProgramOutput text_{kOutputLimit, kLastLines};
  Canceller stop_;
  std::thread reader_;
  std::atomic<bool> outputEnded_{false};
  std::mutex mutex_;
  std::optional<int> exitCode_;
};

}  // namespace

PosixPrograms::PosixPrograms() { ::signal(SIGPIPE, SIG_IGN); }

std::unique_ptr<ProgramPipe> PosixPrograms::createPipe(std::string& error) { return newPipe(false, error); }

std::unique_ptr<ProgramPipe> PosixPrograms::createReadPipe(std::string& error) { return newPipe(true, error); }

std::unique_ptr<ProgramPipe> PosixPrograms::newPipe(bool inbound, std::string& error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrascope-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    error = systemError("mkdtemp");
    return nullptr;
  }
  std::string path = folder + "/pipe";
  if (::mkfifo(path.c_str(), 0600) != 0) {
    error = systemError("mkfifo");
    ::rmdir(folder.c_str());
    return nullptr;
  }
  return std::make_unique<PosixPipe>(std::move(folder), std::move(path), inbound);
}

std::unique_ptr<RunningProgram> PosixPrograms::start(const std::string& program, const std::vector<std::string>& args,
                                                     std::string& error) {
  // execv would take a relative path from the current folder.
  if (program.empty() || program[0] != '/') {
    error = "not a full path: " + program;
    return nullptr;
  }
  if (!isFile(program)) {
    error = "no program at " + program;
    return nullptr;
  }
  int out[2], report[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    error = systemError("pipe");
    return nullptr;
  }
  Descriptor outRead(out[0]), outWrite(out[1]);
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = systemError("pipe");
    return nullptr;
  }
  Descriptor reportRead(report[0]), reportWrite(report[1]);
  // Made before the fork: the child may only call what is safe after it.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();

  const pid_t pid = ::fork();
  if (pid < 0) {
    error = systemError("fork");
    return nullptr;
  }
  if (pid == 0) {
    // It ends with us (strictly: with the thread that started it).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int nul = ::open("/dev/null", O_RDONLY);
    if (nul < 0 || ::dup2(nul, 0) < 0 || ::dup2(outWrite.get(), 1) < 0 || ::dup2(outWrite.get(), 2) < 0) {
      const int e = errno;
      static_cast<void>(::write(reportWrite.get(), &e, sizeof e));
      ::_exit(127);
    }
    ::execv(program.c_str(), argv.data());
    const int e = errno;
    static_cast<void>(::write(reportWrite.get(), &e, sizeof e));
    ::_exit(127);
  }
  outWrite.reset();
  reportWrite.reset();
  int childError = 0;
  ssize_t n;
  do {
    n = ::read(reportRead.get(), &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  if (n == sizeof childError) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    error = program + ": " + std::strerror(childError);
    return nullptr;
  }
  return std::make_unique<PosixProgram>(pid, std::move(outRead));
}

std::vector<std::string> PosixPrograms::searchPath() const {
  std::vector<std::string> folders;
  const char* path = std::getenv("PATH");
  if (!path) return folders;
  std::string all(path);
  std::size_t from = 0;
  while (from <= all.size()) {
    const std::size_t to = std::min(all.find(':', from), all.size());
    if (to > from) folders.push_back(all.substr(from, to - from));
    from = to + 1;
  }
  return folders;
}

std::string PosixPrograms::ownFolder() const {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string self(buffer, static_cast<std::size_t>(n));
  const std::size_t slash = self.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : self.substr(0, slash);
}

std::string PosixPrograms::executableIn(const std::string& folder, const std::string& name) const {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool PosixPrograms::isFile(const std::string& path) const {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

std::optional<std::uint64_t> PosixPrograms::freeBytes(const std::string& path) const {
  struct statvfs s {};
  if (::statvfs(path.c_str(), &s) != 0) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::statvfs(folder.c_str(), &s) != 0) return std::nullopt;
  }
  return static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
}

}  // namespace ks
