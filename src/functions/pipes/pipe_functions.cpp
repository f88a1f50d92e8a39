// The named pipe functions: a server end that waits for a client, reads its requests and
// writes answers, and a client end that sends a message and waits for the answer. Most
// failures are not errors: the function answers "*ERROR*" or "*TIMER*", and the system's error
// number is kept for PipeInfo. Every wait lets the host's messages through and ends, answering
// nothing, when the script is being stopped.
#include <cstring>
#include <string>

#include "builtins/arguments.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/pipes.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr char kErrorMarker[] = "*ERROR*";
constexpr char kTimerMarker[] = "*TIMER*";
constexpr std::int32_t kLongestTimeoutSeconds = 86400;
// The longest single wait between two turns of the message pump.
constexpr std::uint32_t kSliceMs = 100;
// The pause between two looks at a pipe that is polled.
constexpr std::uint32_t kPollPauseMs = 10;
// How long a pipe that is short of buffers rests before the read is tried again.
constexpr std::uint32_t kRetryPauseMs = 250;
// How often PipeServerClose looks whether the client has gone.
constexpr std::uint32_t kClientGoneLookMs = 250;

// A time-out argument in seconds: -1 waits without limit, below -1 is 0, above a day a day.
struct Timeout {
  bool endless;
  std::uint32_t milliseconds;
};

Timeout TimeoutOf(std::int32_t seconds) {
  if (seconds == -1) return {true, 0};
  if (seconds < -1) seconds = 0;
  if (seconds > kLongestTimeoutSeconds) seconds = kLongestTimeoutSeconds;
  return {false, static_cast<std::uint32_t>(seconds) * 1000u};
}

enum class WaitEnd { Done, Failed, FailedInMessage, TimedOut, Stopped };

// Runs `step` slice by slice until it is done or failed, the time runs out or the script is
// being stopped; the host's messages go through after every slice that is not the last.
template <typename Step>
WaitEnd WaitForStep(BatchContext& context, const Timeout& timeout, Step&& step) {
  std::uint32_t start = platform::TickCount();
  for (;;) {
    std::uint32_t elapsed = platform::TickCount() - start;  // unsigned: survives the wrap
    std::uint32_t slice = kSliceMs;
    if (!timeout.endless) {
      std::uint32_t left = elapsed < timeout.milliseconds ? timeout.milliseconds - elapsed : 0;
      if (left < slice) slice = left;
    }
    switch (step(slice)) {
      case platform::PipeStep::Done:
        return WaitEnd::Done;
      case platform::PipeStep::Failed:
        return WaitEnd::Failed;
      case platform::PipeStep::FailedInMessage:
        return WaitEnd::FailedInMessage;
      case platform::PipeStep::Waiting:
        break;
    }
    WaitPump(context);
    if (context.stopRequested) return WaitEnd::Stopped;
    if (!timeout.endless && platform::TickCount() - start >= timeout.milliseconds)
      return WaitEnd::TimedOut;
  }
}

// The errors that mean the other end is gone or the handle is none.
bool IsBrokenPipe(std::uint32_t error) {
  return error == platform::kErrorBrokenPipe || error == platform::kErrorPipeListening ||
         error == platform::kErrorPipeNotConnected || error == platform::kErrorInvalidHandle;
}

// Keeps a failed step's error for PipeInfo and in the settings file's error record.
void Record(BatchContext& context, std::uint32_t error, const char* step) {
  context.launch.lastPipeError = error;
  RecordApiError(context, error, step, false);
}

void Answer(BatchContext& context, EvalValue& result, const std::string& text) {
  SetAnsiResult(context, result, text.data(), text.size());
}

void Answer(BatchContext& context, EvalValue& result, const char* text) {
  SetAnsiResult(context, result, text, std::strlen(text));
}

platform::PipeHandle HandleOf(const EvalValue& argument) {
  return static_cast<platform::PipeHandle>(argument.value.intValue);
}

std::string MessageOf(BatchContext& context, const EvalValue& argument) {
  return ValueText(context, argument.value);
}

void ServerCreate(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  std::u16string name;
  if (!NameArgument(context, arguments[0], &name)) return;
  Timeout timeout = TimeoutOf(arguments[1].value.intValue);
  platform::PipeHandle pipe = 0;
  if (!platform::CreatePipeServer(name, &pipe)) {
    Record(context, platform::LastSystemError(), "PipeServerCreate: CreateNamedPipe");
    return Answer(context, result, kErrorMarker);
  }
  WaitEnd end = WaitForStep(context, timeout, [&](std::uint32_t slice) {
    return platform::AwaitPipeClient(pipe, slice);
  });
  if (end == WaitEnd::Done) return SetEvalInteger(context, result, static_cast<std::int32_t>(pipe));
  std::uint32_t error =
      end == WaitEnd::TimedOut ? platform::kErrorTimeout : platform::LastSystemError();
  platform::ClosePipeServer(pipe);
  if (end == WaitEnd::Stopped) return Answer(context, result, "");
  Record(context, error, "PipeServerCreate: ConnectNamedPipe");
  Answer(context, result, end == WaitEnd::TimedOut ? kTimerMarker : kErrorMarker);
}

void ServerRead(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  platform::PipeHandle pipe = HandleOf(arguments[0]);
  Timeout timeout = TimeoutOf(arguments[1].value.intValue);
  std::string message;
  WaitEnd end = WaitForStep(context, timeout, [&](std::uint32_t slice) {
    platform::PipeStep step = platform::ReadPipeMessage(pipe, slice, &message);
    std::uint32_t error = platform::LastSystemError();
    if (step == platform::PipeStep::Failed &&
        (error == platform::kErrorInvalidUserBuffer || error == platform::kErrorNotEnoughMemory)) {
      platform::SleepMilliseconds(kRetryPauseMs);
      return platform::PipeStep::Waiting;
    }
    return step;
  });
  if (end == WaitEnd::Done) return Answer(context, result, message);
  std::uint32_t error =
      end == WaitEnd::TimedOut ? platform::kErrorTimeout : platform::LastSystemError();
  platform::CancelPipeOperation(pipe);
  if (end == WaitEnd::Stopped) return Answer(context, result, "");
  if (end == WaitEnd::FailedInMessage) {
    Record(context, error, "PipeServerRead: ReadFile (2)");
    return Answer(context, result, kErrorMarker);
  }
  Record(context, error, "PipeServerRead: ReadFile (1)");
  Answer(context, result, IsBrokenPipe(error) ? kErrorMarker : kTimerMarker);
}

void ServerWrite(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  platform::PipeHandle pipe = HandleOf(arguments[0]);
  std::string message = MessageOf(context, arguments[1]);
  WaitEnd end = WaitForStep(context, Timeout{true, 0}, [&](std::uint32_t slice) {
    return platform::WritePipeMessage(pipe, message, slice);
  });
  if (end == WaitEnd::Done) return SetEvalInteger(context, result, 1);
  std::uint32_t error = platform::LastSystemError();
  platform::CancelPipeOperation(pipe);
  if (end == WaitEnd::Stopped) return Answer(context, result, "");
  Record(context, error, "PipeServerWrite: WriteFile");
  Answer(context, result, kErrorMarker);
}

// Waits for the client to let go of its end, then closes the server end.
void ServerClose(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  platform::PipeHandle pipe = HandleOf(arguments[0]);
  Timeout timeout = TimeoutOf(arguments[1].value.intValue);
  WaitEnd end = WaitForStep(context, timeout, [&](std::uint32_t) {
    platform::PipeStep step = platform::PipeClientGone(pipe);
    if (step == platform::PipeStep::Waiting) TimedWait(context, kClientGoneLookMs);
    return step == platform::PipeStep::Waiting ? step : platform::PipeStep::Done;
  });
  if (end == WaitEnd::Stopped) return Answer(context, result, "");
  platform::ClosePipeServer(pipe);
  if (end == WaitEnd::TimedOut) return Answer(context, result, kTimerMarker);
  SetEvalInteger(context, result, 1);
}

void ClientOpen(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  std::u16string name;
  if (!NameArgument(context, arguments[0], &name)) return;
  Timeout timeout = TimeoutOf(arguments[1].value.intValue);
  platform::PipeHandle pipe = 0;
  WaitEnd end = WaitForStep(context, timeout, [&](std::uint32_t slice) {
    if (platform::OpenPipeClient(name, &pipe)) return platform::PipeStep::Done;
    platform::SleepMilliseconds(slice < kPollPauseMs ? slice : kPollPauseMs);
    return platform::PipeStep::Waiting;
  });
  if (end == WaitEnd::Done) return SetEvalInteger(context, result, static_cast<std::int32_t>(pipe));
  if (end == WaitEnd::Stopped) return Answer(context, result, "");
  Record(context, platform::LastSystemError(), "PipeClientOpen: CreateFile");
  Answer(context, result, kTimerMarker);
}

void ClientSendReceive(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  platform::PipeHandle pipe = HandleOf(arguments[0]);
  Timeout timeout = TimeoutOf(arguments[2].value.intValue);
  if (!platform::SendPipeMessage(pipe, MessageOf(context, arguments[1]))) {
    Record(context, platform::LastSystemError(), "PipeClientSendRecvData: WriteFile");
    return Answer(context, result, kErrorMarker);
  }
  std::uint32_t bytes = 0;
  WaitEnd end = WaitForStep(context, timeout, [&](std::uint32_t slice) {
    if (!platform::PipeBytesWaiting(pipe, &bytes)) return platform::PipeStep::Failed;
    if (bytes > 0) return platform::PipeStep::Done;
    platform::SleepMilliseconds(slice < kPollPauseMs ? slice : kPollPauseMs);
    return platform::PipeStep::Waiting;
  });
  if (end == WaitEnd::Stopped) return Answer(context, result, "");
  if (end == WaitEnd::TimedOut) {
    // No answer in time is no failure of the pipe.
    context.launch.lastPipeError = 0;
    return Answer(context, result, kTimerMarker);
  }
  if (end != WaitEnd::Done) {
    std::uint32_t error = platform::LastSystemError();
    Record(context, error, "PipeClientSendRecvData: PeekNamedPipe");
    return Answer(context, result, IsBrokenPipe(error) ? kErrorMarker : kTimerMarker);
  }
  std::string answer;
  if (!platform::ReceivePipeMessage(pipe, bytes, &answer)) {
    Record(context, platform::LastSystemError(), "PipeClientSendRecvData: ReadFile");
    return Answer(context, result, kErrorMarker);
  }
  Answer(context, result, answer);
}

void Info(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  if (arguments[0].value.intValue != 0) return SetError(context, kErrInvalidRequest);
  SetEvalInteger(context, result, static_cast<std::int32_t>(context.launch.lastPipeError));
}

}  // namespace

KEL_FAMILY_ROUTINE(PipeFunction) {
  (void)count;
  (void)unicode;
  switch (code) {
    case kKeywordPipeServerCreate:
      return ServerCreate(context, arguments, result);
    case kKeywordPipeServerRead:
      return ServerRead(context, arguments, result);
    case kKeywordPipeServerWrite:
      return ServerWrite(context, arguments, result);
    case kKeywordPipeServerClose:
      return ServerClose(context, arguments, result);
    case kKeywordPipeClientOpen:
      return ClientOpen(context, arguments, result);
    case kKeywordPipeClientSendRecvData:
      return ClientSendReceive(context, arguments, result);
    case kKeywordPipeClientClose:
      platform::ClosePipeClient(HandleOf(arguments[0]));
      return SetEvalInteger(context, result, 1);
    case kKeywordPipeInfo:
      return Info(context, arguments, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
