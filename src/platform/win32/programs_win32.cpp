#include "platform/win32/programs_win32.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/path_rules.h"
#include "platform/program_output.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

// After <windows.h>, which the handles bring: RtlGenRandom.
#include <ntsecapi.h>

namespace ks {
namespace {

using win32::UniqueKernelHandle;

// What one overlapped write hands the pipe; the time limit of a write runs
// anew after each.
constexpr std::size_t kWriteChunk = 256 * 1024;
// Room in the pipe for a few chunks ahead of the reader.
constexpr DWORD kPipeBuffer = 1 << 20;
// For the program's output and error output, which carry little.
constexpr DWORD kOutputBuffer = 64 * 1024;
// How long a cancelled operation may take to end before our end of the pipe
// is closed under it, which ends it for certain.
constexpr DWORD kSettleMs = 5000;
// What the POSIX backend reports for a killed program (128 + SIGKILL).
constexpr UINT kKilledExitCode = 137;

// A wait of `seconds` in milliseconds, never INFINITE.
DWORD milliseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<DWORD>(std::min(std::ceil(seconds * 1000.0), 4e9));
}

std::string systemError(std::string_view what, DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L'.' ||
                              message.back() == L' '))
    message.pop_back();
  return std::string(what) + ": " + win32::fromWide(message) + " (error " + std::to_string(code) + ")";
}

// A handle from a call that reports failure as INVALID_HANDLE_VALUE.
UniqueKernelHandle owned(HANDLE handle) { return UniqueKernelHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

UniqueKernelHandle manualEvent() { return UniqueKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

// "\\.\pipe\kestrascope-PID-" and 128 random bits, so that nobody can find
// the pipe to connect to it before the program does.
std::optional<std::string> newPipeName() {
  unsigned char bits[16];
  if (!RtlGenRandom(bits, sizeof bits)) return std::nullopt;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "\\\\.\\pipe\\kestrascope-" + std::to_string(GetCurrentProcessId()) + "-";
  for (const unsigned char b : bits) {
    name += kHex[b >> 4];
    name += kHex[b & 15];
  }
  return name;
}

// Security attributes whose DACL lets in the user this process runs as, and
// nobody else.
class CurrentUserOnly {
 public:
  bool make(std::string& error) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      error = systemError("OpenProcessToken", GetLastError());
      return false;
    }
    const UniqueKernelHandle owner(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size)) {
      error = systemError("GetTokenInformation", GetLastError());
      return false;
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
      error = systemError("the pipe's security descriptor", GetLastError());
      return false;
    }
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return true;
  }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<unsigned char> user_;  // TOKEN_USER
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// One operation at a time runs on the pipe, on io_; every one has ended,
// cancelled if need be, before the call that began it returns, so the
// system never writes to io_ or reads the caller's bytes afterwards.
class Win32Pipe final : public ProgramPipe {
 public:
  Win32Pipe(std::string path, bool inbound, UniqueKernelHandle pipe, UniqueKernelHandle ioDone,
            UniqueKernelHandle cancelled)
      : path_(std::move(path)),
        inbound_(inbound),
        pipe_(std::move(pipe)),
        ioDone_(std::move(ioDone)),
        cancelled_(std::move(cancelled)) {}

  const std::string& path() const override { return path_; }

  PipeResult connect(double seconds) override {
    if (cancelled()) return PipeResult::Cancelled;
    if (!pipe_) return PipeResult::Broken;
    begin();
    if (ConnectNamedPipe(pipe_.get(), &io_)) return PipeResult::Done;
    const DWORD error = GetLastError();
    // It opened the pipe before we asked.
    if (error == ERROR_PIPE_CONNECTED) return PipeResult::Done;
    if (error != ERROR_IO_PENDING) return PipeResult::Broken;
    DWORD ignored = 0;
    return finish(milliseconds(seconds), ignored);
  }

  PipeResult write(const void* data, std::size_t size, double seconds) override {
    if (inbound_) return PipeResult::Broken;
    const auto* bytes = static_cast<const char*>(data);
    do {
      if (cancelled()) return PipeResult::Cancelled;
      if (!pipe_) return PipeResult::Broken;
      if (size == 0) break;
      const auto chunk = static_cast<DWORD>(std::min(size, kWriteChunk));
      DWORD written = 0;
      begin();
      if (WriteFile(pipe_.get(), bytes, chunk, nullptr, &io_)) {
        if (!GetOverlappedResult(pipe_.get(), &io_, &written, FALSE)) return PipeResult::Broken;
      } else {
        // ERROR_NO_DATA, ERROR_BROKEN_PIPE, ERROR_PIPE_NOT_CONNECTED: the
        // program closed its end or ended; before a connect, ERROR_PIPE_LISTENING.
        if (GetLastError() != ERROR_IO_PENDING) return PipeResult::Broken;
        if (const PipeResult r = finish(milliseconds(seconds), written); r != PipeResult::Done) return r;
      }
      if (written == 0) return PipeResult::Broken;
      bytes += written;
      size -= written;
    } while (size > 0);
    return PipeResult::Done;
  }

  PipeResult read(void* data, std::size_t size, double seconds, std::size_t& got) override {
    got = 0;
    if (!inbound_) return PipeResult::Broken;
    auto* bytes = static_cast<char*>(data);
    while (got < size) {
      if (cancelled()) return PipeResult::Cancelled;
      if (!pipe_) return PipeResult::Broken;
      const auto chunk = static_cast<DWORD>(std::min(size - got, kWriteChunk));
      DWORD n = 0;
      begin();
      if (ReadFile(pipe_.get(), bytes + got, chunk, nullptr, &io_)) {
        if (!GetOverlappedResult(pipe_.get(), &io_, &n, FALSE)) return PipeResult::Broken;
      } else {
        // ERROR_BROKEN_PIPE: the program closed its end, all it wrote read.
        if (GetLastError() != ERROR_IO_PENDING) return PipeResult::Broken;
        if (const PipeResult r = finish(milliseconds(seconds), n); r != PipeResult::Done) {
          got += n;
          return r;
        }
      }
      if (n == 0) return PipeResult::Broken;
      got += n;
    }
    return PipeResult::Done;
  }

  // Written bytes stay in the pipe for the program to read; only
  // DisconnectNamedPipe would drop them.
  void close() override { pipe_.reset(); }
  void cancel() override { SetEvent(cancelled_.get()); }

 private:
  bool cancelled() const { return WaitForSingleObject(cancelled_.get(), 0) == WAIT_OBJECT_0; }

  void begin() {
    io_ = OVERLAPPED{};
    io_.hEvent = ioDone_.get();
    ResetEvent(ioDone_.get());
  }

  PipeResult finish(DWORD ms, DWORD& transferred) {
    const HANDLE events[2] = {ioDone_.get(), cancelled_.get()};
    const DWORD woke = WaitForMultipleObjects(2, events, FALSE, ms);
    if (woke == WAIT_OBJECT_0)
      return GetOverlappedResult(pipe_.get(), &io_, &transferred, FALSE) ? PipeResult::Done : PipeResult::Broken;
    CancelIoEx(pipe_.get(), &io_);
    bool finished = false;
    if (WaitForSingleObject(ioDone_.get(), kSettleMs) == WAIT_OBJECT_0) {
      finished = GetOverlappedResult(pipe_.get(), &io_, &transferred, FALSE) != 0;
    } else {
      // Closing the last handle ends every operation on it.
      pipe_.reset();
      WaitForSingleObject(ioDone_.get(), kSettleMs);
    }
    if (woke == WAIT_OBJECT_0 + 1) return PipeResult::Cancelled;
    // It may have completed while it was being cancelled.
    if (finished) return PipeResult::Done;
    return woke == WAIT_TIMEOUT ? PipeResult::TimedOut : PipeResult::Broken;
  }

  std::string path_;
  bool inbound_;  // the program writes, we read
  UniqueKernelHandle pipe_;
  UniqueKernelHandle ioDone_;
  UniqueKernelHandle cancelled_;
  OVERLAPPED io_{};
};

// What a program's output reader shares with the program. The reader thread
// holds a reference of its own, so that one left behind (see ~Win32Program)
// touches nothing freed.
struct OutputReader {
  UniqueKernelHandle pipe;  // our end of the program's output
  UniqueKernelHandle ended = manualEvent();
  std::atomic<bool> stop{false};
  ProgramOutput text{RunningProgram::kOutputLimit, RunningProgram::kLastLines};
};

DWORD WINAPI readOutput(void* parameter) {
  const std::unique_ptr<std::shared_ptr<OutputReader>> owner(static_cast<std::shared_ptr<OutputReader>*>(parameter));
  OutputReader& reader = **owner;
  char buffer[4096];
  DWORD n = 0;
  while (!reader.stop && ReadFile(reader.pipe.get(), buffer, sizeof buffer, &n, nullptr)) reader.text.add(buffer, n);
  SetEvent(reader.ended.get());
  return 0;
}

class Win32Program final : public RunningProgram {
 public:
  Win32Program(UniqueKernelHandle process, std::shared_ptr<OutputReader> reader, UniqueKernelHandle thread)
      : process_(std::move(process)), reader_(std::move(reader)), thread_(std::move(thread)) {}

  ~Win32Program() override {
    if (WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
      kill();
      WaitForSingleObject(process_.get(), 10'000);
    }
    stopReading();
  }

  std::optional<int> wait(double seconds) override {
    if (WaitForSingleObject(process_.get(), milliseconds(seconds)) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code)) return -1;
    // What it wrote just before its end is read before we answer.
    WaitForSingleObject(reader_->ended.get(), 1000);
    return static_cast<int>(code);
  }

  void kill() override { TerminateProcess(process_.get(), kKilledExitCode); }

  std::string output() const override { return reader_->text.text(); }
  std::vector<std::string> lastLines() const override { return reader_->text.lastLines(); }

 private:
  // The output ends once the program, and whatever it passed its output on
  // to, has ended. A read still blocked after that is cancelled; a thread
  // that will not stop even so is left to itself.
  void stopReading() {
    if (WaitForSingleObject(reader_->ended.get(), 2000) != WAIT_OBJECT_0) {
      reader_->stop = true;
      // Again and again: a cancel that comes between two reads misses.
      for (int k = 0; k < 40 && WaitForSingleObject(reader_->ended.get(), 50) != WAIT_OBJECT_0; ++k)
        CancelSynchronousIo(thread_.get());
    }
    WaitForSingleObject(thread_.get(), 1000);
  }

  UniqueKernelHandle process_;
  std::shared_ptr<OutputReader> reader_;
  UniqueKernelHandle thread_;
};

// One argument as CommandLineToArgvW and the C runtime split the command
// line again: quoted when it is empty or holds a blank or a quote; a quote
// escaped by a backslash, and the backslashes before a quote (the closing
// one included) doubled.
void appendQuoted(std::wstring& line, std::wstring_view arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    line += c;
    backslashes = 0;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

// The attribute list that makes a child inherit these handles and no other
// inheritable handle of this process (another thread may be starting a
// program at the same time).
class InheritOnly {
 public:
  explicit InheritOnly(std::array<HANDLE, 2> handles) : handles_(handles) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    list_ = list;
    // The list keeps a pointer to handles_, not a copy.
    ok_ = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                    sizeof(HANDLE) * handles_.size(), nullptr, nullptr) != 0;
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  ~InheritOnly() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return ok_ ? list_ : nullptr; }

 private:
  std::array<HANDLE, 2> handles_;
  std::vector<unsigned char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ok_ = false;
};

std::wstring environmentVariable(const wchar_t* name) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return {};
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // the size needed, NUL included
  }
}

}  // namespace

class Win32Programs::Job {
 public:
  Job() : handle_(CreateJobObjectW(nullptr, nullptr)) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // Closing the job, as this process's end does at the latest, ends every
    // program in it; one that crashes ends instead of waiting on an error box.
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!handle_) {
      error_ = systemError("CreateJobObjectW", GetLastError());
    } else if (!SetInformationJobObject(handle_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      error_ = systemError("SetInformationJobObject", GetLastError());
      handle_.reset();
    }
  }
  HANDLE get() const { return handle_.get(); }
  const std::string& error() const { return error_; }

 private:
  UniqueKernelHandle handle_;
  std::string error_;
};

Win32Programs::Win32Programs() : job_(std::make_unique<Job>()) {}
Win32Programs::~Win32Programs() = default;

std::unique_ptr<ProgramPipe> Win32Programs::createPipe(std::string& error) { return newPipe(false, error); }

std::unique_ptr<ProgramPipe> Win32Programs::createReadPipe(std::string& error) { return newPipe(true, error); }

std::unique_ptr<ProgramPipe> Win32Programs::newPipe(bool inbound, std::string& error) {
  const std::optional<std::string> name = newPipeName();
  if (!name) {
    error = "RtlGenRandom gave no name for a pipe";
    return nullptr;
  }
  CurrentUserOnly security;
  if (!security.make(error)) return nullptr;
  UniqueKernelHandle pipe = owned(CreateNamedPipeW(
      win32::toWide(*name)->c_str(),
      (inbound ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, inbound ? 0 : kPipeBuffer, inbound ? kPipeBuffer : 0,
      0, security.attributes()));
  if (!pipe) {
    error = systemError("CreateNamedPipeW", GetLastError());
    return nullptr;
  }
  UniqueKernelHandle ioDone = manualEvent();
  UniqueKernelHandle cancelled = manualEvent();
  if (!ioDone || !cancelled) {
    error = systemError("CreateEventW", GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32Pipe>(*name, inbound, std::move(pipe), std::move(ioDone), std::move(cancelled));
}

std::unique_ptr<RunningProgram> Win32Programs::start(const std::string& program, const std::vector<std::string>& args,
                                                     std::string& error) {
  if (!job_->get()) {
    error = job_->error();
    return nullptr;
  }
  // CreateProcessW would look a relative path up in the current folder. A
  // path holds no quote, so the program's own name needs no escapes.
  const std::size_t root = rootLength(program);
  const std::optional<std::wstring> application = win32::toWide(program);
  if (root < 3 || !isPathSeparator(program[root - 1]) || program.find('"') != std::string::npos || !application) {
    error = "not a full path: " + program;
    return nullptr;
  }
  std::wstring commandLine = L"\"" + *application + L"\"";
  for (const std::string& arg : args) {
    const std::optional<std::wstring> wide = win32::toWide(arg);
    if (!wide) {
      error = "an argument for " + program + " is not UTF-8 text";
      return nullptr;
    }
    commandLine += L' ';
    appendQuoted(commandLine, *wide);
  }

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const UniqueKernelHandle input = owned(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     &inheritable, OPEN_EXISTING, 0, nullptr));
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!input || !CreatePipe(&readEnd, &writeEnd, nullptr, kOutputBuffer)) {
    error = systemError("the program's standard handles", GetLastError());
    return nullptr;
  }
  UniqueKernelHandle outputRead(readEnd);
  UniqueKernelHandle outputWrite(writeEnd);
  const InheritOnly inherit({input.get(), outputWrite.get()});
  if (!SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) || !inherit.list()) {
    error = systemError("the handles the program inherits", GetLastError());
    return nullptr;
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input.get();
  startup.StartupInfo.hStdOutput = writeEnd;
  startup.StartupInfo.hStdError = writeEnd;
  startup.lpAttributeList = inherit.list();

  // Started suspended, so that it runs no instruction outside the job. On
  // Windows 7 a process already in a job that does not nest ours can only
  // join it when breaking away from that one. A console program gets no
  // console at all, so none shows, and none has to be made for it (a
  // hidden one is a process of its own).
  UniqueKernelHandle process;
  UniqueKernelHandle thread;
  for (const DWORD breakaway : {DWORD{0}, DWORD{CREATE_BREAKAWAY_FROM_JOB}}) {
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application->c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        DETACHED_PROCESS | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT | breakaway, nullptr,
                        nullptr, &startup.StartupInfo, &info)) {
      error = systemError(program, GetLastError());
      return nullptr;
    }
    process.reset(info.hProcess);
    thread.reset(info.hThread);
    if (AssignProcessToJobObject(job_->get(), process.get())) break;
    const DWORD code = GetLastError();
    TerminateProcess(process.get(), kKilledExitCode);
    WaitForSingleObject(process.get(), kSettleMs);
    if (code != ERROR_ACCESS_DENIED || breakaway != 0) {
      error = systemError("AssignProcessToJobObject", code);
      return nullptr;
    }
  }
  // Our copy goes, so that the output ends with the program.
  outputWrite.reset();

  auto reader = std::make_shared<OutputReader>();
  reader->pipe = std::move(outputRead);
  auto parameter = std::make_unique<std::shared_ptr<OutputReader>>(reader);
  UniqueKernelHandle readerThread(reader->ended ? CreateThread(nullptr, 0, readOutput, parameter.get(), 0, nullptr)
                                                : nullptr);
  if (!readerThread) {
    error = systemError("the reader of " + program + "'s output", GetLastError());
    TerminateProcess(process.get(), kKilledExitCode);
    return nullptr;
  }
  parameter.release();
  auto running = std::make_unique<Win32Program>(std::move(process), std::move(reader), std::move(readerThread));
  // Should it not run, destroying `running` ends it and its reader.
  if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    error = systemError("starting " + program, GetLastError());
    return nullptr;
  }
  return running;
}

std::vector<std::string> Win32Programs::searchPath() const {
  // A folder may be quoted, and then hold a ';'.
  const std::string path = win32::fromWide(environmentVariable(L"PATH")) + ';';
  std::vector<std::string> folders;
  std::string folder;
  bool quoted = false;
  for (const char c : path) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      if (!folder.empty()) folders.push_back(folder);
      folder.clear();
    } else {
      folder += c;
    }
  }
  return folders;
}

std::string Win32Programs::ownFolder() const {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) return ".";
    if (n < self.size()) {
      self.resize(n);
      return parentFolder(win32::fromWide(self));
    }
    self.resize(self.size() * 2);
  }
}

std::string Win32Programs::executableIn(const std::string& folder, const std::string& name) const {
  return joinPath(folder, name + ".exe");
}

bool Win32Programs::isFile(const std::string& path) const {
  const std::optional<std::wstring> wide = win32::toWide(path);
  if (!wide) return false;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::uint64_t> Win32Programs::freeBytes(const std::string& path) const {
  const std::optional<std::wstring> wide = win32::toWide(path);
  if (!wide) return std::nullopt;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string where = folder ? path : parentFolder(path);
  // A bare name is in the current folder.
  const std::optional<std::wstring> wideWhere = win32::toWide(withTrailingBackslash(where));
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(where.empty() ? nullptr : wideWhere->c_str(), &available, nullptr, nullptr))
    return std::nullopt;
  return available.QuadPart;
}

}  // namespace ks
