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
std::wstring longForm(const std::string& path) {
  const std::wstring wide = win32::toWide(path).value_or(L"");
  if (wide.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
  return L"\\\\?\\" + wide;
}

std::string uniqueName(const char* stem) {
  std::random_device random;
  return std::string(stem) + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(random());
}

// Wine serves "\\localhost\NAME" from the folder dosdevices\unc\localhost\NAME
// of its prefix: makes that folder's parent, and gives its Windows path.
std::string wineLocalhostFolder() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using ToUnix = char*(CDECL*)(LPCWSTR);
  using ToDos = WCHAR*(CDECL*)(LPCSTR);
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  const auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
  if (!toUnix || !toDos) return {};
  char* drive = toUnix(L"C:\\");  // ".../dosdevices/c:/"
  if (!drive) return {};
  std::string unix = drive;
  HeapFree(GetProcessHeap(), 0, drive);
  while (!unix.empty() && unix.back() == '/') unix.pop_back();
  const std::size_t cut = unix.rfind('/');
  if (cut == std::string::npos) return {};
  WCHAR* dos = toDos((unix.substr(0, cut) + "/unc/localhost").c_str());
  if (!dos) return {};
  const std::string folder = win32::fromWide(dos);
  HeapFree(GetProcessHeap(), 0, dos);
  CreateDirectoryW(win32::toWide(parentFolder(folder)).value_or(L"").c_str(), nullptr);
  CreateDirectoryW(win32::toWide(folder).value_or(L"").c_str(), nullptr);
  return folder;
}

bool underWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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
    base_ = joinPath(win32::fromWide(temp), uniqueName("ks-store-fs-"));
    if (!base_.empty() && base_.back() == '\\') base_.pop_back();
    makeFolder(base_);
    makeShareBase(win32::fromWide(temp));
  }
  ~Win32Backend() override {
    removeTree(longForm(base_));
    if (!shareOwned_.empty()) removeTree(longForm(shareOwned_));
  }

  FileSystem& fs() override { return fs_; }
  std::string base() const override { return base_; }
  std::string shareBase() const override { return shareBase_; }

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
  // Under Wine a share of our own under \\localhost; on Windows the
  // administrative share of the temporary folder's drive, where it is on.
  void makeShareBase(const std::string& temp) {
    if (underWine()) {
      if (wineLocalhostFolder().empty()) return;
      shareOwned_ = "\\\\localhost\\" + uniqueName("ks-share-");
      shareBase_ = shareOwned_ + "\\Movies";
    } else {
      const std::string drive = driveOf(temp);
      if (drive.empty()) return;
      shareOwned_ = joinPath("\\\\localhost\\" + drive.substr(0, 1) + "$" + temp.substr(2), uniqueName("ks-store-fs-share-"));
      shareBase_ = shareOwned_;
    }
    if (!makeFolder(shareBase_)) shareOwned_ = shareBase_ = {};
  }


  Win32FileSystem fs_;
  std::string base_;
  std::string shareOwned_;  // removed with all it holds
  std::string shareBase_;
};

}  // namespace

std::unique_ptr<FsBackend> makeFsBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace ks
