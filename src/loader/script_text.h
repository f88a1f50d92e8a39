// Preparing a script text for the run: byte-order marks and line ends.
#ifndef KEL_LOADER_SCRIPT_TEXT_H
#define KEL_LOADER_SCRIPT_TEXT_H

#include <cstddef>
#include <cstdint>

namespace kel {

struct BatchContext;

// Turns each CR LF into a blank and a LF and each other CR into a LF, in place.
void NormaliseLineEnds(char* text);

// A text that begins with a UTF-16 byte-order mark is converted to ANSI in place (within the
// `bytes` of its block). Returns false when it cannot be converted; a text without a mark is
// left alone.
bool ConvertWideScript(BatchContext& context, char* text, std::size_t bytes);

// True for a script file in an encoded form (first byte 1, 2 or 3, or a text that begins with
// ";", the control character 12 and "@"). No encoder belongs to this product, so such a text is
// refused rather than run as if its bytes were statements.
bool IsEncodedScript(const char* text);

}  // namespace kel

#endif  // KEL_LOADER_SCRIPT_TEXT_H
