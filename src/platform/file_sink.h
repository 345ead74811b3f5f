// A seekable byte sink: what the movie writer needs from a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace ks {

struct ConstBuffer {
  const void* data = nullptr;
  std::size_t size = 0;
};

// Why a write into a file failed, as the system said it.
enum class WriteCause {
  None,
  DiskFull,   // no room left on the disk
  Gone,       // the drive or network share is not there any more
  Denied,     // writing was refused: rights, write protection, a lock
  TooLarge,   // the file reached the largest size the disk holds
  WrongSize,  // the writer's own check: a picture of another size than the movie's
  Other,
};
struct WriteFault {
  WriteCause cause = WriteCause::None;
  long code = 0;  // the system's error number; 0 when there is none
};
// The cause of a Windows error code (winerror.h's numbers), and of a POSIX
// errno value.
WriteCause windowsWriteCause(long code);
WriteCause posixWriteCause(int error);

class FileSink {
 public:
  virtual ~FileSink() = default;

  // The first failure's cause, kept while the sink lives (sticky): later
  // calls that fail because of it do not hide it.
  WriteFault fault() const { return fault_; }

  // Writes the parts back to back at the current position and advances it.
  // On failure some of the bytes may have been written; the position is then
  // unspecified until the next seek.
  [[nodiscard]] virtual bool write(std::span<const ConstBuffer> parts) = 0;
  [[nodiscard]] bool write(const void* data, std::size_t size) {
    const ConstBuffer part{data, size};
    return write(std::span<const ConstBuffer>(&part, 1));
  }
  [[nodiscard]] virtual bool seek(std::uint64_t offset) = 0;
  virtual std::uint64_t tell() const = 0;
  // Cuts the file to `size` bytes (never grows it), giving back the space.
  [[nodiscard]] virtual bool truncate(std::uint64_t size) = 0;
  // Hands staged bytes to the operating system.
  [[nodiscard]] virtual bool flush() = 0;
  // Makes everything written so far durable on the storage device.
  [[nodiscard]] virtual bool sync() = 0;
  [[nodiscard]] virtual bool close() = 0;

 protected:
  // Keeps `fault` unless one is kept already; false, for the failing call
  // to return.
  bool failed(WriteFault fault) {
    if (fault_.cause == WriteCause::None) fault_ = fault;
    return false;
  }

 private:
  WriteFault fault_;
};

// Why a file could not be created.
enum class FileProblem {
  None,
  NoFolder,      // its folder does not exist (any more)
  IsFolder,      // a folder has the file's name
  AccessDenied,  // no right to write there, or a medium that is read-only
  InUse,         // another program holds the file
  DiskFull,
  Other,
};

// Creates the file at a UTF-8 path, replacing an existing one. Null when the
// file cannot be created, with the reason in `problem`. Each backend with a
// disk (POSIX, Win32) defines it.
std::unique_ptr<FileSink> openFileSink(const std::string& utf8Path, FileProblem& problem);
inline std::unique_ptr<FileSink> openFileSink(const std::string& utf8Path) {
  FileProblem ignored = FileProblem::None;
  return openFileSink(utf8Path, ignored);
}

}  // namespace ks
