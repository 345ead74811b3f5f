// Where movies are created and removed, so the recorder can be run against
// memory in tests and against the disk in the program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_sink.h"

namespace ks {

class MovieFiles {
 public:
  virtual ~MovieFiles() = default;
  // Creates the file, replacing an existing one; null when it cannot, with
  // the reason in `problem`.
  virtual std::unique_ptr<FileSink> create(const std::string& path, FileProblem& problem) = 0;
  [[nodiscard]] virtual bool remove(const std::string& path) = 0;
  // Moves the file `from` to `to`, replacing the file there.
  [[nodiscard]] virtual bool replace(const std::string& from, const std::string& to) = 0;
  // The file's length; nothing when there is none.
  virtual std::optional<std::uint64_t> size(const std::string& path) const = 0;
};

// Movies on the disk, through the backend's file sink.
class DiskMovieFiles final : public MovieFiles {
 public:
  std::unique_ptr<FileSink> create(const std::string& path, FileProblem& problem) override;
  bool remove(const std::string& path) override;
  bool replace(const std::string& from, const std::string& to) override;
  std::optional<std::uint64_t> size(const std::string& path) const override;
};

}  // namespace ks
