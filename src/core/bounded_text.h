// Copying a text into a buffer of a known size, cut to fit and always terminated: what
// snprintf("%s") does, without reading a format on every statement that copies a name.
#ifndef KEL_CORE_BOUNDED_TEXT_H
#define KEL_CORE_BOUNDED_TEXT_H

#include <cstddef>
#include <cstring>

namespace kel {

inline void CopyBounded(char* to, std::size_t size, const char* from) {
  if (size == 0) return;
  std::size_t length = strnlen(from, size - 1);
  std::memcpy(to, from, length);
  to[length] = '\0';
}

}  // namespace kel

#endif  // KEL_CORE_BOUNDED_TEXT_H
