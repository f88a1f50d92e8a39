// Movable global-memory handles and address-space reservations on POSIX systems.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace kel::platform {
namespace {

// A handle points at one of these; the data moves only through GlobalReallocate while the
// block is unlocked, exactly as a movable block does on Windows.
struct Block {
  std::uint32_t magic;
  unsigned locks;
  std::size_t size;
  void* data;
};
constexpr std::uint32_t kBlockMagic = 0x4B454C42;  // "BLEK"

// The data of a block carries a pointer back to its Block in front of it, so that the address
// of a locked block leads back to its handle.
constexpr std::size_t kDataPrefix = 16;

void* AllocateData(Block* block, std::size_t bytes, Fill fill) {
  // A zero-byte block still gets an address so that locking it never yields null.
  std::size_t total = kDataPrefix + (bytes ? bytes : 1);
  auto* raw = static_cast<char*>(fill == Fill::Zero ? std::calloc(total, 1) : std::malloc(total));
  if (raw == nullptr) return nullptr;
  *reinterpret_cast<Block**>(raw) = block;
  return raw + kDataPrefix;
}

char* RawOf(void* data) {
  return static_cast<char*>(data) - kDataPrefix;
}

// Whether `bytes` at `address` can be read, asked of the kernel (a write of them into a pipe
// fails with EFAULT when they cannot) instead of finding out by a fault.
std::mutex probeLock;
bool IsReadable(const void* address, std::size_t bytes) {
  static int probe[2] = {-1, -1};
  std::lock_guard<std::mutex> hold(probeLock);
  if (probe[0] < 0 && pipe2(probe, O_CLOEXEC) != 0) {
    probe[0] = probe[1] = -1;
    return false;
  }
  ssize_t written;
  do {
    written = write(probe[1], address, bytes);
  } while (written < 0 && errno == EINTR);
  if (written <= 0) return false;
  char drain[64];
  for (ssize_t left = written; left > 0;) {
    ssize_t got = read(probe[0], drain, std::min<std::size_t>(sizeof drain, std::size_t(left)));
    if (got <= 0) break;
    left -= got;
  }
  return static_cast<std::size_t>(written) == bytes;
}

// The last handles IsGlobalHandle found readable, while their blocks live.
constexpr std::size_t kCheckedHandles = 8;
std::atomic<const void*> checkedHandles[kCheckedHandles];
std::atomic<std::size_t> nextChecked{0};

void ForgetCheckedHandle(const void* handle) {
  for (std::atomic<const void*>& known : checkedHandles) {
    const void* expected = handle;
    if (known.load(std::memory_order_relaxed) == handle)
      known.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
  }
}

Block* AsBlock(MemoryHandle handle) {
  auto* block = static_cast<Block*>(handle);
  if (block == nullptr || block->magic != kBlockMagic) return nullptr;
  return block;
}

struct Reservation {
  char* base;
  std::size_t bytes;
};
std::mutex reservationLock;
std::vector<Reservation> reservations;

// True when [start, start + bytes) lies wholly in private anonymous mappings that are either
// reserved (no access) or already committed (read-write): the shape a reservation has after
// part of it was committed. Anything else (code, files, stacks, other heaps) is refused.
bool IsReservedRange(std::uintptr_t start, std::size_t bytes) {
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (maps == nullptr) return false;
  std::uintptr_t covered = start, end = start + bytes;
  char line[512];
  while (covered < end && std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long low = 0, high = 0, inode = 0;
    char permissions[8] = {};
    char device[16] = {};
    unsigned long long offset = 0;
    int path = 0;
    if (std::sscanf(line, "%lx-%lx %7s %llx %15s %lu %n", &low, &high, permissions, &offset, device,
                    &inode, &path) < 6)
      continue;
    if (high <= covered || low > covered) continue;
    bool anonymous = inode == 0 && (path == 0 || line[path] == '\0' || line[path] == '\n');
    bool shape = std::strcmp(permissions, "---p") == 0 || std::strcmp(permissions, "rw-p") == 0;
    if (!anonymous || !shape) break;
    covered = high;
  }
  std::fclose(maps);
  return covered >= end;
}

}  // namespace

MemoryHandle GlobalAllocate(std::size_t bytes, Fill fill) {
  if (AllocationFailsNow(bytes)) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
  if (block == nullptr) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  void* data = AllocateData(block, bytes, fill);
  if (data == nullptr) {
    std::free(block);
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  *block = Block{kBlockMagic, 0, bytes, data};
  return block;
}

MemoryHandle GlobalReallocate(MemoryHandle handle, std::size_t bytes, Fill fill) {
  Block* block = AsBlock(handle);
  if (block == nullptr || block->locks != 0) return nullptr;
  if (AllocationFailsNow(bytes)) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  auto* raw =
      static_cast<char*>(std::realloc(RawOf(block->data), kDataPrefix + (bytes ? bytes : 1)));
  if (raw == nullptr) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  void* data = raw + kDataPrefix;
  if (fill == Fill::Zero && bytes > block->size)
    std::memset(static_cast<char*>(data) + block->size, 0, bytes - block->size);
  block->data = data;
  block->size = bytes;
  return block;
}

void* GlobalLock(MemoryHandle handle) {
  Block* block = AsBlock(handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->data;
}

unsigned GlobalUnlock(MemoryHandle handle) {
  Block* block = AsBlock(handle);
  if (block == nullptr) return 0;
  if (block->locks > 0) --block->locks;
  return block->locks;
}

unsigned GlobalLockCount(MemoryHandle handle) {
  Block* block = AsBlock(handle);
  return block ? block->locks : 0;
}

MemoryHandle GlobalHandleOf(const void* lockedAddress) {
  if (lockedAddress == nullptr) return nullptr;
  auto* raw = static_cast<const char*>(lockedAddress) - kDataPrefix;
  return AsBlock(*reinterpret_cast<Block* const*>(raw));
}

std::size_t GlobalSize(MemoryHandle handle) {
  Block* block = AsBlock(handle);
  return block ? block->size : 0;
}

bool GlobalFree(MemoryHandle handle) {
  Block* block = AsBlock(handle);
  if (block == nullptr) return false;
  ForgetCheckedHandle(block);
  std::free(RawOf(block->data));
  block->magic = 0;
  std::free(block);
  return true;
}

bool IsGlobalHandle(MemoryHandle handle) {
  if (handle == nullptr) return false;
  // The handles a host hands in again and again (its context, its table) were checked before:
  // a block leaves this list when it is freed, so one found here is still readable.
  for (const std::atomic<const void*>& known : checkedHandles)
    if (known.load(std::memory_order_relaxed) == handle) return AsBlock(handle) != nullptr;
  // A block is known by its mark; what cannot be read is no block at all.
  if (!IsReadable(handle, sizeof(Block)) || AsBlock(handle) == nullptr) return false;
  checkedHandles[nextChecked.fetch_add(1, std::memory_order_relaxed) % kCheckedHandles].store(
      handle, std::memory_order_relaxed);
  return true;
}

void* ReserveAddressSpace(std::size_t bytes) {
  void* base = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(reservationLock);
  reservations.push_back({static_cast<char*>(base), bytes});
  return base;
}

bool CommitMemory(void* base, std::size_t bytes) {
  char* start = static_cast<char*>(base);
  bool inside = false;
  {
    std::lock_guard<std::mutex> guard(reservationLock);
    for (const Reservation& r : reservations)
      if (start >= r.base && bytes <= r.bytes &&
          start - r.base <= static_cast<std::ptrdiff_t>(r.bytes - bytes))
        inside = true;
  }
  // Only ever touch reserved memory: past a reservation's end may lie somebody else's mapping,
  // which mprotect would happily change. A reservation made by another module of the process
  // (a host reserves the heap it hands over) is recognised by what the system says of it.
  if (!inside && !IsReservedRange(reinterpret_cast<std::uintptr_t>(start), bytes)) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return false;
  }
  if (mprotect(base, bytes, PROT_READ | PROT_WRITE) != 0) {
    posix::SetLastSystemError(kErrorNotEnoughMemory);
    return false;
  }
  return true;
}

void ReleaseAddressSpace(void* base, std::size_t bytes) {
  {
    std::lock_guard<std::mutex> guard(reservationLock);
    for (auto it = reservations.begin(); it != reservations.end(); ++it)
      if (it->base == base) {
        reservations.erase(it);
        break;
      }
  }
  munmap(base, bytes);
}

std::size_t PageSize() {
  return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace kel::platform
