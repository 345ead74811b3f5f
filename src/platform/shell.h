// Opening a web address in the user's browser.
#pragma once

#include <string>
#include <vector>

namespace ks {

class Shell {
 public:
  virtual ~Shell() = default;
  // Asks the system to open the address; false when it could not.
  virtual bool open(const std::string& address) = 0;
};

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
