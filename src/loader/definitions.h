// The user-defined functions and subroutines a script has defined.
#ifndef KEL_LOADER_DEFINITIONS_H
#define KEL_LOADER_DEFINITIONS_H

#include <cstddef>
#include <cstdint>

namespace kel {

struct BatchContext;

constexpr std::uint16_t kNoDefinition = 65535;

// The index of the recorded definition with this name (compared without case), or
// kNoDefinition.
std::uint16_t FindDefinition(const BatchContext& context, const char* name, std::size_t length);

}  // namespace kel

#endif  // KEL_LOADER_DEFINITIONS_H
