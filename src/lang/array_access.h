// Array elements by subscript: reading an element in an expression, assigning to one, the text
// of an element for %name[subscripts]% substitution, and the checks the array functions share.
#ifndef KEL_LANG_ARRAY_ACCESS_H
#define KEL_LANG_ARRAY_ACCESS_H

#include <cstddef>
#include <cstdint>

#include "lang/array_record.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// The array a Value holds: null with 1641 when it holds none, null with 1637 when the record is
// missing.
ArrayRecord* ArrayOfValue(BatchContext& context, const Value& value);

// The linear index of `count` subscripts: 1635 when the count differs from the dimension count,
// 1636 when one is negative or not below its dimension's size, 1710 for an empty array.
bool ElementIndex(BatchContext& context, const ArrayRecord& array, const std::int32_t* subscripts,
                  int count, std::uint32_t& index);

// Stores `source` into an element as assignment does: an array is 3647, the texts are
// duplicated (3096 when the heap is full) and the element's old value is released.
bool StoreElement(BatchContext& context, Value& element, const Value& source);

// The element read of an array reference in an expression: `name` is the reference's name and
// the scan stands at its "[". Copies the element (texts duplicated) into `result` and leaves
// the closing "]" as the current token.
void ReadArrayElement(BatchContext& context, const char* name, EvalValue& result);

// A statement that begins with an array reference followed by "=" after its subscripts assigns
// to the element. Returns false, with nothing read, when the statement is not such an
// assignment; true when it was handled (the error set when it failed).
bool AssignArrayElement(BatchContext& context, EvalValue& result, bool allowAssign);

// The element an array reference names, the current token being the reference: reads its
// subscripts and leaves the closing "]" current. Null with the error set when there is none.
Value* ElementAtReference(BatchContext& context);

// The text of the element `subscripts` names ("[1,2]": integers or variable names holding
// integers) for %name[...]% substitution; false, with no error left, when there is none.
bool ArrayElementText(BatchContext& context, const Value& array, const char* subscripts,
                      char* buffer, std::size_t size);

}  // namespace kel

#endif  // KEL_LANG_ARRAY_ACCESS_H
