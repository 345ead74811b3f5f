// Running the program's event handlers, which every window system does alike.
#pragma once

namespace ks {

// Runs `handler` with `args` unless it is empty or the program has ended
// (`ended`): no handler runs after that. A copy runs, so a handler may replace
// itself or unload the window that owns it.
template <typename Handler, typename... Args>
void fireUnlessEnded(bool ended, const Handler& handler, const Args&... args) {
  if (!handler || ended) return;
  Handler copy = handler;
  copy(args...);
}

}  // namespace ks
