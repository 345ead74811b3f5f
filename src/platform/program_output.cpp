#include "platform/program_output.h"

#include <algorithm>

namespace ks {

namespace {

// A line stops growing here: a program that writes no line ends keeps its
// last lines bounded all the same.
constexpr std::size_t kLongestLine = 1024;

}  // namespace

void ProgramOutput::add(const char* bytes, std::size_t size) {
  std::lock_guard lock(mutex_);
  if (text_.size() < limit_) text_.append(bytes, std::min(size, limit_ - text_.size()));
  for (std::size_t k = 0; k < size; ++k) {
    const char c = bytes[k];
    // ffmpeg ends its progress lines with a carriage return alone.
    if (c == '\n' || c == '\r') {
      if (partial_.empty()) continue;
      last_.push_back(std::move(partial_));
      partial_.clear();
      if (last_.size() > lines_) last_.pop_front();
    } else if (partial_.size() < kLongestLine) {
      partial_ += c;
    }
  }
}

std::string ProgramOutput::text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

std::vector<std::string> ProgramOutput::lastLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines(last_.begin(), last_.end());
  if (!partial_.empty()) lines.push_back(partial_);
  if (lines.size() > lines_) lines.erase(lines.begin());
  return lines;
}

}  // namespace ks
