// IntControl: the numbered requests through which a script reads and changes the settings of its
// context. Each of the four parameters arrives as text and is also read as a number; the result
// is a text, "1" unless the request gives another.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "builtins/extender_router.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_functions.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "errors/report.h"
#include "lang/eval_value.h"
#include "lang/handler_calls.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "lang/value.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr int kParameters = 4;
// A parameter's number is read from at most this many of its characters.
constexpr std::size_t kNumberCharacters = 19;
constexpr std::size_t kResultBytes = 2051;
// IntControl 90 looks for the largest block between these sizes.
constexpr std::uint32_t kLargestProbe = 65535;
constexpr std::uint32_t kFirstProbe = 32768;

struct Request {
  std::int32_t number;
  const char* text[kParameters];
  std::int64_t value[kParameters];
  // The previous value of a setting, or any other answer; "1" unless a request sets it.
  char result[kResultBytes];
};

std::int64_t ParameterNumber(const char* text) {
  char digits[kNumberCharacters + 1];
  std::snprintf(digits, sizeof digits, "%s", text);
  return std::strtoll(digits, nullptr, 10);
}

void Answer(Request& request, std::int64_t number) {
  std::snprintf(request.result, sizeof request.result, "%lld", static_cast<long long>(number));
}

// An on-off setting: the previous value as one digit, p1 != 0 the new one.
void Switch(Request& request, std::int32_t& setting) {
  Answer(request, setting != 0 ? 1 : 0);
  setting = request.value[0] != 0 ? 1 : 0;
}

// A numeric setting that p1 sets when it lies in [low, high]: the previous value.
void Setting(Request& request, std::int32_t& setting, std::int64_t low, std::int64_t high) {
  Answer(request, setting);
  if (request.value[0] >= low && request.value[0] <= high)
    setting = static_cast<std::int32_t>(request.value[0]);
}

void ShareMode(BatchContext& context, Request& request, std::uint32_t& setting) {
  Answer(request, setting);
  if (request.value[0] > 3) return SetError(context, kErrShareMode);
  if (request.value[0] >= 0) setting = static_cast<std::uint32_t>(request.value[0]);
}

// The largest block the string heap can give now, found by halving the step from 32768.
std::uint32_t LargestHeapBlock(BatchContext& context, char fill) {
  std::uint32_t low = 0, high = kLargestProbe + 1, probe = kFirstProbe;
  while (low + 1 < high) {
    std::uint32_t offset = VMalloc(context, probe);
    if (offset != 0) {
      std::memset(context.heapBase + offset, fill, probe);
      VFree(context, offset);
      low = probe;
    } else {
      high = probe;
    }
    probe = low + (high - low) / 2;
  }
  context.errors.errNum = 0;
  return low;
}

// A request without an action of its own goes to the host when its table has a row named
// "intcontrol": the request number as text, then the four parameters.
void PassToHost(BatchContext& context, Request& request, EvalValue* arguments, EvalValue& result) {
  int row = HostRowNamed(context, "intcontrol");
  if (row < 0) {
    request.result[0] = '\0';
    return SetError(context, kErrIntControlOpcode);
  }
  EvalValue passed[kParameters + 1];
  ResetEval(passed[0]);
  char number[16];
  std::snprintf(number, sizeof number, "%d", request.number);
  passed[0].value.flags = kValueText;
  passed[0].value.textRef = HeapCopyText(context, number, std::strlen(number));
  if (passed[0].value.textRef == 0) return SetError(context, kErrOutOfStringMemory);
  for (int i = 0; i < kParameters; ++i)
    passed[i + 1] = arguments[i + 1];
  CallHostEntry(context, row, passed, kParameters + 1, result);
  ReleaseEval(context, passed[0]);
}

// The requests whose action this build has. False for a request number it does not know.
bool RunRequest(BatchContext& context, Request& request, EvalValue* arguments, EvalValue& result) {
  FileState& files = context.files;
  const std::int64_t p1 = request.value[0];
  switch (request.number) {
    case 5:
      Switch(request, files.showHiddenFiles);
      return true;
    case 8: {
      // The host is told first; the run then ends without a report.
      EvalValue empty[kParameters];
      for (EvalValue& value : empty)
        ResetEval(value);
      CallHostEntry(context, 0, empty, kParameters, result);
      context.errors.errNum = kCompletionQuietEnd;
      return true;
    }
    case 12:
      Answer(request, context.breakFlags);
      context.breakFlags = static_cast<std::uint32_t>(p1);
      return true;
    case 29: {
      const char* delimiter = request.text[0];
      if (std::strlen(delimiter) != 1) {
        SetError(context, kErrFileListDelimiter);
        return true;
      }
      request.result[0] = static_cast<char>(files.fileListDelimiter);
      request.result[1] = '\0';
      files.fileListDelimiter = static_cast<unsigned char>(delimiter[0]);
      return true;
    }
    case 34:
      if (request.value[1] == 1 || p1 == -1) {
        // The platform's texts of system errors are not kept by this build.
        request.result[0] = '\0';
      } else {
        LoadMessage(context, static_cast<std::uint32_t>(p1), request.result, sizeof request.result);
      }
      return true;
    case 38:
      Answer(request, SetQuietMode(context, static_cast<std::int32_t>(p1), request.text[1]));
      return true;
    case 39:
      ShareMode(context, request, files.readShareMode);
      return true;
    case 40:
      ShareMode(context, request, files.writeShareMode);
      return true;
    case 41:
      Answer(request, context.fourDigitYear);
      if (p1 == 0 || p1 == 1) context.fourDigitYear = static_cast<std::int32_t>(p1);
      return true;
    case 42: {
      const BufferSlot* buffer = BufferOfHandle(context.buffers, static_cast<std::int32_t>(p1));
      Answer(request, buffer != nullptr
                          ? static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(buffer->data))
                          : 0);
      return true;
    }
    case 50:
      Answer(request, SetHelpPage(context, static_cast<std::int32_t>(p1), request.text[1]));
      return true;
    case 53:
      Setting(request, files.lineTerminator, 0, 4);
      return true;
    case 65:
      Answer(request, files.readLineBuffer);
      if (p1 >= 0 || p1 == -2) files.readLineBuffer = static_cast<std::int32_t>(p1);
      return true;
    case 72:
    case 73:
      Answer(request, SetHandler(context, request.number == 72, static_cast<std::int32_t>(p1),
                                 static_cast<std::int32_t>(request.value[1]), request.text[2]));
      return true;
    case 79:
      ErrorEvent(context, static_cast<std::int32_t>(p1),
                 static_cast<std::int32_t>(request.value[1]), request.text[2]);
      return true;
    case 81:
    case 82: {
      unsigned seed = static_cast<unsigned>(p1);
      if (p1 < 0) {
        do {
          const auto ticks = static_cast<unsigned>(platform::TickCount());
          seed = static_cast<unsigned>(std::time(nullptr)) % (ticks == 0 ? 1 : ticks);
        } while (seed == 1);
      }
      std::srand(seed);
      return true;
    }
    case 83:
      SetError(context, kErrIntControlObsolete);
      return true;
    case 87:
      Setting(request, context.flow.executeMode, 0, 2);
      return true;
    case 90:
      Answer(request, LargestHeapBlock(context, request.text[0][0]));
      return true;
    case 91:
      Setting(request, files.wildcardFilterMode, 0, 2);
      return true;
    case 94: {
      bool open = false;
      for (const OpenFileSlot& slot : files.files)
        open = open || (slot.handle != 0 && slot.handle == p1);
      Answer(request, open ? p1 : 0);
      return true;
    }
    // The window functions' settings: the finder's retries, and the pauses after a posted
    // window command (p2 = 1) or after a successful wait for a window.
    case 46:
      Setting(request, context.windows.retries, 0, INT32_MAX);
      return true;
    case 70:
      Setting(request,
              request.value[1] == 1 ? context.windows.actionDelayMs : context.windows.waitDelayMs,
              0, INT32_MAX);
      return true;
    default:
      return false;
  }
}

}  // namespace

KEL_FAMILY_ROUTINE(IntControlFunction) {
  (void)code;
  (void)count;
  (void)unicode;
  Request request{};
  request.number = arguments[0].value.intValue;
  for (int i = 0; i < kParameters; ++i) {
    request.text[i] = ValueText(context, arguments[i + 1].value);
    request.value[i] = ParameterNumber(request.text[i]);
  }
  std::snprintf(request.result, sizeof request.result, "1");
  if (!RunRequest(context, request, arguments, result)) {
    PassToHost(context, request, arguments, result);
    return;
  }
  if (HasError(context)) return;
  std::uint32_t offset = HeapCopyText(context, request.result, std::strlen(request.result));
  if (offset == 0) return SetError(context, kErrOutOfStringMemory);
  ReleaseEval(context, result);
  result.value.flags = kValueText;
  result.value.textRef = offset;
}

}  // namespace kel
