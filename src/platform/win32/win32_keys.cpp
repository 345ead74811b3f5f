#include "platform/win32/win32_keys.h"

namespace ks::win32 {

namespace {

struct KeyPair {
  int form;
  UINT virtualKey;
};

constexpr KeyPair kKeys[] = {
    {kKeyTab, VK_TAB},      {kKeyEnter, VK_RETURN},  {kKeyEscape, VK_ESCAPE},  {kKeyLeft, VK_LEFT},
    {kKeyRight, VK_RIGHT},  {kKeyUp, VK_UP},         {kKeyDown, VK_DOWN},      {kKeyPageUp, VK_PRIOR},
    {kKeyPageDown, VK_NEXT}, {kKeyHome, VK_HOME},    {kKeyEnd, VK_END},
};

}  // namespace

std::optional<int> formKey(WPARAM virtualKey) {
  // The letters' virtual keys are their uppercase codes.
  if (virtualKey >= 'A' && virtualKey <= 'Z') return static_cast<int>(virtualKey);
  for (const KeyPair& pair : kKeys)
    if (pair.virtualKey == virtualKey) return pair.form;
  return std::nullopt;
}

UINT virtualKeyOf(int key) {
  if (key >= 'A' && key <= 'Z') return static_cast<UINT>(key);
  for (const KeyPair& pair : kKeys)
    if (pair.form == key) return pair.virtualKey;
  return 0;
}

}  // namespace ks::win32
