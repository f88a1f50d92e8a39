// The memory entries of hosts: movable blocks and the string heap's reservation, made by the
// engine's own memory layer so that the engine accepts them wherever the host hands them in.
#include "core/exports.h"
#include "platform/platform.h"

namespace platform = kel::platform;

extern "C" {

void* KEL_CDECL KelAllocateBlock(std::size_t bytes) {
  return platform::GlobalAllocate(bytes, platform::Fill::Zero);
}

void* KEL_CDECL KelLockBlock(void* block) {
  return platform::IsGlobalHandle(block) ? platform::GlobalLock(block) : nullptr;
}

void KEL_CDECL KelUnlockBlock(void* block) {
  if (platform::IsGlobalHandle(block)) platform::GlobalUnlock(block);
}

std::int32_t KEL_CDECL KelFreeBlock(void* block) {
  return platform::IsGlobalHandle(block) && platform::GlobalFree(block) ? 1 : 0;
}

void* KEL_CDECL KelReserveHeap(std::size_t reservedBytes, std::size_t committedBytes) {
  if (committedBytes > reservedBytes) return nullptr;
  void* base = platform::ReserveAddressSpace(reservedBytes);
  if (base != nullptr && committedBytes > 0 && !platform::CommitMemory(base, committedBytes)) {
    platform::ReleaseAddressSpace(base, reservedBytes);
    return nullptr;
  }
  return base;
}

void KEL_CDECL KelReleaseHeap(void* base, std::size_t reservedBytes) {
  if (base != nullptr) platform::ReleaseAddressSpace(base, reservedBytes);
}

}  // extern "C"
