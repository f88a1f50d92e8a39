// What the binary buffer functions share: finding a buffer from a handle argument and checking
// offsets and counts against its size and its end of data before any byte is touched.
#ifndef KEL_FUNCTIONS_BINARY_BINARY_SUPPORT_H
#define KEL_FUNCTIONS_BINARY_BINARY_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/buffer_state.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// The buffer an integer argument names; null with 3023 when it names none.
BufferSlot* BufferArgument(BatchContext& context, const EvalValue& argument);

inline std::int32_t IntegerAt(const EvalValue* arguments, int index) {
  return arguments[index].value.intValue;
}

// Where a range must lie.
enum class RangeLimit { Size, Eod };

// Checks offset and count against the buffer: a negative offset is 1548, a negative count 1549,
// an offset at or beyond the size 1543 and a count running past it 1544; with RangeLimit::Eod
// also an offset at or beyond the end of data 1550 and a count running past it 1551.
bool CheckRange(BatchContext& context, const BufferSlot& buffer, std::int32_t offset,
                std::int32_t count, RangeLimit limit);

// Raises the end of data to `end` when it is lower (end never exceeds the size).
inline void RaiseEod(BufferSlot& buffer, std::int64_t end) {
  if (end > buffer.eod) buffer.eod = static_cast<std::int32_t>(end);
}

void SetFloatResult(BatchContext& context, EvalValue& result, double number);

// The bytes a hexadecimal text describes (two digits a byte); false when it is not one.
bool ParseHexBytes(const char* text, std::vector<std::uint8_t>& bytes);

// A file name argument as UTF-16; false with the error set when it cannot be had.
bool FileNameArgument(BatchContext& context, EvalValue& argument, std::u16string* name);

// The upper-case form of every byte value, as the platform's ANSI casing gives it.
struct UpperTable {
  UpperTable();
  std::uint8_t map[256];
};
// The table, made on first use.
const UpperTable& Upper();

// A linear-time search for one byte pattern (no quadratic case on repetitive data): the
// prefix table of the pattern is made once, so that many searches with it cost no more.
// `fold` compares through the upper-case table. Backward searches find the last match.
constexpr std::size_t kNotFound = SIZE_MAX;
class ByteSearcher {
 public:
  ByteSearcher(const std::uint8_t* pattern, std::size_t length, const UpperTable* fold,
               bool backward);
  // The first (backward: the last) match lying wholly in [begin, end); kNotFound if none.
  std::size_t Find(const std::uint8_t* data, std::size_t begin, std::size_t end) const;
  std::size_t Length() const { return pattern_.size(); }

 private:
  std::uint8_t Unit(std::uint8_t byte) const { return fold_ ? fold_->map[byte] : byte; }
  std::vector<std::uint8_t> pattern_;  // folded, and reversed for a backward search
  std::vector<std::size_t> prefix_;
  const UpperTable* fold_;
  bool backward_;
};

// Visits every non-overlapping match in [0, end) from the left, in order: visit(position).
template <typename Visit>
void ForEachMatch(const ByteSearcher& searcher, const std::uint8_t* data, std::size_t end,
                  Visit visit) {
  std::size_t at = 0;
  while (at + searcher.Length() <= end) {
    std::size_t found = searcher.Find(data, at, end);
    if (found == kNotFound) return;
    visit(found);
    at = found + searcher.Length();
  }
}

}  // namespace kel

#endif  // KEL_FUNCTIONS_BINARY_BINARY_SUPPORT_H
