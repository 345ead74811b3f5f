#include "support/test_services.h"

namespace ks::test {

TestServices::TestServices() : grabber(makeHeadlessGrabber(screen)) {
  files.addDrive("C:");
  files.addDrive("D:");
  files.addFolder(kProgramFolder);
  files.addFolder("D:\\Movies");
  files.setProgramFolder(kProgramFolder);
}

Platform TestServices::platform(WindowSystem& windows) {
  return Platform{windows, settings, files, clock, *grabber, shell, movies, &audio, &mouse, &programs, &keys, &text};
}

}  // namespace ks::test
