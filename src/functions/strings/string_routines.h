// The string functions' routines that live apart from the family's selection: searching,
// replacing, counting and cleaning, the wildcard searches, and StrCat's own argument reader.
#ifndef KEL_FUNCTIONS_STRINGS_STRING_ROUTINES_H
#define KEL_FUNCTIONS_STRINGS_STRING_ROUTINES_H

#include "lang/value.h"

namespace kel {

struct BatchContext;

// Each takes the converted arguments of its function and runs the UTF-16 form when `wide`.
void StringIndex(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide,
                 bool ignoreCase);
void StringScan(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide);
void StringReplace(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide);
void StringClean(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide);
void StringCount(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide);
void StringIndexWild(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide);
// StrLenWild (the length) and StrSubWild (the text) of the match at a position.
void StringMatchWild(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide,
                     bool giveText);

// StrCat: reads and evaluates its own arguments, the current token standing on "(", and leaves
// the closing ")" current.
void ConcatenateArguments(BatchContext& context, EvalValue& result);

}  // namespace kel

#endif  // KEL_FUNCTIONS_STRINGS_STRING_ROUTINES_H
