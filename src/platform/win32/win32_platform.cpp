#include "platform/win32/win32_platform.h"

#include "platform/win32/gdi_grabber.h"
#include "platform/win32/gdi_text_painter.h"
#include "platform/win32/input_hooks.h"

namespace ks {

Win32Platform::Win32Platform(const Win32Options& options, SettingsStore* settings)
    : windows_(makeWin32WindowSystem(options)), settings_(settings ? *settings : registry_), grabber_(makeGdiGrabber()),
      mouse_(makeMouseHook()), keys_(makeKeyboardHook()), text_(makeGdiTextPainter()) {}

Platform Win32Platform::platform() {
  return Platform{*windows_, settings_, files_, clock_, *grabber_, shell_, movies_, &audio_, mouse_.get(), &programs_,
                  keys_.get(), text_.get()};
}

}  // namespace ks
