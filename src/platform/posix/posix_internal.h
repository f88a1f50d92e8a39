// Helpers shared by the POSIX implementations of the platform services.
#ifndef KEL_PLATFORM_POSIX_INTERNAL_H
#define KEL_PLATFORM_POSIX_INTERNAL_H

#include <cstdint>

namespace kel::platform::posix {

// Records a system error in the Windows numbering that the engine reports everywhere.
void SetLastSystemError(std::uint32_t code);
// Records the Windows-numbered equivalent of the current errno.
void SetLastErrorFromErrno();

}  // namespace kel::platform::posix

#endif  // KEL_PLATFORM_POSIX_INTERNAL_H
