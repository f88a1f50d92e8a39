// The expression evaluator: statements with assignment, the precedence levels, primaries,
// function calls and the functions that take variable names.
#include "lang/evaluator.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/bounded_text.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/array_access.h"
#include "lang/array_record.h"
#include "lang/compiled_expressions.h"
#include "lang/compiled_lines.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "lang/structures.h"
#include "lang/tokenizer.h"
#include "lang/variables.h"
#include "lang/token_reading.h"
#include "loader/definitions.h"

namespace kel {
namespace {

// Nesting of sub-expressions, unary chains and calls allowed before the evaluator refuses
// to go deeper: far below what the machine stack holds, far above any real script.
constexpr std::uint16_t kMaxDepth = 400;

// The mark a variable declared global by PtrGlobalDefine carries in its slot's spare word.
constexpr std::uint32_t kGlobalVariableMark = 0x474C4F42;  // "GLOB"

void Hint(BatchContext& context, std::uint32_t id) {
  char text[256];
  LoadMessage(context, id, text, sizeof text);
  AppendMoreErrorInfo(context, text);
}

void Fail(BatchContext& context, std::uint32_t number, std::uint32_t hint = 0) {
  SetError(context, number);
  if (hint != 0) Hint(context, hint);
}

TokenizerState& Token(BatchContext& context) {
  return context.tokenizer;
}

// Guards the recursion of the evaluator.
class DepthGuard {
 public:
  explicit DepthGuard(BatchContext& context) : context_(context) {
    if (++context_.evaluator.depth > kMaxDepth) SetError(context_, kErrNestingTooDeep);
  }
  ~DepthGuard() { --context_.evaluator.depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool ok() const { return context_.evaluator.depth <= kMaxDepth; }

 private:
  BatchContext& context_;
};

// ----------------------------------------------------------------------------------------------
// Operands waiting for a later one.
//
// A value read from a variable borrows the variable's text. While a later operand or argument is
// computed, the earlier ones wait for it; when that later one calls something (a built-in, a
// user-defined function or subroutine, Drop), the call may drop or change the variable and free
// the text under them. So the waiting values are registered, and only when a call is about to
// run do they take copies of their own: an expression that calls nothing copies nothing.

struct WaitingValues {
  BatchContext* context;
  EvalValue* values;
  int count;
  // Copies taken. The values registered before these wait for them, so they are unchanged and
  // have their copies too.
  bool owned;
  WaitingValues* earlier;
};

// The latest registration of the thread: the evaluations of a context nest on its thread.
thread_local WaitingValues* latestWaiting = nullptr;

// Registers `count` values for as long as the scope lasts; they do not change meanwhile.
class WaitingScope {
 public:
  WaitingScope(BatchContext& context, EvalValue* values, int count)
      : node_{&context, values, count, false, latestWaiting} {
    latestWaiting = &node_;
  }
  ~WaitingScope() { latestWaiting = node_.earlier; }
  WaitingScope(const WaitingScope&) = delete;
  WaitingScope& operator=(const WaitingScope&) = delete;

 private:
  WaitingValues node_;
};

// Before a call: the context's waiting values copy the texts they borrow (an array they hold is
// held already). False, with 3096, when the heap cannot take a copy.
bool OwnWaitingTexts(BatchContext& context) {
  for (WaitingValues* node = latestWaiting; node != nullptr && !node->owned; node = node->earlier) {
    if (node->context != &context) continue;
    for (int i = 0; i < node->count; ++i) {
      EvalValue& value = node->values[i];
      if ((value.borrowed & (kValueText | kValueWideText)) != 0 && !OwnEval(context, value))
        return false;
    }
    node->owned = true;
  }
  return true;
}

using LevelRoutine = void (*)(BatchContext&, EvalValue&);

// One binary level: its left operand from the next tighter level, then as many of its own
// operators as follow, each applied as soon as its right operand is known.
template <typename IsOperator>
void BinaryLevel(BatchContext& context, EvalValue& result, LevelRoutine tighter,
                 IsOperator isOperator, bool comparison) {
  tighter(context, result);
  while (!HasError(context) && Token(context).tokenKind == kTokenKeyword &&
         isOperator(Token(context).tokenCode)) {
    std::uint32_t op = Token(context).tokenCode;
    if (!Next(context)) return;
    EvalValue right{};
    ResetEval(right);
    {
      WaitingScope waiting(context, &result, 1);
      tighter(context, right);
    }
    if (!HasError(context)) ApplyOperator(context, op, comparison, result, right);
    ReleaseEval(context, right);
  }
}

void EvalUnary(BatchContext& context, EvalValue& result);
void EvalPrimary(BatchContext& context, EvalValue& result);

void EvalPower(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalUnary, [](std::uint32_t c) { return c == kKeywordPower; }, false);
}
void EvalMultiplicative(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalPower,
      [](std::uint32_t c) {
        return c == kKeywordAsterisk || c == kKeywordDivide || c == kKeywordMod;
      },
      false);
}
void EvalAdditive(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalMultiplicative,
      [](std::uint32_t c) { return c == kKeywordPlus || c == kKeywordMinus; }, false);
}
void EvalShift(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalAdditive,
      [](std::uint32_t c) { return c == kKeywordShiftLeft || c == kKeywordShiftRight; }, false);
}
void EvalConcat(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalShift, [](std::uint32_t c) { return c == kKeywordColon; }, false);
}
void EvalComparison(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalConcat,
      [](std::uint32_t c) {
        return c == kKeywordEqual || c == kKeywordNotEqual || c == kKeywordLessGreater ||
               c == kKeywordLess || c == kKeywordLessEqual || c == kKeywordGreater ||
               c == kKeywordGreaterEqual;
      },
      true);
  // A single "=" here is the classic slip for "==".
  if (!HasError(context) && IsKeyword(context, kKeywordAssign))
    Fail(context, kErrAssignmentNotLegal, kMsgHintUseDoubleEquals);
}
void EvalBitwise(BatchContext& context, EvalValue& result) {
  BinaryLevel(
      context, result, EvalComparison,
      [](std::uint32_t c) {
        return c == kKeywordAmpersand || c == kKeywordBar || c == kKeywordCaret;
      },
      false);
}

// ----------------------------------------------------------------------------------------------
// Variables.

void ReadVariable(BatchContext& context, EvalValue& result) {
  std::uint16_t slot =
      FindVariable(context, Token(context).nameBuffer, Token(context).tokenSlot, true);
  if (slot == kNoSlot) return;
  BorrowVariable(context, context.varSlots[slot].value, slot, context.currentFrame, result);
  if (!Next(context)) return;
  // An array followed by a "[" that the tokenizer did not take for a subscript (its "]" is
  // missing, or nothing stands between the brackets): the element read reports the syntax.
  if ((result.value.flags & kValueArray) != 0 && IsKeyword(context, kKeywordOpenBracket)) {
    char name[kNameBytes];
    CopyBounded(name, sizeof name, context.varSlots[slot].slotName);
    putback(context);
    ReadArrayElement(context, name, result);
    if (!HasError(context)) Next(context);
  }
}

// The constant of a constant row.
void ReadConstant(BatchContext& context, const KelKeywordRow& row, EvalValue& result) {
  ConstantValue(context, row, result);
  if (!HasError(context)) Next(context);
}

// ----------------------------------------------------------------------------------------------
// Function calls.

void CallFunction(BatchContext& context, EvalValue& result) {
  if (!OwnWaitingTexts(context)) return;
  std::uint32_t code = Token(context).tokenCode;
  char name[kNameBytes + 4];
  CopyBounded(name, sizeof name, Token(context).tokenText);
  int required = 0, optional = 0;
  std::uint64_t types = 0;
  bool readsOwn = false;
  if (code >= kDefinitionCodeBase && code <= kDefinitionCodeLast) {
    UdfRecord* record =
        DefinitionRecord(context, static_cast<std::uint16_t>(code - kDefinitionCodeBase));
    if (record == nullptr) return Fail(context, kErrUndefinedVariable);
    required = record->paramCount;
    types = ~std::uint64_t{0};  // any value, unconverted
  } else {
    const KelKeywordRow* row = TokenRow(context, code);
    if (row == nullptr) return Fail(context, kErrIllegalSyntax);
    if ((row->kind & kRowNotAvailable) != 0) return Fail(context, kErrNotAvailable);
    readsOwn = (row->argCounts & 0xFF) == kReadsOwnArguments;
    required = static_cast<int>(row->argCounts & 0xFF);
    optional = static_cast<int>((row->argCounts >> 8) & 0xFF);
    types = std::uint64_t{row->argTypesLow} | (std::uint64_t{row->argTypesHigh} << 32);
  }
  if (!readsOwn && required + optional > 16) return Fail(context, kErrTooManyArgumentsDefined);
  bool objectAccess = code == kObjectReferenceCode;
  if (!Next(context)) return;
  if (objectAccess) {
    putback(context);
  } else if (!IsKeyword(context, kKeywordOpenParenthesis)) {
    SetError(context, kErrOpeningParenthesisMissing);
    char hint[256], text[300];
    LoadMessage(context, kMsgHintNoParenthesis, hint, sizeof hint);
    std::snprintf(text, sizeof text, "%s %s", name, hint);
    AppendMoreErrorInfo(context, text);
    return;
  }
  if (readsOwn || objectAccess) {
    Hooks().callBuiltin(context, name, objectAccess, code, result, nullptr, true, 0, types);
    if (!HasError(context)) Next(context);  // the closing ")" the function left current
    return;
  }
  EvalValue arguments[17];
  for (EvalValue& argument : arguments)
    ResetEval(argument);
  // An array passed in is held from the moment its argument is evaluated: a later argument (a
  // Drop, an ArrayRedim, a function or subroutine that changes the caller's variables) may drop
  // or reshape the variable it came from, and the call must still find the array it was given.
  bool held[17] = {};
  int count = 0;
  bool failed = !Next(context);
  for (int n = 1; !failed && n <= required + optional; ++n) {
    if (IsKeyword(context, kKeywordCloseParenthesis) && n > required) break;
    if (n > 1 && !Next(context)) {  // step over the "," that ended the previous argument
      failed = true;
      break;
    }
    EvalValue& argument = arguments[n - 1];
    {
      WaitingScope waiting(context, arguments, n - 1);
      ProcessSubExpression(context, argument, false);
    }
    held[n - 1] = (argument.value.flags & kValueArray) != 0;
    if (held[n - 1]) AddArrayHolder(reinterpret_cast<ArrayRecord*>(argument.value.textRef));
    if (HasError(context)) {
      failed = true;
      break;
    }
    count = n;
    if (n < required && !IsKeyword(context, kKeywordComma)) {
      Fail(context, kErrIllegalDelimiter, kMsgHintMoreParameters);
      failed = true;
    }
    if (!IsKeyword(context, kKeywordComma)) break;
  }
  if (!failed && !IsKeyword(context, kKeywordCloseParenthesis)) {
    Fail(context, kErrWrongArgumentCount, kMsgHintMissingParenthesis);
    failed = true;
  }
  if (!failed && count < required) {
    Fail(context, kErrIllegalDelimiter, kMsgHintMoreParameters);
    failed = true;
  }
  if (!failed)
    Hooks().callBuiltin(context, name, false, code, result, arguments, false, count, types);
  // The call may have reshaped a held array: the argument then names its new record, which
  // took over the hold.
  for (int i = 0; i < 17; ++i) {
    if (held[i])
      ReleaseArrayHolder(context, reinterpret_cast<ArrayRecord*>(arguments[i].value.textRef));
    ReleaseEval(context, arguments[i]);
  }
  if (!HasError(context)) Next(context);  // past ")"
}

// ----------------------------------------------------------------------------------------------
// Functions that take variable names.

// Reads "(" and then a name, optionally after "*"; the slot in the frame the name lives in.
// Returns false with the error set when the syntax is wrong.
struct NamedVariable {
  bool isName;         // the argument was a variable name (else -1 for IsDefined and VarType)
  std::uint16_t slot;  // kNoSlot when the variable does not exist
  Value* element;      // an array element named with its subscripts, else null
};

bool ReadNameArgument(BatchContext& context, NamedVariable& named) {
  named = NamedVariable{false, kNoSlot, nullptr};
  if (IsKeyword(context, kObjectReferenceCode)) {
    // An array element: the variable's name with subscripts.
    named.element = ElementAtReference(context);
    if (named.element == nullptr) return false;
    named.isName = true;
    return Next(context);
  }
  bool pointer = false;
  if (IsKeyword(context, kKeywordAsterisk)) {
    pointer = true;
    if (!Next(context)) return false;
  }
  if (Token(context).tokenKind != kTokenVariable) return Next(context);
  named.isName = true;
  std::uint32_t saved = context.errors.errNum;
  if (pointer) {
    std::uint16_t holder = FindSlot(context, Token(context).nameBuffer);
    if (holder != kNoSlot && (context.varSlots[holder].value.flags & kValueText) != 0) {
      PointerTarget target;
      const char* text = ValueText(context, context.varSlots[holder].value);
      if (ParsePointer(context, text, target) && target.frame == context.currentFrame)
        named.slot = FindSlot(context, target.name);
      else
        named.isName = false;
    } else {
      named.isName = false;
    }
  } else {
    named.slot = FindSlot(context, Token(context).nameBuffer);
  }
  context.errors.errNum = saved;
  return Next(context);
}

bool CloseNameCall(BatchContext& context) {
  if (!IsKeyword(context, kKeywordCloseParenthesis)) {
    Fail(context, kErrWrongArgumentCount, kMsgHintMissingParenthesis);
    return false;
  }
  return Next(context);
}

bool IsRecordedTarget(BatchContext& context, std::uint16_t slot) {
  std::int32_t target = (std::int32_t{context.currentFrame} << 16) | slot;
  if (context.evaluator.mainAssignTarget == target) return true;
  for (std::uint16_t i = 0; i < context.loader.udfCount; ++i) {
    UdfRecord* record = DefinitionRecord(context, i);
    if (record != nullptr && record->lastAssigned == target) return true;
  }
  return false;
}

void PointerFunction(BatchContext& context, std::uint32_t code, EvalValue& result) {
  if (Token(context).tokenKind != kTokenVariable) {
    if (code == kKeywordInternalMakePointer) return Fail(context, kErrMakePointerName);
    return Fail(context, kErrPointer, kMsgHintNotVariableName);
  }
  char name[kNameBytes];
  CopyBounded(name, sizeof name, Token(context).nameBuffer);
  if (code == kKeywordPtrGlobalDefine && context.currentFrame != 0)
    return Fail(context, kErrPointer, kMsgHintGlobalMainOnly);
  // Global names live in the main script's frame, whichever function asks.
  SavedFrame saved{};
  bool entered = code != kKeywordInternalMakePointer && context.currentFrame != 0;
  if (entered && !EnterFrame(context, 0, saved)) return Fail(context, kErrPointerAccess);
  std::uint16_t slot = FindSlot(context, name);
  bool existed = slot != kNoSlot && (context.varSlots[slot].value.flags & kValueHolding) != 0;
  bool global = slot != kNoSlot && context.varSlots[slot].value.unused == kGlobalVariableMark;
  bool failed = false;
  if (code == kKeywordPtrGlobalTest) {
    SetEvalInteger(context, result, existed && global ? 1 : 0);
  } else if (code == kKeywordPtrGlobal && !existed) {
    Fail(context, kErrPointer, kMsgHintVariableNotFound);
    failed = true;
  } else if (code == kKeywordPtrGlobal && !global) {
    Fail(context, kErrPointer, kMsgHintNotGlobal);
    failed = true;
  } else {
    if (slot == kNoSlot) slot = FindOrCreateSlot(context, name);
    if (slot == kNoSlot) {
      context.errors.errNum = 0;
      Fail(context, kErrPointer, kMsgHintPointerNotCreated);
      failed = true;
    } else {
      if (code == kKeywordPtrGlobalDefine)
        context.varSlots[slot].value.unused = kGlobalVariableMark;
      char pointer[80];
      MakePointerText(context, name, pointer, sizeof pointer);
      std::uint32_t offset = HeapCopyText(context, pointer, std::strlen(pointer));
      if (offset == 0) {
        Fail(context, kErrOutOfStringMemory);
        failed = true;
      } else {
        ReleaseEval(context, result);
        result.value.flags = kValueText;
        result.value.textRef = offset;
      }
    }
  }
  if (entered && !LeaveFrame(context, saved) && !failed) Fail(context, kErrVariableTableAccess);
  if (HasError(context)) return;
  if (!Next(context)) return;
  if (code == kKeywordPtrPersistent) {
    // The initial value is assigned only when the variable does not exist or has no value yet.
    if (!IsKeyword(context, kKeywordComma))
      return Fail(context, kErrIllegalDelimiter, kMsgHintMoreParameters);
    if (!Next(context)) return;
    EvalValue value{};
    ResetEval(value);
    ProcessSubExpression(context, value, false);
    if (!HasError(context) && !existed) {
      // Into the main script's frame, where the pointer was made: the function's own frame
      // holds only the name as its tokenizer entered it.
      if (entered && !EnterFrame(context, 0, saved)) {
        Fail(context, kErrPointerAccess);
      } else {
        AssignValue(context, name, value.value);
        if (entered && !LeaveFrame(context, saved) && !HasError(context))
          Fail(context, kErrVariableTableAccess);
      }
    }
    ReleaseEval(context, value);
    if (HasError(context)) return;
  }
  CloseNameCall(context);
}

void NameFunction(BatchContext& context, EvalValue& result) {
  std::uint32_t code = Token(context).tokenCode;
  // Those that may drop, create or assign a variable are calls to the values waiting for them.
  const bool onlyLooks = code == kKeywordIsDefined || code == kKeywordVarType ||
                         code == kKeywordObjectTypeGet || code == kKeywordPtrGlobalTest;
  if (!onlyLooks && !OwnWaitingTexts(context)) return;
  if (!Next(context)) return;
  if (!IsKeyword(context, kKeywordOpenParenthesis))
    return Fail(context, kErrOpeningParenthesisMissing);
  // A persistent name is read in its function's own form of the name.
  if (code == kKeywordPtrPersistent) context.tokenizer.persistentName = 1;
  bool read = Next(context);
  context.tokenizer.persistentName = 0;
  if (!read) return;
  SetEvalInteger(context, result, 0);
  switch (code) {
    case kKeywordIsDefined:
    case kKeywordVarType:
    case kKeywordObjectTypeGet: {
      NamedVariable named;
      if (!ReadNameArgument(context, named)) return;
      std::int32_t answer = -1;
      if (named.isName) {
        const Value* value = named.element != nullptr ? named.element
                             : named.slot == kNoSlot  ? nullptr
                                                      : &context.varSlots[named.slot].value;
        bool holds = value != nullptr && (value->flags & kValueHolding) != 0;
        if (code == kKeywordIsDefined)
          answer = holds ? 1 : 0;
        else if (code == kKeywordVarType)
          answer = holds ? static_cast<std::int32_t>(value->flags & 0xFFFF) : 0;
      }
      if (code == kKeywordObjectTypeGet) {
        // No value is an object in this build: every name has the empty type name.
        std::uint32_t offset = HeapCopyText(context, "", 0);
        if (offset == 0) return Fail(context, kErrOutOfStringMemory);
        result.value.flags = kValueText;
        result.value.textRef = offset;
      } else {
        SetEvalInteger(context, result, answer);
      }
      CloseNameCall(context);
      return;
    }
    case kKeywordDrop:
      for (;;) {
        NamedVariable named;
        if (!(Token(context).tokenKind == kTokenVariable || IsKeyword(context, kKeywordAsterisk) ||
              IsKeyword(context, kObjectReferenceCode))) {
          return Fail(context, kErrDropNotVariable);
        }
        if (!ReadNameArgument(context, named)) return;
        if (!named.isName) return Fail(context, kErrDropNotVariable);
        if (named.element != nullptr) {
          // Only that element is emptied; the array stays.
          ReleaseValue(context, *named.element, 0, kHolderOther);
          named.element->flags = 0;
        } else if (named.slot != kNoSlot && !IsRecordedTarget(context, named.slot)) {
          RemoveSlot(context, named.slot);
        }
        if (!IsKeyword(context, kKeywordComma)) break;
        if (!Next(context)) return;
      }
      SetEvalInteger(context, result, 1);
      CloseNameCall(context);
      return;
    default:
      PointerFunction(context, code, result);
      return;
  }
}

// ----------------------------------------------------------------------------------------------
// Prefix operators.

void AddressOf(BatchContext& context, EvalValue& operand) {
  if (operand.originSlot == kOriginNone || operand.originSlot == kOriginElement)
    return Fail(context, kErrBadAddressOf);
  char name[kNameBytes];
  CopyBounded(name, sizeof name, context.varSlots[operand.originSlot].slotName);
  char pointer[80];
  MakePointerText(context, name, pointer, sizeof pointer);
  std::uint32_t offset = HeapCopyText(context, pointer, std::strlen(pointer));
  if (offset == 0) return Fail(context, kErrOutOfStringMemory);
  ReleaseEval(context, operand);
  operand.value.flags = kValueText;
  operand.value.textRef = offset;
}

// True when `name` (a reference's text) is a variable holding a text, not an array: before "["
// it can only be a pointer to an array.
bool IsPointerName(BatchContext& context, const char* name) {
  std::size_t length = std::strlen(name);
  if (length > kMaxNameLength || std::strchr(name, '.') != nullptr) return false;
  char key[kNameBytes];
  FoldName(name, length, key);
  std::uint16_t slot = FindSlot(context, key);
  if (slot == kNoSlot) return false;
  std::uint32_t flags = context.varSlots[slot].value.flags;
  return (flags & kValueArray) == 0 && (flags & kValueText) != 0;
}

void Dereference(BatchContext& context, EvalValue& operand) {
  if ((operand.value.flags & (kValueText | kValueWideText)) == 0 ||
      (operand.value.flags & (kValueInteger | kValueFloat)) != 0) {
    ApplyUnaryOp(context, kKeywordAsterisk, operand);
    return;
  }
  if (!ToText(context, operand.value)) return;
  char pointer[68];
  CopyBounded(pointer, sizeof pointer, ValueText(context, operand.value));
  EvalValue target{};
  ResetEval(target);
  if (!ReadViaPointer(context, pointer, target)) {
    ReleaseEval(context, target);
    return;
  }
  ReleaseEval(context, operand);
  MoveEval(operand, target);
}

void EvalUnary(BatchContext& context, EvalValue& result) {
  DepthGuard guard(context);
  if (!guard.ok()) return;
  TokenizerState& token = Token(context);
  if (token.tokenKind == kTokenKeyword) {
    std::uint32_t code = token.tokenCode;
    if (code >= kDefinitionCodeBase && code <= kDefinitionCodeLast)
      return CallFunction(context, result);
    const KelKeywordRow* row = TokenRow(context, code);
    std::uint32_t kind = row ? (row->kind & 0xFF) : 0xFF;
    if (kind == kRowPrefixOperator) {
      if (!Next(context)) return;
      // "*p[...]" with p a pointer to an array: the element of the array it names is the value
      // (the reference reaches it through the pointer), not something to follow again.
      bool pointedElement = code == kKeywordAsterisk && IsKeyword(context, kObjectReferenceCode) &&
                            IsPointerName(context, token.tokenText);
      EvalUnary(context, result);
      if (HasError(context) || pointedElement) return;
      if (code == kKeywordAmpersand) return AddressOf(context, result);
      if (code == kKeywordAsterisk) return Dereference(context, result);
      ApplyUnaryOp(context, code, result);
      return;
    }
    if (kind == kRowFunction) return CallFunction(context, result);
    if (kind == kRowNameFunction) return NameFunction(context, result);
  }
  EvalPrimary(context, result);
}

void EvalPrimary(BatchContext& context, EvalValue& result) {
  TokenizerState& token = Token(context);
  switch (token.tokenKind) {
    case kTokenKeyword: {
      if (token.tokenCode == kKeywordOpenParenthesis) {
        if (!Next(context)) return;
        ProcessSubExpression(context, result, false);
        if (HasError(context)) return;
        if (!IsKeyword(context, kKeywordCloseParenthesis))
          return Fail(context, kErrUnbalancedParenthesis);
        Next(context);
        return;
      }
      const KelKeywordRow* row = TokenRow(context, token.tokenCode);
      if (row != nullptr && (row->kind & 0xFF) == kRowConstant)
        return ReadConstant(context, *row, result);
      return Fail(context, kErrIllegalSyntax);
    }
    case kTokenVariable:
      return ReadVariable(context, result);
    case kTokenInteger: {
      // A literal of a compiled line is decoded the first time it is evaluated.
      auto* compiled = static_cast<CachedToken*>(token.cachedToken);
      if (compiled != nullptr && compiled->numberState == 1) {
        result.value.intValue = compiled->integer;
      } else {
        result.value.intValue = ParseInteger(token.tokenText);
        if (compiled != nullptr) {
          compiled->integer = result.value.intValue;
          compiled->numberState = 1;
        }
      }
      result.value.flags = kValueInteger;
      Next(context);
      return;
    }
    case kTokenFloat: {
      auto* compiled = static_cast<CachedToken*>(token.cachedToken);
      double number;
      if (compiled != nullptr && compiled->numberState == 2) {
        number = compiled->floating;
      } else if (!ParseFloat(context, token.tokenText, &number)) {
        if (!HasError(context)) SetError(context, kErrNotFloat);
        return;
      } else if (compiled != nullptr) {
        compiled->floating = number;
        compiled->numberState = 2;
      }
      result.value.flags = kValueFloat;
      result.value.floatValue = number;
      Next(context);
      return;
    }
    case kTokenString: {
      std::uint32_t offset = HeapCopyText(context, token.tokenText, std::strlen(token.tokenText));
      if (offset == 0) return Fail(context, kErrOutOfStringMemory);
      result.value.flags = kValueText;
      result.value.textRef = offset;
      Next(context);
      return;
    }
    default:
      return Fail(context, kErrIllegalSyntax);
  }
}

// ----------------------------------------------------------------------------------------------
// Assignment.

// Stores the assigned value into the target slot: texts duplicated, an array shared.
void StoreIntoVariable(BatchContext& context, std::uint16_t slot, EvalValue& value) {
  VariableSlot& target = context.varSlots[slot];
  const std::uint32_t keep = target.value.unused;
  constexpr std::uint32_t kMovable = kValueInteger | kValueFloat | kValueText | kValueWideText;
  if ((value.value.flags & ~kMovable) == 0 && value.borrowed == 0) {
    // A value the statement made itself (a number, or texts nobody else holds) moves into the
    // variable instead of being copied.
    ReleaseValue(context, target.value, slot, kHolderSlot);
    std::memcpy(&target.value, &value.value, sizeof(Value));
    target.value.unused = keep;
    ResetEval(value);
    return;
  }
  // The copy is taken before the old value goes: the value may be the variable's own (x = x),
  // whose text would otherwise be read after it was freed.
  Value copy;
  const bool copied =
      CopyValue(context, value.value, copy, 0,
                kHolderOther | kCopyToOther | kCopyDuplicateTexts | kCopyAddArrayHolder);
  ReleaseValue(context, target.value, slot, kHolderSlot);
  target.value.flags = kValueNoValue;
  if (!copied) return;
  std::memcpy(&target.value, &copy, sizeof(Value));
  target.value.unused = keep;
}

// Recorded before the right side is evaluated, so that Drop and DropWild there leave the
// variable that is about to receive the result in place.
void RecordAssignTarget(BatchContext& context, int frame, std::uint16_t slot) {
  std::int32_t target = (std::int32_t{static_cast<std::uint16_t>(frame)} << 16) | slot;
  if (context.runningFunction != kNoFunction) {
    if (UdfRecord* record = DefinitionRecord(context, context.runningFunction))
      record->lastAssigned = target;
  } else {
    context.evaluator.mainAssignTarget = target;
  }
  context.resultSlot = slot;
  context.resultFrame = static_cast<std::uint16_t>(frame);
}

// The slot, in its own frame, of the variable a "*name" statement assigns through.
bool PointedSlot(BatchContext& context, const char* name, int frame, std::uint16_t& slot) {
  SavedFrame saved{};
  bool entered = frame != context.currentFrame;
  if (entered && !EnterFrame(context, frame, saved)) {
    Fail(context, kErrPointerAccess);
    return false;
  }
  slot = FindSlot(context, name);
  if (entered && !LeaveFrame(context, saved)) {
    Fail(context, kErrVariableTableAccess);
    return false;
  }
  if (slot == kNoSlot) {
    Fail(context, kErrNotPointer);
    return false;
  }
  return true;
}

// Finds the variable a "*name" statement assigns through; the frame it lives in may differ.
bool PointerTargetOfToken(BatchContext& context, char* name, int& frame) {
  std::uint16_t holder = find_var(context, Token(context).nameBuffer, true);
  if (holder == kNoSlot) return false;
  const Value& value = context.varSlots[holder].value;
  if ((value.flags & kValueText) == 0) {
    Fail(context, kErrNotPointer);
    return false;
  }
  PointerTarget target;
  if (!ParsePointer(context, ValueText(context, value), target)) return false;
  CopyBounded(name, kNameBytes, target.name);
  frame = static_cast<int>(target.frame);
  return true;
}

// The same for "*name[subscripts]" where `name` is an array: the element holds the pointer.
// The closing "]" is left as the current token.
bool PointerTargetOfElement(BatchContext& context, char* name, int& frame) {
  const Value* element = ElementAtReference(context);
  if (element == nullptr) return false;
  if ((element->flags & kValueText) == 0) {
    Fail(context, kErrNotPointer);
    return false;
  }
  PointerTarget target;
  if (!ParsePointer(context, ValueText(context, *element), target)) return false;
  CopyBounded(name, kNameBytes, target.name);
  frame = static_cast<int>(target.frame);
  return true;
}

enum class Append { kNotApplicable, kComputed, kDone };

// Adds the text of `addition` (ANSI) to the variable's own text, which grows geometrically.
// Errors with 3096 when the heap cannot hold the longer text; the variable keeps its text then.
void AppendTextInPlace(BatchContext& context, VariableSlot& target, EvalValue& addition) {
  const char* text = ValueText(context, addition.value);
  std::size_t added = std::strlen(text);
  std::uint32_t offset = static_cast<std::uint32_t>(target.value.textRef);
  std::size_t length = context.appendText == offset
                           ? context.appendLength
                           : std::strlen(reinterpret_cast<char*>(context.heapBase) + offset);
  std::size_t needed = length + added + 1;
  ForgetTextMemos(context, offset);
  if (needed > HeapTextCapacity(context, offset)) {
    std::size_t grown = needed + length + 16;
    std::uint32_t moved =
        grown < 0x7FFF0000u ? VMalloc(context, static_cast<std::uint32_t>(grown)) : 0;
    if (moved == 0 && needed < 0x7FFF0000u)
      moved = VMalloc(context, static_cast<std::uint32_t>(needed));
    if (moved == 0) return SetError(context, kErrOutOfStringMemory);
    // The piece may live in the heap too: it is copied before the old text goes.
    std::memcpy(context.heapBase + moved, context.heapBase + offset, length);
    text = ValueText(context, addition.value);
    std::memcpy(context.heapBase + moved + length, text, added + 1);
    VFree(context, offset);
    target.value.textRef = moved;
    offset = moved;
  } else {
    std::memmove(context.heapBase + offset + length, text, added + 1);
  }
  context.appendText = offset;
  context.appendLength = static_cast<std::uint32_t>(length + added);
}

// `s = s : piece`, where s holds only a text that no other variable holds: the piece is added
// to s's own text, which grows geometrically, so that building a text piece by piece costs
// time in proportion to its length. The piece is computed first, as the evaluator would; when
// it turns out to be a wide text the join is made the ordinary way (kComputed: `result` holds
// it, the assignment goes on).
//
// `expression` is the compiled right side; with `positionTokens` the token after it becomes the
// current one, as the evaluator leaves it.
Append AppendInPlace(BatchContext& context, std::uint16_t slot, EvalValue& result,
                     const CompiledExpression* expression, bool positionTokens) {
  if (expression == nullptr || expression->endKind != kTokenEnd) return Append::kNotApplicable;
  VariableSlot& target = context.varSlots[slot];
  std::uint32_t piece = 0;
  if (target.value.flags != kValueText || target.value.textRef == 0 ||
      !AppendedPiece(context, *expression, target.slotName, piece))
    return Append::kNotApplicable;
  ++context.evaluator.evaluations;
  EvalValue addition;
  ResetEval(addition);
  EvaluateNode(context, piece, addition);
  if (HasError(context)) {
    ReleaseEval(context, addition);
    return Append::kDone;
  }
  const bool wide =
      ((addition.value.flags & kValueWideText) != 0 && (addition.value.flags & kValueText) == 0) ||
      (addition.value.flags & kValueObject) != 0;
  if (wide) {
    BorrowVariable(context, target.value, slot, context.currentFrame, result);
    ConcatValues(context, result, addition);
    ReleaseEval(context, addition);
    if (!HasError(context) && positionTokens) FinishCompiledExpression(context, *expression);
    return Append::kComputed;
  }
  if (!ToText(context, addition.value)) {
    if (!HasError(context)) SetError(context, kErrNotString);
    ReleaseEval(context, addition);
    return Append::kDone;
  }
  AppendTextInPlace(context, target, addition);
  ReleaseEval(context, addition);
  if (HasError(context)) return Append::kDone;
  if (positionTokens) FinishCompiledExpression(context, *expression);
  BorrowVariable(context, target.value, slot, context.currentFrame, result);
  return Append::kDone;
}

// Pieces appended to a StrCat at once: more are joined the ordinary way.
constexpr int kMostPiecesInPlace = 16;

// `s = StrCat(s, piece, ...)`, where s holds only a text that no other variable holds and the
// pieces are compiled and call nothing (so that computing them cannot change s): the pieces are
// computed in order, as StrCat computes them, and added to s's own text. When one of them turns
// out to be a wide text the statement is left to StrCat, which computes the pieces again (to the
// same values, since they call nothing). The token after the call becomes the current one.
Append StrCatInPlace(BatchContext& context, std::uint16_t slot, EvalValue& result) {
  VariableSlot& target = context.varSlots[slot];
  if (target.value.flags != kValueText || target.value.textRef == 0) return Append::kNotApplicable;
  const CompiledExpression* pieces[kMostPiecesInPlace];
  std::uint16_t end = 0;
  int count = StrCatAppendedPieces(context, target.slotName, pieces, kMostPiecesInPlace, end);
  if (count == 0) return Append::kNotApplicable;
  EvalValue values[kMostPiecesInPlace];
  int computed = 0;
  auto release = [&] {
    for (int i = 0; i < computed; ++i)
      ReleaseEval(context, values[i]);
  };
  void* line = context.tokenizer.compiledLine;
  const char* base = context.tokenizer.compiledBase;
  for (; computed < count; ++computed) {
    ++context.evaluator.evaluations;
    ResetEval(values[computed]);
    EvaluateNode(context, *pieces[computed]->rootNode, values[computed]);
    context.tokenizer.compiledLine = line;
    context.tokenizer.compiledBase = base;
    if (HasError(context)) {
      ++computed;
      release();
      return Append::kDone;
    }
  }
  for (int i = 0; i < count; ++i) {
    const Value& value = values[i].value;
    if (((value.flags & kValueWideText) != 0 && (value.flags & kValueText) == 0) ||
        (value.flags & kValueObject) != 0) {
      release();
      return Append::kNotApplicable;
    }
  }
  // StrCat converts every piece before it joins them.
  for (int i = 0; i < count; ++i) {
    if (!ToText(context, values[i].value)) {
      if (!HasError(context)) SetError(context, kErrNotString);
      release();
      return Append::kDone;
    }
  }
  for (int i = 0; i < count && !HasError(context); ++i)
    AppendTextInPlace(context, target, values[i]);
  release();
  if (HasError(context)) return Append::kDone;
  SetScanPosition(context, context.tokenizer.compiledBase + end);
  get_token(context);
  BorrowVariable(context, target.value, slot, context.currentFrame, result);
  return Append::kDone;
}

}  // namespace

void ApplyOperator(BatchContext& context, std::uint32_t op, bool comparison, EvalValue& left,
                   EvalValue& right) {
  if (comparison)
    CompareValues(context, op, left, right, true, false);
  else
    ApplyBinaryOp(context, op, left, right);
}

static_assert(sizeof(BatchContext::constantTexts) / sizeof(std::uint32_t) == kTextConstantCount,
              "one heap copy per text constant");

void ConstantValue(BatchContext& context, const KelKeywordRow& row, EvalValue& result) {
  std::uint32_t value = row.argCounts;
  if ((value & kConstantCodeMask) == kFloatConstantCode) {
    result.value.flags = kValueFloat;
    result.value.floatValue = kFloatConstants[(value & 31) % kFloatConstantCount];
  } else if ((value & kConstantCodeMask) == kTextConstantCode) {
    // One heap copy per constant, lent to the reader as a variable lends its text: whoever
    // keeps it or changes it takes a copy of its own.
    std::size_t number = (value & 31) % kTextConstantCount;
    std::uint32_t& offset = context.constantTexts[number];
    if (offset == 0) {
      const char* text = kTextConstants[number];
      offset = HeapCopyText(context, text, std::strlen(text));
      if (offset == 0) return Fail(context, kErrOutOfStringMemory);
    }
    result.value.flags = kValueText;
    result.value.textRef = offset;
    result.borrowed = kValueText;
  } else {
    result.value.flags = kValueInteger;
    result.value.intValue = static_cast<std::int32_t>(value);
  }
}

void EvalLogical(BatchContext& context, EvalValue& result) {
  ++context.evaluator.evaluations;
  DepthGuard guard(context);
  if (!guard.ok()) return;
  if (const CompiledExpression* expression = CurrentCompiledExpression(context)) {
    if (latestWaiting != nullptr &&
        static_cast<CompiledLine*>(context.tokenizer.compiledLine)->nodes[expression->root].calls &&
        !OwnWaitingTexts(context))
      return;
    return EvaluateCompiledExpression(context, *expression, result);
  }
  BinaryLevel(
      context, result, EvalBitwise,
      [](std::uint32_t c) { return c == kKeywordLogicalAnd || c == kKeywordLogicalOr; }, false);
}

void ClearAssignTarget(BatchContext& context) {
  context.evaluator.mainAssignTarget = -1;
  context.resultSlot = kNoSlot;
  context.resultFrame = kNoSlot;
  if (context.runningFunction != kNoFunction)
    if (UdfRecord* record = DefinitionRecord(context, context.runningFunction))
      record->lastAssigned = -1;
}

void ProcessSubExpression(BatchContext& context, EvalValue& result, bool allowAssign,
                          bool pointerStatement, int) {
  ++context.evaluator.evaluations;
  std::uint8_t savedAllow = context.evaluator.allowAssign;
  context.evaluator.allowAssign = allowAssign ? 1 : 0;
  struct Restore {
    BatchContext& context;
    std::uint8_t allow;
    ~Restore() { context.evaluator.allowAssign = allow; }
  } restore{context, savedAllow};
  DepthGuard guard(context);
  if (!guard.ok()) return;
  TokenizerState& token = Token(context);

  // An array element as the target ("a[1,2] = x"): the statement begins with the array
  // reference; anything else that begins with one is an expression.
  if (!pointerStatement && AssignArrayElement(context, result, allowAssign)) return;
  // "*p[...] = x" with p a pointer to an array: the subscripts name an element of that array,
  // which the reference reaches through the pointer.
  const bool elementReference = IsKeyword(context, kObjectReferenceCode);
  if (pointerStatement && elementReference && IsPointerName(context, token.tokenText)) {
    if (!AssignArrayElement(context, result, allowAssign)) Fail(context, kErrIllegalSyntax);
    return;
  }

  if (token.tokenKind != kTokenVariable && !pointerStatement) return EvalLogical(context, result);
  if (token.tokenKind != kTokenVariable && !elementReference) return Fail(context, kErrNotPointer);
  // Where no assignment may stand, a compiled expression that begins with a name is computed at
  // once (it was compiled only because no "=" follows the name).
  if (!allowAssign && !pointerStatement && CurrentCompiledExpression(context) != nullptr)
    return EvalLogical(context, result);

  // The target: the named variable, or the one a pointer variable names.
  char targetName[kNameBytes];
  int targetFrame = context.currentFrame;
  std::uint16_t slot = kNoSlot;
  if (pointerStatement) {
    // "*ptrs[...] = x": the pointer is held in an element of the array ptrs.
    bool found = elementReference ? PointerTargetOfElement(context, targetName, targetFrame)
                                  : PointerTargetOfToken(context, targetName, targetFrame);
    if (!found) return;
  } else {
    slot = token.tokenSlot < context.varCount &&
                   context.varSlots[token.tokenSlot].value.flags != 0 &&
                   SlotNameIs(context.varSlots[token.tokenSlot].slotName, token.nameBuffer)
               ? token.tokenSlot
               : FindSlot(context, token.nameBuffer);
    if (slot == kNoSlot) return Fail(context, kErrUndefinedVariable);
    std::memcpy(targetName, token.nameBuffer, kNameBytes);
  }

  // Not an assignment after all: evaluate the line as an expression starting at the name. Only
  // what makes the name the current token again is kept, not the whole tokenizer state.
  struct NameToken {
    std::uint8_t kind;
    std::uint16_t code;
    const char* start;
    void* compiled;
    std::uint16_t slot;
    char name[kNameBytes];
  } saved{token.tokenKind,   token.tokenCode, token.tokenStart,
          token.cachedToken, token.tokenSlot, {}};
  std::memcpy(saved.name, token.nameBuffer, kNameBytes);
  if (!Next(context)) return;
  if (!IsKeyword(context, kKeywordAssign)) {
    putback(context);
    token.tokenKind = saved.kind;
    token.tokenCode = saved.code;
    token.tokenStart = saved.start;
    token.cachedToken = saved.compiled;
    token.tokenSlot = saved.slot;
    std::memcpy(token.nameBuffer, saved.name, kNameBytes);
    std::memcpy(token.tokenText, saved.name, kNameBytes);
    if (pointerStatement) return Fail(context, kErrIllegalSyntax);
    return EvalLogical(context, result);
  }
  if (!allowAssign) return Fail(context, kErrAssignmentNotLegal, kMsgHintUseDoubleEquals);
  if (pointerStatement && !PointedSlot(context, targetName, targetFrame, slot)) return;
  RecordAssignTarget(context, targetFrame, slot);
  if (!Next(context)) return;
  if (!pointerStatement) {
    Append append = AppendInPlace(context, slot, result, CurrentCompiledExpression(context), true);
    if (append == Append::kNotApplicable && IsKeyword(context, kKeywordStrCat))
      append = StrCatInPlace(context, slot, result);
    if (append == Append::kDone) return;
    if (append == Append::kNotApplicable) EvalLogical(context, result);
  } else {
    EvalLogical(context, result);
  }
  if (HasError(context)) return;

  SavedFrame savedFrame{};
  bool entered = targetFrame != context.currentFrame;
  if (entered && !EnterFrame(context, targetFrame, savedFrame))
    return Fail(context, kErrPointerAccess);
  if (pointerStatement) {
    slot = FindSlot(context, targetName);
    if (slot == kNoSlot) {
      if (entered) LeaveFrame(context, savedFrame);
      return Fail(context, kErrNotPointer);
    }
  }
  VariableSlot& target = context.varSlots[slot];
  bool sameArray = (target.value.flags & kValueArray) != 0 &&
                   (result.value.flags & kValueArray) != 0 &&
                   target.value.textRef == result.value.textRef;
  if (sameArray) {
    if (token.tokenKind != kTokenEnd) Fail(context, kErrStatementContinues, kMsgHintExtraneousText);
  } else {
    if (token.tokenKind != kTokenEnd) {
      ReleaseValue(context, target.value, slot, kHolderSlot);
      target.value.flags = kValueNoValue;
      Fail(context, kErrStatementContinues, kMsgHintExtraneousText);
    } else {
      StoreIntoVariable(context, slot, result);
    }
  }
  if (entered && !LeaveFrame(context, savedFrame) && !HasError(context))
    Fail(context, kErrVariableTableAccess);
  (void)kErrEmbeddedArray;
}

bool RunCompiledAssignment(BatchContext& context, EvalValue& result, const char* statement,
                           int& status) {
  CompiledAssignment* assignment = CompiledAssignmentAt(context, statement);
  if (assignment == nullptr) return false;
  status = RunAssignment(context, result, *assignment);
  return true;
}

int RunAssignment(BatchContext& context, EvalValue& result, CompiledAssignment& compiled) {
  CompiledAssignment* assignment = &compiled;
  const CompiledExpression* expression = AssignmentExpression(context, *assignment);
  // What the statement runner, the tokenizer and the evaluator do for "name = expression", in
  // their order: the name gets its slot as it is read, the target is recorded, the right side
  // is computed, and the value stored.
  ++context.evaluator.evaluations;
  std::uint16_t slot;
  if (VariableSlot* cached = CachedNameSlot(context, assignment->slotCache, assignment->name)) {
    slot = static_cast<std::uint16_t>(cached - context.varSlots);
  } else {
    slot = NameSlot(context, context.varSlots, context.varCount, assignment->name,
                    assignment->slotHint);
    if (slot == kNoSlot) return 0;
    assignment->slotHint = slot;
    assignment->slotCache = &context.varSlots[slot];
  }
  RecordAssignTarget(context, context.currentFrame, slot);
  if (context.varSlots[slot].value.flags == kValueInteger) {
    // A whole number computed from whole numbers replaces a whole number: nothing to append,
    // release or copy.
    ++context.evaluator.evaluations;
    if (StoreWholeNumberExpression(context, *expression->rootNode, context.varSlots[slot].value))
      return HasError(context) ? 0 : 1;
    --context.evaluator.evaluations;
  }
  Append append = AppendInPlace(context, slot, result, expression, false);
  if (append == Append::kNotApplicable) {
    ++context.evaluator.evaluations;
    void* line = context.tokenizer.compiledLine;
    const char* base = context.tokenizer.compiledBase;
    EvaluateNode(context, *expression->rootNode, result);
    context.tokenizer.compiledLine = line;
    context.tokenizer.compiledBase = base;
  }
  if (HasError(context) || append == Append::kDone) return HasError(context) ? 0 : 1;
  VariableSlot& target = context.varSlots[slot];
  bool sameArray = (target.value.flags & kValueArray) != 0 &&
                   (result.value.flags & kValueArray) != 0 &&
                   target.value.textRef == result.value.textRef;
  if (!sameArray) StoreIntoVariable(context, slot, result);
  return HasError(context) ? 0 : 1;
}

}  // namespace kel
