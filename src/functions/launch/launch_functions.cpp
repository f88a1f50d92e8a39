// The launch functions: the Run family with its fixed show modes, RunShell, RunEnviron and
// RunWithLogon with every argument explicit, and Print and ShellExecute, which hand a file to
// the shell's verbs.
#include <algorithm>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "functions/files/file_lists.h"
#include "functions/launch/launcher.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/launch.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The first of the messages for the shell's small failure numbers ("WinExec 0: ...").
constexpr std::uint32_t kShellFailureMessages = 1900;
constexpr std::intptr_t kLargestShellFailure = 32;

struct FixedRun {
  std::int32_t showMode;
  std::int32_t wait;
};

FixedRun FixedRunOf(std::uint32_t code) {
  switch (code) {
    case kKeywordRunHide:
      return {kShowHidden, kNoWait};
    case kKeywordRunIcon:
      return {1, kNoWait};
    case kKeywordRunZoom:
      return {3, kNoWait};
    case kKeywordRunWait:
      return {kShowNormal, kWait};
    case kKeywordRunHideWait:
      return {kShowHidden, kWait};
    case kKeywordRunIconWait:
      return {1, kWait};
    case kKeywordRunZoomWait:
      return {3, kWait};
    default:
      return {kShowNormal, kNoWait};
  }
}

// Program, parameters and, where the function has one, the directory.
bool TextArguments(BatchContext& context, EvalValue* arguments, bool withDirectory,
                   LaunchRequest* request) {
  return NameArgument(context, arguments[0], &request->program) &&
         NameArgument(context, arguments[1], &request->parameters) &&
         (!withDirectory || NameArgument(context, arguments[2], &request->directory));
}

void RunFixed(BatchContext& context, std::uint32_t code, EvalValue* arguments, EvalValue& result) {
  LaunchRequest request{};
  if (!TextArguments(context, arguments, false, &request)) return;
  FixedRun run = FixedRunOf(code);
  request.showMode = run.showMode;
  request.wait = run.wait;
  LaunchCommandLine(context, request, result);
}

// RunShell (with a directory) and RunEnviron (without): show mode and wait follow the texts.
void RunExplicit(BatchContext& context, EvalValue* arguments, bool withDirectory,
                 EvalValue& result) {
  LaunchRequest request{};
  if (!TextArguments(context, arguments, withDirectory, &request)) return;
  int next = withDirectory ? 3 : 2;
  request.showMode = arguments[next].value.intValue;
  request.wait = arguments[next + 1].value.intValue;
  LaunchCommandLine(context, request, result);
}

// The account's texts live only as long as the call, and the password's copy is wiped before
// it is let go: it is handed to the system and reaches no trace, log or report.
void RunWithLogon(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  if (!platform::LogonLaunchAvailable())
    return SetError(context,
                    platform::ShellVerbsAvailable() ? kErrLogonUnsupported : kErrNotAvailable);
  LaunchRequest request{};
  std::u16string user, domain, password;
  if (!TextArguments(context, arguments, true, &request) ||
      !NameArgument(context, arguments[5], &user) ||
      !NameArgument(context, arguments[6], &domain) ||
      !NameArgument(context, arguments[7], &password))
    return;
  platform::LogonAccount account{&user, &domain, &password,
                                 static_cast<std::uint32_t>(arguments[8].value.intValue)};
  request.showMode = arguments[3].value.intValue;
  request.wait = arguments[4].value.intValue;
  request.account = &account;
  LaunchCommandLine(context, request, result);
  std::fill(password.begin(), password.end(), u'\0');
}

// Print: the file's "print" verb, with the launch routine's show modes.
void Print(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  if (!platform::ShellVerbsAvailable()) return SetError(context, kErrNotAvailable);
  std::u16string file, directory;
  if (!NameArgument(context, arguments[0], &file) ||
      !NameArgument(context, arguments[1], &directory))
    return;
  int showCommand = 0;
  if (!ShowCommandOf(arguments[2].value.intValue, &showCommand))
    return SetError(context, kErrDisplayType);
  context.launch.lastExitCode = kNoExitCode;
  if (context.soundsOn != 0 && arguments[2].value.intValue != kShowHidden)
    platform::PlaySystemSound("StartProgram");
  std::intptr_t answer = platform::ShellLaunch(u"print", file, u"", directory, showCommand);
  if (answer > kLargestShellFailure) return SetEvalInteger(context, result, 1);
  std::uint32_t number = kShellFailureMessages + static_cast<std::uint32_t>(answer);
  SetError(context, answer >= 0 && HasMessage(context, number) ? number : kErrWinExecFailed);
}

// ShellExecute's show modes differ from the launch routine's: normal is a plain show, and an
// unknown mode is a normal window rather than an error.
int ShellShowCommand(std::int32_t showMode) {
  // @HIDDEN (-1) .. @NOACTIVATE (4): hide, normal, minimize, show, maximize, show without
  // activating.
  constexpr int kCommands[] = {0, 1, 6, 5, 3, 4};
  return showMode >= -1 && showMode <= 4 ? kCommands[showMode + 1] : 1;
}

void ShellExecute(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  if (!platform::ShellVerbsAvailable()) return SetError(context, kErrNotAvailable);
  std::u16string program, parameters, directory, operation;
  if (!NameArgument(context, arguments[0], &program) ||
      !NameArgument(context, arguments[1], &parameters) ||
      !NameArgument(context, arguments[2], &directory) ||
      !NameArgument(context, arguments[4], &operation))
    return;
  if (program.empty()) return SetError(context, kErrShellExecuteEmpty);
  std::intptr_t answer =
      platform::ShellLaunch(operation.empty() ? nullptr : operation.c_str(), program, parameters,
                            directory, ShellShowCommand(arguments[3].value.intValue));
  SetEvalInteger(context, result, answer > kLargestShellFailure ? 1 : 0);
}

}  // namespace

KEL_FAMILY_ROUTINE(LaunchFunction) {
  (void)count;
  (void)unicode;
  switch (code) {
    case kKeywordRun:
    case kKeywordRunHide:
    case kKeywordRunIcon:
    case kKeywordRunZoom:
    case kKeywordRunWait:
    case kKeywordRunHideWait:
    case kKeywordRunIconWait:
    case kKeywordRunZoomWait:
      return RunFixed(context, code, arguments, result);
    case kKeywordRunShell:
      return RunExplicit(context, arguments, true, result);
    case kKeywordRunEnviron:
      return RunExplicit(context, arguments, false, result);
    case kKeywordRunWithLogon:
      return RunWithLogon(context, arguments, result);
    case kKeywordRunExit:
      return SetError(context, kErrRunExitUnsupported);
    case kKeywordPrint:
      return Print(context, arguments, result);
    case kKeywordShellExecute:
      return ShellExecute(context, arguments, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
