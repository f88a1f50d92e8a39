// Notifications to the host.
#include "lang/host_notifications.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/statements.h"
#include "lang/string_heap.h"
#include "lang/structures.h"
#include "platform/files.h"

namespace kel {
namespace {

constexpr std::size_t kItemBytes = 24;

void FormatNumber(char (&out)[kItemBytes], long long number) {
  std::snprintf(out, sizeof out, "%lld", number);
}

}  // namespace

bool NotifyHost(BatchContext& context, std::int32_t request, const char* const (&items)[5]) {
  if (context.hostCallback == nullptr || Hooks().callHostEntry == nullptr) return true;
  EvalValue arguments[5];
  int count = 0;
  for (; count < 5; ++count) {
    ResetEval(arguments[count]);
    const char* item = items[count] != nullptr ? items[count] : "";
    std::uint32_t text = HeapCopyText(context, item, std::strlen(item));
    if (text == 0) break;
    arguments[count].value.flags = kValueText;
    arguments[count].value.textRef = text;
  }
  bool goOn = true;
  if (count == 5) {
    // The host may change the directory while it looks at the script; the script's own stays.
    std::u16string directory;
    const bool directoryKept = platform::CurrentDirectoryName(&directory);
    const std::uint32_t kept = context.errors.errNum;
    context.errors.errNum = 0;
    EvalValue answer;
    ResetEval(answer);
    Hooks().callHostEntry(context, request, arguments, 5, answer);
    ReleaseEval(context, answer);
    goOn = context.errors.errNum != kCompletionHostStop;
    context.errors.errNum = goOn ? kept : kCompletionHostStop;
    if (directoryKept) platform::ChangeDirectory(directory);
  }
  for (int i = 0; i < count; ++i)
    ReleaseEval(context, arguments[i]);
  return goOn;
}

bool NotifyStatement(BatchContext& context, const StatementLine& statement) {
  const ScriptText& text = *statement.text;
  char handle[kItemBytes], offset[kItemBytes], word[kItemBytes];
  FormatNumber(handle, static_cast<long long>(reinterpret_cast<std::uintptr_t>(text.bytes)));
  // A function body's offsets are counted from the whole text it was defined in.
  FormatNumber(offset, static_cast<long long>(text.base) + statement.lineOffset);
  const StructEntry* innermost = InnermostStructure(context);
  FormatNumber(word, innermost != nullptr ? innermost->var : 0);
  const char* items[5] = {context.callLevels > 0 ? "3" : "2", handle, offset, word,
                          InnermostStructureSkipping(context) ? "1" : "0"};
  return NotifyHost(context, kNotifyRequestRun, items);
}

void NotifyBreakPoll(BatchContext& context) {
  const char* items[5] = {"1", "", "", "", ""};
  if (!NotifyHost(context, kNotifyRequestRun, items)) {
    // Nothing runs a statement here: the run ends as a stop request ends it.
    context.errors.errNum = 0;
    context.stopRequested = 1;
  }
}

bool NotifyFileChange(BatchContext& context, const char* path, int depth, int phase) {
  char level[kItemBytes], state[kItemBytes];
  FormatNumber(level, depth);
  FormatNumber(state, phase);
  bool goOn = true;
  if (depth > 0 && (context.notifyMask & kNotifyCalledFile) != 0) {
    const char* items[5] = {path, level, state, "", ""};
    goOn = NotifyHost(context, kNotifyRequestCall, items);
  }
  if (goOn && (context.notifyMask & kNotifyScriptFile) != 0) {
    const char* items[5] = {path, state, "", "", ""};
    goOn = NotifyHost(context, kNotifyRequestFile, items);
  }
  return goOn;
}

}  // namespace kel
