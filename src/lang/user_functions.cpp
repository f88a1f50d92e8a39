// Calls of user-defined functions and subroutines: the frame on the structure stack, the
// variable frame of a function, the parameters, the body run and the result.
#include "lang/user_functions.h"

#include <cstddef>
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "lang/debug_trace.h"
#include "lang/eval_value.h"
#include "lang/handler_calls.h"
#include "lang/host_notifications.h"
#include "lang/run_loop.h"
#include "lang/script_parameters.h"
#include "lang/structures.h"
#include "lang/variables.h"
#include "loader/definitions.h"
#include "loader/script_file.h"
#include "platform/platform.h"

namespace kel {
namespace {

// What the caller's statement was in the middle of: its line (the body's lines are read into
// the same buffer), the tokenizer's place in it and the runner's position. Kept off the machine
// stack, which deep recursion needs for the evaluator.
struct CallerState {
  // The line buffer's text, kept only when the caller's statement stands in it.
  std::uint8_t lineInUse;
  char line[kLineBufferBytes];
  TokenizerState tokenizer;
  EvaluatorState evaluator;
  std::uint32_t lineStartOffset;
  std::uint32_t nextLineOffset;
  std::uint16_t runningFunction;
  // The variable that receives the result of the caller's statement (DropWild keeps it).
  std::uint16_t resultSlot;
  std::uint16_t resultFrame;
  std::int8_t ifState;
  // The script path, kept only when the call changes it, and what it was known to equal.
  bool pathKept;
  const char* pathFrom;
  char scriptPath[kPathBytes];
};

// Caller states are reused: a call takes one that an earlier call of the same context gave back,
// so that a function called in a loop or recursively allocates nothing.
class CallerStatePool {
 public:
  CallerStatePool() = default;
  CallerStatePool(const CallerStatePool&) = delete;
  CallerStatePool& operator=(const CallerStatePool&) = delete;
  ~CallerStatePool() {
    for (std::size_t i = 0; i < count_; ++i)
      delete free_[i];
  }
  CallerState* Take() {
    if (count_ == 0) return new CallerState;
    return free_[--count_];
  }
  void Give(CallerState* state) {
    if (count_ < kKept)
      free_[count_++] = state;
    else
      delete state;
  }

 private:
  static constexpr std::size_t kKept = 64;
  CallerState* free_[kKept];
  std::size_t count_ = 0;
};

CallerStatePool& CallerStates(BatchContext& context) {
  if (context.callerStates == nullptr) context.callerStates = new CallerStatePool();
  return *static_cast<CallerStatePool*>(context.callerStates);
}

// A caller state taken from the pool for the length of one call; not filled: SaveCaller writes
// what is read back.
class SavedCaller {
 public:
  explicit SavedCaller(BatchContext& context)
      : pool_(CallerStates(context)), state_(pool_.Take()) {}
  ~SavedCaller() { pool_.Give(state_); }
  SavedCaller(const SavedCaller&) = delete;
  SavedCaller& operator=(const SavedCaller&) = delete;
  CallerState& operator*() { return *state_; }
  CallerState* operator->() { return state_; }

 private:
  CallerStatePool& pool_;
  CallerState* state_;
};

// Copies a line buffer, a path or the tokenizer's state up to the end of the texts they hold: a
// call costs a copy of what is in use, not of the whole buffers.
void CopyLine(char* to, const char* from) {
  std::memcpy(to, from, strnlen(from, kLineBufferBytes - 1) + 1);
}

void CopyPath(char* to, const char* from) {
  std::size_t length = strnlen(from, kPathBytes - 1);
  std::memcpy(to, from, length);
  to[length] = '\0';
}

void CopyTokenizer(TokenizerState& to, const TokenizerState& from) {
  constexpr std::size_t kHead = offsetof(TokenizerState, tokenText);
  constexpr std::size_t kTail = offsetof(TokenizerState, nameBuffer);
  std::memcpy(&to, &from, kHead);
  std::memcpy(to.tokenText, from.tokenText, strnlen(from.tokenText, kTokenTextBytes - 1) + 1);
  std::memcpy(reinterpret_cast<char*>(&to) + kTail, reinterpret_cast<const char*>(&from) + kTail,
              sizeof(TokenizerState) - kTail);
}

// `newPath`: the script path the call runs with (null: not known yet).
void SaveCaller(const BatchContext& context, CallerState& saved, const char* newPath) {
  saved.lineInUse = context.lineBufferInUse;
  if (saved.lineInUse != 0) CopyLine(saved.line, context.lineBuffer);
  CopyTokenizer(saved.tokenizer, context.tokenizer);
  saved.evaluator = context.evaluator;
  saved.lineStartOffset = context.lineStartOffset;
  saved.nextLineOffset = context.nextLineOffset;
  saved.runningFunction = context.runningFunction;
  saved.resultSlot = context.resultSlot;
  saved.resultFrame = context.resultFrame;
  saved.ifState = context.flow.ifState;
  // A function defined in the script that calls it runs with the same path.
  saved.pathFrom = context.scriptPathFrom;
  saved.pathKept = newPath == nullptr || (context.scriptPathFrom != newPath &&
                                          std::strcmp(newPath, context.scriptPath) != 0);
  if (saved.pathKept) CopyPath(saved.scriptPath, context.scriptPath);
}

// Runs the call with the script path `path`, a function's file.
void SetScriptPath(BatchContext& context, const CallerState& saved, const char* path) {
  if (saved.pathKept) CopyPath(context.scriptPath, path);
  context.scriptPathFrom = path;
}

// `samePath`: the text the caller's path equals when it was not kept (null: none), in case
// something changed the path during the call after all.
void RestoreCaller(BatchContext& context, const CallerState& saved, const char* samePath) {
  context.lineBufferInUse = saved.lineInUse;
  if (saved.lineInUse != 0) CopyLine(context.lineBuffer, saved.line);
  // The scan pointers point into the line buffer, whose contents are back in place.
  CopyTokenizer(context.tokenizer, saved.tokenizer);
  std::uint16_t depth = context.evaluator.depth;
  context.evaluator = saved.evaluator;
  context.evaluator.depth = depth;
  context.lineStartOffset = saved.lineStartOffset;
  context.nextLineOffset = saved.nextLineOffset;
  context.runningFunction = saved.runningFunction;
  context.resultSlot = saved.resultSlot;
  context.resultFrame = saved.resultFrame;
  context.flow.ifState = saved.ifState;
  if (saved.pathKept) {
    CopyPath(context.scriptPath, saved.scriptPath);
    context.scriptPathFrom = saved.pathFrom;
  } else if (samePath != nullptr && context.scriptPathFrom != samePath) {
    CopyPath(context.scriptPath, samePath);
    context.scriptPathFrom = samePath;
  }
}

// Sets the parameters in the frame that is now current: a function's own new frame, or for a
// subroutine its caller's.
bool SetParameters(BatchContext& context, const UdfRecord& record, EvalValue* arguments, int count,
                   bool ownFrame) {
  for (int i = 0; i < record.paramCount && i < count; ++i) {
    if (ownFrame)
      AddFreshVariable(context, record.params[i], arguments[i].value);
    else
      AssignValue(context, record.params[i], arguments[i].value);
    if (HasError(context)) return false;
  }
  return true;
}

}  // namespace

bool CallUdf(BatchContext& context, std::uint16_t index, EvalValue& result, EvalValue* arguments,
             int count) {
  UdfRecord* record = DefinitionRecord(context, index);
  if (record == nullptr || record->bodyCopy == nullptr) {
    SetError(context, kErrFunctionNotReady);
    return false;
  }
  bool isFunction = record->isSubroutine == 0;
  // A recursive call's statements record their targets in the same record: the caller's
  // statement gets its own back when the call returns.
  std::int32_t callerTarget = record->lastAssigned;
  NestedHandlers handlers(context);
  TracedCall traced(context, false, record->name);
  NestedTrace trace(context);
  SavedCaller saved(context);
  SaveCaller(context, *saved, record->file);

  StructEntry* frame = PushStructure(context, kStructureFunction, kStateRunning,
                                     context.loader.runText, context.lineStartOffset);
  if (frame == nullptr) return false;
  std::uint16_t frameDepth = context.flow.depth;
  frame->resume = context.nextLineOffset;
  frame->var = 0;
  context.flow.breakable = 0;

  // A function gets variables of its own; a subroutine works in its caller's.
  int variables = 0;
  SavedFrame callerFrame{};
  if (isFunction) {
    variables = AllocateFrame(context, context.varCapacity);
    if (variables == 0) {
      PopStructuresTo(context, frameDepth - 1);
      SetError(context, kErrNoFrameForFunction);
      return false;
    }
  }
  SetScriptPath(context, *saved, record->file);
  context.runningFunction = index;
  context.flow.ifState = -1;
  if (isFunction) {
    if (!EnterFrame(context, variables, callerFrame)) {
      FreeFrame(context, variables);
      RestoreCaller(context, *saved, record->file);
      PopStructuresTo(context, frameDepth - 1);
      SetError(context, kErrFunctionTableLock);
      return false;
    }
    // The first slot of every table is reserved. A table comes clear from the pool or from a
    // zero-filled allocation, so it is wiped only when something left it otherwise.
    VariableSlot& reserved = context.varSlots[0];
    if (reserved.value.flags != 0 || reserved.slotName[0] != '\0') reserved = VariableSlot{};
    reserved.value.flags = kValueNoValue;
    context.varCount = 1;
  }

  bool ran = SetParameters(context, *record, arguments, count, isFunction);
  ReleaseEval(context, result);
  // A host that follows the script files hears when a function runs in a file of its own.
  const bool fileNotice = (context.notifyMask & kNotifyScriptFile) != 0 && saved->pathKept;
  if (ran && fileNotice) ran = NotifyFileChange(context, record->file, 0, 1);
  ScriptText body{};
  if (ran && LockDefinitionBody(context, index, body)) {
    RunLoop(context, body, result);
    ReleaseDefinitionBody(context, index);
  }
  // Return marks its frame before removing it; a body that ran off its end left it open.
  bool returned = context.flow.entries[frameDepth - 1].var != 0 &&
                  context.flow.entries[frameDepth - 1].kind == kStructureFunction;
  std::uint32_t error = context.errors.errNum;

  if (isFunction) {
    // The result may still borrow from the function's variables, which go with the frame.
    std::uint32_t kept = context.errors.errNum;
    context.errors.errNum = 0;
    OwnEval(context, result);
    context.errors.errNum = kept != 0 ? kept : context.errors.errNum;
    error = context.errors.errNum;
    if (!LeaveAndFreeFrame(context, variables, callerFrame) && error == 0)
      error = kErrFunctionTableLock;
  } else {
    OwnEval(context, result);
  }
  if (!returned || !ran) SetEvalInteger(context, result, 0);

  if (context.flow.depth >= frameDepth) PopStructuresTo(context, frameDepth - 1);
  UdfRecord* called = DefinitionRecord(context, index);
  if (fileNotice && called != nullptr && error != kCompletionHostStop) {
    const int phase = error == 0 || error == kCompletionNormalEnd ? 0 : -1;
    context.errors.errNum = 0;
    if (!NotifyFileChange(context, called->file, 0, phase)) error = kCompletionHostStop;
  }
  RestoreCaller(context, *saved, called != nullptr ? called->file : nullptr);
  if (called != nullptr) called->lastAssigned = callerTarget;
  // The body reported its own error already; the caller's script ends without a second report.
  if (error != 0 && error != kCompletionNormalEnd && error != kCompletionCancel &&
      error != kCompletionHostStop) {
    context.errors.userErrCode = static_cast<std::int32_t>(kCompletionFunctionReported);
    error = kCompletionFunctionReported;
  }
  context.errors.errNum = error;
  return error == 0;
}

void CallDefinition(BatchContext& context, std::uint16_t index, EvalValue& result,
                    EvalValue* arguments, int count) {
  SetEvalInteger(context, result, 0);
  CallUdf(context, index, result, arguments, count);
  TidyResult(context, result);
  TakeMathError(context);
}

void ReleaseCallerStates(BatchContext& context) {
  delete static_cast<CallerStatePool*>(context.callerStates);
  context.callerStates = nullptr;
}

void CallScriptFile(BatchContext& context, const char* fileName, EvalValue& parameters,
                    EvalValue& result) {
  if (context.callLevels >= kMaxCallLevels) return SetError(context, kErrTooManyCallLevels);
  NestedHandlers handlers(context);
  TracedCall traced(context, true, fileName);
  NestedTrace trace(context);
  SavedCaller saved(context);
  SaveCaller(context, *saved, nullptr);
  if ((parameters.value.flags & kValueWideText) != 0 && (parameters.value.flags & kValueText) == 0)
    SplitParameters(context, ValueWideText(context, parameters.value));
  else
    SplitParameters(context, ValueText(context, parameters.value));
  // The called script would run without the parameters that could not be stored.
  if (HasError(context)) return;
  char path[kPathBytes];
  if (platform::FindFileOnSearchPath(fileName, path, sizeof path) == 0)
    return SetError(context, kErrCallFileNotFound);

  StructEntry* frame = PushStructure(context, kStructureCall, kStateRunning, context.loader.runText,
                                     context.lineStartOffset);
  if (frame == nullptr) return;
  std::uint16_t frameDepth = context.flow.depth;
  frame->resume = context.nextLineOffset;
  frame->var = 0;
  context.flow.breakable = 0;
  ++context.callLevels;
  std::snprintf(context.scriptPath, sizeof context.scriptPath, "%s", path);
  context.scriptPathFrom = nullptr;
  // The called script runs at script level, in its caller's variables.
  context.runningFunction = kNoFunction;
  context.flow.ifState = -1;
  ReleaseEval(context, result);
  const bool noticed = context.notifyMask != 0;
  int outcome = 0;
  if (!noticed || NotifyFileChange(context, path, context.callLevels, 1))
    outcome = LoadScriptFile(context, result, path);
  bool returned = context.flow.entries[frameDepth - 1].var != 0 &&
                  context.flow.entries[frameDepth - 1].kind == kStructureCall;
  std::uint32_t error = context.errors.errNum;
  OwnEval(context, result);
  if (!returned) SetEvalInteger(context, result, 0);
  if (context.flow.depth >= frameDepth) PopStructuresTo(context, frameDepth - 1);
  if (outcome == 0 && error == 0) error = kCompletionReported;
  if (noticed && error != kCompletionHostStop) {
    const int phase = error == 0 || error == kCompletionNormalEnd ? 0 : -1;
    context.errors.errNum = 0;
    if (!NotifyFileChange(context, path, context.callLevels, phase)) error = kCompletionHostStop;
  }
  --context.callLevels;
  RestoreCaller(context, *saved, nullptr);
  // Errors were reported where they happened; the calling script ends without a second report.
  if (error != 0 && error != kCompletionCancel && error != kCompletionNormalEnd &&
      error != kCompletionHostStop) {
    context.errors.userErrCode = static_cast<std::int32_t>(kCompletionReported);
    error = kCompletionReported;
  }
  context.errors.errNum = error;
}

}  // namespace kel
