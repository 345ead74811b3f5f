// What a shell command prints, for the tests that ask ffprobe and ffmpeg
// about our movies (POSIX only).
#pragma once

#include <cstdio>
#include <string>

namespace ks::test {

inline std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

}  // namespace ks::test
