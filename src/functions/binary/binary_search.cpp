// Searching buffers for strings and byte sequences, counting and replacing them. Every search
// is linear in the bytes searched, whatever the data and the pattern.
#include <cstring>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/binary/binary_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"

namespace kel {
namespace {

constexpr std::int32_t kBackScan = 1;

// The offset of a match of `pattern` from `start` in the given direction; -1 for none. An empty
// pattern finds the first byte that is not zero.
std::int64_t Search(const BufferSlot& buffer, std::int32_t start, const std::uint8_t* pattern,
                    std::size_t length, bool matchCase, bool backward) {
  const std::size_t eod = static_cast<std::size_t>(buffer.eod);
  const std::size_t from = static_cast<std::size_t>(start);
  // Backward, a match must end at the start offset or before it, and within the data.
  const std::size_t backEnd = from + 1 < eod ? from + 1 : eod;
  if (length == 0) {
    if (backward) {
      for (std::size_t i = backEnd; i > 0; --i)
        if (buffer.data[i - 1] != 0) return static_cast<std::int64_t>(i - 1);
    } else {
      for (std::size_t i = from; i < eod; ++i)
        if (buffer.data[i] != 0) return static_cast<std::int64_t>(i);
    }
    return -1;
  }
  ByteSearcher searcher(pattern, length, matchCase ? nullptr : &Upper(), backward);
  std::size_t found =
      backward ? searcher.Find(buffer.data, 0, backEnd) : searcher.Find(buffer.data, from, eod);
  return found == kNotFound ? -1 : static_cast<std::int64_t>(found);
}

// BinaryIndex, BinaryIndexNc, BinaryIndexEx and BinaryIndexBin share the start checks.
bool CheckStart(BatchContext& context, const BufferSlot& buffer, std::int32_t start) {
  if (start < 0) {
    SetError(context, kErrBufferInvalidOffset);
    return false;
  }
  if (start >= buffer.size) {
    SetError(context, kErrIndexOffset);
    return false;
  }
  return true;
}

void Index(BatchContext& context, std::uint32_t code, EvalValue& result, EvalValue* arguments,
           const BufferSlot& buffer) {
  const std::int32_t start = arguments[1].value.intValue;
  if (!CheckStart(context, buffer, start)) return;
  const char* text = ValueText(context, arguments[2].value);
  const bool backward = arguments[3].value.intValue == kBackScan;
  bool matchCase = code == kKeywordBinaryIndex;
  if (code == kKeywordBinaryIndexEx) matchCase = arguments[4].value.intValue != 0;
  std::int64_t found = Search(buffer, start, reinterpret_cast<const std::uint8_t*>(text),
                              std::strlen(text), matchCase, backward);
  // Only BinaryIndexEx tells "not found" (-1) from a match at offset 0.
  if (found < 0 && code != kKeywordBinaryIndexEx) found = 0;
  SetEvalInteger(context, result, static_cast<std::int32_t>(found));
}

void IndexBin(BatchContext& context, EvalValue& result, EvalValue* arguments,
              const BufferSlot& buffer) {
  const std::int32_t start = arguments[1].value.intValue;
  if (!CheckStart(context, buffer, start)) return;
  const Value& item = arguments[2].value;
  std::vector<std::uint8_t> pattern;
  if ((item.flags & kValueInteger) != 0) {
    BufferSlot* other = BufferOfHandle(context.buffers, item.intValue);
    if (other == nullptr) return SetError(context, kErrIndexBinItem);
    pattern.assign(other->data, other->data + other->eod);
  } else if ((item.flags & kValueText) != 0) {
    if (!ParseHexBytes(ValueText(context, item), pattern))
      return SetError(context, kErrIndexBinHex);
  } else {
    return SetError(context, kErrIndexBinItem);
  }
  std::int64_t found =
      Search(buffer, start, pattern.data(), pattern.size(), arguments[4].value.intValue != 0,
             arguments[3].value.intValue == kBackScan);
  SetEvalInteger(context, result, static_cast<std::int32_t>(found));
}

// BinaryStrCnt: non-overlapping occurrences that begin between start and end and end within
// the data.
void StrCnt(BatchContext& context, EvalValue& result, EvalValue* arguments,
            const BufferSlot& buffer) {
  std::int32_t start = arguments[1].value.intValue, end = arguments[2].value.intValue;
  if (end < start) std::swap(start, end);
  if (start < 0) return SetError(context, kErrBufferInvalidOffset);
  if (end >= buffer.size) return SetError(context, kErrIndexOffset);
  if (end >= buffer.eod) return SetError(context, kErrBufferOffsetBeyondEod);
  const char* text = ValueText(context, arguments[3].value);
  std::size_t length = std::strlen(text);
  std::int32_t found = 0;
  if (length > 0) {
    ByteSearcher searcher(reinterpret_cast<const std::uint8_t*>(text), length, nullptr, false);
    // Matches may begin at end at the latest, and must end within the data.
    std::size_t limit = static_cast<std::size_t>(end) + length;
    if (limit > static_cast<std::size_t>(buffer.eod)) limit = static_cast<std::size_t>(buffer.eod);
    std::size_t at = static_cast<std::size_t>(start);
    while (at + length <= limit) {
      std::size_t position = searcher.Find(buffer.data, at, limit);
      if (position == kNotFound) break;
      ++found;
      at = position + length;
    }
  }
  SetEvalInteger(context, result, found);
}

// BinaryReplace builds the new data aside and stores it only when it fits the buffer.
void Replace(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  const char* oldText = ValueText(context, arguments[1].value);
  const char* newText = ValueText(context, arguments[2].value);
  const std::size_t newLength = std::strlen(newText);
  std::size_t oldLength = std::strlen(oldText);
  // An empty old string stands for a single zero byte.
  static const std::uint8_t kZero = 0;
  const std::uint8_t* oldBytes =
      oldLength == 0 ? &kZero : reinterpret_cast<const std::uint8_t*>(oldText);
  if (oldLength == 0) oldLength = 1;
  const bool matchCase = arguments[3].value.intValue != 0;
  ByteSearcher searcher(oldBytes, oldLength, matchCase ? nullptr : &Upper(), false);
  std::vector<std::uint8_t> work;
  std::size_t copied = 0;
  std::int32_t replaced = 0;
  bool overrun = false;
  ForEachMatch(searcher, buffer.data, static_cast<std::size_t>(buffer.eod), [&](std::size_t at) {
    if (overrun) return;
    work.insert(work.end(), buffer.data + copied, buffer.data + at);
    work.insert(work.end(), newText, newText + newLength);
    copied = at + oldLength;
    ++replaced;
    if (work.size() > static_cast<std::size_t>(buffer.size)) overrun = true;
  });
  if (!overrun) work.insert(work.end(), buffer.data + copied, buffer.data + buffer.eod);
  if (overrun || work.size() > static_cast<std::size_t>(buffer.size))
    return SetError(context, kErrReplaceOverrun);
  std::memset(buffer.data, 0, static_cast<std::size_t>(buffer.size));
  if (!work.empty()) std::memcpy(buffer.data, work.data(), work.size());
  buffer.eod = static_cast<std::int32_t>(work.size());
  SetEvalInteger(context, result, replaced);
}

}  // namespace

KEL_FAMILY_ROUTINE(BinarySearchFunction) {
  (void)unicode;
  (void)count;
  BufferSlot* buffer = BufferArgument(context, arguments[0]);
  if (buffer == nullptr) return;
  switch (code) {
    case kKeywordBinaryIndexBin:
      return IndexBin(context, result, arguments, *buffer);
    case kKeywordBinaryStrCnt:
      return StrCnt(context, result, arguments, *buffer);
    case kKeywordBinaryReplace:
      return Replace(context, result, arguments, *buffer);
    default:
      return Index(context, code, result, arguments, *buffer);
  }
}

}  // namespace kel
