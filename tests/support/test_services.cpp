#include "support/test_services.h"

namespace ks::test {

std::unique_ptr<FileSink> MemoryMovieFiles::create(const std::string& path) {
  if (refuseCreate) return nullptr;
  auto file = std::make_shared<MemoryFile>();
  file->capacity = capacity;
  files[path] = file;
  ++created;
  return memorySink(file);
}

TestServices::TestServices() : grabber(makeHeadlessGrabber(screen)) {
  files.addDrive("C:");
  files.addDrive("D:");
  files.addFolder(kProgramFolder);
  files.addFolder("D:\\Movies");
  files.setProgramFolder(kProgramFolder);
}

Platform TestServices::platform(WindowSystem& windows) {
  return Platform{windows, settings, files, clock, *grabber, shell, movies};
}

}  // namespace ks::test
