// The services of the binary buffer functions that the general file and text services do not
// offer: positioning and cutting an open file, the OEM code page, the MD5 digest of a block of
// memory, and the clipboard's data as bytes.
#ifndef KEL_PLATFORM_BUFFERS_H
#define KEL_PLATFORM_BUFFERS_H

#include <cstddef>
#include <cstdint>
#include <vector>

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
// The clipboard's data in one format, as bytes. A system without a clipboard answers
// ClipboardResult::Unavailable.
enum class ClipboardResult { Done, Unavailable, CannotOpen, NoData, NoMemory, CannotSet };
ClipboardResult ReadClipboard(std::uint32_t format, std::vector<std::uint8_t>& bytes);
ClipboardResult WriteClipboard(std::uint32_t format, const void* data, std::size_t length);
// The formats on the clipboard, in the clipboard's own order (Done, Unavailable or CannotOpen).
ClipboardResult ListClipboardFormats(std::vector<std::uint32_t>& formats);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_BUFFERS_H
