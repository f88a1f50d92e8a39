// The expression evaluator: a recursive-descent evaluator that computes while it parses.
//
// Every routine reads the current token the tokenizer left in the context, consumes the tokens
// of its construct, leaves the first token after it as the current token and writes its result
// into the Value it was given. A failure stores an error number and every routine returns at
// once when errNum is set, so an error unwinds the whole expression.
//
// Precedence, loosest first (all binary operators left-associative, no short-circuit):
//   EvalLogical         && ||
//   EvalBitwise         & | ^
//   EvalComparison      == != <> < <= > >=
//   EvalConcat          :
//   EvalShift           << >>
//   EvalAdditive        + -
//   EvalMultiplicative  * / mod
//   EvalPower           **
//   EvalUnary           prefix ! ~ - + & *, function calls, name-argument functions
//   EvalPrimary         ( ), @constants, literals, variables
#ifndef KEL_LANG_EVALUATOR_H
#define KEL_LANG_EVALUATOR_H

#include <cstdint>

#include "core/evaluator_state.h"
#include "kel/kel_host.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;
struct CompiledAssignment;

// Evaluates a statement or an expression starting at the current token. With allowAssign a
// leading "name =" assigns; pointerStatement says the statement began with "*" (already
// consumed) and assigns through the pointer variable named next.
void ProcessSubExpression(BatchContext& context, EvalValue& result, bool allowAssign,
                          bool pointerStatement = false, int handlerFrame = 0);

void EvalLogical(BatchContext& context, EvalValue& result);
// The value of an @constant's row (a text constant is a new heap text; 3096 when it does not
// fit).
void ConstantValue(BatchContext& context, const KelKeywordRow& row, EvalValue& result);

// Operators, also used by the statement runner (For) and the array functions (search, sort).
void ApplyBinaryOp(BatchContext& context, std::uint32_t op, EvalValue& left, EvalValue& right);
// The integer 1 or 0 replaces `left`; returns the raw ordering (negative, 0, positive).
int CompareValues(BatchContext& context, std::uint32_t op, EvalValue& left, EvalValue& right,
                  bool release, bool ignoreCase);
void ConcatValues(BatchContext& context, EvalValue& left, EvalValue& right);
// A binary operator of any level on two computed operands: `left` receives the result.
void ApplyOperator(BatchContext& context, std::uint32_t op, bool comparison, EvalValue& left,
                   EvalValue& right);
void ApplyUnaryOp(BatchContext& context, std::uint32_t op, EvalValue& value);
// Orders two decimal integers of any length.
int CompareNumericStrings(BatchContext& context, const char* a, const char* b);

// The truth of a condition (If, While, ElseIf): the integer rule with floats rounded; a float
// outside the integer range is true. False with 3057 for a non-number.
bool ConditionValue(BatchContext& context, EvalValue& value, bool& truth);

// Runs `name = expression` from its compiled form when the statement at `statement` (in the
// active compiled line) has one: true, with the statement runner's status in `status`.
bool RunCompiledAssignment(BatchContext& context, EvalValue& result, const char* statement,
                           int& status);
// The same for an assignment of the active compiled line already found: the statement runner's
// status.
int RunAssignment(BatchContext& context, EvalValue& result, CompiledAssignment& assignment);

// Resets the recorded assignment target before each statement.
void ClearAssignTarget(BatchContext& context);

}  // namespace kel

#endif  // KEL_LANG_EVALUATOR_H
