// #include expansion: the files a script names are spliced into its text when it is loaded,
// with marker lines that keep the source file names and line numbers.
#ifndef KEL_LOADER_INCLUDES_H
#define KEL_LOADER_INCLUDES_H

#include <cstdint>

#include "platform/platform.h"

namespace kel {

struct BatchContext;

// Included files may nest 15 levels below the text being loaded.
constexpr int kMaxIncludeDepth = 16;
constexpr int kIncludeNoMemory = -1;
constexpr int kIncludeTooDeep = -2;
constexpr int kIncludeFailed = 0;

// Expands the #include lines of the zero-terminated text in `textHandle` (an unlocked block that
// may be replaced by a bigger one). `fileName` goes into the marker lines; `directory` (with its
// trailing separator, or empty) is tried first for relative names; `failedName` (kPathBytes)
// receives the name of a file that cannot be included; `depth` is 0 for a script.
// Returns the new text length; kIncludeNoMemory, kIncludeTooDeep, or a value below 1 when a
// file cannot be included.
int ExpandIncludes(BatchContext& context, platform::MemoryHandle& textHandle, const char* fileName,
                   const char* directory, char* failedName, int depth);

// True for a name that does not depend on a directory: "C:\...", "\\server\..." or "/...".
bool IsAbsolutePath(const char* name);

}  // namespace kel

#endif  // KEL_LOADER_INCLUDES_H
