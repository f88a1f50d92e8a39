// The overwrite confirmation box on POSIX systems, where no window manager can show one.
#include "platform/files.h"

namespace kel::platform {

bool CanAskOverwrite() {
  return false;
}

// No answer is made up: the caller follows the rule for contexts without a user interface.
int AskOverwrite(void*, const std::u16string&, const std::u16string&, const std::u16string&,
                 const std::u16string&) {
  return kOverwriteBoxUnavailable;
}

}  // namespace kel::platform
