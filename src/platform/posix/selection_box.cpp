// The selection box on POSIX systems, where no window manager can show one.
#include "platform/platform.h"

namespace kel::platform {

// No choice can be asked for, and none is made up: the caller reports the box as unavailable.
int ShowSelectionBox(void*, const char*, const std::vector<std::string>&) {
  return kSelectionBoxUnavailable;
}

}  // namespace kel::platform
