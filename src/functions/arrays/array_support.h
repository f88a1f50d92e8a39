// What the array functions share: checking an array argument, making result arrays, storing a
// value by the type rule of ArrInitialize, and reading elements as text.
#ifndef KEL_FUNCTIONS_ARRAYS_ARRAY_SUPPORT_H
#define KEL_FUNCTIONS_ARRAYS_ARRAY_SUPPORT_H

#include <cstdint>
#include <string>

#include "errors/error_numbers.h"
#include "lang/array_record.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// The checks every array function makes first, in their order: an array (1641), its record
// (1637), not empty when `needElements` (1710), at most `maxDimensions` dimensions (1805).
ArrayRecord* CheckedArray(BatchContext& context, const Value& value, bool needElements,
                          int maxDimensions);

// Makes `result` a new array of the given sizes (`count` given); null with the error set.
ArrayRecord* NewResultArray(BatchContext& context, EvalValue& result, const std::int32_t* sizes,
                            int count, std::uint8_t flag = 0);

// Stores `value` into `element` by the type rule of ArrInitialize: an integer form as integer,
// else a float form as float, else the ANSI text, else the UTF-16 text; anything else is 1671.
// The element's old value is released first.
bool StoreByType(BatchContext& context, Value& element, const Value& value);

// Appends an element's text (converted from its number or its UTF-16 text with the script's
// code page); false with 3056 when it has no text form.
bool AppendElementText(BatchContext& context, const Value& element, std::string& out);
bool AppendElementWide(BatchContext& context, const Value& element, std::u16string& out);

// Makes the result the ANSI or UTF-16 text; false with 3096 when the heap is full.
bool SetTextResult(BatchContext& context, EvalValue& result, const std::string& text);
bool SetWideResult(BatchContext& context, EvalValue& result, const std::u16string& text);

}  // namespace kel

#endif  // KEL_FUNCTIONS_ARRAYS_ARRAY_SUPPORT_H
