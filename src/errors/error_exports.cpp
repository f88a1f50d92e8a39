// The exported entry points of the message catalogue and the error box.
#include "core/batch_context.h"
#include "core/exports.h"
#include "errors/messages.h"
#include "platform/platform.h"

using namespace kel;

extern "C" {

std::int32_t KEL_CDECL LoadMyString(void* context, void* module, std::uint32_t id, char* buffer,
                                    std::int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  return static_cast<std::int32_t>(kel::LoadMyString(static_cast<BatchContext*>(context), module,
                                                     id, buffer, static_cast<std::size_t>(size)));
}

std::int32_t KEL_CDECL LoadMyStringW(void* context, void* module, std::uint32_t id,
                                     char16_t* buffer, std::int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  return static_cast<std::int32_t>(kel::LoadMyStringW(static_cast<BatchContext*>(context), module,
                                                      id, buffer, static_cast<std::size_t>(size)));
}

std::intptr_t KEL_STDCALL ErrorMsgProc(void* window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
  return platform::ErrorBoxProcedure(window, message, wParam, lParam);
}

std::intptr_t KEL_STDCALL StackInfoProc(void* window, std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
  return platform::TracebackProcedure(window, message, wParam, lParam);
}

}  // extern "C"
