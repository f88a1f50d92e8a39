// The host's view of the engine: entry-point types, the heap descriptor and the call constants.
//
// A host loads the engine library, looks up the entry points by their plain names and drives a
// script through them in this order:
//   DoDaDllInit mode 0 (interface check), mode 1 (context), mode 2 (variable table),
//   mode 3 (string heap), ProcessDaBatBuffer once per script text, mode 99 (shutdown).
// The host owns the memory of the context, the variable table and the heap; the engine only
// formats and fills it, and grows the heap inside the host's reservation.
#ifndef KEL_KEL_HOST_H
#define KEL_KEL_HOST_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KEL_CDECL __cdecl
#define KEL_STDCALL __stdcall
#else
#define KEL_CDECL
#define KEL_STDCALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The second byte of mode 0's arg2 carries the interface version the host was written for.
#define KEL_INTERFACE_VERSION 19
#define KEL_INTERFACE_ARG (KEL_INTERFACE_VERSION << 8)
// Mode 0's answer when the versions match.
#define KEL_INTERFACE_OK 64444

// DoDaDllInit modes.
#define KEL_MODE_CHECK 0
#define KEL_MODE_CONTEXT 1
#define KEL_MODE_VARIABLES 2
#define KEL_MODE_HEAP 3
#define KEL_MODE_SHUTDOWN 99

// DLLServices request of this engine's own: copies where the statement of the report that quiet
// mode kept stands ("FILE:LINE", then a line for each function call or called script that led
// there) into p1, at most p3 bytes; answers 1 when there was a report.
#define KEL_SERVICE_KEPT_PLACE 1025
// DLLServices request of this engine's own: the runs that follow are traced into the file p1
// (as the script function DebugTrace with request 1 would); a null or empty p1 turns the trace
// off. Answers 1.
#define KEL_SERVICE_TRACE 1026
// DLLServices request of this engine's own: p3 (when 0 or more) becomes the notify mask, which
// says what the host's function entry is told of; answers the mask as it was. The bits:
//   KEL_NOTIFY_BREAK_POLL   request -1 with the items "1", after each poll of the break keys
//                           while the engine pumps messages;
//   KEL_NOTIFY_STATEMENT    request -1 before each statement, with "2" (main script) or "3" (a
//                           called script file), the address of the text being run, the
//                           statement's offset in its script, the innermost structure's word and
//                           "1" when that structure is skipping ("0" otherwise);
//   KEL_NOTIFY_CALLED_FILE  request -4 before and after Call runs a script file, with its path,
//                           the call depth and "1" before, "0" after success or "-1" after a
//                           failure;
//   KEL_NOTIFY_SCRIPT_FILE  request -5 when Call enters or leaves a file and when a function
//                           defined in another file runs, with the path and "1", "0" or "-1".
// Every notification passes five text arguments (empty where nothing is listed). The script's
// current directory and error stand afterwards as before; a host answer of -6 ends the run.
#define KEL_SERVICE_NOTIFY_MASK 1027
#define KEL_NOTIFY_BREAK_POLL 0x1
#define KEL_NOTIFY_STATEMENT 0x2
#define KEL_NOTIFY_CALLED_FILE 0x4
#define KEL_NOTIFY_SCRIPT_FILE 0x8

// The context block the host allocates (zero-filled, movable) must hold at least this many
// bytes; the engine refuses a smaller one.
#define KEL_CONTEXT_BYTES 262144

// Slots for the main variable table: mode 1 answers the byte size of one slot, and the host
// allocates slot-count times that (zero-filled, movable) and hands it to mode 2.
#define KEL_DEFAULT_VARIABLE_SLOTS 2000

// The heap descriptor: the host fills it before mode 3 and the engine updates it whenever it
// commits more of the reservation. Byte 0 non-zero marks it valid; the base address stands at
// byte 8 and the committed size at byte 420. `reservedBytes` tells the engine how far it may
// grow; 0 means "as far as the system lets the commit go".
typedef struct KelHeapDescriptor {
  uint8_t active;
  uint8_t unused1[7];
  void* base;
  uint8_t unused2[420 - 8 - sizeof(void*)];
  uint32_t committedBytes;
  uint32_t reservedBytes;
} KelHeapDescriptor;

// One row of a keyword table in the engine's row format; a host's own table (handed to
// ProcessDaBatBuffer) uses the name fields and ends with a row whose name length is 0.
typedef struct KelKeywordRow {
  uint32_t id;
  uint32_t kind;
  uint32_t argTypesLow;
  uint32_t argTypesHigh;
  uint32_t argCounts;
  uint16_t nameLength;
  char name[34];
} KelKeywordRow;

typedef int32_t(KEL_CDECL* KelDoDaDllInitFn)(void* hostWindow, void* contextHandle, intptr_t arg2,
                                             int16_t mode, intptr_t arg4, const char* text5,
                                             intptr_t arg6);

typedef int32_t(KEL_CDECL* KelProcessDaBatBufferFn)(void* hostWindow, void* contextHandle,
                                                    void* scriptHandle, void* hostCallback,
                                                    const void* hostKeywords);

// A host may also link the engine library (the import library on Windows) and call the entry
// points by these declarations instead of looking them up.
#if defined(_WIN32)
#define KEL_API  // the engine's module-definition file names its exports
#else
#define KEL_API __attribute__((visibility("default")))
#endif

KEL_API int32_t KEL_CDECL DoDaDllInit(void* hostWindow, void* contextHandle, intptr_t arg2,
                                      int16_t mode, intptr_t arg4, const char* text5,
                                      intptr_t arg6);
KEL_API int32_t KEL_CDECL ProcessDaBatBuffer(void* hostWindow, void* contextHandle,
                                             void* scriptHandle, void* hostCallback,
                                             const void* hostKeywords);
// The service entry of hosts and extenders: requests by number, answers by request.
KEL_API intptr_t KEL_CDECL DLLServices(void* contextHandle, int32_t request, intptr_t p1,
                                       intptr_t p2, intptr_t p3, intptr_t p4);

// The memory a host hands the engine, from the engine itself: movable blocks as the context,
// the variable table and script texts need them, and a reservation for the string heap. On
// Windows a host may use the system's own movable memory and reservations instead; elsewhere
// only the engine knows the blocks it accepts, so a host takes them from here.
// A zero-filled movable block of `bytes`, or null.
KEL_API void* KEL_CDECL KelAllocateBlock(size_t bytes);
// The block's address, pinned until the matching unlock; null for anything that is no block.
KEL_API void* KEL_CDECL KelLockBlock(void* block);
KEL_API void KEL_CDECL KelUnlockBlock(void* block);
// Answers 1 when the block was freed.
KEL_API int32_t KEL_CDECL KelFreeBlock(void* block);
// Reserves `reservedBytes` of address space and commits its first `committedBytes` read-write;
// the base, or null. The engine commits more of it as the heap grows.
KEL_API void* KEL_CDECL KelReserveHeap(size_t reservedBytes, size_t committedBytes);
KEL_API void KEL_CDECL KelReleaseHeap(void* base, size_t reservedBytes);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(KelKeywordRow) == 56 && offsetof(KelKeywordRow, nameLength) == 20 &&
                  offsetof(KelKeywordRow, name) == 22,
              "keyword rows are 56 bytes with the name length at 20 and the name at 22");
static_assert(offsetof(KelHeapDescriptor, base) == 8 &&
                  offsetof(KelHeapDescriptor, committedBytes) == 420,
              "the heap descriptor's base and committed size stand at bytes 8 and 420");
#endif

#endif  // KEL_KEL_HOST_H
