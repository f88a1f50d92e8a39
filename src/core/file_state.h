// The file functions' part of the context: their settings and the table of the files a script
// opened with FileOpen. Plain data, as the context is.
#ifndef KEL_CORE_FILE_STATE_H
#define KEL_CORE_FILE_STATE_H

#include <cstdint>

namespace kel {

constexpr int kMaxOpenFiles = 128;

// The mode bits of an open file.
constexpr std::uint32_t kOpenForRead = 1;
constexpr std::uint32_t kOpenEndSeen = 2;
constexpr std::uint32_t kOpenForWrite = 4;
constexpr std::uint32_t kOpenEndReturned = 8;
constexpr std::uint32_t kOpenWritten = 16;

// How the text of an open file is encoded.
enum FileEncoding : std::uint8_t { kEncodingAnsi = 0, kEncodingUtf16Le = 1, kEncodingUtf16Be = 2 };

struct OpenFileSlot {
  std::intptr_t handle;  // the platform's handle, also the script's; 0 marks a free slot
  std::uint32_t mode;
  char* buffer;            // the read buffer (engine memory, freed with the slot)
  std::uint32_t capacity;  // its size in bytes
  std::uint32_t fill;      // bytes in it
  std::uint32_t position;  // the next byte to read
  std::uint8_t encoding;
  std::uint8_t wideLines;  // FileRead gives UTF-16 lines
  std::uint8_t reserved[2];
};

struct FileState {
  // Settings; IntControl changes them, InitialiseFileState sets their defaults.
  std::uint32_t fileListDelimiter;  // a character: extra list separator, itemized separator
  std::int32_t wildcardFilterMode;  // 0 engine matcher, 1 none, 2 the system's matcher
  std::int32_t fileTimeSelector;    // 0 and 2 last write, 1 creation, 3 last access
  std::uint32_t readShareMode;
  std::uint32_t writeShareMode;
  std::int32_t readLineBuffer;  // <0 by file size (4096 .. 32768), 0 unbuffered, >0 bytes
  std::int32_t lineTerminator;  // 0 none, 1 CR LF, 2 LF, 3 CR, 4 TAB
  std::int32_t showHiddenFiles;
  std::int32_t overwriteState;  // during one copy or move call
  OpenFileSlot files[kMaxOpenFiles];
};

// The longest line of unbuffered reading, in characters.
constexpr std::uint32_t kUnbufferedLongestLine = 1280;

// The read buffer of a file of `fileSize` bytes as the readLineBuffer setting asks (0 for
// unbuffered reading): by default the file's size, at least 4096 and at most 32768 bytes.
std::uint32_t ReadBufferBytes(const FileState& state, std::uint64_t fileSize);
// The longest line the line readers take (a line that fills the buffer is too long: 1591).
std::uint32_t LongestLine(const FileState& state, std::uint64_t fileSize);
// What is written after each line: the lineTerminator setting's text ("" for none).
const char* LineTerminator(const FileState& state);

// The defaults of a new context; the open-file table starts empty.
void InitialiseFileState(FileState& state);
// Closes every file the script left open and frees the read buffers (context shutdown).
void ReleaseOpenFiles(FileState& state);
// Frees one slot's buffer, closes its handle and clears it.
void ReleaseOpenFile(OpenFileSlot& slot);

}  // namespace kel

#endif  // KEL_CORE_FILE_STATE_H
