// The BatchContext: all the state of one script's interpreter, in one flat record that the
// host allocates zero-filled and the engine fills. Every routine takes it first.
//
// The record stays plain data (no constructors, no owning members) because the host owns its
// memory, hands it over as a movable handle and may free it without calling the engine.
#ifndef KEL_CORE_BATCH_CONTEXT_H
#define KEL_CORE_BATCH_CONTEXT_H

#include <cstdint>
#include <type_traits>

#include "core/buffer_state.h"
#include "core/control_flow_state.h"
#include "core/error_record.h"
#include "core/evaluator_state.h"
#include "core/file_state.h"
#include "core/item_memo.h"
#include "core/launch_state.h"
#include "core/loader_state.h"
#include "core/registry_state.h"
#include "core/tokenizer_state.h"
#include "core/trace_state.h"
#include "core/variable_state.h"
#include "core/window_state.h"
#include "kel/kel_host.h"
#include "platform/platform.h"

namespace kel {

constexpr std::size_t kLineBufferBytes = 2050;
constexpr std::size_t kPathBytes = 261;
constexpr std::size_t kHostTextBytes = 261;
constexpr std::uint16_t kNoFunction = 65535;

struct BatchContext {
  // Host binding.
  void* hostWindow;
  void* parentWindow;
  platform::MemoryHandle selfHandle;
  void* hostCallback;
  const void* hostKeywords;
  std::uint32_t notifyMask;
  // Non-zero while anything watches each statement (a trace, the single-step box, a host that
  // follows statements), so that the statement runner looks at one byte when nothing does.
  std::uint8_t statementHooks;
  char hostText1[kHostTextBytes];  // identification texts of the host, only kept
  char hostText2[kHostTextBytes];
  char hostText3[kHostTextBytes];
  char hostText4[kHostTextBytes];
  std::int32_t windowBottom;  // bottom edge of a default-placed window

  // Variable storage: the current frame, and the table of all frames.
  platform::MemoryHandle varTable;
  VariableSlot* varSlots;  // the current table while it is locked
  std::uint16_t varCapacity;
  std::uint16_t varCount;
  std::uint16_t currentFrame;
  std::uint32_t runSerial;
  std::uint32_t runStartTicks;
  std::uint32_t serialCounter;
  FrameEntry frames[kMaxLocalFrames + 1];
  FramePool framePool;
  // The variable that receives the statement's result (kept by DropWild).
  std::uint16_t resultSlot;
  std::uint16_t resultFrame;

  // String heap.
  std::uint8_t* heapBase;
  KelHeapDescriptor* heapDescriptor;
  std::uint32_t heapEnd;        // offset of the end sentinel
  std::uint32_t heapCommitted;  // committed bytes when there is no descriptor
  // Where ItemExtract and ItemExtractCsv last found an item of a heap text; freeing the text's
  // block forgets it.
  ItemMemo itemMemos[kItemMemoCount];

  // Script position.
  char lineBuffer[kLineBufferBytes];
  std::uint32_t nextLineOffset;
  std::uint32_t lineStartOffset;
  // 1 while the statement being run stands in lineBuffer; 0 while a compiled line runs from its
  // own copy of the text, which leaves lineBuffer free for the lines of a function it calls.
  std::uint8_t lineBufferInUse;
  char scriptPath[kPathBytes];
  // A text that scriptPath is known to equal (the file of the function whose call set it), or
  // null; whatever else writes scriptPath clears it. Calls within one file copy no path.
  const char* scriptPathFrom;
  std::uint32_t includeMode;
  std::uint16_t runningFunction;  // the user-defined function whose body runs; kNoFunction
  std::uint16_t callLevels;       // scripts started by Call that are still running
  LoaderState loader;             // recorded definitions, the line reader, the text being run

  // The tokenizer: the scan position, the current token and the flags for the next name.
  TokenizerState tokenizer;

  // The evaluator: assignment permission, nesting depth, the main script's assignment target.
  EvaluatorState evaluator;

  // Control flow: the structure stack and the statement runner's flags.
  ControlFlowState flow;

  // Errors.
  ErrorState errors;

  // Run control.
  std::int32_t stopRequested;
  std::int32_t stopByUser;
  std::int32_t announceStop;
  std::int32_t noYield;
  std::uint32_t breakFlags;
  std::int32_t pumpingSuspended;
  void* waitCursor;
  void* arrowCursor;
  void* currentCursor;
  std::uint32_t hotkeyPause;
  std::int32_t runResult;
  std::uint32_t runError;  // the error number the last run loop ended with

  // Settings.
  std::int32_t decimals;
  std::uint32_t codePage;
  std::int32_t soundsOn;
  std::int32_t prettyDialogs;
  std::int32_t fourDigitYear;        // 0: dates are written with the year's last two digits
  std::int32_t highResolutionDelay;  // TimeDelay may wait on a high-resolution timer

  // The compiled lines of the texts being run (LineCaches, owned by the engine, freed by mode
  // 99).
  void* lineCaches;
  // The caller states that user-defined function calls save and take again (owned by the
  // engine, freed by mode 99).
  void* callerStates;
  // Pumping between statements: statements since the clock was last looked at, and when the
  // last pump ran.
  std::uint32_t statementsSincePump;
  std::uint32_t lastPumpTicks;
  // The text last extended in place by `s = s : piece` and its length, so that the next
  // append need not measure it; freeing the text forgets it.
  std::uint32_t appendText;
  std::uint32_t appendLength;
  // The heap copies of the text @constants (@CRLF, @TAB, @CR, @LF), made the first time each is
  // read and lent to every reader after that, like a variable's text; 0 until then. Formatting
  // the heap forgets them.
  std::uint32_t constantTexts[4];

  // The file functions' settings and the files the script opened (closed by mode 99).
  FileState files;
  // The debug trace and the single-step mode.
  TraceState trace;
  // The binary buffers the script allocated (freed by mode 99).
  BufferState buffers;
  // The registry functions' default view and the keys the script opened (closed by mode 99).
  RegistryState registry;
  // The last exit code, the launch settings and the last pipe error.
  LaunchState launch;
  // The window functions' settings.
  WindowState windows;

  // Set by mode 1; a context whose marker is missing is refused by the later modes.
  std::uint32_t initialisedMarker;
};

constexpr std::uint32_t kContextMarker = 0x4B454C31;  // "KEL1"

static_assert(std::is_trivially_copyable_v<BatchContext> && std::is_standard_layout_v<BatchContext>,
              "the context is plain data in host-owned memory");
static_assert(sizeof(BatchContext) <= KEL_CONTEXT_BYTES, "the host's context block holds it");

}  // namespace kel

#endif  // KEL_CORE_BATCH_CONTEXT_H
