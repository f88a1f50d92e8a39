/* A complete host of the engine in a page of C: it links the engine library, sets up a context
   in the host's call order, runs one line of script and reads a variable back.

     kel_host [LINE [VARIABLE]]

   Prints "VARIABLE = value"; on an error ends with the engine's headline and exit status 1. */
#include <stdio.h>
#include <string.h>

#include "kel/kel_host.h"

/* The DLLServices requests this host uses. */
#define SERVICE_VARIABLE_TEXT 2
#define SERVICE_QUIET_MODE 23
#define SERVICE_KEPT_REPORT 25

#define VARIABLE_SLOTS 100
#define HEAP_RESERVED ((size_t)16 << 20)
#define HEAP_COMMITTED ((size_t)256 << 10)

/* A script text for ProcessDaBatBuffer: a movable block holding zero-terminated text. */
static void* ScriptBlock(const char* line) {
  size_t length = strlen(line);
  void* block = KelAllocateBlock(length + 1);
  char* text = block ? (char*)KelLockBlock(block) : NULL;
  if (text == NULL) return NULL;
  memcpy(text, line, length);
  KelUnlockBlock(block);
  return block;
}

int main(int argc, char** argv) {
  const char* line = argc > 1 ? argv[1] : "answer = StrCat(\"six times seven is \", 6 * 7)";
  const char* name = argc > 2 ? argv[2] : "answer";
  int status = 1;
  void* context = NULL;
  void* table = NULL;
  void* heap = NULL;
  void* script = NULL;
  KelHeapDescriptor descriptor;
  int32_t slotBytes;

  if (DoDaDllInit(NULL, NULL, KEL_INTERFACE_ARG, KEL_MODE_CHECK, 0, NULL, 0) != KEL_INTERFACE_OK) {
    fprintf(stderr, "kel_host: the engine's interface version does not match\n");
    return 2;
  }
  /* The context, the variable table and the string heap are the host's memory. */
  context = KelAllocateBlock(KEL_CONTEXT_BYTES);
  slotBytes = context ? DoDaDllInit(NULL, context, 0, KEL_MODE_CONTEXT, 0, "kel_host", 0) : 0;
  if (slotBytes > 0) table = KelAllocateBlock((size_t)slotBytes * VARIABLE_SLOTS);
  if (table == NULL || DoDaDllInit(NULL, context, (intptr_t)table, KEL_MODE_VARIABLES,
                                   VARIABLE_SLOTS, "kel_host", 0) != 1) {
    fprintf(stderr, "kel_host: the engine refused the context or the variable table\n");
    status = 2;
    goto done;
  }
  heap = KelReserveHeap(HEAP_RESERVED, HEAP_COMMITTED);
  memset(&descriptor, 0, sizeof descriptor);
  descriptor.active = 1;
  descriptor.base = heap;
  descriptor.committedBytes = (uint32_t)HEAP_COMMITTED;
  descriptor.reservedBytes = (uint32_t)HEAP_RESERVED;
  if (heap == NULL || DoDaDllInit(NULL, context, (intptr_t)heap, KEL_MODE_HEAP, HEAP_COMMITTED,
                                  NULL, (intptr_t)&descriptor) != 1) {
    fprintf(stderr, "kel_host: the engine refused the string heap\n");
    status = 2;
    goto done;
  }

  /* Quiet mode: an error is kept for the host to read instead of shown in a box. */
  DLLServices(context, SERVICE_QUIET_MODE, (intptr_t) "", 0, 1, 0);
  script = ScriptBlock(line);
  if (script != NULL && ProcessDaBatBuffer(NULL, context, script, NULL, NULL) == 1) {
    char where[2050] = "", headline[2050] = "", value[1024] = "";
    if (DLLServices(context, SERVICE_KEPT_REPORT, (intptr_t)where, (intptr_t)headline, sizeof where,
                    0) == 1) {
      fprintf(stderr, "%s\n  in: %s\n", headline, where);
    } else if (DLLServices(context, SERVICE_VARIABLE_TEXT, (intptr_t)name, (intptr_t)value,
                           sizeof value, 0) == 1) {
      printf("%s = %s\n", name, value);
      status = 0;
    } else {
      fprintf(stderr, "kel_host: the line set no variable %s\n", name);
    }
  } else {
    fprintf(stderr, "kel_host: the engine did not take the line\n");
  }

done:
  if (context != NULL) DoDaDllInit(NULL, context, 0, KEL_MODE_SHUTDOWN, 0, NULL, 0);
  if (script != NULL) KelFreeBlock(script);
  if (heap != NULL) KelReleaseHeap(heap, HEAP_RESERVED);
  if (table != NULL) KelFreeBlock(table);
  if (context != NULL) KelFreeBlock(context);
  return status;
}
