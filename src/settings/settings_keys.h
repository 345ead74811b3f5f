// Where the program keeps its settings in the per-user store.
#pragma once

namespace ks {

inline constexpr const char* kAppName = "QVkestrascope";
inline constexpr const char* kSection = "Movie";

}  // namespace ks
