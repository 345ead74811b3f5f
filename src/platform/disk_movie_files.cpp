#include "platform/movie_files.h"

#include <filesystem>
#include <system_error>

namespace ks {

std::unique_ptr<FileSink> DiskMovieFiles::create(const std::string& path, FileProblem& problem) {
  return openFileSink(path, problem);
}

bool DiskMovieFiles::remove(const std::string& path) {
  std::error_code error;
  const std::u8string u8(path.begin(), path.end());
  return std::filesystem::remove(std::filesystem::path(u8), error);
}

}  // namespace ks
