// The command-line launcher. It tries a fixed series of command lines, each only when the ones
// before failed in the way it can mend: the program's registered application path, the program
// in quotes, the program as written (systems without the modern shell), the program that opens
// the document's type, and a shortcut of that name. The first that starts a program ends the
// series; when none does, the most telling failure is reported.
#include "functions/launch/launcher.h"

#include <cstdio>
#include <string>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/platform.h"
#include "platform/system_info.h"

namespace kel {
namespace {

// How long one wait for the program sleeps on before the host's messages are let through.
constexpr std::uint32_t kEndWaitMs = 100;
// The pause between two waits for the program.
constexpr std::uint32_t kEndWaitPauseMs = 20;
// The longest line a launch builds.
constexpr std::size_t kLaunchLineUnits = 8192;

// What one attempt left behind for the report.
struct Attempt {
  bool ran = false;
  std::uint32_t error = 0;
  std::u16string line;
};

struct Attempts {
  Attempt appPath, quoted, unquoted, association, shortcut;
  bool shortcutUnreadable = false;
};

struct NameParts {
  bool hasDirectory = false;  // a drive or a directory was given
  std::u16string name, extension;
};

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/' || c == u':';
}

NameParts SplitProgram(const std::u16string& program) {
  NameParts parts;
  std::size_t start = program.size();
  while (start > 0 && !IsSeparator(program[start - 1]))
    --start;
  parts.hasDirectory = start > 0;
  std::u16string file = program.substr(start);
  std::size_t dot = file.rfind(u'.');
  parts.name = file.substr(0, dot);
  if (dot != std::u16string::npos) parts.extension = file.substr(dot);
  return parts;
}

std::u16string Upper(std::u16string text) {
  platform::UpperWideText(text.data(), text.size());
  return text;
}

std::u16string Quoted(const std::u16string& program) {
  if (!program.empty() && program[0] == u'"') return program;
  return u"\"" + program + u"\"";
}

std::u16string WithParameters(std::u16string line, const std::u16string& parameters) {
  if (!parameters.empty()) line += u" " + parameters;
  return line;
}

std::string Narrow(const BatchContext& context, const std::u16string& text) {
  std::string out(text.size() * 2 + 1, '\0');
  int length =
      platform::WideToAnsi(context.codePage, text.data(), text.size(), out.data(), out.size());
  out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return out;
}

std::u16string Widen(const BatchContext& context, const std::string& text) {
  std::u16string out(text.size() + 1, u'\0');
  int length =
      platform::AnsiToWide(context.codePage, text.data(), text.size(), out.data(), out.size());
  out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return out;
}

class Launch {
 public:
  Launch(BatchContext& context, const LaunchRequest& request, int showCommand)
      : context_(context), request_(request), showCommand_(showCommand) {}

  // Runs the series; true when a program was started (then `started`).
  bool Run(platform::StartedProgram* started);
  // Sets the error of a launch that started nothing.
  void Report();
  bool viaShortcut() const { return viaShortcut_; }

 private:
  bool Try(Attempt& attempt, const std::u16string& line, platform::StartedProgram* started);
  bool TryAppPath(platform::StartedProgram* started);
  bool TryAssociation(platform::StartedProgram* started);
  bool TryShortcut(platform::StartedProgram* started);

  BatchContext& context_;
  const LaunchRequest& request_;
  int showCommand_;
  Attempts attempts_;
  std::uint32_t lastError_ = 0;
  bool viaShortcut_ = false;
};

bool Launch::Try(Attempt& attempt, const std::u16string& line, platform::StartedProgram* started) {
  attempt.ran = true;
  attempt.line = line.size() > kLaunchLineUnits ? line.substr(0, kLaunchLineUnits) : line;
  if (platform::StartProgram(attempt.line, showCommand_, request_.directory, request_.account,
                             started))
    return true;
  attempt.error = lastError_ = platform::LastSystemError();
  return false;
}

// The registered path stands in for a bare program name; its "Path" value leads the search
// path for this one launch.
bool Launch::TryAppPath(platform::StartedProgram* started) {
  NameParts parts = SplitProgram(request_.program);
  if (parts.name.empty()) return false;
  std::u16string registered, searchPath;
  std::u16string key = Upper(parts.name + parts.extension);
  if (!platform::RegisteredAppPath(key, &registered, &searchPath) &&
      !(parts.extension.empty() &&
        platform::RegisteredAppPath(key + u".EXE", &registered, &searchPath)))
    return false;
  std::u16string path = parts.hasDirectory ? request_.program : registered;
  std::u16string line = WithParameters(Quoted(path), request_.parameters);
  bool widen = !searchPath.empty() &&
               (!parts.hasDirectory || platform::IsSameFile(registered, request_.program));
  std::string oldPath;
  bool hadPath = platform::EnvironmentValue("PATH", oldPath);
  if (widen) {
    std::string lead = Narrow(context_, searchPath);
    if (!lead.empty() && lead.back() != ';') lead += ';';
    if (oldPath.compare(0, lead.size(), lead) != 0)
      platform::SetEnvironmentValue("PATH", (lead + oldPath).c_str());
    else
      widen = false;
  }
  bool launched = Try(attempts_.appPath, line, started);
  if (widen) platform::SetEnvironmentValue("PATH", hadPath ? oldPath.c_str() : nullptr);
  return launched;
}

// A document: the open command of its type, "%1" standing for the document and "%*" for the
// parameters; without a command, the program the shell finds for it.
bool Launch::TryAssociation(platform::StartedProgram* started) {
  const std::u16string& program = request_.program;
  std::u16string command, executable, arguments;
  NameParts parts = SplitProgram(program);
  if (!parts.extension.empty() && platform::AssociatedOpenCommand(parts.extension, &command) &&
      command.size() >= 2) {
    bool quoted = false;
    std::size_t blank = 0;
    for (; blank < command.size() && (quoted || command[blank] != u' '); ++blank)
      if (command[blank] == u'"') quoted = !quoted;
    executable = command.substr(0, blank);
    std::u16string pattern = blank < command.size() ? command.substr(blank + 1) : u"";
    std::size_t at = pattern.find(u"%1");
    if (at == std::u16string::npos) {
      arguments = Quoted(program);
    } else {
      arguments = pattern.replace(at, 2, program);
      std::size_t all = arguments.find(u"%*");
      if (all != std::u16string::npos)
        arguments.replace(all, 2, request_.parameters);
      else
        arguments = WithParameters(arguments, request_.parameters);
    }
  } else if (platform::ExecutableForDocument(program, request_.directory, &executable)) {
    arguments = WithParameters(program, request_.parameters);
  } else {
    attempts_.association.ran = true;
    attempts_.association.error = lastError_ = platform::LastSystemError();
    return false;
  }
  return Try(attempts_.association, executable + u" " + arguments, started);
}

// A shortcut found on the search path is opened by the shell, which starts its target.
bool Launch::TryShortcut(platform::StartedProgram* started) {
  std::u16string shortcut = platform::SearchPathFor(request_.program, u".lnk");
  if (shortcut.empty()) return false;
  attempts_.shortcut.ran = true;
  attempts_.shortcut.line = shortcut;
  if (platform::ShellLaunchKeeping(shortcut, request_.parameters, request_.directory, showCommand_,
                                   started)) {
    viaShortcut_ = true;
    return true;
  }
  attempts_.shortcut.error = lastError_ = platform::LastSystemError();
  attempts_.shortcutUnreadable = true;
  return false;
}

bool Launch::Run(platform::StartedProgram* started) {
  const std::u16string& program = request_.program;
  platform::SystemInfo system = platform::DetectSystem();
  bool modernShell = system.nt4OrLater || system.windows95;
  if (TryAppPath(started)) return true;
  if (Try(attempts_.quoted, WithParameters(Quoted(program), request_.parameters), started))
    return true;
  if (!modernShell && lastError_ == platform::kErrorFileNotFound && !program.empty() &&
      program[0] != u'"' &&
      Try(attempts_.unquoted, WithParameters(program, request_.parameters), started))
    return true;
  if (lastError_ == platform::kErrorNotProgram) {
    // Where the system has no shell associations, a document cannot be opened at all.
    if (!platform::ShellVerbsAvailable()) {
      SetError(context_, kErrNotAvailable);
      return false;
    }
    if (TryAssociation(started)) return true;
  }
  if (modernShell &&
      (lastError_ == platform::kErrorFileNotFound || lastError_ == platform::kErrorNotProgram))
    return TryShortcut(started);
  return false;
}

bool IsMissing(std::uint32_t error) {
  return error == 0 || error == platform::kErrorFileNotFound || error == platform::kErrorNotProgram;
}

bool HasShortcutExtension(const std::u16string& program) {
  return Upper(SplitProgram(program).extension) == u".LNK";
}

void Launch::Report() {
  if (HasError(context_)) return;
  SetError(context_, kErrWinExecFailed);
  if (context_.launch.extendedErrors == 0) return;
  // The most telling failure: the one that got furthest with the program.
  const Attempt* telling = &attempts_.quoted;
  std::u16string text;
  if (attempts_.association.ran) {
    telling = &attempts_.association;
  } else if (attempts_.unquoted.ran && !IsMissing(attempts_.unquoted.error) &&
             IsMissing(attempts_.quoted.error)) {
    telling = &attempts_.unquoted;
  } else if (HasShortcutExtension(request_.program) && attempts_.shortcut.ran) {
    telling = &attempts_.shortcut;
    if (attempts_.shortcutUnreadable) {
      char message[kMessageBytes];
      LoadMessage(context_, kMsgInvalidShortcut, message, sizeof message);
      text = Widen(context_, message);
    }
  } else if (attempts_.appPath.ran) {
    telling = &attempts_.appPath;
  }
  if (text.empty()) text = platform::SystemErrorText(telling->error);
  if (telling->error == platform::kErrorElevationRequired && !text.empty()) {
    char module[kPathBytes];
    std::size_t length = platform::ModulePathOf(reinterpret_cast<const void*>(&LaunchCommandLine),
                                                module, sizeof module);
    text += u"  " + Widen(context_, std::string(module, length)) +
            u" does not have sufficient elevation to run " + telling->line +
            u".  Use ShellExecute?";
  }
  if (text.empty()) return;
  char headline[kMessageBytes];
  LoadMessage(context_, kMsgWinExecError, headline, sizeof headline);
  std::string info = std::string(headline) + "\n\n    " + Narrow(context_, text);
  AppendMoreErrorInfo(context_, info.c_str());
}

// Waits for the program to end while the host's messages go through; a stop request ends the
// wait and leaves the program running.
void WaitForEnd(BatchContext& context, platform::StartedProgram& program) {
  while (!platform::WaitForProgramOrInput(program, kEndWaitMs)) {
    WaitPump(context);
    if (context.stopRequested) return;
    platform::SleepMilliseconds(kEndWaitPauseMs);
  }
}

}  // namespace

bool ShowCommandOf(std::int32_t showMode, int* showCommand) {
  // The system's commands for @HIDDEN (-1) .. @NOACTIVATE (4): hide, none, minimize, show
  // normal, maximize, show without activating.
  constexpr int kCommands[] = {0, -1, 6, 1, 3, 4};
  if (showMode < -1 || showMode > 4 || kCommands[showMode + 1] < 0) return false;
  *showCommand = kCommands[showMode + 1];
  return true;
}

void LaunchCommandLine(BatchContext& context, const LaunchRequest& request, EvalValue& result) {
  SetEvalInteger(context, result, 0);
  if (request.wait < kNoWait || request.wait > kGetExitCode)
    return SetError(context, kErrWaitParameter);
  int showCommand = 0;
  if (!ShowCommandOf(request.showMode, &showCommand)) return SetError(context, kErrDisplayType);
  context.launch.lastExitCode = kNoExitCode;
  if (context.soundsOn != 0 && request.showMode != kShowHidden)
    platform::PlaySystemSound("StartProgram");

  platform::StartedProgram started;
  Launch launch(context, request, showCommand);
  if (!launch.Run(&started)) return launch.Report();

  if (context.launch.inputIdleMs != 0) platform::WaitUntilIdle(started, context.launch.inputIdleMs);
  std::int32_t answer = 1;
  if (launch.viaShortcut()) {
    // The shell started the shortcut's target: it is not waited for, and 1 stands in for its
    // process id.
    if (request.wait == kGetExitCode)
      answer = static_cast<std::int32_t>(context.launch.lastExitCode);
  } else if (request.wait == kWait || request.wait == kGetExitCode) {
    WaitForEnd(context, started);
    if (started.ended) context.launch.lastExitCode = started.exitCode;
    if (request.wait == kGetExitCode)
      answer = static_cast<std::int32_t>(context.launch.lastExitCode);
  } else if (request.wait == kGetProcessId) {
    answer = static_cast<std::int32_t>(started.id);
  }
  platform::ReleaseProgram(started);
  SetEvalInteger(context, result, answer);
}

}  // namespace kel
