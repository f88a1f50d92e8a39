// Value conversions: integer, float, ANSI and UTF-16 text, and the copy and release rules.
#include "lang/value.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "lang/array_record.h"
#include "lang/string_heap.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

template <typename Char>
std::size_t TextLength(const Char* text) {
  std::size_t length = 0;
  while (text[length] != 0)
    ++length;
  return length;
}

template <typename Char>
std::size_t FormatIntegerInto(std::int32_t number, Char* buffer, int radix) {
  static constexpr char kMinimum[] = "-2147483648";
  if (number == INT32_MIN || radix < 2 || radix > 36) {
    // The most negative number reads the same in every radix; a bad radix gets decimal.
    if (number != INT32_MIN) radix = 10;
    if (number == INT32_MIN) {
      std::size_t i = 0;
      for (; kMinimum[i] != 0; ++i)
        buffer[i] = static_cast<Char>(kMinimum[i]);
      buffer[i] = 0;
      return i;
    }
  }
  char digits[40];
  std::size_t count = 0;
  std::uint32_t magnitude =
      number < 0 ? static_cast<std::uint32_t>(-number) : static_cast<std::uint32_t>(number);
  do {
    digits[count++] = kDigits[magnitude % static_cast<std::uint32_t>(radix)];
    magnitude /= static_cast<std::uint32_t>(radix);
  } while (magnitude != 0);
  std::size_t length = 0;
  if (number < 0) buffer[length++] = '-';
  while (count > 0)
    buffer[length++] = static_cast<Char>(digits[--count]);
  buffer[length] = 0;
  return length;
}

template <typename Char>
std::int32_t ParseIntegerText(const Char* text) {
  while (*text == ' ')
    ++text;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  std::uint32_t value = 0;  // wraps around like the 32-bit accumulator it models
  while (*text >= '0' && *text <= '9')
    value = value * 10u + static_cast<std::uint32_t>(*text++ - '0');
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

template <typename Char>
std::int32_t ParseRadixText(const Char* text, int radix) {
  if (radix < 2 || radix > 36) return -1;
  std::size_t length = TextLength(text);
  std::uint32_t value = 0, weight = 1;
  for (std::size_t i = length; i-- > 0;) {
    Char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'Z')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'z')
      digit = c - 'a' + 10;
    else
      return -2;
    if (digit >= radix) return -2;
    value += static_cast<std::uint32_t>(digit) * weight;
    weight *= static_cast<std::uint32_t>(radix);
  }
  return static_cast<std::int32_t>(value);
}

template <typename Char>
bool IsDigit(Char c, bool hex) {
  return (c >= '0' && c <= '9') || (hex && ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')));
}

template <typename Char>
bool IsNumberText(const Char* text, bool hex) {
  while (*text == ' ' || *text == '\t')
    ++text;
  if (*text == '-' || *text == '+') ++text;
  while (IsDigit(*text, hex))
    ++text;
  while (*text == ' ' || *text == '\t')
    ++text;
  return *text == 0;
}

// Pads the exponent of a printed float to three digits, as the system's own printf writes it.
void WidenExponent(char* text) {
  char* e = std::strpbrk(text, "eE");
  if (e == nullptr || (e[1] != '+' && e[1] != '-')) return;
  char* digits = e + 2;
  std::size_t count = std::strlen(digits);
  if (count >= 3) return;
  std::memmove(digits + (3 - count), digits, count + 1);
  std::memset(digits, '0', 3 - count);
}

std::int32_t RoundHalfAway(double x) {
  return static_cast<std::int32_t>(x >= 0 ? x + 0.5 : x - 0.5);
}

// The decimal text of an integer or float Value; false for anything else.
bool FormatNumber(BatchContext& context, const Value& value, char* buffer) {
  if ((value.flags & kValueInteger) != 0) {
    FormatIntegerInto(value.intValue, buffer, 10);
    return true;
  }
  return (value.flags & kValueFloat) != 0 && FormatFloat(context, value.floatValue, buffer);
}

// Records a new heap text in the Value; a failed allocation (offset 0) is 3096.
bool StoreText(BatchContext& context, Value& value, std::uint32_t offset) {
  if (offset == 0) {
    SetError(context, kErrOutOfStringMemory);
    return false;
  }
  value.textRef = offset;
  value.flags |= kValueText;
  return true;
}

bool StoreWideText(BatchContext& context, Value& value, std::uint32_t offset) {
  if (offset == 0) {
    SetError(context, kErrOutOfStringMemory);
    return false;
  }
  value.wideRef = offset;
  value.flags |= kValueWideText;
  return true;
}

// Converts the Value's ANSI text to UTF-16 into a new heap block.
bool WidenText(BatchContext& context, Value& value) {
  const char* text = ValueText(context, value);
  std::size_t length = std::strlen(text);
  std::uint32_t offset;
  if (length == 0) {
    offset = HeapCopyWide(context, u"", 0);
  } else {
    std::vector<char16_t> wide(length);
    int units = platform::AnsiToWide(context.codePage, text, length, wide.data(), wide.size());
    if (units < 0) return false;
    offset = HeapCopyWide(context, wide.data(), static_cast<std::size_t>(units));
  }
  return StoreWideText(context, value, offset);
}

// Converts the Value's UTF-16 text to ANSI into a new heap block.
bool NarrowWideText(BatchContext& context, Value& value) {
  const char16_t* wide = ValueWideText(context, value);
  std::size_t length = TextLength(wide);
  std::uint32_t offset;
  if (length == 0) {
    offset = HeapCopyText(context, "", 0);
  } else {
    std::vector<char> text(length * 4);
    int bytes = platform::WideToAnsi(context.codePage, wide, length, text.data(), text.size());
    if (bytes < 0) return false;
    offset = HeapCopyText(context, text.data(), static_cast<std::size_t>(bytes));
  }
  return StoreText(context, value, offset);
}

// Objects are converted by the automation support; this build has none, so no Value can
// carry an object and every conversion of one is refused with error 0.
bool ObjectToPlain(BatchContext&, Value&) {
  return false;
}

}  // namespace

const char* ValueText(const BatchContext& context, const Value& value) {
  if (value.textRef == 0 || context.heapBase == nullptr) return "";
  return reinterpret_cast<const char*>(context.heapBase + value.textRef);
}

const char16_t* ValueWideText(const BatchContext& context, const Value& value) {
  if (value.wideRef == 0 || context.heapBase == nullptr) return u"";
  return reinterpret_cast<const char16_t*>(context.heapBase + value.wideRef);
}

void SetIntegerValue(BatchContext&, Value& value, std::uint32_t kind, std::int32_t number) {
  if ((kind & kSetKeepVariantType) == 0) std::memset(value.objectData, 0, 2);
  value.floatValue = 0;
  value.textRef = 0;
  value.wideRef = 0;
  value.intValue = number;
  value.flags = kValueInteger;
  if ((kind & 0xFF) == kHolderEval) {
    auto& eval = reinterpret_cast<EvalValue&>(value);
    eval.originElement = 0;
    eval.originSlot = kOriginNone;
    eval.originFrame = kOriginNone;
  }
}

void ReleaseValue(BatchContext& context, Value& value, std::uint32_t, std::uint32_t kind) {
  if ((value.flags & kValueText) != 0) {
    if (value.textRef != 0) VFree(context, static_cast<std::uint32_t>(value.textRef));
    value.textRef = 0;
    value.flags &= ~kValueText;
  }
  if ((value.flags & kValueWideText) != 0) {
    if (value.wideRef != 0) VFree(context, value.wideRef);
    value.wideRef = 0;
    value.flags &= ~kValueWideText;
  }
  if ((value.flags & kValueArray) != 0 && (kind & kReleaseKeepArray) == 0) {
    ReleaseArrayHolder(context, reinterpret_cast<ArrayRecord*>(value.textRef));
    value.textRef = 0;
    value.flags &= ~kValueArray;
  }
  if ((value.flags & kValueObject) != 0 && (kind & kReleaseKeepObject) == 0) {
    bool copyOfVariable = (kind & 0xFF) == kHolderEval &&
                          reinterpret_cast<EvalValue&>(value).originSlot != kOriginNone;
    if (!copyOfVariable) value.flags &= ~(kValueObject | kValueObjectCompanion);
  }
}

bool CopyValue(BatchContext& context, const Value& source, Value& destination,
               std::uint32_t sourceIndex, std::uint32_t mode) {
  std::uint32_t sourceKind = mode & 0x0F;
  std::uint32_t destinationKind = (mode >> 4) & 0x0F;
  std::uintptr_t textRef = source.textRef;
  std::uint32_t wideRef = source.wideRef;
  if ((mode & kCopyDuplicateTexts) != 0) {
    if ((source.flags & kValueText) != 0 && source.textRef != 0) {
      const char* text = ValueText(context, source);
      textRef = HeapCopyText(context, text, std::strlen(text));
      if (textRef == 0) {
        SetError(context, kErrOutOfStringMemory);
        return false;
      }
    }
    if ((source.flags & kValueWideText) != 0 && source.wideRef != 0) {
      const char16_t* wide = ValueWideText(context, source);
      wideRef = HeapCopyWide(context, wide, TextLength(wide));
      if (wideRef == 0) {
        if (textRef != source.textRef) VFree(context, static_cast<std::uint32_t>(textRef));
        SetError(context, kErrOutOfStringMemory);
        return false;
      }
    }
  }
  if ((mode & kCopyAddArrayHolder) != 0 && (source.flags & kValueArray) != 0)
    AddArrayHolder(reinterpret_cast<ArrayRecord*>(source.textRef));
  std::memcpy(destination.objectData, source.objectData, kVariantBytes);
  destination.floatValue = source.floatValue;
  destination.intValue = source.intValue;
  destination.flags = source.flags;
  destination.textRef = textRef;
  destination.wideRef = wideRef;
  if (destinationKind == kHolderEval) {
    auto& eval = reinterpret_cast<EvalValue&>(destination);
    eval.originElement = 0;
    eval.originSlot = kOriginNone;
    eval.originFrame = kOriginNone;
    if (sourceKind == kHolderSlot) {
      eval.originSlot = static_cast<std::uint16_t>(sourceIndex & 0xFFFF);
      eval.originFrame = (mode & kCopyFrameGiven) != 0
                             ? static_cast<std::uint16_t>(sourceIndex >> 16)
                             : context.currentFrame;
    } else if (sourceKind == kHolderOther) {
      eval.originSlot = kOriginElement;
      eval.originElement = reinterpret_cast<std::uintptr_t>(&source);
    }
  }
  return true;
}

bool ToInteger(BatchContext& context, Value& value, bool allowFloat) {
  if ((value.flags & kValueInteger) != 0) return true;
  if ((value.flags & kValueFloat) != 0) {
    if (!allowFloat) return false;
    double x = value.floatValue;
    double rounded = std::trunc(x >= 0 ? x + 0.5 : x - 0.5);
    // Not quite the full 32-bit range: the bounds are those of the rounded value.
    if (!(rounded <= 2147483645.0 && rounded >= -2147483645.0)) {
      value.intValue = 0;
      return false;
    }
    value.intValue = static_cast<std::int32_t>(rounded);
    if (TakeMathError(context)) return false;
    value.flags = (value.flags | kValueInteger) & ~kValueFloat;
    return true;
  }
  if ((value.flags & kValueObject) != 0 && !ObjectToPlain(context, value)) return false;
  if ((value.flags & kValueInteger) != 0) return true;
  if ((value.flags & kValueText) == 0 && (value.flags & kValueWideText) != 0 &&
      !NarrowWideText(context, value))
    return false;
  if ((value.flags & kValueText) == 0) return false;
  const char* text = ValueText(context, value);
  if (!IsStrictIntegerText(text)) return false;
  value.intValue = ParseIntegerText(text);
  value.flags |= kValueInteger;
  return true;
}

bool ToText(BatchContext& context, Value& value) {
  if ((value.flags & kValueText) != 0) return true;
  if ((value.flags & kValueObject) != 0)
    return ObjectToPlain(context, value) && ToText(context, value);
  if ((value.flags & kValueWideText) != 0) return NarrowWideText(context, value);
  char buffer[kNumberTextBytes];
  if (!FormatNumber(context, value, buffer)) return false;
  return StoreText(context, value, HeapCopyText(context, buffer, std::strlen(buffer)));
}

bool ToWideText(BatchContext& context, Value& value) {
  if ((value.flags & kValueWideText) != 0) return true;
  if ((value.flags & kValueObject) != 0)
    return ObjectToPlain(context, value) && ToWideText(context, value);
  if ((value.flags & kValueText) != 0) return WidenText(context, value);
  char buffer[kNumberTextBytes];
  if (!FormatNumber(context, value, buffer)) return false;
  buffer[31] = '\0';  // a number's text is at most 31 characters here
  char16_t wide[32];
  std::size_t length = std::strlen(buffer);
  for (std::size_t i = 0; i <= length; ++i)
    wide[i] = static_cast<unsigned char>(buffer[i]);
  return StoreWideText(context, value, HeapCopyWide(context, wide, length));
}

bool ToFloat(BatchContext& context, Value& value) {
  if ((value.flags & kValueFloat) != 0) return true;
  if ((value.flags & kValueObject) != 0 && !ObjectToPlain(context, value)) return false;
  if ((value.flags & kValueFloat) != 0) return true;
  if ((value.flags & kValueInteger) != 0) {
    value.floatValue = static_cast<double>(value.intValue);
    value.flags |= kValueFloat;
    return true;
  }
  if ((value.flags & kValueText) == 0 && (value.flags & kValueWideText) != 0 &&
      !NarrowWideText(context, value))
    return false;
  if ((value.flags & kValueText) == 0) return false;
  double number;
  std::uint32_t before = context.errors.errNum;
  if (!ParseFloat(context, ValueText(context, value), &number)) {
    // The caller reports its own conversion error, whatever the parse said.
    context.errors.errNum = before;
    return false;
  }
  value.floatValue = number;
  value.flags |= kValueFloat;
  return true;
}

std::size_t FormatInteger(std::int32_t number, char* buffer, int radix) {
  return FormatIntegerInto(number, buffer, radix);
}

std::size_t FormatInteger(std::int32_t number, char16_t* buffer, int radix) {
  return FormatIntegerInto(number, buffer, radix);
}

bool FormatFloat(BatchContext& context, double number, char* buffer) {
  std::int32_t decimals = context.decimals;
  if (std::isnan(number)) {
    SetError(context, kErrFloatNan);
    return false;
  }
  if (number == 0.0 && decimals == -1) {
    std::strcpy(buffer, "0.0");
    return true;
  }
  if (decimals == 0 && std::fabs(number) <= 2147483647.0) {
    std::snprintf(buffer, kNumberTextBytes, "%ld", static_cast<long>(RoundHalfAway(number)));
    return true;
  }
  if (decimals == -2 || decimals == -3) {
    char* out = buffer;
    std::snprintf(out + 1, kNumberTextBytes - 1, decimals == -2 ? "%g" : "%e", number);
    if (out[1] == '.') {
      out[0] = '0';
    } else {
      std::memmove(out, out + 1, std::strlen(out + 1) + 1);
    }
    WidenExponent(buffer);
    return true;
  }
  int precision = 8, minimumFraction = 1;
  bool trim = decimals < 0;
  if (decimals >= 0) precision = minimumFraction = decimals;
  double magnitude = std::fabs(number);
  bool exponential = magnitude > 999999999.0 || (magnitude < 0.0001 && decimals == -1);
  std::snprintf(buffer, kNumberTextBytes - 12, exponential ? "%#1.*e" : "%#1.*f", precision,
                number);
  WidenExponent(buffer);
  if (std::strchr(buffer, '.') == nullptr) {
    std::strcat(buffer, ".0");
    trim = true;
  }
  if (!exponential && trim) {
    std::size_t length = std::strlen(buffer);
    while (length > 0 && buffer[length - 1] == '0')
      buffer[--length] = '\0';
  }
  const char* point = std::strchr(buffer, '.');
  std::size_t fraction = 0;
  for (const char* p = point + 1; *p >= '0' && *p <= '9'; ++p)
    ++fraction;
  // An exponential text always carries its precision's digits, so only a fixed one grows here.
  std::size_t length = std::strlen(buffer);
  while (fraction < static_cast<std::size_t>(minimumFraction) && length + 1 < kNumberTextBytes) {
    buffer[length++] = '0';
    buffer[length] = '\0';
    ++fraction;
  }
  return true;
}

bool IsStrictIntegerText(const char* text) {
  while (*text == ' ')
    ++text;
  while (*text == '-' || *text == '+')
    ++text;
  if (!(*text >= '0' && *text <= '9')) return false;
  while (*text >= '0' && *text <= '9')
    ++text;
  return *text == 0;
}

std::int32_t ParseInteger(const char* text) {
  return ParseIntegerText(text);
}
std::int32_t ParseInteger(const char16_t* text) {
  return ParseIntegerText(text);
}

bool ParseFloat(BatchContext& context, const char* text, double* out) {
  if (std::strpbrk(text, "dD") != nullptr) return false;
  // The decimal syntax only: no "inf", "nan" or hexadecimal forms, whatever the C library
  // would take, so that every build reads the same texts as numbers.
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
    ++p;
  if (*p == '+' || *p == '-') ++p;
  bool digits = false;
  while (*p >= '0' && *p <= '9')
    ++p, digits = true;
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9')
      ++p, digits = true;
  }
  if (!digits) return false;
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!(*p >= '0' && *p <= '9')) return false;
    while (*p >= '0' && *p <= '9')
      ++p;
  }
  if (*p != '\0') return false;
  errno = 0;
  double number = std::strtod(text, nullptr);
  if (errno == ERANGE && std::fabs(number) > 1.0) {
    SetError(context, kErrFloatTooLarge);
    return false;
  }
  *out = number;
  return true;
}

std::int32_t ParseRadix(const char* text, int radix) {
  return ParseRadixText(text, radix);
}
std::int32_t ParseRadix(const char16_t* text, int radix) {
  return ParseRadixText(text, radix);
}
bool IsIntegerText(const char* text) {
  return IsNumberText(text, false);
}
bool IsIntegerText(const char16_t* text) {
  return IsNumberText(text, false);
}
bool IsHexText(const char* text) {
  return IsNumberText(text, true);
}
bool IsHexText(const char16_t* text) {
  return IsNumberText(text, true);
}

std::int32_t SetDecimals(BatchContext& context, std::int32_t decimals) {
  std::int32_t previous = context.decimals;
  if (decimals > 8) decimals = 8;
  if (decimals < -3) decimals = -1;
  context.decimals = decimals;
  return previous;
}

}  // namespace kel
