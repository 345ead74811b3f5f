#include "platform/movie_files.h"

#include <filesystem>
#include <system_error>

namespace ks {

std::unique_ptr<FileSink> DiskMovieFiles::create(const std::string& path, FileProblem& problem) {
  return openFileSink(path, problem);
}

namespace {

std::filesystem::path pathOf(const std::string& utf8) { return std::u8string(utf8.begin(), utf8.end()); }

}  // namespace

bool DiskMovieFiles::remove(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(pathOf(path), error);
}

bool DiskMovieFiles::replace(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::rename(pathOf(from), pathOf(to), error);
  return !error;
}

std::optional<std::uint64_t> DiskMovieFiles::size(const std::string& path) const {
  std::error_code error;
  const std::uintmax_t n = std::filesystem::file_size(pathOf(path), error);
  if (error) return std::nullopt;
  return static_cast<std::uint64_t>(n);
}

}  // namespace ks
