// The string functions (Str...): lengths, comparisons, pieces, padding, insertion, trimming,
// case and character classes, with the family's one selection over its codes.
#include <cstring>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/string_routines.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/script_parameters.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The UTF-16 forms whose arguments are declared "n" run on systems that have them.
bool WideCapable() {
  return Process().system.ntFamily;
}

std::int32_t ClampCount(std::size_t count) {
  return count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(count);
}

// ----------------------------------------------------------------------------------------------
// Lengths and comparisons.

template <typename Unit>
void CharacterCount(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  CharacterSteps steps(context);
  std::size_t count = 0;
  if (!steps.HasDoubleByte(text.data, text.length))
    count = text.length;
  else
    for (std::size_t at = 0; at < text.length; at = steps.Next(text.data, text.length, at))
      ++count;
  SetEvalInteger(context, result, ClampCount(count));
}

void ByteCount(BatchContext& context, EvalValue& result, EvalValue* arguments, bool unicode) {
  Value& text = arguments[0].value;
  std::size_t bytes = 0;
  switch (arguments[1].value.intValue) {
    case -1:  // the form the text arrived in
      bytes = unicode ? 2 * WideLength(ValueWideText(context, text))
                      : std::strlen(ValueText(context, text));
      break;
    case 0:
      if (!ToText(context, text)) {
        if (!HasError(context)) SetError(context, kErrNotString);
        return;
      }
      bytes = std::strlen(ValueText(context, text));
      break;
    case 1:
      if (!ToWideText(context, text)) {
        if (!HasError(context)) SetError(context, kErrNotUnicode);
        return;
      }
      bytes = 2 * WideLength(ValueWideText(context, text));
      break;
    default:
      return SetError(context, kErrInvalidRequest);
  }
  SetEvalInteger(context, result, ClampCount(bytes));
}

// The locale comparison's answer as -1, 0 or 1 on every platform.
void Compare(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide,
             bool ignoreCase) {
  int order =
      wide ? platform::CompareLocaleWide(ValueWideText(context, arguments[0].value),
                                         ValueWideText(context, arguments[1].value), ignoreCase)
           : platform::CompareLocaleText(ValueText(context, arguments[0].value),
                                         ValueText(context, arguments[1].value), ignoreCase);
  SetEvalInteger(context, result, order < 0 ? -1 : order > 0 ? 1 : 0);
}

// ----------------------------------------------------------------------------------------------
// Pieces and padding.

template <typename Unit>
void Substring(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, text)) return;
  std::int64_t n = static_cast<std::int64_t>(index.Count());
  std::int64_t start = arguments[1].value.intValue;
  std::int64_t length = arguments[2].value.intValue;
  if (length == -1 || length > n - start + 1) length = n - start + 1;
  if ((start < 1 && length != 0) || (start > n && length > 0) || length <= 0) {
    SetEmptyResult<Unit>(context, result);
    return;
  }
  std::size_t from = index.Offset(static_cast<std::size_t>(start - 1));
  std::size_t to = index.Offset(static_cast<std::size_t>(start - 1 + length));
  SetTextResult(context, result, text.data + from, to - from);
}

// How many units `characters` characters of a pad repeated from its first character take.
template <typename Unit>
std::uint64_t CycledUnits(const CharacterIndex<Unit>& pad, std::uint64_t characters) {
  std::uint64_t whole = characters / pad.Count();
  return whole * pad.Offset(pad.Count()) + pad.Offset(characters % pad.Count());
}

// Writes `characters` characters of a pad repeated from its first character; the end.
template <typename Unit>
Unit* WriteCycled(Unit* out, const Unit* pad, const CharacterIndex<Unit>& index,
                  std::uint64_t characters) {
  std::size_t padUnits = index.Offset(index.Count());
  for (std::uint64_t whole = characters / index.Count(); whole > 0; --whole) {
    std::memcpy(out, pad, padUnits * sizeof(Unit));
    out += padUnits;
  }
  std::size_t rest = index.Offset(characters % index.Count());
  std::memcpy(out, pad, rest * sizeof(Unit));
  return out + rest;
}

// A text argument, or a single space in its place when it is empty (the fill and pad rule).
template <typename Unit>
TextSpan<Unit> SpaceWhenEmpty(TextSpan<Unit> text) {
  static constexpr Unit kSpace[] = {Unit(' '), Unit(0)};
  return text.length == 0 ? TextSpan<Unit>{kSpace, 1} : text;
}

template <typename Unit>
void Fill(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::int32_t length = arguments[1].value.intValue;
  if (length <= 0) {
    SetEmptyResult<Unit>(context, result);
    return;
  }
  TextSpan<Unit> filler = SpaceWhenEmpty(TextArgument<Unit>(context, arguments[0]));
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, filler)) return;
  std::uint64_t units = CycledUnits(index, static_cast<std::uint64_t>(length));
  Unit* out = NewTextResult<Unit>(context, result, units);
  if (out != nullptr) WriteCycled(out, filler.data, index, static_cast<std::uint64_t>(length));
}

// StrFix and StrFixLeft: exactly `length` characters, base cut or padded on the right or left.
template <typename Unit>
void FixCharacters(BatchContext& context, EvalValue& result, TextSpan<Unit> base,
                   TextSpan<Unit> pad, std::int64_t length, bool left) {
  CharacterSteps steps(context);
  CharacterIndex<Unit> baseIndex, padIndex;
  if (!BuildIndex(context, baseIndex, steps, base) || !BuildIndex(context, padIndex, steps, pad))
    return;
  std::uint64_t wanted = static_cast<std::uint64_t>(length);
  std::uint64_t have = baseIndex.Count();
  if (have >= wanted) {
    std::size_t from = left ? baseIndex.Offset(static_cast<std::size_t>(have - wanted)) : 0;
    std::size_t to = left ? base.length : baseIndex.Offset(static_cast<std::size_t>(wanted));
    SetTextResult(context, result, base.data + from, to - from);
    return;
  }
  std::uint64_t padCharacters = wanted - have;
  std::uint64_t units = base.length + CycledUnits(padIndex, padCharacters);
  Unit* out = NewTextResult<Unit>(context, result, units);
  if (out == nullptr) return;
  if (left) out = WriteCycled(out, pad.data, padIndex, padCharacters);
  std::memcpy(out, base.data, base.length * sizeof(Unit));
  if (!left) WriteCycled(out + base.length, pad.data, padIndex, padCharacters);
}

// The end of the longest run of whole characters from the start that fits in `budget` units
// (budget is at most the text's length).
std::size_t FittingEnd(const CharacterIndex<char>& index, std::size_t budget) {
  std::size_t i = index.IndexOf(budget);  // the first character that starts at or after budget
  if (index.Offset(i) != budget) --i;     // it does not start there: the one before ends too late
  return index.Offset(i);
}

// StrFixBytes and StrFixBytesL in ANSI: `length` bytes at most, never splitting a double-byte
// character, so the result may be one byte short.
void FixBytes(BatchContext& context, EvalValue& result, TextSpan<char> base, TextSpan<char> pad,
              std::size_t length, bool left) {
  CharacterSteps steps(context);
  CharacterIndex<char> baseIndex, padIndex;
  if (!BuildIndex(context, baseIndex, steps, base) || !BuildIndex(context, padIndex, steps, pad))
    return;
  if (base.length >= length) {
    std::size_t from = 0, to;
    if (left) {
      // The first character that starts at or after the cut.
      from = baseIndex.Offset(baseIndex.IndexOf(base.length - length));
      to = base.length;
    } else {
      to = FittingEnd(baseIndex, length);
    }
    SetTextResult(context, result, base.data + from, to - from);
    return;
  }
  std::size_t budget = length - base.length;
  std::size_t whole = budget / pad.length;
  std::size_t rest = FittingEnd(padIndex, budget % pad.length);
  std::size_t padUnits = whole * pad.length + rest;
  char* out = NewTextResult<char>(context, result, base.length + padUnits);
  if (out == nullptr) return;
  auto writePad = [&](char* at) {
    for (std::size_t i = 0; i < whole; ++i, at += pad.length)
      std::memcpy(at, pad.data, pad.length);
    std::memcpy(at, pad.data, rest);
    return at + rest;
  };
  if (left) out = writePad(out);
  std::memcpy(out, base.data, base.length);
  if (!left) writePad(out + base.length);
}

template <typename Unit>
void Fix(BatchContext& context, EvalValue& result, EvalValue* arguments, bool left, bool bytes) {
  std::int32_t length = arguments[2].value.intValue;
  if (length < 0) return SetError(context, kErrFixLength);
  TextSpan<Unit> base = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> pad = SpaceWhenEmpty(TextArgument<Unit>(context, arguments[1]));
  if constexpr (sizeof(Unit) == 1) {
    if (bytes) return FixBytes(context, result, base, pad, static_cast<std::size_t>(length), left);
  } else {
    // In UTF-16 a byte length must name whole units.
    if (bytes) {
      if (length % 2 != 0) return SetError(context, kErrFixLength);
      length /= 2;
    }
  }
  FixCharacters(context, result, base, pad, length, left);
}

// StrInsert and StrOverlay (UTF-16 only): base, new, [fill], [start], [length].
void InsertOrOverlay(BatchContext& context, EvalValue& result, EvalValue* arguments, int count,
                     bool overlay) {
  if (!Process().system.unicodePlatform) return SetError(context, kErrNotSupported);
  TextSpan<char16_t> base = WideArgument(context, arguments[0]);
  TextSpan<char16_t> inserted = WideArgument(context, arguments[1]);
  TextSpan<char16_t> fill =
      SpaceWhenEmpty(count > 2 ? WideArgument(context, arguments[2]) : TextSpan<char16_t>{u"", 0});
  std::int64_t start = count > 3 ? arguments[3].value.intValue : 1;
  std::int64_t length =
      count > 4 ? arguments[4].value.intValue : static_cast<std::int64_t>(inserted.length);
  if (start == -1) start = static_cast<std::int64_t>(base.length) + 1;
  if (start < 1) return SetError(context, kErrInvalidStart);
  if (length < 0) return SetError(context, kErrInvalidLength);
  std::uint64_t before = static_cast<std::uint64_t>(start - 1);
  std::uint64_t written = static_cast<std::uint64_t>(length);
  // Base characters that stay in front, those that follow, and those the overlay covers.
  std::uint64_t kept = before < base.length ? before : base.length;
  std::uint64_t rest = base.length - kept;
  if (overlay) rest -= written < rest ? written : rest;
  std::uint64_t total = before + written + rest;
  CharacterSteps steps(0u);
  CharacterIndex<char16_t> fillIndex;
  if (!BuildIndex(context, fillIndex, steps, fill)) return;
  char16_t* out = NewTextResult<char16_t>(context, result, total);
  if (out == nullptr) return;
  std::memcpy(out, base.data, kept * sizeof(char16_t));
  out = WriteCycled(out + kept, fill.data, fillIndex, before - kept);
  std::uint64_t fromNew = written < inserted.length ? written : inserted.length;
  std::memcpy(out, inserted.data, fromNew * sizeof(char16_t));
  out = WriteCycled(out + fromNew, fill.data, fillIndex, written - fromNew);
  std::memcpy(out, base.data + base.length - rest, rest * sizeof(char16_t));
}

// ----------------------------------------------------------------------------------------------
// Trimming and case.

template <typename Unit>
bool IsBlank(Unit unit) {
  return unit == Unit(' ') || unit == Unit('\t');
}

template <typename Unit>
void Trim(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  // Blanks are never the second byte of a double-byte character, so units will do.
  std::size_t from = 0, to = text.length;
  while (from < to && IsBlank(text.data[from]))
    ++from;
  while (to > from && IsBlank(text.data[to - 1]))
    --to;
  SetTextResult(context, result, text.data + from, to - from);
}

template <typename Unit>
void ChangeCase(BatchContext& context, EvalValue& result, EvalValue* arguments, bool upper) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  if (!SetTextResult(context, result, text.data, text.length)) return;
  if constexpr (sizeof(Unit) == 1) {
    char* out = reinterpret_cast<char*>(context.heapBase + result.value.textRef);
    upper ? platform::UpperAnsiText(out, text.length) : platform::LowerAnsiText(out, text.length);
  } else {
    auto* out = reinterpret_cast<char16_t*>(context.heapBase + result.value.wideRef);
    upper ? platform::UpperWideText(out, text.length) : platform::LowerWideText(out, text.length);
  }
}

// ----------------------------------------------------------------------------------------------
// Character classes.

// The class bits of each character; `count` receives the number of entries.
template <typename Unit>
bool CharacterTypes(const Unit* text, std::size_t length, std::uint16_t* types,
                    std::size_t& count) {
  if constexpr (sizeof(Unit) == 1) {
    return platform::CharacterTypesAnsi(text, length, types, &count);
  } else {
    count = length;
    return platform::CharacterTypesWide(text, length, types);
  }
}

template <typename Unit>
void SetAnsiTextAs(BatchContext& context, EvalValue& result, const char* text, std::size_t length) {
  Unit* out = NewTextResult<Unit>(context, result, length);
  for (std::size_t i = 0; out != nullptr && i < length; ++i)
    out[i] = static_cast<Unit>(static_cast<unsigned char>(text[i]));
}

template <typename Unit>
void TypeInfo(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  static constexpr const char* kWords[] = {"Upper ", "Lower ", "Digit ", "Space ", "Punct ",
                                           "Cntrl ", "Blank ", "HexDg ", "Alpha "};
  constexpr unsigned kDefined = 512;
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  std::int32_t request = arguments[1].value.intValue;
  if (request == -1) {
    if (!IsIntegerText(text.data)) return SetError(context, kErrInvalidValue);
    auto bits = static_cast<std::uint32_t>(ParseInteger(text.data));
    char words[96] = "";
    for (unsigned i = 0; i < 9; ++i)
      if ((bits & (1u << i)) != 0) std::strcat(words, kWords[i]);
    if (sizeof(Unit) == 2 && (bits & kDefined) == 0) std::strcat(words, "Undef ");
    std::size_t length = std::strlen(words);
    if (length > 0) --length;  // the last word's space
    return SetAnsiTextAs<Unit>(context, result, words, length);
  }
  if (request != 0 && request != 1) return SetError(context, kErrInvalidFlags);
  std::uint32_t bits = 0;
  if (text.length > 0) {
    WorkBuffer<std::uint16_t> types;
    if (!types.Allocate(text.length)) return SetError(context, kErrUnableToAllocate);
    std::size_t entries = 0;
    if (!CharacterTypes(text.data, text.length, types.data(), entries)) {
      RecordApiError(context, platform::LastSystemError(),
                     sizeof(Unit) == 1 ? "GetStringTypeA" : "GetStringTypeW", true);
      return SetError(context, kErrFunctionFailed);
    }
    bits = request == 0 ? 0xFFFFu : 0;
    for (std::size_t i = 0; i < entries; ++i)
      bits = request == 0 ? bits & types[i] : bits | types[i];
  }
  char number[kNumberTextBytes];
  std::size_t length = FormatInteger(static_cast<std::int32_t>(bits), number, 10);
  SetAnsiTextAs<Unit>(context, result, number, length);
}

// ParseData: the text's pieces become param1..paramN and their count Param0.
void ParseData(BatchContext& context, EvalValue& result, EvalValue* arguments, bool unicode) {
  int count = unicode ? SplitParameters(context, ValueWideText(context, arguments[0].value))
                      : SplitParameters(context, ValueText(context, arguments[0].value));
  if (!HasError(context)) SetEvalInteger(context, result, count);
}

}  // namespace

KEL_FAMILY_ROUTINE(StringFunction) {
  bool wideCapable = WideCapable();
  switch (code) {
    case kKeywordStrLen:
    case kKeywordStrCharCount:
      return InForm(unicode,
                    [&](auto unit) { CharacterCount<decltype(unit)>(context, result, arguments); });
    case kKeywordStrByteCount:
      return ByteCount(context, result, arguments, unicode);
    case kKeywordStrCat:
      return ConcatenateArguments(context, result);
    case kKeywordStrCmp:
    case kKeywordStriCmp:
      return Compare(context, result, arguments, unicode, code == kKeywordStriCmp);
    case kKeywordStrIndex:
    case kKeywordStrIndexNc:
      return StringIndex(context, result, arguments, unicode, code == kKeywordStrIndexNc);
    case kKeywordStrScan:
      return StringScan(context, result, arguments, unicode);
    case kKeywordStrSub:
      return InForm(unicode,
                    [&](auto unit) { Substring<decltype(unit)>(context, result, arguments); });
    case kKeywordStrFill:
      return InForm(unicode, [&](auto unit) { Fill<decltype(unit)>(context, result, arguments); });
    case kKeywordStrFix:
    case kKeywordStrFixChars:
    case kKeywordStrFixLeft:
    case kKeywordStrFixCharsL:
    case kKeywordStrFixBytes:
    case kKeywordStrFixBytesL: {
      bool left = code == kKeywordStrFixLeft || code == kKeywordStrFixCharsL ||
                  code == kKeywordStrFixBytesL;
      bool bytes = code == kKeywordStrFixBytes || code == kKeywordStrFixBytesL;
      return InForm(unicode, [&](auto unit) {
        Fix<decltype(unit)>(context, result, arguments, left, bytes);
      });
    }
    case kKeywordStrInsert:
    case kKeywordStrOverlay:
      return InsertOrOverlay(context, result, arguments, count, code == kKeywordStrOverlay);
    case kKeywordStrReplace:
      return StringReplace(context, result, arguments, unicode);
    case kKeywordStrClean:
      return StringClean(context, result, arguments, unicode);
    case kKeywordStrCnt:
      return StringCount(context, result, arguments, unicode);
    case kKeywordStrTrim:
      return InForm(unicode, [&](auto unit) { Trim<decltype(unit)>(context, result, arguments); });
    case kKeywordStrUpper:
    case kKeywordStrLower:
      return InForm(unicode, [&](auto unit) {
        ChangeCase<decltype(unit)>(context, result, arguments, code == kKeywordStrUpper);
      });
    case kKeywordStrTypeInfo:
      return InForm(wideCapable,
                    [&](auto unit) { TypeInfo<decltype(unit)>(context, result, arguments); });
    case kKeywordStrIndexWild:
      return StringIndexWild(context, result, arguments, unicode);
    case kKeywordStrLenWild:
    case kKeywordStrSubWild:
      return StringMatchWild(context, result, arguments, unicode, code == kKeywordStrSubWild);
    case kKeywordParseData:
      return ParseData(context, result, arguments, unicode);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
