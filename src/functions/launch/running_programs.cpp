// The programs that are running, found in the system's list of processes: whether one runs
// (AppExist), waiting until none does (AppWaitClose) and ending them (TerminateApp); and
// Terminate, which ends the script itself when its condition holds.
//
// A program is named by its file: a bare name ("notepad.exe", or "notepad", which also finds
// "notepad.exe") is compared with the file name of each process, a name with a directory with
// the full name; the comparison ignores case, and "\" and "/" are the same. With the "by id"
// flag the name is the decimal process id instead.
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/launch.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The second argument of AppExist and AppWaitClose, the type of TerminateApp.
constexpr std::int32_t kByName = 0;
constexpr std::int32_t kById = 1;
// How often AppWaitClose looks at the list of processes.
constexpr std::uint32_t kListLookMs = 250;

std::u16string Canonical(std::u16string name) {
  platform::LowerWideText(name.data(), name.size());
  for (char16_t& c : name)
    if (c == u'\\') c = u'/';
  return name;
}

struct Wanted {
  std::int32_t kind = kByName;
  std::uint32_t id = 0;
  std::u16string name;  // canonical
  bool withDirectory = false;
  bool withExtension = false;
};

bool Matches(const Wanted& wanted, const platform::RunningProgram& program) {
  if (wanted.kind == kById) return program.id == wanted.id;
  std::u16string file = Canonical(program.file);
  if (wanted.withDirectory) return file == wanted.name;
  std::size_t slash = file.rfind(u'/');
  if (slash != std::u16string::npos) file.erase(0, slash + 1);
  if (file == wanted.name) return true;
  if (wanted.withExtension) return false;
  std::size_t dot = file.rfind(u'.');
  return dot != std::u16string::npos && file.compare(0, dot, wanted.name) == 0 &&
         dot == wanted.name.size();
}

bool WantedArgument(BatchContext& context, EvalValue& argument, std::int32_t kind, Wanted* wanted) {
  std::u16string text;
  if (!NameArgument(context, argument, &text)) return false;
  wanted->kind = kind == kById ? kById : kByName;
  if (wanted->kind == kById) {
    wanted->id = static_cast<std::uint32_t>(ParseInteger(text.c_str()));
    return true;
  }
  wanted->name = Canonical(text);
  std::size_t slash = wanted->name.rfind(u'/');
  wanted->withDirectory =
      slash != std::u16string::npos || wanted->name.find(u':') != std::u16string::npos;
  std::size_t start = slash == std::u16string::npos ? 0 : slash + 1;
  wanted->withExtension = wanted->name.find(u'.', start) != std::u16string::npos;
  return true;
}

std::vector<std::uint32_t> Running(const Wanted& wanted) {
  std::vector<std::uint32_t> ids;
  for (const platform::RunningProgram& program : platform::RunningPrograms())
    if (Matches(wanted, program)) ids.push_back(program.id);
  return ids;
}

std::int32_t OptionalKind(int count, EvalValue* arguments) {
  return count > 1 ? arguments[1].value.intValue : kByName;
}

void AppExist(BatchContext& context, int count, EvalValue* arguments, EvalValue& result) {
  Wanted wanted;
  if (!WantedArgument(context, arguments[0], OptionalKind(count, arguments), &wanted)) return;
  SetEvalInteger(context, result, Running(wanted).empty() ? 0 : 1);
}

// Waits while a program of the name runs, letting the host's messages through; a stop request
// ends the wait. @TRUE when one was running at the start.
void AppWaitClose(BatchContext& context, int count, EvalValue* arguments, EvalValue& result) {
  Wanted wanted;
  if (!WantedArgument(context, arguments[0], OptionalKind(count, arguments), &wanted)) return;
  bool found = !Running(wanted).empty();
  SetEvalInteger(context, result, found ? 1 : 0);
  while (found) {
    WaitPump(context);
    if (context.stopRequested) return;
    TimedWait(context, kListLookMs);
    found = !Running(wanted).empty();
  }
}

// Ends every program of the name but the script's own process: @TRUE when one was ended.
void TerminateApp(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  Wanted wanted;
  if (!WantedArgument(context, arguments[0], arguments[1].value.intValue, &wanted)) return;
  bool ended = false;
  for (std::uint32_t id : Running(wanted))
    if (id != platform::CurrentProcessId() && platform::EndProgram(id)) ended = true;
  SetEvalInteger(context, result, ended ? 1 : 0);
}

// Terminate(condition, title, message): a true condition ends the script as Exit does, after
// showing the message when there is one.
void Terminate(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  SetEvalInteger(context, result, 1);
  if (arguments[0].value.intValue == 0) return;
  if (!ToText(context, arguments[1].value) || !ToText(context, arguments[2].value)) return;
  const char* message = ValueText(context, arguments[2].value);
  if (message[0] != '\0')
    platform::MessageBoxText(context.hostWindow, message, ValueText(context, arguments[1].value));
  SetError(context, kCompletionNormalEnd);
}

}  // namespace

KEL_FAMILY_ROUTINE(RunningProgramFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordAppExist:
      return AppExist(context, count, arguments, result);
    case kKeywordAppWaitClose:
      return AppWaitClose(context, count, arguments, result);
    case kKeywordTerminateApp:
      return TerminateApp(context, arguments, result);
    case kKeywordTerminate:
      return Terminate(context, arguments, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
