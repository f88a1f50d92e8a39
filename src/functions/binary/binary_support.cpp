// Handle lookup, range checks and byte searching for the binary buffer functions.
#include "functions/binary/binary_support.h"

#include <algorithm>
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "platform/platform.h"

namespace kel {

BufferSlot* BufferArgument(BatchContext& context, const EvalValue& argument) {
  BufferSlot* buffer = BufferOfHandle(context.buffers, argument.value.intValue);
  if (buffer == nullptr) SetError(context, kErrBufferHandle);
  return buffer;
}

bool CheckRange(BatchContext& context, const BufferSlot& buffer, std::int32_t offset,
                std::int32_t count, RangeLimit limit) {
  std::uint32_t error = 0;
  std::int64_t end = static_cast<std::int64_t>(offset) + count;
  if (offset < 0)
    error = kErrBufferInvalidOffset;
  else if (count < 0)
    error = kErrBufferInvalidCount;
  else if (offset >= buffer.size)
    error = kErrBufferOffsetBeyondSize;
  else if (end > buffer.size)
    error = kErrBufferCountBeyondSize;
  else if (limit == RangeLimit::Eod && offset >= buffer.eod)
    error = kErrBufferOffsetBeyondEod;
  else if (limit == RangeLimit::Eod && end > buffer.eod)
    error = kErrBufferCountBeyondEod;
  if (error == 0) return true;
  SetError(context, error);
  return false;
}

void SetFloatResult(BatchContext& context, EvalValue& result, double number) {
  ReleaseEval(context, result);
  result.value.flags = kValueFloat;
  result.value.floatValue = number;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool ParseHexBytes(const char* text, std::vector<std::uint8_t>& bytes) {
  std::size_t length = std::strlen(text);
  if (length % 2 != 0) return false;
  bytes.resize(length / 2);
  for (std::size_t i = 0; i < length; i += 2) {
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i / 2] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

bool FileNameArgument(BatchContext& context, EvalValue& argument, std::u16string* name) {
  if ((argument.value.flags & kValueWideText) == 0 && !ToWideText(context, argument.value)) {
    if (!HasError(context)) SetError(context, kErrNotUnicode);
    return false;
  }
  *name = ValueWideText(context, argument.value);
  return true;
}

UpperTable::UpperTable() {
  for (int i = 0; i < 256; ++i)
    map[i] = static_cast<std::uint8_t>(platform::UpperAnsi(static_cast<char>(i)));
}

const UpperTable& Upper() {
  static const UpperTable table;
  return table;
}

ByteSearcher::ByteSearcher(const std::uint8_t* pattern, std::size_t length, const UpperTable* fold,
                           bool backward)
    : pattern_(pattern, pattern + length), prefix_(length, 0), fold_(fold), backward_(backward) {
  for (std::uint8_t& unit : pattern_)
    unit = Unit(unit);
  if (backward_) std::reverse(pattern_.begin(), pattern_.end());
  // prefix_[i]: the length of the longest proper prefix of pattern_[0..i] that ends there.
  for (std::size_t i = 1, k = 0; i < length; ++i) {
    while (k > 0 && pattern_[i] != pattern_[k])
      k = prefix_[k - 1];
    if (pattern_[i] == pattern_[k]) ++k;
    prefix_[i] = k;
  }
}

std::size_t ByteSearcher::Find(const std::uint8_t* data, std::size_t begin, std::size_t end) const {
  const std::size_t length = pattern_.size();
  if (length == 0 || end < begin || end - begin < length) return kNotFound;
  const std::size_t span = end - begin;
  std::size_t k = 0;
  for (std::size_t i = 0; i < span; ++i) {
    // Backward searches read the range from its end, against the reversed pattern.
    std::uint8_t unit = Unit(backward_ ? data[end - 1 - i] : data[begin + i]);
    while (k > 0 && unit != pattern_[k])
      k = prefix_[k - 1];
    if (unit == pattern_[k]) ++k;
    if (k == length) return backward_ ? end - 1 - i : begin + i + 1 - length;
  }
  return kNotFound;
}

}  // namespace kel
