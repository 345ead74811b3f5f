// What a running program writes to its output and error output, as its
// reader thread receives it: the start up to a limit, and the last lines
// whatever the length. Safe to read from any thread.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace ks {

class ProgramOutput {
 public:
  ProgramOutput(std::size_t limit, std::size_t lines) : limit_(limit), lines_(lines) {}

  void add(const char* bytes, std::size_t size);
  std::string text() const;
  // The last lines, the newest last; a line still unfinished counts.
  std::vector<std::string> lastLines() const;

 private:
  std::size_t limit_;
  std::size_t lines_;
  mutable std::mutex mutex_;
  std::string text_;
  std::deque<std::string> last_;
  std::string partial_;  // the line being written
};

}  // namespace ks
