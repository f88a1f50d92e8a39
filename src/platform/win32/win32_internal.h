// Helpers shared by the Windows implementations of the platform services.
#ifndef KEL_PLATFORM_WIN32_INTERNAL_H
#define KEL_PLATFORM_WIN32_INTERNAL_H

#include <windows.h>

namespace kel::platform::win32 {

// The module that holds the engine's code and resources: kel.dll for hosts, the program itself
// when the engine is linked in statically (as the tests do).
HMODULE EngineModule();

}  // namespace kel::platform::win32

#endif  // KEL_PLATFORM_WIN32_INTERNAL_H
