// The registry functions that work on values: reading them as text in the form of their type
// (strings, expanded strings, numbers in decimal or hexadecimal, bytes as hex pairs, lists of
// strings with a delimiter), writing them from such text, and asking, testing and deleting them.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/registry/registry_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/registry.h"

namespace kel {
namespace {

using platform::RegistryKey;
using platform::RegistryStatus;

// The least room a value is read into.
constexpr std::size_t kLeastValueBytes = 1281;
// The hex flag of the flags argument; the rest of it is a view.
constexpr std::int32_t kHexFlag = 1;

// What a query or set function is asked for: the single-type functions, and what the Ex forms
// map their type number to.
enum class ValueKind { String, ExpandedString, ExpandString, Binary, Dword, Qword, MultiString };

// The value a subkey[value] argument names, and the view bits its key is opened with.
struct ValueTarget {
  KeyPath path;
  std::uint32_t bits = 0;
};

bool ReadTarget(BatchContext& context, EvalValue* arguments, std::int32_t view,
                ValueTarget* target) {
  std::u16string text;
  return KeyText(context, arguments[1], &text) && SplitKeyPath(context, text, &target->path) &&
         ViewBits(context, view, KeyOf(arguments[0]), target->path.subkey, &target->bits);
}

// An optional number argument (a view, or flags), 0 when it was not given.
std::int32_t OptionalNumber(const EvalValue* arguments, int count, int index) {
  return count > index ? arguments[index].value.intValue : 0;
}

// The view and the hex flag of a call: the functions that read or write a DWORD take the flag
// in bit 0 of their view argument.
struct ValueOptions {
  std::int32_t view;
  bool hex;
};

ValueOptions PlainView(const EvalValue* arguments, int count, int index) {
  return {OptionalNumber(arguments, count, index), false};
}

ValueOptions WithHexFlag(const EvalValue* arguments, int count, int index) {
  std::int32_t flags = OptionalNumber(arguments, count, index);
  return {flags & ~kHexFlag, (flags & kHexFlag) != 0};
}

std::uint32_t Dword(const std::vector<std::uint8_t>& data, bool bigEndian) {
  std::uint8_t bytes[4] = {};
  for (std::size_t i = 0; i < 4 && i < data.size(); ++i)
    bytes[i] = data[i];
  if (bigEndian)
    return (std::uint32_t{bytes[0]} << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
  return (std::uint32_t{bytes[3]} << 24) | (bytes[2] << 16) | (bytes[1] << 8) | bytes[0];
}

std::u16string Widen(const char* text) {
  std::u16string wide;
  for (; *text != '\0'; ++text)
    wide += static_cast<char16_t>(static_cast<unsigned char>(*text));
  return wide;
}

// The UTF-16 text a string value holds, up to its first terminator.
std::u16string StoredText(const std::vector<std::uint8_t>& data) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

// Every byte as two capital hex digits, one blank between bytes.
std::u16string HexPairs(const std::vector<std::uint8_t>& data) {
  std::u16string text;
  char pair[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02X", data[i]);
    if (i != 0) text += u' ';
    text += Widen(pair);
  }
  return text;
}

// The strings of a list value joined by the delimiter: the terminators at its end are dropped,
// each one between strings becomes the delimiter.
std::u16string JoinedList(const std::vector<std::uint8_t>& data, char16_t delimiter) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  while (!text.empty() && text.back() == 0)
    text.pop_back();
  for (char16_t& unit : text)
    if (unit == 0) unit = delimiter;
  return text;
}

// Reads the value with its type. False with 1452 when the subkey cannot be opened, 1455 when
// there is no memory for it, 1233 when it cannot be read (a value that is not there among
// others).
bool ReadValue(BatchContext& context, RegistryKey parent, const ValueTarget& target,
               std::uint32_t* type, std::vector<std::uint8_t>* data) {
  TemporaryKey key;
  if (!key.Open(context, parent, target.path.subkey, platform::kKeyQueryValue | target.bits, false,
                kErrRegSubkeyNotOpenedOrCreated))
    return false;
  std::size_t size = 0;
  if (platform::RegistryValueFacts(key.key(), target.path.value, type, &size) !=
      platform::kRegistryOk) {
    SetError(context, kErrRegQueryValueFailed);
    return false;
  }
  try {
    data->resize(size < kLeastValueBytes ? kLeastValueBytes : size);
  } catch (const std::bad_alloc&) {
    SetError(context, kErrRegNoMemory);
    return false;
  }
  std::size_t read = data->size();
  if (platform::ReadRegistryValue(key.key(), target.path.value, type, data->data(), &read) !=
      platform::kRegistryOk) {
    SetError(context, kErrRegQueryValueFailed);
    return false;
  }
  data->resize(read);
  return true;
}

// `error` unless the value's type is one the function reads (then 0).
std::uint32_t Unless(bool accepted, std::uint32_t error) {
  return accepted ? 0 : error;
}

// The error of a value of the wrong type for the function, or 0 when its type is one the
// function reads.
std::uint32_t WrongTypeError(ValueKind kind, std::uint32_t type) {
  const bool dword = type == platform::kRegDword || type == platform::kRegDwordBigEndian;
  switch (kind) {
    case ValueKind::Binary:
      return Unless(type == platform::kRegBinary, kErrRegValueNotBinary);
    case ValueKind::Dword:
      return Unless(dword, kErrRegValueNotDword);
    case ValueKind::ExpandString:
      return Unless(type == platform::kRegExpandString, kErrRegValueNotExpandString);
    case ValueKind::MultiString:
      return Unless(type == platform::kRegMultiString, kErrRegValueNotMultiString);
    case ValueKind::Qword:
      return Unless(type == platform::kRegQword, kErrRegValueNotQword);
    case ValueKind::ExpandedString:
      return Unless(type == platform::kRegString || type == platform::kRegExpandString,
                    kErrRegValueNotString);
    case ValueKind::String:
      break;
  }
  // RegQueryValue reads strings and DWORDs, and names the function that reads the others.
  if (type == platform::kRegString || dword) return 0;
  switch (type) {
    case platform::kRegExpandString:
      return kErrRegValueIsExpandString;
    case platform::kRegBinary:
      return kErrRegValueIsBinary;
    case platform::kRegMultiString:
      return kErrRegValueIsMultiString;
    case platform::kRegQword:
      return kErrRegValueIsQword;
    default:
      return kErrRegValueNotConvertible;
  }
}

// A query: the value read, checked against the function and given as text.
void Query(BatchContext& context, EvalValue& result, EvalValue* arguments, ValueKind kind,
           ValueOptions options, const std::u16string& delimiter) {
  ValueTarget target;
  if (!ReadTarget(context, arguments, options.view, &target)) return;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (!ReadValue(context, KeyOf(arguments[0]), target, &type, &data)) return;
  if (kind == ValueKind::MultiString && delimiter.size() != 1)
    return SetError(context, kErrRegInvalidDelimiter);
  if (std::uint32_t error = WrongTypeError(kind, type)) return SetError(context, error);
  switch (type) {
    case platform::kRegDword:
    case platform::kRegDwordBigEndian: {
      char number[16];
      std::snprintf(number, sizeof number, options.hex ? "%lX" : "%lu",
                    static_cast<unsigned long>(Dword(data, type == platform::kRegDwordBigEndian)));
      return SetKeyTextResult(context, result, Widen(number));
    }
    case platform::kRegBinary:
    case platform::kRegQword:
      return SetKeyTextResult(context, result, HexPairs(data));
    case platform::kRegMultiString:
      return SetKeyTextResult(context, result, JoinedList(data, delimiter[0]));
    case platform::kRegExpandString:
      if (kind == ValueKind::ExpandedString)
        return SetKeyTextResult(context, result,
                                platform::ExpandEnvironmentReferences(StoredText(data)));
      [[fallthrough]];
    default:
      return SetKeyTextResult(context, result, StoredText(data));
  }
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// Bytes written as pairs of hex digits between runs of blanks; false for an item of another
// length or a character that is no hex digit.
bool ParseHexPairs(const std::u16string& text, std::vector<std::uint8_t>* bytes) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (IsBlank(text[at])) {
      ++at;
      continue;
    }
    if (at + 1 >= text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0 ||
        (at + 2 < text.size() && !IsBlank(text[at + 2])))
      return false;
    bytes->push_back(static_cast<std::uint8_t>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1])));
    at += 2;
  }
  return true;
}

// A DWORD written in decimal (a sign allowed) or, with the hex flag, in hexadecimal; blanks
// around it are allowed. The number is kept to its low 32 bits.
bool ParseDword(const std::u16string& text, bool hex, std::uint32_t* number) {
  std::size_t at = 0, end = text.size();
  while (at < end && IsBlank(text[at]))
    ++at;
  while (end > at && IsBlank(text[end - 1]))
    --end;
  bool negative = false;
  if (!hex && at < end && (text[at] == u'-' || text[at] == u'+')) negative = text[at++] == u'-';
  if (at == end) return false;
  std::uint32_t value = 0;
  for (; at < end; ++at) {
    int digit =
        hex ? HexDigit(text[at]) : (text[at] >= u'0' && text[at] <= u'9' ? text[at] - u'0' : -1);
    if (digit < 0) return false;
    value = value * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
  }
  *number = negative ? 0u - value : value;
  return true;
}

// A set: the data built from the text and stored under the value's name.
void Set(BatchContext& context, EvalValue& result, EvalValue* arguments, ValueKind kind,
         EvalValue& dataArgument, ValueOptions options, const std::u16string& delimiter) {
  ValueTarget target;
  if (!ReadTarget(context, arguments, options.view, &target)) return;
  std::u16string text;
  if (!KeyText(context, dataArgument, &text)) return;
  std::vector<std::uint8_t> bytes;
  std::uint32_t type = platform::kRegString;
  auto takeText = [&](const std::u16string& units) {
    for (char16_t unit : units) {
      bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
  };
  switch (kind) {
    case ValueKind::Dword: {
      std::uint32_t number = 0;
      if (!ParseDword(text, options.hex, &number)) return SetError(context, kErrRegInvalidDword);
      for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(number >> shift));
      type = platform::kRegDword;
      break;
    }
    case ValueKind::Binary:
    case ValueKind::Qword:
      if (!ParseHexPairs(text, &bytes))
        return SetError(context,
                        kind == ValueKind::Binary ? kErrRegInvalidBinary : kErrRegInvalidQword);
      type = kind == ValueKind::Binary ? platform::kRegBinary : platform::kRegQword;
      break;
    case ValueKind::MultiString: {
      if (delimiter.size() != 1) return SetError(context, kErrRegInvalidDelimiter);
      // The strings end with a terminator each and the list with one more; a list that already
      // ends with the delimiter has its last string's terminator.
      const bool endsWithDelimiter = !text.empty() && text.back() == delimiter[0];
      for (char16_t& unit : text)
        if (unit == delimiter[0]) unit = 0;
      text += endsWithDelimiter ? std::u16string(1, 0) : std::u16string(2, 0);
      takeText(text);
      type = platform::kRegMultiString;
      break;
    }
    case ValueKind::ExpandString:
      type = platform::kRegExpandString;
      [[fallthrough]];
    default:
      text += u'\0';
      takeText(text);
      break;
  }
  TemporaryKey key;
  if (!key.Open(context, KeyOf(arguments[0]), target.path.subkey,
                platform::kKeySetValue | target.bits, true, kErrRegSubkeyNotOpenedOrCreated))
    return;
  if (platform::WriteRegistryValue(key.key(), target.path.value, type, bytes.data(),
                                   bytes.size()) != platform::kRegistryOk)
    return SetError(context, kErrRegSetValueFailed);
  SetEvalInteger(context, result, 1);
}

// The kind a single-type query or set function reads or writes.
ValueKind KindOfFunction(std::uint32_t code) {
  switch (code) {
    case kKeywordRegQueryStr:
      return ValueKind::ExpandedString;
    case kKeywordRegQueryExpSz:
    case kKeywordRegSetExpSz:
      return ValueKind::ExpandString;
    case kKeywordRegQueryBin:
    case kKeywordRegSetBin:
      return ValueKind::Binary;
    case kKeywordRegQueryDword:
    case kKeywordRegSetDword:
      return ValueKind::Dword;
    case kKeywordRegQueryQword:
    case kKeywordRegSetQword:
      return ValueKind::Qword;
    default:
      return ValueKind::String;
  }
}

// The kind the Ex forms' type number names; false for a number that names none of them.
bool KindOfType(std::int32_t type, ValueKind* kind) {
  switch (type) {
    case 1:
      *kind = ValueKind::String;
      return true;
    case 2:
      *kind = ValueKind::ExpandString;
      return true;
    case 3:
      *kind = ValueKind::Binary;
      return true;
    case 4:
      *kind = ValueKind::Dword;
      return true;
    case 7:
      *kind = ValueKind::MultiString;
      return true;
    case 11:
      *kind = ValueKind::Qword;
      return true;
    default:
      return false;
  }
}

// The value's subkey opened for one of the remaining functions; false with `failure`.
bool OpenValueKey(BatchContext& context, EvalValue* arguments, int count, std::uint32_t access,
                  std::uint32_t failure, TemporaryKey& key, ValueTarget& target) {
  return ReadTarget(context, arguments, OptionalNumber(arguments, count, 2), &target) &&
         key.Open(context, KeyOf(arguments[0]), target.path.subkey, access | target.bits, false,
                  failure);
}

bool DelimiterArgument(BatchContext& context, EvalValue& argument, std::u16string* delimiter) {
  return KeyText(context, argument, delimiter);
}

}  // namespace

KEL_FAMILY_ROUTINE(RegistryValueFunction) {
  (void)unicode;
  if (!platform::RegistryAvailable()) return SetError(context, kErrNotAvailable);
  std::u16string delimiter;
  ValueKind kind = ValueKind::String;
  switch (code) {
    case kKeywordRegQueryValue:
    case kKeywordRegQueryStr:
    case kKeywordRegQueryExpSz:
    case kKeywordRegQueryBin:
    case kKeywordRegQueryDword:
    case kKeywordRegQueryQword:
      return Query(context, result, arguments, KindOfFunction(code),
                   code == kKeywordRegQueryDword ? WithHexFlag(arguments, count, 2)
                                                 : PlainView(arguments, count, 2),
                   delimiter);
    case kKeywordRegQueryMulSz:
      if (!DelimiterArgument(context, arguments[2], &delimiter)) return;
      return Query(context, result, arguments, ValueKind::MultiString,
                   PlainView(arguments, count, 3), delimiter);
    case kKeywordRegQueryEx:
      if (!KindOfType(arguments[3].value.intValue, &kind))
        return SetError(context, kErrRegQueryExInvalidType);
      if (!DelimiterArgument(context, arguments[2], &delimiter)) return;
      return Query(context, result, arguments, kind, WithHexFlag(arguments, count, 4), delimiter);
    case kKeywordRegSetValue:
    case kKeywordRegSetExpSz:
    case kKeywordRegSetBin:
    case kKeywordRegSetDword:
    case kKeywordRegSetQword:
      return Set(context, result, arguments, KindOfFunction(code), arguments[2],
                 code == kKeywordRegSetDword ? WithHexFlag(arguments, count, 3)
                                             : PlainView(arguments, count, 3),
                 delimiter);
    case kKeywordRegSetMulSz:
      if (!DelimiterArgument(context, arguments[3], &delimiter)) return;
      return Set(context, result, arguments, ValueKind::MultiString, arguments[2],
                 PlainView(arguments, count, 4), delimiter);
    case kKeywordRegSetEx:
      if (!KindOfType(arguments[4].value.intValue, &kind))
        return SetError(context, kErrRegSetExInvalidType);
      if (!DelimiterArgument(context, arguments[3], &delimiter)) return;
      return Set(context, result, arguments, kind, arguments[2], WithHexFlag(arguments, count, 5),
                 delimiter);
    case kKeywordRegDelValue: {
      TemporaryKey key;
      ValueTarget target;
      if (!OpenValueKey(context, arguments, count, platform::kKeySetValue,
                        kErrRegSubkeyNotOpenedOrCreated, key, target))
        return;
      return SetEvalInteger(
          context, result,
          platform::DeleteRegistryValue(key.key(), target.path.value) == platform::kRegistryOk ? 1
                                                                                               : 0);
    }
    case kKeywordRegExistValue: {
      TemporaryKey key;
      ValueTarget target;
      std::uint32_t type = 0;
      std::size_t size = 0;
      if (!OpenValueKey(context, arguments, count, platform::kKeyQueryValue, 0, key, target))
        return;
      return SetEvalInteger(context, result,
                            platform::RegistryValueFacts(key.key(), target.path.value, &type,
                                                         &size) == platform::kRegistryOk
                                ? 1
                                : 0);
    }
    case kKeywordRegEntryType: {
      TemporaryKey key;
      ValueTarget target;
      std::uint32_t type = 0;
      std::size_t size = 0;
      if (!OpenValueKey(context, arguments, count, platform::kKeyQueryValue,
                        kErrRegSubkeyNotOpenedOrCreated, key, target))
        return;
      if (platform::RegistryValueFacts(key.key(), target.path.value, &type, &size) !=
          platform::kRegistryOk)
        return SetError(context, kErrRegEntryTypeFailed);
      return SetEvalInteger(context, result, static_cast<std::int32_t>(type));
    }
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
