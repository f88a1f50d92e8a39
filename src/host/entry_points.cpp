// The exported entry points: context set-up and shutdown, running a script text, hot keys.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "builtins/dispatch.h"
#include "builtins/extender_router.h"
#include "core/batch_context.h"
#include "core/exports.h"
#include "core/hooks.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "errors/entry_boundary.h"
#include "errors/error_state.h"
#include "errors/report.h"
#include "host/call_frames.h"
#include "host/pump.h"
#include "lang/array_record.h"
#include "lang/compiled_lines.h"
#include "lang/evaluator.h"
#include "lang/handler_calls.h"
#include "lang/run_loop.h"
#include "lang/string_heap.h"
#include "lang/structures.h"
#include "lang/user_functions.h"
#include "lang/variables.h"
#include "loader/definitions.h"
#include "loader/hidden_text.h"
#include "loader/script_file.h"
#include "loader/script_text.h"
#include "loader/source_lines.h"
#include "platform/platform.h"

namespace kel {

namespace {

constexpr std::int32_t kEntryFailed = 0;
constexpr std::uint32_t kMinimumHeapBytes = 256;
constexpr std::uint32_t kDefaultIncludeMode = 3;
constexpr std::uint32_t kDefaultHotkeyPause = 100;

// Serialises DoDaDllInit across threads: whoever finds the counter busy waits 50 ms at a time.
class EntryGuard {
 public:
  EntryGuard() {
    int expected = 0;
    while (!Process().entryBusy.compare_exchange_weak(expected, 1)) {
      expected = 0;
      platform::SleepMilliseconds(50);
    }
  }
  ~EntryGuard() { Process().entryBusy.store(0); }
  EntryGuard(const EntryGuard&) = delete;
  EntryGuard& operator=(const EntryGuard&) = delete;
};

void CopyHostText(char* out, const char* text) {
  std::snprintf(out, kHostTextBytes, "%s", text ? text : "");
}

// The routines the language and error layers reach in the layers above them.
void InstallHooks() {
  EngineHooks& hooks = Hooks();
  hooks.fullPump = FullPump;
  hooks.pumpBetweenStatements = PumpBetweenStatements;
  hooks.callBuiltin = CallBuiltin;
  hooks.callHostEntry = CallHostEntry;
  hooks.locateFailingStatement = LocateFailingStatement;
  hooks.describeCallers = DescribeCallers;
  hooks.describeError = DescribeError;
}

void SetUpProcessOnce() {
  ProcessState& process = Process();
  if (process.classesRegistered) return;
  InstallHooks();
  process.system = platform::DetectSystem();
  // The process's generator: seeded from the clock modulo the tick count, never with 1.
  std::uint32_t ticks = platform::TickCount();
  std::uint32_t seed = 1;
  while (seed == 1) {
    ticks = platform::TickCount();
    seed = ticks == 0 ? 0 : static_cast<std::uint32_t>(platform::SecondsSinceEpoch() % ticks);
    if (seed == 1) platform::SleepMilliseconds(1);
  }
  std::srand(seed);
  SetUpTextPermutation();
}

std::int32_t InitialiseContext(BatchContext* context, void* contextHandle, const char* text5,
                               std::intptr_t arg6) {
  ProcessState& process = Process();
  SetUpProcessOnce();
  if (!process.classesRegistered) {
    if (!platform::RegisterEngineWindowClasses(process.moduleInstance)) return kEntryFailed;
    process.classesRegistered = true;
  }
  CopyHostText(context->hostText1, text5);
  CopyHostText(context->hostText2, reinterpret_cast<const char*>(arg6));
  context->soundsOn = platform::ReadProfileNumber(kSettingsFile, kSettingsMain, "Sounds", 0);
  context->prettyDialogs =
      platform::ReadProfileNumber(kSettingsFile, kSettingsMain, "PrettyDialogs", 1);
  context->waitCursor = platform::LoadStandardCursor(1);
  context->arrowCursor = platform::LoadStandardCursor(0);
  context->currentCursor = context->arrowCursor;
  context->includeMode = kDefaultIncludeMode;
  context->codePage = 0;
  context->hotkeyPause = kDefaultHotkeyPause;
  context->decimals = -1;
  context->fourDigitYear = 1;
  context->highResolutionDelay = 1;
  InitialiseErrorReporting(*context);
  InitialiseFileState(context->files);
  std::memset(&context->buffers, 0, sizeof context->buffers);
  InitialiseRegistryState(context->registry);
  InitialiseLaunchState(context->launch);
  InitialiseWindowState(context->windows);
  context->runningFunction = kNoFunction;
  context->resultSlot = kNoSlot;
  context->resultFrame = kNoSlot;
  std::memset(context->frames, 0, sizeof context->frames);
  std::memset(&context->framePool, 0, sizeof context->framePool);
  // The engine's own allocations start afresh, whatever the host's block held.
  context->lineCaches = nullptr;
  context->callerStates = nullptr;
  context->scriptPath[0] = '\0';
  context->scriptPath[kPathBytes - 1] = '\0';
  context->scriptPathFrom = nullptr;
  context->selfHandle = contextHandle;
  context->initialisedMarker = kContextMarker;
  return static_cast<std::int32_t>(sizeof(VariableSlot));
}

std::int32_t BindVariableTable(BatchContext* context, void* hostWindow, void* contextHandle,
                               std::intptr_t arg2, std::intptr_t arg4, const char* text5,
                               std::intptr_t arg6) {
  auto* table = reinterpret_cast<platform::MemoryHandle>(arg2);
  if (!platform::IsGlobalHandle(table) || arg4 < 2) return kEntryFailed;
  // The table is trusted only as far as its block reaches.
  std::size_t fits = platform::GlobalSize(table) / sizeof(VariableSlot);
  std::size_t capacity =
      static_cast<std::size_t>(arg4) < fits ? static_cast<std::size_t>(arg4) : fits;
  if (capacity > 65535) capacity = 65535;
  if (capacity < 2) return kEntryFailed;
  auto* slots = static_cast<VariableSlot*>(platform::GlobalLock(table));
  if (slots == nullptr) return kEntryFailed;
  if (context->varTable != nullptr && context->currentFrame == 0)
    platform::GlobalUnlock(context->varTable);
  CopyHostText(context->hostText3, text5);
  CopyHostText(context->hostText4, reinterpret_cast<const char*>(arg6));
  // The table stays locked until shutdown, so the slots never move under a running script.
  context->varTable = table;
  context->varSlots = slots;
  context->varCapacity = static_cast<std::uint16_t>(capacity);
  context->varCount = 0;
  context->currentFrame = 0;
  context->selfHandle = contextHandle;
  context->decimals = -1;
  context->hostWindow = hostWindow;
  context->parentWindow = platform::ParentOrSelf(hostWindow);
  context->runSerial = ++context->serialCounter;
  context->runStartTicks = platform::TickCount();
  FrameEntry& main = context->frames[0];
  main = FrameEntry{
      0, context->varCapacity, 0, 65535, table, context->runSerial, context->runStartTicks};
  std::memset(&slots[0], 0, sizeof(VariableSlot));
  slots[0].value.flags = kValueNoValue;  // reserved: parks the target name of a dereference
  context->varCount = 1;
  context->windowBottom = platform::DefaultWindowBottom(Process().moduleInstance);
  FullPump(*context);
  return 1;
}

std::int32_t AttachHeap(BatchContext* context, std::intptr_t arg2, std::intptr_t arg4,
                        std::intptr_t arg6) {
  if (arg2 == 0) return kEntryFailed;
  if (arg4 < static_cast<std::intptr_t>(kMinimumHeapBytes) || arg4 > 0x7FFFFFFF)
    return kEntryFailed;
  auto* descriptor = reinterpret_cast<KelHeapDescriptor*>(arg6);
  const bool described = descriptor != nullptr && descriptor->active != 0;
  // A reservation smaller than the part said to be committed contradicts itself.
  if (described && descriptor->reservedBytes != 0 &&
      descriptor->reservedBytes < static_cast<std::uint64_t>(arg4))
    return kEntryFailed;
  // The heap is formatted at once: the part said to be committed must be memory the engine can
  // write (committing what is committed already changes nothing), not an address that leads
  // nowhere.
  if (!platform::CommitMemory(reinterpret_cast<void*>(arg2), static_cast<std::size_t>(arg4)))
    return kEntryFailed;
  context->heapBase = reinterpret_cast<std::uint8_t*>(arg2);
  InitHeap(*context, static_cast<std::uint32_t>(arg4));
  FullPump(*context);
  char directory[kLineBufferBytes];
  if (platform::CurrentDirectory(directory, sizeof directory) > 1 && directory[1] == ':') {
    // The per-drive current directory lives in the environment as "=C:".
    char name[4] = {'=', directory[0], ':', '\0'};
    platform::SetEnvironmentValue(name, directory);
  }
  if (described) context->heapDescriptor = descriptor;
  return 1;
}

// The main table becomes the current one again, locked as it is between runs; the tables of
// the function frames that were left open stay for FreeFrame, which releases what their
// variables hold.
void ReturnToMainFrame(BatchContext& context) {
  if (context.currentFrame == 0) return;
  context.frames[context.currentFrame].count = context.varCount;
  platform::GlobalUnlock(context.varTable);
  context.currentFrame = 0;
  context.varTable = context.frames[0].handle;
  context.varSlots = static_cast<VariableSlot*>(platform::GlobalLock(context.varTable));
  context.varCount = context.frames[0].count;
  context.varCapacity = context.frames[0].capacity;
}

std::int32_t ShutDown(BatchContext* context, std::intptr_t arg6) {
  context->hostCallback = reinterpret_cast<void*>(arg6);
  // Local frames left by an interrupted function call go first, then the main table's arrays.
  ReturnToMainFrame(*context);
  for (int frame = 1; frame <= kMaxLocalFrames; ++frame)
    FreeFrame(*context, frame);
  if (context->varSlots != nullptr) {
    for (std::uint16_t i = 0; i < context->varCount; ++i) {
      Value& value = context->varSlots[i].value;
      if ((value.flags & kValueArray) != 0) {
        ReleaseArrayHolder(*context, reinterpret_cast<ArrayRecord*>(value.textRef));
        value.textRef = 0;
        value.flags &= ~kValueArray;
      }
    }
    platform::GlobalUnlock(context->varTable);
    context->varSlots = nullptr;
  }
  ReleaseDefinitions(*context);
  ReleaseLineCaches(*context);
  ReleaseCallerStates(*context);
  ReleaseFramePool(*context);
  ReleaseOpenFiles(context->files);
  ReleaseBuffers(context->buffers);
  ReleaseRegistryKeys(context->registry);
  DiscardMoreErrorInfo(*context);
  for (int i = 0; i < 4; ++i)
    FullPump(*context);
  FullPump(*context);
  context->initialisedMarker = 0;
  return 1;
}

// A run that something thrown below it broke off (memory ran out in the middle of a statement)
// left the context as it stood at that moment. What the next run and the shutdown rely on is
// put right: the main table current again and unlocked as between runs (`tableLocked`: the run
// had locked it), the broken run's function frames and structures gone, no text marked as
// running, no compiled line of a text that no longer exists. The run ends with the error, shown
// or logged as any error that ends a run, with the line it stood at.
void RecoverBrokenRun(BatchContext& context, bool tableLocked) {
  ReturnToMainFrame(context);
  for (int frame = 1; frame <= kMaxLocalFrames; ++frame)
    FreeFrame(context, frame);
  if (tableLocked) platform::GlobalUnlock(context.varTable);
  ResetControlFlow(context);
  context.runningFunction = kNoFunction;
  context.callLevels = 0;
  context.evaluator.depth = 0;
  ClearAssignTarget(context);
  context.loader.runText = ScriptText{};
  context.loader.udfDefining = 0;
  context.loader.udfDuplicate = 0;
  ReleaseLineCaches(context);
  context.runResult = 0;
  context.runError = context.errors.errNum;
  std::snprintf(context.errors.errorLine, sizeof context.errors.errorLine, "%s",
                context.lineBuffer);
  ReportError(context, nullptr, 1, context.errors.errNum, kClassSevere);
  DiscardMoreErrorInfo(context);
  context.currentCursor = context.arrowCursor;
  platform::ShowCursor(context.currentCursor);
}

// Runs one script text in a context that mode 1 set up; `tableLocked` tells when the main table
// has been locked for the run.
std::int32_t RunScriptText(BatchContext& context, void* hostWindow, void* scriptHandle,
                           void* hostCallback, const void* hostKeywords, bool& tableLocked) {
  context.hostWindow = hostWindow;
  // The report a host reads back is this run's: one kept from an earlier run is not repeated.
  context.errors.reportKept = 0;
  if (!platform::IsGlobalHandle(scriptHandle)) return kEntryFailed;
  auto* text = static_cast<char*>(platform::GlobalLock(scriptHandle));
  if (text == nullptr) return kEntryFailed;
  std::size_t bytes = platform::GlobalSize(scriptHandle);
  struct TextLock {
    void* handle;
    ~TextLock() { platform::GlobalUnlock(handle); }
  } textLock{scriptHandle};
  // The text must end inside its block: a missing terminator is never read past.
  if (bytes == 0 || std::memchr(text, '\0', bytes) == nullptr) return kEntryFailed;
  if (!ConvertWideScript(context, text, bytes)) return kEntryFailed;
  NormaliseLineEnds(text);
  // Includes are expanded and the text hidden in a block of the loader's own, so the host's
  // block keeps its size and its text.
  ScriptText script{};
  struct PreparedText {
    platform::MemoryHandle handle;
    ~PreparedText() { ReleaseScriptText(handle); }
  } prepared{PrepareScriptText(context, text, context.scriptPath, "", script)};
  if (prepared.handle == nullptr) return kEntryFailed;
  if (context.varSlots == nullptr || context.heapBase == nullptr) return kEntryFailed;
  platform::GlobalLock(context.varTable);
  tableLocked = true;
  context.parentWindow = platform::ParentOrSelf(hostWindow);
  context.stopRequested = 0;
  context.stopByUser = 0;
  context.noYield = 0;
  context.announceStop = 1;
  context.hostCallback = hostCallback;
  context.hostKeywords = hostKeywords;
  context.currentCursor = context.waitCursor;
  // The host's window gets a moment to settle before and after the run; without a message
  // queue there is nothing to settle.
  if constexpr (platform::kHasMessageQueue) TimedWait(context, 20);
  FullPump(context);
  platform::ShowCursor(context.currentCursor);
  EvalValue result{};
  result.originSlot = kOriginNone;
  result.originFrame = kOriginNone;
  RunLoop(context, script, result);
  ReleaseValue(context, result.value, 0, kHolderEval);
  context.currentCursor = context.arrowCursor;
  if constexpr (platform::kHasMessageQueue) TimedWait(context, 20);
  FullPump(context);
  platform::ShowCursor(context.currentCursor);
  tableLocked = false;
  platform::GlobalUnlock(context.varTable);
  return 1;
}

}  // namespace
}  // namespace kel

using namespace kel;

extern "C" {

#if defined(_WIN32)
KEL_EXPORT int KEL_STDCALL DllMain(void* instance, std::uint32_t, void*) {
  Process().moduleInstance = instance;
  return 1;
}
#endif

std::int32_t KEL_CDECL DoDaDllInit(void* hostWindow, void* contextHandle, std::intptr_t arg2,
                                   std::int16_t mode, std::intptr_t arg4, const char* text5,
                                   std::intptr_t arg6) {
  if (mode < 0 || mode > 99) return kEntryFailed;
  return AtBoundary(static_cast<BatchContext*>(nullptr), kEntryFailed, [&] {
    EntryGuard guard;
    if (mode == KEL_MODE_CHECK) {
      if (((arg2 >> 8) & 0xFF) == KEL_INTERFACE_VERSION) return KEL_INTERFACE_OK;
      platform::MessageBoxText(hostWindow, "Version Interface Incompatible", "DLL mismatch");
      return kEntryFailed;
    }
    if (mode != KEL_MODE_CONTEXT && mode != KEL_MODE_VARIABLES && mode != KEL_MODE_HEAP &&
        mode != KEL_MODE_SHUTDOWN)
      return kEntryFailed;
    // Mode 1 takes any block that holds the record; the others only a context it set up.
    LockedContext locked(contextHandle);
    BatchContext* context = mode == KEL_MODE_CONTEXT ? locked.get() : locked.initialised();
    if (context == nullptr) return kEntryFailed;
    // A shutdown that fails half-way leaves a context that nothing may use any more.
    auto undo = [&] {
      if (mode == KEL_MODE_SHUTDOWN) context->initialisedMarker = 0;
    };
    return AtBoundary(
        context, kEntryFailed,
        [&] {
          switch (mode) {
            case KEL_MODE_CONTEXT:
              return InitialiseContext(context, contextHandle, text5, arg6);
            case KEL_MODE_VARIABLES:
              return BindVariableTable(context, hostWindow, contextHandle, arg2, arg4, text5, arg6);
            case KEL_MODE_HEAP:
              return AttachHeap(context, arg2, arg4, arg6);
            default:
              return ShutDown(context, arg6);
          }
        },
        undo);
  });
}

std::int32_t KEL_CDECL ProcessDaBatBuffer(void* hostWindow, void* contextHandle, void* scriptHandle,
                                          void* hostCallback, const void* hostKeywords) {
  LockedContext locked(contextHandle);
  BatchContext* context = locked.initialised();
  if (context == nullptr) return kEntryFailed;
  bool tableLocked = false;
  return AtBoundary(
      context, kEntryFailed,
      [&] {
        return RunScriptText(*context, hostWindow, scriptHandle, hostCallback, hostKeywords,
                             tableLocked);
      },
      [&] { RecoverBrokenRun(*context, tableLocked); });
}

std::int32_t KEL_CDECL HotKeyCheck(void* contextHandle, void* targetWindow,
                                   std::uint32_t messageKind, std::uint32_t keyCode,
                                   const void* hotkeyTable) {
  constexpr std::uint32_t kKeyDown = 256;
  constexpr int kShift = 16, kControl = 17, kAlt = 18;
  if (hotkeyTable == nullptr) return 0;
  return AtBoundary(static_cast<BatchContext*>(nullptr), std::int32_t{0}, [&]() -> std::int32_t {
    std::uint16_t key;
    if (messageKind == kKeyDown) {
      if (keyCode == kShift || keyCode == kControl || keyCode == kAlt) return 0;
      key = static_cast<std::uint16_t>(keyCode | 0x1000);
    } else {
      std::uint32_t c = keyCode & 0xFFFF;
      // A control character typed with Ctrl held stands for its letter.
      if (c >= 1 && c <= 26 && platform::IsKeyDown(kControl)) c |= 0x40;
      if (c >= 'a' && c <= 'z') c -= 32;
      key = static_cast<std::uint16_t>(c);
    }
    if (platform::IsKeyDown(kShift)) key |= 0x8000;
    if (platform::IsKeyDown(kControl)) key |= 0x4000;
    if (platform::IsKeyDown(kAlt)) key |= 0x2000;
    const auto* bytes = static_cast<const std::uint8_t*>(hotkeyTable);
    std::int32_t count;
    std::memcpy(&count, bytes + 16, sizeof count);
    for (std::int32_t i = 0; i < count; ++i) {
      std::uint16_t pair[2];
      std::memcpy(pair, bytes + 20 + 4 * i, sizeof pair);
      if (pair[0] != key) continue;
      if (platform::IsWindowEnabled(targetWindow)) {
        platform::PostCommandMessage(targetWindow, pair[1]);
        LockedContext locked(contextHandle);
        if (BatchContext* context = locked.initialised(); context && context->hotkeyPause != 0)
          TimedWait(*context, context->hotkeyPause);
      }
      return 1;
    }
    return 0;
  });
}

// The services below take the locked context itself, as the engine hands it to extenders.

std::uint16_t KEL_CDECL find_var(void* context, const char* name, std::int32_t report) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr || name == nullptr) return kNoSlot;
  return AtBoundary(record, kNoSlot, [&] { return kel::find_var(*record, name, report != 0); });
}

std::uint32_t KEL_CDECL VMalloc(void* context, std::uint32_t size) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr) return 0;
  return AtBoundary(record, std::uint32_t{0}, [&] { return kel::VMalloc(*record, size); });
}

void KEL_CDECL VFree(void* context, std::uint32_t offset) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr) return;
  AtBoundary(record, 0, [&] {
    kel::VFree(*record, offset);
    return 0;
  });
}

}  // extern "C"
