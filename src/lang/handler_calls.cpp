// The script's cancel and error handlers at work.
#include "lang/handler_calls.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_handlers.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/array_access.h"
#include "lang/array_record.h"
#include "lang/eval_value.h"
#include "lang/statements.h"
#include "lang/string_heap.h"
#include "lang/structures.h"
#include "lang/user_functions.h"
#include "lang/value.h"
#include "lang/variables.h"
#include "loader/definitions.h"

namespace kel {
namespace {

constexpr std::int32_t kArrayElements = 12;
// Element 11: what a failing assignment receives when a handler function takes its error.
constexpr std::int32_t kAssignedElement = 11;
constexpr char kArrayName[] = "tverrorarray";
constexpr char kCancelLabel[] = "CANCEL";
constexpr char kErrorLabel[] = "TVERRORHANDLER";
constexpr char kCancelText[] = "Cancel";
constexpr char kCancelInfo[] = "User pressed Cancel";
// A handler function's result: bit 0 keeps it armed, bit 1 leaves the error standing.
constexpr std::int32_t kStayArmed = 1;
constexpr std::int32_t kPassOn = 2;

// The errors whose number and message the handler takes from the extender or ErrorEvent that
// raised them.
bool CarriesUserText(std::int32_t number) {
  switch (number) {
    case 1213:
    case 1668:
    case 2214:
    case 2669:
    case 3215:
    case 3670:
    case kCompletionExtenderReported:
    case kCompletionUserReported:
      return true;
    default:
      return false;
  }
}

// The number and message the handler variables give for the error in lastErrNum.
std::int32_t DescribedNumber(BatchContext& context, char* message, std::size_t size) {
  const ErrorState& errors = context.errors;
  std::int32_t number = errors.lastErrNum;
  if (CarriesUserText(number)) {
    std::snprintf(message, size, "%s", errors.userErrText);
    return errors.userErrCode;
  }
  if (number == kCompletionReported || number == kCompletionFunctionReported)
    number = errors.userErrCode;
  message[0] = '\0';
  if (number > 0) LoadMessage(context, static_cast<std::uint32_t>(number), message, size);
  return number;
}

bool StoreTextElement(BatchContext& context, Value& element, const char* text) {
  Value value{};
  value.flags = kValueText;
  value.textRef = HeapCopyText(context, text, std::strlen(text));
  if (value.textRef == 0) return false;
  bool stored = StoreElement(context, element, value);
  ReleaseValue(context, value, 0, kHolderOther);
  return stored;
}

bool StoreNumberElement(BatchContext& context, Value& element, std::int32_t number) {
  Value value{};
  value.flags = kValueInteger;
  value.intValue = number;
  return StoreElement(context, element, value);
}

// The name of the variable the failing statement was assigning to in the current scope, or "".
void AssignedName(const BatchContext& context, char* out, std::size_t size) {
  out[0] = '\0';
  if (context.resultSlot == kNoSlot || context.resultFrame != context.currentFrame ||
      context.resultSlot >= context.varCount)
    return;
  std::snprintf(out, size, "%s", context.varSlots[context.resultSlot].slotName);
}

// Gives the failing assignment's variable the value the handler left in element 11: an empty
// text that is the value's only form becomes 0, one beside other forms is left out.
void AssignHandlerValue(BatchContext& context, const Value& element) {
  if (context.resultSlot == kNoSlot || context.resultFrame != context.currentFrame ||
      context.resultSlot >= context.varCount)
    return;
  Value value;
  if (!CopyValue(context, element, value, 0, kHolderOther | kCopyToOther | kCopyDuplicateTexts))
    return;
  auto emptyText = [&](std::uint32_t bit) {
    if ((value.flags & bit) == 0) return false;
    if (bit == kValueText) return *ValueText(context, value) == '\0';
    return *ValueWideText(context, value) == u'\0';
  };
  for (std::uint32_t bit : {kValueText, kValueWideText}) {
    if (!emptyText(bit)) continue;
    if ((value.flags & kValueHolding & ~bit) == 0) {
      ReleaseValue(context, value, 0, kHolderOther);
      value = Value{};
      value.flags = kValueInteger;
      value.intValue = 0;
      break;
    }
    std::uint32_t ref =
        bit == kValueText ? static_cast<std::uint32_t>(value.textRef) : value.wideRef;
    if (ref != 0) VFree(context, ref);
    if (bit == kValueText)
      value.textRef = 0;
    else
      value.wideRef = 0;
    value.flags &= ~bit;
  }
  VariableSlot& slot = context.varSlots[context.resultSlot];
  ReleaseValue(context, slot.value, context.resultSlot, kHolderSlot | kReleaseKeepObject);
  std::memcpy(&slot.value, &value, sizeof(Value));
}

void SetTextVariable(BatchContext& context, const char* name, const char* text) {
  SetVariable(context, name, text, 0, kVariableText);
}

void SetNumberVariable(BatchContext& context, const char* name, std::int32_t number) {
  SetVariable(context, name, nullptr, number, kVariableInteger);
}

// Finds the handler function by its name: it must exist and take exactly one parameter.
std::uint16_t HandlerFunction(BatchContext& context, const char* name) {
  const auto first = static_cast<unsigned char>(name[0]);
  bool letter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
  if (!letter || context.loader.udfCount == 0) return kNoDefinition;
  std::uint16_t index = FindDefinition(context, name, std::strlen(name));
  if (index == kNoDefinition) return kNoDefinition;
  const UdfRecord* record = DefinitionRecord(context, index);
  return record != nullptr && record->paramCount == 1 ? index : kNoDefinition;
}

// Calls the handler function of mode 3 with tverrorarray. True when it took the error; its
// mode is set to 0 unless it asked to stay armed. The error it ended with (9000 for Exit) is
// left in errNum; the assignment's variable gets element 11 when the error was taken.
bool CallHandlerFunction(BatchContext& context, std::int32_t& mode, const char* name) {
  std::uint16_t index = HandlerFunction(context, name);
  if (index == kNoDefinition) return false;
  EvalValue argument;
  ResetEval(argument);
  ArrayRecord* array = nullptr;
  std::uint16_t slot = FindSlot(context, kArrayName);
  if (slot != kNoSlot && (context.varSlots[slot].value.flags & kValueArray) != 0) {
    array = reinterpret_cast<ArrayRecord*>(context.varSlots[slot].value.textRef);
    // The function is handed the variable's own array, and holds it while it runs.
    AddArrayHolder(array);
    argument.value.flags = kValueArray;
    argument.value.textRef = context.varSlots[slot].value.textRef;
    argument.borrowed = kValueArray;
  }
  EvalValue result;
  ResetEval(result);
  bool ran = CallUdf(context, index, result, &argument, 1);
  std::int32_t answer = 0;
  if (ran && (result.value.flags & kValueInteger) != 0) answer = result.value.intValue;
  if (ran && (result.value.flags & kValueInteger) == 0 && ToInteger(context, result.value, false))
    answer = result.value.intValue;
  ReleaseEval(context, result);
  if (!ran) answer = 0;
  if ((answer & kStayArmed) == 0) mode = 0;
  bool taken = ran && context.errors.errNum == 0 && (answer & kPassOn) == 0;
  if (taken && array != nullptr && array->elementCount > kAssignedElement)
    AssignHandlerValue(context, array->elements[kAssignedElement]);
  if (array != nullptr) ReleaseArrayHolder(context, array);
  return taken;
}

// Goto or Gosub to the handler's label. False with the error set when the label is missing
// (the error that was to be handled is then put back by the caller) or the structure stack is
// full (3618, 3619).
bool JumpToLabel(BatchContext& context, StatementLine& statement, bool cancel, bool asSubroutine) {
  ControlFlowState& flow = context.flow;
  if (asSubroutine) {
    if (flow.depth >= kMaxStructures) {
      SetError(context, cancel ? kErrCancelHandlerNesting : kErrErrorHandlerNesting);
      return false;
    }
    std::uint16_t kind = flow.ifState == 0   ? kStructureGosubFalse
                         : flow.ifState == 1 ? kStructureGosubTrue
                                             : kStructureGosubNone;
    StructEntry* entry =
        PushStructure(context, kind, kStateRunning, *statement.text, statement.lineOffset);
    if (entry == nullptr) return false;
    entry->resume = statement.nextOffset;
    flow.breakable = 0;
    flow.ifState = -1;
    flow.traceCategory = cancel ? kTraceCancelHandler : kTraceErrorHandler;
    flow.traceTruth = 1;
  } else if (!cancel && flow.depth > 0) {
    // The statements at the label run although the error stood in a branch not yet decided.
    StructEntry& innermost = flow.entries[flow.depth - 1];
    if (innermost.kind == kStructureIf || innermost.kind == kStructureSwitch)
      innermost.state = kStateRunning;
  }
  const std::uint16_t depth = flow.depth;
  if (FindLabel(context, cancel ? kCancelLabel : kErrorLabel, statement, statement.start, true))
    return true;
  if (asSubroutine && flow.depth == depth) PopStructure(context);
  return false;
}

bool OfferCancel(BatchContext& context, StatementLine& statement) {
  HandlerSettings& handlers = context.errors.handlers;
  ErrorState& errors = context.errors;
  const std::int32_t mode = handlers.cancelMode;
  if (mode == 0) return false;
  if (mode == 3) {
    DescribeError(context, true, true);
    errors.errNum = 0;
    if (CallHandlerFunction(context, handlers.cancelMode, handlers.cancelFunction)) return true;
    if (errors.errNum != kCompletionNormalEnd) errors.errNum = kCompletionCancel;
    return false;
  }
  errors.errNum = 0;
  DescribeError(context, true, false);
  if (mode == 1 || mode == 2) handlers.cancelMode = 0;
  if (JumpToLabel(context, statement, true, mode == 2)) return true;
  if (errors.errNum != kErrCancelHandlerNesting) errors.errNum = kCompletionCancel;
  return false;
}

bool OfferError(BatchContext& context, StatementLine& statement) {
  HandlerSettings& handlers = context.errors.handlers;
  ErrorState& errors = context.errors;
  const std::int32_t mode = handlers.errorMode;
  const std::uint32_t number = errors.errNum;
  if (mode == 0) return false;
  errors.lastErrNum = static_cast<std::int32_t>(number);
  if (mode == 3) {
    DescribeError(context, false, true);
    errors.errNum = 0;
    if (CallHandlerFunction(context, handlers.errorMode, handlers.errorFunction)) return true;
    if (errors.errNum != kCompletionNormalEnd) errors.errNum = number;
    return false;
  }
  DescribeError(context, false, false);
  errors.errNum = 0;
  handlers.errorMode = 0;
  if (JumpToLabel(context, statement, false, mode == 2)) return true;
  if (errors.errNum != kErrErrorHandlerNesting) errors.errNum = number;
  return false;
}

}  // namespace

void DescribeError(BatchContext& context, bool cancel, bool arrayOnly) {
  ErrorState& errors = context.errors;
  // The statement's own error number is not the handler variables' business: it is kept.
  const std::uint32_t pending = errors.errNum;
  errors.errNum = 0;
  Value made{};
  if (CreateMyArray(context, made, kArrayElements, 0, 0, 0, 0, 0, 1) <= 0) {
    errors.errNum = pending;
    return;
  }
  auto* array = reinterpret_cast<ArrayRecord*>(made.textRef);

  char message[kErrorTextBytes], more[kMoreErrorInfoBytes], assigned[kNameBytes];
  std::int32_t number = DescribedNumber(context, message, sizeof message);
  if (cancel) {
    std::snprintf(message, sizeof message, "%s", kCancelText);
    std::snprintf(more, sizeof more, "%s", kCancelInfo);
  } else {
    MoreErrorInfoText(context, more, sizeof more);
  }
  AssignedName(context, assigned, sizeof assigned);
  SourcePosition position{};
  if (Hooks().locateFailingStatement != nullptr) Hooks().locateFailingStatement(context, position);
  const char* file = position.fileOfLine != nullptr ? position.fileOfLine : position.file;
  const bool inFunction = context.runningFunction != kNoFunction;
  // The failing statement's text, which the statement runner or the report put there.
  const char* line = errors.errorLine;
  const auto offset = static_cast<std::int32_t>(context.lineStartOffset);

  Value* elements = array->elements;
  bool stored = StoreNumberElement(context, elements[0], number) &&
                StoreTextElement(context, elements[1], line) &&
                StoreNumberElement(context, elements[2], offset) &&
                StoreTextElement(context, elements[3], assigned) &&
                StoreTextElement(context, elements[4], file) &&
                StoreTextElement(context, elements[5], message) &&
                StoreTextElement(context, elements[6], more) &&
                StoreTextElement(context, elements[7], position.functionName) &&
                StoreNumberElement(context, elements[8], position.fileLine) &&
                StoreNumberElement(context, elements[9], inFunction ? position.line : 0) &&
                StoreNumberElement(context, elements[10], position.markerTag) &&
                StoreNumberElement(context, elements[kAssignedElement], 0);
  if (stored) AssignValue(context, kArrayName, made);
  ReleaseValue(context, made, 0, kHolderOther);
  if (stored && !arrayOnly) {
    SetTextVariable(context, "tverrorhandlerline", line);
    SetNumberVariable(context, "tverrorhandleroffset", offset);
    SetTextVariable(context, "tverrorhandlerassignment", assigned);
    SetTextVariable(context, "tverrorhandlerfile", file);
    SetTextVariable(context, "tverrortextstring", message);
    SetTextVariable(context, "tverroradditionalinfo", more);
    SetTextVariable(context, "tverrorinsegment", position.functionName);
    SetNumberVariable(context, "tverrorhandlerlinenumber", position.fileLine);
  }
  errors.errNum = pending;
}

bool OfferErrorToHandler(BatchContext& context, StatementLine& statement) {
  ErrorState& errors = context.errors;
  const std::uint32_t number = errors.errNum;
  const bool cancel = number == kCompletionCancel;
  if ((cancel ? errors.handlers.cancelMode : errors.handlers.errorMode) == 0) return false;
  const char* text = statement.line + statement.start;
  if (text != errors.errorLine)
    std::snprintf(errors.errorLine, sizeof errors.errorLine, "%s", text);
  if (number == kCompletionCancel) return OfferCancel(context, statement);
  if (number >= 1 && number <= kLastErrorNumber) return OfferError(context, statement);
  return false;
}

bool OfferStopToHandler(BatchContext& context, StatementLine& statement) {
  ErrorState& errors = context.errors;
  if (errors.handlers.cancelMode == 0) return false;
  const std::uint32_t kept = errors.errNum;
  errors.errNum = kCompletionCancel;
  if (OfferErrorToHandler(context, statement)) {
    context.stopRequested = 0;
    context.stopByUser = 0;
    return true;
  }
  errors.errNum = kept;
  return false;
}

namespace {

bool AsAtStart(const HandlerSettings& settings) {
  return settings.cancelMode == -1 && settings.errorMode == 0 &&
         settings.cancelFunction[0] == '\0' && settings.errorFunction[0] == '\0';
}

void SetAsAtStart(HandlerSettings& settings) {
  settings.cancelMode = -1;
  settings.errorMode = 0;
  settings.cancelFunction[0] = '\0';
  settings.errorFunction[0] = '\0';
}

}  // namespace

NestedHandlers::NestedHandlers(BatchContext& context)
    : context_(context), atStart_(AsAtStart(context.errors.handlers)) {
  // Most calls find the settings as every level starts them: there is nothing to keep.
  if (atStart_) return;
  kept_ = context.errors.handlers;
  SetAsAtStart(context.errors.handlers);
}

NestedHandlers::~NestedHandlers() {
  if (atStart_)
    SetAsAtStart(context_.errors.handlers);
  else
    context_.errors.handlers = kept_;
}

std::int32_t SetHandler(BatchContext& context, bool cancel, std::int32_t mode, std::int32_t discard,
                        const char* function) {
  HandlerSettings& handlers = context.errors.handlers;
  std::int32_t& setting = cancel ? handlers.cancelMode : handlers.errorMode;
  const std::int32_t previous = setting;
  if (mode >= 0 && mode <= 3) setting = mode;
  if (discard == 1) DiscardMoreErrorInfo(context);
  if (mode == 3 && function != nullptr) {
    char* name = cancel ? handlers.cancelFunction : handlers.errorFunction;
    std::snprintf(name, kHandlerNameBytes - 1, "%s", function);
  }
  return previous;
}

}  // namespace kel
