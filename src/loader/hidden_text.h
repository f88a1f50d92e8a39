// The form in which script texts are held in memory while they run: every byte passes through a
// per-process permutation and is mixed with its position, so a text is never left readable in
// the process's memory.
#ifndef KEL_LOADER_HIDDEN_TEXT_H
#define KEL_LOADER_HIDDEN_TEXT_H

#include <cstddef>
#include <cstdint>

#include "core/loader_state.h"

namespace kel {

struct BatchContext;

// Draws the permutation from the process's generator; later calls keep the first one.
void SetUpTextPermutation();

// Hides `length` bytes in place (the text and its terminator). Returns 1.
int HideText(BatchContext& context, char* text, std::size_t length);

// The byte stored for `plain` at `position`, and the plain byte of a stored one. A function
// body keeps the bytes of its text, so its position is its offset plus the body's base.
std::uint8_t ConcealByte(std::uint8_t plain, std::uint32_t position);
std::uint8_t RevealByte(std::uint8_t stored, std::uint32_t position);

// The plain byte at `offset` of a hidden text.
inline std::uint8_t PlainByteAt(const ScriptText& text, std::uint32_t offset) {
  return RevealByte(text.bytes[offset], offset + text.base);
}

}  // namespace kel

#endif  // KEL_LOADER_HIDDEN_TEXT_H
