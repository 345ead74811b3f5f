// Message boxes, modal to all of the program's windows.
#include "platform/win32/win32_window.h"

#include "platform/win32/wide_text.h"

namespace ks::win32 {

MsgButton Win32WindowSystem::messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) {
  const UINT defaultFlag = defaultButton == MsgButton::Yes  ? MB_DEFBUTTON1
                           : defaultButton == MsgButton::No ? MB_DEFBUTTON2
                                                            : MB_DEFBUTTON3;
  const int answer = showMessageBox(text, MB_YESNOCANCEL | defaultFlag);
  if (answer == IDYES) return MsgButton::Yes;
  if (answer == IDNO) return MsgButton::No;
  return MsgButton::Cancel;
}

void Win32WindowSystem::messageBoxWarning(const std::string& text) {
  showMessageBox(text, MB_OK | MB_ICONWARNING);
}

void Win32WindowSystem::messageBoxInformation(const std::string& text) {
  showMessageBox(text, MB_OK | MB_ICONINFORMATION);
}

// A box modal to all of the program's windows. Its owner is the window the
// user was working in, so that answering it activates that window again and
// the keyboard focus returns there: a box without an owner hands the
// activation to whatever window comes next, often another program's, as our
// own are still disabled when it goes. MessageBox disables the owner; the
// other windows are disabled here for as long as the box is up.
int Win32WindowSystem::showMessageBox(const std::string& text, UINT type) {
  HWND active = GetActiveWindow();
  const HWND owner = windowOf(active) ? active : nullptr;
  const std::vector<HWND> disabled = disableOurWindowsBut(owner);
  const int answer = MessageBoxW(owner, toWideShown(text).c_str(), options_.appTitle.c_str(),
                                 type | MB_TASKMODAL | MB_TOPMOST);
  enableAgain(disabled);
  return answer;
}

}  // namespace ks::win32
