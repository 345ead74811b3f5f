// The key watch of tests: the test presses and releases keys, and the
// handler hears it at once, on the test's thread. Keys are named as a US
// layout names them.
#pragma once

#include <string>

#include "platform/headless/scripted_watch.h"
#include "platform/key_watch.h"

namespace ks {

class ScriptedKeyWatch final : public ScriptedWatch<KeyWatch> {
 public:
  std::string keyName(const KeyStroke& stroke) const override;

  void press(int key) { send(KeyStroke{key, 0, false, true}); }
  void release(int key) { send(KeyStroke{key, 0, false, false}); }
};

}  // namespace ks
