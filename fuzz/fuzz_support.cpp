// The fuzz targets' sandbox and context.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "core/exports.h"
#include "lang/value.h"

namespace kel::fuzz {
namespace {

constexpr std::int32_t kServiceQuietMode = 23;
// Larger requests of movable memory fail as out of memory (the checked build's limit).
constexpr char kAllocationLimit[] = "268435456";

std::filesystem::path sandbox;

void RemoveSandbox() {
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  std::filesystem::remove_all(sandbox, ignored);
}

template <typename Unit>
bool IsPlainName(const Unit* text) {
  std::size_t length = 0;
  for (; text[length] != 0; ++length) {
    Unit c = text[length];
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || (c == '.' && length > 0);
    if (!allowed || length >= 64) return false;
  }
  return length > 0;
}

}  // namespace

void EnterSandbox() {
  if (!sandbox.empty()) return;
  std::random_device random;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    sandbox = base / ("kel-fuzz-" + std::to_string(random()));
    if (std::filesystem::create_directory(sandbox)) break;
  }
  std::filesystem::current_path(sandbox);
  std::atexit(RemoveSandbox);
  const std::string directory = sandbox.string();
  platform::SetEnvironmentValue("HOME", directory.c_str());
  platform::SetEnvironmentValue("XDG_CONFIG_HOME", directory.c_str());
  platform::SetEnvironmentValue("KEL_ALLOCATION_LIMIT", kAllocationLimit);
  platform::SetEnvironmentValue("KEL_FAIL_ALLOCATION", nullptr);
}

bool IsSandboxedName(const BatchContext& context, const Value& value) {
  if ((value.flags & kValueText) != 0 && !IsPlainName(ValueText(context, value))) return false;
  if ((value.flags & kValueWideText) != 0 && !IsPlainName(ValueWideText(context, value)))
    return false;
  return true;
}

void FuzzContext::Start() {
  if (DoDaDllInit(nullptr, nullptr, KEL_INTERFACE_ARG, KEL_MODE_CHECK, 0, nullptr, 0) !=
      KEL_INTERFACE_OK)
    std::abort();
  handle_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
  std::int32_t slotBytes = DoDaDllInit(nullptr, handle_, 0, KEL_MODE_CONTEXT, 0, "fuzz", 0);
  if (slotBytes <= 0) std::abort();
  table_ = platform::GlobalAllocate(std::size_t(slotBytes) * slots_, platform::Fill::Zero);
  if (DoDaDllInit(nullptr, handle_, reinterpret_cast<std::intptr_t>(table_), KEL_MODE_VARIABLES,
                  slots_, "fuzz", 0) != 1)
    std::abort();
  heap_ = platform::ReserveAddressSpace(kHeapReservation);
  if (heap_ == nullptr || !platform::CommitMemory(heap_, kHeapInitialCommit)) std::abort();
  descriptor_ = KelHeapDescriptor{};
  descriptor_.active = 1;
  descriptor_.base = heap_;
  descriptor_.committedBytes = kHeapInitialCommit;
  descriptor_.reservedBytes = static_cast<std::uint32_t>(kHeapReservation);
  if (DoDaDllInit(nullptr, handle_, reinterpret_cast<std::intptr_t>(heap_), KEL_MODE_HEAP,
                  kHeapInitialCommit, nullptr, reinterpret_cast<std::intptr_t>(&descriptor_)) != 1)
    std::abort();
  DLLServices(handle_, kServiceQuietMode, reinterpret_cast<std::intptr_t>(""), 0, 1, 0);
  context_ = static_cast<BatchContext*>(platform::GlobalLock(handle_));
}

void FuzzContext::Stop() {
  if (handle_ == nullptr) return;
  platform::GlobalUnlock(handle_);
  context_ = nullptr;
  DoDaDllInit(nullptr, handle_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0);
  platform::ReleaseAddressSpace(heap_, kHeapReservation);
  platform::GlobalFree(table_);
  platform::GlobalFree(handle_);
  heap_ = nullptr;
  table_ = nullptr;
  handle_ = nullptr;
}

FuzzContext* StartSandboxedContext(std::int32_t slots) {
  EnterSandbox();
  auto* context = new FuzzContext(slots);
  context->Start();
  return context;
}

}  // namespace kel::fuzz
