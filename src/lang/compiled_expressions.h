// Compiled expressions: an expression of a compiled line that has run once is turned into a
// tree of nodes from the tokens the evaluator read, and from then on it is computed from the
// tree without reading its tokens again.
//
// Only what the tree computes exactly as the evaluator would is compiled: literals, @constants,
// variables, the binary and prefix operators (not "&" and "*" before an operand), and calls of
// built-in and user-defined functions with ordinary argument lists. The same routines do the
// work (the operators, the dispatcher, the variable lookup with its errors), in the same order,
// and a name still gets its slot when the expression reaches it. Anything else, and any
// expression with a syntax error, stays with the evaluator.
#ifndef KEL_LANG_COMPILED_EXPRESSIONS_H
#define KEL_LANG_COMPILED_EXPRESSIONS_H

#include <cstddef>
#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;
struct CompiledAssignment;
struct ExprNode;
struct CompiledExpression;
struct CompiledLine;

// The compiled expression that begins with the current token, compiling it the first time its
// tokens are all known; null when there is none.
const CompiledExpression* CurrentCompiledExpression(BatchContext& context);

// Computes a compiled expression into `result` (empty on entry) and makes the token after it
// the current token, as the evaluator leaves it. On failure errNum is set.
void EvaluateCompiledExpression(BatchContext& context, const CompiledExpression& expression,
                                EvalValue& result);

// EvaluateCompiledAhead for an expression handed ready that is a whole-number literal, a
// variable holding a whole number, or "variable op number" or "variable op variable" on whole
// numbers: its result in `number`, with no value built. False, with the expression still ready for
// EvaluateCompiledAhead, for any other.
bool EvaluateWholeNumberAhead(BatchContext& context, std::int32_t& number);

// Reading the next token and evaluating the expression that begins with it, when that
// expression has been compiled: computes it into `result` (empty on entry) and leaves the token
// after it current. False, with nothing read, when there is no compiled expression there.
bool EvaluateCompiledAhead(BatchContext& context, EvalValue& result);

// The right side of `name = name : piece`, when that is what the compiled expression is: the
// node of the piece. Used to append to the variable's text in place.
bool AppendedPiece(const BatchContext& context, const CompiledExpression& expression,
                   const char* name, std::uint32_t& piece);
// Computes one node of the active line's compiled expressions.
void EvaluateNode(BatchContext& context, std::uint32_t index, EvalValue& result);
void EvaluateNode(BatchContext& context, ExprNode& node, EvalValue& result);
// Node `index` of the active line computed straight into `target` (a variable's value) when it
// is "variable op number" or "variable op variable" on whole numbers, as EvaluateNode and the
// assignment of its result would leave it. False, with no more done than finding the operands'
// slots, when it is anything else.
bool StoreWholeNumberExpression(BatchContext& context, ExprNode& node, Value& target);
// The compiled assignment statement that begins at `position` of the active line, compiling it
// once its tokens are known; null when there is none.
CompiledAssignment* CompiledAssignmentAt(BatchContext& context, const char* position);
const CompiledExpression* AssignmentExpression(const BatchContext& context,
                                               const CompiledAssignment& assignment);
// The compiled expression that begins at `position` of a line (blanks before it passed over):
// its index in the line's expressions + 1, -1 when none can be made there, 0 when the line's
// tokens there are not known yet.
std::int32_t CompiledExpressionAt(BatchContext& context, CompiledLine& line, std::size_t position);
// `name = StrCat(name, piece, ...)` with the current token the word StrCat, as the line's tokens
// record it: the compiled pieces after the first (at most `most`), when every one is compiled and
// calls nothing, and nothing follows the call; `endPosition` is then where the statement's end
// stands. 0 for anything else.
int StrCatAppendedPieces(BatchContext& context, const char* name, const CompiledExpression** pieces,
                         int most, std::uint16_t& endPosition);
// Makes the token after a compiled expression the current one.
void FinishCompiledExpression(BatchContext& context, const CompiledExpression& expression);

}  // namespace kel

#endif  // KEL_LANG_COMPILED_EXPRESSIONS_H
