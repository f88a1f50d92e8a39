// The tokenizer's exported entry points, for extenders that read their own arguments.
#include "core/batch_context.h"
#include "core/exports.h"
#include "lang/tokenizer.h"

extern "C" {

// Each takes the locked context that the engine handed to the extender.

void KEL_CDECL get_token(void* context) {
  if (context != nullptr) kel::get_token(*static_cast<kel::BatchContext*>(context));
}

void KEL_CDECL get_string_token(void* context) {
  if (context != nullptr) kel::get_string_token(*static_cast<kel::BatchContext*>(context));
}

void KEL_CDECL putback(void* context) {
  if (context != nullptr) kel::putback(*static_cast<kel::BatchContext*>(context));
}

}  // extern "C"
