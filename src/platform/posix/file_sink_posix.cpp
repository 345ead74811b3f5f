// File sink over POSIX descriptors: one positional gather write per call, no
// user-space buffer, so a written frame is in the kernel when write returns.
#include "platform/file_sink.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "base/unique_descriptor.h"

namespace ks {
namespace {

struct CloseDescriptor {
  int operator()(int fd) const { return ::close(fd); }
};
using Descriptor = UniqueDescriptor<CloseDescriptor>;

class PosixFileSink final : public FileSink {
 public:
  explicit PosixFileSink(Descriptor fd) : fd_(std::move(fd)) {}

  bool write(std::span<const ConstBuffer> parts) override {
    if (fd_.get() < 0) return false;
    iov_.clear();
    for (const ConstBuffer& p : parts) {
      if (p.size > 0) iov_.push_back(iovec{const_cast<void*>(p.data), p.size});
    }
    std::size_t first = 0;
    while (first < iov_.size()) {
      const int count = static_cast<int>(std::min<std::size_t>(iov_.size() - first, IOV_MAX));
      const ssize_t n = ::pwritev(fd_.get(), &iov_[first], count, static_cast<off_t>(pos_));
      if (n < 0) {
        if (errno == EINTR) continue;
        return systemFailed();
      }
      if (n == 0) return failed({WriteCause::Other, 0});
      pos_ += static_cast<std::uint64_t>(n);
      // Step past what a short write took and go on with the rest.
      auto left = static_cast<std::size_t>(n);
      while (first < iov_.size() && left >= iov_[first].iov_len) {
        left -= iov_[first].iov_len;
        ++first;
      }
      if (left > 0) {
        iov_[first].iov_base = static_cast<char*>(iov_[first].iov_base) + left;
        iov_[first].iov_len -= left;
      }
    }
    return true;
  }

  bool seek(std::uint64_t offset) override {
    pos_ = offset;
    return fd_.get() >= 0;
  }
  std::uint64_t tell() const override { return pos_; }

  bool truncate(std::uint64_t size) override {
    while (fd_.get() >= 0) {
      if (::ftruncate(fd_.get(), static_cast<off_t>(size)) == 0) return true;
      if (errno != EINTR) return systemFailed();
    }
    return false;
  }

  bool flush() override { return fd_.get() >= 0; }

  bool sync() override { return fd_.get() >= 0 && (::fdatasync(fd_.get()) == 0 || systemFailed()); }

  bool close() override { return fd_.reset(); }

 private:
  bool systemFailed() { return failed({posixWriteCause(errno), errno}); }

  Descriptor fd_;
  std::uint64_t pos_ = 0;
  std::vector<iovec> iov_;
};

FileProblem problemOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileProblem::NoFolder;
    case EISDIR:
      return FileProblem::IsFolder;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileProblem::AccessDenied;
    case ETXTBSY:
      return FileProblem::InUse;
    case ENOSPC:
    case EDQUOT:
      return FileProblem::DiskFull;
    default:
      return FileProblem::Other;
  }
}

}  // namespace

std::unique_ptr<FileSink> openFileSink(const std::string& utf8Path, FileProblem& problem) {
  int fd;
  do {
    fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    problem = problemOf(errno);
    return nullptr;
  }
  problem = FileProblem::None;
  return std::make_unique<PosixFileSink>(Descriptor(fd));
}

}  // namespace ks
