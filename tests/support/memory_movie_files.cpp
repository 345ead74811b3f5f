#include "support/memory_movie_files.h"

namespace ks::test {

std::unique_ptr<FileSink> MemoryMovieFiles::create(const std::string& path) {
  if (refuseCreate) return nullptr;
  auto file = std::make_shared<MemoryFile>();
  file->capacity = capacity;
  files[path] = file;
  ++created;
  return memorySink(file);
}

}  // namespace ks::test
