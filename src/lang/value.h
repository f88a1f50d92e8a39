// The operations on Values: copying and releasing them, and their conversions between integer,
// float, ANSI text and UTF-16 text.
//
// A Value may carry several representations of one datum at once: a conversion adds one and
// marks it present, so a number printed once keeps its text. Texts live in the context's string
// heap and are referred to by offsets from the heap base (0 is the empty text).
#ifndef KEL_LANG_VALUE_H
#define KEL_LANG_VALUE_H

#include <cstddef>
#include <cstdint>

#include "core/value_record.h"

namespace kel {

struct BatchContext;

// The kinds of holder the copy and release operations work on.
enum HolderKind : std::uint32_t {
  kHolderSlot = 1,   // a variable slot (index = slot number)
  kHolderEval = 2,   // an EvalValue with its origin fields
  kHolderOther = 3,  // an array element or a function's private Value
};

// ReleaseValue kind bits.
constexpr std::uint32_t kReleaseKeepObject = 0x100;
constexpr std::uint32_t kReleaseKeepArray = 0x200;
// SetIntegerValue kind bit: keep the first word of objectData.
constexpr std::uint32_t kSetKeepVariantType = 0x100;

// CopyValue mode bits: low 4 bits source kind, next 4 destination kind.
constexpr std::uint32_t kCopyToSlot = 0x10;
constexpr std::uint32_t kCopyToEval = 0x20;
constexpr std::uint32_t kCopyToOther = 0x30;
constexpr std::uint32_t kCopyFrameGiven = 0x100;
constexpr std::uint32_t kCopyDuplicateTexts = 0x200;
constexpr std::uint32_t kCopyAddObjectReference = 0x400;
constexpr std::uint32_t kCopyAddArrayHolder = 0x800;

// Room for any number's text (FormatInteger in radix 2 needs 33, FormatFloat at most 40).
constexpr std::size_t kNumberTextBytes = 64;

void SetIntegerValue(BatchContext& context, Value& value, std::uint32_t kind, std::int32_t number);
void ReleaseValue(BatchContext& context, Value& value, std::uint32_t index, std::uint32_t kind);
bool CopyValue(BatchContext& context, const Value& source, Value& destination,
               std::uint32_t sourceIndex, std::uint32_t mode);

// The conversions add the form they are named for to a Value (ToInteger takes a float, rounded,
// only with `allowFloat`). They keep one contract, and FormatFloat and ParseFloat below with
// them: true when the form is there, errNum untouched; false when it cannot be had, and then
// errNum is set when something failed on the way (no room in the string heap, an error of the
// mathematics library, for ParseFloat a number beyond the float range) and untouched when the
// Value merely has no such form (a text that is no number, an array, no value, a text the code
// page cannot carry). So a caller may try one form after another, and a caller that needs the
// form raises the error of its own use (3056, 3057, 3340, 3820 ...) when none is set.
[[nodiscard]] bool ToInteger(BatchContext& context, Value& value, bool allowFloat);
[[nodiscard]] bool ToText(BatchContext& context, Value& value);
[[nodiscard]] bool ToWideText(BatchContext& context, Value& value);
[[nodiscard]] bool ToFloat(BatchContext& context, Value& value);

std::size_t FormatInteger(std::int32_t number, char* buffer, int radix);
std::size_t FormatInteger(std::int32_t number, char16_t* buffer, int radix);
[[nodiscard]] bool FormatFloat(BatchContext& context, double number, char* buffer);

std::int32_t ParseInteger(const char* text);
std::int32_t ParseInteger(const char16_t* text);
[[nodiscard]] bool ParseFloat(BatchContext& context, const char* text, double* out);
std::int32_t ParseRadix(const char* text, int radix);
std::int32_t ParseRadix(const char16_t* text, int radix);
// The text rule of ToInteger: leading spaces, signs right after them, then only digits (at
// least one). The comparison and sorting modes use it to tell integer-like texts.
bool IsStrictIntegerText(const char* text);
bool IsIntegerText(const char* text);
bool IsIntegerText(const char16_t* text);
bool IsHexText(const char* text);
bool IsHexText(const char16_t* text);

// The heap texts of a Value (an empty text for reference 0).
const char* ValueText(const BatchContext& context, const Value& value);
const char16_t* ValueWideText(const BatchContext& context, const Value& value);

// The script function Decimals: stores the new setting, returns the previous one.
std::int32_t SetDecimals(BatchContext& context, std::int32_t decimals);

}  // namespace kel

#endif  // KEL_LANG_VALUE_H
