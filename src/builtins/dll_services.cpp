// DLLServices: the engine's general service entry for hosts and extenders.
#include <cstdio>
#include <cstring>

#include "builtins/extender_router.h"
#include "core/batch_context.h"
#include "lang/debug_trace.h"
#include "core/exports.h"
#include "errors/entry_boundary.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/report.h"
#include "lang/script_parameters.h"
#include "lang/string_heap.h"
#include "lang/variables.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr std::int32_t kLastRequest = 53;
constexpr std::int32_t kServiceKeptPlace = KEL_SERVICE_KEPT_PLACE;
constexpr std::int32_t kServiceTrace = KEL_SERVICE_TRACE;
constexpr std::int32_t kServiceNotifyMask = KEL_SERVICE_NOTIFY_MASK;

const char* TextArgument(std::intptr_t p) {
  return reinterpret_cast<const char*>(p);
}

std::intptr_t CopyToBuffer(const char* text, std::intptr_t buffer, std::intptr_t size) {
  if (buffer == 0 || size <= 0) return 0;
  std::snprintf(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(size), "%s", text);
  return static_cast<std::intptr_t>(std::strlen(text) + 1);
}

// Request 45: any variable as text, with a word for what has none.
std::intptr_t VariableAsText(BatchContext& context, const char* name, std::intptr_t buffer,
                             std::intptr_t size) {
  std::uint16_t slot = FindSlot(context, name ? name : "");
  char number[kNumberTextBytes];
  const char* text = "Error - unknown type";
  if (slot == kNoSlot || (context.varSlots[slot].value.flags & kValueHolding) == 0) {
    text = "---";
  } else {
    Value& value = context.varSlots[slot].value;
    if ((value.flags & kValueObject) != 0) {
      text = "<complex data type>";
    } else if ((value.flags & kValueText) != 0) {
      text = ValueText(context, value);
    } else if ((value.flags & kValueWideText) != 0) {
      char converted[kLineBufferBytes];
      if (VariableText(context, name, converted, sizeof converted))
        return CopyToBuffer(converted, buffer, size);
    } else if ((value.flags & kValueInteger) != 0) {
      FormatInteger(value.intValue, number, 10);
      text = number;
    } else if ((value.flags & kValueFloat) != 0 && FormatFloat(context, value.floatValue, number)) {
      text = number;
    }
  }
  return CopyToBuffer(text, buffer, size);
}

// Request 28: bytes into a buffer, as many as fit; its end of data becomes their number. 1 when
// all fitted, 0 when they were cut, -1 for a handle that names no buffer.
std::intptr_t CopyIntoBuffer(BatchContext& context, std::intptr_t data, std::intptr_t length,
                             std::intptr_t handle) {
  BufferSlot* buffer = BufferOfHandle(context.buffers, static_cast<std::int32_t>(handle));
  if (buffer == nullptr) return -1;
  if (data == 0 || length < 0) length = 0;
  std::intptr_t copied = length < buffer->size ? length : buffer->size;
  if (copied > 0) std::memcpy(buffer->data, reinterpret_cast<const void*>(data), copied);
  buffer->eod = static_cast<std::int32_t>(copied);
  return copied == length ? 1 : 0;
}

// Requests 43 and 44: the buffer whose handle the variable `name` holds, or the buffer `handle`
// when no name is given; null when neither names one.
BufferSlot* ServicedBuffer(BatchContext& context, std::intptr_t name, std::intptr_t handle) {
  auto number = static_cast<std::int32_t>(handle);
  const char* variable = TextArgument(name);
  if (variable != nullptr && *variable != '\0') {
    std::uint16_t slot = FindSlot(context, variable);
    if (slot == kNoSlot || (context.varSlots[slot].value.flags & kValueInteger) == 0)
      return nullptr;
    number = context.varSlots[slot].value.intValue;
  }
  return BufferOfHandle(context.buffers, number);
}

// Request 43: the buffer's data address (p3 = 1), size (2) or end of data (3).
std::intptr_t BufferFact(BatchContext& context, std::intptr_t name, std::intptr_t handle,
                         std::intptr_t which) {
  const BufferSlot* buffer = ServicedBuffer(context, name, handle);
  if (buffer == nullptr) return 0;
  switch (which) {
    case 1:
      return reinterpret_cast<std::intptr_t>(buffer->data);
    case 2:
      return buffer->size;
    case 3:
      return buffer->eod;
    default:
      return 0;
  }
}

// Request 44: sets the end of data and answers it. With p3 = -1 the caller vouches for the
// value and no error is raised; the end of data still never leaves the buffer, which every
// reader of the buffer relies on.
std::intptr_t SetBufferEnd(BatchContext& context, std::intptr_t name, std::intptr_t handle,
                           std::intptr_t unchecked, std::intptr_t eod) {
  BufferSlot* buffer = ServicedBuffer(context, name, handle);
  if (buffer == nullptr) return 0;
  if (unchecked != -1) {
    if (eod < 0) {
      SetError(context, kErrBufferInvalidOffset);
      return 0;
    }
    if (eod > buffer->size) {
      SetError(context, kErrEodBeyondSize);
      return 0;
    }
  }
  buffer->eod = static_cast<std::int32_t>(eod < 0 ? 0 : eod > buffer->size ? buffer->size : eod);
  return buffer->eod;
}

std::intptr_t Serve(BatchContext& context, std::int32_t request, std::intptr_t p1, std::intptr_t p2,
                    std::intptr_t p3, std::intptr_t p4) {
  switch (request) {
    case 0:
      std::snprintf(context.errors.hostVersion, sizeof context.errors.hostVersion, "%s",
                    p1 ? TextArgument(p1) : "");
      std::snprintf(context.hostText2, sizeof context.hostText2, "%s", p2 ? TextArgument(p2) : "");
      return 1;
    case 2:
      if (p1 == 0 || p2 == 0 || p3 <= 0) return 0;
      return VariableText(context, TextArgument(p1), reinterpret_cast<char*>(p2),
                          static_cast<std::size_t>(p3))
                 ? 1
                 : 0;
    case 4:
      return static_cast<std::intptr_t>(context.runError);
    case 5:
      return context.runResult;
    case 6:
      return static_cast<std::intptr_t>(context.lineStartOffset);
    case 7:
      context.stopRequested = 1;
      return 1;
    case 11:
      if (p1 != 0) return SplitParameters(context, TextArgument(p1));
      return SplitParameters(context, reinterpret_cast<const char16_t*>(p2));
    case 13:
      SetError(context, static_cast<std::uint32_t>(p3));
      return 1;
    case 23:
      return SetQuietMode(context, static_cast<std::int32_t>(p3), p1 ? TextArgument(p1) : "");
    case 25:
      if (p1 == 0 || p2 == 0 || p3 <= 0) return 0;
      return CopyKeptReport(context, reinterpret_cast<char*>(p1), reinterpret_cast<char*>(p2),
                            nullptr, static_cast<std::size_t>(p3));
    case kServiceKeptPlace:
      // This engine's own request, beside 25 whose p4 hosts may leave unset: where the kept
      // report's statement stands.
      if (p1 == 0 || p3 <= 0) return 0;
      return CopyKeptReport(context, nullptr, nullptr, reinterpret_cast<char*>(p1),
                            static_cast<std::size_t>(p3));
    case kServiceTrace: {
      const char* file = TextArgument(p1);
      const bool on = file != nullptr && *file != '\0';
      return DebugTraceRequest(context, on ? 1 : 0, file, nullptr) >= 0 ? 1 : 0;
    }
    case kServiceNotifyMask: {
      const std::uint32_t previous = context.notifyMask;
      if (p3 >= 0) context.notifyMask = static_cast<std::uint32_t>(p3);
      RefreshStatementHooks(context);
      return static_cast<std::intptr_t>(previous);
    }
    case 29:
      if (p3 == 1) return context.varCount;
      if (p3 == 2 && p4 >= 0 && p4 < context.varCount)
        return reinterpret_cast<std::intptr_t>(&context.varSlots[p4]);
      return 0;
    case 31:
      return 1;
    case 37:
      return context.stopRequested;
    case 40:
      std::snprintf(context.scriptPath, sizeof context.scriptPath, "%.259s",
                    p1 ? TextArgument(p1) : "");
      context.scriptPathFrom = nullptr;
      return 1;
    case 41:
      return p4 == 0 ? 0 : reinterpret_cast<std::intptr_t>(context.heapBase + p4);
    case 42: {
      const char* text = p1 ? TextArgument(p1) : "";
      return HeapCopyText(context, text, std::strlen(text));
    }
    case 45:
      return VariableAsText(context, TextArgument(p1), p4, p3);
    case 46: {
      const char* name = p1 ? TextArgument(p1) : "";
      std::uint16_t slot = FindSlot(context, name);
      if (slot != kNoSlot && (context.varSlots[slot].value.flags & kValueArray) != 0) {
        platform::MessageBoxText(context.hostWindow, "Cannot reassign an array type",
                                 "DllServices Error");
        return 0;
      }
      if (slot != kNoSlot && (context.varSlots[slot].value.flags & kValueObject) != 0) {
        platform::MessageBoxText(context.hostWindow, "Cannot reassign a variant type",
                                 "DllServices Error");
        return 0;
      }
      const char* text = p4 ? TextArgument(p4) : "";
      SetVariable(context, name, text, 0, kVariableText);
      return static_cast<std::intptr_t>(std::strlen(text) + 1);
    }
    case 47:
      AppendMoreErrorInfo(context, p1 ? TextArgument(p1) : "");
      return 1;
    case 48:
      return reinterpret_cast<std::intptr_t>(context.hostWindow);
    // The binary buffer requests.
    case 28:
      return CopyIntoBuffer(context, p1, p2, p4);
    case 43:
      return BufferFact(context, p1, p2, p3);
    case 44:
      return SetBufferEnd(context, p1, p2, p3, p4);
    case 33:
      return UncompressBuffer(reinterpret_cast<void*>(p1), static_cast<std::int32_t>(p3),
                              static_cast<std::int32_t>(p4));
    default:
      // The other requests are settings of families that are not part of this build yet.
      return 0;
  }
}

}  // namespace
}  // namespace kel

using namespace kel;

extern "C" std::intptr_t KEL_CDECL DLLServices(void* contextHandle, std::int32_t request,
                                               std::intptr_t p1, std::intptr_t p2, std::intptr_t p3,
                                               std::intptr_t p4) {
  if ((request < 0 || request > kLastRequest) && request != kServiceKeptPlace &&
      request != kServiceTrace && request != kServiceNotifyMask)
    return 0;
  LockedContext locked(contextHandle);
  BatchContext* context = locked.initialised();
  if (context == nullptr) return 0;
  std::uint32_t saved = context->errors.errNum;
  context->errors.errNum = 0;
  // A failure thrown below the service is answered as any failure of a service is: with 0.
  std::intptr_t answer = AtBoundary(context, std::intptr_t{0}, [&]() -> std::intptr_t {
    return context->varSlots ? Serve(*context, request, p1, p2, p3, p4) : 0;
  });
  // Request 13 is how a host raises an error: that one stands after the call.
  if (request == 13) {
    saved = context->errors.errNum;
  } else if (context->errors.errNum != 0) {
    answer = 0;
  }
  context->errors.errNum = saved;
  return answer;
}
