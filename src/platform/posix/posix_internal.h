// Helpers shared by the POSIX implementations of the platform services.
#ifndef KEL_PLATFORM_POSIX_INTERNAL_H
#define KEL_PLATFORM_POSIX_INTERNAL_H

#include <cstdint>
#include <string>

namespace kel::platform::posix {

// Records a system error in the Windows numbering that the engine reports everywhere.
void SetLastSystemError(std::uint32_t code);
// Records the Windows-numbered equivalent of the current errno.
void SetLastErrorFromErrno();

// UTF-16 texts and the UTF-8 the system takes. A file name's "\" is read as "/"; other texts
// keep theirs.
enum class Backslashes { Keep, AsSlashes };
std::string Utf8Of(const std::u16string& text, Backslashes backslashes);
std::u16string Utf16Of(const char* text);

}  // namespace kel::platform::posix

#endif  // KEL_PLATFORM_POSIX_INTERNAL_H
