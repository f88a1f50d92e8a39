// Ownership of the Values the evaluator hands around.
//
// Reading a variable copies its Value without duplicating its texts or taking a holder on its
// array: the copy borrows them, and says so in `borrowed`. Releasing the copy forgets what it
// borrowed and frees only what it owns (texts a conversion added, results of operators), so a
// variable read costs no allocation and a borrowed text is never freed twice.
#ifndef KEL_LANG_EVAL_VALUE_H
#define KEL_LANG_EVAL_VALUE_H

#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

// Clears a Value to the empty state with no variable link.
void ResetEval(EvalValue& value);
// Copies a variable's Value into `out`, borrowing its texts and array, with the variable link.
void BorrowVariable(BatchContext& context, const Value& variable, std::uint16_t slot,
                    std::uint16_t frame, EvalValue& out);
// Frees what the Value owns, forgets what it borrowed, and empties it.
void ReleaseEval(BatchContext& context, EvalValue& value);
// ReleaseEval for a value that is not used again: what it owns is freed, and it is left as it
// stands rather than cleared.
void DiscardEval(BatchContext& context, EvalValue& value);
// Frees only its texts (owned ones), keeping the numbers; the variable link is cleared.
void ReleaseEvalTexts(BatchContext& context, EvalValue& value);
// Makes the Value own everything it holds (duplicates borrowed texts, takes an array holder)
// and cuts the variable link; false (3096) when the heap is full.
bool OwnEval(BatchContext& context, EvalValue& value);
// Moves `source` into `destination` (which must be empty); `source` is left empty.
void MoveEval(EvalValue& destination, EvalValue& source);
// Makes `value` the integer n, releasing what it held.
void SetEvalInteger(BatchContext& context, EvalValue& value, std::int32_t number);
// A function's numeric result never carries text as well: its ANSI text is freed.
void TidyResult(BatchContext& context, EvalValue& result);

}  // namespace kel

#endif  // KEL_LANG_EVAL_VALUE_H
