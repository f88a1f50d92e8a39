// What every fuzz target shares: a sandbox to run in and a context set up as a host sets one up.
#ifndef KEL_FUZZ_FUZZ_SUPPORT_H
#define KEL_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>

#include "core/batch_context.h"
#include "kel/kel_host.h"
#include "platform/platform.h"

namespace kel::fuzz {

// Moves the process into a new temporary directory that is removed at exit, and points the
// settings file there, so that whatever a script writes by a relative name lands where it does
// no harm. Large requests fail as out of memory instead of tripping the fuzzer's memory limit.
void EnterSandbox();

// A file name a script may use: a plain name in the current directory, nothing that reaches
// elsewhere. Texts and UTF-16 texts are looked at; other values convert to digits.
bool IsSandboxedName(const BatchContext& context, const Value& value);

// A context made through the exported entry points, modes 0 to 3, in quiet mode: errors are kept
// for the host and never shown in a box that would wait for a user.
class FuzzContext {
 public:
  static constexpr std::size_t kHeapReservation = std::size_t{64} << 20;
  static constexpr std::uint32_t kHeapInitialCommit = 64 * 1024;

  explicit FuzzContext(std::int32_t slots) : slots_(slots) {}
  ~FuzzContext() { Stop(); }
  FuzzContext(const FuzzContext&) = delete;
  FuzzContext& operator=(const FuzzContext&) = delete;

  void Start();
  void Stop();

  platform::MemoryHandle handle() const { return handle_; }
  // The context record, locked for as long as the context lives.
  BatchContext& context() { return *context_; }

 private:
  std::int32_t slots_;
  platform::MemoryHandle handle_ = nullptr;
  platform::MemoryHandle table_ = nullptr;
  void* heap_ = nullptr;
  KelHeapDescriptor descriptor_{};
  BatchContext* context_ = nullptr;
};

// What a target does once before its first input: the sandbox, and a context of `slots`
// variables started in it, which lives as long as the process.
FuzzContext* StartSandboxedContext(std::int32_t slots);

}  // namespace kel::fuzz

#endif  // KEL_FUZZ_FUZZ_SUPPORT_H
