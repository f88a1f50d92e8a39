// Times whole script runs: each .kel file of the benchmark folder becomes one case that runs
// the script through ProcessDaBatBuffer in a context set up once, as a host does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "kel/kel_host.h"
#include "platform/platform.h"

namespace {

namespace platform = kel::platform;

#if defined(_WIN32)
constexpr char kLibrary[] = "kel.dll";
#else
constexpr char kLibrary[] = "libkel.so";
#endif

struct Engine {
  void* library = nullptr;
  KelDoDaDllInitFn init = nullptr;
  KelProcessDaBatBufferFn run = nullptr;
};

Engine& LoadedEngine() {
  static Engine engine = [] {
    Engine e;
    char path[4096];
    static const int anchor = 0;
    std::string self(path, platform::ModulePathOf(&anchor, path, sizeof path));
    std::string directory = self.substr(0, self.find_last_of("/\\") + 1);
    e.library = platform::LoadSharedLibrary((directory + kLibrary).c_str());
    e.init = reinterpret_cast<KelDoDaDllInitFn>(platform::FindSymbol(e.library, "DoDaDllInit"));
    e.run = reinterpret_cast<KelProcessDaBatBufferFn>(
        platform::FindSymbol(e.library, "ProcessDaBatBuffer"));
    return e;
  }();
  return engine;
}

// One context for the whole benchmark case: variables and the heap are reused between runs,
// as they are when a host runs many scripts.
class Context {
 public:
  explicit Context(const Engine& engine) : engine_(engine) {
    context_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
    std::int32_t slotBytes = engine_.init(nullptr, context_, 0, KEL_MODE_CONTEXT, 0, "bench", 0);
    table_ = platform::GlobalAllocate(std::size_t(slotBytes) * KEL_DEFAULT_VARIABLE_SLOTS,
                                      platform::Fill::Zero);
    engine_.init(nullptr, context_, reinterpret_cast<std::intptr_t>(table_), KEL_MODE_VARIABLES,
                 KEL_DEFAULT_VARIABLE_SLOTS, "bench", 0);
    heap_ = platform::ReserveAddressSpace(kReservation);
    platform::CommitMemory(heap_, kInitial);
    descriptor_.active = 1;
    descriptor_.base = heap_;
    descriptor_.committedBytes = kInitial;
    descriptor_.reservedBytes = kReservation;
    engine_.init(nullptr, context_, reinterpret_cast<std::intptr_t>(heap_), KEL_MODE_HEAP, kInitial,
                 nullptr, reinterpret_cast<std::intptr_t>(&descriptor_));
  }
  ~Context() {
    engine_.init(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0);
    platform::ReleaseAddressSpace(heap_, kReservation);
    platform::GlobalFree(table_);
    platform::GlobalFree(context_);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  std::int32_t Run(const std::string& text) {
    // The engine works on the text in place (line ends, cached jumps), so every run gets a
    // fresh copy.
    platform::MemoryHandle script = platform::GlobalAllocate(text.size() + 2, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(script), text.data(), text.size());
    platform::GlobalUnlock(script);
    std::int32_t result = engine_.run(nullptr, context_, script, nullptr, nullptr);
    platform::GlobalFree(script);
    return result;
  }

 private:
  static constexpr std::size_t kReservation = std::size_t{256} << 20;
  static constexpr std::size_t kInitial = 256 * 1024;
  const Engine& engine_;
  platform::MemoryHandle context_ = nullptr;
  platform::MemoryHandle table_ = nullptr;
  void* heap_ = nullptr;
  KelHeapDescriptor descriptor_{};
};

void RunScript(benchmark::State& state, const std::string& text) {
  const Engine& engine = LoadedEngine();
  if (engine.run == nullptr) {
    state.SkipWithError("the engine library could not be loaded");
    return;
  }
  Context context(engine);
  for (auto _ : state) {
    if (context.Run(text) != 1) {
      state.SkipWithError("the script did not run");
      break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> scripts;
  for (const auto& entry : std::filesystem::directory_iterator(KEL_BENCH_SCRIPTS))
    if (entry.path().extension() == ".kel") scripts.push_back(entry.path());
  std::sort(scripts.begin(), scripts.end());
  for (const auto& path : scripts) {
    std::size_t size = 0;
    platform::MemoryHandle file = platform::ReadWholeFile(path.string().c_str(), &size);
    if (file == nullptr) continue;
    std::string text(static_cast<const char*>(platform::GlobalLock(file)), size);
    platform::GlobalUnlock(file);
    platform::GlobalFree(file);
    benchmark::RegisterBenchmark(path.stem().string().c_str(), RunScript, text)
        ->Unit(benchmark::kMillisecond);
  }
  // Scripts that write files do it in the current folder: a new one of their own, removed at
  // the end. The engine is found beside this program first, while relative paths still hold.
  LoadedEngine();
  std::filesystem::path work = std::filesystem::temp_directory_path() /
                               ("kel-bench-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(work);
  std::filesystem::current_path(work);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::current_path(work.parent_path());
  std::filesystem::remove_all(work);
  return 0;
}
