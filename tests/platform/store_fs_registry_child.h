// The second process of the registry restart test: the same test program,
// started with a flag, reads what the first one stored and stores a reply.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ks {

struct StoredSetting {
  const char* key;
  std::string value;
};

// The program's five keys with values that exercise the text conversion.
const std::vector<StoredSetting>& storedSettings();

// Where the program keeps its settings: the tests store under the same
// application and section.
inline constexpr const char* kAppName = "QVkestrascope";
inline constexpr const char* kSection = "Movie";

inline constexpr const char* kRegistryChildFlag = "--registry-child";
// What the child stores as "fps"; differs from the value in storedSettings().
inline constexpr const char* kRegistryChildReply = "60";

// The child's exit code when the command line holds
// kRegistryChildFlag=<scratch root>; nothing otherwise.
std::optional<int> runRegistryChild(int argc, char** argv);

}  // namespace ks
