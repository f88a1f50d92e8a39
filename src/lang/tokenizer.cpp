// The tokenizer: numbers, string literals, keywords, object references and variable names.
#include "lang/tokenizer.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/compiled_lines.h"
#include "lang/keyword_table.h"
#include "lang/tokenizer_characters.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The token is undefined after a failure; it reads as the end of the statement, and no flag
// meant for the next name survives into another statement.
void Fail(BatchContext& context, std::uint32_t number, const char* at) {
  TokenizerState& tokenizer = context.tokenizer;
  SetError(context, number);
  tokenizer.scan = at;
  tokenizer.tokenKind = kTokenEnd;
  tokenizer.tokenCode = kNoCode;
  tokenizer.tokenText[0] = '\0';
  tokenizer.pendingPointer = 0;
  tokenizer.derefPending = 0;
}

// Remembers the token that goes before the one about to be read: the current one, unless it
// was put back, in which case the one before it still is.
void StartToken(TokenizerState& tokenizer) {
  if (tokenizer.putBack == 0) {
    tokenizer.previousKind = tokenizer.tokenKind;
    tokenizer.previousCode = tokenizer.tokenCode;
  }
  tokenizer.putBack = 0;
}

void SetToken(TokenizerState& tokenizer, TokenKind kind, std::uint16_t code) {
  tokenizer.tokenKind = kind;
  tokenizer.tokenCode = code;
}

void CopyText(TokenizerState& tokenizer, const char* text, std::size_t length) {
  std::memcpy(tokenizer.tokenText, text, length);
  tokenizer.tokenText[length] = '\0';
}

// An "&" after this token stands before an operand (it takes the address of the name that
// follows) rather than between two operands. A ")", a "]", an object reference and a constant
// end an operand, so an "&" after them is the binary operator.
bool StandsBeforeOperand(std::uint8_t kind, std::uint16_t code) {
  if (kind != kTokenKeyword) return false;
  if (code == kKeywordCloseParenthesis || code == kKeywordCloseBracket ||
      code == kObjectReferenceCode)
    return false;
  const KelKeywordRow* row = KeywordRow(code);
  return row == nullptr || (row->kind & 0xFF) != kRowConstant;
}

// The magnitude of the whole number `digits` (`count` decimal digits), or a value above
// kIntegerLimit when it has more digits than any 32-bit integer.
constexpr std::uint64_t kIntegerLimit = 2147483648u;  // the magnitude of the lowest integer
std::uint64_t Magnitude(const char* digits, std::size_t count) {
  while (count > 1 && *digits == '0') {
    ++digits;
    --count;
  }
  if (count > 10) return kIntegerLimit + 1;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i)
    value = value * 10 + static_cast<std::uint64_t>(digits[i] - '0');
  return value;
}

// number -> digits ["." digits] [("e" | "E") ["+" | "-"] digits], or "." digits ...; the value
// is left to the evaluator, which reads the text. A whole number beyond the integers is read as
// a float: it keeps its value (or fails as a float too large fails) instead of wrapping around
// into a wrong integer.
bool ScanNumber(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  const char* p = start;
  bool point = false, exponent = false;
  for (;;) {
    std::size_t width = 1;
    if (*p == '.') {
      if (point) {
        Fail(context, kErrTooManyDots, p);
        return false;
      }
      if (!(p > start && IsDigit(p[-1])) && !IsDigit(p[1])) {
        Fail(context, kErrUnrecognizableItem, p);
        return false;
      }
      point = true;
    } else if (*p == 'e' || *p == 'E') {
      if (exponent) {
        Fail(context, kErrTooManyExponents, p);
        return false;
      }
      // A sign belongs to the number only between the exponent letter and a digit.
      if (p[1] == '+' || p[1] == '-') width = 2;
      if (!IsDigit(p[width])) {
        Fail(context, kErrUnrecognizableItem, p);
        return false;
      }
      exponent = true;
    } else if (!IsDigit(*p)) {
      break;
    }
    if (static_cast<std::size_t>(p - start) + width > kMaxTokenLength) {
      Fail(context, kErrStringTooLong, p);
      return false;
    }
    p += width;
  }
  const auto length = static_cast<std::size_t>(p - start);
  const bool whole = !point && !exponent && Magnitude(start, length) < kIntegerLimit;
  CopyText(tokenizer, start, length);
  SetToken(tokenizer, whole ? kTokenInteger : kTokenFloat, kNoCode);
  tokenizer.scan = p;
  return true;
}

// "-2147483648" where the "-" stands before an operand is the lowest integer, which has no
// literal of its own: 2147483648 alone is beyond the integers. The sign and the digits are
// read as one integer token, which means the same as the minus applied to the number (nothing
// binds tighter than a prefix operator). False, with nothing read, for anything else.
bool ScanLowestInteger(BatchContext& context, const char* start) {
  const char* digits = start + 1;
  while (IsBlank(*digits))
    ++digits;
  const char* end = digits;
  while (IsDigit(*end))
    ++end;
  if (end == digits || *end == '.' || *end == 'e' || *end == 'E') return false;
  const auto count = static_cast<std::size_t>(end - digits);
  if (Magnitude(digits, count) != kIntegerLimit) return false;
  TokenizerState& tokenizer = context.tokenizer;
  tokenizer.tokenText[0] = '-';
  std::memcpy(tokenizer.tokenText + 1, digits, count);
  tokenizer.tokenText[count + 1] = '\0';
  SetToken(tokenizer, kTokenInteger, kNoCode);
  tokenizer.scan = end;
  return true;
}

// A literal runs to the same quote character or to the end of the line; a doubled quote stands
// for one quote character. The text stops at the token's capacity, and the scan goes on from
// the first character not copied.
void ScanString(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  const char quote = *start;
  const char* p = start + 1;
  std::size_t length = 0;
  while (!IsLineEnd(*p) && length < kMaxTokenLength) {
    if (*p == quote) {
      if (p[1] != quote) {
        ++p;  // the closing quote
        break;
      }
      tokenizer.tokenText[length++] = quote;
      p += 2;
    } else if (platform::IsDoubleByteLead(context.codePage, static_cast<unsigned char>(*p)) &&
               !IsLineEnd(p[1])) {
      // The second byte of a double-byte character may look like a quote.
      if (length + 2 > kMaxTokenLength) break;
      tokenizer.tokenText[length++] = p[0];
      tokenizer.tokenText[length++] = p[1];
      p += 2;
    } else {
      tokenizer.tokenText[length++] = *p++;
    }
  }
  tokenizer.tokenText[length] = '\0';
  SetToken(tokenizer, kTokenString, kNoCode);
  tokenizer.scan = p;
}

// A dotted reference (or an array name before its subscript) is copied whole: letters, digits,
// "_" and ".", with "@" only at its start.
bool ScanObjectReference(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  std::size_t length = start[0] == '@' ? 1 : 0;
  while (IsLetter(start[length]) || IsDigit(start[length]) || start[length] == '_' ||
         start[length] == '.') {
    if (length == kMaxTokenLength) {
      Fail(context, kErrStringTooLong, start + length);
      return false;
    }
    ++length;
  }
  CopyText(tokenizer, start, length);
  SetToken(tokenizer, kTokenKeyword, kObjectReferenceCode);
  tokenizer.objectDerefPending = tokenizer.derefPending;
  tokenizer.scan = start + length;
  return true;
}

// The target of a dereference gets no slot of its own: its name is parked in reserved slot 0,
// marked by the high bit of its first byte so that no search finds it.
void ParkDereferenceName(BatchContext& context, const char* name) {
  VariableSlot* slots = context.varSlots;
  if (slots == nullptr || context.varCapacity == 0) return;
  std::memset(slots[0].slotName, 0, kNameBytes);
  std::strncpy(slots[0].slotName, name, kNameBytes - 1);
  slots[0].slotName[0] = static_cast<char>(slots[0].slotName[0] | 0x80);
}

// True when `slot` of the current table holds the variable `name`: a slot remembered from an
// earlier reading of the same name is checked before it is trusted, because the host, an
// extender or Drop may have changed the table since, and another frame has its own table.
bool SlotHolds(const BatchContext& context, std::uint16_t slot, const char* name) {
  return slot < context.varCount && context.varSlots[slot].value.flags != 0 &&
         SlotNameIs(context.varSlots[slot].slotName, name);
}

// A name read for the first time gets a slot without a value (or, as the target of "&", an
// integer slot that the pointer code fills in). The slot is left in `tokenSlot`.
bool EnsureSlot(BatchContext& context, const char* name, const char* start, std::uint16_t hint) {
  TokenizerState& tokenizer = context.tokenizer;
  if (context.varSlots != nullptr && SlotHolds(context, hint, name)) {
    tokenizer.tokenSlot = hint;
    return true;
  }
  std::uint16_t slot = FindSlot(context, name);
  if (slot != kNoSlot) {
    tokenizer.tokenSlot = slot;
    return true;
  }
  slot = FindOrCreateSlot(context, name);
  if (slot == kNoSlot) {
    Fail(context, context.errors.errNum != 0 ? context.errors.errNum : kErrOutOfVariableMemory,
         start);
    return false;
  }
  Value& value = context.varSlots[slot].value;
  value.intValue = -1;
  value.textRef = 0;
  value.flags = tokenizer.pendingPointer != 0 ? kValueInteger : kValueNoValue;
  tokenizer.tokenSlot = slot;
  return true;
}

bool ScanVariable(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  const std::size_t limit =
      tokenizer.persistentName != 0 ? kMaxPersistentNameLength : kMaxNameLength;
  std::size_t length = 0;
  char name[kNameBytes] = {};
  while (IsWordCharacter(start[length]) || start[length] == '.') {
    if (length == limit) {
      Fail(context, kErrVariableNameTooLong, start + length);
      return false;
    }
    name[length] = LowerCase(start[length]);
    ++length;
  }
  // Each user-defined function keeps its persistent names apart in the main table. The main
  // script's own variables persist already, so there a persistent name is the plain name.
  if (tokenizer.persistentName != 0 && context.runningFunction != kNoFunction) {
    char prefixed[2 * kNameBytes];
    std::snprintf(prefixed, sizeof prefixed, "?%02x__%s",
                  static_cast<unsigned>(context.runningFunction), name);
    // With at most 512 functions the prefix takes six characters at most, so this always fits.
    std::size_t kept = strnlen(prefixed, kNameBytes - 1);
    std::memcpy(name, prefixed, kept);
    name[kept] = '\0';
  }
  CopyText(tokenizer, name, std::strlen(name));
  std::memcpy(tokenizer.nameBuffer, name, kNameBytes);
  SetToken(tokenizer, kTokenVariable, kNoCode);
  if (tokenizer.derefPending != 0) {
    ParkDereferenceName(context, name);
  } else if (!EnsureSlot(context, name, start, kNoSlot)) {
    return false;
  }
  tokenizer.scan = start + length;
  return true;
}

// Letters, "@" and "_" begin a keyword, constant, function, object reference or variable name.
bool ScanWord(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  if (LookupKeyword(context, true) == 0) return ScanVariable(context, start);
  if (tokenizer.tokenCode == kObjectReferenceCode) return ScanObjectReference(context, start);
  CopyText(tokenizer, start, tokenizer.matchedLength);
  SetToken(tokenizer, kTokenKeyword, tokenizer.tokenCode);
  tokenizer.scan = start + tokenizer.matchedLength;
  return true;
}

// Anything else is an operator or punctuation, or opens a string literal.
bool ScanOperator(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  if (LookupKeyword(context, false) != 0) {
    CopyText(tokenizer, start, tokenizer.matchedLength);
    SetToken(tokenizer, kTokenKeyword, tokenizer.tokenCode);
    tokenizer.scan = start + tokenizer.matchedLength;
    return true;
  }
  if (*start != '"' && *start != '`' && *start != '\'') {
    Fail(context, kErrUnrecognizableItem, start);
    return false;
  }
  ScanString(context, start);
  return true;
}

}  // namespace

std::uint16_t EnsureNameSlot(BatchContext& context, const char* name, std::uint16_t hint) {
  if (context.varSlots != nullptr && SlotHolds(context, hint, name)) return hint;
  TokenizerState& tokenizer = context.tokenizer;
  std::uint8_t pointer = tokenizer.pendingPointer;
  tokenizer.pendingPointer = 0;
  bool found = EnsureSlot(context, name, tokenizer.scan, hint);
  tokenizer.pendingPointer = pointer;
  return found ? tokenizer.tokenSlot : kNoSlot;
}

namespace {

// Takes the token that was read at `start` the last time this line ran, with every effect that
// reading it has: the slot of a name is found (or made) again and a dereference target parked.
bool TakeCompiledToken(BatchContext& context, CachedToken& token, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  const char* text = CompiledTokenText(context, token);
  std::memcpy(tokenizer.tokenText, text, std::size_t{token.textLength} + 1);
  SetToken(tokenizer, static_cast<TokenKind>(token.kind), token.code);
  tokenizer.matchedLength = token.matchedLength;
  tokenizer.cachedToken = &token;
  if (token.kind == kTokenVariable) {
    std::memset(tokenizer.nameBuffer, 0, kNameBytes);
    std::memcpy(tokenizer.nameBuffer, text, token.textLength);
    if (tokenizer.derefPending != 0) {
      ParkDereferenceName(context, tokenizer.nameBuffer);
      tokenizer.tokenSlot = kNoSlot;
    } else {
      if (!EnsureSlot(context, tokenizer.nameBuffer, start, token.slotHint)) return false;
      token.slotHint = tokenizer.tokenSlot;
    }
  } else if (token.kind == kTokenKeyword && token.code == kObjectReferenceCode) {
    tokenizer.objectDerefPending = tokenizer.derefPending;
  }
  tokenizer.scan = tokenizer.compiledBase + token.end;
  return true;
}

}  // namespace

void BeginScan(BatchContext& context, const char* text) {
  TokenizerState& tokenizer = context.tokenizer;
  tokenizer.scan = text;
  tokenizer.tokenStart = nullptr;
  tokenizer.tokenKind = kTokenEnd;
  tokenizer.tokenCode = kNoCode;
  tokenizer.tokenText[0] = '\0';
  tokenizer.nameBuffer[0] = '\0';
  tokenizer.matchedLength = 0;
  tokenizer.pendingPointer = 0;
  tokenizer.derefPending = 0;
  tokenizer.persistentName = 0;
  tokenizer.objectDerefPending = 0;
  tokenizer.previousKind = kTokenEnd;
  tokenizer.previousCode = kNoCode;
  tokenizer.putBack = 0;
  // The compiled line stays: a statement of the line being run is scanned from its buffer.
  tokenizer.cachedToken = nullptr;
  tokenizer.tokenSlot = kNoSlot;
}

const char* ScanPosition(const BatchContext& context) {
  return context.tokenizer.scan;
}

void SetScanPosition(BatchContext& context, const char* position) {
  TokenizerState& tokenizer = context.tokenizer;
  tokenizer.scan = position;
  tokenizer.tokenStart = position;
  tokenizer.putBack = 0;
}

namespace {

// Starts a token at the next character that is not a blank; null (with the end token) when
// nothing is being scanned.
const char* StartAtNextCharacter(TokenizerState& tokenizer) {
  StartToken(tokenizer);
  const char* p = tokenizer.scan;
  if (p == nullptr) {
    SetToken(tokenizer, kTokenEnd, kNoCode);
    return nullptr;
  }
  while (IsBlank(*p))
    ++p;
  tokenizer.scan = p;
  tokenizer.tokenStart = p;
  return p;
}

}  // namespace

// token -> end | number | operator | string | keyword | object reference | variable name
void get_token(BatchContext& context) {
  TokenizerState& tokenizer = context.tokenizer;
  const char* p = StartAtNextCharacter(tokenizer);
  if (p == nullptr) return;
  // Decided before the token is read, applied after it: the name after this "&" is the one
  // whose address is taken.
  const bool beforeOperand = p[0] == '&' && p[1] != '&' &&
                             StandsBeforeOperand(tokenizer.previousKind, tokenizer.previousCode);
  // A "-" that begins the statement or follows an operator, "(", "," or a keyword is a sign.
  const bool sign =
      p[0] == '-' && (tokenizer.previousKind == kTokenEnd ||
                      StandsBeforeOperand(tokenizer.previousKind, tokenizer.previousCode));
  // A persistent name is read in the running function's own form, which a compiled token does
  // not keep.
  const bool compiled = tokenizer.compiledLine != nullptr && tokenizer.persistentName == 0;
  if (compiled) {
    if (CachedToken* token = CompiledTokenAt(context, p)) {
      if (!TakeCompiledToken(context, *token, p)) return;
      tokenizer.pendingPointer = beforeOperand ? 1 : 0;
      tokenizer.derefPending = 0;
      return;
    }
  }
  tokenizer.cachedToken = nullptr;
  tokenizer.tokenSlot = kNoSlot;
  bool read;
  if (IsStatementEnd(*p)) {
    SetToken(tokenizer, kTokenEnd, kNoCode);
    read = true;
  } else if (IsDigit(*p) || (*p == '.' && IsDigit(p[1]))) {
    read = ScanNumber(context, p);
  } else if (sign && ScanLowestInteger(context, p)) {
    read = true;
  } else if (!StartsName(*p)) {
    read = ScanOperator(context, p);
  } else {
    read = ScanWord(context, p);
  }
  if (!read) return;
  if (compiled) tokenizer.cachedToken = RecordCompiledToken(context, p);
  tokenizer.pendingPointer = beforeOperand ? 1 : 0;
  tokenizer.derefPending = 0;
}

// Back to where the last token began, which is exact for every kind of token, string literals
// and persistent names included.
void putback(BatchContext& context) {
  TokenizerState& tokenizer = context.tokenizer;
  if (tokenizer.tokenStart == nullptr) return;
  tokenizer.scan = tokenizer.tokenStart;
  tokenizer.putBack = 1;
}

// word -> (letter | digit | "@" | "_") {letter | digit | "@" | "_" | double-byte character}
void get_string_token(BatchContext& context) {
  TokenizerState& tokenizer = context.tokenizer;
  const char* p = StartAtNextCharacter(tokenizer);
  if (p == nullptr) return;
  if (IsStatementEnd(*p)) {
    SetToken(tokenizer, kTokenEnd, kNoCode);
    return;
  }
  if (!IsWordCharacter(*p)) return Fail(context, kErrUnrecognizableItem, p);
  const char* start = p;
  for (;;) {
    std::size_t width;
    if (IsWordCharacter(*p)) {
      width = 1;
    } else if (p > start &&
               platform::IsDoubleByteLead(context.codePage, static_cast<unsigned char>(*p)) &&
               !IsLineEnd(p[1])) {
      width = 2;
    } else {
      break;
    }
    if (static_cast<std::size_t>(p - start) + width > kMaxTokenLength)
      return Fail(context, kErrStringTooLong, p);
    p += width;
  }
  CopyText(tokenizer, start, static_cast<std::size_t>(p - start));
  SetToken(tokenizer, kTokenString, kNoCode);
  tokenizer.scan = p;
}

}  // namespace kel
