// The debug trace.
#include "lang/debug_trace.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "errors/error_box.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/keyword_table.h"
#include "lang/structures.h"
#include "lang/value.h"
#include "lang/variables.h"
#include "loader/definitions.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/step_box.h"
#include "platform/system_info.h"

namespace kel {
namespace {

constexpr char kDebuggerName[] = "*DEBUGDATA*";
constexpr char kLineEnd[] = "\r\n";
constexpr std::size_t kVariableTextShown = 255;
// Requests of DebugTrace.
enum TraceRequest : std::int32_t {
  kReportState = -1,
  kTraceOff = 0,
  kTraceOn = 1,
  kTraceErrorsOnly = 2,
  kWriteText = 3,
  kWriteBanner = 4,
  kTraceOnAfresh = 10,
  kResume = 22,
  kSetFile = 100,
  kSetFileAfresh = 101,
  kFlagErrorDump = 102,
  kFlagKeywordLookups = 103,
  kFlagNoTimes = 104,
  kReset = 200,
  kAlwaysWriteText = 203,
  kAlwaysWriteBanner = 204,
  kDumpFunctions = 205,
  kDumpVariables = 206,
  kDumpStructures = 207,
  kDumpEnvironment = 208,
  kDumpInternals = 277,
};

std::string Message(BatchContext& context, std::uint32_t number) {
  char text[kMessageBytes];
  LoadMessage(context, number, text, sizeof text);
  return text;
}

// Each write opens the file, appends and closes it again, so that the trace survives whatever
// ends the script; a file that cannot be written loses the record.
void Write(BatchContext& context, const std::string& text) {
  const TraceState& trace = context.trace;
  if (trace.file[0] == '\0' || text.empty()) return;
  if (std::strcmp(trace.file, kDebuggerName) == 0) return platform::DebuggerOutput(text.c_str());
  platform::AppendToFile(trace.file, text.data(), text.size());
}

std::string Stars() {
  return std::string(60, '*');
}

std::string DateAndTime() {
  platform::LocalDateTime now = platform::CurrentLocalTime();
  char text[32];
  std::snprintf(text, sizeof text, "%04d:%02d:%02d:%02d:%02d:%02d", now.year, now.month, now.day,
                now.hour, now.minute, now.second);
  return text;
}

std::uint32_t Elapsed(const BatchContext& context) {
  return platform::TickCount() - context.trace.startTick;
}

// What the header tells of the host program and the system's security settings; a system
// without such settings says so.
std::string ProgramFacts() {
  std::string out;
  bool flag = false;
  if (platform::PerformanceCountersDisabled(flag) == platform::SystemFact::Answered && flag)
    out += std::string(
               "Performance counters are disabled (HKEY_LOCAL_MACHINE\\SYSTEM\\"
               "CurrentControlSet\\Services\\PerfProc\\Performance[Disable "
               "Performance Counters])") +
           kLineEnd;
  flag = false;
  const bool signedProgram =
      platform::ProgramSignatureValid(flag) == platform::SystemFact::Answered && flag;
  out += std::string("Valid Code Signature: ") + (signedProgram ? "Yes" : "No") + kLineEnd;
  std::string level;
  if (platform::ProgramExecutionLevel(level) != platform::SystemFact::Answered) level.clear();
  out += "UAC Manifest Settings:" + (level.empty() ? std::string() : " " + level) + kLineEnd;
  platform::Elevation elevation = platform::Elevation::Unknown;
  const char* shown = "Unsupported Platform";
  if (platform::ProcessElevation(elevation) == platform::SystemFact::Answered) {
    switch (elevation) {
      case platform::Elevation::StandardOrDisabled:
        shown = "Standard User or Disabled";
        break;
      case platform::Elevation::Elevated:
        shown = "Elevated";
        break;
      case platform::Elevation::AdminNotElevated:
        shown = "Admin Not Elevated";
        break;
      case platform::Elevation::Unknown:
        shown = "<Unknown>";
        break;
    }
  }
  out += std::string("UAC Elevation Level: ") + shown + kLineEnd;
  return out;
}

std::string EnvironmentListing(BatchContext& context) {
  std::string out = std::string(30, '=') + kLineEnd;
  out += DateAndTime() + kLineEnd;
  out += std::string(context.hostText1) + kLineEnd;
  out += std::string("KEL DLL ") + EngineVersionText() + kLineEnd;
  out += std::string(context.scriptPath) + kLineEnd;
  // The system's version where it has one of that kind (0.0, build 0 elsewhere).
  std::int32_t part[3] = {0, 0, 0};
  std::string unused;
  for (int i = 0; i < 3; ++i)
    if (platform::WindowsVersionPart(i, part[i], unused) != platform::SystemFact::Answered)
      part[i] = 0;
  std::int32_t platformKind = 0;
  if (platform::WindowsVersionPart(4, platformKind, unused) != platform::SystemFact::Answered)
    platformKind = 0;
  char line[160];
  std::snprintf(line, sizeof line, "Windows platform: %s, version: %lu.%lu, build: %lu",
                platformKind == 2   ? "NT"
                : platformKind == 1 ? "9x"
                                    : "??",
                static_cast<unsigned long>(part[1]), static_cast<unsigned long>(part[0]),
                static_cast<unsigned long>(part[2]));
  out += std::string(line) + kLineEnd;
  const std::int32_t mode = context.errors.errorMode;
  out += std::string("ErrorMode: ") +
         (mode == 0   ? "@OFF"
          : mode == 2 ? "@NOTIFY"
                      : "@CANCEL") +
         kLineEnd;
  out += ProgramFacts();
  out += std::string(30, '=') + kLineEnd;
  return out;
}

void WriteHeader(BatchContext& context, bool errorDump) {
  TraceState& trace = context.trace;
  if (trace.startTick != 0) return;
  trace.startTick = platform::TickCount();
  if (trace.startTick == 0) trace.startTick = 1;
  Write(context, kLineEnd + Stars() + kLineEnd + kLineEnd +
                     Message(context, errorDump ? kMsgTraceErrorDump : kMsgTraceInitialized) +
                     kLineEnd + EnvironmentListing(context));
}

std::string TypeName(std::uint32_t flags) {
  if (flags == 0) return "UNDEFINED";
  if (flags == kValueNoValue) return "UNINITIALIZED";
  std::string name;
  auto add = [&](const char* part) {
    if (!name.empty()) name += "/";
    name += part;
  };
  if ((flags & kValueInteger) != 0 && (flags & (kValueFileHandle | kValueBufferHandle)) == 0)
    add("INT");
  if ((flags & kValueText) != 0) add("STRING");
  if ((flags & kValueInteger) != 0 && (flags & kValueFileHandle) != 0) add("FILE");
  if ((flags & kValueFloat) != 0) add("FLOAT");
  if ((flags & kValueInteger) != 0 && (flags & kValueBufferHandle) != 0) add("BINBUF");
  if ((flags & kValueArray) != 0) add("ARRAY");
  if ((flags & kValueObject) != 0)
    add((flags & kValueObjectCompanion) != 0 ? "COMOBJ" : "VARIANT_");
  if ((flags & kValueWideText) != 0) add("UNICODE");
  if ((flags & kValueComTemporary) != 0) add("COMTEMP");
  return name.empty() ? "UNKNOWN" : name;
}

// A value as the trace shows it: a string in double quotes, an array as <array>.
std::string ValueShown(BatchContext& context, const Value& value) {
  if ((value.flags & kValueArray) != 0) return "<array>";
  if ((value.flags & kValueText) != 0) return std::string("\"") + ValueText(context, value) + "\"";
  if ((value.flags & kValueWideText) != 0) {
    std::string narrow;
    for (const char16_t* p = ValueWideText(context, value); *p != 0; ++p)
      narrow += *p < 0x80 ? static_cast<char>(*p) : '?';
    return "\"" + narrow + "\"";
  }
  char text[kNumberTextBytes] = "";
  if ((value.flags & kValueInteger) != 0) {
    std::snprintf(text, sizeof text, "%d", value.intValue);
  } else if ((value.flags & kValueFloat) != 0) {
    if (!FormatFloat(context, value.floatValue, text)) context.errors.errNum = 0;
  }
  return text;
}

std::string Valued(BatchContext& context, const Value& value) {
  return TypeName(value.flags) + " => " + ValueShown(context, value);
}

// The value a statement left: its result, or for an assignment that stored its value directly,
// the variable it assigned.
const Value& StatementValue(const BatchContext& context, const EvalValue& result) {
  if (result.value.flags == 0 && context.resultSlot != kNoSlot &&
      context.resultFrame == context.currentFrame && context.resultSlot < context.varCount)
    return context.varSlots[context.resultSlot].value;
  return result.value;
}

std::string Outcome(BatchContext& context, const EvalValue& result) {
  const bool truth = context.flow.traceTruth != 0;
  const Value& value = StatementValue(context, result);
  auto pick = [&](std::uint32_t yes, std::uint32_t no) {
    return Message(context, truth ? yes : no);
  };
  switch (context.flow.traceCategory) {
    case kTraceSingleLineIf:
      return truth ? Message(context, kMsgTraceIfTrue) + " " + ValueShown(context, value)
                   : Message(context, kMsgTraceIfFalse);
    case kTraceSkipped:
      return Message(context, kMsgTraceSkipped);
    case kTraceWhile:
      return pick(kMsgTraceWhileTrue, kMsgTraceWhileFalse);
    case kTraceEnd:
      return Message(context, kMsgTraceEnd);
    case kTraceSwitch:
      return Message(context, kMsgTraceSwitch) + ValueShown(context, value);
    case kTraceBreak:
      return pick(kMsgTraceBreaking, kMsgTraceBreakIgnored);
    case kTraceContinue:
      return pick(kMsgTraceContinuing, kMsgTraceContinueIgnored);
    case kTraceFor:
      return pick(kMsgTraceForTrue, kMsgTraceForFalse) + ValueShown(context, value);
    case kTraceGosub:
      if (truth) return Message(context, kMsgTraceGosub);
      return Message(context, kMsgTraceReturnValue) + " " + Valued(context, value);
    case kTraceBlockIf:
      return pick(kMsgTraceIfDoTrue, kMsgTraceIfDoFalse);
    case kTraceBlockElse:
      return pick(kMsgTraceElseDoTrue, kMsgTraceElseDoFalse);
    case kTraceCase:
      return pick(kMsgTraceCaseTrue, kMsgTraceCaseFalse) + ValueShown(context, value);
    case kTraceElseIf:
      return pick(kMsgTraceElseIfTrue, kMsgTraceElseIfFalse);
    case kTraceCancelHandler:
      return Message(context, kMsgTraceGosub) + " " + Message(context, kMsgTraceCancelHandler);
    case kTraceErrorHandler:
      return Message(context, kMsgTraceGosub) + " " + Message(context, kMsgTraceErrorHandler);
    case kTracePlain:
    default:
      return Message(context, kMsgTraceValue) + " " + Valued(context, value);
  }
}

bool IsExtenderError(std::uint32_t number) {
  return number == 1213 || number == 2214 || number == 3215 ||
         number == kCompletionExtenderReported;
}

bool IsUserError(std::uint32_t number) {
  return number == 1668 || number == 2669 || number == 3670 || number == kCompletionUserReported;
}

// What became of an error: "\r\n" word number [" (" text ")"] "\r\n".
std::string ErrorRecord(BatchContext& context, std::uint32_t number, bool ended) {
  const ErrorState& errors = context.errors;
  const bool carriesCode = IsExtenderError(number) || IsUserError(number) ||
                           (number >= kCompletionReported && number <= kCompletionUserReported);
  const std::int32_t shown = carriesCode ? errors.userErrCode : static_cast<std::int32_t>(number);
  std::string word, text;
  if (IsExtenderError(number)) {
    word = ended ? "TERMINAL EXTENDER ERROR=>" : "EXTENDER ERROR SUPPRESSED =>";
    text = errors.userErrText;
  } else if (number == kCompletionFunctionReported) {
    word = ended ? "TERMINAL UDF ERROR OCCURRED -- JOB EXITING=>" : "UDF ERROR SUPPRESSED =>";
  } else if (IsUserError(number)) {
    word = ended ? "TERMINAL USER-DEFINED ERROR=>" : "USER-DEFINED ERROR SUPPRESSED =>";
    text = errors.userErrText;
  } else {
    word = ended ? "TERMINAL KEL ERROR=>" : "KEL ERROR SUPPRESSED =>";
    if (shown > 0) text = Message(context, static_cast<std::uint32_t>(shown));
  }
  std::string record = kLineEnd + word + std::to_string(shown);
  if (!text.empty() && (ended || number != kCompletionFunctionReported))
    record += " (" + text + ")";
  return record + kLineEnd;
}

bool Recorded(std::uint32_t error) {
  return (error >= 1 && error <= kLastErrorNumber) ||
         (error >= kCompletionReported && error <= kCompletionUserReported) ||
         error == kCompletionCancel;
}

// A statement record: the marker of a function entered since the last record, the statement's
// text (a line break alone for `text` null), the time and the outcome.
void WriteRecord(BatchContext& context, const char* text, const std::string& outcome) {
  TraceState& trace = context.trace;
  std::string record;
  if (context.runningFunction != kNoFunction && context.runningFunction != trace.lastFunction) {
    const UdfRecord* function = DefinitionRecord(context, context.runningFunction);
    const char* name = function != nullptr ? function->name : "";
    char line[160];
    if ((trace.flags & kTraceNoTimes) != 0)
      std::snprintf(line, sizeof line, "--- %s (%s) ---",
                    Message(context, kMsgTraceInFunction).c_str(), name);
    else
      std::snprintf(line, sizeof line, "--- (%lu) %s (%s) ---",
                    static_cast<unsigned long>(Elapsed(context)),
                    Message(context, kMsgTraceInFunction).c_str(), name);
    record += kLineEnd + std::string(line) + kLineEnd + DateAndTime() + kLineEnd;
  }
  trace.lastFunction = context.runningFunction;
  record += kLineEnd;
  if (text != nullptr) record += std::string(text) + kLineEnd;
  if ((trace.flags & kTraceNoTimes) == 0) record += "(" + std::to_string(Elapsed(context)) + ") ";
  record += outcome;
  Write(context, record);
}

void FlushPending(BatchContext& context) {
  TraceState& trace = context.trace;
  if (!trace.pending) return;
  trace.pending = false;
  WriteRecord(context, trace.line, trace.outcome);
}

std::string EndRecords(BatchContext& context, bool normalEnd) {
  std::string out;
  if (context.runningFunction != kNoFunction) {
    const UdfRecord* function = DefinitionRecord(context, context.runningFunction);
    out += kLineEnd + std::string("--- ") + Message(context, kMsgTraceLeavingFunction) + " (" +
           (function != nullptr ? function->name : "") + ") ---" + kLineEnd;
    return out;
  }
  if (context.flow.depth != 0)
    out +=
        kLineEnd + std::string("********** Warning: Structure level not 0 **********") + kLineEnd;
  if (normalEnd)
    out +=
        kLineEnd + std::string("--- ") + Message(context, kMsgTraceNormalEnd) + " ---" + kLineEnd;
  out += kLineEnd + std::string(";;;") + Message(context, kMsgTraceEndOfJob) + ";;;" + kLineEnd;
  return out;
}

std::string DumpEnd() {
  return std::string(kLineEnd) + kLineEnd + Stars() + kLineEnd + kLineEnd;
}

void DumpVariables(BatchContext& context) {
  std::string out =
      kLineEnd + std::string("---------- Begin variable table dump ----------") + kLineEnd;
  for (std::uint16_t i = 1; i < context.varCount; ++i) {
    const VariableSlot& slot = context.varSlots[i];
    if (slot.slotName[0] == '\0' || slot.value.flags == 0) continue;
    const Value& value = slot.value;
    std::string shown;
    if ((value.flags & kValueHolding) == 0)
      shown = "<uninitialized>";
    else if ((value.flags & kValueArray) != 0)
      shown = "<array>";
    else if ((value.flags & kValueBufferHandle) != 0)
      shown = std::to_string(value.intValue) + "  <binary buffer>";
    else if ((value.flags & kValueText) != 0)
      shown = std::string(ValueText(context, value)).substr(0, kVariableTextShown);
    else if ((value.flags & kValueObject) != 0)
      shown = "<complex data type>";
    else
      shown = ValueShown(context, value);
    char line[kNameBytes + 16];
    std::snprintf(line, sizeof line, "%-13s  ", slot.slotName);
    out += line + shown + kLineEnd;
  }
  Write(context, out + "----------- End variable table dump -----------" + DumpEnd());
}

void DumpStructures(BatchContext& context) {
  std::string out =
      kLineEnd + std::string("---------- Begin structure stack dump ----------") + kLineEnd;
  if (Hooks().describeCallers != nullptr) {
    std::string callers(8192, '\0');
    std::size_t length = Hooks().describeCallers(context, callers.data(), callers.size());
    callers.resize(length);
    out += callers + kLineEnd;
  }
  Write(context, out + "-------- End structure stack dump --------" + DumpEnd());
}

void DumpFunctionRow(std::string& out, const KelKeywordRow& row) {
  char line[128];
  std::snprintf(
      line, sizeof line, "%4u,  %u,  %08lX%08lX,  %8lX,  %2u,  %s", static_cast<unsigned>(row.id),
      static_cast<unsigned>(row.kind), static_cast<unsigned long>(row.argTypesHigh),
      static_cast<unsigned long>(row.argTypesLow), static_cast<unsigned long>(row.argCounts),
      static_cast<unsigned>(row.nameLength), row.name);
  out += line;
  out += kLineEnd;
}

void DumpFunctions(BatchContext& context) {
  std::string out =
      kLineEnd + std::string("---------- Begin function table dump ----------") + kLineEnd;
  const KelKeywordRow* rows = KeywordRows();
  for (std::uint32_t i = 0; i < kKeywordCount; ++i)
    DumpFunctionRow(out, rows[i]);
  const std::size_t extenders = context.tokenizer.extenderRowCount;
  if (extenders > 0) {
    out += std::string("------------------ Extenders ------------------") + kLineEnd;
    for (std::size_t i = 0; i < extenders && i < kExtenderRowCapacity; ++i)
      DumpFunctionRow(out, ExtenderRows()[i]);
  }
  Write(context, out + "----------- End function table dump -----------" + DumpEnd());
}

void DumpSettingsFile(BatchContext& context) {
  std::string out =
      kLineEnd + std::string("---------- Begin ZENTRIQ.INI dump ----------") + kLineEnd;
  char path[kPathBytes];
  platform::SettingsFilePath(kSettingsFile, path, sizeof path);
  std::size_t size = 0;
  platform::FileReadStatus status{};
  platform::MemoryHandle block = platform::ReadWholeFileStatus(path, &size, &status);
  if (block == nullptr) {
    out += status == platform::FileReadStatus::CannotOpen ? "<File not found>"
           : status == platform::FileReadStatus::NoMemory ? "<Unable to allocate or lock memory>"
                                                          : "<Error reading file>";
  } else {
    if (const auto* bytes = static_cast<const char*>(platform::GlobalLock(block))) {
      out.append(bytes, size);
      platform::GlobalUnlock(block);
    }
    platform::GlobalFree(block);
  }
  Write(context, out + kLineEnd + "----------- End ZENTRIQ.INI dump -----------" + DumpEnd());
}

void DumpInternals(BatchContext& context, const char* what) {
  std::string out =
      kLineEnd + std::string("---------- Begin internal info dump -----------") + kLineEnd;
  std::string selection = what;
  for (char& c : selection)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (selection == "heap") {
    out += "heap bytes: " + std::to_string(context.heapEnd) + kLineEnd;
  } else if (selection == "structures") {
    out += "structure depth: " + std::to_string(context.flow.depth) + kLineEnd;
  } else if (selection == "variables") {
    out += "variables: " + std::to_string(context.varCount) + " of " +
           std::to_string(context.varCapacity) + kLineEnd;
  } else {
    out += "Invalid param: " + std::string(what) + kLineEnd;
  }
  Write(context, out + "----------- End internal info dump ------------" + DumpEnd());
}

bool SetFile(BatchContext& context, const char* name, bool erase) {
  TraceState& trace = context.trace;
  if (name == nullptr || *name == '\0') {
    if (trace.file[0] != '\0') return true;
    SetError(context, kErrTraceFileNotSpecified);
    return false;
  }
  if (std::strcmp(name, kDebuggerName) == 0 ||
      !platform::FullNarrowPath(name, trace.file, sizeof trace.file))
    std::snprintf(trace.file, sizeof trace.file, "%s", name);
  if (erase && std::strcmp(trace.file, kDebuggerName) != 0) platform::EraseNarrowFile(trace.file);
  return true;
}

void WriteText(BatchContext& context, const char* text, bool banner) {
  std::string line = banner ? std::string(80, '$') + text + std::string(80, '$') : text;
  Write(context, kLineEnd + line + kLineEnd);
}

}  // namespace

void TraceKeywordLookup(BatchContext& context) {
  WriteHeader(context, false);
  Write(context, kLineEnd + std::string("------- Begin keyword lookup debug dump -------") +
                     kLineEnd + KeywordIndexReport() +
                     "-------- End keyword lookup debug dump --------" + DumpEnd());
}

namespace {

// Show Var: the variable named by what was typed (up to the first blank or "=" outside square
// brackets) and its text, or that it has none.
std::string ShowVariable(void* data, const std::string& typed) {
  auto& context = *static_cast<BatchContext*>(data);
  std::size_t end = 0;
  for (int depth = 0; end < typed.size(); ++end) {
    const char c = typed[end];
    if (c == '[') ++depth;
    if (c == ']' && depth > 0) --depth;
    if (depth == 0 && (c == ' ' || c == '=')) break;
  }
  const std::string name = typed.substr(0, end);
  char text[kVariableTextShown + 1];
  const std::uint32_t kept = context.errors.errNum;
  const bool known = !name.empty() && VariableText(context, name.c_str(), text, sizeof text);
  context.errors.errNum = kept;
  if (!known) return name + " " + Message(context, kMsgTraceUnknownVariable);
  return name + " = \"" + text + "\"";
}

// The single-step box before `next`; false when the user cancelled the script.
bool Step(BatchContext& context, const char* next) {
  TraceState& trace = context.trace;
  const std::string script = context.scriptPath;
  const std::string previous = trace.stepPending ? std::string(trace.stepOutcome) : std::string();
  trace.stepPending = false;
  const std::string label = Message(context, kMsgStepNextLabel);
  const std::string buttons[4] = {Message(context, kMsgStepNext), Message(context, kMsgStepRun),
                                  Message(context, kMsgStepCancel),
                                  Message(context, kMsgStepShowVariable)};
  const platform::StepBoxTexts texts{
      script.c_str(),
      previous.c_str(),
      label.c_str(),
      next,
      {buttons[0].c_str(), buttons[1].c_str(), buttons[2].c_str(), buttons[3].c_str()}};
  switch (platform::ShowStepBox(context.hostWindow, texts, ShowVariable, &context)) {
    case platform::StepChoice::Next:
      return true;
    case platform::StepChoice::Run:
      trace.stepMode = 0;
      RefreshStatementHooks(context);
      return true;
    case platform::StepChoice::Cancel:
      return false;
  }
  return true;
}

}  // namespace

bool TraceBeforeStatement(BatchContext& context, const char* statement) {
  TraceState& trace = context.trace;
  if (trace.mode == 1) {
    WriteHeader(context, false);
    FlushPending(context);
  }
  std::snprintf(trace.line, sizeof trace.line, "%s", statement);
  return trace.stepMode <= 0 || Step(context, statement);
}

void TraceAfterStatement(BatchContext& context, const EvalValue& result, std::uint32_t error,
                         bool ended) {
  TraceState& trace = context.trace;
  std::string outcome = Outcome(context, result) + kLineEnd;
  if (Recorded(error)) outcome += ErrorRecord(context, error, ended);
  std::snprintf(trace.outcome, sizeof trace.outcome, "%s", outcome.c_str());
  trace.pending = trace.mode != 0;
  // The single-step box shows the same words before the next statement.
  if (trace.stepMode > 0) {
    std::snprintf(trace.stepOutcome, sizeof trace.stepOutcome, "%s", outcome.c_str());
    trace.stepPending = true;
  }
}

void TraceRunEnd(BatchContext& context, int outcome, std::uint32_t error) {
  TraceState& trace = context.trace;
  // The box is shown once more when the main script has ended.
  if (trace.stepMode > 0) {
    const std::string end = ";;;" + Message(context, kMsgTraceEndOfJob) + ";;;";
    Step(context, end.c_str());
    trace.stepPending = false;
  }
  if (trace.mode == 0) return;
  const bool terminal = Recorded(error) && error != kCompletionFunctionReported;
  const bool normalEnd = error == 0 || error == kCompletionNormalEnd;
  (void)outcome;
  const bool errorDump = trace.mode == 2 || (trace.flags & kTraceErrorDump) != 0;
  if (!terminal || !errorDump) {
    if (trace.mode != 1) {
      trace.pending = false;
      return;
    }
    WriteHeader(context, false);
    FlushPending(context);
    Write(context, EndRecords(context, normalEnd));
    if (terminal) {
      DumpStructures(context);
      DumpSettingsFile(context);
      if (error == kErrUndefinedVariable) DumpFunctions(context);
    }
    return;
  }
  WriteHeader(context, true);
  FlushPending(context);
  Write(context, EndRecords(context, normalEnd));
  DumpVariables(context);
}

void TraceNote(BatchContext& context, const char* text) {
  if (context.trace.mode == 1) Write(context, kLineEnd + std::string(text) + kLineEnd);
}

namespace {

std::int32_t ServeTraceRequest(BatchContext& context, std::int32_t request, const char* text,
                               const char* second) {
  TraceState& trace = context.trace;
  const std::int32_t previous = trace.mode != 0 ? 1 : 0;
  if (text == nullptr) text = "";
  if (second == nullptr) second = "";
  switch (request) {
    case kReportState:
      break;
    case kTraceOff:
      trace.mode = 0;
      break;
    case kTraceOn:
    case kTraceOnAfresh:
      if (!SetFile(context, text, request == kTraceOnAfresh)) return -1;
      trace.mode = 1;
      trace.startTick = 0;
      break;
    case kTraceErrorsOnly:
      if (!SetFile(context, text, false)) return -1;
      trace.mode = 2;
      break;
    case kWriteText:
    case kWriteBanner:
      if (trace.mode == 1) WriteText(context, text, request == kWriteBanner);
      break;
    case kResume:
      if (trace.mode == 0) trace.mode = trace.outerMode;
      break;
    case kSetFile:
    case kSetFileAfresh:
      if (*text == '\0') {
        SetError(context, kErrTraceFileNotSpecified);
        return -1;
      }
      SetFile(context, text, request == kSetFileAfresh);
      break;
    case kFlagErrorDump:
    case kFlagKeywordLookups:
    case kFlagNoTimes: {
      const std::int32_t flag = request == kFlagErrorDump        ? kTraceErrorDump
                                : request == kFlagKeywordLookups ? kTraceKeywordLookups
                                                                 : kTraceNoTimes;
      if (ParseInteger(text) != 0)
        trace.flags |= flag;
      else
        trace.flags &= ~flag;
      break;
    }
    case kReset:
      trace.mode = 0;
      trace.flags = 0;
      trace.startTick = 0;
      trace.file[0] = '\0';
      if (*text != '\0') SetFile(context, text, false);
      break;
    case kAlwaysWriteText:
    case kAlwaysWriteBanner:
      if (trace.file[0] == '\0') {
        SetError(context, kErrTraceFileNotSpecified);
        return -1;
      }
      WriteText(context, text, request == kAlwaysWriteBanner);
      break;
    case kDumpFunctions:
      DumpFunctions(context);
      break;
    case kDumpVariables:
      DumpVariables(context);
      break;
    case kDumpStructures:
      DumpStructures(context);
      break;
    case kDumpEnvironment:
      Write(context, kLineEnd + EnvironmentListing(context));
      break;
    case kDumpInternals:
      (void)second;
      DumpInternals(context, text);
      break;
    default:
      SetError(context, kErrInvalidRequest);
      return -1;
  }
  return previous;
}

}  // namespace

std::int32_t DebugTraceRequest(BatchContext& context, std::int32_t request, const char* text,
                               const char* second) {
  const std::int32_t answer = ServeTraceRequest(context, request, text, second);
  RefreshStatementHooks(context);
  return answer;
}

void TracedCall::Begin() {
  WriteHeader(context_, false);
  FlushPending(context_);
  WriteRecord(context_, context_.trace.line, Boundary(true));
}

void TracedCall::End() {
  // Tracing may have been turned off inside.
  if (context_.trace.mode == 1) WriteRecord(context_, nullptr, Boundary(false));
}

std::string TracedCall::Boundary(bool entering) const {
  const std::uint32_t text =
      script_ ? (entering ? kMsgTraceCallingScript : kMsgTraceReturningScript)
              : (entering ? kMsgTraceCallingFunction : kMsgTraceReturningFunction);
  return Message(context_, text) + " (" + std::string(name_ != nullptr ? name_ : "") + ")" +
         kLineEnd;
}

void NestedTrace::KeepLine() {
  line_ = std::make_unique<char[]>(sizeof context_.trace.line);
  std::memcpy(line_.get(), context_.trace.line, sizeof context_.trace.line);
}

void NestedTrace::GiveLineBack() {
  std::memcpy(context_.trace.line, line_.get(), sizeof context_.trace.line);
}

}  // namespace kel
