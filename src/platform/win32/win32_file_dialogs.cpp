// The system's Open and Save dialogs, modal to all of the program's windows.
#include "platform/win32/win32_window.h"

// After <windows.h>, which it needs; win32_window.h brings it with NOMINMAX,
// which the controls' std::min and std::max need.
#include <commdlg.h>

#include "platform/win32/wide_text.h"

namespace ks::win32 {

namespace {

// Our windows are topmost; the dialog must not open under them.
UINT_PTR CALLBACK onTop(HWND dialog, UINT message, WPARAM, LPARAM) {
  // With OFN_EXPLORER the hook gets a child of the dialog.
  if (message == WM_INITDIALOG)
    SetWindowPos(GetParent(dialog), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return 0;
}

}  // namespace

// What the dialog shows, kept alive while it is up.
struct FileDialog {
  FileDialog(const std::string& title, const std::string& filterName, const std::string& patterns,
             const std::string& folder, const std::string& fileName)
      : title(toWideShown(title)), folder(toWide(folder).value_or(std::wstring())),
        file(toWideShown(fileName).substr(0, kFileChars - 1)) {
    // "Programs\0*.exe\0All files\0*.*\0\0"
    for (const std::wstring& part : {toWideShown(filterName), toWideShown(patterns), std::wstring(L"All files"),
                                     std::wstring(L"*.*")}) {
      filter += part;
      filter.push_back(L'\0');
    }
    file.resize(kFileChars, L'\0');
  }
  static constexpr std::size_t kFileChars = 32768;
  std::wstring filter, title, folder, file, extension;
  DWORD flags = 0;
};

std::optional<std::string> Win32WindowSystem::showFileDialog(FileDialog& dialog, bool save) {
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  HWND active = GetActiveWindow();
  ofn.hwndOwner = windowOf(active) ? active : nullptr;
  ofn.lpstrFilter = dialog.filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = dialog.file.data();
  ofn.nMaxFile = static_cast<DWORD>(dialog.file.size());
  ofn.lpstrInitialDir = dialog.folder.empty() ? nullptr : dialog.folder.c_str();
  ofn.lpstrTitle = dialog.title.c_str();
  ofn.lpstrDefExt = dialog.extension.empty() ? nullptr : dialog.extension.c_str();
  ofn.Flags = dialog.flags | OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              OFN_DONTADDTORECENT | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  ofn.lpfnHook = onTop;
  const std::vector<HWND> disabled = disableOurWindowsBut(ofn.hwndOwner);
  const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  enableAgain(disabled);
  if (!chosen) return std::nullopt;
  return fromWide(dialog.file.c_str());
}

std::optional<std::string> Win32WindowSystem::chooseFileToOpen(const OpenFileRequest& request) {
  FileDialog dialog(request.title, request.filterName, request.patterns, request.folder, "");
  dialog.flags = OFN_FILEMUSTEXIST;
  return showFileDialog(dialog, false);
}

// Without OFN_OVERWRITEPROMPT: the program asks its own question.
std::optional<std::string> Win32WindowSystem::chooseFileToSave(const SaveFileRequest& request) {
  FileDialog dialog(request.title, request.filterName, request.patterns, request.folder, request.fileName);
  const std::string& extension = request.defaultExtension;
  dialog.extension = toWideShown(extension.starts_with('.') ? extension.substr(1) : extension);
  return showFileDialog(dialog, true);
}

}  // namespace ks::win32
