// The file digest functions: FileDigest (MD2, MD5, SHA-1 or their HMAC forms of a file's
// contents) and FileDigestGetKey (a key derived from a pass phrase, in the form FileDigest takes
// as its HMAC key), both answered as upper-case hexadecimal text.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/arguments.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/digest.h"
#include "platform/platform.h"

namespace kel {
namespace {

using platform::DigestAlgorithm;
using platform::DigestOutcome;
using platform::DigestStatus;
using platform::KeyAlgorithm;

constexpr std::int32_t kHexadecimalBase = 16;
constexpr std::int32_t kTextSource = 0;

struct DigestName {
  const char* name;
  DigestAlgorithm algorithm;
  bool keyed;
};

constexpr DigestName kDigestNames[] = {
    {"MD2", DigestAlgorithm::Md2, false},      {"MD5", DigestAlgorithm::Md5, false},
    {"SHA", DigestAlgorithm::Sha1, false},     {"SHA1", DigestAlgorithm::Sha1, false},
    {"HMAC-MD2", DigestAlgorithm::Md2, true},  {"HMAC-MD5", DigestAlgorithm::Md5, true},
    {"HMAC-SHA", DigestAlgorithm::Sha1, true}, {"HMAC-SHA1", DigestAlgorithm::Sha1, true},
};

struct KeyName {
  const char* name;
  KeyAlgorithm algorithm;
};

constexpr KeyName kKeyNames[] = {
    {"DES", KeyAlgorithm::Des}, {"RC2", KeyAlgorithm::Rc2}, {"RC4", KeyAlgorithm::Rc4}};

const DigestName* FindDigest(const char* name, bool keyedAllowed) {
  for (const DigestName& each : kDigestNames)
    if ((keyedAllowed || !each.keyed) && SameAnsiText(name, each.name)) return &each;
  return nullptr;
}

const KeyName* FindKey(const char* name) {
  for (const KeyName& each : kKeyNames)
    if (SameAnsiText(name, each.name)) return &each;
  return nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two hexadecimal digits a byte; false for an odd number of digits or any other character.
bool HexBytes(const char* text, std::vector<std::uint8_t>& bytes) {
  std::size_t length = std::strlen(text);
  if (length % 2 != 0) return false;
  for (std::size_t i = 0; i < length; i += 2) {
    int high = HexValue(text[i]), low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

// Upper-case digits; with a separator, one after every 4 bytes but the last group.
bool SetHexResult(BatchContext& context, EvalValue& result, const std::vector<std::uint8_t>& bytes,
                  char separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (separator != '\0' && i != 0 && i % 4 == 0) text += separator;
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return SetAnsiResult(context, result, text.data(), text.size());
}

// A failed computation: recorded under the failing step, then the function's error.
void ReportFailure(BatchContext& context, const DigestOutcome& outcome) {
  switch (outcome.status) {
    case DigestStatus::Done:
      return;
    case DigestStatus::NotOffered:
      return SetError(context, kErrNotAvailable);
    case DigestStatus::NoMemory:
      return SetError(context, kErrUnableToAllocate);
    case DigestStatus::CannotOpen:
      RecordApiError(context, outcome.systemError, outcome.step, false);
      return SetError(context, kErrOpeningFile);
    case DigestStatus::CannotRead:
      RecordApiError(context, outcome.systemError, outcome.step, false);
      return SetError(context, kErrReadingFile);
    case DigestStatus::Failed:
      RecordApiError(context, outcome.systemError, outcome.step, false);
      return SetError(context, kErrFunctionFailed);
  }
}

void FileDigest(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  // The key and its base go together.
  if (count == 4) return SetError(context, kErrWrongArgumentCount);
  const DigestName* digest = FindDigest(ValueText(context, arguments[1].value), true);
  if (digest == nullptr) return SetError(context, kErrDigestAlgorithm);
  std::vector<std::uint8_t> keyBlob;
  if (digest->keyed) {
    if (count < 5) return SetError(context, kErrDigestMissingKey);
    if (arguments[4].value.intValue != kHexadecimalBase) return SetError(context, kErrInvalidBase);
    if (!HexBytes(ValueText(context, arguments[3].value), keyBlob))
      return SetError(context, kErrInvalidHex);
  }
  std::vector<std::uint8_t> value;
  DigestOutcome outcome =
      platform::DigestFile(ValueWideText(context, arguments[0].value), digest->algorithm,
                           digest->keyed, keyBlob.data(), keyBlob.size(), value);
  if (outcome.status != DigestStatus::Done) return ReportFailure(context, outcome);
  char separator = '\0';
  if (arguments[2].value.intValue != 0)
    separator = digest->algorithm == DigestAlgorithm::Sha1 ? ' ' : '-';
  SetHexResult(context, result, value, separator);
}

void FileDigestGetKey(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  if (count == 4 || count == 5) return SetError(context, kErrWrongArgumentCount);
  if (arguments[2].value.intValue != kHexadecimalBase) return SetError(context, kErrInvalidBase);
  if (arguments[0].value.intValue != kTextSource) return SetError(context, kErrInvalidType);
  if (count < 6) return SetError(context, kErrDigestKeyMissingParameters);
  const DigestName* hash = FindDigest(ValueText(context, arguments[3].value), false);
  if (hash == nullptr) return SetError(context, kErrDigestKeyHashAlgorithm);
  const KeyName* key = FindKey(ValueText(context, arguments[4].value));
  if (key == nullptr) return SetError(context, kErrDigestKeyAlgorithm);
  const char* text = ValueText(context, arguments[1].value);
  std::vector<std::uint8_t> blob;
  DigestOutcome outcome = platform::DerivePassPhraseKey(
      hash->algorithm, key->algorithm, static_cast<std::uint32_t>(arguments[5].value.intValue),
      text, std::strlen(text), blob);
  if (outcome.status != DigestStatus::Done) return ReportFailure(context, outcome);
  SetHexResult(context, result, blob, '\0');
}

}  // namespace

KEL_FAMILY_ROUTINE(DigestFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordFileDigest:
      return FileDigest(context, count, result, arguments);
    case kKeywordFileDigestGetKey:
      return FileDigestGetKey(context, count, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
