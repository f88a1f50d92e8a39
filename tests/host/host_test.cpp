// The exported entry points, called in the host's order from a program that loads the engine
// library as any host does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "kel/kel_extender.h"
#include "kel/kel_host.h"
#include "platform/platform.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

namespace platform = kel::platform;

// The DLLServices requests the test reads its results back with.
constexpr std::int32_t kServiceVariableText = 2;
constexpr std::int32_t kServiceRunError = 4;
constexpr std::int32_t kServiceRunResult = 5;
constexpr std::int32_t kServiceStop = 7;
constexpr std::int32_t kServiceQuietMode = 23;
constexpr std::int32_t kServiceKeptReport = 25;

// The answer of ViperAnswer when it could not take the answer, and what find_var answers for no
// slot.
constexpr std::int32_t kAnswerRefused = -4;
constexpr std::uint16_t kNoSlot = 65535;

using FindVarFn = std::uint16_t(KEL_CDECL*)(void*, const char*, std::int32_t);
using VMallocFn = std::uint32_t(KEL_CDECL*)(void*, std::uint32_t);
using VFreeFn = void(KEL_CDECL*)(void*, std::uint32_t);
using HotKeyCheckFn = std::int32_t(KEL_CDECL*)(void*, void*, std::uint32_t, std::uint32_t,
                                               const void*);
using LoadMyStringFn = std::int32_t(KEL_CDECL*)(void*, void*, std::uint32_t, char*, std::int32_t);
using LoadMyStringWFn = std::int32_t(KEL_CDECL*)(void*, void*, std::uint32_t, char16_t*,
                                                 std::int32_t);
using TokenFn = void(KEL_CDECL*)(void*);
using ParseYmdHmsFn = std::int32_t(KEL_CDECL*)(const char*, std::int32_t*, std::int32_t*,
                                               std::int32_t*, std::int32_t*, std::int32_t*,
                                               std::int32_t*, std::int32_t, std::int32_t);
using BoxProcedureFn = std::intptr_t(KEL_STDCALL*)(void*, std::uint32_t, std::uintptr_t,
                                                   std::intptr_t);

#if defined(_WIN32)
constexpr char kLibrary[] = "kel.dll";
#else
constexpr char kLibrary[] = "libkel.so";
#endif

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[4096];
    static const int anchor = 0;
    std::string self(path, platform::ModulePathOf(&anchor, path, sizeof path));
    std::string directory = self.substr(0, self.find_last_of("/\\") + 1);
    library_ = platform::LoadSharedLibrary((directory + kLibrary).c_str());
    ASSERT_NE(library_, nullptr) << directory + kLibrary;
    init_ = reinterpret_cast<KelDoDaDllInitFn>(platform::FindSymbol(library_, "DoDaDllInit"));
    run_ = reinterpret_cast<KelProcessDaBatBufferFn>(
        platform::FindSymbol(library_, "ProcessDaBatBuffer"));
    services_ = reinterpret_cast<KelDllServicesFn>(platform::FindSymbol(library_, "DLLServices"));
    ASSERT_NE(init_, nullptr);
    ASSERT_NE(run_, nullptr);
    ASSERT_NE(services_, nullptr);
  }
  void TearDown() override {
    if (heap_) platform::ReleaseAddressSpace(heap_, kReservation);
    if (table_) platform::GlobalFree(table_);
    if (context_) platform::GlobalFree(context_);
    if (library_) platform::FreeSharedLibrary(library_);
  }

  // Modes 0..3 in order; the slot size that mode 1 answered.
  std::int32_t StartContext() {
    EXPECT_EQ(init_(nullptr, nullptr, KEL_INTERFACE_ARG, KEL_MODE_CHECK, 0, nullptr, 0),
              KEL_INTERFACE_OK);
    context_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
    std::int32_t slotBytes = init_(nullptr, context_, 0, KEL_MODE_CONTEXT, 0, "host test", 0);
    table_ = platform::GlobalAllocate(std::size_t(slotBytes) * 100, platform::Fill::Zero);
    EXPECT_EQ(init_(nullptr, context_, reinterpret_cast<std::intptr_t>(table_), KEL_MODE_VARIABLES,
                    100, "", 0),
              1);
    heap_ = platform::ReserveAddressSpace(kReservation);
    EXPECT_TRUE(platform::CommitMemory(heap_, 65536));
    descriptor_.active = 1;
    descriptor_.base = heap_;
    descriptor_.committedBytes = 65536;
    descriptor_.reservedBytes = kReservation;
    EXPECT_EQ(init_(nullptr, context_, reinterpret_cast<std::intptr_t>(heap_), KEL_MODE_HEAP, 65536,
                    nullptr, reinterpret_cast<std::intptr_t>(&descriptor_)),
              1);
    // Quiet mode: a script error is kept for the host instead of shown in a box that would wait
    // for a user.
    services_(context_, kServiceQuietMode, reinterpret_cast<std::intptr_t>(""), 0, 1, 0);
    return slotBytes;
  }

  std::int32_t RunText(const void* bytes, std::size_t size) {
    platform::MemoryHandle script = platform::GlobalAllocate(size + 2, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(script), bytes, size);
    platform::GlobalUnlock(script);
    std::int32_t result = run_(nullptr, context_, script, nullptr, nullptr);
    platform::GlobalFree(script);
    return result;
  }

  // Runs a text that must run to its end without an error. The entry answers 1 for any text it
  // could run, so the run loop's own result and the error it ended with are read back too.
  void ExpectCleanRun(const void* bytes, std::size_t size, const char* what) {
    EXPECT_EQ(RunText(bytes, size), 1) << what;
    EXPECT_EQ(services_(context_, kServiceRunResult, 0, 0, 0, 0), 1) << what;
    EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 0) << what << ": " << Report();
  }

  // The headline of the error the engine last kept for the host, or "".
  std::string Report() {
    char line[512] = {}, headline[512] = {};
    services_(context_, kServiceKeptReport, reinterpret_cast<std::intptr_t>(line),
              reinterpret_cast<std::intptr_t>(headline), sizeof headline, 0);
    return headline;
  }

  // A variable's value as text ("" when there is no such variable).
  std::string Variable(const char* name) {
    char value[64] = {};
    services_(context_, kServiceVariableText, reinterpret_cast<std::intptr_t>(name),
              reinterpret_cast<std::intptr_t>(value), sizeof value, 0);
    return value;
  }

  template <typename Function>
  Function Entry(const char* name) {
    auto* entry = reinterpret_cast<Function>(platform::FindSymbol(library_, name));
    EXPECT_NE(entry, nullptr) << name;
    return entry;
  }

  static constexpr std::size_t kReservation = 8 * 1024 * 1024;
  void* library_ = nullptr;
  KelDoDaDllInitFn init_ = nullptr;
  KelProcessDaBatBufferFn run_ = nullptr;
  KelDllServicesFn services_ = nullptr;
  platform::MemoryHandle context_ = nullptr;
  platform::MemoryHandle table_ = nullptr;
  void* heap_ = nullptr;
  KelHeapDescriptor descriptor_{};
};

TEST_F(HostTest, TheHostCallOrderRunsAScriptAndShutsDown) {
  std::int32_t slotBytes = StartContext();
  EXPECT_EQ(slotBytes, sizeof(void*) == 4 ? 76 : 88);
  ExpectCleanRun("", 1, "an empty script runs");
  const char ansi[] = "x = 1\r\ny = 2\r";
  ExpectCleanRun(ansi, sizeof ansi, "an ANSI text with CR LF and CR line ends");
  EXPECT_EQ(Variable("x"), "1");
  EXPECT_EQ(Variable("y"), "2");
  const char utf16le[] =
      "\xFF\xFEx\0=\0 \0"
      "3\0\0";
  ExpectCleanRun(utf16le, sizeof utf16le, "a UTF-16 text");
  EXPECT_EQ(Variable("x"), "3");
  ExpectCleanRun("\xFF\xFE\0", 4, "a text that is only a byte-order mark is empty");
  const char again[] = "z = x + y";
  ExpectCleanRun(again, sizeof again, "a context runs any number of texts");
  EXPECT_EQ(Variable("z"), "5") << "variables survive from one run to the next";
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
  EXPECT_EQ(RunText("", 1), 0) << "a context that was shut down runs nothing";
}

// The variable table is the host's memory: a host may move variables between runs, and a line
// that has run before (a subroutine's body, kept from run to run) must still find its own.
TEST_F(HostTest, AVariableTheHostMovesBetweenRunsIsFound) {
  std::int32_t slotBytes = StartContext();
  auto text = [&](const char* name) { return Variable(name); };
  const char first[] =
      "#DefineSubroutine bump()\ncounter = counter + 1\n#EndSubroutine\n"
      "other = 100\ncounter = 1\nbump()\n";
  ExpectCleanRun(first, sizeof first, "the first run");
  ASSERT_EQ(text("counter"), "2");
  ASSERT_EQ(text("other"), "100");
  // Swap the slots of the two variables, names and values, as a host may.
  auto* table = static_cast<char*>(platform::GlobalLock(table_));
  const std::size_t bytes = static_cast<std::size_t>(slotBytes);
  auto slotOf = [&](const char* name) -> char* {
    for (int i = 0; i < 100; ++i)
      if (std::strcmp(table + i * bytes + bytes - 32, name) == 0) return table + i * bytes;
    return nullptr;
  };
  char* counter = slotOf("counter");
  char* other = slotOf("other");
  ASSERT_NE(counter, nullptr);
  ASSERT_NE(other, nullptr);
  std::string swap(counter, bytes);
  std::memcpy(counter, other, bytes);
  std::memcpy(other, swap.data(), bytes);
  platform::GlobalUnlock(table_);
  const char second[] = "bump()\nbump()\n";
  ExpectCleanRun(second, sizeof second, "the second run");
  EXPECT_EQ(text("counter"), "4");
  EXPECT_EQ(text("other"), "100");
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// What the clean runs above rely on: an error that ends a run is read back by the host.
TEST_F(HostTest, AnErrorThatEndsARunIsReadBack) {
  StartContext();
  const char script[] = "x = 1\nx = undefined_name\nx = 2";
  EXPECT_EQ(RunText(script, sizeof script), 1) << "the entry ran the text";
  EXPECT_EQ(services_(context_, kServiceRunResult, 0, 0, 0, 0), 0) << "the error ended the run";
  EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 3052);
  EXPECT_EQ(Report().substr(0, 4), "3052");
  EXPECT_EQ(Variable("x"), "1") << "the line after the error did not run";
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

TEST_F(HostTest, BadHandlesAndModesAreRefused) {
  EXPECT_EQ(init_(nullptr, nullptr, 0, KEL_MODE_CONTEXT, 0, nullptr, 0), 0);
  EXPECT_EQ(init_(nullptr, nullptr, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 0);
  EXPECT_EQ(init_(nullptr, nullptr, 0, 42, 0, nullptr, 0), 0);
  EXPECT_EQ(init_(nullptr, nullptr, 0, -1, 0, nullptr, 0), 0);
  platform::MemoryHandle small = platform::GlobalAllocate(64, platform::Fill::Zero);
  EXPECT_EQ(init_(nullptr, small, 0, KEL_MODE_CONTEXT, 0, nullptr, 0), 0)
      << "a context block too small";
  platform::GlobalFree(small);
  context_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_VARIABLES, 10, nullptr, 0), 0)
      << "mode 2 before mode 1";
  EXPECT_EQ(run_(nullptr, context_, nullptr, nullptr, nullptr), 0);
  ASSERT_GT(init_(nullptr, context_, 0, KEL_MODE_CONTEXT, 0, nullptr, 0), 0);
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_VARIABLES, 10, nullptr, 0), 0) << "no table";
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_HEAP, 65536, nullptr, 0), 0) << "no heap";
  platform::MemoryHandle text = platform::GlobalAllocate(8, platform::Fill::Zero);
  EXPECT_EQ(run_(nullptr, context_, text, nullptr, nullptr), 0) << "no variable table or heap yet";
  std::memset(platform::GlobalLock(text), 'a', 8);
  platform::GlobalUnlock(text);
  EXPECT_EQ(run_(nullptr, context_, text, nullptr, nullptr), 0) << "a text without its terminator";
  platform::GlobalFree(text);
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// Every entry answers its failure value to what it cannot use: no handle, a handle of something
// else, a block too small for a context, a context that mode 1 never set up or that mode 99
// shut down, a variable table too small, a heap that is not there. None of them is read past
// its end or written; the context they were refused on still works.
TEST_F(HostTest, EveryEntryRefusesWhatItCannotUse) {
  auto findVar = Entry<FindVarFn>("find_var");
  auto vmalloc = Entry<VMallocFn>("VMalloc");
  auto vfree = Entry<VFreeFn>("VFree");
  auto hotKeyCheck = Entry<HotKeyCheckFn>("HotKeyCheck");
  auto loadMyString = Entry<LoadMyStringFn>("LoadMyString");
  auto loadMyStringW = Entry<LoadMyStringWFn>("LoadMyStringW");
  auto getToken = Entry<TokenFn>("get_token");
  auto getStringToken = Entry<TokenFn>("get_string_token");
  auto putback = Entry<TokenFn>("putback");
  auto errorMsgProc = Entry<BoxProcedureFn>("ErrorMsgProc");
  auto stackInfoProc = Entry<BoxProcedureFn>("StackInfoProc");
  auto answer = Entry<KelAnswerFn>("ViperAnswer");
  ASSERT_TRUE(findVar && vmalloc && vfree && hotKeyCheck && loadMyString && loadMyStringW &&
              getToken && getStringToken && putback && errorMsgProc && stackInfoProc && answer);

  // Handles of every kind the engine must not take for a context.
  alignas(16) static unsigned char foreign[512] = {};  // memory that is no block at all
  platform::MemoryHandle small = platform::GlobalAllocate(64, platform::Fill::Zero);
  platform::MemoryHandle fresh = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
  platform::MemoryHandle closed = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
  ASSERT_GT(init_(nullptr, closed, 0, KEL_MODE_CONTEXT, 0, nullptr, 0), 0);
  ASSERT_EQ(init_(nullptr, closed, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
  void* freshRecord = platform::GlobalLock(fresh);  // what an extender would be handed
  void* closedRecord = platform::GlobalLock(closed);
  void* unreadable = platform::ReserveAddressSpace(65536);  // reserved, never committed
  ASSERT_NE(unreadable, nullptr);
  struct Handle {
    const char* what;
    void* handle;
  };
  const Handle contexts[] = {{"no handle", nullptr},
                             {"a foreign handle", foreign},
                             {"a handle into memory that cannot be read", unreadable},
                             {"a block too small for a context", small},
                             {"a context mode 1 never set up", fresh},
                             {"a context mode 99 shut down", closed}};

  // A context set up with modes 1 and 2, for the variable table and heap cases.
  context_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
  std::int32_t slotBytes = init_(nullptr, context_, 0, KEL_MODE_CONTEXT, 0, "host test", 0);
  ASSERT_GT(slotBytes, 0);
  platform::MemoryHandle oneSlot =
      platform::GlobalAllocate(std::size_t(slotBytes), platform::Fill::Zero);
  table_ = platform::GlobalAllocate(std::size_t(slotBytes) * 100, platform::Fill::Zero);
  auto bind = [&](platform::MemoryHandle table, std::intptr_t slots) {
    return init_(nullptr, context_, reinterpret_cast<std::intptr_t>(table), KEL_MODE_VARIABLES,
                 slots, "", 0);
  };
  // The heap cases: memory the host has given back already, and descriptors whose figures do
  // not hold.
  void* gone = platform::ReserveAddressSpace(65536);
  ASSERT_NE(gone, nullptr);
  heap_ = platform::ReserveAddressSpace(kReservation);
  ASSERT_TRUE(platform::CommitMemory(heap_, 65536));
  descriptor_ = KelHeapDescriptor{};
  descriptor_.active = 1;
  descriptor_.base = heap_;
  descriptor_.committedBytes = 65536;
  KelHeapDescriptor tooSmall = descriptor_;
  tooSmall.reservedBytes = 4096;  // less than the 65536 bytes said to be committed
  auto attach = [&](void* base, std::intptr_t committed, KelHeapDescriptor* descriptor) {
    return init_(nullptr, context_, reinterpret_cast<std::intptr_t>(base), KEL_MODE_HEAP, committed,
                 nullptr, reinterpret_cast<std::intptr_t>(descriptor));
  };

  struct Case {
    std::string what;
    std::function<std::intptr_t()> call;
    std::intptr_t refused;
  };
  std::vector<Case> cases;
  char buffer[64];
  for (const Handle& h : contexts) {
    void* c = h.handle;
    std::string on = std::string(" on ") + h.what;
    if (c != fresh && c != closed)  // mode 1 sets up (or again) any block big enough
      cases.push_back({"mode 1" + on,
                       [=, this] { return init_(nullptr, c, 0, KEL_MODE_CONTEXT, 0, "", 0); }, 0});
    cases.push_back({"mode 2" + on,
                     [=, this] {
                       return init_(nullptr, c, reinterpret_cast<std::intptr_t>(table_),
                                    KEL_MODE_VARIABLES, 100, "", 0);
                     },
                     0});
    cases.push_back({"mode 3" + on,
                     [=, this] {
                       return init_(nullptr, c, reinterpret_cast<std::intptr_t>(heap_),
                                    KEL_MODE_HEAP, 65536, nullptr, 0);
                     },
                     0});
    cases.push_back({"mode 99" + on,
                     [=, this] { return init_(nullptr, c, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0); },
                     0});
    cases.push_back({"a run" + on,
                     [=, this] {
                       platform::MemoryHandle script =
                           platform::GlobalAllocate(8, platform::Fill::Zero);
                       std::int32_t ran = run_(nullptr, c, script, nullptr, nullptr);
                       platform::GlobalFree(script);
                       return std::intptr_t{ran};
                     },
                     0});
    cases.push_back(
        {"DLLServices" + on, [=, this] { return services_(c, kServiceRunError, 0, 0, 0, 0); }, 0});
    cases.push_back({"ViperAnswer" + on,
                     [=, this] {
                       alignas(16) static unsigned char result[256] = {};
                       KelServicesBlock call{};
                       call.contextHandle = c;
                       call.result = result;
                       KelBoundaryValue value{};
                       value.flags = KEL_VALUE_INTEGER;
                       return std::intptr_t{answer(0, 0, &call, &value)};
                     },
                     kAnswerRefused});
  }
  // A message is fetched without a context too: one that is not set up is taken for none.
  char16_t wideBuffer[64];
  const std::int32_t message = loadMyString(nullptr, nullptr, 3096, buffer, sizeof buffer);
  const std::int32_t wideMessage = loadMyStringW(nullptr, nullptr, 3096, wideBuffer, 64);
  EXPECT_GT(message, 0);
  EXPECT_GT(wideMessage, 0);
  for (void* record : {static_cast<void*>(nullptr), freshRecord, closedRecord}) {
    std::string on = record == nullptr       ? " on no context"
                     : record == freshRecord ? " on a context mode 1 never set up"
                                             : " on a context mode 99 shut down";
    cases.push_back(
        {"find_var" + on, [=, this] { return std::intptr_t{findVar(record, "x", 1)}; }, kNoSlot});
    cases.push_back({"VMalloc" + on, [=, this] { return std::intptr_t{vmalloc(record, 16)}; }, 0});
    cases.push_back({"VFree" + on,
                     [=, this] {
                       vfree(record, 64);
                       return std::intptr_t{0};
                     },
                     0});
    cases.push_back({"get_token and putback" + on,
                     [=, this] {
                       getToken(record);
                       putback(record);
                       return std::intptr_t{0};
                     },
                     0});
    cases.push_back({"get_string_token" + on,
                     [=, this] {
                       getStringToken(record);
                       return std::intptr_t{0};
                     },
                     0});
    if (record == nullptr) continue;
    cases.push_back({"LoadMyString" + on,
                     [=, &buffer, this] {
                       return std::intptr_t{
                           loadMyString(record, nullptr, 3096, buffer, sizeof buffer)};
                     },
                     message});
    cases.push_back({"LoadMyStringW" + on,
                     [=, &wideBuffer, this] {
                       return std::intptr_t{loadMyStringW(record, nullptr, 3096, wideBuffer, 64)};
                     },
                     wideMessage});
  }
  cases.push_back(
      {"ErrorMsgProc without a window", [=, this] { return errorMsgProc(nullptr, 0, 0, 0); }, 0});
  cases.push_back(
      {"StackInfoProc without a window", [=, this] { return stackInfoProc(nullptr, 0, 0, 0); }, 0});
  cases.push_back({"ViperAnswer without a call",
                   [=, this] { return std::intptr_t{answer(0, 0, nullptr, nullptr)}; },
                   kAnswerRefused});
  cases.push_back(
      {"HotKeyCheck without a table",
       [=, this] { return std::intptr_t{hotKeyCheck(nullptr, nullptr, 256, 65, nullptr)}; }, 0});
  cases.push_back(
      {"LoadMyString without a buffer",
       [=, this] { return std::intptr_t{loadMyString(nullptr, nullptr, 3096, nullptr, 64)}; }, 0});
  cases.push_back({"LoadMyString with a size of 0",
                   [&] { return std::intptr_t{loadMyString(nullptr, nullptr, 3096, buffer, 0)}; },
                   0});
  cases.push_back({"a run before the table and the heap",
                   [&] {
                     platform::MemoryHandle script =
                         platform::GlobalAllocate(8, platform::Fill::Zero);
                     std::int32_t ran = run_(nullptr, context_, script, nullptr, nullptr);
                     platform::GlobalFree(script);
                     return std::intptr_t{ran};
                   },
                   0});
  cases.push_back({"a variable table that is no block",
                   [&] {
                     return std::intptr_t{bind(
                         static_cast<platform::MemoryHandle>(static_cast<void*>(foreign)), 100)};
                   },
                   0});
  cases.push_back(
      {"a variable table of one slot", [&] { return std::intptr_t{bind(oneSlot, 100)}; }, 0});
  cases.push_back({"a variable table said to hold one slot",
                   [&] { return std::intptr_t{bind(table_, 1)}; }, 0});
  cases.push_back({"a variable table said to hold fewer than none",
                   [&] { return std::intptr_t{bind(table_, -5)}; }, 0});
  for (Case& c : cases)
    EXPECT_EQ(c.call(), c.refused) << c.what;

  // The context the refusals were tried on: bound, then the heap cases, then a script runs.
  ASSERT_EQ(bind(table_, 100), 1);
  const Case heaps[] = {
      {"a heap reservation of 0 bytes (no address)",
       [&] { return std::intptr_t{attach(nullptr, 65536, &descriptor_)}; }, 0},
      {"a heap of 0 committed bytes", [&] { return std::intptr_t{attach(heap_, 0, &descriptor_)}; },
       0},
      {"a heap smaller than its header",
       [&] { return std::intptr_t{attach(heap_, 16, &descriptor_)}; }, 0},
      // Given back just before it is offered: an address range given back earlier may have
      // been taken again by the time the engine looks at it.
      {"a heap the host has given back",
       [&] {
         platform::ReleaseAddressSpace(gone, 65536);
         return std::intptr_t{attach(gone, 65536, nullptr)};
       },
       0},
      {"a reservation smaller than what is committed",
       [&] { return std::intptr_t{attach(heap_, 65536, &tooSmall)}; }, 0},
  };
  for (const Case& c : heaps)
    EXPECT_EQ(c.call(), c.refused) << c.what;
  descriptor_.reservedBytes = kReservation;
  ASSERT_EQ(attach(heap_, 65536, &descriptor_), 1);
  services_(context_, kServiceQuietMode, reinterpret_cast<std::intptr_t>(""), 0, 1, 0);
  const char script[] = "x = StrCat(\"still \", \"works\")";
  ExpectCleanRun(script, sizeof script, "the context the refusals were tried on");
  EXPECT_EQ(Variable("x"), "still works");
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);

  platform::GlobalUnlock(fresh);
  platform::GlobalUnlock(closed);
  for (platform::MemoryHandle handle : {small, fresh, closed, oneSlot})
    platform::GlobalFree(handle);
  platform::ReleaseAddressSpace(unreadable, 65536);
}

// The date reader is exported by its plain name for hosts and extenders.
TEST_F(HostTest, ParseYMDHMSReadsDatesForHostsAndExtenders) {
  auto parse = Entry<ParseYmdHmsFn>("ParseYMDHMS");
  ASSERT_NE(parse, nullptr);
  std::int32_t f[6] = {-1, -1, -1, -1, -1, -1};
  EXPECT_EQ(parse("13:05:07", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], 1, 1), 1);
  EXPECT_EQ(std::vector<std::int32_t>(f, f + 6), (std::vector<std::int32_t>{2013, 5, 7, 0, 0, 0}));
  EXPECT_EQ(parse("2012:02:29:23:59:59", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], 1, 0), 1);
  EXPECT_EQ(std::vector<std::int32_t>(f, f + 6),
            (std::vector<std::int32_t>{2012, 2, 29, 23, 59, 59}));
  EXPECT_EQ(parse("2013:02:29", &f[0], nullptr, nullptr, nullptr, nullptr, nullptr, 1, 1), 0);
  EXPECT_EQ(parse("0:14:0:99:99:90000", nullptr, &f[1], nullptr, nullptr, nullptr, &f[5], 0, 0), 1);
  EXPECT_EQ(f[1], 14);
  EXPECT_EQ(f[5], 90000);
  EXPECT_EQ(parse(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1, 1), 0);
  EXPECT_EQ(parse("2013:01:01", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 4, 1), 0)
      << "an unknown mode";
}

// A host that asks the script to stop (here from another thread, as a host's window thread
// would while its script runs on a worker) ends a wait at once: these waits would otherwise
// last for years or days. The request is repeated until the run returns, since a run begins
// by clearing any stop asked before it.
TEST_F(HostTest, AStopRequestFromTheHostEndsAWait) {
  StartContext();
  const char* waits[] = {"before = 1\nx = TimeWait(\"2099:01:01:00:00:00\")\nafter = 1\n",
                         "before = 2\nx = TimeDelay(100000)\nafter = 2\n",
                         "before = 3\nx = Delay(100000.5)\nafter = 3\n"};
  for (const char* text : waits) {
    std::atomic<bool> done{false};
    std::thread host([&] {
      while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        services_(context_, kServiceStop, 0, 0, 0, 0);
      }
    });
    EXPECT_EQ(RunText(text, std::strlen(text) + 1), 1) << text;
    done = true;
    host.join();
    EXPECT_EQ(services_(context_, kServiceRunResult, 0, 0, 0, 0), 0) << "the stop ended the run";
    EXPECT_EQ(Variable("before"), std::string(1, text[9]));
    EXPECT_EQ(Variable("after"), "") << text;
  }
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// A stop request is a cancel that the script's cancel handler may take: with a CANCEL label the
// run goes on there (once, in mode 1); without a handler the run ends as before.
TEST_F(HostTest, AStopRequestGoesToTheCancelHandler) {
  StartContext();
  const char* text =
      "IntControl(72, 1, 0, \"\", \"\")\nx = TimeDelay(100000)\nafter = 1\nExit\n"
      ":CANCEL\ncancelled = tverrortextstring\n";
  std::atomic<bool> done{false};
  std::thread host([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    services_(context_, kServiceStop, 0, 0, 0, 0);
    while (!done)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  EXPECT_EQ(RunText(text, std::strlen(text) + 1), 1);
  done = true;
  host.join();
  EXPECT_EQ(Variable("after"), "");
  EXPECT_EQ(Variable("cancelled"), "Cancel");
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// Whether a handle of this process holds the file open.
bool HeldOpen(const std::filesystem::path& path) {
#if defined(_WIN32)
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
  ::CloseHandle(file);
  return false;
#else
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error))
    if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
  return false;
#endif
}

// Files a script opened and never closed are closed when the host shuts its context down.
TEST_F(HostTest, FilesAScriptLeftOpenAreClosedAtShutdown) {
  StartContext();
  std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("kel_host_open_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  {
    std::FILE* file = std::fopen(path.string().c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  path = std::filesystem::canonical(path);
  std::string script =
      "a = FileOpen(\"" + path.string() + "\", \"WRITE\")\nFileWrite(a, \"kept\")\n";
  ExpectCleanRun(script.c_str(), script.size() + 1, "opening without closing");
  EXPECT_TRUE(HeldOpen(path));
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
  EXPECT_FALSE(HeldOpen(path)) << "the handle is closed";
  EXPECT_EQ(std::filesystem::file_size(path), 6u) << "and what was written is kept";
  std::filesystem::remove(path);
}

// An empty list is offered to the host's "itemizenull" function, with "0" for files and "1"
// for directories; its answer is the result.
std::int32_t KEL_STDCALL ItemizeNullEntry(void*, void*, std::uint32_t, std::int32_t request,
                                          KelAnswerFn answer, KelServicesBlock* services,
                                          std::uint32_t*, KelBoundaryValue* arguments,
                                          std::int32_t count, KelBoundaryValue*) {
  if (request < 0) return 0;  // notifications
  static std::string text;
  text = "from host " + std::string(count == 1 && arguments[0].text != nullptr
                                        ? static_cast<const char*>(arguments[0].text)
                                        : "?");
  KelBoundaryValue value{};
  value.flags = KEL_VALUE_TEXT;
  value.text = text.c_str();
  return answer(0, 0, services, &value);
}

TEST_F(HostTest, ItemizingAnEmptyListAsksTheHost) {
  StartContext();
  KelKeywordRow keywords[2] = {};
  keywords[0].kind = 2;  // a function
  keywords[0].argCounts = 1;
  keywords[0].argTypesLow = 1;  // one string
  std::snprintf(keywords[0].name, sizeof keywords[0].name, "%s", "itemizenull");
  keywords[0].nameLength = 11;
  const char text[] = "f = FileItemize(\"\")\nd = DirItemize(\"\")\np = FileItemPath(\"\")\n";
  platform::MemoryHandle script = platform::GlobalAllocate(sizeof text + 2, platform::Fill::Zero);
  std::memcpy(platform::GlobalLock(script), text, sizeof text);
  platform::GlobalUnlock(script);
  EXPECT_EQ(run_(nullptr, context_, script, reinterpret_cast<void*>(&ItemizeNullEntry), keywords),
            1);
  platform::GlobalFree(script);
  EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 0) << Report();
  EXPECT_EQ(Variable("f"), "from host 0");
  EXPECT_EQ(Variable("d"), "from host 1");
  EXPECT_EQ(Variable("p"), "") << "FileItemPath asks for itemizenull2, which this host lacks";
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// A host reaches a script's buffer through the variable that holds its handle, or the handle:
// its address, size and end of data, and the end of data set with or without the checks.
TEST_F(HostTest, AHostReachesABufferThroughItsVariable) {
  StartContext();
  const char text[] = "b = BinaryAlloc(10)\nBinaryPokeStr(b, 0, \"abc\")\n";
  ExpectCleanRun(text, sizeof text, "the buffer");
  const auto name = reinterpret_cast<std::intptr_t>("b");
  const auto none = reinterpret_cast<std::intptr_t>("");
  constexpr std::int32_t kBufferFact = 43, kBufferEnd = 44;
  constexpr std::intptr_t handle = 987659;  // the first buffer of a context
  EXPECT_EQ(services_(context_, kBufferFact, name, 0, 2, 0), 10);
  EXPECT_EQ(services_(context_, kBufferFact, none, handle, 3, 0), 3);
  const auto* data = reinterpret_cast<const char*>(services_(context_, kBufferFact, name, 0, 1, 0));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, 3), "abc");
  EXPECT_EQ(services_(context_, kBufferFact, reinterpret_cast<std::intptr_t>("nosuch"), 0, 2, 0),
            0);
  EXPECT_EQ(services_(context_, kBufferFact, name, 0, 7, 0), 0);
  EXPECT_EQ(services_(context_, kBufferEnd, name, 0, 0, 11), 0) << "beyond the size";
  EXPECT_EQ(services_(context_, kBufferEnd, name, 0, 0, -1), 0) << "negative";
  EXPECT_EQ(services_(context_, kBufferFact, name, 0, 3, 0), 3) << "a refused end changes nothing";
  EXPECT_EQ(services_(context_, kBufferEnd, none, handle, 0, 5), 5);
  EXPECT_EQ(services_(context_, kBufferEnd, name, 0, -1, 50), 10)
      << "unchecked, the end of data still stays inside the buffer";
  const char check[] = "e = BinaryEodGet(b)\n";
  ExpectCleanRun(check, sizeof check, "the script sees the end the host set");
  EXPECT_EQ(Variable("e"), "10");
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// What a host that follows the script heard: one line per notification, the request and the
// five items separated by "|". The host ends the run at the statement whose offset is `stopAt`,
// and moves the current directory on every notification (the script must not notice).
struct Notices {
  std::vector<std::string> heard;
  std::string stopAt = "none";
  std::filesystem::path elsewhere;
};
Notices notices;

std::int32_t KEL_STDCALL FollowingHostEntry(void*, void*, std::uint32_t, std::int32_t request,
                                            KelAnswerFn, KelServicesBlock*, std::uint32_t*,
                                            KelBoundaryValue* arguments, std::int32_t count,
                                            KelBoundaryValue*) {
  if (request >= 0) return 0;
  std::string line = std::to_string(request);
  for (int i = 0; i < count; ++i)
    line +=
        "|" + std::string(arguments[i].text != nullptr ? static_cast<const char*>(arguments[i].text)
                                                       : "?");
  // The text's address changes from run to run: only its presence is kept.
  if (request == -1 && count == 5 &&
      std::string(static_cast<const char*>(arguments[0].text)) != "1")
    line = "-1|" + std::string(static_cast<const char*>(arguments[0].text)) + "|TEXT|" +
           static_cast<const char*>(arguments[2].text) + "|" +
           static_cast<const char*>(arguments[3].text) + "|" +
           static_cast<const char*>(arguments[4].text);
  notices.heard.push_back(line);
  std::filesystem::current_path(notices.elsewhere);
  return request == -1 && count == 5 && arguments[2].text != nullptr &&
                 notices.stopAt == static_cast<const char*>(arguments[2].text)
             ? -6
             : 0;
}

// A host that sets the notify mask is told of every statement (skipped ones included), of a
// called script file entering and leaving, and can end the run from a notification.
TEST_F(HostTest, AHostFollowsTheScriptStatementByStatement) {
  StartContext();
  const std::filesystem::path home = std::filesystem::current_path();
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kel-notices";
  std::filesystem::create_directories(folder);
  notices = Notices{};
  notices.elsewhere = folder;
  auto run = [&](const std::string& text) {
    platform::MemoryHandle script = platform::GlobalAllocate(text.size() + 2, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(script), text.data(), text.size());
    platform::GlobalUnlock(script);
    std::int32_t result =
        run_(nullptr, context_, script, reinterpret_cast<void*>(&FollowingHostEntry), nullptr);
    platform::GlobalFree(script);
    std::filesystem::current_path(home);
    return result;
  };
  EXPECT_EQ(services_(context_, KEL_SERVICE_NOTIFY_MASK, 0, 0, KEL_NOTIFY_STATEMENT, 0), 0);
  EXPECT_EQ(services_(context_, KEL_SERVICE_NOTIFY_MASK, 0, 0, -1, 0), KEL_NOTIFY_STATEMENT)
      << "a negative mask only reads it";
  // The statements begin 0, 6, 18, 24 and 30 characters into the script; the offsets are those
  // of the text the engine runs, which may hold more before the script's first line.
  EXPECT_EQ(run("a = 1\nIf a == 2\n  b = 1\nEndIf\nd = DirGet()\n"), 1);
  EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 0) << Report();
  ASSERT_FALSE(notices.heard.empty());
  const int base = std::stoi(notices.heard[0].substr(notices.heard[0].find("TEXT|") + 5));
  auto statement = [&](int offset, const char* skipping) {
    return "-1|2|TEXT|" + std::to_string(base + offset) + "|0|" + skipping;
  };
  EXPECT_EQ(notices.heard,
            (std::vector<std::string>{statement(0, "0"), statement(6, "0"), statement(18, "1"),
                                      statement(24, "1"), statement(30, "0")}));
  EXPECT_EQ(std::filesystem::path(Variable("d")), home / "")
      << "the directory the host moved to is given back before the statement runs";

  // The host ends the run before the third statement.
  notices.heard.clear();
  notices.stopAt = std::to_string(base + 14);
  EXPECT_EQ(run("a = 10\nb = 20\nc = 30\n"), 1);
  EXPECT_EQ(services_(context_, kServiceRunResult, 0, 0, 0, 0), 0);
  EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 9012);
  EXPECT_EQ(notices.heard.size(), 3u);
  EXPECT_EQ(Variable("b"), "20");
  EXPECT_EQ(Variable("c"), "");

  // Call: the called file is announced before and after, with the depth and the outcome.
  notices = Notices{};
  notices.elsewhere = folder;
  const std::filesystem::path called = folder / "called.kel";
  {
    std::FILE* file = std::fopen(called.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("inside = 1\n", file);
    std::fclose(file);
  }
  services_(context_, KEL_SERVICE_NOTIFY_MASK, 0, 0,
            KEL_NOTIFY_CALLED_FILE | KEL_NOTIFY_SCRIPT_FILE, 0);
  EXPECT_EQ(run("Call(\"" + called.generic_string() + "\", \"\")\n"), 1);
  EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 0) << Report();
  EXPECT_EQ(Variable("inside"), "1");
  const std::string path = called.generic_string();
  ASSERT_EQ(notices.heard.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    std::string heard = notices.heard[i];
    std::replace(heard.begin(), heard.end(), '\\', '/');
    notices.heard[i] = heard;
  }
  EXPECT_EQ(notices.heard,
            (std::vector<std::string>{"-4|" + path + "|1|1||", "-5|" + path + "|1|||",
                                      "-4|" + path + "|1|0||", "-5|" + path + "|0|||"}));
  services_(context_, KEL_SERVICE_NOTIFY_MASK, 0, 0, 0, 0);
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
  std::filesystem::remove_all(folder);
}

#if !defined(_WIN32)
// Something thrown in the middle of a run (memory running out in the standard library; here the
// host's own function throws, from deep inside a statement) ends at the entry: the run fails
// with the memory error, kept for the host like any error that ends a run, and the context runs
// its next text and shuts down as usual, also when the run was broken off inside a function.
// (Windows is left out: an exception thrown across the boundary of two modules with their own
// runtime is not the host's to throw there.)
std::int32_t KEL_STDCALL ThrowingHostEntry(void*, void*, std::uint32_t, std::int32_t request,
                                           KelAnswerFn, KelServicesBlock*, std::uint32_t*,
                                           KelBoundaryValue*, std::int32_t, KelBoundaryValue*) {
  if (request < 0) return 0;  // notifications
  throw std::bad_alloc();
}

TEST_F(HostTest, AFailureThrownInARunEndsTheRunAndLeavesTheContextUsable) {
  StartContext();
  KelKeywordRow keywords[2] = {};
  keywords[0].kind = 2;  // a function without arguments
  std::snprintf(keywords[0].name, sizeof keywords[0].name, "%s", "boom");
  keywords[0].nameLength = 4;
  auto run = [&](const char* text) {
    platform::MemoryHandle script =
        platform::GlobalAllocate(std::strlen(text) + 2, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(script), text, std::strlen(text));
    platform::GlobalUnlock(script);
    std::int32_t result =
        run_(nullptr, context_, script, reinterpret_cast<void*>(&ThrowingHostEntry), keywords);
    platform::GlobalFree(script);
    return result;
  };
  const char* broken[] = {
      "kept = 1\nx = StrLen(\"ab\" : boom())\nnot = 1\n",
      "#DefineFunction deep(n)\n  a = ArrDimension(3)\n  If n == 0 Then Return boom()\n"
      "  Return deep(n - 1)\n#EndFunction\nWhile 1\n  For i = 1 To 2\n    x = deep(3)\n"
      "  Next\nEndWhile\n",
  };
  for (const char* text : broken) {
    EXPECT_EQ(run(text), 0) << text;
    EXPECT_EQ(services_(context_, kServiceRunResult, 0, 0, 0, 0), 0) << text;
    EXPECT_EQ(services_(context_, kServiceRunError, 0, 0, 0, 0), 1588) << text;
    EXPECT_EQ(Report().substr(0, 4), "1588") << text;
    EXPECT_EQ(Variable("kept"), "1");
    EXPECT_EQ(Variable("not"), "") << "the run ended where it was broken off";
    const char next[] =
        "#DefineFunction twice(n)\n  Return n * 2\n#EndFunction\ny = twice(kept + 1)";
    ExpectCleanRun(next, sizeof next, "the next text");
    EXPECT_EQ(Variable("y"), "4");
  }
  EXPECT_EQ(init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
}

// On Windows a version mismatch shows a modal box; elsewhere it is reported on standard error.
TEST_F(HostTest, AnInterfaceMismatchIsRefused) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(init_(nullptr, nullptr, 18 << 8, KEL_MODE_CHECK, 0, nullptr, 0), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Version Interface Incompatible"),
            std::string::npos);
}
#endif

}  // namespace
