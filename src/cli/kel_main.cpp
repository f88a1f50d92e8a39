// The `kel` command: a host that runs one script file through the engine's exported entry
// points, exactly as any other host would.
//
//   kel SCRIPT [ARG ...]
//
// Exit status: 0 when the script ended normally, 1 when a reported error ended it, 2 when it
// could not be started.
#include <cstdio>
#include <cstring>
#include <string>

#include "kel/kel_extender.h"
#include "kel/kel_host.h"
#include "platform/platform.h"

namespace {

using kel::platform::MemoryHandle;
namespace platform = kel::platform;

constexpr int kExitNormal = 0;
constexpr int kExitReportedError = 1;
constexpr int kExitNotStarted = 2;

// DLLServices requests the command uses.
constexpr std::int32_t kServiceSplitParameters = 11;
constexpr std::int32_t kServiceQuietMode = 23;
constexpr std::int32_t kServiceKeptReport = 25;
constexpr std::int32_t kServiceScriptPath = 40;

// The command's own functions, by their row in its keyword table.
enum HostFunction : std::int32_t { kHostStdOut = 0 };
constexpr std::size_t kHeapReservation = std::size_t{1} << 30;
constexpr std::size_t kHeapInitialCommit = 256 * 1024;

#if defined(_WIN32)
constexpr char kEngineLibrary[] = "kel.dll";
constexpr char kPathSeparator = '\\';
#else
constexpr char kEngineLibrary[] = "libkel.so";
constexpr char kPathSeparator = '/';
#endif

void Complain(const std::string& text) {
  std::string line = "kel: " + text + "\n";
  platform::WriteStandardError(line.data(), line.size());
}

// The engine library beside this program.
std::string EnginePath() {
  char path[4096];
  static const int anchor = 0;
  std::size_t length = platform::ModulePathOf(&anchor, path, sizeof path);
  std::string directory(path, length);
  std::size_t slash = directory.find_last_of(kPathSeparator == '/' ? "/" : "\\/");
  directory = slash == std::string::npos ? std::string(".") : directory.substr(0, slash);
  return directory + kPathSeparator + kEngineLibrary;
}

// The parameter text: each argument in double quotes when it holds a blank, joined by blanks.
std::string ParameterText(int argc, char** argv) {
  std::string text;
  for (int i = 2; i < argc; ++i) {
    if (!text.empty()) text += ' ';
    std::string arg = argv[i];
    bool quote = arg.find_first_of(" \t") != std::string::npos;
    text += quote ? "\"" + arg + "\"" : arg;
  }
  return text;
}

// The host's own functions, in the engine's keyword-row format.
KelKeywordRow HostRow(std::uint32_t id, const char* name, std::uint32_t argTypes,
                      std::uint32_t argCounts) {
  KelKeywordRow row{};
  row.id = id;
  row.kind = 2;
  row.argTypesLow = argTypes;
  row.argCounts = argCounts;
  row.nameLength = static_cast<std::uint16_t>(std::strlen(name));
  std::snprintf(row.name, sizeof row.name, "%s", name);
  return row;
}

// The entry of the command's own functions: the engine calls it like an extender and takes the
// answer through the callback it passes.
std::int32_t KEL_STDCALL HostEntry(void*, void*, std::uint32_t, std::int32_t request,
                                   KelAnswerFn answer, KelServicesBlock* services, std::uint32_t*,
                                   KelBoundaryValue* arguments, std::int32_t count,
                                   KelBoundaryValue*) {
  if (request < 0) return 0;  // notifications: the command asks for none
  KelBoundaryValue result{};
  result.flags = KEL_VALUE_INTEGER;
  switch (request) {
    case kHostStdOut: {
      // The engine has turned the argument into ANSI text (its row declares a string).
      const char* text =
          count > 0 && arguments[0].text ? static_cast<const char*>(arguments[0].text) : "";
      std::string line = std::string(text) + "\n";
      platform::WriteStandardOutput(line.data(), line.size());
      result.intValue = 1;
      break;
    }
    default:
      return -3;
  }
  return answer(0, 0, services, &result);
}

class Engine {
 public:
  ~Engine() {
    if (contextReady_) init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0);
    if (heap_ != nullptr) platform::ReleaseAddressSpace(heap_, kHeapReservation);
    if (table_ != nullptr) platform::GlobalFree(table_);
    if (context_ != nullptr) platform::GlobalFree(context_);
    if (library_ != nullptr) platform::FreeSharedLibrary(library_);
  }

  bool Load() {
    std::string path = EnginePath();
    library_ = platform::LoadSharedLibrary(path.c_str());
    if (library_ == nullptr) return Fail("cannot load the engine library " + path);
    init_ = reinterpret_cast<KelDoDaDllInitFn>(platform::FindSymbol(library_, "DoDaDllInit"));
    services_ = reinterpret_cast<KelDllServicesFn>(platform::FindSymbol(library_, "DLLServices"));
    run_ = reinterpret_cast<KelProcessDaBatBufferFn>(
        platform::FindSymbol(library_, "ProcessDaBatBuffer"));
    if (init_ == nullptr || run_ == nullptr)
      return Fail("the engine library lacks its entry points");
    return true;
  }

  // The host's call order: check, context, variable table, heap.
  bool Start() {
    if (init_(nullptr, nullptr, KEL_INTERFACE_ARG, KEL_MODE_CHECK, 0, nullptr, 0) !=
        KEL_INTERFACE_OK)
      return Fail("the engine's interface version does not match");
    context_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
    if (context_ == nullptr) return Fail("out of memory");
    std::int32_t slotBytes = init_(nullptr, context_, 0, KEL_MODE_CONTEXT, 0, "kel", 0);
    if (slotBytes <= 0) return Fail("the engine refused the context");
    contextReady_ = true;
    table_ = platform::GlobalAllocate(std::size_t(slotBytes) * KEL_DEFAULT_VARIABLE_SLOTS,
                                      platform::Fill::Zero);
    if (table_ == nullptr || init_(nullptr, context_, reinterpret_cast<std::intptr_t>(table_),
                                   KEL_MODE_VARIABLES, KEL_DEFAULT_VARIABLE_SLOTS, "kel", 0) != 1)
      return Fail("the engine refused the variable table");
    heap_ = platform::ReserveAddressSpace(kHeapReservation);
    if (heap_ == nullptr || !platform::CommitMemory(heap_, kHeapInitialCommit))
      return Fail("cannot reserve the string heap");
    descriptor_.active = 1;
    descriptor_.base = heap_;
    descriptor_.committedBytes = kHeapInitialCommit;
    descriptor_.reservedBytes = static_cast<std::uint32_t>(kHeapReservation);
    if (init_(nullptr, context_, reinterpret_cast<std::intptr_t>(heap_), KEL_MODE_HEAP,
              kHeapInitialCommit, nullptr, reinterpret_cast<std::intptr_t>(&descriptor_)) != 1)
      return Fail("the engine refused the string heap");
    return true;
  }

  // Runs the script text; the exit status.
  int Run(MemoryHandle script, const char* path, const std::string& parameters,
          const KelKeywordRow* keywords) {
    // Quiet mode: errors are kept for the command to print instead of shown in a box.
    services_(context_, kServiceQuietMode, reinterpret_cast<std::intptr_t>(""), 0, 1, 0);
    services_(context_, kServiceScriptPath, reinterpret_cast<std::intptr_t>(path), 0, 0, 0);
    services_(context_, kServiceSplitParameters,
              reinterpret_cast<std::intptr_t>(parameters.c_str()), 0, 0, 0);
    bool ran = run_(nullptr, context_, script, reinterpret_cast<void*>(&HostEntry), keywords) == 1;
    // A text that could not be prepared (an #include file that cannot be read) was refused
    // with a report; a refusal without one means the engine did not take the script at all.
    char line[2050] = {}, headline[2050] = {};
    if (services_(context_, kServiceKeptReport, reinterpret_cast<std::intptr_t>(line),
                  reinterpret_cast<std::intptr_t>(headline), sizeof line, 0) != 1)
      return ran ? kExitNormal : kExitNotStarted;
    std::string report = std::string(headline) + "\n  in " + path + ": " + line + "\n";
    platform::WriteStandardError(report.data(), report.size());
    return kExitReportedError;
  }

 private:
  bool Fail(const std::string& text) {
    Complain(text);
    return false;
  }

  void* library_ = nullptr;
  KelDoDaDllInitFn init_ = nullptr;
  KelProcessDaBatBufferFn run_ = nullptr;
  KelDllServicesFn services_ = nullptr;
  MemoryHandle context_ = nullptr;
  MemoryHandle table_ = nullptr;
  void* heap_ = nullptr;
  KelHeapDescriptor descriptor_{};
  bool contextReady_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Complain("usage: kel SCRIPT [ARG ...]");
    return kExitNotStarted;
  }
  std::size_t size = 0;
  MemoryHandle script = platform::ReadWholeFile(argv[1], &size);
  if (script == nullptr) {
    Complain(std::string("cannot read the script file ") + argv[1]);
    return kExitNotStarted;
  }
  const std::string parameters = ParameterText(argc, argv);
  // StdOut(value): one argument, declared as a string so the engine converts it.
  constexpr std::uint32_t kStringArgument = 1;
  const KelKeywordRow keywords[] = {HostRow(kHostStdOut, "stdout", kStringArgument, 1),
                                    KelKeywordRow{}};
  int status = kExitNotStarted;
  {
    Engine engine;
    if (engine.Load() && engine.Start()) status = engine.Run(script, argv[1], parameters, keywords);
  }
  platform::GlobalFree(script);
  return status;
}
