// Opening a web address in the user's browser.
#pragma once

#include <string>

namespace ks {

class Shell {
 public:
  virtual ~Shell() = default;
  // Asks the system to open the address; false when it could not.
  [[nodiscard]] virtual bool open(const std::string& address) = 0;
};

}  // namespace ks
