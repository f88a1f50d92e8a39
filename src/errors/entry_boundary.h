// The boundary of the exported entry points: what a host, an extender or the system hands in is
// checked before it is used, and nothing thrown below an entry leaves it.
//
// The engine's routines report their failures through the context's error number, but the
// standard library they use (containers, strings, unique_ptr) throws: std::bad_alloc when
// memory runs out, std::length_error for a size it cannot have. A caller of an entry knows
// nothing of C++ exceptions, so every entry runs its work through AtBoundary, which turns
// whatever escapes into the engine's memory error on the context and the entry's failure value.
#ifndef KEL_ERRORS_ENTRY_BOUNDARY_H
#define KEL_ERRORS_ENTRY_BOUNDARY_H

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "platform/platform.h"

namespace kel {

// What AtBoundary does after a failure when the entry has nothing of its own to put right.
struct NothingToUndo {
  void operator()() const noexcept {}
};

// Answers what `body` answers; when something is thrown below it, `context` (when there is one)
// gets the memory error 1588, `undo` puts right what the interrupted work left behind, and the
// answer is `failure`. Whatever is thrown counts as the memory error: running out of memory is
// what the standard library reports this way, and the catalogue has no nearer number for the
// rest, which are faults of the engine's own. `undo` is guarded too; its failure is ignored.
template <typename Result, typename Body, typename Undo = NothingToUndo>
Result AtBoundary(BatchContext* context, Result failure, Body&& body, Undo&& undo = {}) noexcept {
  try {
    return static_cast<Result>(body());
  } catch (...) {
  }
  if (context != nullptr) SetError(*context, kErrUnableToAllocate);
  try {
    undo();
  } catch (...) {
  }
  return failure;
}

// Locks a context handle for one call; unlocks when the call returns. A handle that names no
// block, or a block too small to hold the record, gives no context: it would be read and
// written past its end.
class LockedContext {
 public:
  explicit LockedContext(void* handle) : handle_(handle) {
    if (!platform::IsGlobalHandle(handle_)) return;
    if (platform::GlobalSize(handle_) < sizeof(BatchContext)) return;
    context_ = static_cast<BatchContext*>(platform::GlobalLock(handle_));
  }
  ~LockedContext() {
    if (context_ != nullptr) platform::GlobalUnlock(handle_);
  }
  LockedContext(const LockedContext&) = delete;
  LockedContext& operator=(const LockedContext&) = delete;

  BatchContext* get() const { return context_; }
  // Mode 1 makes a context usable; every other entry refuses one it has not seen.
  BatchContext* initialised() const {
    return context_ != nullptr && context_->initialisedMarker == kContextMarker ? context_
                                                                                : nullptr;
  }

 private:
  void* handle_;
  BatchContext* context_ = nullptr;
};

// The entries that take the locked context itself (the engine hands it to extenders) refuse a
// null one and one that mode 1 has not set up or mode 99 has shut down.
inline BatchContext* InitialisedContext(void* context) {
  auto* record = static_cast<BatchContext*>(context);
  return record != nullptr && record->initialisedMarker == kContextMarker ? record : nullptr;
}

}  // namespace kel

#endif  // KEL_ERRORS_ENTRY_BOUNDARY_H
