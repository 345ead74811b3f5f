#include "support/memory_movie_files.h"

namespace ks::test {

std::unique_ptr<FileSink> MemoryMovieFiles::create(const std::string& path, FileProblem& problem) {
  if (refuseCreate) {
    problem = refusal;
    return nullptr;
  }
  problem = FileProblem::None;
  auto file = std::make_shared<MemoryFile>();
  file->capacity = capacity;
  file->throwWrite = throwWrite;
  file->writeError = writeError;
  files[path] = file;
  ++created;
  return memorySink(file);
}

}  // namespace ks::test
