// The error box on POSIX systems: there is no window manager, so the report goes to standard
// error and the answer is Exit, as a user who cannot choose to go on would give.
#include "platform/platform.h"

#include <cstdio>

namespace kel::platform {
namespace {

void WriteLine(const char* text) {
  if (text != nullptr && *text != '\0') std::fprintf(stderr, "%s\n", text);
}

}  // namespace

int ShowErrorBox(void*, ErrorBoxKind, const ErrorBoxTexts& texts) {
  WriteLine(texts.title);
  WriteLine(texts.headline);
  WriteLine(texts.lineInformation);
  WriteLine(texts.fileInformation);
  WriteLine(texts.errorLine);
  if (texts.moreInfo != nullptr && *texts.moreInfo != '\0') {
    WriteLine(texts.moreInfoTitle);
    WriteLine(texts.moreInfo);
  }
  std::fflush(stderr);
  return kErrorBoxExit;
}

// No dialog ever runs here, so no message is ever handled.
std::intptr_t ErrorBoxProcedure(void*, unsigned, std::uintptr_t, std::intptr_t) {
  return 0;
}
std::intptr_t TracebackProcedure(void*, unsigned, std::uintptr_t, std::intptr_t) {
  return 0;
}

// Windows have no titles and nothing to bring forward; there are no system sounds.
std::size_t WindowTitle(void*, char* out, std::size_t size) {
  if (out != nullptr && size > 0) out[0] = '\0';
  return 0;
}
void BringWindowForward(void*) {}
bool PlaySystemSound(const char*) {
  return false;
}

}  // namespace kel::platform
