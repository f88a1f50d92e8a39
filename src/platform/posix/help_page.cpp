// The help web page of the error box on POSIX systems: the box never runs here, so no browser is
// registered and the page is never opened.
#include "platform/platform.h"

namespace kel::platform {

std::size_t BrowserCommand(char* out, std::size_t size) {
  if (out != nullptr && size > 0) out[0] = '\0';
  return 0;
}

bool OpenHelpPage(const char*, const char*, bool (*)(void*), void*) {
  return false;
}

}  // namespace kel::platform
