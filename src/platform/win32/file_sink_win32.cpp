// File sink for Windows through the C runtime's wide-character file API, so
// that any user folder name works and no Win32 header enters this folder.
#include "platform/file_sink.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <utility>

#include "base/text.h"
#include "base/unique_descriptor.h"

namespace ks {
namespace {

struct CloseCrtFile {
  int operator()(int fd) const { return ::_close(fd); }
};
using CrtFile = UniqueDescriptor<CloseCrtFile>;

class CrtFileSink final : public FileSink {
 public:
  explicit CrtFileSink(CrtFile f) : file_(std::move(f)) {}

  bool write(std::span<const ConstBuffer> parts) override {
    if (file_.get() < 0) return false;
    if (!placed_ && ::_lseeki64(file_.get(), static_cast<__int64>(pos_), SEEK_SET) < 0) return systemFailed();
    placed_ = false;  // until every byte is down
    for (const ConstBuffer& p : parts) {
      auto* data = static_cast<const char*>(p.data);
      std::size_t left = p.size;
      while (left > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(left, 1u << 30));
        const int n = ::_write(file_.get(), data, chunk);
        if (n <= 0) return systemFailed();
        data += n;
        left -= static_cast<std::size_t>(n);
        pos_ += static_cast<std::uint64_t>(n);
      }
    }
    placed_ = true;
    return true;
  }

  bool seek(std::uint64_t offset) override {
    if (offset != pos_) placed_ = false;
    pos_ = offset;
    return file_.get() >= 0;
  }
  std::uint64_t tell() const override { return pos_; }

  bool truncate(std::uint64_t size) override {
    placed_ = false;
    return file_.get() >= 0 && (::_chsize_s(file_.get(), static_cast<__int64>(size)) == 0 || systemFailed());
  }

  bool flush() override { return file_.get() >= 0; }
  bool sync() override { return file_.get() >= 0 && (::_commit(file_.get()) == 0 || systemFailed()); }
  bool close() override { return file_.reset(); }

 private:
  // The C runtime keeps the system's own code beside errno, which folds
  // several of them into one.
  bool systemFailed() {
    const auto code = static_cast<long>(_doserrno);
    if (code != 0) return failed({windowsWriteCause(code), code});
    return failed({errno == ENOSPC ? WriteCause::DiskFull : WriteCause::Other, 0});
  }

  CrtFile file_;
  std::uint64_t pos_ = 0;
  bool placed_ = true;  // the descriptor's offset equals pos_
};

// The C runtime folds several system errors into EACCES: the system's own
// error code (winerror.h's values) and the path tell them apart.
FileProblem problemOf(errno_t error, const std::wstring& path) {
  constexpr unsigned long kPathNotFound = 3, kAccessDenied = 5, kWriteProtect = 19, kSharingViolation = 32,
                          kLockViolation = 33, kHandleDiskFull = 39, kDiskFull = 112;
  // The system's own code for the failed call (msvcrt keeps it beside errno).
  const unsigned long system = _doserrno;
  if (system == kSharingViolation || system == kLockViolation) return FileProblem::InUse;
  if (system == kDiskFull || system == kHandleDiskFull || error == ENOSPC) return FileProblem::DiskFull;
  if (system == kPathNotFound || error == ENOENT) return FileProblem::NoFolder;
  struct _stat64 entry {};
  if (::_wstat64(path.c_str(), &entry) == 0 && (entry.st_mode & _S_IFDIR)) return FileProblem::IsFolder;
  if (system == kAccessDenied || system == kWriteProtect || error == EACCES) return FileProblem::AccessDenied;
  return FileProblem::Other;
}

}  // namespace

std::unique_ptr<FileSink> openFileSink(const std::string& utf8Path, FileProblem& problem) {
  const std::optional<std::u16string> wide = utf8ToUtf16(utf8Path);
  if (!wide) {
    problem = FileProblem::Other;
    return nullptr;
  }
  const std::wstring path(wide->begin(), wide->end());
  int fd = -1;
  const errno_t error = ::_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_SEQUENTIAL,
                                    _SH_DENYWR, _S_IREAD | _S_IWRITE);
  if (error != 0) {
    problem = problemOf(error, path);
    return nullptr;
  }
  problem = FileProblem::None;
  return std::make_unique<CrtFileSink>(CrtFile(fd));
}

}  // namespace ks
