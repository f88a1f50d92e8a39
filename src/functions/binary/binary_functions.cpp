// Allocating and freeing buffers, their end of data, and moving values, strings and hex texts
// in and out of them; copying, comparing and combining ranges of bytes.
#include <cstring>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/binary/binary_support.h"
#include "functions/strings/text_units.h"
#include "lang/array_access.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"

namespace kel {
namespace {

void Alloc(BatchContext& context, EvalValue& result, std::int32_t size) {
  std::int32_t handle = AllocateBuffer(context.buffers, size);
  if (handle == -1) return SetError(context, kErrBufferTooMany);
  if (handle < 0) return SetError(context, kErrBufferAllocFailed);
  SetEvalInteger(context, result, handle);
  result.value.flags |= kValueBufferHandle;
}

void BufInfo(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::int32_t request = IntegerAt(arguments, 1);
  Value& item = arguments[0].value;
  bool isNumber = (item.flags & kValueInteger) != 0 || ToInteger(context, item, false);
  if (HasError(context)) return;
  BufferSlot* buffer = isNumber ? BufferOfHandle(context.buffers, item.intValue) : nullptr;
  if (request == -1) return SetEvalInteger(context, result, buffer != nullptr ? 1 : 0);
  if (request < 0 || request > 2) return SetError(context, kErrInvalidRequest);
  if (buffer == nullptr) return SetError(context, kErrBufferHandle);
  switch (request) {
    case 0:
      return SetEvalInteger(context, result, buffer->size);
    case 1:
      // The address as the 32-bit integer the language carries.
      return SetEvalInteger(
          context, result,
          static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(buffer->data)));
    default:
      return SetEvalInteger(context, result, buffer->eod);
  }
}

void EodSet(BatchContext& context, EvalValue& result, BufferSlot& buffer, std::int32_t eod) {
  if (eod < 0) return SetError(context, kErrBufferInvalidOffset);
  if (eod > buffer.size) return SetError(context, kErrEodBeyondSize);
  SetEvalInteger(context, result, buffer.eod);
  buffer.eod = eod;
}

// The width in bytes of a peek, poke or increment (8 for the floating forms).
int WidthOf(std::uint32_t code) {
  switch (code) {
    case kKeywordBinaryPeek2:
    case kKeywordBinaryPoke2:
    case kKeywordBinaryIncr2:
      return 2;
    case kKeywordBinaryPeek4:
    case kKeywordBinaryPoke4:
    case kKeywordBinaryIncr4:
      return 4;
    case kKeywordBinaryPeekFlt:
    case kKeywordBinaryPokeFlt:
    case kKeywordBinaryIncrFlt:
      return 8;
    default:
      return 1;
  }
}

std::int32_t ReadInteger(const std::uint8_t* at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = (value << 8) | at[i];
  return static_cast<std::int32_t>(value);
}

void WriteInteger(std::uint8_t* at, int width, std::uint32_t value) {
  for (int i = 0; i < width; ++i, value >>= 8)
    at[i] = static_cast<std::uint8_t>(value);
}

// BinaryAllocArray: a buffer holding the elements of an array in their row-major order, each
// integer as 4 bytes and each floating-point number as 8, low byte first; its end of data is
// its size. Elements of any other kind, or of both kinds, are refused.
void AllocArray(BatchContext& context, EvalValue& result, const Value& argument) {
  ArrayRecord* array = ArrayOfValue(context, argument);
  if (array == nullptr) return;
  std::uint32_t kind = 0;
  for (std::uint32_t i = 0; i < array->elementCount; ++i) {
    const std::uint32_t flags = array->elements[i].flags;
    std::uint32_t each = 0;
    if ((flags & (kValueArray | kValueObject)) == 0)
      each = (flags & kValueInteger) != 0 ? std::uint32_t{kValueInteger}
             : (flags & kValueFloat) != 0 ? std::uint32_t{kValueFloat}
                                          : 0u;
    if (each == 0) return SetError(context, kErrAllocArrayType);
    if (kind != 0 && each != kind) return SetError(context, kErrAllocArrayMixed);
    kind = each;
  }
  const std::uint64_t width = kind == kValueFloat ? 8 : 4;
  const std::uint64_t bytes = width * array->elementCount;
  if (bytes > 0x7FFFFFFF) return SetError(context, kErrBufferAllocFailed);
  Alloc(context, result, static_cast<std::int32_t>(bytes));
  if (HasError(context)) return;
  BufferSlot* buffer = BufferOfHandle(context.buffers, result.value.intValue);
  for (std::uint32_t i = 0; i < array->elementCount; ++i) {
    const Value& element = array->elements[i];
    if (width == 8)
      std::memcpy(buffer->data + 8 * i, &element.floatValue, 8);
    else
      WriteInteger(buffer->data + 4 * i, 4, static_cast<std::uint32_t>(element.intValue));
  }
  buffer->eod = buffer->size;
}

// A poke of width 1 or 2 takes the value's low bits when the rest only extends their sign or
// is zero: -256 .. 255 for bytes, -65536 .. 65535 for words.
bool PokeValueFits(std::int32_t value, int width) {
  if (width == 4) return true;
  std::int32_t low = 1 << (8 * width);
  return value >= -low && value < low;
}

// BinaryPeek..., BinaryPoke... and BinaryIncr...: the range is checked against the size and
// the end of data raised to its end before the value is read or written, peeks included.
void ValueAccess(BatchContext& context, std::uint32_t code, EvalValue& result, EvalValue* arguments,
                 BufferSlot& buffer) {
  const int width = WidthOf(code);
  const std::int32_t offset = IntegerAt(arguments, 1);
  if (offset < 0) return SetError(context, kErrBufferInvalidOffset);
  if (static_cast<std::int64_t>(offset) + width > buffer.size)
    return SetError(context, kErrPeekBeyondSize);
  const bool poke = code == kKeywordBinaryPoke || code == kKeywordBinaryPoke2 ||
                    code == kKeywordBinaryPoke4 || code == kKeywordBinaryPokeFlt;
  const bool increment = code == kKeywordBinaryIncr || code == kKeywordBinaryIncr2 ||
                         code == kKeywordBinaryIncr4 || code == kKeywordBinaryIncrFlt;
  if (poke && width < 8 && !PokeValueFits(IntegerAt(arguments, 2), width))
    return SetError(context, kErrPokeRange);
  RaiseEod(buffer, static_cast<std::int64_t>(offset) + width);
  std::uint8_t* at = buffer.data + offset;
  if (width == 8) {
    double value;
    std::memcpy(&value, at, sizeof value);
    double stored = poke ? arguments[2].value.floatValue : increment ? value + 1.0 : value;
    if (poke || increment) std::memcpy(at, &stored, sizeof stored);
    return SetFloatResult(context, result, increment ? stored : value);
  }
  std::int32_t value = ReadInteger(at, width);
  if (poke) WriteInteger(at, width, static_cast<std::uint32_t>(IntegerAt(arguments, 2)));
  if (increment) {
    WriteInteger(at, width, static_cast<std::uint32_t>(value) + 1);
    value = ReadInteger(at, width);
  }
  SetEvalInteger(context, result, value);
}

// BinaryPeekStr and BinaryPeekStrW: up to maxsize bytes from the offset, stopping at the end
// of data. The wide form counts bytes and takes an optional byte order (1: high byte first).
void PeekString(BatchContext& context, std::uint32_t code, int count, EvalValue& result,
                EvalValue* arguments, const BufferSlot& buffer) {
  const bool wide = code == kKeywordBinaryPeekStrW;
  const std::int32_t offset = IntegerAt(arguments, 1), maxsize = IntegerAt(arguments, 2);
  if (offset < 0) return SetError(context, kErrBufferInvalidOffset);
  if (maxsize < 0) return SetError(context, kErrBufferInvalidCount);
  if (offset > buffer.size || (offset == buffer.size && maxsize > 0))
    return SetError(context, kErrPeekStrBeyond);
  if (wide && maxsize % 2 != 0) return SetError(context, kErrPeekStrWOddSize);
  std::int64_t available = offset < buffer.eod ? buffer.eod - offset : 0;
  std::size_t bytes = static_cast<std::size_t>(available < maxsize ? available : maxsize);
  const std::uint8_t* from = buffer.data + offset;
  if (!wide) {
    std::size_t length = 0;
    while (length < bytes && from[length] != 0)
      ++length;
    SetTextResult<char>(context, result, reinterpret_cast<const char*>(from), length);
    return;
  }
  if (bytes % 2 != 0) return SetError(context, kErrPeekStrWOddData);
  const bool highFirst = count > 3 && IntegerAt(arguments, 3) == 1;
  std::u16string text;
  for (std::size_t i = 0; i < bytes; i += 2) {
    char16_t unit = highFirst ? static_cast<char16_t>(from[i] << 8 | from[i + 1])
                              : static_cast<char16_t>(from[i + 1] << 8 | from[i]);
    if (unit == 0) break;
    text += unit;
  }
  SetTextResult<char16_t>(context, result, text.data(), text.size());
}

// BinaryPokeStr and BinaryPokeStrW store the string without its terminating zero.
void PokeString(BatchContext& context, std::uint32_t code, int count, EvalValue& result,
                EvalValue* arguments, BufferSlot& buffer) {
  const std::int32_t offset = IntegerAt(arguments, 1);
  if (offset < 0) return SetError(context, kErrBufferInvalidOffset);
  std::vector<std::uint8_t> bytes;
  if (code == kKeywordBinaryPokeStrW) {
    const bool highFirst = count > 3 && IntegerAt(arguments, 3) == 1;
    for (const char16_t* unit = ValueWideText(context, arguments[2].value); *unit != 0; ++unit) {
      std::uint8_t low = static_cast<std::uint8_t>(*unit),
                   high = static_cast<std::uint8_t>(*unit >> 8);
      bytes.push_back(highFirst ? high : low);
      bytes.push_back(highFirst ? low : high);
    }
  } else {
    const char* text = ValueText(context, arguments[2].value);
    bytes.assign(text, text + std::strlen(text));
  }
  if (static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(bytes.size()) > buffer.size)
    return SetError(context, kErrPokeStrOverrun);
  if (!bytes.empty()) std::memcpy(buffer.data + offset, bytes.data(), bytes.size());
  RaiseEod(buffer, static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(bytes.size()));
  SetEvalInteger(context, result, static_cast<std::int32_t>(bytes.size()));
}

void PeekHex(BatchContext& context, EvalValue& result, EvalValue* arguments,
             const BufferSlot& buffer) {
  const std::int32_t offset = IntegerAt(arguments, 1), count = IntegerAt(arguments, 2);
  if (count == 0 && offset >= 0 && offset <= buffer.eod)
    return (void)SetEmptyResult<char>(context, result);
  if (!CheckRange(context, buffer, offset, count, RangeLimit::Eod)) return;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char* text = NewTextResult<char>(context, result, static_cast<std::uint64_t>(count) * 2);
  if (text == nullptr) return;
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint8_t byte = buffer.data[offset + i];
    text[2 * i] = kDigits[byte >> 4];
    text[2 * i + 1] = kDigits[byte & 15];
  }
}

void PokeHex(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  const std::int32_t offset = IntegerAt(arguments, 1);
  std::vector<std::uint8_t> bytes;
  if (!ParseHexBytes(ValueText(context, arguments[2].value), bytes))
    return SetError(context, kErrPokeHexInvalid);
  if (offset < 0) return SetError(context, kErrBufferInvalidOffset);
  std::int64_t end = static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(bytes.size());
  if (end > buffer.size) return SetError(context, kErrPokeHexOverrun);
  if (!bytes.empty()) std::memcpy(buffer.data + offset, bytes.data(), bytes.size());
  RaiseEod(buffer, end);
  SetEvalInteger(context, result, static_cast<std::int32_t>(bytes.size()));
}

// The arguments of the functions on ranges of two buffers: (first, offset, second, offset,
// count). False when either handle names no buffer (3023).
struct TwoRanges {
  BufferSlot* first;
  BufferSlot* second;
  std::int32_t firstOffset, secondOffset, count;
};

bool TwoRangeArguments(BatchContext& context, EvalValue* arguments, TwoRanges& ranges) {
  ranges.first = BufferArgument(context, arguments[0]);
  ranges.second = ranges.first == nullptr ? nullptr : BufferArgument(context, arguments[2]);
  ranges.firstOffset = IntegerAt(arguments, 1);
  ranges.secondOffset = IntegerAt(arguments, 3);
  ranges.count = IntegerAt(arguments, 4);
  return ranges.second != nullptr;
}

// BinaryCopy: the target's end of data is raised before the source range is checked.
void Copy(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TwoRanges r;
  if (!TwoRangeArguments(context, arguments, r)) return;
  BufferSlot& target = *r.first;
  const BufferSlot& source = *r.second;
  if (r.firstOffset < 0 || r.secondOffset < 0) return SetError(context, kErrBufferInvalidOffset);
  if (r.count < 0) return SetError(context, kErrBufferInvalidCount);
  if (r.firstOffset >= target.size || r.secondOffset >= source.size)
    return SetError(context, kErrCopyOffset);
  if (static_cast<std::int64_t>(r.firstOffset) + r.count > target.size)
    return SetError(context, kErrCopyTargetFit);
  RaiseEod(target, static_cast<std::int64_t>(r.firstOffset) + r.count);
  if (static_cast<std::int64_t>(r.secondOffset) + r.count > source.size)
    return SetError(context, kErrCopySourceBeyond);
  // Byte by byte from the first byte on, also when the two ranges of one buffer overlap.
  std::uint8_t* to = target.data + r.firstOffset;
  const std::uint8_t* from = source.data + r.secondOffset;
  for (std::int32_t i = 0; i < r.count; ++i)
    to[i] = from[i];
  SetEvalInteger(context, result, r.count);
}

void Compare(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TwoRanges r;
  if (!TwoRangeArguments(context, arguments, r) ||
      !CheckRange(context, *r.first, r.firstOffset, r.count, RangeLimit::Size) ||
      !CheckRange(context, *r.second, r.secondOffset, r.count, RangeLimit::Size))
    return;
  if (r.count == 0) return SetEvalInteger(context, result, 1);
  if (r.firstOffset + r.count > r.first->eod || r.secondOffset + r.count > r.second->eod) return;
  bool equal = std::memcmp(r.first->data + r.firstOffset, r.second->data + r.secondOffset,
                           static_cast<std::size_t>(r.count)) == 0;
  SetEvalInteger(context, result, equal ? 1 : 0);
}

void Combine(BatchContext& context, std::uint32_t code, EvalValue& result, EvalValue* arguments) {
  TwoRanges r;
  if (!TwoRangeArguments(context, arguments, r) ||
      !CheckRange(context, *r.first, r.firstOffset, r.count, RangeLimit::Eod) ||
      !CheckRange(context, *r.second, r.secondOffset, r.count, RangeLimit::Eod))
    return;
  std::uint8_t* to = r.first->data + r.firstOffset;
  const std::uint8_t* from = r.second->data + r.secondOffset;
  for (std::int32_t i = 0; i < r.count; ++i) {
    if (code == kKeywordBinaryAnd)
      to[i] &= from[i];
    else if (code == kKeywordBinaryOr)
      to[i] |= from[i];
    else
      to[i] ^= from[i];
  }
  SetEvalInteger(context, result, 1);
}

// BinaryOleType: hundreds give the direction, the rest the data type; 0 clears the setting.
void OleType(BatchContext& context, EvalValue& result, BufferSlot& buffer, std::int32_t type) {
  if (type == 0) {
    buffer.oleType = 0;
    buffer.oleDirection = 0;
    return SetEvalInteger(context, result, 1);
  }
  if (type < 100) return SetError(context, kErrOleTypeNoDirection);
  if (type >= 400 || type % 100 > 11) return SetError(context, kErrOleTypeInvalid);
  if (type % 100 == 0) return SetError(context, kErrOleTypeNoDataType);
  buffer.oleDirection = type / 100;
  buffer.oleType = type % 100;
  SetEvalInteger(context, result, 1);
}

}  // namespace

KEL_FAMILY_ROUTINE(BinaryFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordBinaryAlloc:
      return Alloc(context, result, IntegerAt(arguments, 0));
    case kKeywordBinaryBufInfo:
      return BufInfo(context, result, arguments);
    case kKeywordBinaryAllocArray:
      return AllocArray(context, result, arguments[0].value);
    case kKeywordBinaryCopy:
      return Copy(context, result, arguments);
    case kKeywordBinaryCompare:
      return Compare(context, result, arguments);
    case kKeywordBinaryAnd:
    case kKeywordBinaryOr:
    case kKeywordBinaryXor:
      return Combine(context, code, result, arguments);
    default:
      break;
  }
  BufferSlot* buffer = BufferArgument(context, arguments[0]);
  if (buffer == nullptr) return;
  switch (code) {
    case kKeywordBinaryFree:
      ReleaseBuffer(*buffer);
      return SetEvalInteger(context, result, 0);
    case kKeywordBinaryEodGet:
      return SetEvalInteger(context, result, buffer->eod);
    case kKeywordBinaryEodSet:
      return EodSet(context, result, *buffer, IntegerAt(arguments, 1));
    case kKeywordBinaryPeekStr:
    case kKeywordBinaryPeekStrW:
      return PeekString(context, code, count, result, arguments, *buffer);
    case kKeywordBinaryPokeStr:
    case kKeywordBinaryPokeStrW:
      return PokeString(context, code, count, result, arguments, *buffer);
    case kKeywordBinaryPeekHex:
      return PeekHex(context, result, arguments, *buffer);
    case kKeywordBinaryPokeHex:
      return PokeHex(context, result, arguments, *buffer);
    case kKeywordBinaryOleType:
      return OleType(context, result, *buffer, IntegerAt(arguments, 1));
    default:
      return ValueAccess(context, code, result, arguments, *buffer);
  }
}

}  // namespace kel
