// Converting a built-in function's arguments to the types its row declares.
#ifndef KEL_BUILTINS_ARGUMENTS_H
#define KEL_BUILTINS_ARGUMENTS_H

#include <cstddef>
#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

constexpr int kMaxArguments = 16;

// The 4-bit argument type codes of a function row.
enum ArgumentType : std::uint32_t {
  kArgumentInteger = 0,         // i
  kArgumentText = 1,            // s: ANSI text
  kArgumentFloat = 2,           // f
  kArgumentArray = 3,           // a
  kArgumentVariant = 4,         // v
  kArgumentWide = 5,            // w: UTF-16 text
  kArgumentModeText = 6,        // t: UTF-16 in a Unicode-mode call, else ANSI
  kArgumentSystemText = 7,      // n: UTF-16 on the NT family, else ANSI
  kArgumentModeSystemText = 8,  // m: UTF-16 in a Unicode-mode call on the NT family
  kArgumentAny = 15,            // x: passed as it is
};

// The type code of argument `index` (0-based) in a row's 64-bit type word.
inline std::uint32_t ArgumentTypeAt(std::uint64_t types, int index) {
  std::uint32_t code = static_cast<std::uint32_t>(types >> (4 * index)) & 0xF;
  return code >= 9 && code <= 14 ? kArgumentInteger : code;
}

// A call is in Unicode mode when a mode-following text argument arrived as UTF-16.
bool IsUnicodeModeCall(const BatchContext& context, const EvalValue* arguments, int count,
                       std::uint64_t types);

// ConvertArgument for an argument that is not of its type already.
bool ConvertArgumentValue(BatchContext& context, EvalValue& argument, std::uint32_t type, int index,
                          bool unicodeMode);

// Converts argument `index` (0-based) in place; false with the error set when it cannot. An
// argument that already is what its parameter takes (the usual case) is answered here, without
// a call.
inline bool ConvertArgument(BatchContext& context, EvalValue& argument, std::uint32_t type,
                            int index, bool unicodeMode) {
  const std::uint32_t flags = argument.value.flags;
  switch (type) {
    case kArgumentInteger:
      if ((flags & kValueInteger) != 0) return true;
      break;
    case kArgumentText:
      if ((flags & kValueText) != 0) return true;
      break;
    case kArgumentModeText:
      if (!unicodeMode && (flags & kValueText) != 0) return true;
      break;
    case kArgumentAny:
      return true;
    default:
      break;
  }
  return ConvertArgumentValue(context, argument, type, index, unicodeMode);
}

// Makes the result a new ANSI text copied from `text`; false with 3096 when the heap is full.
bool SetAnsiResult(BatchContext& context, EvalValue& result, const char* text, std::size_t length);

}  // namespace kel

#endif  // KEL_BUILTINS_ARGUMENTS_H
