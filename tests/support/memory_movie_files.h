// Movies kept as bytes in memory, with the faults a disk has.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "media/memory_sink.h"
#include "platform/movie_files.h"

namespace ks::test {

class MemoryMovieFiles final : public MovieFiles {
 public:
  std::unique_ptr<FileSink> create(const std::string& path, FileProblem& problem) override;
  bool remove(const std::string& path) override { return files.erase(path) > 0; }
  bool replace(const std::string& from, const std::string& to) override {
    const auto found = files.find(from);
    if (found == files.end()) return false;
    files[to] = found->second;
    files.erase(from);
    return true;
  }
  std::optional<std::uint64_t> size(const std::string& path) const override {
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second->bytes.size();
  }
  // Faults for files created from now on.
  std::uint64_t capacity = UINT64_MAX;
  int throwWrite = 0;  // the write that throws std::bad_alloc, as MemoryFile
  long writeError = 112;  // the Windows error of a write past the capacity, as MemoryFile
  bool refuseCreate = false;
  FileProblem refusal = FileProblem::AccessDenied;  // the reason a refused create gives
  std::map<std::string, std::shared_ptr<MemoryFile>> files;
  int created = 0;
};

}  // namespace ks::test
