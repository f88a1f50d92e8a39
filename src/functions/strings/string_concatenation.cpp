// StrCat: reads, evaluates and joins its own arguments, up to 1024 of them.
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/string_routines.h"
#include "functions/strings/text_units.h"
#include "lang/compiled_expressions.h"
#include "lang/compiled_lines.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/argument_lists.h"
#include "lang/keyword_table.h"
#include "lang/tokenizer.h"

namespace kel {
namespace {

// The pieces are held until all are read, because one UTF-16 piece makes the whole result
// UTF-16. Beyond this many the call is refused rather than read past the table.
constexpr int kMaxPieces = 1024;
// Most calls join a few pieces; those stay on the stack.
constexpr int kPiecesAtHand = 16;

bool IsWideOnly(const Value& value) {
  return ((value.flags & kValueWideText) != 0 && (value.flags & kValueText) == 0) ||
         (value.flags & kValueObject) != 0;
}

// True when the piece that begins at the current token may call a function, which may drop or
// change a variable whose text an earlier piece borrows: unless its compiled form says that it
// calls nothing (a line runs once before its pieces are compiled).
bool MayCall(BatchContext& context) {
  const CompiledExpression* expression = CurrentCompiledExpression(context);
  if (expression == nullptr) return true;
  return static_cast<const CompiledLine*>(context.tokenizer.compiledLine)
      ->nodes[expression->root]
      .calls;
}

// Joins the pieces into the result, all in UTF-16 when one of them is, else all in ANSI.
template <typename Unit>
void Join(BatchContext& context, EvalValue& result, EvalValue* pieces, int count) {
  std::uint64_t length = 0;
  for (int i = 0; i < count; ++i) {
    Value& value = pieces[i].value;
    bool converted = sizeof(Unit) == 1 ? ToText(context, value) : ToWideText(context, value);
    if (!converted) {
      if (!HasError(context)) SetError(context, kErrNotString);
      return;
    }
    length += TextArgument<Unit>(context, pieces[i]).length;
  }
  Unit* out = NewTextResult<Unit>(context, result, length);
  if (out == nullptr) return;
  for (int i = 0; i < count; ++i) {
    TextSpan<Unit> piece = TextArgument<Unit>(context, pieces[i]);
    std::memcpy(out, piece.data, piece.length * sizeof(Unit));
    out += piece.length;
  }
}

}  // namespace

// StrCat ( expression [, expression ...] )
void ConcatenateArguments(BatchContext& context, EvalValue& result) {
  EvalValue atHand[kPiecesAtHand];
  WorkBuffer<EvalValue> more;
  EvalValue* pieces = atHand;
  int count = 0;
  bool closed = false;
  int owned = 0;  // the pieces before this one borrow no text
  while (!HasError(context)) {
    if (count == kMaxPieces) {
      SetError(context, kErrConcatenationSyntax);
      break;
    }
    if (count == kPiecesAtHand) {
      if (!more.Allocate(kMaxPieces)) {
        SetError(context, kErrUnableToAllocate);
        break;
      }
      std::memcpy(more.data(), atHand, sizeof atHand);
      pieces = more.data();
    }
    ListAfter after = ReadListArgument(context, pieces[count], [&] {
      // A piece that calls a function may change a variable whose text an earlier piece
      // borrows: those take copies of their own first.
      if (owned < count && MayCall(context)) {
        for (; owned < count; ++owned)
          if ((pieces[owned].borrowed & (kValueText | kValueWideText)) != 0 &&
              !OwnEval(context, pieces[owned]))
            break;
        if (HasError(context)) return false;
      }
      ++count;  // released with the others from here on
      return true;
    });
    if (after == ListAfter::kClose) {
      closed = true;
      break;
    }
    if (after == ListAfter::kOther) SetError(context, kErrConcatenationSyntax);
    if (after != ListAfter::kComma) break;
  }
  if (closed) {
    bool wide = false;
    for (int i = 0; i < count && !wide; ++i)
      wide = IsWideOnly(pieces[i].value);
    if (wide)
      Join<char16_t>(context, result, pieces, count);
    else
      Join<char>(context, result, pieces, count);
  }
  for (int i = 0; i < count; ++i)
    ReleaseEval(context, pieces[i]);
}

}  // namespace kel
