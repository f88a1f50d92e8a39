// The character and code-page functions: Char2Num, Num2Char, the conversion code page, hex
// texts and the conversions between ANSI and UTF-16 strings.
#include <cstring>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A hex text of whole groups of `group` digits, every one a hex digit; false with 1819.
bool CheckHex(BatchContext& context, TextSpan<char> hex, std::size_t group) {
  bool valid = hex.length % group == 0;
  for (std::size_t i = 0; valid && i < hex.length; ++i)
    valid = HexDigit(hex.data[i]) >= 0;
  if (!valid) SetError(context, kErrInvalidHex);
  return valid;
}

unsigned HexByte(const char* pair) {
  return static_cast<unsigned>(HexDigit(pair[0]) * 16 + HexDigit(pair[1]));
}

bool DoubleByteSystem() {
  return Process().system.doubleByteEnabled;
}

// Char2Num: the code of the first character, lead × 256 + trail for a double-byte one.
void CharacterCode(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<char> text = AnsiArgument(context, arguments[0]);
  if (text.length == 0) return SetEvalInteger(context, result, 0);
  auto first = static_cast<unsigned char>(text.data[0]);
  CharacterSteps steps(context);
  if (DoubleByteSystem() && text.length > 1 && steps.IsLead(first))
    return SetEvalInteger(context, result, first * 256 + static_cast<unsigned char>(text.data[1]));
  SetEvalInteger(context, result, first);
}

// Num2Char: the low byte as a character, or the two-byte character whose lead is the second byte.
void CodeCharacter(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  auto number = static_cast<std::uint32_t>(arguments[0].value.intValue);
  auto low = static_cast<char>(number & 0xFF);
  auto high = static_cast<unsigned char>((number >> 8) & 0xFF);
  CharacterSteps steps(context);
  if (DoubleByteSystem() && steps.IsLead(high)) {
    const char pair[] = {static_cast<char>(high), low};
    SetTextResult(context, result, pair, 2);
    return;
  }
  // A zero byte ends the text at once: Num2Char(0) is the empty string.
  SetTextResult(context, result, &low, low == '\0' ? 0 : 1);
}

void GetCodePage(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::int32_t request = arguments[0].value.intValue;
  if (request == 0)
    return SetEvalInteger(context, result, static_cast<std::int32_t>(context.codePage));
  if (request != 1 && request != 2) return SetError(context, kErrInvalidRequest);
  std::uint32_t codePage = 0;
  if (!platform::DefaultAnsiCodePage(request == 2, &codePage))
    return SetError(context, kErrCodePageQuery);
  SetEvalInteger(context, result, static_cast<std::int32_t>(codePage));
}

void SetCodePage(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  auto previous = static_cast<std::int32_t>(context.codePage);
  context.codePage = static_cast<std::uint32_t>(arguments[0].value.intValue);
  SetEvalInteger(context, result, previous);
}

void HexToString(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<char> hex = AnsiArgument(context, arguments[0]);
  if (!CheckHex(context, hex, 2)) return;
  char* out = NewTextResult<char>(context, result, hex.length / 2);
  for (std::size_t i = 0; out != nullptr && i < hex.length / 2; ++i)
    out[i] = static_cast<char>(HexByte(hex.data + 2 * i));
}

// ChrHexToUnicode: four digits a unit, the low byte's pair first unless `byteOrder` is set.
void HexToUnicode(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  TextSpan<char> hex = AnsiArgument(context, arguments[0]);
  bool highFirst = count > 1 && arguments[1].value.intValue != 0;
  if (!CheckHex(context, hex, 4)) return;
  char16_t* out = NewTextResult<char16_t>(context, result, hex.length / 4);
  for (std::size_t i = 0; out != nullptr && i < hex.length / 4; ++i) {
    unsigned first = HexByte(hex.data + 4 * i), second = HexByte(hex.data + 4 * i + 2);
    out[i] = static_cast<char16_t>(highFirst ? first << 8 | second : second << 8 | first);
  }
}

void StringToHex(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<char> text = AnsiArgument(context, arguments[0]);
  char* out = NewTextResult<char>(context, result, std::uint64_t{text.length} * 2);
  for (std::size_t i = 0; out != nullptr && i < text.length; ++i) {
    auto byte = static_cast<unsigned char>(text.data[i]);
    out[2 * i] = kHexDigits[byte >> 4];
    out[2 * i + 1] = kHexDigits[byte & 0xF];
  }
}

void UnicodeToHex(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  TextSpan<char16_t> text = WideArgument(context, arguments[0]);
  bool highFirst = count > 1 && arguments[1].value.intValue != 0;
  char16_t* out = NewTextResult<char16_t>(context, result, std::uint64_t{text.length} * 4);
  for (std::size_t i = 0; out != nullptr && i < text.length; ++i) {
    unsigned unit = text.data[i];
    unsigned first = highFirst ? unit >> 8 : unit & 0xFF;
    unsigned second = highFirst ? unit & 0xFF : unit >> 8;
    char16_t* digits = out + 4 * i;
    digits[0] = static_cast<char16_t>(kHexDigits[first >> 4]);
    digits[1] = static_cast<char16_t>(kHexDigits[first & 0xF]);
    digits[2] = static_cast<char16_t>(kHexDigits[second >> 4]);
    digits[3] = static_cast<char16_t>(kHexDigits[second & 0xF]);
  }
}

void StringToUnicode(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<char16_t> text = WideArgument(context, arguments[0]);
  SetTextResult(context, result, text.data, text.length);
}

// ChrUnicodeToString: the UTF-16 text converted with the script's code page.
void UnicodeToString(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  // A Value with the UTF-16 text alone, so that the conversion runs whatever else the argument
  // carries; the new ANSI text it makes becomes the result.
  Value wide{};
  wide.flags = kValueWideText;
  wide.wideRef = arguments[0].value.wideRef;
  if (!ToText(context, wide)) {
    if (!HasError(context)) SetError(context, kErrNotString);
    return;
  }
  ReleaseEval(context, result);
  result.value.flags = kValueText;
  result.value.textRef = wide.textRef;
}

}  // namespace

KEL_FAMILY_ROUTINE(CharacterFunction) {
  (void)unicode;  // every function here has its form fixed by its declaration
  switch (code) {
    case kKeywordChar2Num:
      return CharacterCode(context, result, arguments);
    case kKeywordNum2Char:
      return CodeCharacter(context, result, arguments);
    case kKeywordChrGetCodePage:
      return GetCodePage(context, result, arguments);
    case kKeywordChrSetCodePage:
      return SetCodePage(context, result, arguments);
    case kKeywordChrHexToString:
      return HexToString(context, result, arguments);
    case kKeywordChrHexToUnicode:
      return HexToUnicode(context, result, arguments, count);
    case kKeywordChrStringToHex:
      return StringToHex(context, result, arguments);
    case kKeywordChrUnicodeToHex:
      return UnicodeToHex(context, result, arguments, count);
    case kKeywordChrStringToUnicode:
      return StringToUnicode(context, result, arguments);
    case kKeywordChrUnicodeToString:
      return UnicodeToString(context, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
