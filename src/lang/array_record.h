// The array record: a header of up to five dimension sizes followed directly by the elements,
// one Value each, in row-major order, in one movable block whose lock count counts the
// holders of the array.
#ifndef KEL_LANG_ARRAY_RECORD_H
#define KEL_LANG_ARRAY_RECORD_H

#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

constexpr int kMaxDimensions = 5;

#pragma pack(push, 4)
struct ArrayRecord {
  std::uint32_t sizes[kMaxDimensions];  // 0 beyond the dimension count
  std::uint8_t dimensionCount;          // 0 is an empty array
  std::uint8_t creatorFlag;
  std::uint16_t reserved1;
  Value* elements;  // follow the header directly
  std::uint32_t elementCount;
  std::uint32_t dataSize;  // sizeof(Value) times elementCount
  std::uint32_t reserved2;
};
#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ArrayRecord) == 40, "the array header is 40 bytes in the 32-bit layout");
#endif

// Adds a holder to the array whose locked record is `record`.
void AddArrayHolder(ArrayRecord* record);
// Gives up one holder; the last one releases every element and frees the block.
void ReleaseArrayHolder(BatchContext& context, ArrayRecord* record);
// How many holders the array has.
unsigned ArrayHolderCount(const ArrayRecord* record);

// Creates an array of the given sizes (`count` of them given, the rest 0) with all elements
// uninitialised and stores it in `result` (flags kValueArray, textRef the record, one holder:
// the result's). Returns 1, 0 for an empty array, or -1 with the error set (1628, 1630, 1631,
// 1644).
int CreateMyArray(BatchContext& context, Value& result, std::int32_t d1, std::int32_t d2,
                  std::int32_t d3, std::int32_t d4, std::int32_t d5, std::uint8_t flag, int count);

// Puts `replacement` (a new record with one holder) in the place of `old` after a reshaping:
// every variable of every open frame, every running ForEach and every argument of the running
// call that held `old` now holds `replacement`, which takes over their holders. `old` is freed
// without touching its elements (the caller has moved or released them), unless holders that
// cannot be reached still have it; for them it stays, empty, until they let go.
void ReplaceArrayRecord(BatchContext& context, ArrayRecord* old, ArrayRecord* replacement,
                        EvalValue* arguments, int argumentCount);

}  // namespace kel

#endif  // KEL_LANG_ARRAY_RECORD_H
