// The checked build's failing allocations, the same on every system: the environment says which
// allocation fails, and the memory services ask before they allocate.
#include "platform/platform.h"

#if defined(KEL_CHECKED)

#include <atomic>
#include <cstdlib>

namespace kel::platform {
namespace {

// Allocations counted since the hook was armed, the one that fails (0: none) and the largest
// request that may succeed (0: any).
std::atomic<unsigned long> counted{0};
std::atomic<unsigned long> failing{0};
std::atomic<std::size_t> largest{0};

unsigned long long NumberFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  unsigned long long number = std::strtoull(text, &end, 10);
  return end != nullptr && *end == '\0' ? number : 0;
}

}  // namespace

void ArmAllocationFailures() {
  counted = 0;
  failing = static_cast<unsigned long>(NumberFromEnvironment("KEL_FAIL_ALLOCATION"));
  largest = static_cast<std::size_t>(NumberFromEnvironment("KEL_ALLOCATION_LIMIT"));
}

bool AllocationFailsNow(std::size_t bytes) {
  unsigned long number = ++counted;
  std::size_t limit = largest;
  return number == failing || (limit != 0 && bytes > limit);
}

}  // namespace kel::platform

#endif  // KEL_CHECKED
