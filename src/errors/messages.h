// The message catalogue: numbered texts for errors and the user interface.
#ifndef KEL_ERRORS_MESSAGES_H
#define KEL_ERRORS_MESSAGES_H

#include <cstddef>
#include <cstdint>

namespace kel {

struct BatchContext;

// Copies the text of `id` (with "~" as a line feed and "|" as a tab) into `out`; its length.
// A number the catalogue lacks gives an empty text.
std::size_t LoadMessage(BatchContext& context, std::uint32_t id, char* out, std::size_t size);

}  // namespace kel

#endif  // KEL_ERRORS_MESSAGES_H
