// The exported entry points of the message catalogue and the error box.
#include "core/batch_context.h"
#include "core/exports.h"
#include "errors/entry_boundary.h"
#include "errors/messages.h"
#include "platform/platform.h"

using namespace kel;

extern "C" {

// The context only lends its code page to the text; a context that mode 1 has not set up (or
// that mode 99 shut down) is read as none.

std::int32_t KEL_CDECL LoadMyString(void* context, void* module, std::uint32_t id, char* buffer,
                                    std::int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  BatchContext* record = InitialisedContext(context);
  return AtBoundary(record, std::int32_t{0}, [&] {
    return static_cast<std::int32_t>(
        kel::LoadMyString(record, module, id, buffer, static_cast<std::size_t>(size)));
  });
}

std::int32_t KEL_CDECL LoadMyStringW(void* context, void* module, std::uint32_t id,
                                     char16_t* buffer, std::int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  BatchContext* record = InitialisedContext(context);
  return AtBoundary(record, std::int32_t{0}, [&] {
    return static_cast<std::int32_t>(
        kel::LoadMyStringW(record, module, id, buffer, static_cast<std::size_t>(size)));
  });
}

// The box procedures have no context; what they cannot do leaves the message unhandled.

std::intptr_t KEL_STDCALL ErrorMsgProc(void* window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
  return AtBoundary(static_cast<BatchContext*>(nullptr), std::intptr_t{0},
                    [&] { return platform::ErrorBoxProcedure(window, message, wParam, lParam); });
}

std::intptr_t KEL_STDCALL StackInfoProc(void* window, std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
  return AtBoundary(static_cast<BatchContext*>(nullptr), std::intptr_t{0},
                    [&] { return platform::TracebackProcedure(window, message, wParam, lParam); });
}

}  // extern "C"
