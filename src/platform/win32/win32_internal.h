// Helpers shared by the Windows implementations of the platform services.
#ifndef KEL_PLATFORM_WIN32_INTERNAL_H
#define KEL_PLATFORM_WIN32_INTERNAL_H

#include <windows.h>

namespace kel::platform::win32 {

// The module that holds the engine's code and resources: kel.dll for hosts, the program itself
// when the engine is linked in statically (as the tests do).
HMODULE EngineModule();

// A procedure the system calls (a dialog's, a window's, a timer's) runs its work through this:
// an exception must not reach the system's code, which knows nothing of C++, so whatever `body`
// throws ends here and the procedure answers `failure` (for a dialog procedure FALSE: the
// message was not handled).
template <typename Result, typename Body>
Result AtCallbackBoundary(Result failure, Body&& body) noexcept {
  try {
    return static_cast<Result>(body());
  } catch (...) {
    return failure;
  }
}

}  // namespace kel::platform::win32

#endif  // KEL_PLATFORM_WIN32_INTERNAL_H
