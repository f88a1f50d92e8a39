// The checked build's walk of a context between statements: every tag of the string heap and
// its free list, every variable of every open frame, the arrays they hold and the elements of
// those arrays, and what the context remembers of heap texts. A damaged record stops the process
// with a report that names it, right after the statement that damaged it. The other builds
// compile the walk to nothing.
#ifndef KEL_LANG_CONSISTENCY_H
#define KEL_LANG_CONSISTENCY_H

namespace kel {

struct BatchContext;

#if defined(KEL_CHECKED)
void CheckConsistency(BatchContext& context);
// A host of the checked build may watch every statement end, right after the walk: the fuzz
// host stops a script there once it has run long enough. Null stops the watching.
using StatementWatcher = void (*)(BatchContext& context);
void WatchStatements(StatementWatcher watcher);
#else
inline void CheckConsistency(BatchContext&) {}
#endif

}  // namespace kel

#endif  // KEL_LANG_CONSISTENCY_H
