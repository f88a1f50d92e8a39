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
#include "errors/error_state.h"
#include "errors/report.h"
#include "host/pump.h"
#include "lang/array_record.h"
#include "lang/compiled_lines.h"
#include "lang/run_loop.h"
#include "lang/string_heap.h"
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

// Locks a context handle for one call; unlocks when the call returns.
class LockedContext {
 public:
  explicit LockedContext(void* handle) : handle_(handle) {
    if (handle_ == nullptr) return;
    // A block too small to hold the record would be written past its end: refuse it.
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

std::int32_t InitialiseContext(void* contextHandle, const char* text5, std::intptr_t arg6) {
  LockedContext locked(contextHandle);
  BatchContext* context = locked.get();
  if (context == nullptr) return kEntryFailed;
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
  InitialiseErrorReporting(*context);
  context->runningFunction = kNoFunction;
  context->resultSlot = kNoSlot;
  context->resultFrame = kNoSlot;
  std::memset(context->frames, 0, sizeof context->frames);
  context->selfHandle = contextHandle;
  context->initialisedMarker = kContextMarker;
  return static_cast<std::int32_t>(sizeof(VariableSlot));
}

std::int32_t BindVariableTable(void* hostWindow, void* contextHandle, std::intptr_t arg2,
                               std::intptr_t arg4, const char* text5, std::intptr_t arg6) {
  LockedContext locked(contextHandle);
  BatchContext* context = locked.initialised();
  auto* table = reinterpret_cast<platform::MemoryHandle>(arg2);
  if (context == nullptr || table == nullptr || arg4 < 2) return kEntryFailed;
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

std::int32_t AttachHeap(void* contextHandle, std::intptr_t arg2, std::intptr_t arg4,
                        std::intptr_t arg6) {
  LockedContext locked(contextHandle);
  BatchContext* context = locked.initialised();
  if (context == nullptr || arg2 == 0) return kEntryFailed;
  if (arg4 < static_cast<std::intptr_t>(kMinimumHeapBytes) || arg4 > 0x7FFFFFFF)
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
  auto* descriptor = reinterpret_cast<KelHeapDescriptor*>(arg6);
  if (descriptor != nullptr && descriptor->active != 0) context->heapDescriptor = descriptor;
  return 1;
}

std::int32_t ShutDown(void* contextHandle, std::intptr_t arg6) {
  LockedContext locked(contextHandle);
  BatchContext* context = locked.initialised();
  if (context == nullptr) return kEntryFailed;
  context->hostCallback = reinterpret_cast<void*>(arg6);
  // Local frames left by an interrupted function call go first, then the main table's arrays.
  if (context->currentFrame != 0) {
    platform::GlobalUnlock(context->varTable);
    context->currentFrame = 0;
    context->varTable = context->frames[0].handle;
    context->varSlots = static_cast<VariableSlot*>(platform::GlobalLock(context->varTable));
    context->varCount = context->frames[0].count;
    context->varCapacity = context->frames[0].capacity;
  }
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
  ReleaseFramePool(*context);
  DiscardMoreErrorInfo(*context);
  for (int i = 0; i < 4; ++i)
    FullPump(*context);
  FullPump(*context);
  context->initialisedMarker = 0;
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
  EntryGuard guard;
  switch (mode) {
    case KEL_MODE_CHECK:
      if (((arg2 >> 8) & 0xFF) == KEL_INTERFACE_VERSION) return KEL_INTERFACE_OK;
      platform::MessageBoxText(hostWindow, "Version Interface Incompatible", "DLL mismatch");
      return kEntryFailed;
    case KEL_MODE_CONTEXT:
      return InitialiseContext(contextHandle, text5, arg6);
    case KEL_MODE_VARIABLES:
      return BindVariableTable(hostWindow, contextHandle, arg2, arg4, text5, arg6);
    case KEL_MODE_HEAP:
      return AttachHeap(contextHandle, arg2, arg4, arg6);
    case KEL_MODE_SHUTDOWN:
      return ShutDown(contextHandle, arg6);
    default:
      return kEntryFailed;
  }
}

std::int32_t KEL_CDECL ProcessDaBatBuffer(void* hostWindow, void* contextHandle, void* scriptHandle,
                                          void* hostCallback, const void* hostKeywords) {
  LockedContext locked(contextHandle);
  BatchContext* context = locked.initialised();
  if (context == nullptr) return kEntryFailed;
  context->hostWindow = hostWindow;
  auto* text = static_cast<char*>(platform::GlobalLock(scriptHandle));
  if (text == nullptr) return kEntryFailed;
  std::size_t bytes = platform::GlobalSize(scriptHandle);
  struct TextLock {
    void* handle;
    ~TextLock() { platform::GlobalUnlock(handle); }
  } textLock{scriptHandle};
  // The text must end inside its block: a missing terminator is never read past.
  if (bytes == 0 || std::memchr(text, '\0', bytes) == nullptr) return kEntryFailed;
  if (!ConvertWideScript(*context, text, bytes)) return kEntryFailed;
  NormaliseLineEnds(text);
  // Includes are expanded and the text hidden in a block of the loader's own, so the host's
  // block keeps its size and its text.
  ScriptText script{};
  struct PreparedText {
    platform::MemoryHandle handle;
    ~PreparedText() { ReleaseScriptText(handle); }
  } prepared{PrepareScriptText(*context, text, context->scriptPath, "", script)};
  if (prepared.handle == nullptr) return kEntryFailed;
  if (context->varSlots == nullptr || context->heapBase == nullptr) return kEntryFailed;
  platform::GlobalLock(context->varTable);
  context->parentWindow = platform::ParentOrSelf(hostWindow);
  context->stopRequested = 0;
  context->stopByUser = 0;
  context->noYield = 0;
  context->announceStop = 1;
  context->hostCallback = hostCallback;
  context->hostKeywords = hostKeywords;
  context->currentCursor = context->waitCursor;
  // The host's window gets a moment to settle before and after the run; without a message
  // queue there is nothing to settle.
  if constexpr (platform::kHasMessageQueue) TimedWait(*context, 20);
  FullPump(*context);
  platform::ShowCursor(context->currentCursor);
  EvalValue result{};
  result.originSlot = kOriginNone;
  result.originFrame = kOriginNone;
  RunLoop(*context, script, result);
  ReleaseValue(*context, result.value, 0, kHolderEval);
  context->currentCursor = context->arrowCursor;
  if constexpr (platform::kHasMessageQueue) TimedWait(*context, 20);
  FullPump(*context);
  platform::ShowCursor(context->currentCursor);
  platform::GlobalUnlock(context->varTable);
  return 1;
}

std::int32_t KEL_CDECL HotKeyCheck(void* contextHandle, void* targetWindow,
                                   std::uint32_t messageKind, std::uint32_t keyCode,
                                   const void* hotkeyTable) {
  constexpr std::uint32_t kKeyDown = 256;
  constexpr int kShift = 16, kControl = 17, kAlt = 18;
  if (hotkeyTable == nullptr) return 0;
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
}

std::uint16_t KEL_CDECL find_var(void* context, const char* name, std::int32_t report) {
  if (context == nullptr || name == nullptr) return kNoSlot;
  return kel::find_var(*static_cast<BatchContext*>(context), name, report != 0);
}

std::uint32_t KEL_CDECL VMalloc(void* context, std::uint32_t size) {
  return context ? kel::VMalloc(*static_cast<BatchContext*>(context), size) : 0;
}

void KEL_CDECL VFree(void* context, std::uint32_t offset) {
  if (context) kel::VFree(*static_cast<BatchContext*>(context), offset);
}

}  // extern "C"
