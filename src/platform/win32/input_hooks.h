// The mouse and key watches on Windows: low-level hooks (WH_MOUSE_LL,
// WH_KEYBOARD_LL), each on a thread of its own, installed by start() and
// removed by stop(), both bounded.
#pragma once

#include <memory>

#include "platform/key_watch.h"
#include "platform/mouse_watch.h"

namespace ks {

std::unique_ptr<MouseWatch> makeMouseHook();
std::unique_ptr<KeyWatch> makeKeyboardHook();

}  // namespace ks
