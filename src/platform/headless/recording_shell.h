// A shell that only remembers what it was asked to open.
#pragma once

#include <string>
#include <vector>

#include "platform/shell.h"

namespace ks {

// Remembers what it was asked to open; can be told to fail.
class RecordingShell final : public Shell {
 public:
  bool open(const std::string& address) override {
    opened.push_back(address);
    return succeed;
  }
  std::vector<std::string> opened;
  bool succeed = true;
};

}  // namespace ks
