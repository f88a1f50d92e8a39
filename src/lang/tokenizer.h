// The tokenizer: turns the characters at the scan position into the next token, puts the last
// token back, and keeps the variable table in step with the names it reads.
//
// How the evaluator and the statement runner drive it:
//   BeginScan(context, text)    point it at a statement (resets the token and its flags)
//   get_token(context)          the next token: context.tokenizer.tokenKind, tokenCode and
//                               tokenText; on failure errors.errNum is set and the scan
//                               position stands at the offending character
//   putback(context)            the scan position goes back to the start of the last token
//   ScanPosition / SetScanPosition   save a position and scan again from it later
// Every variable name read gets its slot at once (without a value), unless it is the target of
// a dereference, which is parked in the name of reserved slot 0 instead.
#ifndef KEL_LANG_TOKENIZER_H
#define KEL_LANG_TOKENIZER_H

#include <cstddef>
#include <cstdint>

#include "core/batch_context.h"
#include "core/tokenizer_state.h"
#include "lang/variables.h"

namespace kel {

struct BatchContext;

// A persistent name is prefixed with "?xx__" and must still fit a slot name.
constexpr std::size_t kMaxPersistentNameLength = 25;

enum TokenKind : std::uint8_t {
  kTokenEnd = 0,      // end of the statement: end of the line or ";"
  kTokenKeyword = 1,  // operator, keyword, constant or function; tokenCode says which
  kTokenVariable = 2,
  kTokenInteger = 3,
  kTokenString = 4,  // a string literal, or a bare word from get_string_token
  kTokenFloat = 5,
};

// Points the tokenizer at a statement's text and forgets the previous token and its flags.
void BeginScan(BatchContext& context, const char* text);
const char* ScanPosition(const BatchContext& context);
// Scans again from a position saved with ScanPosition.
void SetScanPosition(BatchContext& context, const char* position);

void get_token(BatchContext& context);
// What reading the name `name` (lower case) as a variable does: its slot, made without a value
// when the current table has none, checking `hint` first. kNoSlot with the error set when the
// table is full.
std::uint16_t EnsureNameSlot(BatchContext& context, const char* name, std::uint16_t hint);
// The same, answering at once when `hint` is the name's slot in the current table (`slots`,
// `count`): the name must be zero-padded to kNameBytes bytes.
inline std::uint16_t NameSlot(BatchContext& context, const VariableSlot* slots, std::uint16_t count,
                              const char* name, std::uint16_t hint) {
  if (slots != nullptr && hint < count && slots[hint].value.flags != 0 &&
      SlotNameIs(slots[hint].slotName, name))
    return hint;
  return EnsureNameSlot(context, name, hint);
}
// A slot kept from an earlier reading of `name`, when it is still the name's slot in the
// current table (the same checks as a hint, on a pointer that saves finding the slot from its
// number); null when it is not, and the name is then looked up as usual.
inline VariableSlot* CachedNameSlot(const BatchContext& context, VariableSlot* cached,
                                    const char* name) {
  const std::uintptr_t offset =
      reinterpret_cast<std::uintptr_t>(cached) - reinterpret_cast<std::uintptr_t>(context.varSlots);
  if (offset >= std::uintptr_t{context.varCount} * sizeof(VariableSlot) ||
      offset % sizeof(VariableSlot) != 0 || cached->value.flags == 0 ||
      !SlotNameIs(cached->slotName, name))
    return nullptr;
  return cached;
}
void putback(BatchContext& context);
// Reads a bare word (letters, digits, "@" and "_") as a kind-4 token, for the places where the
// grammar wants a word rather than an expression.
void get_string_token(BatchContext& context);

}  // namespace kel

#endif  // KEL_LANG_TOKENIZER_H
