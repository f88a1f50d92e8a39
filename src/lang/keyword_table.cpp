// The keyword table, generated from lang/keywords.inc at compile time, and the keyword lookup.
#include "lang/keyword_table.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/batch_context.h"
#include "lang/debug_trace.h"
#include "lang/tokenizer_characters.h"
#include "lang/value.h"
#include "lang/variables.h"
#include "loader/definitions.h"

namespace kel {

const double kFloatConstants[kFloatConstantCount] = {
    3.141592653589793,   // @pi
    2.718281828459045,   // @e
    0.017453292519943,   // @deg2rad: rounded, not pi / 180 to the last digit
    57.29577951308232,   // @rad2deg
    6.6256e-34,          // @planckjoules
    6.6252e-27,          // @planckergs: the value scripts rely on, not 6.6256e-27
    32.174,              // @gftsec
    9.80665,             // @gmtsec
    1.66043e-27,         // @amc
    6.02252e+23,         // @avogadro
    1.38054e-23,         // @boltzmann
    8.8541853e-12,       // @electric
    0.5772156649015339,  // @eulers
    96487.0,             // @faraday
    1.618033988749895,   // @goldenratio
    6.67e-11,            // @gravitation
    299792500.0,         // @lightmtps
    1.256637,            // @magfield
    206.265,             // @parsec
    186272.0,            // @lightmps
};

const char* const kTextConstants[kTextConstantCount] = {"\r\n", "\t", "\r", "\n"};

namespace {

// One row as lang/keywords.inc writes it.
struct SourceRow {
  const char* name;
  std::uint32_t kind;
  const char* signature;  // functions only
  std::uint32_t value;    // constants only
};

constexpr SourceRow kSourceRows[] = {
#define KEL_KEYWORD(identifier, name, kind) {name, kRow##kind, nullptr, 0},
#define KEL_FUNCTION(identifier, name, signature) {name, kRowFunction, signature, 0},
#define KEL_UNAVAILABLE(identifier, name) {name, kRowFunction | kRowNotAvailable, "-", 0},
#define KEL_CONSTANT(identifier, name, value) \
  {name, kRowConstant, nullptr, static_cast<std::uint32_t>(static_cast<std::int64_t>(value))},
#define KEL_FLOAT_CONSTANT(identifier, name, number) \
  {name, kRowConstant, nullptr, kFloatConstantCode | (number)},
#define KEL_TEXT_CONSTANT(identifier, name, number) \
  {name, kRowConstant, nullptr, kTextConstantCode | (number)},
#include "lang/keywords.inc"
#undef KEL_KEYWORD
#undef KEL_FUNCTION
#undef KEL_UNAVAILABLE
#undef KEL_CONSTANT
#undef KEL_FLOAT_CONSTANT
#undef KEL_TEXT_CONSTANT
};
static_assert(std::size(kSourceRows) == kKeywordCount, "one source row per code");

// A signature's 4-bit argument type codes (argument 1 lowest) and its counts.
struct Signature {
  std::uint64_t types;
  std::uint32_t counts;
  bool valid;
};

constexpr int ArgumentTypeCode(char letter) {
  switch (letter) {
    case 'i':
      return 0;
    case 's':
      return 1;
    case 'f':
      return 2;
    case 'a':
      return 3;
    case 'v':
      return 4;
    case 'w':
      return 5;
    case 't':
      return 6;
    case 'n':
      return 7;
    case 'm':
      return 8;
    case 'x':
      return 15;
    default:
      return -1;
  }
}

constexpr std::size_t kMaxDeclaredArguments = 16;

// "ax[iiiii]": required letters, then optional letters in brackets; "-" none; "*" the function
// reads its own arguments.
constexpr Signature ParseSignature(const char* text) {
  Signature result{0, 0, true};
  if (text[0] == '*' && text[1] == '\0') {
    result.counts = kReadsOwnArguments;
    return result;
  }
  if (text[0] == '-' && text[1] == '\0') return result;
  std::uint32_t required = 0, optional = 0, position = 0;
  bool inOptional = false, closed = false;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '[') {
      if (inOptional || closed) result.valid = false;
      inOptional = true;
      continue;
    }
    if (*p == ']') {
      if (!inOptional) result.valid = false;
      inOptional = false;
      closed = true;
      continue;
    }
    int code = ArgumentTypeCode(*p);
    if (closed || code < 0 || position >= kMaxDeclaredArguments) {
      result.valid = false;
      break;
    }
    result.types |= static_cast<std::uint64_t>(code) << (4 * position);
    ++position;
    if (inOptional) {
      ++optional;
    } else {
      ++required;
    }
  }
  if (inOptional || position == 0) result.valid = false;
  result.counts = required | (optional << 8);
  return result;
}

constexpr std::size_t NameLength(const char* name) {
  std::size_t length = 0;
  while (name[length] != '\0')
    ++length;
  return length;
}

using RowArray = std::array<KelKeywordRow, kKeywordCount>;

// The functions this product offers are the ones the dispatcher lists; every other function
// row carries the "not available" bit, so that using it reports 3472.
constexpr bool IsOffered(std::size_t code) {
  switch (code) {
#define KEL_BUILTIN(identifier, routine) case kKeyword##identifier:
#include "lang/functions.inc"
#undef KEL_BUILTIN
    return true;
    default:
      return false;
  }
}

constexpr RowArray BuildRows() {
  RowArray rows{};
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    const SourceRow& source = kSourceRows[i];
    KelKeywordRow& row = rows[i];
    row.id = static_cast<std::uint32_t>(i);
    row.kind = source.kind;
    if ((source.kind & 0xFF) == kRowFunction && !IsOffered(i)) row.kind |= kRowNotAvailable;
    if ((source.kind & 0xFF) == kRowFunction) {
      Signature signature = ParseSignature(source.signature);
      row.argTypesLow = static_cast<std::uint32_t>(signature.types);
      row.argTypesHigh = static_cast<std::uint32_t>(signature.types >> 32);
      row.argCounts = signature.counts;
    } else if (source.kind == kRowConstant) {
      row.argCounts = source.value;
    }
    row.nameLength = static_cast<std::uint16_t>(NameLength(source.name));
    for (std::size_t c = 0; c < row.nameLength && c < sizeof row.name - 1; ++c)
      row.name[c] = source.name[c];
  }
  return rows;
}

constexpr RowArray kRows = BuildRows();

// What the lookup relies on, checked when the table is built rather than when it is searched.

constexpr bool SignaturesAreValid() {
  for (const SourceRow& source : kSourceRows)
    if ((source.kind & 0xFF) == kRowFunction && !ParseSignature(source.signature).valid)
      return false;
  return true;
}
static_assert(SignaturesAreValid(), "every function signature parses");

constexpr bool NamesAreWellFormed() {
  for (const SourceRow& source : kSourceRows) {
    std::size_t length = NameLength(source.name);
    if (length == 0 || length > kMaxNameLength) return false;
    for (std::size_t c = 0; c < length; ++c) {
      auto byte = static_cast<unsigned char>(source.name[c]);
      // The lookup compares lower-cased source characters with the row's own.
      if (byte >= 128 || (byte >= 'A' && byte <= 'Z')) return false;
    }
  }
  return true;
}
static_assert(NamesAreWellFormed(), "names are 1 to 30 lower-case 7-bit characters");

// The first-letter index finds a character's rows as one run, so the rows must stand in
// ascending order of their first character (and no name may occur twice).
constexpr bool FirstCharactersAscend() {
  for (std::size_t i = 1; i < kKeywordCount; ++i)
    if (static_cast<unsigned char>(kRows[i].name[0]) <
        static_cast<unsigned char>(kRows[i - 1].name[0]))
      return false;
  return true;
}
static_assert(FirstCharactersAscend(), "rows ascend by their first name character");

constexpr bool NamesAreDistinct() {
  for (std::size_t i = 0; i < kKeywordCount; ++i)
    for (std::size_t j = i + 1; j < kKeywordCount && kRows[j].name[0] == kRows[i].name[0]; ++j) {
      bool same = kRows[i].nameLength == kRows[j].nameLength;
      for (std::size_t c = 0; same && c < kRows[i].nameLength; ++c)
        same = kRows[i].name[c] == kRows[j].name[c];
      if (same) return false;
    }
  return true;
}
static_assert(NamesAreDistinct(), "no name occurs twice");

constexpr std::size_t CountOfKind(std::uint32_t kind) {
  std::size_t count = 0;
  for (const KelKeywordRow& row : kRows)
    if ((row.kind & 0xFF) == kind) ++count;
  return count;
}
static_assert(CountOfKind(kRowFunction) == 480, "480 built-in functions");
static_assert(CountOfKind(kRowConstant) == 100, "100 @constants");

// start[c] .. start[c + 1] are the rows whose name begins with character c; characters after
// the last row's first character start (and end) at the table's end.
using FirstLetterIndex = std::array<std::uint16_t, 129>;

constexpr FirstLetterIndex BuildFirstLetterIndex() {
  FirstLetterIndex start{};
  int previous = -1;
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    int c = static_cast<unsigned char>(kRows[i].name[0]);
    if (c == previous) continue;
    for (int k = previous + 1; k <= c; ++k)
      start[k] = static_cast<std::uint16_t>(i);
    previous = c;
  }
  for (int k = previous + 1; k <= 128; ++k)
    start[k] = static_cast<std::uint16_t>(kKeywordCount);
  return start;
}

// Built with the table, so it exists once per process before any script runs.
constexpr FirstLetterIndex kFirstLetter = BuildFirstLetterIndex();

KelKeywordRow gExtenderRows[kExtenderRowCapacity];

// The most rows of the host's table that codes 1000 .. 1998 can name.
constexpr std::size_t kMaxHostRows = kHostCodeLast - kHostCodeBase + 1;
constexpr std::size_t kMaxRowNameLength = sizeof(KelKeywordRow::name) - 1;

// True when the `length` characters of `name` equal the source's lower-cased characters (and,
// in whole-word mode, no name character follows them). The row's characters are lower-cased as
// well: the host's and the extenders' tables are theirs to write.
bool NameMatches(const char* name, std::size_t length, const char* source, bool wholeWord) {
  for (std::size_t i = 0; i < length; ++i)
    if (IsLineEnd(source[i]) || LowerCase(name[i]) != LowerCase(source[i])) return false;
  return !wholeWord || !IsWordCharacter(source[length]);
}

// Searches rows of the host's or an extender's format; returns the index of the longest match
// (the first among equally long ones) and its length, or -1.
int LongestRowMatch(const KelKeywordRow* rows, std::size_t count, bool stopAtEmptyRow,
                    const char* source, bool wholeWord, std::size_t& bestLength) {
  int best = -1;
  bestLength = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t length = rows[i].nameLength;
    if (length == 0) {
      if (stopAtEmptyRow) break;
      continue;
    }
    if (length <= bestLength || length > kMaxRowNameLength) continue;
    if (NameMatches(rows[i].name, length, source, wholeWord)) {
      best = static_cast<int>(i);
      bestLength = length;
    }
  }
  return best;
}

// The bracket's content looks like a subscript when it is not empty and its closing bracket
// stands on the same line (brackets, parentheses and string literals inside are stepped over).
bool LooksLikeSubscript(const char* bracket) {
  const char* p = bracket + 1;
  while (IsBlank(*p))
    ++p;
  if (*p == ']' || IsLineEnd(*p)) return false;
  int depth = 1;
  for (; !IsLineEnd(*p); ++p) {
    char c = *p;
    if (c == '"' || c == '\'' || c == '`') {
      const char* close = std::strchr(p + 1, c);
      if (close == nullptr) return false;
      p = close;
    } else if (c == '[' || c == '(') {
      ++depth;
    } else if (c == ']' || c == ')') {
      if (--depth == 0) return c == ']';
    }
  }
  return false;
}

constexpr std::uint16_t kVariantArrayBit = 0x2000;

// An array variable, an object whose variant is an array, or a text that points to a variable
// holding an array.
bool VariableHoldsArray(BatchContext& context, const char* name, std::size_t length) {
  char key[kNameBytes] = {};
  for (std::size_t i = 0; i < length; ++i)
    key[i] = LowerCase(name[i]);
  std::uint16_t slot = FindSlot(context, key);
  if (slot == kNoSlot) return false;
  Value& value = context.varSlots[slot].value;
  if ((value.flags & kValueArray) != 0) return true;
  if ((value.flags & kValueObject) != 0) {
    std::uint16_t variantType;
    std::memcpy(&variantType, value.objectData, sizeof variantType);
    return (variantType & kVariantArrayBit) != 0;
  }
  if ((value.flags & kValueText) != 0) {
    // Any text may stand here; only a valid pointer counts, and a text that is not one is no
    // error of this statement.
    std::uint32_t standing = context.errors.errNum;
    bool holds = PointerHoldsArray(context, ValueText(context, value));
    context.errors.errNum = standing;
    return holds;
  }
  return false;
}

// Step one of a whole-word lookup: a name followed by "." (a dotted reference) or by the
// subscript of an array is an object reference.
bool IsObjectReference(BatchContext& context, const char* source) {
  std::size_t length = source[0] == '@' ? 1 : 0;
  while (IsLetter(source[length]) || IsDigit(source[length]) || source[length] == '_')
    ++length;
  if (length == 0 || length > kMaxNameLength) return false;
  if (source[length] == '.') return true;
  return source[length] == '[' && LooksLikeSubscript(source + length) &&
         VariableHoldsArray(context, source, length);
}

// A user-defined function's name at the source: the definitions are looked up by whole name,
// so the candidates are the word's prefixes (only the whole word in whole-word mode).
bool FindDefinitionAt(const BatchContext& context, const char* source, bool wholeWord,
                      std::uint16_t& index, std::size_t& length) {
  std::size_t word = 0;
  while (IsWordCharacter(source[word]))
    ++word;
  if (word == 0) return false;
  std::size_t shortest = wholeWord ? word : 1;
  if (word > kMaxNameLength) {
    if (wholeWord) return false;
    word = kMaxNameLength;
  }
  for (std::size_t candidate = word; candidate >= shortest; --candidate) {
    std::uint16_t found = FindDefinition(context, source, candidate);
    if (found != kNoDefinition && found <= kDefinitionCodeLast - kDefinitionCodeBase) {
      index = found;
      length = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

const KelKeywordRow* KeywordRows() {
  return kRows.data();
}

const KelKeywordRow* KeywordRow(std::uint32_t code) {
  return code < kKeywordCount ? &kRows[code] : nullptr;
}

KelKeywordRow* ExtenderRows() {
  return gExtenderRows;
}

const KelKeywordRow* TokenRow(const BatchContext& context, std::uint32_t code) {
  if (code < kKeywordCount) return &kRows[code];
  if (code >= kExtenderCodeBase && code <= kExtenderCodeLast) {
    std::uint32_t index = code - kExtenderCodeBase;
    return index < context.tokenizer.extenderRowCount ? &gExtenderRows[index] : nullptr;
  }
  if (code >= kHostCodeBase && code <= kHostCodeLast && context.hostKeywords != nullptr) {
    const auto* rows = static_cast<const KelKeywordRow*>(context.hostKeywords);
    std::uint32_t index = code - kHostCodeBase;
    for (std::uint32_t i = 0; i < index; ++i)
      if (rows[i].nameLength == 0) return nullptr;
    return rows[index].nameLength != 0 ? &rows[index] : nullptr;
  }
  return nullptr;
}

std::string KeywordIndexReport() {
  // The index is built with the table; looked at again here, so that memory overwritten since
  // shows as damage rather than as a wrong word.
  bool sound = kFirstLetter[0] == 0 && kFirstLetter[128] == kKeywordCount;
  for (int c = 0; sound && c < 128; ++c) {
    sound = kFirstLetter[c] <= kFirstLetter[c + 1];
    for (std::uint32_t i = kFirstLetter[c]; sound && i < kFirstLetter[c + 1]; ++i)
      sound = static_cast<unsigned char>(kRows[i].name[0]) == c;
  }
  if (!sound) return "QuickLook structure has been damaged!\r\n";
  std::string report = "QuickLook structure is okay.\r\n";
  char line[64];
  std::snprintf(line, sizeof line, "Rows: %u  Characters: 128\r\n",
                static_cast<unsigned>(kKeywordCount));
  report += line;
  for (int c = 0; c < 128; ++c) {
    if (kFirstLetter[c] == kFirstLetter[c + 1]) continue;
    std::snprintf(line, sizeof line, "%c  %4u .. %4u\r\n", c,
                  static_cast<unsigned>(kFirstLetter[c]),
                  static_cast<unsigned>(kFirstLetter[c + 1] - 1));
    report += line;
  }
  return report;
}

int LookupKeyword(BatchContext& context, bool wholeWord) {
  if ((context.trace.flags & kTraceKeywordLookups) != 0 && context.trace.mode == 1)
    TraceKeywordLookup(context);
  TokenizerState& tokenizer = context.tokenizer;
  const char* source = tokenizer.scan;
  if (source == nullptr || IsStatementEnd(*source)) return 0;
  auto found = [&](std::uint32_t code, std::size_t length) {
    tokenizer.tokenCode = static_cast<std::uint16_t>(code);
    tokenizer.matchedLength = static_cast<std::uint16_t>(length);
    return 1;
  };

  if (wholeWord && IsObjectReference(context, source))
    return found(kObjectReferenceCode, kRows[kObjectReferenceCode].nameLength);

  auto first = static_cast<unsigned char>(LowerCase(source[0]));
  if (first < 128) {
    std::size_t bestLength = 0;
    std::uint32_t bestCode = kNoCode;
    // OPTIMIZATION: the table's names are lower case already and most rows differ from the
    // word in its second character, so that one is compared before the whole name.
    char second = LowerCase(source[1]);
    for (std::uint32_t i = kFirstLetter[first]; i < kFirstLetter[first + 1]; ++i) {
      std::size_t length = kRows[i].nameLength;
      if (length <= bestLength) continue;
      if (length > 1 && kRows[i].name[1] != second) continue;
      if (NameMatches(kRows[i].name, length, source, wholeWord)) {
        bestLength = length;
        bestCode = i;
      }
    }
    if (bestLength != 0) return found(bestCode, bestLength);
  }

  std::uint16_t definition;
  std::size_t length;
  if (FindDefinitionAt(context, source, wholeWord, definition, length))
    return found(kDefinitionCodeBase + definition, length);

  std::size_t extenderRows = tokenizer.extenderRowCount;
  if (extenderRows > kExtenderRowCapacity) extenderRows = kExtenderRowCapacity;
  int extender = LongestRowMatch(gExtenderRows, extenderRows, false, source, wholeWord, length);
  if (extender >= 0) return found(kExtenderCodeBase + extender, length);

  if (wholeWord && context.hostKeywords != nullptr) {
    const auto* rows = static_cast<const KelKeywordRow*>(context.hostKeywords);
    int host = LongestRowMatch(rows, kMaxHostRows, true, source, wholeWord, length);
    if (host >= 0) return found(kHostCodeBase + host, length);
  }
  return 0;
}

int HostRowNamed(const BatchContext& context, const char* name) {
  if (context.hostKeywords == nullptr) return -1;
  const auto* rows = static_cast<const KelKeywordRow*>(context.hostKeywords);
  const std::size_t length = std::strlen(name);
  for (std::size_t i = 0; i < kMaxHostRows && rows[i].nameLength != 0; ++i) {
    if (rows[i].nameLength != length || length > kMaxRowNameLength) continue;
    std::size_t k = 0;
    while (k < length && LowerCase(rows[i].name[k]) == LowerCase(name[k]))
      ++k;
    if (k == length) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace kel
