#include "recorder/movie_files.h"

#include <filesystem>
#include <system_error>

namespace ks {

bool DiskMovieFiles::remove(const std::string& path) {
  std::error_code error;
  const std::u8string u8(path.begin(), path.end());
  return std::filesystem::remove(std::filesystem::path(u8), error);
}

}  // namespace ks
