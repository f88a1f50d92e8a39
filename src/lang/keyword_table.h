// The keyword table (operators, keywords, @constants and built-in functions) and its lookup.
//
// The table is generated at compile time from lang/keywords.inc: the row at position i has the
// token code i, and for a function that code is also the function id the dispatcher switches
// over. Besides the table, a name may be found among the script's user-defined functions
// (codes 4000 + i), the extender functions (10000 + i) and the host's own table (1000 + i).
#ifndef KEL_LANG_KEYWORD_TABLE_H
#define KEL_LANG_KEYWORD_TABLE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "kel/kel_host.h"

namespace kel {

struct BatchContext;

// What a row is; the low byte of `KelKeywordRow::kind`.
enum RowKind : std::uint32_t {
  kRowOperator = 0,        // binary operator or punctuation
  kRowPrefixOperator = 1,  // operator that may also stand before an operand
  kRowFunction = 2,
  kRowConstant = 3,
  kRowCommand = 4,       // takes the rest of the statement without parentheses
  kRowComparison = 5,    // comparison operator
  kRowNameFunction = 6,  // function whose arguments are variable names
  kRowStructure = 8,
};
// Set in a function row's kind when this product does not offer the function.
constexpr std::uint32_t kRowNotAvailable = 0x2000;

// Every row's token code, named after its identifier in lang/keywords.inc: kKeywordStrSub,
// kKeywordOpenParenthesis, kKeywordAtTrue ("@true"), kKeywordInternalOleObject ("?oleobject").
enum KeywordCode : std::uint16_t {
#define KEL_KEYWORD(identifier, name, kind) kKeyword##identifier,
#define KEL_FUNCTION(identifier, name, signature) kKeyword##identifier,
#define KEL_UNAVAILABLE(identifier, name) kKeyword##identifier,
#define KEL_CONSTANT(identifier, name, value) kKeyword##identifier,
#define KEL_FLOAT_CONSTANT(identifier, name, number) kKeyword##identifier,
#define KEL_TEXT_CONSTANT(identifier, name, number) kKeyword##identifier,
#include "lang/keywords.inc"
#undef KEL_KEYWORD
#undef KEL_FUNCTION
#undef KEL_UNAVAILABLE
#undef KEL_CONSTANT
#undef KEL_FLOAT_CONSTANT
#undef KEL_TEXT_CONSTANT
  kKeywordCount
};
static_assert(kKeywordCount == 647, "the keyword table has 647 rows");

// Token code ranges outside the keyword table.
constexpr std::uint16_t kHostCodeBase = 1000;  // row i of the host's table
constexpr std::uint16_t kHostCodeLast = 1998;
constexpr std::uint16_t kDefinitionCodeBase = 4000;  // user-defined function i
constexpr std::uint16_t kDefinitionCodeLast = 4998;
constexpr std::uint16_t kExtenderCodeBase = 10000;  // row i of the extender function table
constexpr std::uint16_t kExtenderCodeLast = 10500;
constexpr std::uint16_t kNoCode = 65535;
// Object and array references (a dotted name, or an array variable with a subscript) get the
// code of the object-access pseudo-function.
constexpr std::uint16_t kObjectReferenceCode = kKeywordInternalOleObject;

// The argument count that marks a function reading its own arguments from the token stream.
constexpr std::uint32_t kReadsOwnArguments = 255;

// A constant row's value field holds the integer itself, or one of these codes whose low byte
// numbers a float or text constant.
constexpr std::uint32_t kFloatConstantCode = 0xF0F0F000;
constexpr std::uint32_t kTextConstantCode = 0xFFF0F000;
constexpr std::uint32_t kConstantCodeMask = 0xFFFFFF00;
constexpr std::size_t kFloatConstantCount = 20;
constexpr std::size_t kTextConstantCount = 4;
// The exact doubles of the float constants and the texts of the text constants, by number.
extern const double kFloatConstants[kFloatConstantCount];
extern const char* const kTextConstants[kTextConstantCount];

// The row of a keyword table code, or null for any other code.
const KelKeywordRow* KeywordRow(std::uint32_t code);
// All 647 rows, in code order.
const KelKeywordRow* KeywordRows();

// The row behind any kind-1 token code: the keyword table, the host's table or the extender
// function table; null for user-defined functions and codes that name no row.
const KelKeywordRow* TokenRow(const BatchContext& context, std::uint32_t code);

// The process-wide extender function table: the extender loader copies the functions of every
// extender it loads into these rows and keeps the number in use in the context
// (`tokenizer.extenderRowCount`). Empty until an extender is loaded.
constexpr std::size_t kExtenderRowCapacity = 501;
KelKeywordRow* ExtenderRows();

// Finds the longest name at the scan pointer (which it does not move): the keyword table, then
// the user-defined functions, the extender functions and, in whole-word mode, the host's table.
// In whole-word mode a match must not be followed by a letter, digit, "@" or "_", and a dotted
// name or an array variable followed by a subscript is an object reference. Returns 1 and sets
// `tokenizer.tokenCode` and `tokenizer.matchedLength`, or 0.
int LookupKeyword(BatchContext& context, bool wholeWord);

// The keyword table's first-letter index as the trace's keyword-lookup dump shows it: whether it
// is sound, the number of rows, and the rows each first character's names occupy.
std::string KeywordIndexReport();

// The index of the host's row named `name` (compared without case), or -1.
int HostRowNamed(const BatchContext& context, const char* name);

}  // namespace kel

#endif  // KEL_LANG_KEYWORD_TABLE_H
