// The tokenizer's exported entry points, for extenders that read their own arguments.
#include "core/batch_context.h"
#include "core/exports.h"
#include "errors/entry_boundary.h"
#include "lang/tokenizer.h"

using namespace kel;

extern "C" {

// Each takes the locked context that the engine handed to the extender, and refuses one that
// mode 1 has not set up or that mode 99 shut down: its scan would be read from nothing.

void KEL_CDECL get_token(void* context) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr) return;
  AtBoundary(record, 0, [&] {
    kel::get_token(*record);
    return 0;
  });
}

void KEL_CDECL get_string_token(void* context) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr) return;
  AtBoundary(record, 0, [&] {
    kel::get_string_token(*record);
    return 0;
  });
}

void KEL_CDECL putback(void* context) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr) return;
  AtBoundary(record, 0, [&] {
    kel::putback(*record);
    return 0;
  });
}

}  // extern "C"
