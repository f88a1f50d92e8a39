// Buffers and files: whole files read into a buffer and the data written out, and sections of
// a file at any 64-bit offset read into or written from a range of a buffer.
#include <cstdlib>
#include <new>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/binary/binary_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/buffers.h"
#include "platform/files.h"

namespace kel {
namespace {

using platform::FileHandle;

// Closes the file when the function is done with it, whichever way it ends.
class OpenedFile {
 public:
  explicit OpenedFile(FileHandle file) : file_(file) {}
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile() {
    if (file_ != platform::kNoFile) platform::CloseFile(file_);
  }
  FileHandle get() const { return file_; }
  bool IsOpen() const { return file_ != platform::kNoFile; }

 private:
  FileHandle file_;
};

// Reads `count` bytes or fails.
bool ReadExactly(FileHandle file, std::uint8_t* to, std::size_t count) {
  while (count > 0) {
    std::size_t got = 0;
    if (!platform::ReadFileBytes(file, to, count, &got) || got == 0) return false;
    to += got;
    count -= got;
  }
  return true;
}

void Read(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  std::u16string name;
  if (!FileNameArgument(context, arguments[1], &name)) return;
  OpenedFile file(platform::OpenFile(name, platform::FileAccess::Read, context.files.readShareMode,
                                     platform::FileCreation::OpenExisting));
  if (!file.IsOpen()) return SetError(context, kErrFileOpenFailed);
  std::uint64_t size = 0;
  if (!platform::FileSizeOf(file.get(), &size)) return SetError(context, kErrBufferRead);
  if (size > static_cast<std::uint64_t>(buffer.size))
    return SetError(context, kErrBufferFileTooLarge);
  if (!ReadExactly(file.get(), buffer.data, static_cast<std::size_t>(size)))
    return SetError(context, kErrBufferRead);
  buffer.eod = static_cast<std::int32_t>(size);
  SetEvalInteger(context, result, buffer.eod);
}

void Write(BatchContext& context, EvalValue& result, EvalValue* arguments,
           const BufferSlot& buffer) {
  std::u16string name;
  if (!FileNameArgument(context, arguments[1], &name)) return;
  OpenedFile file(platform::OpenFile(name, platform::FileAccess::Write,
                                     context.files.writeShareMode,
                                     platform::FileCreation::CreateAlways));
  if (!file.IsOpen()) return SetError(context, kErrFileOpenFailed);
  if (!platform::WriteFileBytes(file.get(), buffer.data, static_cast<std::size_t>(buffer.eod)))
    return SetError(context, kErrBufferWrite);
  SetEvalInteger(context, result, buffer.eod);
}

// The file offset: a decimal text that may exceed 32 bits. False for anything else.
bool FileOffset(const char* text, std::uint64_t* offset) {
  while (*text == ' ')
    ++text;
  if (*text < '0' || *text > '9') return false;
  std::uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<std::uint64_t>(*text - '0');
  }
  while (*text == ' ')
    ++text;
  if (*text != '\0') return false;
  *offset = value;
  return true;
}

void ReadEx(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  const std::int32_t offset = arguments[1].value.intValue;
  std::int64_t count = arguments[4].value.intValue;
  if (offset < 0) return SetError(context, kErrBufferInvalidOffset);
  if (count < -1) return SetError(context, kErrBufferInvalidCount);
  if (offset >= buffer.size) return SetError(context, kErrBufferOffsetBeyondSize);
  std::uint64_t fileOffset = 0;
  if (!FileOffset(ValueText(context, arguments[3].value), &fileOffset))
    return SetError(context, kErrBufferOffsetBeyondFile);
  std::u16string name;
  if (!FileNameArgument(context, arguments[2], &name)) return;
  OpenedFile file(platform::OpenFile(name, platform::FileAccess::Read, context.files.readShareMode,
                                     platform::FileCreation::OpenExisting));
  if (!file.IsOpen()) return SetError(context, kErrFileOpenFailed);
  std::uint64_t size = 0;
  if (!platform::FileSizeOf(file.get(), &size)) return SetError(context, kErrBufferRead);
  if (fileOffset > size) return SetError(context, kErrBufferOffsetBeyondFile);
  const std::uint64_t available = size - fileOffset;
  if (count == -1 || static_cast<std::uint64_t>(count) > available) {
    if (available > 0x7FFFFFFF) return SetError(context, kErrReadExTooLarge);
    count = static_cast<std::int64_t>(available);
  }
  if (offset + count > buffer.size) return SetError(context, kErrBufferCountBeyondSize);
  if (!platform::SeekFile(file.get(), fileOffset)) return SetError(context, kErrBufferSeek);
  if (!ReadExactly(file.get(), buffer.data + offset, static_cast<std::size_t>(count)))
    return SetError(context, kErrBufferRead);
  RaiseEod(buffer, offset + count);
  SetEvalInteger(context, result, static_cast<std::int32_t>(count));
}

void WriteEx(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  const std::int32_t count = arguments[4].value.intValue;
  // Count -1 cuts the file at the file offset and does not use the buffer.
  BufferSlot* buffer = nullptr;
  const std::int32_t offset = arguments[1].value.intValue;
  if (count != -1) {
    buffer = BufferArgument(context, arguments[0]);
    if (buffer == nullptr || !CheckRange(context, *buffer, offset, count, RangeLimit::Eod)) return;
  }
  std::uint64_t fileOffset = 0;
  if (!FileOffset(ValueText(context, arguments[3].value), &fileOffset))
    return SetError(context, kErrBufferSeek);
  std::u16string name;
  if (!FileNameArgument(context, arguments[2], &name)) return;
  OpenedFile file(platform::OpenFile(name, platform::FileAccess::Write,
                                     context.files.writeShareMode,
                                     platform::FileCreation::OpenAlways));
  if (!file.IsOpen()) return SetError(context, kErrFileOpenFailed);
  std::uint64_t size = 0;
  if (!platform::FileSizeOf(file.get(), &size)) return SetError(context, kErrBufferWrite);
  if (count == -1) {
    if (size > fileOffset &&
        (!platform::SeekFile(file.get(), fileOffset) || !platform::TruncateFileHere(file.get())))
      return SetError(context, kErrBufferWrite);
    return SetEvalInteger(context, result, 0);
  }
  if (fileOffset > size) {
    // The gap is filled with zero bytes, a chunk at a time.
    constexpr std::size_t kChunk = 32768;
    std::vector<std::uint8_t> zeros;
    try {
      zeros.assign(kChunk, 0);
    } catch (const std::bad_alloc&) {
      return SetError(context, kErrBufferWriteExMemory);
    }
    if (!platform::SeekFile(file.get(), size)) return SetError(context, kErrBufferSeek);
    for (std::uint64_t left = fileOffset - size; left > 0;) {
      std::size_t chunk = left < kChunk ? static_cast<std::size_t>(left) : kChunk;
      if (!platform::WriteFileBytes(file.get(), zeros.data(), chunk))
        return SetError(context, kErrBufferWrite);
      left -= chunk;
    }
  }
  if (!platform::SeekFile(file.get(), fileOffset)) return SetError(context, kErrBufferSeek);
  if (!platform::WriteFileBytes(file.get(), buffer->data + offset, static_cast<std::size_t>(count)))
    return SetError(context, kErrBufferWrite);
  SetEvalInteger(context, result, count);
}

}  // namespace

KEL_FAMILY_ROUTINE(BinaryFileFunction) {
  (void)unicode;
  (void)count;
  if (code == kKeywordBinaryWriteEx) return WriteEx(context, result, arguments);
  BufferSlot* buffer = BufferArgument(context, arguments[0]);
  if (buffer == nullptr) return;
  switch (code) {
    case kKeywordBinaryRead:
      return Read(context, result, arguments, *buffer);
    case kKeywordBinaryWrite:
      return Write(context, result, arguments, *buffer);
    default:
      return ReadEx(context, result, arguments, *buffer);
  }
}

}  // namespace kel
