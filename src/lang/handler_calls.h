// The script's cancel and error handlers at work: after a failing statement the statement runner
// offers its error here, and a handler set by IntControl 72 or 73 may take it, by a jump to the
// label CANCEL or TVERRORHANDLER, a Gosub to it, or a call of a user-defined function. Before a
// handler runs, the error is described in the reserved variables (tverrorarray and the single
// tverror... variables).
#ifndef KEL_LANG_HANDLER_CALLS_H
#define KEL_LANG_HANDLER_CALLS_H

#include <cstdint>

#include "core/error_record.h"

namespace kel {

struct BatchContext;
struct StatementLine;

// Offers the statement's error (errNum: 1 .. 8999, or 9999 for a cancel) to the handler of its
// kind. True when a handler took it: the run goes on, at the label when the handler jumped
// (statement.nextOffset). False when it still stands, perhaps replaced (3618, 3619; 9000 when
// a handler function ended the script).
bool OfferErrorToHandler(BatchContext& context, StatementLine& statement);
// A stop the host or the user asked for between statements is a cancel: offered to the cancel
// handler, which may take it (the stop request is then withdrawn and the run goes on at the
// label). False, with everything as it was, when no handler took it.
bool OfferStopToHandler(BatchContext& context, StatementLine& statement);

// Describes the error in lastErrNum (or a cancel) in tverrorarray, and unless `arrayOnly` in
// the single variables too.
void DescribeError(BatchContext& context, bool cancel, bool arrayOnly);

// A user-defined function or a called script runs with handler settings of its own: the
// caller's are kept and given back when it ends.
class NestedHandlers {
 public:
  explicit NestedHandlers(BatchContext& context);
  ~NestedHandlers();
  NestedHandlers(const NestedHandlers&) = delete;
  NestedHandlers& operator=(const NestedHandlers&) = delete;

 private:
  BatchContext& context_;
  bool atStart_;
  HandlerSettings kept_;
};

// IntControl 72 (`cancel`) or 73: p1 0 .. 3 sets the mode (other values leave it), p2 = 1
// discards the more-error-information text, p3 names the function of mode 3. Returns the
// previous mode.
std::int32_t SetHandler(BatchContext& context, bool cancel, std::int32_t mode, std::int32_t discard,
                        const char* function);

}  // namespace kel

#endif  // KEL_LANG_HANDLER_CALLS_H
