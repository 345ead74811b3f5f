// Opens web addresses through the Windows shell.
#pragma once

#include "platform/shell.h"

namespace ks {

class Win32Shell final : public Shell {
 public:
  // ShellExecuteW with the verb "open", no owner, normal show state.
  bool open(const std::string& address) override;
};

}  // namespace ks
