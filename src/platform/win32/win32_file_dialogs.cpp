// The system's Open dialog, modal to all of the program's windows.
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

std::optional<std::string> Win32WindowSystem::chooseFileToOpen(const OpenFileRequest& request) {
  // "Programs\0*.exe\0All files\0*.*\0\0"
  std::wstring filter = toWideShown(request.filterName);
  filter.push_back(L'\0');
  filter += toWideShown(request.patterns);
  filter.push_back(L'\0');
  filter += L"All files";
  filter.push_back(L'\0');
  filter += L"*.*";
  filter.push_back(L'\0');
  const std::wstring title = toWideShown(request.title);
  const std::wstring folder = toWide(request.folder).value_or(std::wstring());
  std::wstring file(32768, L'\0');

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  HWND active = GetActiveWindow();
  ofn.hwndOwner = windowOf(active) ? active : nullptr;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              OFN_DONTADDTORECENT | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  ofn.lpfnHook = onTop;
  const std::vector<HWND> disabled = disableOurWindowsBut(ofn.hwndOwner);
  const BOOL chosen = GetOpenFileNameW(&ofn);
  enableAgain(disabled);
  if (!chosen) return std::nullopt;
  return fromWide(file.c_str());
}

}  // namespace ks::win32
