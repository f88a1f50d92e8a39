// The entry points the engine library exports to hosts and extenders, by their plain names.
#ifndef KEL_CORE_EXPORTS_H
#define KEL_CORE_EXPORTS_H

#include <cstdint>

#include "kel/kel_extender.h"
#include "kel/kel_host.h"

#if defined(_WIN32)
#define KEL_EXPORT  // the module-definition file names the exports
#else
#define KEL_EXPORT __attribute__((visibility("default")))
#endif

// DoDaDllInit, ProcessDaBatBuffer, DLLServices and the host's memory entries are declared for
// hosts in kel/kel_host.h.
extern "C" {

KEL_EXPORT std::int32_t KEL_CDECL HotKeyCheck(void* contextHandle, void* targetWindow,
                                              std::uint32_t messageKind, std::uint32_t keyCode,
                                              const void* hotkeyTable);
KEL_EXPORT std::uint16_t KEL_CDECL find_var(void* context, const char* name, std::int32_t report);
KEL_EXPORT std::uint32_t KEL_CDECL VMalloc(void* context, std::uint32_t size);
KEL_EXPORT void KEL_CDECL VFree(void* context, std::uint32_t offset);
KEL_EXPORT std::int32_t KEL_CDECL LoadMyString(void* context, void* module, std::uint32_t id,
                                               char* buffer, std::int32_t size);
// `size` is the buffer's size in bytes; the result is the length in UTF-16 units.
KEL_EXPORT std::int32_t KEL_CDECL LoadMyStringW(void* context, void* module, std::uint32_t id,
                                                char16_t* buffer, std::int32_t size);
// The dialog procedures of the error box and its traceback window.
KEL_EXPORT std::intptr_t KEL_STDCALL ErrorMsgProc(void* window, std::uint32_t message,
                                                  std::uintptr_t wParam, std::intptr_t lParam);
KEL_EXPORT std::intptr_t KEL_STDCALL StackInfoProc(void* window, std::uint32_t message,
                                                   std::uintptr_t wParam, std::intptr_t lParam);
KEL_EXPORT void KEL_CDECL get_token(void* context);
KEL_EXPORT void KEL_CDECL get_string_token(void* context);
KEL_EXPORT void KEL_CDECL putback(void* context);
// Reads a YmdHms text into six fields (any of them may be null); `mode` 0 .. 3 is how much is
// checked (functions/time/ymdhms.h), `expand` widens one- and two-digit years. 1 when accepted.
KEL_EXPORT std::int32_t KEL_CDECL ParseYMDHMS(const char* text, std::int32_t* year,
                                              std::int32_t* month, std::int32_t* day,
                                              std::int32_t* hour, std::int32_t* minute,
                                              std::int32_t* second, std::int32_t mode,
                                              std::int32_t expand);
// The answer callback of calls to the host's and extenders' functions.
KEL_EXPORT std::int32_t KEL_STDCALL ViperAnswer(std::int32_t code, std::int32_t reserved,
                                                KelServicesBlock* call, KelBoundaryValue* value);
// The binary buffer services (functions/binary). UncompressBuffer restores, in place, the zlib
// data at the start of a block of `bufferSize` bytes and answers its length, or -1 when the
// data is corrupt or does not fit (the block is then unchanged). DllBinaryServices works on the
// buffer table of the context an extender was handed.
KEL_EXPORT std::int32_t KEL_CDECL UncompressBuffer(void* buffer, std::int32_t compressedLength,
                                                   std::int32_t bufferSize);
KEL_EXPORT std::intptr_t KEL_CDECL DllBinaryServices(void* context, std::int32_t handle,
                                                     std::int32_t size, std::int32_t request);

}  // extern "C"

#endif  // KEL_CORE_EXPORTS_H
