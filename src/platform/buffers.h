// The services of the binary buffer functions that the general file and text services do not
// offer: positioning and cutting an open file, the OEM code page, and the MD5 digest of a block
// of memory.
#ifndef KEL_PLATFORM_BUFFERS_H
#define KEL_PLATFORM_BUFFERS_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace kel::platform {

// Moves the file position to `offset` bytes from the start.
bool SeekFile(FileHandle file, std::uint64_t offset);
// Makes the file end at its current position.
bool TruncateFileHere(FileHandle file);
// The code page of the system's OEM (console) texts.
std::uint32_t OemCodePage();
// The MD5 digest of `length` bytes; false when the system offers no MD5.
bool Md5Digest(const void* data, std::size_t length, std::uint8_t digest[16]);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_BUFFERS_H
