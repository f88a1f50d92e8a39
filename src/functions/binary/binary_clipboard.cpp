// BinaryClipGet and BinaryClipPut: a buffer's bytes from and to the clipboard, in one of its
// formats, without conversion.
#include <cstring>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/binary/binary_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/buffers.h"

namespace kel {
namespace {

constexpr std::int32_t kLastFormat = 0xFFFF;

void Get(BatchContext& context, EvalValue& result, BufferSlot& buffer, std::uint32_t format) {
  std::vector<std::uint8_t> bytes;
  switch (platform::ReadClipboard(format, bytes)) {
    case platform::ClipboardResult::Done:
      break;
    case platform::ClipboardResult::NoData:
      // Nothing in that format: no bytes, and the buffer as it was.
      return SetEvalInteger(context, result, 0);
    case platform::ClipboardResult::Unavailable:
      return SetError(context, kErrNotAvailable);
    case platform::ClipboardResult::CannotOpen:
      return SetError(context, kErrClipGetOpen);
    default:
      return SetError(context, kErrClipGetRead);
  }
  if (bytes.size() > static_cast<std::size_t>(buffer.size))
    return SetError(context, kErrClipGetTooLarge);
  if (!bytes.empty()) std::memcpy(buffer.data, bytes.data(), bytes.size());
  buffer.eod = static_cast<std::int32_t>(bytes.size());
  SetEvalInteger(context, result, buffer.eod);
}

void Put(BatchContext& context, EvalValue& result, const BufferSlot& buffer, std::uint32_t format) {
  switch (platform::WriteClipboard(format, buffer.data, static_cast<std::size_t>(buffer.eod))) {
    case platform::ClipboardResult::Done:
      return SetEvalInteger(context, result, 1);
    case platform::ClipboardResult::Unavailable:
      return SetError(context, kErrNotAvailable);
    case platform::ClipboardResult::CannotOpen:
      return SetError(context, kErrClipPutOpen);
    case platform::ClipboardResult::NoMemory:
      return SetError(context, kErrClipPutMemory);
    default:
      return SetError(context, kErrClipPutSet);
  }
}

}  // namespace

KEL_FAMILY_ROUTINE(BinaryClipboardFunction) {
  (void)unicode;
  (void)count;
  BufferSlot* buffer = BufferArgument(context, arguments[0]);
  if (buffer == nullptr) return;
  const std::int32_t format = arguments[1].value.intValue;
  if (format < 1 || format > kLastFormat) return SetError(context, kErrClipFormat);
  if (code == kKeywordBinaryClipGet)
    return Get(context, result, *buffer, static_cast<std::uint32_t>(format));
  Put(context, result, *buffer, static_cast<std::uint32_t>(format));
}

}  // namespace kel
