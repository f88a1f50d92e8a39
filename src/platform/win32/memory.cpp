// Movable global memory and address-space reservations on Windows.
#include "platform/platform.h"

#include <windows.h>

namespace kel::platform {

MemoryHandle GlobalAllocate(std::size_t bytes, Fill fill) {
  if (AllocationFailsNow(bytes)) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  UINT flags = GMEM_MOVEABLE | (fill == Fill::Zero ? GMEM_ZEROINIT : 0);
  return ::GlobalAlloc(flags, bytes);
}

MemoryHandle GlobalReallocate(MemoryHandle handle, std::size_t bytes, Fill fill) {
  if (handle == nullptr) return nullptr;
  if (AllocationFailsNow(bytes)) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  UINT flags = GMEM_MOVEABLE | (fill == Fill::Zero ? GMEM_ZEROINIT : 0);
  return ::GlobalReAlloc(static_cast<HGLOBAL>(handle), bytes, flags);
}

void* GlobalLock(MemoryHandle handle) {
  return handle ? ::GlobalLock(static_cast<HGLOBAL>(handle)) : nullptr;
}

unsigned GlobalUnlock(MemoryHandle handle) {
  if (handle == nullptr) return 0;
  ::GlobalUnlock(static_cast<HGLOBAL>(handle));
  return GlobalLockCount(handle);
}

unsigned GlobalLockCount(MemoryHandle handle) {
  if (handle == nullptr) return 0;
  UINT flags = ::GlobalFlags(static_cast<HGLOBAL>(handle));
  return flags == GMEM_INVALID_HANDLE ? 0 : (flags & GMEM_LOCKCOUNT);
}

MemoryHandle GlobalHandleOf(const void* lockedAddress) {
  return lockedAddress ? ::GlobalHandle(lockedAddress) : nullptr;
}

bool IsGlobalHandle(MemoryHandle handle) {
  // The system checks its handles: one it does not know has no size.
  return handle != nullptr && ::GlobalSize(static_cast<HGLOBAL>(handle)) != 0;
}

std::size_t GlobalSize(MemoryHandle handle) {
  return handle ? ::GlobalSize(static_cast<HGLOBAL>(handle)) : 0;
}

bool GlobalFree(MemoryHandle handle) {
  return handle != nullptr && ::GlobalFree(static_cast<HGLOBAL>(handle)) == nullptr;
}

void* ReserveAddressSpace(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
}

bool CommitMemory(void* base, std::size_t bytes) {
  return ::VirtualAlloc(base, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void ReleaseAddressSpace(void* base, std::size_t) {
  ::VirtualFree(base, 0, MEM_RELEASE);
}

std::size_t PageSize() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwPageSize;
}

std::uint32_t LastSystemError() {
  return ::GetLastError();
}

}  // namespace kel::platform
