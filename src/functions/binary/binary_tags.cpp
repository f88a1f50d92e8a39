// The tag functions: sections of a buffer between a start tag and an end tag, found one after
// the other. All search state travels in the structure string the script hands from call to
// call, so every field of it is checked against the buffer before it is used: a forged string
// is refused (1581), never followed past the data.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/binary/binary_support.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"

namespace kel {
namespace {

constexpr std::int32_t kStateInitialized = 'I';
constexpr std::int32_t kStateFound = 'F';
constexpr std::int32_t kStateReplaced = 'R';
// The fixed part: length, slot, offset, state, the two tag lengths and the data length.
constexpr std::size_t kFixedDigits = 36;

struct TagState {
  BufferSlot* buffer;
  std::int32_t slot, offset, state, dataLength;
  std::string startTag, endTag;
};

bool SetStructureResult(BatchContext& context, EvalValue& result, const TagState& tag) {
  std::size_t length = kFixedDigits + tag.startTag.size() + tag.endTag.size() + 2;
  char fixed[kFixedDigits + 1];
  std::snprintf(fixed, sizeof fixed, "%04lX%04lX%08lX%04lX%04lX%04lX%08lX",
                static_cast<unsigned long>(length), static_cast<unsigned long>(tag.slot),
                static_cast<unsigned long>(tag.offset), static_cast<unsigned long>(tag.state),
                static_cast<unsigned long>(tag.startTag.size()),
                static_cast<unsigned long>(tag.endTag.size()),
                static_cast<unsigned long>(tag.dataLength));
  std::string text = fixed + tag.startTag + ' ' + tag.endTag + ' ';
  return SetTextResult<char>(context, result, text.data(), text.size());
}

// A field of `digits` hexadecimal digits at `at`; -1 when any is not a digit or the value does
// not fit a non-negative 32-bit integer.
std::int64_t HexField(const char* at, int digits) {
  std::int64_t value = 0;
  for (int i = 0; i < digits; ++i) {
    char c = at[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value > 0x7FFFFFFF ? -1 : value;
}

// Reads and checks a structure string. Besides its own fields agreeing with each other, the
// section it describes must lie within the buffer's data.
bool ParseStructure(BatchContext& context, const char* text, TagState& tag) {
  const std::size_t length = std::strlen(text);
  bool valid = length >= kFixedDigits;
  std::int64_t fields[7] = {};
  static constexpr int kWidths[7] = {4, 4, 8, 4, 4, 4, 8};
  for (int i = 0, at = 0; valid && i < 7; at += kWidths[i], ++i) {
    fields[i] = HexField(text + at, kWidths[i]);
    valid = fields[i] >= 0;
  }
  const std::int64_t startLength = fields[4], endLength = fields[5];
  valid =
      valid && fields[0] == static_cast<std::int64_t>(length) &&
      (fields[3] == kStateInitialized || fields[3] == kStateFound || fields[3] == kStateReplaced) &&
      startLength >= 1 && endLength >= 1 &&
      static_cast<std::int64_t>(kFixedDigits) + startLength + endLength + 2 ==
          static_cast<std::int64_t>(length) &&
      text[kFixedDigits + startLength] == ' ' && text[length - 1] == ' ' && fields[1] < kMaxBuffers;
  if (!valid) {
    SetError(context, kErrTagStructure);
    return false;
  }
  tag.slot = static_cast<std::int32_t>(fields[1]);
  tag.buffer = BufferOfHandle(context.buffers, kFirstBufferHandle + tag.slot);
  if (tag.buffer == nullptr) {
    SetError(context, kErrBufferHandle);
    return false;
  }
  tag.offset = static_cast<std::int32_t>(fields[2]);
  tag.state = static_cast<std::int32_t>(fields[3]);
  tag.dataLength = static_cast<std::int32_t>(fields[6]);
  tag.startTag.assign(text + kFixedDigits, static_cast<std::size_t>(startLength));
  tag.endTag.assign(text + kFixedDigits + startLength + 1, static_cast<std::size_t>(endLength));
  // A found section, tags included, must lie within the data; any other state only its offset.
  std::int64_t end = tag.offset;
  if (tag.state == kStateFound) end += startLength + tag.dataLength + endLength;
  if (end > tag.buffer->eod || (tag.state != kStateFound && tag.dataLength != 0)) {
    SetError(context, kErrTagStructure);
    return false;
  }
  return true;
}

std::int32_t SectionLength(const TagState& tag) {
  return static_cast<std::int32_t>(tag.startTag.size() + tag.endTag.size()) + tag.dataLength;
}

void TagInit(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  BufferSlot* buffer = BufferArgument(context, arguments[0]);
  if (buffer == nullptr) return;
  TagState tag{buffer,
               static_cast<std::int32_t>(buffer - context.buffers.slots),
               0,
               kStateInitialized,
               0,
               ValueText(context, arguments[1].value),
               ValueText(context, arguments[2].value)};
  if (tag.startTag.empty() || tag.endTag.empty()) return SetError(context, kErrTagBlank);
  if (tag.startTag.size() > 0xFFFF || tag.endTag.size() > 0xFFFF)
    return SetError(context, kErrTagStructure);
  SetStructureResult(context, result, tag);
}

void TagFind(BatchContext& context, EvalValue& result, TagState& tag) {
  const BufferSlot& buffer = *tag.buffer;
  std::size_t from = static_cast<std::size_t>(tag.offset);
  if (tag.state == kStateFound) from += static_cast<std::size_t>(SectionLength(tag));
  const std::size_t eod = static_cast<std::size_t>(buffer.eod);
  ByteSearcher start(reinterpret_cast<const std::uint8_t*>(tag.startTag.data()),
                     tag.startTag.size(), &Upper(), false);
  std::size_t begin = start.Find(buffer.data, from, eod);
  if (begin != kNotFound) {
    ByteSearcher end(reinterpret_cast<const std::uint8_t*>(tag.endTag.data()), tag.endTag.size(),
                     &Upper(), false);
    std::size_t dataStart = begin + tag.startTag.size();
    std::size_t close = end.Find(buffer.data, dataStart, eod);
    if (close != kNotFound) {
      tag.offset = static_cast<std::int32_t>(begin);
      tag.state = kStateFound;
      tag.dataLength = static_cast<std::int32_t>(close - dataStart);
      SetStructureResult(context, result, tag);
      return;
    }
  }
  SetEmptyResult<char>(context, result);
}

// With flags bit 0, tabs and line ends become spaces, and vanish where a space stands next to
// them already.
void TagExtr(BatchContext& context, EvalValue& result, const TagState& tag, std::int32_t flags) {
  const char* data = reinterpret_cast<const char*>(tag.buffer->data) + tag.offset +
                     static_cast<std::int32_t>(tag.startTag.size());
  const std::size_t length = static_cast<std::size_t>(tag.dataLength);
  std::string text;
  for (std::size_t i = 0; i < length && data[i] != '\0'; ++i) {
    char c = data[i];
    if ((flags & 1) != 0 && (c == '\t' || c == '\r' || c == '\n')) {
      bool spaceNext =
          (!text.empty() && text.back() == ' ') || (i + 1 < length && data[i + 1] == ' ');
      if (spaceNext) continue;
      c = ' ';
    }
    text += c;
  }
  SetTextResult<char>(context, result, text.data(), text.size());
}

void TagRepl(BatchContext& context, EvalValue& result, TagState& tag, const char* replacement) {
  BufferSlot& buffer = *tag.buffer;
  if (tag.state == kStateFound) {
    const std::int64_t section = SectionLength(tag);
    const std::int64_t newLength = static_cast<std::int64_t>(std::strlen(replacement));
    const std::int64_t newEod = buffer.eod - section + newLength;
    if (newEod > buffer.size) {
      // No room: nothing changes, and the next search continues behind the section.
      tag.offset += static_cast<std::int32_t>(section);
    } else {
      std::uint8_t* at = buffer.data + tag.offset;
      std::memmove(at + newLength, at + section,
                   static_cast<std::size_t>(buffer.eod - tag.offset - section));
      std::memcpy(at, replacement, static_cast<std::size_t>(newLength));
      if (newEod < buffer.eod)
        std::memset(buffer.data + newEod, 0, static_cast<std::size_t>(buffer.eod - newEod));
      buffer.eod = static_cast<std::int32_t>(newEod);
      tag.offset += static_cast<std::int32_t>(newLength);
    }
    tag.state = kStateReplaced;
    tag.dataLength = 0;
  }
  SetStructureResult(context, result, tag);
}

}  // namespace

KEL_FAMILY_ROUTINE(BinaryTagFunction) {
  (void)unicode;
  (void)count;
  if (code == kKeywordBinaryTagInit) return TagInit(context, result, arguments);
  TagState tag{};
  if (!ParseStructure(context, ValueText(context, arguments[0].value), tag)) return;
  const std::int32_t mode = code == kKeywordBinaryTagFind ? 0 : arguments[1].value.intValue;
  switch (code) {
    case kKeywordBinaryTagFind:
      return TagFind(context, result, tag);
    case kKeywordBinaryTagExtr:
      return TagExtr(context, result, tag, mode);
    case kKeywordBinaryTagRepl:
      return TagRepl(context, result, tag, ValueText(context, arguments[1].value));
    case kKeywordBinaryTagIndex:
      if (mode != 0 && mode != 1) return SetError(context, kErrTagMode);
      return SetEvalInteger(
          context, result,
          tag.offset + (mode == 0 ? static_cast<std::int32_t>(tag.startTag.size()) : 0));
    default:
      if (mode != 0 && mode != 1) return SetError(context, kErrTagMode);
      return SetEvalInteger(context, result, mode == 0 ? tag.dataLength : SectionLength(tag));
  }
}

}  // namespace kel
