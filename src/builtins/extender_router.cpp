// The router of calls that leave the engine, and the answer callback they return through.
#include "builtins/extender_router.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/entry_boundary.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/array_record.h"
#include "lang/eval_value.h"
#include "lang/string_heap.h"
#include "platform/platform.h"

extern "C" std::intptr_t KEL_CDECL DLLServices(void* contextHandle, std::int32_t request,
                                               std::intptr_t p1, std::intptr_t p2, std::intptr_t p3,
                                               std::intptr_t p4);

namespace kel {
namespace {

constexpr std::int32_t kAnswerCopyFailed = -4;
constexpr std::int32_t kNoCompanionCode = 999;

// The boundary record of an engine value: texts by address, everything else as it is.
KelBoundaryValue ToBoundary(const BatchContext& context, const Value& value) {
  KelBoundaryValue record{};
  std::memcpy(record.objectData, value.objectData, sizeof record.objectData);
  record.floatValue = value.floatValue;
  record.intValue = value.intValue;
  record.flags = value.flags;
  if ((value.flags & kValueArray) != 0)
    record.text = reinterpret_cast<const void*>(value.textRef);
  else if ((value.flags & kValueText) != 0)
    record.text = ValueText(context, value);
  if ((value.flags & kValueWideText) != 0)
    record.wide = reinterpret_cast<const std::uint16_t*>(ValueWideText(context, value));
  return record;
}

// Copies a text that may lie anywhere (also inside the heap) into a new heap block.
std::uint32_t CopyForeignText(BatchContext& context, const char* text) {
  return HeapCopyText(context, text ? text : "", text ? std::strlen(text) : 0);
}

std::uint32_t CopyForeignWide(BatchContext& context, const std::uint16_t* text) {
  std::size_t length = 0;
  if (text != nullptr)
    while (text[length] != 0)
      ++length;
  if (text == nullptr) return HeapCopyWide(context, u"", 0);
  return HeapCopyWide(context, reinterpret_cast<const char16_t*>(text), length);
}

// The number of an extender error text that begins with "<number>:", or the default.
std::int32_t CompanionCode(const char* text) {
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr || colon == text || colon - text > 10) return kNoCompanionCode;
  for (const char* p = text; p < colon; ++p)
    if (!(*p >= '0' && *p <= '9') && !(p == text && *p == '-')) return kNoCompanionCode;
  return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}

}  // namespace

void PrepareServicesBlock(BatchContext& context, EvalValue* result, KelServicesBlock& block) {
  block = KelServicesBlock{};
  block.contextHandle = context.selfHandle;
  block.result = result;
  block.version = KEL_SERVICES_VERSION;
  block.size = sizeof(KelServicesBlock);
  block.dllServices = &DLLServices;
  block.hostInstance = Process().moduleInstance;
  block.parentWindow = context.parentWindow;
}

bool CallHostEntry(BatchContext& context, std::int32_t request, EvalValue* arguments, int count,
                   EvalValue& result) {
  auto entry = reinterpret_cast<KelEntryFn>(context.hostCallback);
  if (entry == nullptr) {
    SetError(context, kErrFunctionNotDefined);
    return false;
  }
  KelBoundaryValue records[16];
  if (count > 16) count = 16;
  for (int i = 0; i < count; ++i)
    records[i] = ToBoundary(context, arguments[i].value);
  KelBoundaryValue spare{};
  KelServicesBlock services;
  PrepareServicesBlock(context, &result, services);
  context.errors.userErrText[0] = '\0';
  std::int32_t answer = entry(context.hostWindow, Process().moduleInstance, KEL_ENTRY_MAGIC,
                              request, &ViperAnswer, &services, nullptr, records, count, &spare);
  if (answer >= 0) return true;
  context.errors.userErrCode = kNoCompanionCode;
  std::uint32_t number;
  switch (answer) {
    case -1:
      number = kErrExtenderMinor;
      break;
    case -2:
      number = kErrExtenderModerate;
      break;
    case -3:
      number = kErrExtenderSevere;
      break;
    case -4:
      number = kErrExtenderNoMemory;
      break;
    case -5:
      number = kCompletionCancel;
      break;
    case -6:
      number = kCompletionHostStop;
      break;
    case -7:
      number = kErrExtenderArray;
      break;
    default:
      number = kErrExtenderNoMemory;
      break;
  }
  if (number == kErrExtenderMinor || number == kErrExtenderModerate || number == kErrExtenderSevere)
    context.errors.userErrCode = CompanionCode(context.errors.userErrText);
  SetError(context, number);
  return false;
}

}  // namespace kel

namespace kel {
namespace {

// What the callee of a call that left the engine delivers: its error text (code below 0) or its
// result, copied into the engine's record for the call's result.
std::int32_t TakeAnswer(BatchContext& context, std::int32_t code, EvalValue& result,
                        KelBoundaryValue* value) {
  if (code < 0) {
    // An error: its text is the value's text, or a general one when it carries no text.
    char text[kUserErrorTextBytes];
    bool hasText =
        value != nullptr && ((value->flags & KEL_VALUE_TEXT) != 0 ||
                             (value->flags & (KEL_VALUE_INTEGER | KEL_VALUE_FLOAT | KEL_VALUE_WIDE |
                                              KEL_VALUE_ARRAY | KEL_VALUE_OBJECT)) == 0);
    if (hasText && value->text != nullptr)
      std::snprintf(text, sizeof text, "%s", static_cast<const char*>(value->text));
    else
      LoadMessage(context, kMsgUndefinedExtenderError, text, sizeof text);
    std::snprintf(context.errors.userErrText, sizeof context.errors.userErrText, "%s", text);
    return code;
  }
  if (value == nullptr) return kAnswerCopyFailed;
  ReleaseEval(context, result);
  std::uint32_t flags = value->flags;
  if ((flags & KEL_VALUE_OBJECT) != 0) return kAnswerCopyFailed;  // no automation support here
  if ((flags & KEL_VALUE_ARRAY) != 0) {
    result.value.textRef = reinterpret_cast<std::uintptr_t>(value->text);
    result.value.flags = kValueArray;
    return code;
  }
  if ((flags & (KEL_VALUE_WIDE | KEL_VALUE_WIDE_AT_INTEGER)) != 0) {
    // An address in the integer field only fits in the 32-bit layout.
    const std::uint16_t* wide =
        (flags & KEL_VALUE_WIDE) != 0 || sizeof(void*) > 4
            ? value->wide
            : reinterpret_cast<const std::uint16_t*>(
                  static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value->intValue)));
    std::uint32_t offset = CopyForeignWide(context, wide);
    if (offset == 0) return kAnswerCopyFailed;
    result.value.wideRef = offset;
    result.value.flags = kValueWideText;
    return code;
  }
  if ((flags & KEL_VALUE_FLOAT) != 0) {
    result.value.floatValue = value->floatValue;
    result.value.flags = kValueFloat;
    return code;
  }
  if ((flags & KEL_VALUE_INTEGER) != 0) {
    result.value.intValue = value->intValue;
    result.value.flags = kValueInteger;
    return code;
  }
  if ((flags & KEL_VALUE_TEXT) != 0) {
    std::uint32_t offset = CopyForeignText(context, static_cast<const char*>(value->text));
    if (offset == 0) return kAnswerCopyFailed;
    result.value.textRef = offset;
    result.value.flags = kValueText;
    return code;
  }
  return kAnswerCopyFailed;
}

}  // namespace
}  // namespace kel

using namespace kel;

extern "C" std::int32_t KEL_STDCALL ViperAnswer(std::int32_t code, std::int32_t,
                                                KelServicesBlock* call, KelBoundaryValue* value) {
  if (call == nullptr || call->result == nullptr) return kAnswerCopyFailed;
  LockedContext locked(call->contextHandle);
  BatchContext* context = locked.initialised();
  if (context == nullptr) return kAnswerCopyFailed;
  auto& result = *static_cast<EvalValue*>(call->result);
  return AtBoundary(context, kAnswerCopyFailed,
                    [&] { return TakeAnswer(*context, code, result, value); });
}
