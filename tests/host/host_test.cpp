// The exported entry points, called in the host's order from a program that loads the engine
// library as any host does.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kel/kel_extender.h"
#include "kel/kel_host.h"
#include "platform/platform.h"

namespace {

namespace platform = kel::platform;

// The DLLServices requests the test reads its results back with.
constexpr std::int32_t kServiceVariableText = 2;
constexpr std::int32_t kServiceRunError = 4;
constexpr std::int32_t kServiceRunResult = 5;
constexpr std::int32_t kServiceQuietMode = 23;
constexpr std::int32_t kServiceKeptReport = 25;

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

#if !defined(_WIN32)
// On Windows a version mismatch shows a modal box; elsewhere it is reported on standard error.
TEST_F(HostTest, AnInterfaceMismatchIsRefused) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(init_(nullptr, nullptr, 18 << 8, KEL_MODE_CHECK, 0, nullptr, 0), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Version Interface Incompatible"),
            std::string::npos);
}
#endif

}  // namespace
