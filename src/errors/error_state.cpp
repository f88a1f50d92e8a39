// Raising errors, the "more error information" text and the record of failed system calls.
#include "errors/error_state.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/settings.h"

namespace kel {

int ErrorClass(std::uint32_t number) {
  if (number < 2001) return kClassMinor;
  if (number < 3001) return kClassModerate;
  return kClassSevere;
}

void SetError(BatchContext& context, std::uint32_t number) {
  context.errors.errNum = number;
}

bool HasError(const BatchContext& context) {
  return context.errors.errNum != 0;
}

void AppendMoreErrorInfo(BatchContext& context, const char* text) {
  if (text == nullptr) text = "";
  ErrorState& errors = context.errors;
  bool fresh = errors.moreErrorInfo == nullptr;
  if (fresh) {
    errors.moreErrorInfo = platform::GlobalAllocate(kMoreErrorInfoBytes, platform::Fill::Zero);
    if (errors.moreErrorInfo == nullptr) return;
  }
  auto* block = static_cast<char*>(platform::GlobalLock(errors.moreErrorInfo));
  if (block == nullptr) return;
  constexpr std::size_t kLimit = kMoreErrorInfoBytes - 1;
  std::size_t length = strnlen(block, kLimit);
  auto append = [&](const char* piece) {
    while (*piece != '\0' && length < kLimit)
      block[length++] = *piece++;
  };
  if (!fresh) {
    append("\n\n");
    append("----------------------------------------");
    append("\n");
  }
  append(text);
  block[length] = '\0';
  platform::GlobalUnlock(errors.moreErrorInfo);
}

void DiscardMoreErrorInfo(BatchContext& context) {
  if (context.errors.moreErrorInfo != nullptr) platform::GlobalFree(context.errors.moreErrorInfo);
  context.errors.moreErrorInfo = nullptr;
}

std::size_t MoreErrorInfoText(BatchContext& context, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (context.errors.moreErrorInfo == nullptr) return 0;
  auto* block = static_cast<const char*>(platform::GlobalLock(context.errors.moreErrorInfo));
  if (block == nullptr) return 0;
  std::size_t length = strnlen(block, kMoreErrorInfoBytes - 1);
  if (length >= size) length = size - 1;
  std::memcpy(out, block, length);
  out[length] = '\0';
  platform::GlobalUnlock(context.errors.moreErrorInfo);
  return length;
}

void RecordApiError(BatchContext& context, std::uint32_t code, const char* callName, bool append) {
  if (callName == nullptr) callName = "";
  char text[300];
  std::snprintf(text, sizeof text, "%ld (%s)", static_cast<long>(code), callName);
  platform::WriteProfileText(kSettingsFile, kSettingsCore, "LastError", text);
  if (append) {
    std::snprintf(text, sizeof text, "%s error:\n\n    %ld", callName, static_cast<long>(code));
    AppendMoreErrorInfo(context, text);
  }
}

}  // namespace kel
