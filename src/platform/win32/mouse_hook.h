// The mouse watch on Windows: a low-level mouse hook (WH_MOUSE_LL) on a
// thread of its own, installed by start() and removed by stop().
#pragma once

#include <memory>

#include "platform/mouse_watch.h"

namespace ks {

std::unique_ptr<MouseWatch> makeMouseHook();

}  // namespace ks
