// Sequential text files (FileOpen, FileRead, FileWrite, FileClose) and whole files as one
// string (FileGet, FilePut and their UTF-16 forms).
//
// FileRead hands out lines straight from the slot's read buffer: the line's bytes are found
// with memchr and copied once into the result string, so reading a line costs about what
// copying it does.
#include <cstdlib>
#include <cstring>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr char kEndOfFile[] = "*EOF*";
constexpr char kControlZ = 26;
// Unbuffered reading still reads in blocks of this size; only its line limit differs.
constexpr std::uint32_t kUnbufferedBlock = 4096;

OpenFileSlot* FindSlot(BatchContext& context, const EvalValue& argument) {
  std::intptr_t handle = argument.value.intValue;
  if (handle == platform::kNoFile) return nullptr;
  for (OpenFileSlot& slot : context.files.files)
    if (slot.handle == handle) return &slot;
  return nullptr;
}

// Opens with the retries FileOpen's timeout asks for when another program holds the file:
// none for 0 (or a negative timeout other than -1), every second without end for -1, 20 tries
// timeout x 50 ms apart for 1 to 19 seconds, and one a second for 20 seconds or more. The waits
// keep the host responsive and end when the script is stopped.
platform::FileHandle OpenWithRetries(BatchContext& context, const std::u16string& name,
                                     platform::FileAccess access, std::uint32_t share,
                                     platform::FileCreation creation, std::int32_t timeout) {
  std::int64_t tries = timeout == -1 ? -1 : timeout <= 0 ? 1 : timeout < 20 ? 20 : timeout;
  std::uint32_t spacing =
      timeout > 0 && timeout < 20 ? static_cast<std::uint32_t>(timeout) * 50 : 1000;
  for (std::int64_t attempt = 1;; ++attempt) {
    platform::FileHandle file = platform::OpenFile(name, access, share, creation);
    if (file != platform::kNoFile) return file;
    if (platform::LastSystemError() != platform::kErrorSharingViolation ||
        (tries >= 0 && attempt >= tries))
      return platform::kNoFile;
    for (std::uint32_t waited = 0; waited < spacing; waited += 50) {
      platform::SleepMilliseconds(50);
      if (Hooks().fullPump != nullptr) Hooks().fullPump(context);
      if (context.stopRequested != 0) return platform::kNoFile;
    }
  }
}

// The encoding a byte-order mark announces.
std::uint8_t EncodingOfMark(const unsigned char* bytes, std::size_t count) {
  if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return kEncodingUtf16Le;
  if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return kEncodingUtf16Be;
  return kEncodingAnsi;
}

void OpenTextFile(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  const char16_t* name = ValueWideText(context, arguments[0].value);
  std::string mode = ValueText(context, arguments[1].value);
  for (char& c : mode)
    c = platform::UpperAnsi(c);
  bool wide = count > 2 && arguments[2].value.intValue != 0;
  std::int32_t timeout = count > 3 ? arguments[3].value.intValue : 0;
  if (mode != "READ" && mode != "WRITE" && mode != "APPEND")
    return SetError(context, kErrFileOpenMode);
  OpenFileSlot* slot = nullptr;
  for (OpenFileSlot& candidate : context.files.files)
    if (candidate.handle == platform::kNoFile) {
      slot = &candidate;
      break;
    }
  if (slot == nullptr) return SetError(context, kErrTooManyFiles);
  FileState& settings = context.files;
  OpenFileSlot opened{};
  if (mode == "READ") {
    opened.handle =
        OpenWithRetries(context, name, platform::FileAccess::Read, settings.readShareMode,
                        platform::FileCreation::OpenExisting, timeout);
    opened.mode = kOpenForRead;
  } else {
    // An append to a file that already has text keeps the encoding its first two bytes show.
    std::uint8_t encoding = wide ? kEncodingUtf16Le : kEncodingAnsi;
    bool hasText = false;
    platform::FileFacts facts;
    if (mode == "APPEND" && platform::QueryFile(name, &facts) && facts.size >= 2) {
      hasText = true;
      encoding = kEncodingAnsi;
      platform::FileHandle peek = platform::OpenFile(name, platform::FileAccess::Read, 3,
                                                     platform::FileCreation::OpenExisting);
      unsigned char mark[2];
      std::size_t read = 0;
      if (peek != platform::kNoFile) {
        if (platform::ReadFileBytes(peek, mark, 2, &read))
          encoding = EncodingOfMark(mark, read) == kEncodingAnsi ? kEncodingAnsi : kEncodingUtf16Le;
        platform::CloseFile(peek);
      }
    }
    opened.handle = OpenWithRetries(
        context, name, platform::FileAccess::Write, settings.writeShareMode,
        mode == "WRITE" ? platform::FileCreation::CreateAlways : platform::FileCreation::OpenAlways,
        timeout);
    if (opened.handle != platform::kNoFile && mode == "APPEND" &&
        !platform::SeekFileEnd(opened.handle)) {
      platform::CloseFile(opened.handle);
      opened.handle = platform::kNoFile;
    }
    opened.mode = kOpenForWrite | (hasText ? kOpenWritten : 0);
    opened.encoding = encoding;
  }
  if (opened.handle == platform::kNoFile) {
    RecordApiError(context, platform::LastSystemError(), "CreateFile", true);
    return SetError(context, kErrFileOpenFailed);
  }
  if (mode == "READ") {
    std::uint64_t size = 0;
    platform::FileSizeOf(opened.handle, &size);
    std::uint32_t bytes = ReadBufferBytes(settings, size);
    if (bytes == 0) bytes = kUnbufferedBlock;
    opened.wideLines = wide ? 1 : 0;
    // The mark is looked at once the first block is in; UTF-16 files get twice the room.
    opened.capacity = bytes * 2;
    opened.buffer = static_cast<char*>(std::malloc(opened.capacity));
    if (opened.buffer == nullptr) {
      platform::CloseFile(opened.handle);
      return SetError(context, kErrUnableToAllocate);
    }
    std::size_t read = 0;
    if (!platform::ReadFileBytes(opened.handle, opened.buffer, 2, &read)) read = 0;
    opened.fill = static_cast<std::uint32_t>(read);
    opened.encoding =
        EncodingOfMark(reinterpret_cast<const unsigned char*>(opened.buffer), opened.fill);
    if (opened.encoding != kEncodingAnsi)
      opened.position = 2;
    else
      opened.capacity = bytes;  // an ANSI file reads with the buffer size asked for
    if (read == 0) opened.mode |= kOpenEndSeen;
  }
  *slot = opened;
  SetEvalInteger(context, result, static_cast<std::int32_t>(opened.handle));
  result.value.flags |= kValueFileHandle;
}

// Reads more of the file behind what the buffer holds, moving the unread rest to the front.
// False on a read error; a Ctrl-Z ends the file where it stands.
bool Refill(OpenFileSlot& slot) {
  if (slot.position > 0) {
    std::memmove(slot.buffer, slot.buffer + slot.position, slot.fill - slot.position);
    slot.fill -= slot.position;
    slot.position = 0;
  }
  std::size_t read = 0;
  if (!platform::ReadFileBytes(slot.handle, slot.buffer + slot.fill, slot.capacity - slot.fill,
                               &read))
    return false;
  if (read == 0) slot.mode |= kOpenEndSeen;
  if (slot.encoding == kEncodingAnsi) {
    const void* stop = std::memchr(slot.buffer + slot.fill, kControlZ, read);
    if (stop != nullptr) {
      read = static_cast<std::size_t>(static_cast<const char*>(stop) - (slot.buffer + slot.fill));
      slot.mode |= kOpenEndSeen;
    }
  }
  slot.fill += static_cast<std::uint32_t>(read);
  return true;
}

// An ANSI line to the result, without its CR and NUL characters.
bool SetAnsiLine(BatchContext& context, EvalValue& result, const OpenFileSlot& slot,
                 const char* line, std::size_t length) {
  if (length > 0 && line[length - 1] == '\r') --length;
  bool clean =
      std::memchr(line, '\r', length) == nullptr && std::memchr(line, 0, length) == nullptr;
  std::string filtered;
  if (!clean) {
    filtered.reserve(length);
    for (std::size_t i = 0; i < length; ++i)
      if (line[i] != '\r' && line[i] != '\0') filtered += line[i];
    line = filtered.data();
    length = filtered.size();
  }
  if (slot.wideLines == 0) return SetTextResult<char>(context, result, line, length);
  char16_t* out = NewTextResult<char16_t>(context, result, length);
  if (out == nullptr) return false;
  int units = length == 0 ? 0 : platform::AnsiToWide(context.codePage, line, length, out, length);
  if (units < 0) units = 0;
  out[units] = 0;
  return true;
}

// A UTF-16 line (in the file's byte order) to the result, without CR and NUL units.
bool SetWideLine(BatchContext& context, EvalValue& result, const OpenFileSlot& slot,
                 const char* bytes, std::size_t units) {
  char16_t* out = NewTextResult<char16_t>(context, result, units);
  if (out == nullptr) return false;
  std::size_t kept = 0;
  const bool bigEndian = slot.encoding == kEncodingUtf16Be;
  for (std::size_t i = 0; i < units; ++i) {
    auto low = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
    auto high = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
    char16_t unit = static_cast<char16_t>(low | (high << 8));
    if (unit != u'\r' && unit != 0) out[kept++] = unit;
  }
  out[kept] = 0;
  return true;
}

// Where the next line feed stands in the unread bytes, or null.
const char* FindLineFeed(const OpenFileSlot& slot) {
  const char* start = slot.buffer + slot.position;
  std::size_t available = slot.fill - slot.position;
  if (slot.encoding == kEncodingAnsi)
    return static_cast<const char*>(std::memchr(start, '\n', available));
  const char feedLow = slot.encoding == kEncodingUtf16Be ? 0 : '\n';
  const char feedHigh = slot.encoding == kEncodingUtf16Be ? '\n' : 0;
  for (std::size_t at = 0; at + 1 < available; at += 2)
    if (start[at] == feedLow && start[at + 1] == feedHigh) return start + at;
  return nullptr;
}

void ReadLine(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  OpenFileSlot* slot = FindSlot(context, arguments[0]);
  if (slot == nullptr) return SetError(context, kErrReadNotOpen);
  if ((slot->mode & kOpenForRead) == 0) return SetError(context, kErrNotOpenForRead);
  if ((slot->mode & kOpenEndReturned) != 0) return SetError(context, kErrReadPastEnd);
  const std::size_t unit = slot->encoding == kEncodingAnsi ? 1 : 2;
  // A line may not fill the buffer; unbuffered reading has its own limit in characters.
  const bool unbuffered = context.files.readLineBuffer == 0;
  for (;;) {
    const char* start = slot->buffer + slot->position;
    const char* feed = FindLineFeed(*slot);
    std::size_t available = slot->fill - slot->position;
    std::size_t length = feed != nullptr ? static_cast<std::size_t>(feed - start) : available;
    if (unbuffered ? length > kUnbufferedLongestLine * unit : length >= slot->capacity)
      return SetError(context, kErrReadLineTooLong);
    if (feed != nullptr || (slot->mode & kOpenEndSeen) != 0) {
      if (feed == nullptr && length < unit) {
        // Nothing is left (an odd last byte of a UTF-16 file counts as nothing).
        slot->mode |= kOpenEndReturned;
        slot->position = slot->fill;
        SetTextResult<char>(context, result, kEndOfFile, sizeof kEndOfFile - 1);
        return;
      }
      slot->position += static_cast<std::uint32_t>(length + (feed != nullptr ? unit : 0));
      if (feed == nullptr) slot->position = slot->fill;
      if (unit == 1)
        SetAnsiLine(context, result, *slot, start, length);
      else
        SetWideLine(context, result, *slot, start, length / 2);
      return;
    }
    if (!Refill(*slot)) {
      RecordApiError(context, platform::LastSystemError(), "ReadFile", true);
      return SetError(context, kErrReadPastEnd);
    }
  }
}

void WriteLine(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  (void)result;
  OpenFileSlot* slot = FindSlot(context, arguments[0]);
  if (slot == nullptr) return SetError(context, kErrWriteNotOpen);
  if ((slot->mode & kOpenForWrite) == 0) return SetError(context, kErrNotOpenForWrite);
  const char* terminator = LineTerminator(context.files);
  std::string bytes;
  if (slot->encoding == kEncodingAnsi) {
    if (!ToText(context, arguments[1].value)) {
      if (!HasError(context)) SetError(context, kErrNotString);
      return;
    }
    bytes = ValueText(context, arguments[1].value);
    bytes += terminator;
  } else {
    std::u16string text;
    if (!NameArgument(context, arguments[1], &text)) return;
    for (const char* c = terminator; *c != '\0'; ++c)
      text += static_cast<char16_t>(*c);
    if ((slot->mode & kOpenWritten) == 0) bytes = "\xFF\xFE";
    for (char16_t c : text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
  }
  slot->mode |= kOpenWritten;
  if (!platform::WriteFileBytes(slot->handle, bytes.data(), bytes.size())) {
    RecordApiError(context, platform::LastSystemError(), "WriteFile", true);
    SetError(context, kErrFileWriteFailed);
  }
}

void CloseTextFile(BatchContext& context, EvalValue* arguments) {
  OpenFileSlot* slot = FindSlot(context, arguments[0]);
  if (slot == nullptr) return SetError(context, kErrCloseNotOpen);
  ReleaseOpenFile(*slot);
}

// FileGet and FileGetW: the whole file as one string. A NUL byte (unit) is replaced by the
// replacement character; without one it is an error (1806).
void GetWholeFile(BatchContext& context, int count, EvalValue& result, EvalValue* arguments,
                  bool wide) {
  std::u16string name, replacement;
  if (!NameArgument(context, arguments[0], &name)) return;
  if (count > 1 && !NameArgument(context, arguments[1], &replacement)) return;
  if (replacement.size() > 1) return SetError(context, kErrNullCharacter);
  platform::FileHandle file =
      platform::OpenFile(name, platform::FileAccess::Read, context.files.readShareMode,
                         platform::FileCreation::OpenExisting);
  if (file == platform::kNoFile) return SetError(context, kErrOpeningFile);
  std::string bytes;
  std::uint64_t size = 0;
  platform::FileSizeOf(file, &size);
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t got = 0, read = 0;
  bool ok = true;
  while (got < bytes.size() &&
         (ok = platform::ReadFileBytes(file, bytes.data() + got, bytes.size() - got, &read)) &&
         read > 0)
    got += read;
  platform::CloseFile(file);
  if (!ok) return SetError(context, kErrReadingFile);
  bytes.resize(got);
  if (!wide) {
    if (bytes.find('\0') != std::string::npos) {
      if (replacement.empty()) return SetError(context, kErrFileHasNull);
      for (char& c : bytes)
        if (c == '\0') c = static_cast<char>(replacement[0]);
    }
    SetTextResult<char>(context, result, bytes.data(), bytes.size());
    return;
  }
  std::uint8_t encoding =
      EncodingOfMark(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  std::size_t start = encoding == kEncodingAnsi ? 0 : 2;
  std::u16string text;
  text.reserve((bytes.size() - start) / 2);
  for (std::size_t at = start; at + 1 < bytes.size(); at += 2) {
    auto first = static_cast<unsigned char>(bytes[at]);
    auto second = static_cast<unsigned char>(bytes[at + 1]);
    char16_t c = encoding == kEncodingUtf16Be ? static_cast<char16_t>((first << 8) | second)
                                              : static_cast<char16_t>(first | (second << 8));
    if (c == 0) {
      if (replacement.empty()) return SetError(context, kErrFileHasNull);
      c = replacement[0];
    }
    text += c;
  }
  SetNameResult(context, result, text);
}

// FilePut and FilePutW: the file becomes the string (UTF-16 little-endian for FilePutW); the
// result is the number of bytes written. The old file stays until the new one is complete.
void PutWholeFile(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide) {
  std::u16string name;
  if (!NameArgument(context, arguments[0], &name)) return;
  std::string bytes;
  if (wide) {
    for (const char16_t* c = ValueWideText(context, arguments[1].value); *c != 0; ++c) {
      bytes += static_cast<char>(*c & 0xFF);
      bytes += static_cast<char>(*c >> 8);
    }
  } else {
    bytes = ValueText(context, arguments[1].value);
  }
  // A read-only file keeps its bytes (the new ones would otherwise be moved in over it).
  platform::FileFacts facts;
  if (platform::QueryFile(name, &facts) && (facts.attributes & platform::kAttributeReadOnly) != 0)
    return SetError(context, kErrWritingFile);
  if (!platform::WriteFileReplacing(name, bytes.data(), bytes.size())) {
    RecordApiError(context, platform::LastSystemError(), "WriteFile", true);
    return SetError(context, kErrWritingFile);
  }
  SetEvalInteger(context, result, static_cast<std::int32_t>(bytes.size()));
}

}  // namespace

KEL_FAMILY_ROUTINE(TextFileFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordFileOpen:
      return OpenTextFile(context, count, result, arguments);
    case kKeywordFileRead:
      return ReadLine(context, result, arguments);
    case kKeywordFileWrite:
      return WriteLine(context, result, arguments);
    case kKeywordFileClose:
      return CloseTextFile(context, arguments);
    case kKeywordFileGet:
      return GetWholeFile(context, count, result, arguments, false);
    case kKeywordFileGetW:
      return GetWholeFile(context, count, result, arguments, true);
    case kKeywordFilePut:
      return PutWholeFile(context, result, arguments, false);
    case kKeywordFilePutW:
      return PutWholeFile(context, result, arguments, true);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
