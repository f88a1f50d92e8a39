// The tokenizer's part of the BatchContext: the scan position, the current token and the flags
// for the next name read. The tokenizer itself is lang/tokenizer.h.
#ifndef KEL_CORE_TOKENIZER_STATE_H
#define KEL_CORE_TOKENIZER_STATE_H

#include <cstddef>
#include <cstdint>

#include "core/variable_state.h"

namespace kel {

constexpr std::size_t kTokenTextBytes = 2050;
// The longest text a token can carry: the token text buffer less its terminator.
constexpr std::size_t kMaxTokenLength = kTokenTextBytes - 1;

struct TokenizerState {
  const char* scan;        // the next character to read; null before the first BeginScan
  const char* tokenStart;  // where the last token began; putback returns there
  std::uint8_t tokenKind;
  std::uint16_t tokenCode;  // kNoCode for every kind but 1
  char tokenText[kTokenTextBytes];
  // The slot name of the last variable token (lower case, prefixed for persistent names).
  char nameBuffer[kNameBytes];
  // Characters of the matched row's name (or the user-defined function's) that the last
  // keyword lookup found.
  std::uint16_t matchedLength;
  std::uint8_t pendingPointer;      // the next name read is created as an integer (pointer)
  std::uint8_t derefPending;        // the next name read is the target of a dereference
  std::uint8_t persistentName;      // the next name read is a persistent name of the function
  std::uint8_t objectDerefPending;  // derefPending as it stood when an object reference was read
  // The token before the current one, for deciding whether "&" stands before an operand; after
  // a putback the current token is no longer the one that went before.
  std::uint8_t previousKind;
  std::uint16_t previousCode;
  std::uint8_t putBack;
  // Rows of the process-wide extender function table in use (set by the extender loader).
  std::uint16_t extenderRowCount;
  // The slot of the last variable token in the current table (kNoSlot when it has none).
  std::uint16_t tokenSlot;
  // The compiled line (CompiledLine) whose tokens are taken while `compiledBase`, the buffer
  // holding its text, is scanned; and the compiled token (CachedToken) that is current.
  void* compiledLine;
  const char* compiledBase;
  void* cachedToken;
  // The compiled expression (CompiledExpression) of the compiled line that the statement runner
  // found where the statement's expression begins: the next expression read takes it instead of
  // reading its tokens, and leaves the token after it current.
  const void* directExpression;
};

}  // namespace kel

#endif  // KEL_CORE_TOKENIZER_STATE_H
