// The debug trace's part of the BatchContext: where the trace goes, what it records, and the
// record of the statement that ran last, written when the next one starts.
#ifndef KEL_CORE_TRACE_STATE_H
#define KEL_CORE_TRACE_STATE_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kel {

constexpr std::size_t kTraceFileBytes = 260;
constexpr std::size_t kTraceLineBytes = 2050;
constexpr std::size_t kTraceOutcomeBytes = 2300;
constexpr std::size_t kStepTextBytes = 256;

// Trace flags (DebugTrace 102 .. 104).
constexpr std::int32_t kTraceNoTimes = 1;
constexpr std::int32_t kTraceErrorDump = 2;
constexpr std::int32_t kTraceKeywordLookups = 4;

struct TraceState {
  std::int32_t mode;  // 0 off; 1 every statement; 2 only an error that ends the script
  // Inside a user-defined function or a called script: the mode in force outside it.
  std::int32_t outerMode;
  std::int32_t flags;  // kTraceNoTimes, kTraceErrorDump, kTraceKeywordLookups
  // The trace file's full path (at most 259 characters), "" when none is set; "*DEBUGDATA*":
  // the system debugger.
  char file[kTraceFileBytes];
  std::uint32_t startTick;     // when the header was written; 0 before
  std::uint16_t lastFunction;  // the user-defined function of the last record
  // The statement that ran last: its text, what it did and its error, waiting to be written.
  bool pending;
  char line[kTraceLineBytes];
  char outcome[kTraceOutcomeBytes];
  // The single-step mode of Debug (1 on, 0 off, -1 suspended) and its text.
  std::int32_t stepMode;
  char stepText[kStepTextBytes];
  // What the statement before did, for the single-step box.
  bool stepPending;
  char stepOutcome[kTraceOutcomeBytes];
};

}  // namespace kel

#endif  // KEL_CORE_TRACE_STATE_H
