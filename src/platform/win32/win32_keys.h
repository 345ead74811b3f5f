// The forms' key codes and the system's virtual keys.
#pragma once

#include <optional>

#include "platform/win32/win32_native.h"

namespace ks::win32 {

// The form's code of a virtual key, or nothing for a key the forms do not
// see.
std::optional<int> formKey(WPARAM virtualKey);
// The virtual key of a form's code; 0 for none.
UINT virtualKeyOf(int formKey);

}  // namespace ks::win32
