// Defaults of the file functions' settings and the closing of files a script left open.
#include "core/file_state.h"

#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace kel {

void InitialiseFileState(FileState& state) {
  std::memset(&state, 0, sizeof state);
  state.fileListDelimiter = '\t';
  state.readShareMode = 1;
  state.readLineBuffer = -2;
  state.lineTerminator = 1;
}

std::uint32_t ReadBufferBytes(const FileState& state, std::uint64_t fileSize) {
  constexpr std::uint64_t kSmallest = 4096, kLargest = 32768;
  if (state.readLineBuffer > 0) return static_cast<std::uint32_t>(state.readLineBuffer);
  if (state.readLineBuffer == 0) return 0;
  return static_cast<std::uint32_t>(fileSize < kSmallest  ? kSmallest
                                    : fileSize > kLargest ? kLargest
                                                          : fileSize);
}

std::uint32_t LongestLine(const FileState& state, std::uint64_t fileSize) {
  std::uint32_t buffer = ReadBufferBytes(state, fileSize);
  return buffer == 0 ? kUnbufferedLongestLine : buffer - 1;
}

const char* LineTerminator(const FileState& state) {
  switch (state.lineTerminator) {
    case 0:
      return "";
    case 2:
      return "\n";
    case 3:
      return "\r";
    case 4:
      return "\t";
    default:
      return "\r\n";
  }
}

void ReleaseOpenFile(OpenFileSlot& slot) {
  if (slot.handle != platform::kNoFile) platform::CloseFile(slot.handle);
  std::free(slot.buffer);
  std::memset(&slot, 0, sizeof slot);
}

void ReleaseOpenFiles(FileState& state) {
  for (OpenFileSlot& slot : state.files)
    if (slot.handle != platform::kNoFile || slot.buffer != nullptr) ReleaseOpenFile(slot);
}

}  // namespace kel
