/* The boundary between the engine and the code it calls out to: the host's own functions and
   extender libraries. Both are called through one entry shape and answer through a callback;
   while they run they may call the engine's services with the context handle they were given. */
#ifndef KEL_KEL_EXTENDER_H
#define KEL_KEL_EXTENDER_H

#include <stddef.h>
#include <stdint.h>

#include "kel/kel_host.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The third argument of every entry call. */
#define KEL_ENTRY_MAGIC 0x30030105u
#define KEL_SERVICES_VERSION 1010

/* Value flags as they cross the boundary. */
#define KEL_VALUE_INTEGER 0x001u
#define KEL_VALUE_TEXT 0x002u
#define KEL_VALUE_FLOAT 0x020u
#define KEL_VALUE_WIDE 0x080u
#define KEL_VALUE_ARRAY 0x100u
#define KEL_VALUE_OBJECT 0x200u
/* In an answer: a UTF-16 text whose address stands where the integer would. */
#define KEL_VALUE_WIDE_AT_INTEGER 0x1000u

/* An OLE variant: 16 bytes where addresses take 4, 24 where they take 8. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define KEL_VARIANT_BYTES 24
#else
#define KEL_VARIANT_BYTES 16
#endif

#pragma pack(push, 4)
/* A value at the boundary: the engine's value with addresses in place of heap offsets. */
typedef struct KelBoundaryValue {
  uint8_t objectData[KEL_VARIANT_BYTES];
  double floatValue;
  int32_t intValue;
  uint32_t flags;
  const void* text; /* ANSI text, or the array record */
  const uint16_t* wide;
} KelBoundaryValue;
#pragma pack(pop)

typedef struct KelServicesBlock KelServicesBlock;

/* The answer callback: the callee delivers its result (code 0 or more) or its error (below 0). */
typedef int32_t(KEL_STDCALL* KelAnswerFn)(int32_t code, int32_t reserved, KelServicesBlock* call,
                                          KelBoundaryValue* value);

/* The entry of a host's function table and of extenders of the value-record kind. */
typedef int32_t(KEL_STDCALL* KelEntryFn)(void* ownerWindow, void* hostModule, uint32_t magic,
                                         int32_t request, KelAnswerFn answer,
                                         KelServicesBlock* services, uint32_t* slotData,
                                         KelBoundaryValue* arguments, int32_t count,
                                         KelBoundaryValue* spare);

/* The engine's general service entry. */
typedef intptr_t(KEL_CDECL* KelDllServicesFn)(void* contextHandle, int32_t request, intptr_t p1,
                                              intptr_t p2, intptr_t p3, intptr_t p4);

/* What every call receives: the context to name in service calls and the engine's services. */
struct KelServicesBlock {
  void* contextHandle;
  void* result; /* the engine's record for the call's result; only the answer callback uses it */
  uint32_t version;
  uint32_t size;
  KelDllServicesFn dllServices;
  void* hostInstance;
  void* hostValue;
  void* parentWindow;
  void* varHandler;
  void* arrHandler;
  void* arrayServices;
  void* storeErrorInfo;
  void* binaryServices;
  void* varHandlerW;
  void* arrayStringsToAnsi;
  void* arrayStringsToUnicode;
  void* arraySwapElements;
};

#ifdef __cplusplus
} /* extern "C" */

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KelBoundaryValue) == 40 && offsetof(KelBoundaryValue, floatValue) == 16 &&
                  offsetof(KelBoundaryValue, intValue) == 24 &&
                  offsetof(KelBoundaryValue, flags) == 28 &&
                  offsetof(KelBoundaryValue, text) == 32 && offsetof(KelBoundaryValue, wide) == 36,
              "a boundary value is 40 bytes in the 32-bit layout");
static_assert(sizeof(KelServicesBlock) == 68 && offsetof(KelServicesBlock, dllServices) == 16 &&
                  offsetof(KelServicesBlock, parentWindow) == 28 &&
                  offsetof(KelServicesBlock, arraySwapElements) == 64,
              "the services block is 68 bytes in the 32-bit layout");
#endif
#endif

#endif /* KEL_KEL_EXTENDER_H */
