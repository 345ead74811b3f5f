#include <random>

#include "base/path_rules.h"
#include "platform/store_fs_backend.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_handles.h"

namespace ks {
namespace {

struct FindDeleter {
  void operator()(HANDLE find) const { FindClose(find); }
};
struct FileDeleter {
  void operator()(HANDLE file) const { CloseHandle(file); }
};

// The "\\?\" form, so that the helpers reach past MAX_PATH on their own.
std::wstring longForm(const std::string& path) { return L"\\\\?\\" + win32::toWide(path).value_or(L""); }

void removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  const HANDLE found = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (found != INVALID_HANDLE_VALUE) {
    const win32::UniqueHandle<HANDLE, FindDeleter> find(found);
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find.get(), &data));
  }
  RemoveDirectoryW(path.c_str());
}

class Win32Backend final : public FsBackend {
 public:
  Win32Backend() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    std::random_device random;
    base_ = joinPath(win32::fromWide(temp), "ks-store-fs-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                std::to_string(random()));
    if (!base_.empty() && base_.back() == '\\') base_.pop_back();
    makeFolder(base_);
  }
  ~Win32Backend() override { removeTree(longForm(base_)); }

  FileSystem& fs() override { return fs_; }
  std::string base() const override { return base_; }

  bool makeFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(longForm(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::string parent = parentFolder(path);
    if (!parent.empty() && parent != path && !makeFolder(parent)) return false;
    return CreateDirectoryW(longForm(path).c_str(), nullptr) != FALSE;
  }

  bool makeFile(const std::string& path, bool hidden, bool system) override {
    if (!makeFolder(parentFolder(path))) return false;
    const std::wstring wide = longForm(path);
    {
      const HANDLE created = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
      if (created == INVALID_HANDLE_VALUE) return false;
      const win32::UniqueHandle<HANDLE, FileDeleter> file(created);
      DWORD written = 0;
      if (!WriteFile(file.get(), "RIFF", 4, &written, nullptr)) return false;
    }
    const DWORD attributes =
        (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) | (system ? FILE_ATTRIBUTE_SYSTEM : 0);
    return attributes == 0 || SetFileAttributesW(wide.c_str(), attributes) != FALSE;
  }

 private:
  Win32FileSystem fs_;
  std::string base_;
};

}  // namespace

std::unique_ptr<FsBackend> makeFsBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace ks
