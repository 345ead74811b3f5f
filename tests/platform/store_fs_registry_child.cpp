#include "platform/store_fs_registry_child.h"

#include <cstdio>

#include "platform/win32/registry_settings_store.h"

namespace ks {

const std::vector<StoredSetting>& storedSettings() {
  static const std::vector<StoredSetting> settings = {
      {"folder", "C:\\Users\\Zoë\\Vidéos\\映画 😀"},
      {"fps", "15"},
      {"UserSetting", "True"},
      {"SysSetting", "False"},
      {"Path", "D:\\Movies\\Überraschung"},
  };
  return settings;
}

std::optional<int> runRegistryChild(int argc, char** argv) {
  const std::string flag = std::string(kRegistryChildFlag) + "=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(flag, 0) != 0) continue;
    const std::string root = arg.substr(flag.size());  // ASCII: made by the test
    RegistrySettingsStore store(std::wstring(root.begin(), root.end()));
    int failures = 0;
    for (const StoredSetting& s : storedSettings()) {
      const std::optional<std::string> got = store.read(kAppName, kSection, s.key);
      const bool same = got == s.value;
      std::printf("%s: %s [%s]\n", s.key, same ? "same" : "DIFFERENT", got ? got->c_str() : "(absent)");
      if (!same) ++failures;
    }
    if (!store.write(kAppName, kSection, "fps", kRegistryChildReply)) {
      std::printf("the reply was refused\n");
      ++failures;
    }
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
  }
  return std::nullopt;
}

}  // namespace ks
